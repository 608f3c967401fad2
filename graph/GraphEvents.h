#pragma once

// What the graph tells the window: errors, warnings, the end of the stream, finished
// recordings, lost devices and element messages. Streaming threads post them; the graph hands
// them to the receiver on the thread that created the graph (the user-interface thread), one
// at a time and in the order they were posted, so the receiver never needs a lock.

#include "platform/GstRef.h"

#include <cstdint>
#include <string>

namespace vidorel {

enum class TGraphEventKind {
    Error,          // an element of the preview failed: the graph has stopped working
    Warning,        // something to tell, the graph goes on
    EndOfStream,    // every sink of the graph has received the end of the stream
    DeviceLost,     // a source element failed on its device (unplugged, busy, gone)
    RecordingError, // an element of a recording branch failed; the preview goes on
    RecordingDone,  // a recording branch finished (or gave up) and left the graph
    Element,        // an element message (structure in Structure)
};

struct TGraphEvent {
    TGraphEventKind Kind = TGraphEventKind::Warning;
    std::string Source;    // name of the element that posted it
    std::string Branch;    // name of the recording branch it concerns, empty for the preview
    std::string Text;      // the sentence for the user
    std::string Debug;     // details for the error report
    GQuark Domain = 0;     // GStreamer error domain (GST_RESOURCE_ERROR, ...) of errors
    int Code = 0;          // the domain's code (GST_RESOURCE_ERROR_NO_SPACE_LEFT, ...)
    bool Finished = false; // RecordingDone: every sink of the branch received end-of-stream
    GstRef<GstStructure> Structure; // Element: a copy of the message's structure
};

// Implemented by whoever drives the graph (the capture controller of the window, a
// command-line tool, a test). Called on the graph's thread only.
class IGraphEvents {
public:
    virtual void GraphEvent(const TGraphEvent& event) = 0;

protected:
    ~IGraphEvents() = default;
};

} // namespace vidorel

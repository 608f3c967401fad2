#pragma once

// The input lines of a sound card (microphone, line in, CD, ...) and which one it records
// from: the capture sources of its ALSA mixer, or the virtual lines of the test tone.
//
// Main (UI) thread only. The mixer is opened for each call only.

#include <gst/gst.h>

#include <memory>
#include <string>
#include <vector>

namespace vidorel::devices {

struct TAudioInputLine {
    std::string name;
    bool enabled = false; // the card records from it now
};

class IAudioInputLines {
public:
    virtual ~IAudioInputLines() = default;
    // The lines in the mixer's order; empty when the card has none or cannot be asked.
    virtual std::vector<TAudioInputLine> Enumerate() = 0;
    // Records from the line of that name (and, where lines are switched one by one, from no
    // other); false when there is no such line or the card refused.
    virtual bool Enable(const std::string& name) = 0;
};

// The capture sources of the ALSA card `card` ("hw:0", "hw:PCH"): its enumerated capture
// source when it has one, else its elements with a capture switch.
std::shared_ptr<IAudioInputLines> AlsaInputLines(const std::string& card);

// The card an ALSA device string names ("hw:1,0" → "hw:1", "plughw:CARD=PCH" → "hw:PCH"), or
// empty for names that are no card ("default", "pulse").
std::string AlsaCardOf(const std::string& device);

// The input lines of a source element (or of one inside it): the ALSA card an alsasrc reads,
// or the virtual lines of the test tone; null when it has none.
std::shared_ptr<IAudioInputLines> InputLinesOf(GstElement* source);

// The virtual lines of a virtual device ("Line In", "Microphone" (enabled) and "CD"), the same
// object for every call with one id.
std::shared_ptr<IAudioInputLines> VirtualInputLines(const std::string& id);

} // namespace vidorel::devices

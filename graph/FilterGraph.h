#pragma once

// The graph services over one GstPipeline: the graph `fg` that all media work runs in, the
// filter wrapper TFilter, pads by direction and index, tee taps, muxer inputs by role, checked
// links, stream facts read from negotiated caps, upstream searches, run/stop and the clock.
//
// Everything here runs on the thread that created the graph (the user-interface thread); the
// graph's own streaming threads only post to it. A failed operation throws EGraphError, whose
// text is GStreamer's error text followed by " ($%x)." with a numeric code; the codes reuse the
// classic graph error numbers so callers and users see familiar values (see docs).
//
// Nothing here waits for the pipeline on the calling thread: Run starts it and answers at once,
// errors that show later reach the event receiver, caps are delivered when they are known, and
// recordings finish asynchronously with a completion callback.

#include "filters/BaseClass.h"
#include "graph/GraphEvents.h"
#include "platform/GstRef.h"

#include <gst/gst.h>

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vidorel {

// Codes carried by EGraphError.
namespace graph_error {
inline constexpr std::uint32_t kFail = 0x80004005;               // E_FAIL
inline constexpr std::uint32_t kInvalidArg = 0x80070057;         // E_INVALIDARG
inline constexpr std::uint32_t kClassNotRegistered = 0x80040154; // no such element factory
inline constexpr std::uint32_t kNoAcceptableTypes = 0x80040207;  // caps cannot meet
inline constexpr std::uint32_t kAlreadyConnected = 0x80040204;
inline constexpr std::uint32_t kInvalidDirection = 0x80040208;
inline constexpr std::uint32_t kNotConnected = 0x80040209;
inline constexpr std::uint32_t kNotFound = 0x80040216; // pad index or name
inline constexpr std::uint32_t kCannotConnect = 0x80040217;
inline constexpr std::uint32_t kDuplicateName = 0x8004025E;
inline constexpr std::uint32_t kNotInGraph = 0x8004025F;
inline constexpr std::uint32_t kWrongState = 0x80040227;
inline constexpr std::uint32_t kTimeout = 0x800705B4; // ERROR_TIMEOUT
} // namespace graph_error

class EGraphError : public std::runtime_error {
public:
    EGraphError(const std::string& text, std::uint32_t code);
    // The error text without the code suffix.
    const std::string& Text() const { return m_text; }
    std::uint32_t Code() const { return m_code; }

private:
    std::string m_text;
    std::uint32_t m_code;
};

// "text ($code)." as EGraphError::what() gives it.
std::string GraphErrorText(const std::string& text, std::uint32_t code);

enum class StreamRole { Video, Audio };

// What later branches need to know about a link, read from its negotiated caps. Zero where the
// caps do not say (an audio link has no width; encoded audio has no bits).
struct TStreamFacts {
    std::string mediaType; // structure name: "video/x-raw", "audio/x-raw", "video/x-dv", ...
    int width = 0;
    int height = 0;
    std::uint32_t frameDuration = 0; // 100 ns units; 0 when the caps give no (or a variable) rate
    double frameRate = 0;            // frames per second; 0 when unknown
    int audioRate = 0;
    int audioBits = 0;
    int audioChannels = 0;
    bool IsVideo() const {
        return mediaType.rfind("video/", 0) == 0 || mediaType.rfind("image/", 0) == 0;
    }
    bool IsAudio() const { return mediaType.rfind("audio/", 0) == 0; }
};

// Facts of fixed caps (no throw; empty facts for null caps).
TStreamFacts FactsFromCaps(const GstCaps* caps);

// An element factory name plus property values, or a device from a device monitor.
struct TMoniker {
    std::string factory;                                         // "avenc_mpeg4"
    std::vector<std::pair<std::string, std::string>> properties; // set with gst_util_set_object_arg
    GstRef<GstDevice> device;                                    // when set, wins over factory
    std::string displayName;                                     // friendly name, for lists
    bool Empty() const { return factory.empty() && !device; }
};

class TFilterGraph;
class TRecordingBranch;

// TFilter: a graph component given by a moniker. Attaching creates the element under the
// component's name and adds it to the graph; detaching removes it (dropping its links). A
// filter keeps its moniker across attach and detach; a new moniker applies at the next attach.
class TFilter {
public:
    explicit TFilter(std::string name = {});
    ~TFilter();
    TFilter(const TFilter&) = delete;
    TFilter& operator=(const TFilter&) = delete;

    const std::string& Name() const { return m_name; }
    const TMoniker& Moniker() const { return m_moniker; }
    // Detaches first when attached.
    void SetMoniker(TMoniker moniker);
    void ClearMoniker();

    // Creates the element and adds it to `graph`. Throws EGraphError: an empty moniker or a
    // missing factory (kClassNotRegistered), a duplicate name (kDuplicateName). Attaching to the
    // graph it is already in does nothing.
    void Attach(TFilterGraph& graph);
    // Removes the element from its graph; does nothing when not attached.
    void Detach();
    bool Attached() const { return m_graph != nullptr; }
    TFilterGraph* Graph() const { return m_graph; }
    // The element while attached, else null.
    GstElement* Element() const { return m_element.get(); }

private:
    std::string m_name;
    TMoniker m_moniker;
    TFilterGraph* m_graph = nullptr;
    GstElementRef m_element;
};

// Creates an element (sunk reference). Throws kClassNotRegistered for a missing factory.
GstElementRef MakeElement(const char* factory, const char* name = nullptr);

// Pads of an element by direction, in the element's order (request pads where requested).
std::vector<GstPadRef> Pads(GstElement* element, PinDirection direction);
// The pad at `index` of that direction; throws kNotFound past the last one.
GstPadRef Pad(GstElement* element, PinDirection direction, int index);
// The pad at `index` of that direction or null (the "find pin" that answers instead of
// throwing).
GstPadRef FindPad(GstElement* element, PinDirection direction, int index);
// The element that owns a pad (null for a pad without parent).
GstElementRef PadOwner(GstPad* pad);

class TFilterGraph {
public:
    explicit TFilterGraph(const char* name = "fg");
    ~TFilterGraph();
    TFilterGraph(const TFilterGraph&) = delete;
    TFilterGraph& operator=(const TFilterGraph&) = delete;

    GstPipeline* Pipeline() const { return GST_PIPELINE_CAST(m_pipeline.get()); }
    GstBin* Bin() const { return GST_BIN_CAST(m_pipeline.get()); }
    GstElement* Element() const { return m_pipeline.get(); }

    // --- filters ---
    // Adds an element (own filters: under their quoted name, e.g. "Superposer"). The element's
    // name is set to `name` when given. Throws kDuplicateName when the graph has that name,
    // kInvalidArg when the element is already in a bin.
    void AddFilter(GstElement* element, const std::string& name = {});
    // Stops the element, unlinks every pad (releasing the request pads it held on its
    // neighbours, e.g. a tee's or a muxer's) and removes it. Not in this graph: kNotInGraph.
    void RemoveFilter(GstElement* element);
    bool Contains(GstElement* element) const;
    // The element of that name directly in the graph, or null.
    GstElementRef FindFilter(const std::string& name) const;

    // --- pads and links ---
    // Taps a tee: requests a new src pad, adds a queue behind it and answers the queue's src
    // pad, where the branch goes on. The queue is named "<tee>_tap<n>" and is removed with the
    // branch (RemoveUpstreamChain, RemoveFilter).
    GstPadRef TapTee(GstElement* tee);
    // Requests a muxer's input for a role ("video_%u" / "audio_%u" templates, else a request
    // template whose caps are of that kind). Throws kNotFound when the muxer has none.
    GstPadRef RequestMuxerPad(GstElement* muxer, StreamRole role);
    // Links output pad → input pad with no caps given (direct, nothing inserted). Every
    // failure throws: kNoAcceptableTypes when the caps cannot meet, kAlreadyConnected,
    // kInvalidDirection, kNotInGraph (different bins), kCannotConnect otherwise.
    void Connect(GstPad* out, GstPad* in);
    // Output pad `outIndex` of `from` to input pad `inIndex` of `to`.
    void Connect(GstElement* from, GstElement* to, int outIndex = 0, int inIndex = 0);
    // Unlinks a pad from its peer (either direction); false when it was not linked.
    bool Disconnect(GstPad* pad);

    // The caps negotiated on the link of `pad` (either end). Without negotiated caps, the
    // fixed caps the peer offers are used when they are fixed. Throws kNotConnected when the
    // pad is unlinked or nothing fixed is known. Never waits: see WhenCaps.
    GstCapsRef LinkCaps(GstPad* pad) const;
    TStreamFacts LinkFacts(GstPad* pad) const;
    // Calls `then` with the caps negotiated on `pad`: at once when they are known, otherwise on
    // the graph's thread once the first caps pass the pad. Nothing is called when the pad goes
    // away first (a branch closed before its source sent anything).
    void WhenCaps(GstPad* pad, std::function<void(const GstCapsRef&)> then);

    // The first element upstream of `pad` for which `match` answers true, or null. The search
    // starts at the element that produces the pad's data (the pad's own element for an output
    // pad, its peer's for an input pad) and walks against the data flow, breadth first; bins
    // are searched inside.
    GstElementRef FindUpstream(GstPad* pad, const std::function<bool(GstElement*)>& match) const;
    // The first element upstream of `pad` implementing the GType (an interface such as
    // GST_TYPE_COLOR_BALANCE, or a class).
    GstElementRef FindInterfaceUpstream(GstPad* pad, GType type) const;

    // --- run, stop, clock ---
    // Sets the graph playing and answers at once: false (the graph left stopped and usable,
    // LastError() saying why) when an element refuses to start; true otherwise. Errors that
    // show once data flows reach the event receiver and make Failed() true. A graph that
    // already runs is left alone (no pause, the base time and clock stay).
    bool Run();
    // Stops the graph. Recording branches still attached are finished first (end-of-stream
    // into each, waiting at most FinishTimeout for their sinks); then every element stops.
    // Answers whether every recording was finished (true when there was none). For teardown:
    // the window uses StopAsync.
    bool Stop();
    // The same without waiting: the recordings finish while the preview still runs, then the
    // graph stops and `done` is called on the graph's thread with the answer of Stop.
    void StopAsync(std::function<void(bool finished)> done);
    // Stops without finishing anything (teardown after an error).
    void Abort();
    // Playing, and no element of the preview has failed since the last Run.
    bool Running() const;
    // An element of the preview posted an error since the last Run (the graph is dead until
    // it is stopped and run again).
    bool Failed() const;
    GstState State() const;
    void SetFinishTimeout(std::chrono::milliseconds t) { m_finishTimeout = t; }
    std::chrono::milliseconds FinishTimeout() const { return m_finishTimeout; }

    // The default clock choice (GStreamer's automatic selection).
    void UseDefaultClock();
    // The clock of `element` (e.g. the audio renderer): used when the element provides one
    // when the graph starts; otherwise the default clock stays and ClockFromElement() answers
    // false after the run started. The clock is chosen before the graph plays and never
    // changed while it does (that would move the base time): a choice made while running
    // applies to the next run.
    void UseClockOf(GstElement* element);
    bool ClockFromElement() const { return m_clockApplied; }

    // Nothing in this graph waits for the clock: a file converted as fast as the graph takes
    // it, with no preview shown. Sources then decouple their streams only where a recording
    // needs it, since every extra thread hand-over costs a wake-up per buffer. Set before the
    // sources are attached.
    void SetUnpaced(bool unpaced) { m_unpaced = unpaced; }
    bool Unpaced() const { return m_unpaced; }

    // --- messages ---
    // The last error an element posted (text and the debug details), empty when none since the
    // last Run. Thread-safe.
    std::string LastError() const;
    std::string LastErrorDebug() const;
    // Called for every message on the bus, on the thread that posted it (a streaming thread):
    // the handler must hand work over to its own thread. Set while stopped.
    void SetMessageHandler(std::function<void(GstMessage*)> handler);
    // Where events go (on the graph's thread); null: nowhere. The receiver must outlive the
    // graph or be cleared first.
    void SetEventReceiver(IGraphEvents* receiver) { m_receiver = receiver; }
    // Runs `work` on the graph's thread at its next turn of the event loop (any thread; work
    // posted by a graph that is gone is dropped).
    void Post(std::function<void()> work) const;
    // Writes the graph as a .dot file into GST_DEBUG_DUMP_DOT_DIR (when set) under `name`.
    void DumpDot(const char* name) const;

    // --- recording branches (graph/RecordingBranch.h) ---
    // The branches attached now, in attach order.
    std::vector<std::shared_ptr<TRecordingBranch>> Recordings() const;

private:
    friend class TRecordingBranch;
    static GstBusSyncReply SyncHandler(GstBus* bus, GstMessage* message, gpointer self);
    void Fail(const std::string& text);
    void OnMessage(GstMessage* message);
    void ApplyWantedClock();
    void Deliver(TGraphEvent event);
    // The recording branch that `object` belongs to (itself or inside it), or null. Any thread.
    std::shared_ptr<TRecordingBranch> RecordingOf(GstObject* object) const;
    void Register(const std::shared_ptr<TRecordingBranch>& branch);
    void Unregister(const TRecordingBranch* branch);

    GstElementRef m_pipeline;
    // Lives on the graph's thread; queued work targets it, so Qt drops what is still queued
    // when the graph goes.
    std::unique_ptr<QObject> m_dispatch;
    IGraphEvents* m_receiver = nullptr;
    std::chrono::milliseconds m_finishTimeout{std::chrono::seconds(10)};
    GstElementRef m_clockElement; // wanted clock provider, or null for the default clock
    bool m_clockApplied = false;
    bool m_unpaced = false;
    unsigned m_tapCount = 0;

    // Written by the bus sync handler (any thread), read by the graph's thread: under m_lock.
    mutable std::mutex m_lock;
    std::string m_lastError;
    std::string m_lastErrorDebug;
    unsigned m_errorCount = 0;
    bool m_failed = false;
    std::function<void(GstMessage*)> m_handler;
    // Attached recordings by their bin, for the sync handler: under m_lock.
    std::map<GstElement*, std::shared_ptr<TRecordingBranch>> m_recordings;
    std::vector<const TRecordingBranch*> m_recordingOrder;
};

} // namespace vidorel

#include "graph/RecordingBranch.h"

#include <QTimer>

#include <condition_variable>
#include <mutex>
#include <set>

GST_DEBUG_CATEGORY_STATIC(vidorel_recording_debug);
#define GST_CAT_DEFAULT vidorel_recording_debug

namespace vidorel {

namespace {

void InitDebug() {
    static std::once_flag once;
    std::call_once(once, [] {
        GST_DEBUG_CATEGORY_INIT(vidorel_recording_debug, "vidorelrecording", 0,
                                "Vidorel recording branches");
    });
}

const char* RoleName(TInputRole role) {
    switch (role) {
    case TInputRole::Video:
        return "video";
    case TInputRole::Audio:
        return "audio";
    case TInputRole::Native:
        return "native";
    }
    return "input";
}

// How long a cut waits for the first frame of the next file before it takes the clock's time
// instead (a source with nothing to send: a stopped tape), and how long after that the old
// branch's inputs that saw nothing more are closed.
constexpr std::chrono::milliseconds kCutFallback{1500};

} // namespace

// --- shared state ---

struct TRecordingBranch::Cut {
    // Set once the next branch is linked: from then on the switch time may be taken.
    std::atomic<bool> armed{false};
    // Running time of the first buffer of the next file (nanoseconds), -1 until known. The
    // primary input (video, else native, else audio) takes it from its first buffer after
    // arming; every input of both branches compares its buffers against it.
    std::atomic<int64_t> switchTime{-1};
    TInputRole primary = TInputRole::Video;
    // When set, it tells the switch time; otherwise the first buffer of the primary input
    // after arming is the first of the next file.
    TCutBoundary boundary;
    // The old branch's inputs that have closed, by role: a secondary input of the next branch
    // takes everything once the old one has stopped taking anything.
    std::array<std::atomic<bool>, kInputRoles> oldClosed{};
    // What the old branch's input of each role decided for the buffer it saw last. A tee pushes
    // a buffer to its outputs one after the other on one thread, the old branch's first (it was
    // linked first), so the next branch takes exactly what the old one left, even when the cut
    // is armed between the two decisions.
    struct Verdict {
        std::atomic<const GstBuffer*> buffer{nullptr};
        std::atomic<bool> took{false};
    };
    std::array<Verdict, kInputRoles> verdicts{};
};

struct TRecordingBranch::Shared {
    std::mutex lock;
    std::condition_variable changed;
    // Sinks of the bin that have not yet received end-of-stream.
    std::set<GstElement*> waitingSinks;
    bool sinksDone = false;
    bool failed = false;
    std::string error;
    // The graph's thread is told once (when every sink is done or the branch failed).
    bool told = false;
};

struct TRecordingBranch::Input {
    enum Mode { Open = 0, Waiting = 1, Closed = 2 };

    TInputRole role = TInputRole::Video;
    bool primary = false;
    GstElementRef tee;
    GstPadRef teePad; // the tee's output while linked
    GstPad* ghost = nullptr;
    GstPadChainFunction chain = nullptr; // the ghost pad's own functions
    GstPadEventFunction event = nullptr;

    std::atomic<int> mode{Open};
    std::atomic<uint64_t> buffers{0};
    // Set before the input is linked (cutIn) or before the cut is armed (cutOut); the Cut
    // objects are owned by the branches and outlive every buffer of the inputs.
    Cut* cutIn = nullptr;
    std::atomic<Cut*> cutOut{nullptr};

    // Streaming thread only (the tee's): the segment of the buffers, for their running time.
    GstSegment segment;
    bool haveSegment = false;
    GstElement* bin = nullptr; // for the clock's running time of buffers without a time

    // Closes the input: nothing more goes in, end-of-stream goes into the bin (once). On the
    // tee's streaming thread, or from an IDLE probe (no data flows then).
    void Close(bool sendEos) {
        if (mode.exchange(Closed) == Closed) {
            return;
        }
        if (Cut* c = cutOut.load(std::memory_order_acquire)) {
            c->oldClosed[static_cast<int>(role)].store(true);
            // From here on the next branch takes everything of this role.
            c->verdicts[static_cast<int>(role)].buffer.store(nullptr);
        }
        if (sendEos && ghost != nullptr) {
            event(ghost, GST_OBJECT_PARENT(ghost), gst_event_new_eos());
        }
    }

    int64_t RunningTime(GstBuffer* buffer) const {
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        if (haveSegment && GST_CLOCK_TIME_IS_VALID(pts) && segment.format == GST_FORMAT_TIME) {
            const guint64 rt = gst_segment_to_running_time(&segment, GST_FORMAT_TIME, pts);
            if (GST_CLOCK_TIME_IS_VALID(rt)) {
                return static_cast<int64_t>(rt);
            }
        }
        // A buffer without a usable time counts at the moment it arrives.
        const GstClockTime now = gst_element_get_current_running_time(bin);
        return GST_CLOCK_TIME_IS_VALID(now) ? static_cast<int64_t>(now) : -1;
    }

    // The switch time of a cut: told by its boundary, or taken from this buffer when this is
    // the primary input; the first input to learn it sets it for all.
    int64_t SwitchTime(Cut& cut, GstBuffer* buffer, int64_t rt) const {
        if (!cut.armed.load(std::memory_order_acquire)) {
            return -1;
        }
        int64_t t = cut.switchTime.load(std::memory_order_acquire);
        if (t < 0) {
            const int64_t learnt =
                cut.boundary ? cut.boundary(buffer, rt, primary) : (primary && rt >= 0 ? rt : -1);
            if (learnt >= 0) {
                int64_t expected = -1;
                cut.switchTime.compare_exchange_strong(expected, learnt);
                t = cut.switchTime.load(std::memory_order_acquire);
            }
        }
        return t;
    }

    // Whether this buffer goes into the branch; an old branch tells the next one.
    bool Takes(GstBuffer* buffer) {
        Cut* out = cutOut.load(std::memory_order_acquire);
        const bool took = Decide(buffer, out);
        if (out != nullptr && mode.load(std::memory_order_acquire) != Closed) {
            auto& v = out->verdicts[static_cast<int>(role)];
            v.took.store(took, std::memory_order_relaxed);
            v.buffer.store(buffer, std::memory_order_release);
        }
        return took;
    }

    bool Decide(GstBuffer* buffer, Cut* out) {
        const int m = mode.load(std::memory_order_acquire);
        if (m == Closed) {
            return false;
        }
        if (m == Open && out == nullptr) {
            return true;
        }
        const int64_t rt = RunningTime(buffer);
        if (m == Waiting) {
            Cut& in = *cutIn;
            auto& v = in.verdicts[static_cast<int>(role)];
            bool take;
            if (v.buffer.load(std::memory_order_acquire) == buffer) {
                // The old branch has just decided about this very buffer.
                take = !v.took.load(std::memory_order_relaxed);
            } else {
                const int64_t t = SwitchTime(in, buffer, rt);
                take = (t >= 0 && rt >= t) ||
                       (!primary && in.oldClosed[static_cast<int>(role)].load());
            }
            if (!take) {
                return false;
            }
            int expected = Waiting;
            if (!mode.compare_exchange_strong(expected, Open)) {
                return false; // closed meanwhile
            }
        }
        if (out != nullptr) {
            const int64_t t = SwitchTime(*out, buffer, rt);
            if (t >= 0 && rt >= t) {
                Close(true);
                return false;
            }
        }
        return true;
    }
};

namespace {

using Input = TRecordingBranch::Input;

Input* InputOfPad(GstPad* pad) {
    return static_cast<Input*>(pad->chaindata);
}

// The gate: what the input does not take is dropped, and the tee always hears "ok" — an error
// or end-of-stream of the branch must never travel up into the preview.
GstFlowReturn GateChain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
    Input* in = InputOfPad(pad);
    if (!in->Takes(buffer)) {
        gst_buffer_unref(buffer);
        return GST_FLOW_OK;
    }
    const GstFlowReturn ret = in->chain(pad, parent, buffer);
    if (ret == GST_FLOW_OK) {
        in->buffers.fetch_add(1, std::memory_order_relaxed);
    } else {
        // The branch refuses data: it failed (its error message says why) or is going.
        GST_DEBUG_OBJECT(pad, "branch answered %s; input closed", gst_flow_get_name(ret));
        in->Close(false);
    }
    return GST_FLOW_OK;
}

GstFlowReturn GateChainList(GstPad* pad, GstObject* parent, GstBufferList* list) {
    const guint n = gst_buffer_list_length(list);
    for (guint i = 0; i < n; ++i) {
        GateChain(pad, parent, gst_buffer_ref(gst_buffer_list_get(list, i)));
    }
    gst_buffer_list_unref(list);
    return GST_FLOW_OK;
}

gboolean GateEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    Input* in = static_cast<Input*>(pad->eventdata);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_SEGMENT:
        gst_event_copy_segment(event, &in->segment);
        in->haveSegment = true;
        break;
    case GST_EVENT_EOS:
        // The source ended: the branch finishes with it.
        in->mode.store(Input::Closed);
        return in->event(pad, parent, event);
    case GST_EVENT_FLUSH_START:
    case GST_EVENT_FLUSH_STOP:
        return in->event(pad, parent, event);
    default:
        break;
    }
    if (in->mode.load() == Input::Closed && GST_EVENT_IS_SERIALIZED(event)) {
        // The branch has its end-of-stream: what follows is not for it.
        gst_event_unref(event);
        return TRUE;
    }
    return in->event(pad, parent, event);
}

// Data the IDLE probes need; freed with the probe.
struct TProbeData {
    std::shared_ptr<Input> input;
    std::function<void()> then; // posted to the graph's thread after the work
    const TFilterGraph* graph = nullptr;
};

void FreeProbeData(gpointer data) {
    delete static_cast<TProbeData*>(data);
}

// A recording takes the buffers as they come: it has no allocation to offer. Answering here,
// instead of letting the question queue up behind the recording's data, keeps a source that
// asks (after each new branch) from waiting on a writer that itself waits (a muxer whose other
// stream has not started) — which would freeze the preview and the branch's own finish.
gboolean GateQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
    if (GST_QUERY_TYPE(query) == GST_QUERY_ALLOCATION) {
        return TRUE;
    }
    return gst_pad_query_default(pad, parent, query);
}

GstPadProbeReturn CloseWhenIdle(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* d = static_cast<TProbeData*>(data);
    d->input->Close(true);
    return GST_PAD_PROBE_REMOVE;
}

GstPadProbeReturn UnlinkWhenIdle(GstPad* teePad, GstPadProbeInfo*, gpointer data) {
    auto* d = static_cast<TProbeData*>(data);
    // No buffer is on its way through this output now, and none will be: unlinked, the tee
    // skips it. The output itself is released on the graph's thread.
    if (d->input->ghost != nullptr && gst_pad_is_linked(teePad)) {
        gst_pad_unlink(teePad, d->input->ghost);
    }
    if (d->graph != nullptr && d->then) {
        d->graph->Post(std::move(d->then));
    }
    return GST_PAD_PROBE_REMOVE;
}

// Unlinks a tee output from its input once no buffer is on its way through it, waiting a
// little for a push in progress.
void UnlinkNow(Input& in) {
    struct Wait {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        GstPad* ghost = nullptr;
    };
    auto wait = std::make_shared<Wait>();
    wait->ghost = in.ghost;
    using Held = std::shared_ptr<Wait>;
    gst_pad_add_probe(
        in.teePad.get(), GST_PAD_PROBE_TYPE_IDLE,
        +[](GstPad* teePad, GstPadProbeInfo*, gpointer data) {
            Wait& w = **static_cast<Held*>(data);
            if (gst_pad_is_linked(teePad)) {
                gst_pad_unlink(teePad, w.ghost);
            }
            std::lock_guard lock(w.m);
            w.done = true;
            w.cv.notify_all();
            return GST_PAD_PROBE_REMOVE;
        },
        new Held(wait), [](gpointer data) { delete static_cast<Held*>(data); });
    std::unique_lock lock(wait->m);
    if (!wait->cv.wait_for(lock, std::chrono::seconds(2), [&] { return wait->done; })) {
        lock.unlock();
        if (gst_pad_is_linked(in.teePad.get())) {
            gst_pad_unlink(in.teePad.get(), in.ghost);
        }
    }
}

} // namespace

// --- building ---

std::shared_ptr<TRecordingBranch> TRecordingBranch::Create(const std::string& name) {
    return std::shared_ptr<TRecordingBranch>(new TRecordingBranch(name));
}

TRecordingBranch::TRecordingBranch(std::string name)
    : m_name(std::move(name)), m_shared(std::make_shared<Shared>()) {
    InitDebug();
    m_bin = GstElementRef::adopt(GST_ELEMENT_CAST(
        gst_object_ref_sink(gst_bin_new(m_name.empty() ? nullptr : m_name.c_str()))));
    // Each sink's end-of-stream reaches the bus (wrapped), not only the bin's.
    g_object_set(m_bin.get(), "message-forward", TRUE, nullptr);
}

TRecordingBranch::~TRecordingBranch() {
    if (m_graph != nullptr) {
        // The owner let go of an attached branch: it leaves the graph without waiting.
        GST_WARNING("recording %s destroyed while attached", m_name.c_str());
    }
    if (m_bin && GST_OBJECT_PARENT(m_bin.get()) == nullptr) {
        gst_element_set_state(m_bin.get(), GST_STATE_NULL);
    }
}

void TRecordingBranch::Add(GstElement* element) {
    if (element == nullptr || !gst_bin_add(Bin(), element)) {
        throw EGraphError("could not add an element to the recording " + m_name,
                          graph_error::kFail);
    }
}

GstElement* TRecordingBranch::Make(const char* factory, const char* name) {
    auto e = MakeElement(factory, name);
    Add(e.get());
    return e.get(); // the bin holds it
}

void TRecordingBranch::Link(GstPad* out, GstPad* in) {
    // Connect's checks and texts, on pads inside the bin.
    const GstPadLinkReturn ret = gst_pad_link_full(out, in, GST_PAD_LINK_CHECK_DEFAULT);
    if (ret != GST_PAD_LINK_OK) {
        auto outOwner = PadOwner(out);
        auto inOwner = PadOwner(in);
        const std::string what =
            std::string("could not link ") + (outOwner ? GST_OBJECT_NAME(outOwner.get()) : "?") +
            ":" + GST_OBJECT_NAME(out) + " to " + (inOwner ? GST_OBJECT_NAME(inOwner.get()) : "?") +
            ":" + GST_OBJECT_NAME(in) + ": " + gst_pad_link_get_name(ret);
        throw EGraphError(what, ret == GST_PAD_LINK_NOFORMAT ? graph_error::kNoAcceptableTypes
                                                             : graph_error::kCannotConnect);
    }
}

namespace {

// The first pad of that direction not linked yet, or null.
GstPadRef FreePad(GstElement* element, PinDirection direction) {
    for (auto& pad : Pads(element, direction)) {
        if (!gst_pad_is_linked(pad.get())) {
            return pad;
        }
    }
    return {};
}

} // namespace

void TRecordingBranch::Link(std::initializer_list<GstElement*> chain) {
    GstElement* prev = nullptr;
    for (GstElement* e : chain) {
        if (prev != nullptr) {
            auto out = FreePad(prev, PinDirection::Output);
            auto in = FreePad(e, PinDirection::Input);
            if (out && in) {
                Link(out.get(), in.get());
            } else if (!gst_element_link(prev, e)) {
                // Request pads (a muxer's inputs): GStreamer picks one whose caps fit.
                throw EGraphError(std::string("could not link ") + GST_ELEMENT_NAME(prev) + " to " +
                                      GST_ELEMENT_NAME(e),
                                  graph_error::kCannotConnect);
            }
        }
        prev = e;
    }
}

GstPadRef TRecordingBranch::AddInput(TInputRole role, GstElement* tee) {
    if (m_state != State::Building) {
        throw EGraphError("inputs are added before the recording starts", graph_error::kWrongState);
    }
    if (tee == nullptr) {
        throw EGraphError(std::string("no tee for the ") + RoleName(role) + " input",
                          graph_error::kInvalidArg);
    }
    if (InputOf(role) != nullptr) {
        throw EGraphError(std::string("the recording ") + m_name + " already has a " +
                              RoleName(role) + " input",
                          graph_error::kAlreadyConnected);
    }
    const std::string queueName = m_name + "_" + RoleName(role);
    GstElement* queue = Make("queue", queueName.c_str());
    // A recording must not lose frames to a short queue while its writer catches up: time is
    // the limit (three seconds), not a handful of raw frames. The sound gets ten: its muxer holds
    // it back while the pictures of the same moment lie seconds deep in decoder, scaler and
    // encoder queues, and when one thread sends both (a DV demuxer), a full sound queue would
    // stop the pictures it waits for. Ten seconds of sound is under 2 MB.
    const GstClockTime limit = role == TInputRole::Audio ? 10 * GST_SECOND : 3 * GST_SECOND;
    g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 guint64(limit), nullptr);
    auto queueIn = GstPadRef::adopt(gst_element_get_static_pad(queue, "sink"));
    GstPad* ghost = gst_ghost_pad_new(RoleName(role), queueIn.get());
    auto input = std::make_shared<Input>();
    input->role = role;
    input->tee = GstElementRef::ref(tee);
    input->ghost = ghost;
    input->bin = m_bin.get();
    input->chain = GST_PAD_CHAINFUNC(ghost);
    input->event = GST_PAD_EVENTFUNC(ghost);
    gst_segment_init(&input->segment, GST_FORMAT_UNDEFINED);
    gst_pad_set_chain_function_full(ghost, &GateChain, input.get(), nullptr);
    gst_pad_set_chain_list_function_full(ghost, &GateChainList, input.get(), nullptr);
    gst_pad_set_event_function_full(ghost, &GateEvent, input.get(), nullptr);
    gst_pad_set_query_function(ghost, &GateQuery);
    gst_element_add_pad(m_bin.get(), ghost);
    m_inputs.push_back(std::move(input));
    return GstPadRef::adopt(gst_element_get_static_pad(queue, "src"));
}

TRecordingBranch::Input* TRecordingBranch::InputOf(TInputRole role) const {
    for (const auto& in : m_inputs) {
        if (in->role == role) {
            return in.get();
        }
    }
    return nullptr;
}

uint64_t TRecordingBranch::Buffers(TInputRole role) const {
    const Input* in = InputOf(role);
    return in ? in->buffers.load() : 0;
}

bool TRecordingBranch::HasFailed() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->failed;
}

std::string TRecordingBranch::ErrorText() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->error;
}

void TRecordingBranch::CountSinks() {
    std::lock_guard lock(m_shared->lock);
    m_shared->waitingSinks.clear();
    auto it = GstRef<GstIterator>::adopt(gst_bin_iterate_recurse(Bin()));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it.get(), &item) == GST_ITERATOR_OK) {
        auto* e = GST_ELEMENT_CAST(g_value_get_object(&item));
        if (!GST_IS_BIN(e) && GST_OBJECT_FLAG_IS_SET(e, GST_ELEMENT_FLAG_SINK)) {
            m_shared->waitingSinks.insert(e);
            // A sink joining a playing graph must neither wait for the clock nor preroll.
            for (const char* prop : {"async", "sync"}) {
                if (g_object_class_find_property(G_OBJECT_GET_CLASS(e), prop) != nullptr) {
                    g_object_set(e, prop, FALSE, nullptr);
                }
            }
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
}

// --- on the graph ---

void TRecordingBranch::Attach(TFilterGraph& graph) {
    if (m_state != State::Building) {
        throw EGraphError("the recording " + m_name + " was already started",
                          graph_error::kWrongState);
    }
    if (m_inputs.empty()) {
        throw EGraphError("the recording " + m_name + " has no input", graph_error::kInvalidArg);
    }
    for (const auto& in : m_inputs) {
        if (!graph.Contains(in->tee.get())) {
            throw EGraphError(std::string("the tee of the ") + RoleName(in->role) +
                                  " input is not in the graph",
                              graph_error::kNotInGraph);
        }
    }
    // The primary input takes the switch time of a cut: the picture decides the frame
    // boundary.
    for (TInputRole role : {TInputRole::Video, TInputRole::Native, TInputRole::Audio}) {
        if (Input* in = InputOf(role)) {
            in->primary = true;
            if (m_cutIn) {
                m_cutIn->primary = role;
            }
            break;
        }
    }
    CountSinks();
    graph.AddFilter(m_bin.get());
    auto self = shared_from_this();
    graph.Register(self);
    m_graph = &graph;
    m_postTo = &graph;
    if (gst_element_sync_state_with_parent(m_bin.get()) == FALSE) {
        m_graph = nullptr;
        graph.Unregister(this);
        gst_element_set_state(m_bin.get(), GST_STATE_NULL);
        gst_bin_remove(graph.Bin(), m_bin.get());
        throw EGraphError("the recording " + m_name + " could not start", graph_error::kFail);
    }
    try {
        for (auto& in : m_inputs) {
            // An output whose branch is gone must not stop the others.
            g_object_set(in->tee.get(), "allow-not-linked", TRUE, nullptr);
            in->teePad = GstPadRef::adopt(gst_element_request_pad_simple(in->tee.get(), "src_%u"));
            if (!in->teePad) {
                throw EGraphError("the tee gives no new output", graph_error::kNotFound);
            }
            graph.Connect(in->teePad.get(), in->ghost);
        }
    } catch (...) {
        // What was linked goes again; the bin never got data.
        for (auto& in : m_inputs) {
            if (in->teePad) {
                if (gst_pad_is_linked(in->teePad.get())) {
                    gst_pad_unlink(in->teePad.get(), in->ghost);
                }
                gst_element_release_request_pad(in->tee.get(), in->teePad.get());
                in->teePad.reset();
            }
        }
        m_graph = nullptr;
        graph.Unregister(this);
        gst_element_set_state(m_bin.get(), GST_STATE_NULL);
        gst_bin_remove(graph.Bin(), m_bin.get());
        throw;
    }
    m_state = State::Recording;
    GST_INFO("recording %s attached", m_name.c_str());
}

void TRecordingBranch::OnMessage(GstMessage* message) {
    bool tell = false;
    {
        std::lock_guard lock(m_shared->lock);
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            m_shared->waitingSinks.erase(GST_ELEMENT_CAST(GST_MESSAGE_SRC(message)));
            if (m_shared->waitingSinks.empty() && !m_shared->sinksDone) {
                m_shared->sinksDone = true;
                tell = true;
            }
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && !m_shared->failed) {
            GErrorRef err;
            gst_message_parse_error(message, &err.out(), nullptr);
            m_shared->failed = true;
            m_shared->error = err ? err->message : "unknown error";
            tell = true;
        }
        if (tell) {
            tell = !m_shared->told;
            m_shared->told = true;
        }
        m_shared->changed.notify_all();
    }
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        // Nothing more goes in, at once: the next push of the tee is dropped, so the failing
        // element's error never reaches it.
        for (auto& in : m_inputs) {
            in->Close(false);
        }
    }
    if (tell && m_postTo != nullptr) {
        std::weak_ptr<TRecordingBranch> weak = weak_from_this();
        m_postTo->Post([weak] {
            if (auto self = weak.lock()) {
                self->OnSinksDone();
            }
        });
    }
}

void TRecordingBranch::OnSinksDone() {
    if (m_graph == nullptr || m_detaching) {
        return;
    }
    if (m_state == State::Recording) {
        // The branch ended by itself (the source's end-of-stream, or a failure).
        m_state = State::Finishing;
    }
    Detach();
}

void TRecordingBranch::CloseInputs() {
    for (auto& in : m_inputs) {
        if (in->mode.load() == Input::Closed || !in->teePad) {
            continue;
        }
        gst_pad_add_probe(in->teePad.get(), GST_PAD_PROBE_TYPE_IDLE, &CloseWhenIdle,
                          new TProbeData{in, nullptr, nullptr}, &FreeProbeData);
    }
}

bool TRecordingBranch::AddDone(Done done) {
    if (done) {
        m_done.push_back(std::move(done));
    }
    if (m_graph == nullptr || m_state == State::Building) {
        // Never attached (or gone with its graph): nothing to finish, the answer is now.
        m_state = State::Done;
        Complete();
        return false;
    }
    return true;
}

void TRecordingBranch::WhenDone(Done done) {
    if (!done) {
        return;
    }
    if (m_state == State::Done) {
        done(Result());
        return;
    }
    m_done.push_back(std::move(done));
}

void TRecordingBranch::Finish(Done done) {
    if (!AddDone(std::move(done))) {
        return;
    }
    // A cut waiting for its boundary is called off: this branch ends now (the caller finishes
    // the next one).
    const bool pendingCut = m_state == State::Finishing && CutPending();
    if (m_state != State::Recording && !pendingCut) {
        return;
    }
    m_state = State::Finishing;
    GST_INFO("recording %s finishing", m_name.c_str());
    CloseInputs();
    // A branch whose sinks had all finished already (the source ended) goes at once.
    bool done2;
    {
        std::lock_guard lock(m_shared->lock);
        done2 = m_shared->sinksDone || m_shared->failed;
    }
    if (done2) {
        OnSinksDone();
        return;
    }
    // A writer that never finishes (a sink stuck on a dead disk) must not keep the branch in
    // the graph for ever.
    std::weak_ptr<TRecordingBranch> weak = weak_from_this();
    QTimer::singleShot(m_graph->FinishTimeout(), m_graph->m_dispatch.get(), [weak] {
        auto self = weak.lock();
        if (!self || self->m_detaching || self->m_state != State::Finishing) {
            return;
        }
        {
            std::lock_guard lock(self->m_shared->lock);
            if (self->m_shared->error.empty()) {
                self->m_shared->error = "the recording could not be finished in time";
            }
        }
        GST_WARNING("recording %s did not finish in time", self->m_name.c_str());
        self->Detach();
    });
}

void TRecordingBranch::Abort(Done done) {
    if (!AddDone(std::move(done)) || m_detaching) {
        return;
    }
    m_state = State::Finishing;
    for (auto& in : m_inputs) {
        in->Close(false);
    }
    Detach();
}

void TRecordingBranch::CutTo(const std::shared_ptr<TRecordingBranch>& next, Done done,
                             TCutBoundary boundary) {
    if (!next || next.get() == this) {
        throw EGraphError("no recording to cut to", graph_error::kInvalidArg);
    }
    if (m_graph == nullptr || m_state != State::Recording) {
        throw EGraphError("the recording " + m_name + " is not running", graph_error::kWrongState);
    }
    auto cut = std::make_shared<Cut>();
    const bool waitForBoundary = static_cast<bool>(boundary);
    cut->boundary = std::move(boundary);
    next->m_cutIn = cut;
    for (auto& in : next->m_inputs) {
        in->cutIn = cut.get();
        in->mode.store(Input::Waiting);
    }
    try {
        next->Attach(*m_graph);
    } catch (...) {
        next->m_cutIn.reset();
        throw;
    }
    m_cutOut = cut;
    for (auto& in : m_inputs) {
        in->cutOut.store(cut.get(), std::memory_order_release);
    }
    // From here on the first buffer of the primary input decides the boundary.
    cut->armed.store(true, std::memory_order_release);
    if (done) {
        m_done.push_back(std::move(done));
    }
    m_state = State::Finishing;
    GST_INFO("recording %s cut to %s", m_name.c_str(), next->m_name.c_str());
    // A boundary still to come is waited for however long it takes.
    if (!waitForBoundary) {
        StartFallbackTimers();
    }
}

void TRecordingBranch::StartFallbackTimers() {
    std::weak_ptr<TRecordingBranch> weak = weak_from_this();
    QTimer::singleShot(kCutFallback, m_graph->m_dispatch.get(), [weak] {
        auto self = weak.lock();
        if (!self || self->m_detaching || !self->m_cutOut) {
            return;
        }
        // Nothing came: the boundary is now, and the inputs that saw nothing close.
        int64_t expected = -1;
        const GstClockTime now = gst_element_get_current_running_time(self->m_bin.get());
        self->m_cutOut->switchTime.compare_exchange_strong(
            expected, GST_CLOCK_TIME_IS_VALID(now) ? static_cast<int64_t>(now) : 0);
        self->CloseInputs();
        // The timeout of an ordinary finish applies from here.
        self->m_state = State::Recording;
        self->Finish(nullptr);
    });
}

void TRecordingBranch::Detach() {
    if (m_detaching || m_graph == nullptr) {
        return;
    }
    m_detaching = true;
    auto pending = std::make_shared<size_t>(0);
    std::weak_ptr<TRecordingBranch> weak = weak_from_this();
    for (auto& in : m_inputs) {
        if (!in->teePad) {
            continue;
        }
        ++*pending;
        auto input = in;
        auto released = [weak, input, pending] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            if (input->teePad) {
                gst_element_release_request_pad(input->tee.get(), input->teePad.get());
                input->teePad.reset();
            }
            if (--*pending == 0) {
                self->RemoveBin();
            }
        };
        gst_pad_add_probe(in->teePad.get(), GST_PAD_PROBE_TYPE_IDLE, &UnlinkWhenIdle,
                          new TProbeData{in, released, m_graph}, &FreeProbeData);
    }
    if (*pending == 0) {
        RemoveBin();
        return;
    }
    // An output stays busy while the tee pushes into a full queue of the branch; a writer
    // stuck on a dead disk would keep it so. The gates answer the tee "ok" whatever the bin
    // does, so after a while the bin may go with the tee still pushing into it.
    QTimer::singleShot(m_graph->FinishTimeout(), m_graph->m_dispatch.get(), [weak] {
        auto self = weak.lock();
        if (!self || self->m_graph == nullptr) {
            return;
        }
        GST_WARNING("recording %s: the tee outputs stayed busy; removed anyway",
                    self->m_name.c_str());
        for (auto& in : self->m_inputs) {
            if (in->teePad) {
                if (gst_pad_is_linked(in->teePad.get())) {
                    gst_pad_unlink(in->teePad.get(), in->ghost);
                }
                gst_element_release_request_pad(in->tee.get(), in->teePad.get());
                in->teePad.reset();
            }
        }
        self->RemoveBin();
    });
}

void TRecordingBranch::RemoveBin() {
    if (m_graph == nullptr) {
        return;
    }
    // The graph's registry may hold the last reference.
    auto keep = shared_from_this();
    // Nothing feeds the bin any more: stopping it cannot reach a tee.
    gst_element_set_state(m_bin.get(), GST_STATE_NULL);
    if (m_graph->Contains(m_bin.get())) {
        gst_bin_remove(m_graph->Bin(), m_bin.get());
    }
    m_graph->Unregister(this);
    TFilterGraph* graph = m_graph;
    m_graph = nullptr;
    m_state = State::Done;
    GST_INFO("recording %s left the graph", m_name.c_str());
    TGraphEvent e;
    e.Kind = TGraphEventKind::RecordingDone;
    e.Branch = m_name;
    {
        std::lock_guard lock(m_shared->lock);
        e.Finished = m_shared->sinksDone && !m_shared->failed;
        e.Text = m_shared->error;
    }
    graph->Deliver(e);
    Complete();
}

TRecordingResult TRecordingBranch::Result() const {
    TRecordingResult result;
    {
        std::lock_guard lock(m_shared->lock);
        result.Finished = m_shared->sinksDone && !m_shared->failed;
        result.Error = result.Finished ? std::string() : m_shared->error;
    }
    for (const auto& in : m_inputs) {
        result.Buffers[static_cast<int>(in->role)] = in->buffers.load();
    }
    if (!result.Finished && result.Error.empty()) {
        result.Error = "the recording was stopped before it was finished";
    }
    return result;
}

void TRecordingBranch::Complete() {
    const TRecordingResult result = Result();
    auto done = std::move(m_done);
    m_done.clear();
    for (auto& d : done) {
        if (d) {
            d(result);
        }
    }
}

TRecordingResult TRecordingBranch::FinishAndWait(std::chrono::milliseconds timeout) {
    auto keep = shared_from_this();
    if (m_graph != nullptr && !m_detaching) {
        m_state = State::Finishing;
        CloseInputs();
    }
    if (m_graph != nullptr) {
        std::unique_lock lock(m_shared->lock);
        m_shared->changed.wait_for(lock, timeout,
                                   [&] { return m_shared->sinksDone || m_shared->failed; });
        if (!m_shared->sinksDone && m_shared->error.empty()) {
            m_shared->error = "the recording could not be finished in time";
        }
    }
    // Leave the graph now, even when an asynchronous detach is under way. The IDLE unlink
    // waits only for a push in progress; past that the gates make the removal safe anyway.
    if (m_graph != nullptr) {
        m_detaching = true;
        for (auto& in : m_inputs) {
            in->Close(false);
            if (in->teePad) {
                UnlinkNow(*in);
                gst_element_release_request_pad(in->tee.get(), in->teePad.get());
                in->teePad.reset();
            }
        }
        RemoveBin();
    }
    return Result();
}

bool TRecordingBranch::CutPending() const {
    if (!m_cutOut || m_detaching) {
        return false;
    }
    for (const auto& in : m_inputs) {
        if (in->mode.load() != Input::Closed) {
            return true;
        }
    }
    return false;
}

std::vector<GstElement*> TRecordingBranch::InputTees() const {
    std::vector<GstElement*> tees;
    for (const auto& in : m_inputs) {
        tees.push_back(in->tee.get());
    }
    return tees;
}

GstElement* TRecordingBranch::InputTee(TInputRole role) const {
    const Input* in = InputOf(role);
    return in ? in->tee.get() : nullptr;
}

} // namespace vidorel

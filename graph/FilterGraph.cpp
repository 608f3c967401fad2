#include "graph/FilterGraph.h"

#include "graph/RecordingBranch.h"

#include <gst/audio/audio.h>

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>

GST_DEBUG_CATEGORY_STATIC(vidorel_graph_debug);
#define GST_CAT_DEFAULT vidorel_graph_debug

namespace vidorel {

namespace {

void InitDebug() {
    static std::once_flag once;
    std::call_once(once, [] {
        GST_DEBUG_CATEGORY_INIT(vidorel_graph_debug, "vidorelgraph", 0, "Vidorel graph");
    });
}

// "element:pad", as GStreamer's own messages name pads.
std::string PadName(GstPad* pad) {
    auto owner = GstRef<GstObject>::adopt(gst_object_get_parent(GST_OBJECT_CAST(pad)));
    GCharRef padName = GCharRef::adopt(gst_object_get_name(GST_OBJECT_CAST(pad)));
    GCharRef ownerName = GCharRef::adopt(owner ? gst_object_get_name(owner.get()) : nullptr);
    return std::string(ownerName ? ownerName.get() : "") + ":" + (padName ? padName.get() : "?");
}

std::string ElementName(GstElement* e) {
    GCharRef name = GCharRef::adopt(gst_object_get_name(GST_OBJECT_CAST(e)));
    return name ? name.get() : "?";
}

bool IsRequestPad(GstPad* pad) {
    GstPadTemplate* templ = GST_PAD_PAD_TEMPLATE(pad);
    return templ != nullptr && GST_PAD_TEMPLATE_PRESENCE(templ) == GST_PAD_REQUEST;
}

// Every element of a bin, recursing into child bins, in iteration order.
std::vector<GstElementRef> AllElements(GstBin* bin, bool recurse) {
    std::vector<GstElementRef> out;
    auto it = GstRef<GstIterator>::adopt(recurse ? gst_bin_iterate_recurse(bin)
                                                 : gst_bin_iterate_elements(bin));
    GValue item = G_VALUE_INIT;
    bool done = false;
    while (!done) {
        switch (gst_iterator_next(it.get(), &item)) {
        case GST_ITERATOR_OK:
            out.push_back(GstElementRef::ref(GST_ELEMENT_CAST(g_value_get_object(&item))));
            g_value_reset(&item);
            break;
        case GST_ITERATOR_RESYNC:
            out.clear();
            gst_iterator_resync(it.get());
            break;
        default:
            done = true;
            break;
        }
    }
    g_value_unset(&item);
    return out;
}

} // namespace

// --- errors ---

std::string GraphErrorText(const std::string& text, std::uint32_t code) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " ($%x).", static_cast<unsigned>(code));
    return text + suffix;
}

EGraphError::EGraphError(const std::string& text, std::uint32_t code)
    : std::runtime_error(GraphErrorText(text, code)), m_text(text), m_code(code) {}

// --- facts ---

TStreamFacts FactsFromCaps(const GstCaps* caps) {
    TStreamFacts f;
    if (caps == nullptr || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) {
        return f;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    f.mediaType = gst_structure_get_name(s);
    gst_structure_get_int(s, "width", &f.width);
    gst_structure_get_int(s, "height", &f.height);
    gint n = 0, d = 1;
    if (gst_structure_get_fraction(s, "framerate", &n, &d) && n > 0 && d > 0) {
        f.frameRate = static_cast<double>(n) / d;
        f.frameDuration = static_cast<std::uint32_t>(std::llround(1e7 * d / n));
    }
    gst_structure_get_int(s, "rate", &f.audioRate);
    gst_structure_get_int(s, "channels", &f.audioChannels);
    if (const char* format = gst_structure_get_string(s, "format");
        format != nullptr && f.IsAudio()) {
        const GstAudioFormat af = gst_audio_format_from_string(format);
        if (af != GST_AUDIO_FORMAT_UNKNOWN) {
            f.audioBits = GST_AUDIO_FORMAT_INFO_WIDTH(gst_audio_format_get_info(af));
        }
    }
    if (f.audioBits == 0) {
        gst_structure_get_int(s, "depth", &f.audioBits);
    }
    return f;
}

// --- elements and pads ---

GstElementRef MakeElement(const char* factory, const char* name) {
    InitDebug();
    GstElement* e = gst_element_factory_make(factory, name);
    if (e == nullptr) {
        auto f = GstRef<GstElementFactory>::adopt(gst_element_factory_find(factory));
        if (!f) {
            throw EGraphError(std::string("no element \"") + factory + "\"",
                              graph_error::kClassNotRegistered);
        }
        throw EGraphError(std::string("could not create element from factory ") + factory,
                          graph_error::kFail);
    }
    return GstElementRef::adopt(GST_ELEMENT_CAST(gst_object_ref_sink(e)));
}

std::vector<GstPadRef> Pads(GstElement* element, PinDirection direction) {
    std::vector<GstPadRef> out;
    GST_OBJECT_LOCK(element);
    for (GList* l = direction == PinDirection::Input ? element->sinkpads : element->srcpads; l;
         l = l->next) {
        out.push_back(GstPadRef::ref(GST_PAD_CAST(l->data)));
    }
    GST_OBJECT_UNLOCK(element);
    return out;
}

GstPadRef FindPad(GstElement* element, PinDirection direction, int index) {
    if (element == nullptr || index < 0) {
        return {};
    }
    auto pads = Pads(element, direction);
    if (static_cast<size_t>(index) >= pads.size()) {
        return {};
    }
    return pads[static_cast<size_t>(index)];
}

GstPadRef Pad(GstElement* element, PinDirection direction, int index) {
    GstPadRef pad = FindPad(element, direction, index);
    if (!pad) {
        throw EGraphError(
            std::string(direction == PinDirection::Input ? "no input pad " : "no output pad ") +
                std::to_string(index) + " on element " +
                (element ? ElementName(element) : std::string("(none)")),
            graph_error::kNotFound);
    }
    return pad;
}

GstElementRef PadOwner(GstPad* pad) {
    return pad ? GstElementRef::adopt(gst_pad_get_parent_element(pad)) : GstElementRef();
}

// --- TFilter ---

TFilter::TFilter(std::string name) : m_name(std::move(name)) {}

TFilter::~TFilter() {
    try {
        Detach();
    } catch (...) {
        // A destructor cannot report; the graph drops the element with itself.
    }
}

void TFilter::SetMoniker(TMoniker moniker) {
    Detach();
    m_moniker = std::move(moniker);
}

void TFilter::ClearMoniker() {
    SetMoniker({});
}

void TFilter::Attach(TFilterGraph& graph) {
    if (m_graph == &graph && graph.Contains(m_element.get())) {
        return;
    }
    Detach();
    if (m_moniker.Empty()) {
        throw EGraphError("no filter chosen for " +
                              (m_name.empty() ? std::string("the component") : m_name),
                          graph_error::kInvalidArg);
    }
    GstElementRef e;
    const char* name = m_name.empty() ? nullptr : m_name.c_str();
    if (m_moniker.device) {
        GstElement* made = gst_device_create_element(m_moniker.device.get(), name);
        if (made == nullptr) {
            throw EGraphError("the device " + m_moniker.displayName + " gave no element",
                              graph_error::kFail);
        }
        e = GstElementRef::adopt(GST_ELEMENT_CAST(gst_object_ref_sink(made)));
    } else {
        e = MakeElement(m_moniker.factory.c_str(), name);
    }
    for (const auto& [key, value] : m_moniker.properties) {
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(e.get()), key.c_str()) == nullptr) {
            throw EGraphError("no property \"" + key + "\" in element \"" + ElementName(e.get()) +
                                  "\"",
                              graph_error::kInvalidArg);
        }
        gst_util_set_object_arg(G_OBJECT(e.get()), key.c_str(), value.c_str());
    }
    graph.AddFilter(e.get());
    m_element = std::move(e);
    m_graph = &graph;
}

void TFilter::Detach() {
    if (m_graph != nullptr && m_element && m_graph->Contains(m_element.get())) {
        m_graph->RemoveFilter(m_element.get());
    }
    m_graph = nullptr;
    m_element.reset();
}

// --- TFilterGraph ---

TFilterGraph::TFilterGraph(const char* name) : m_dispatch(std::make_unique<QObject>()) {
    InitDebug();
    m_pipeline =
        GstElementRef::adopt(GST_ELEMENT_CAST(gst_object_ref_sink(gst_pipeline_new(name))));
    auto bus = GstBusRef::adopt(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &TFilterGraph::SyncHandler, this, nullptr);
}

TFilterGraph::~TFilterGraph() {
    gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    // Recordings still attached leave with the graph; their owners may keep the objects.
    std::map<GstElement*, std::shared_ptr<TRecordingBranch>> recordings;
    {
        std::lock_guard lock(m_lock);
        recordings.swap(m_recordings);
        m_recordingOrder.clear();
    }
    for (auto& [bin, branch] : recordings) {
        branch->m_graph = nullptr;
    }
    auto bus = GstBusRef::adopt(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    // Queued work for this graph is dropped with its target.
    m_dispatch.reset();
}

GstBusSyncReply TFilterGraph::SyncHandler(GstBus*, GstMessage* message, gpointer self) {
    static_cast<TFilterGraph*>(self)->OnMessage(message);
    // Every message is handled here: nothing piles up on a bus nobody pops. A dropped message
    // belongs to the handler.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

namespace {

// Whether the element that posted `message`, or a bin holding it below the pipeline, is a
// source: its failure is the failure of a device.
bool FromSource(GstMessage* message) {
    auto object = GstRef<GstObject>::ref(GST_MESSAGE_SRC(message));
    while (object) {
        if (GST_IS_ELEMENT(object.get()) && !GST_IS_PIPELINE(object.get()) &&
            GST_OBJECT_FLAG_IS_SET(object.get(), GST_ELEMENT_FLAG_SOURCE)) {
            return true;
        }
        object = GstRef<GstObject>::adopt(gst_object_get_parent(object.get()));
    }
    return false;
}

TGraphEvent EventOf(TGraphEventKind kind, GstMessage* message, const GError* err,
                    const char* debug) {
    TGraphEvent e;
    e.Kind = kind;
    e.Source = GST_MESSAGE_SRC_NAME(message) ? GST_MESSAGE_SRC_NAME(message) : "";
    if (err != nullptr) {
        e.Text = err->message ? err->message : "";
        e.Domain = err->domain;
        e.Code = err->code;
    }
    e.Debug = debug ? debug : "";
    return e;
}

} // namespace

void TFilterGraph::OnMessage(GstMessage* message) {
    std::function<void(GstMessage*)> handler;
    {
        std::lock_guard lock(m_lock);
        handler = m_handler;
    }
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GErrorRef err;
        GCharRef debug;
        gst_message_parse_error(message, &err.out(), &debug.out());
        if (auto branch = RecordingOf(GST_MESSAGE_SRC(message))) {
            // A recording that fails ends alone; the preview goes on.
            branch->OnMessage(message);
            TGraphEvent e =
                EventOf(TGraphEventKind::RecordingError, message, err.get(), debug.get());
            e.Branch = branch->Name();
            Deliver(std::move(e));
            break;
        }
        const bool device = err && err->domain == GST_RESOURCE_ERROR && FromSource(message);
        {
            std::lock_guard lock(m_lock);
            if (m_errorCount == 0 || m_lastError.empty()) {
                // The first error since the run began says what went wrong; later ones follow.
                m_lastError = err ? err->message : "unknown error";
                m_lastErrorDebug = debug ? debug.get() : "";
            }
            ++m_errorCount;
            m_failed = true;
        }
        GST_WARNING("error from %s: %s (%s)", GST_MESSAGE_SRC_NAME(message),
                    err ? err->message : "?", debug ? debug.get() : "");
        Deliver(EventOf(device ? TGraphEventKind::DeviceLost : TGraphEventKind::Error, message,
                        err.get(), debug.get()));
        break;
    }
    case GST_MESSAGE_WARNING: {
        GErrorRef err;
        GCharRef debug;
        gst_message_parse_warning(message, &err.out(), &debug.out());
        TGraphEvent e = EventOf(TGraphEventKind::Warning, message, err.get(), debug.get());
        if (auto branch = RecordingOf(GST_MESSAGE_SRC(message))) {
            e.Branch = branch->Name();
        }
        Deliver(std::move(e));
        break;
    }
    case GST_MESSAGE_EOS:
        Deliver(EventOf(TGraphEventKind::EndOfStream, message, nullptr, nullptr));
        break;
    case GST_MESSAGE_LATENCY:
        // A source or sink that joined a playing graph changes its latency.
        Post([this] { gst_bin_recalculate_latency(Bin()); });
        break;
    case GST_MESSAGE_ELEMENT: {
        const GstStructure* s = gst_message_get_structure(message);
        if (s != nullptr && gst_structure_has_name(s, "GstBinForwarded")) {
            // A recording bin passes on what its children post (it is set to): the
            // end-of-stream of each of its sinks.
            GstMessage* inner = nullptr;
            gst_structure_get(s, "message", GST_TYPE_MESSAGE, &inner, nullptr);
            auto forwarded = GstMessageRef::adopt(inner);
            if (forwarded && GST_MESSAGE_TYPE(forwarded.get()) == GST_MESSAGE_EOS) {
                if (auto branch = RecordingOf(GST_MESSAGE_SRC(forwarded.get()))) {
                    branch->OnMessage(forwarded.get());
                }
            }
            break;
        }
        TGraphEvent e = EventOf(TGraphEventKind::Element, message, nullptr, nullptr);
        if (s != nullptr) {
            e.Structure = GstRef<GstStructure>::ref(const_cast<GstStructure*>(s));
        }
        if (auto branch = RecordingOf(GST_MESSAGE_SRC(message))) {
            e.Branch = branch->Name();
        }
        Deliver(std::move(e));
        break;
    }
    default:
        break;
    }
    if (handler) {
        handler(message);
    }
}

void TFilterGraph::Deliver(TGraphEvent event) {
    Post([this, event = std::move(event)] {
        if (m_receiver != nullptr) {
            m_receiver->GraphEvent(event);
        }
    });
}

void TFilterGraph::Post(std::function<void()> work) const {
    if (m_dispatch) {
        QMetaObject::invokeMethod(m_dispatch.get(), std::move(work), Qt::QueuedConnection);
    }
}

std::shared_ptr<TRecordingBranch> TFilterGraph::RecordingOf(GstObject* object) const {
    // The child of the pipeline that holds `object`.
    auto child = GstRef<GstObject>::ref(object);
    while (child) {
        auto parent = GstRef<GstObject>::adopt(gst_object_get_parent(child.get()));
        if (!parent) {
            return nullptr;
        }
        if (parent.get() == GST_OBJECT_CAST(m_pipeline.get())) {
            break;
        }
        child = std::move(parent);
    }
    if (!child) {
        return nullptr;
    }
    std::lock_guard lock(m_lock);
    auto it = m_recordings.find(GST_ELEMENT_CAST(child.get()));
    return it != m_recordings.end() ? it->second : nullptr;
}

void TFilterGraph::Register(const std::shared_ptr<TRecordingBranch>& branch) {
    std::lock_guard lock(m_lock);
    m_recordings[branch->BinElement()] = branch;
    m_recordingOrder.push_back(branch.get());
}

void TFilterGraph::Unregister(const TRecordingBranch* branch) {
    std::lock_guard lock(m_lock);
    m_recordings.erase(branch->BinElement());
    std::erase(m_recordingOrder, branch);
}

std::vector<std::shared_ptr<TRecordingBranch>> TFilterGraph::Recordings() const {
    std::lock_guard lock(m_lock);
    std::vector<std::shared_ptr<TRecordingBranch>> out;
    for (const TRecordingBranch* b : m_recordingOrder) {
        auto it = m_recordings.find(b->BinElement());
        if (it != m_recordings.end()) {
            out.push_back(it->second);
        }
    }
    return out;
}

void TFilterGraph::SetMessageHandler(std::function<void(GstMessage*)> handler) {
    std::lock_guard lock(m_lock);
    m_handler = std::move(handler);
}

std::string TFilterGraph::LastError() const {
    std::lock_guard lock(m_lock);
    return m_lastError;
}

std::string TFilterGraph::LastErrorDebug() const {
    std::lock_guard lock(m_lock);
    return m_lastErrorDebug;
}

void TFilterGraph::Fail(const std::string& text) {
    std::lock_guard lock(m_lock);
    if (m_lastError.empty()) {
        m_lastError = text;
    }
}

void TFilterGraph::AddFilter(GstElement* element, const std::string& name) {
    if (element == nullptr) {
        throw EGraphError("no element to add", graph_error::kInvalidArg);
    }
    if (GST_OBJECT_PARENT(element) != nullptr) {
        if (Contains(element)) {
            return;
        }
        throw EGraphError("element \"" + ElementName(element) + "\" is already in another bin",
                          graph_error::kInvalidArg);
    }
    if (!name.empty()) {
        gst_object_set_name(GST_OBJECT_CAST(element), name.c_str());
    }
    const std::string actual = ElementName(element);
    if (FindFilter(actual)) {
        throw EGraphError("name \"" + actual + "\" is not unique in bin \"" +
                              ElementName(Element()) + "\"",
                          graph_error::kDuplicateName);
    }
    if (!gst_bin_add(Bin(), element)) {
        throw EGraphError("could not add element \"" + actual + "\"", graph_error::kFail);
    }
}

bool TFilterGraph::Contains(GstElement* element) const {
    return element != nullptr && GST_OBJECT_PARENT(element) == GST_OBJECT_CAST(m_pipeline.get());
}

GstElementRef TFilterGraph::FindFilter(const std::string& name) const {
    // Only direct children: gst_bin_get_by_name would also search inside child bins.
    for (auto& e : AllElements(Bin(), false)) {
        if (ElementName(e.get()) == name) {
            return e;
        }
    }
    return {};
}

void TFilterGraph::RemoveFilter(GstElement* element) {
    if (!Contains(element)) {
        throw EGraphError("element \"" + (element ? ElementName(element) : std::string("(none)")) +
                              "\" is not in the graph",
                          graph_error::kNotInGraph);
    }
    auto keep = GstElementRef::ref(element);
    gst_element_set_locked_state(element, FALSE);
    gst_element_set_state(element, GST_STATE_NULL);
    for (PinDirection dir : {PinDirection::Input, PinDirection::Output}) {
        for (auto& pad : Pads(element, dir)) {
            auto peer = GstPadRef::adopt(gst_pad_get_peer(pad.get()));
            if (peer) {
                if (dir == PinDirection::Output) {
                    gst_pad_unlink(pad.get(), peer.get());
                } else {
                    gst_pad_unlink(peer.get(), pad.get());
                }
                // A request pad held on a neighbour (a tee's output, a muxer's input) goes back.
                if (IsRequestPad(peer.get())) {
                    if (auto owner = PadOwner(peer.get())) {
                        gst_element_release_request_pad(owner.get(), peer.get());
                    }
                }
            }
            // Request pads of the element itself go too: a kept element (a tee of the data
            // module) comes back with no outputs, so tap indexes start afresh.
            if (IsRequestPad(pad.get())) {
                gst_element_release_request_pad(element, pad.get());
            }
        }
    }
    gst_bin_remove(Bin(), element);
}

GstPadRef TFilterGraph::TapTee(GstElement* tee) {
    if (!Contains(tee)) {
        throw EGraphError("tee \"" + (tee ? ElementName(tee) : std::string("(none)")) +
                              "\" is not in the graph",
                          graph_error::kNotInGraph);
    }
    auto teePad = GstPadRef::adopt(gst_element_request_pad_simple(tee, "src_%u"));
    if (!teePad) {
        throw EGraphError("element \"" + ElementName(tee) + "\" gives no new output",
                          graph_error::kNotFound);
    }
    std::string name;
    do {
        name = ElementName(tee) + "_tap" + std::to_string(m_tapCount++);
    } while (FindFilter(name));
    try {
        auto queue = MakeElement("queue", name.c_str());
        AddFilter(queue.get());
        auto queueIn = GstPadRef::adopt(gst_element_get_static_pad(queue.get(), "sink"));
        Connect(teePad.get(), queueIn.get());
        if (GST_STATE(Element()) > GST_STATE_NULL) {
            gst_element_sync_state_with_parent(queue.get());
        }
        return GstPadRef::adopt(gst_element_get_static_pad(queue.get(), "src"));
    } catch (...) {
        if (!gst_pad_is_linked(teePad.get())) {
            gst_element_release_request_pad(tee, teePad.get());
        }
        throw;
    }
}

GstPadRef TFilterGraph::RequestMuxerPad(GstElement* muxer, StreamRole role) {
    const char* prefix = role == StreamRole::Video ? "video" : "audio";
    GstElementClass* klass = GST_ELEMENT_GET_CLASS(muxer);
    GstPadTemplate* chosen = nullptr;
    for (GList* l = gst_element_class_get_pad_template_list(klass);
         l != nullptr && chosen == nullptr; l = l->next) {
        auto* templ = GST_PAD_TEMPLATE(l->data);
        if (GST_PAD_TEMPLATE_DIRECTION(templ) == GST_PAD_SINK &&
            GST_PAD_TEMPLATE_PRESENCE(templ) == GST_PAD_REQUEST &&
            g_str_has_prefix(GST_PAD_TEMPLATE_NAME_TEMPLATE(templ), prefix)) {
            chosen = templ;
        }
    }
    // Else a request template whose caps are of that kind.
    for (GList* l = gst_element_class_get_pad_template_list(klass);
         l != nullptr && chosen == nullptr; l = l->next) {
        auto* templ = GST_PAD_TEMPLATE(l->data);
        if (GST_PAD_TEMPLATE_DIRECTION(templ) != GST_PAD_SINK ||
            GST_PAD_TEMPLATE_PRESENCE(templ) != GST_PAD_REQUEST) {
            continue;
        }
        auto caps = GstCapsRef::adopt(gst_pad_template_get_caps(templ));
        for (guint i = 0; i < gst_caps_get_size(caps.get()); ++i) {
            if (g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), i)),
                                 prefix)) {
                chosen = templ;
                break;
            }
        }
    }
    GstPad* pad = chosen ? gst_element_request_pad(muxer, chosen, nullptr, nullptr) : nullptr;
    if (pad == nullptr) {
        throw EGraphError(std::string("element \"") + ElementName(muxer) + "\" has no " + prefix +
                              " input",
                          graph_error::kNotFound);
    }
    return GstPadRef::adopt(pad);
}

void TFilterGraph::Connect(GstPad* out, GstPad* in) {
    if (out == nullptr || in == nullptr) {
        throw EGraphError("no pad to link", graph_error::kInvalidArg);
    }
    const std::string what = "could not link " + PadName(out) + " to " + PadName(in) + ": ";
    if (GST_PAD_DIRECTION(out) != GST_PAD_SRC || GST_PAD_DIRECTION(in) != GST_PAD_SINK) {
        throw EGraphError(what + gst_pad_link_get_name(GST_PAD_LINK_WRONG_DIRECTION),
                          graph_error::kInvalidDirection);
    }
    const GstPadLinkReturn ret = gst_pad_link_full(out, in, GST_PAD_LINK_CHECK_DEFAULT);
    if (ret == GST_PAD_LINK_OK) {
        return;
    }
    std::uint32_t code = graph_error::kCannotConnect;
    switch (ret) {
    case GST_PAD_LINK_NOFORMAT:
        code = graph_error::kNoAcceptableTypes;
        break;
    case GST_PAD_LINK_WAS_LINKED:
        code = graph_error::kAlreadyConnected;
        break;
    case GST_PAD_LINK_WRONG_HIERARCHY:
        code = graph_error::kNotInGraph;
        break;
    case GST_PAD_LINK_WRONG_DIRECTION:
        code = graph_error::kInvalidDirection;
        break;
    default:
        break;
    }
    throw EGraphError(what + gst_pad_link_get_name(ret), code);
}

void TFilterGraph::Connect(GstElement* from, GstElement* to, int outIndex, int inIndex) {
    auto out = Pad(from, PinDirection::Output, outIndex);
    auto in = Pad(to, PinDirection::Input, inIndex);
    Connect(out.get(), in.get());
}

bool TFilterGraph::Disconnect(GstPad* pad) {
    auto peer = GstPadRef::adopt(gst_pad_get_peer(pad));
    if (!peer) {
        return false;
    }
    return GST_PAD_IS_SRC(pad) ? gst_pad_unlink(pad, peer.get()) : gst_pad_unlink(peer.get(), pad);
}

namespace {

// The caps on the link of `pad` once negotiated (either end), or null.
GstCapsRef NegotiatedCaps(GstPad* pad) {
    auto peer = GstPadRef::adopt(gst_pad_get_peer(pad));
    if (auto caps = GstCapsRef::adopt(gst_pad_get_current_caps(pad))) {
        return caps;
    }
    return peer ? GstCapsRef::adopt(gst_pad_get_current_caps(peer.get())) : GstCapsRef();
}

} // namespace

GstCapsRef TFilterGraph::LinkCaps(GstPad* pad) const {
    auto peer = GstPadRef::adopt(pad ? gst_pad_get_peer(pad) : nullptr);
    if (!peer) {
        throw EGraphError("pad " + (pad ? PadName(pad) : std::string("(none)")) + " is not linked",
                          graph_error::kNotConnected);
    }
    GstPad* src = GST_PAD_IS_SRC(pad) ? pad : peer.get();
    GstPad* sink = GST_PAD_IS_SRC(pad) ? peer.get() : pad;
    if (auto caps = NegotiatedCaps(sink)) {
        return caps;
    }
    // Not negotiated (yet): what the output offers to this input, when the fields the facts
    // are made of are already fixed (a capsfilter or a device's chosen format); the rest is
    // fixated as negotiation would.
    auto offered = GstCapsRef::adopt(gst_pad_peer_query_caps(sink, nullptr));
    if (offered && !gst_caps_is_empty(offered.get()) && !gst_caps_is_any(offered.get())) {
        GstCaps* first = gst_caps_truncate(gst_caps_copy(offered.get()));
        const GstStructure* s = gst_caps_get_structure(first, 0);
        const bool video = g_str_has_prefix(gst_structure_get_name(s), "video/");
        const bool audio = g_str_has_prefix(gst_structure_get_name(s), "audio/");
        bool keyFixed = video || audio;
        for (const char* field : {"width", "height", "framerate", "rate", "channels"}) {
            const bool wanted =
                video ? (field[0] != 'r' && field[0] != 'c') : (field[0] == 'r' || field[0] == 'c');
            if (wanted && gst_structure_has_field(s, field) &&
                !gst_value_is_fixed(gst_structure_get_value(s, field))) {
                keyFixed = false;
            }
        }
        if (keyFixed) {
            return GstCapsRef::adopt(gst_caps_fixate(first));
        }
        gst_caps_unref(first);
    }
    throw EGraphError("the format of the link " + PadName(src) + " to " + PadName(sink) +
                          " is not known",
                      graph_error::kNotConnected);
}

TStreamFacts TFilterGraph::LinkFacts(GstPad* pad) const {
    auto caps = LinkCaps(pad);
    return FactsFromCaps(caps.get());
}

namespace {

// What a caps watch needs on the streaming thread; freed with the probe.
struct TCapsWatch {
    std::function<void(const GstCapsRef&)> then;
    const TFilterGraph* graph;
};

GstPadProbeReturn OnCapsEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event == nullptr || GST_EVENT_TYPE(event) != GST_EVENT_CAPS) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    auto* watch = static_cast<TCapsWatch*>(data);
    watch->graph->Post([then = watch->then, held = GstCapsRef::ref(caps)] { then(held); });
    return GST_PAD_PROBE_REMOVE;
}

} // namespace

void TFilterGraph::WhenCaps(GstPad* pad, std::function<void(const GstCapsRef&)> then) {
    if (pad == nullptr || !then) {
        return;
    }
    if (auto caps = NegotiatedCaps(pad)) {
        then(caps);
        return;
    }
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnCapsEvent,
                      new TCapsWatch{std::move(then), this},
                      [](gpointer data) { delete static_cast<TCapsWatch*>(data); });
}

GstElementRef TFilterGraph::FindUpstream(GstPad* pad,
                                         const std::function<bool(GstElement*)>& match) const {
    if (pad == nullptr) {
        return {};
    }
    GstElementRef start;
    if (GST_PAD_IS_SRC(pad)) {
        start = PadOwner(pad);
    } else {
        auto peer = GstPadRef::adopt(gst_pad_get_peer(pad));
        start = PadOwner(peer.get());
    }
    std::deque<GstElementRef> todo;
    std::set<GstElement*> seen;
    if (start) {
        todo.push_back(start);
    }
    while (!todo.empty()) {
        GstElementRef e = std::move(todo.front());
        todo.pop_front();
        if (!seen.insert(e.get()).second) {
            continue;
        }
        if (match(e.get())) {
            return e;
        }
        if (GST_IS_BIN(e.get())) {
            for (auto& child : AllElements(GST_BIN_CAST(e.get()), true)) {
                if (match(child.get())) {
                    return child;
                }
            }
        }
        for (auto& in : Pads(e.get(), PinDirection::Input)) {
            auto peer = GstPadRef::adopt(gst_pad_get_peer(in.get()));
            if (auto owner = PadOwner(peer.get())) {
                todo.push_back(std::move(owner));
            }
        }
    }
    return {};
}

GstElementRef TFilterGraph::FindInterfaceUpstream(GstPad* pad, GType type) const {
    return FindUpstream(
        pad, [type](GstElement* e) { return G_TYPE_CHECK_INSTANCE_TYPE(e, type) != FALSE; });
}

// --- run and stop ---

void TFilterGraph::ApplyWantedClock() {
    m_clockApplied = false;
    if (!m_clockElement) {
        gst_pipeline_auto_clock(Pipeline());
        return;
    }
    if (auto clock = GstClockRef::adopt(gst_element_provide_clock(m_clockElement.get()))) {
        gst_pipeline_use_clock(Pipeline(), clock.get());
        m_clockApplied = true;
    } else {
        GST_INFO("%s provides no clock yet; the default clock stays",
                 ElementName(m_clockElement.get()).c_str());
        gst_pipeline_auto_clock(Pipeline());
    }
}

bool TFilterGraph::Run() {
    GST_OBJECT_LOCK(Element());
    const GstState target = GST_STATE_TARGET(Element());
    GST_OBJECT_UNLOCK(Element());
    if (target == GST_STATE_PLAYING && !Failed()) {
        return true;
    }
    if (target != GST_STATE_NULL && Failed()) {
        // A graph that failed starts again from scratch.
        Abort();
    }
    unsigned errorsBefore;
    {
        std::lock_guard lock(m_lock);
        m_lastError.clear();
        m_lastErrorDebug.clear();
        m_failed = false;
        errorsBefore = m_errorCount;
    }
    auto noNewError = [&] {
        std::lock_guard lock(m_lock);
        return m_errorCount == errorsBefore;
    };
    // Elements start on this thread: a device that cannot be opened, a file that is missing,
    // a link that cannot be made refuse here. The clock is chosen once the elements have their
    // devices, then the graph goes to PLAYING in one request. (A sink of a live graph that
    // prerolls while the graph moves on to PLAYING can be left waiting in PAUSED: the preview
    // and recording sinks therefore never preroll.)
    bool ok = gst_element_set_state(Element(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE &&
              noNewError();
    if (ok) {
        ApplyWantedClock();
        ok = gst_element_set_state(Element(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE &&
             noNewError();
    }
    if (!ok) {
        Fail("the graph could not start");
        DumpDot("vidorel-run-failed");
        Abort();
        return false;
    }
    return true;
}

bool TFilterGraph::Stop() {
    bool finished = true;
    for (auto& recording : Recordings()) {
        finished = recording->FinishAndWait(m_finishTimeout).Finished && finished;
    }
    Abort();
    if (!finished) {
        Fail("the files could not be finished");
    }
    return finished;
}

void TFilterGraph::StopAsync(std::function<void(bool finished)> done) {
    const auto recordings = Recordings();
    if (recordings.empty()) {
        Abort();
        Post([done = std::move(done)] {
            if (done) {
                done(true);
            }
        });
        return;
    }
    struct Pending {
        size_t left;
        bool finished = true;
        std::function<void(bool)> done;
    };
    auto pending = std::make_shared<Pending>(Pending{recordings.size(), true, std::move(done)});
    for (auto& recording : recordings) {
        recording->Finish([this, pending](const TRecordingResult& result) {
            pending->finished = pending->finished && result.Finished;
            if (--pending->left == 0) {
                Abort();
                if (pending->done) {
                    pending->done(pending->finished);
                }
            }
        });
    }
}

void TFilterGraph::Abort() {
    gst_element_set_state(Element(), GST_STATE_NULL);
    gst_element_get_state(Element(), nullptr, nullptr, GST_CLOCK_TIME_NONE);
}

bool TFilterGraph::Running() const {
    GST_OBJECT_LOCK(Element());
    const GstState target = GST_STATE_TARGET(Element());
    GST_OBJECT_UNLOCK(Element());
    return target == GST_STATE_PLAYING && !Failed();
}

bool TFilterGraph::Failed() const {
    std::lock_guard lock(m_lock);
    return m_failed;
}

GstState TFilterGraph::State() const {
    GstState current = GST_STATE_VOID_PENDING;
    gst_element_get_state(Element(), &current, nullptr, 0);
    return current;
}

void TFilterGraph::UseDefaultClock() {
    m_clockElement.reset();
}

void TFilterGraph::UseClockOf(GstElement* element) {
    // Applied when the graph next starts: changing the clock of a playing graph would move its
    // base time under the running recordings.
    m_clockElement = GstElementRef::ref(element);
}

void TFilterGraph::DumpDot(const char* name) const {
    GST_DEBUG_BIN_TO_DOT_FILE_WITH_TS(Bin(), GST_DEBUG_GRAPH_SHOW_ALL, name);
}

} // namespace vidorel

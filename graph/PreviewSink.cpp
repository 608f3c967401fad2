#include "graph/PreviewSink.h"

#include <gst/app/gstappsink.h>

#include <mutex>
#include <stdexcept>
#include <utility>

namespace vidorel {

// Shared by the sink object and the appsink's callbacks, so a frame arriving while the owner
// goes away finds it alive.
struct TPreviewSink::State {
    std::mutex frameLock; // guards the fields below
    GstRef<GstSample> waiting;
    uint64_t received = 0;
    uint64_t dropped = 0;
    int width = 0;
    int height = 0;
    double pixelAspect = 1.0;

    // Held while the receiver is called, so SetReceiver can wait for a call in progress.
    std::mutex receiverLock;
    IFrameReceiver* receiver = nullptr;
};

namespace {

GstFlowReturn OnNewSample(GstAppSink* sink, gpointer data) {
    auto& state = **static_cast<std::shared_ptr<TPreviewSink::State>*>(data);
    auto sample = GstRef<GstSample>::adopt(gst_app_sink_pull_sample(sink));
    if (!sample) {
        return GST_FLOW_OK;
    }
    bool notify = false;
    {
        std::lock_guard lock(state.frameLock);
        ++state.received;
        GstVideoInfo info;
        if (GstCaps* caps = gst_sample_get_caps(sample.get());
            caps != nullptr && gst_video_info_from_caps(&info, caps)) {
            state.width = GST_VIDEO_INFO_WIDTH(&info);
            state.height = GST_VIDEO_INFO_HEIGHT(&info);
            state.pixelAspect =
                GST_VIDEO_INFO_PAR_D(&info) > 0
                    ? double(GST_VIDEO_INFO_PAR_N(&info)) / GST_VIDEO_INFO_PAR_D(&info)
                    : 1.0;
        }
        if (state.waiting) {
            ++state.dropped; // the window is behind: the older frame goes
        } else {
            notify = true;
        }
        state.waiting = std::move(sample);
    }
    if (notify) {
        std::lock_guard lock(state.receiverLock);
        if (state.receiver != nullptr) {
            state.receiver->FrameAvailable();
        }
    }
    return GST_FLOW_OK;
}

void DeleteState(gpointer data) {
    delete static_cast<std::shared_ptr<TPreviewSink::State>*>(data);
}

} // namespace

// ---- TPreviewFrame ----

TPreviewFrame::TPreviewFrame(GstRef<GstSample> sample) : m_sample(std::move(sample)) {
    GstVideoInfo info;
    GstCaps* caps = m_sample ? gst_sample_get_caps(m_sample.get()) : nullptr;
    GstBuffer* buffer = m_sample ? gst_sample_get_buffer(m_sample.get()) : nullptr;
    if (caps != nullptr && buffer != nullptr && gst_video_info_from_caps(&info, caps)) {
        m_mapped = gst_video_frame_map(&m_frame, &info, buffer, GST_MAP_READ);
    }
}

TPreviewFrame::~TPreviewFrame() {
    if (m_mapped) {
        gst_video_frame_unmap(&m_frame);
    }
}

TPreviewFrame::TPreviewFrame(TPreviewFrame&& other) noexcept
    : m_sample(std::move(other.m_sample)), m_frame(other.m_frame),
      m_mapped(std::exchange(other.m_mapped, false)) {}

TPreviewFrame& TPreviewFrame::operator=(TPreviewFrame&& other) noexcept {
    if (this != &other) {
        if (m_mapped) {
            gst_video_frame_unmap(&m_frame);
        }
        m_sample = std::move(other.m_sample);
        m_frame = other.m_frame;
        m_mapped = std::exchange(other.m_mapped, false);
    }
    return *this;
}

int TPreviewFrame::Width() const {
    return m_mapped ? GST_VIDEO_FRAME_WIDTH(&m_frame) : 0;
}

int TPreviewFrame::Height() const {
    return m_mapped ? GST_VIDEO_FRAME_HEIGHT(&m_frame) : 0;
}

int TPreviewFrame::Stride() const {
    return m_mapped ? GST_VIDEO_FRAME_PLANE_STRIDE(&m_frame, 0) : 0;
}

const uint8_t* TPreviewFrame::Bits() const {
    return m_mapped ? static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&m_frame, 0))
                    : nullptr;
}

double TPreviewFrame::PixelAspect() const {
    if (!m_mapped || GST_VIDEO_INFO_PAR_D(&m_frame.info) <= 0 ||
        GST_VIDEO_INFO_PAR_N(&m_frame.info) <= 0) {
        return 1.0;
    }
    return double(GST_VIDEO_INFO_PAR_N(&m_frame.info)) / GST_VIDEO_INFO_PAR_D(&m_frame.info);
}

double TPreviewFrame::DisplayAspect() const {
    return Height() > 0 ? Width() * PixelAspect() / Height() : 0.0;
}

GstClockTime TPreviewFrame::Pts() const {
    return m_mapped ? GST_BUFFER_PTS(m_frame.buffer) : GST_CLOCK_TIME_NONE;
}

QImage TPreviewFrame::Image() const {
    if (!m_mapped) {
        return {};
    }
    return QImage(Bits(), Width(), Height(), Stride(), QImage::Format_RGB32);
}

// ---- TPreviewSink ----

TPreviewSink::TPreviewSink(const char* name) : m_state(std::make_shared<State>()) {
    GstElement* sink = gst_element_factory_make("appsink", name);
    if (sink == nullptr) {
        throw std::runtime_error("the GStreamer element appsink is missing");
    }
    // Sinking the floating reference: this object owns one, the pipeline takes its own.
    m_sink = GstElementRef::adopt(static_cast<GstElement*>(gst_object_ref_sink(sink)));
    auto caps = GstCapsRef::adopt(gst_caps_from_string("video/x-raw, format=(string)BGRx"));
    GstAppSink* app = GST_APP_SINK(m_sink.get());
    gst_app_sink_set_caps(app, caps.get());
    // One frame at most inside the appsink too; never signals, only the callback.
    gst_app_sink_set_max_buffers(app, 1);
    gst_app_sink_set_drop(app, TRUE);
    gst_app_sink_set_emit_signals(app, FALSE);
    // A preview that waited for preroll would hold the whole live graph until it had a frame,
    // and a source with nothing to send (a stopped tape) would hold it for ever.
    g_object_set(m_sink.get(), "enable-last-sample", FALSE, "qos", FALSE, "async", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &OnNewSample;
    gst_app_sink_set_callbacks(app, &callbacks, new std::shared_ptr<State>(m_state), &DeleteState);
}

TPreviewSink::~TPreviewSink() {
    // The element may outlive this object inside a pipeline: it keeps the state alive but
    // calls nobody any more.
    SetReceiver(nullptr);
}

void TPreviewSink::SetReceiver(IFrameReceiver* receiver) {
    std::lock_guard lock(m_state->receiverLock);
    m_state->receiver = receiver;
}

TPreviewFrame TPreviewSink::TakeFrame() {
    GstRef<GstSample> sample;
    {
        std::lock_guard lock(m_state->frameLock);
        sample = std::move(m_state->waiting);
    }
    return TPreviewFrame(std::move(sample));
}

QSize TPreviewSink::FrameSize() const {
    std::lock_guard lock(m_state->frameLock);
    return QSize(m_state->width, m_state->height);
}

double TPreviewSink::PixelAspect() const {
    std::lock_guard lock(m_state->frameLock);
    return m_state->pixelAspect;
}

uint64_t TPreviewSink::FramesReceived() const {
    std::lock_guard lock(m_state->frameLock);
    return m_state->received;
}

uint64_t TPreviewSink::FramesDropped() const {
    std::lock_guard lock(m_state->frameLock);
    return m_state->dropped;
}

} // namespace vidorel

// The preview's two sinks in real pipelines: frames reach the receiver (or wait, replaced, while
// it is slow), and sound passes the volume at the chosen level, silently without a sound card.

#include "graph/PreviewSink.h"
#include "graph/AudioSink.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace vidorel {
namespace {

struct GstEnvironment : ::testing::Environment {
    void SetUp() override { gst_init(nullptr, nullptr); }
};
const auto* const gstEnv = ::testing::AddGlobalTestEnvironment(new GstEnvironment);

// Builds "<description> ! <sink>" and runs it to the end; answers the error text, if any.
std::string RunToEnd(const char* description, GstElement* sink) {
    GErrorRef error;
    auto pipeline = GstElementRef::adopt(gst_parse_launch(description, &error.out()));
    if (!pipeline) {
        return error ? error->message : "parse failed";
    }
    auto last = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "last"));
    gst_bin_add(GST_BIN(pipeline.get()), sink);
    if (!gst_element_link(last.get(), sink)) {
        return "link failed";
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    auto bus = GstBusRef::adopt(gst_element_get_bus(pipeline.get()));
    auto msg = GstMessageRef::adopt(gst_bus_timed_pop_filtered(
        bus.get(), 20 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    std::string result;
    if (!msg) {
        result = "timeout";
    } else if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_ERROR) {
        GErrorRef err;
        gst_message_parse_error(msg.get(), &err.out(), nullptr);
        result = err ? err->message : "error";
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return result;
}

struct Receiver : IFrameReceiver {
    TPreviewSink* sink = nullptr;
    bool takeAtOnce = false;
    std::atomic<int> notices{0};
    std::mutex lock;
    std::vector<QRgb> firstPixels;
    void FrameAvailable() override {
        ++notices;
        if (takeAtOnce) {
            const TPreviewFrame frame = sink->TakeFrame();
            std::lock_guard l(lock);
            firstPixels.push_back(frame.Image().pixel(0, 0));
        }
    }
};

TEST(PreviewSink, deliversEveryFrame_toAReceiverThatKeepsUp) {
    TPreviewSink sink;
    Receiver receiver;
    receiver.sink = &sink;
    receiver.takeAtOnce = true;
    sink.SetReceiver(&receiver);
    ASSERT_EQ(RunToEnd("videotestsrc num-buffers=5 pattern=red ! "
                       "video/x-raw,width=320,height=240,pixel-aspect-ratio=16/15 ! "
                       "videoconvert name=last",
                       sink.Element()),
              "");
    EXPECT_EQ(receiver.notices, 5);
    EXPECT_EQ(receiver.firstPixels, std::vector<QRgb>(5, qRgb(255, 0, 0)));
    EXPECT_EQ(sink.FramesReceived(), 5u);
    EXPECT_EQ(sink.FramesDropped(), 0u);
    EXPECT_EQ(sink.FrameSize(), QSize(320, 240));
    EXPECT_DOUBLE_EQ(sink.PixelAspect(), 16.0 / 15.0);
}

TEST(PreviewSink, keepsOnlyTheNewestFrame_andNotifiesOnce_whenTheReceiverIsSlow) {
    TPreviewSink sink;
    g_object_set(sink.Element(), "sync", FALSE, nullptr);
    Receiver receiver; // never takes on its own
    sink.SetReceiver(&receiver);
    ASSERT_EQ(RunToEnd("videotestsrc num-buffers=10 ! video/x-raw,width=64,height=48,"
                       "framerate=25/1 ! videoconvert name=last",
                       sink.Element()),
              "");
    EXPECT_EQ(receiver.notices, 1);
    EXPECT_EQ(sink.FramesReceived(), 10u);
    EXPECT_EQ(sink.FramesDropped(), 9u);
    TPreviewFrame frame = sink.TakeFrame();
    ASSERT_TRUE(frame.IsValid());
    EXPECT_EQ(frame.Pts(), 9 * GST_SECOND / 25) << "the newest frame waits";
    EXPECT_EQ(frame.Width(), 64);
    EXPECT_GE(frame.Stride(), 64 * 4);
    EXPECT_DOUBLE_EQ(frame.DisplayAspect(), 64.0 / 48.0);
    EXPECT_FALSE(sink.TakeFrame().IsValid()) << "taking empties the sink";
}

TEST(PreviewSink, callsNoReceiverAfterItWasRemoved) {
    TPreviewSink sink;
    g_object_set(sink.Element(), "sync", FALSE, nullptr);
    Receiver receiver;
    sink.SetReceiver(&receiver);
    sink.SetReceiver(nullptr);
    ASSERT_EQ(RunToEnd("videotestsrc num-buffers=3 ! videoconvert name=last", sink.Element()), "");
    EXPECT_EQ(receiver.notices, 0);
    EXPECT_EQ(sink.FramesReceived(), 3u);
}

// The largest sample magnitude leaving the volume element.
struct Peak {
    std::atomic<int> value{0};
    std::atomic<int> buffers{0};
    static GstPadProbeReturn Probe(GstPad*, GstPadProbeInfo* info, gpointer data) {
        auto* self = static_cast<Peak*>(data);
        GstBuffer* b = GST_PAD_PROBE_INFO_BUFFER(info);
        GstMapInfo m;
        if (gst_buffer_map(b, &m, GST_MAP_READ)) {
            const auto* s = reinterpret_cast<const int16_t*>(m.data);
            int peak = self->value;
            for (gsize i = 0; i < m.size / 2; ++i) {
                peak = std::max(peak, std::abs(int(s[i])));
            }
            self->value = peak;
            gst_buffer_unmap(b, &m);
        }
        ++self->buffers;
        return GST_PAD_PROBE_OK;
    }
};

int PeakAt(TAudioSink& sink, Peak& peak) {
    auto pad = GstPadRef::adopt(gst_element_get_static_pad(sink.VolumeElement(), "src"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &Peak::Probe, &peak, nullptr);
    EXPECT_EQ(RunToEnd("audiotestsrc num-buffers=10 wave=square volume=0.5 ! "
                       "capsfilter name=last caps=audio/x-raw,format=S16LE,rate=48000,channels=2",
                       sink.Element()),
              "")
        << "the sink falls back to a silent output without a sound card";
    return peak.value;
}

TEST(AudioSink, playsAtTheChosenLinearVolume_andMutes) {
    {
        TAudioSink sink;
        EXPECT_EQ(sink.Volume(), 10000);
        Peak peak;
        EXPECT_NEAR(PeakAt(sink, peak), 16384, 1);
        EXPECT_EQ(peak.buffers, 10);
    }
    {
        TAudioSink sink("second");
        sink.SetVolume(5000);
        EXPECT_EQ(sink.Volume(), 5000);
        Peak peak;
        EXPECT_NEAR(PeakAt(sink, peak), 8192, 1);
    }
    {
        TAudioSink sink("third");
        sink.SetVolume(20000); // clamped
        EXPECT_EQ(sink.Volume(), 10000);
        sink.SetMute(true);
        EXPECT_TRUE(sink.Muted());
        Peak peak;
        EXPECT_EQ(PeakAt(sink, peak), 0);
    }
}

} // namespace
} // namespace vidorel

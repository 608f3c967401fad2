// The timestamp normaliser on real gst-libav encoder output.

#include "filters/Registration.h"
#include "filters/zv_tsnormalizer.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <gst/app/gstappsink.h>
#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include "tests/support/Probes.h"

#include <QJsonArray>

#include <fstream>
#include <string>
#include <vector>

using namespace vidorel;

namespace {

class TsNormalizerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        RegisterVidorelElements();
    }
};

// Runs `launch` (ending in "appsink name=out") and returns the PTS of every buffer.
std::vector<GstClockTime> Pts(const std::string& launch) {
    std::vector<GstClockTime> pts;
    GErrorRef err;
    auto pipeline = GstElementRef::adopt(gst_parse_launch(launch.c_str(), &err.out()));
    EXPECT_FALSE(err) << (err ? err->message : "");
    if (!pipeline) {
        return pts;
    }
    auto sink = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    while (auto sample = GstRef<GstSample>::adopt(
               gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 10 * GST_SECOND))) {
        pts.push_back(GST_BUFFER_PTS(gst_sample_get_buffer(sample.get())));
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return pts;
}

// Seconds of the first stream of that type; PCM in AVI carries its length as a sample count.
double StreamDuration(const QJsonObject& probe, const char* codecType) {
    for (const auto& v : probe["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        if (s["codec_type"].toString() != codecType) {
            continue;
        }
        if (s.contains("duration")) {
            return s["duration"].toString().toDouble();
        }
        return s["nb_frames"].toString().toDouble() / s["sample_rate"].toString().toDouble();
    }
    return -1;
}

constexpr const char* kVideo =
    "videotestsrc num-buffers=50 ! video/x-raw,width=320,height=240,framerate=25/1 ! ";

} // namespace

TEST_F(TsNormalizerTest, mpeg4EncoderOutput_leavesWithFrameTimesFromZero) {
    // The trap itself: avenc_mpeg4 stamps every buffer 2^63.
    const auto raw = Pts(std::string(kVideo) + "avenc_mpeg4 ! appsink name=out sync=false");
    ASSERT_EQ(raw.size(), 50u);
    EXPECT_GE(raw[1], GstClockTime(1) << 62);

    const auto pts =
        Pts(std::string(kVideo) + "avenc_mpeg4 ! zv_tsnormalizer ! appsink name=out sync=false");
    ASSERT_EQ(pts.size(), 50u);
    for (size_t i = 0; i < pts.size(); ++i) {
        EXPECT_EQ(pts[i], i * 40 * GST_MSECOND) << "frame " << i;
    }
}

TEST_F(TsNormalizerTest, encoderSegmentAt1000Hours_becomesRunningTimeFromZero) {
    const auto pts =
        Pts(std::string(kVideo) + "avenc_wmv2 ! zv_tsnormalizer ! appsink name=out sync=false");
    ASSERT_EQ(pts.size(), 50u);
    EXPECT_EQ(pts.front(), 0u);
    EXPECT_EQ(pts.back(), 49 * 40 * GST_MSECOND);
}

TEST_F(TsNormalizerTest, mpeg4WithAudioInAvi_hasTheRightDurations) {
    const std::string file = test::sandboxRoot() + "/mpeg4.avi";
    const auto run = test::runPipeline(
        "videotestsrc num-buffers=100 ! video/x-raw,width=320,height=240,framerate=25/1 ! "
        "avenc_mpeg4 ! "
        "zv_tsnormalizer ! queue ! mux. audiotestsrc num-buffers=150 samplesperbuffer=1280 ! "
        "audio/x-raw,rate=32000,channels=2 ! queue ! mux. avimux name=mux ! filesink location=" +
        file);
    ASSERT_TRUE(run.reachedEos) << run.error;
    const QJsonObject probe = test::ffprobe(file);
    EXPECT_NEAR(StreamDuration(probe, "video"), 4.0, 0.041);
    EXPECT_NEAR(StreamDuration(probe, "audio"), 6.0, 0.041);
}

TEST_F(TsNormalizerTest, asfWithoutTheNormaliser_wouldLast1000Hours_butWithItLastsTheClip) {
    const std::string file = test::sandboxRoot() + "/clip.wmv";
    const auto run = test::runPipeline(
        std::string(kVideo) +
        "avenc_wmv2 ! zv_tsnormalizer ! queue ! avmux_asf ! filesink location=" + file);
    ASSERT_TRUE(run.reachedEos) << run.error;
    const double duration = StreamDuration(test::ffprobe(file), "video");
    EXPECT_GT(duration, 1.9);
    EXPECT_LT(duration, 2.2);
}

TEST_F(TsNormalizerTest, missingOrBackwardTimes_areRepaired_strictlyIncreasing) {
    GstHarness* h = gst_harness_new("zv_tsnormalizer");
    gst_harness_set_src_caps_str(h, "video/x-raw, framerate=25/1");
    const GstClockTime in[] = {GST_SECOND, GST_CLOCK_TIME_NONE, GST_SECOND + 80 * GST_MSECOND,
                               GST_SECOND};
    for (GstClockTime t : in) {
        GstBuffer* b = gst_buffer_new();
        GST_BUFFER_PTS(b) = t;
        ASSERT_EQ(gst_harness_push(h, b), GST_FLOW_OK);
    }
    std::vector<GstClockTime> out;
    while (GstBuffer* b = gst_harness_try_pull(h)) {
        out.push_back(GST_BUFFER_PTS(b));
        EXPECT_EQ(GST_BUFFER_DTS(b), GST_BUFFER_PTS(b));
        EXPECT_EQ(GST_BUFFER_DURATION(b), 40 * GST_MSECOND);
        gst_buffer_unref(b);
    }
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1], 40 * GST_MSECOND);
    EXPECT_EQ(out[2], 80 * GST_MSECOND);
    EXPECT_EQ(out[3], 120 * GST_MSECOND); // went backwards: continues from the previous one
    EXPECT_EQ(FilterCast<Tzv_TsNormalizer>(h->element)->Repaired(), 2u);
    gst_harness_teardown(h);
}

// The template says ANY: a stream without caps (a file as filesrc reads it) goes through, as
// through identity, instead of stopping as not negotiated.
TEST_F(TsNormalizerTest, streamWithoutCaps_goesThrough) {
    const std::string file = test::sandboxRoot() + "/bytes.bin";
    std::ofstream(file, std::ios::binary) << std::string(10000, 'x');
    const auto run = test::runPipeline("filesrc location=" + file +
                                       " blocksize=4096 ! zv_tsnormalizer ! fakesink name=vsink");
    EXPECT_TRUE(run.reachedEos) << run.error;
    EXPECT_EQ(run.videoBuffers, 3); // 4096 + 4096 + 1808 bytes
}

// A run without caps never hears a frame rate, so the last run's must not stay.
TEST_F(TsNormalizerTest, runWithoutCaps_afterOneAtTenFramesASecond_usesTheFallbackDuration) {
    GstHarness* h = gst_harness_new("zv_tsnormalizer");
    gst_harness_set_src_caps_str(h, "video/x-raw, framerate=10/1");
    GstBuffer* out = gst_harness_push_and_pull(h, gst_buffer_new());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(GST_BUFFER_DURATION(out), 100 * GST_MSECOND);
    gst_buffer_unref(out);

    ASSERT_EQ(gst_element_set_state(h->element, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
    // The harness would send its caps again: they are taken off its pad.
    test::ForgetStickyCaps(h->srcpad);
    gst_harness_play(h);
    gst_harness_push_event(h, gst_event_new_stream_start("again"));
    GstSegment time;
    gst_segment_init(&time, GST_FORMAT_TIME);
    gst_harness_push_event(h, gst_event_new_segment(&time));
    out = gst_harness_push_and_pull(h, gst_buffer_new());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(GST_BUFFER_DURATION(out), 40 * GST_MSECOND);
    EXPECT_EQ(GST_BUFFER_PTS(out), 0u);
    gst_buffer_unref(out);
    gst_harness_teardown(h);
}

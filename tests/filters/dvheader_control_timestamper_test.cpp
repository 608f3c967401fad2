// The DV header, control and time-stamp filters through GstHarness. (gst_init and the element
// registration come from the test environment of superposer_test.cpp, in the same executable.)

#include "filters/DVFrameMeta.h"
#include "filters/zv_Controlunit.h"
#include "filters/zv_DVheader.h"
#include "filters/zv_scenedetect.h"
#include "filters/zv_timestamper.h"

#include "devices/dvtape/DvTape.h"
#include "filters/dvcodes.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace vidorel {
namespace {

GstBuffer* bytesBuffer(const std::vector<uint8_t>& bytes, GstClockTime pts = GST_CLOCK_TIME_NONE) {
    GstBuffer* b = gst_buffer_new_allocate(nullptr, bytes.size(), nullptr);
    gst_buffer_fill(b, 0, bytes.data(), bytes.size());
    GST_BUFFER_PTS(b) = pts;
    return b;
}

std::vector<uint8_t> bytesOf(GstBuffer* b) {
    std::vector<uint8_t> v(gst_buffer_get_size(b));
    gst_buffer_extract(b, 0, v.data(), v.size());
    return v;
}

// ---- DV header ----

class DVheaderTest : public ::testing::Test {
protected:
    GstHarness* h = nullptr;
    Tzv_DVheader* f = nullptr;
    void SetUp() override {
        h = gst_harness_new("zv_dvheader");
        f = FilterCast<Tzv_DVheader>(h->element);
        ASSERT_NE(f, nullptr);
        gst_harness_set_src_caps_str(h, "video/x-dv, systemstream=(boolean)false");
    }
    void TearDown() override { gst_harness_teardown(h); }
    std::vector<uint8_t> pass(const std::vector<uint8_t>& in) {
        GstBuffer* out = gst_harness_push_and_pull(h, bytesBuffer(in, 0));
        EXPECT_NE(out, nullptr);
        std::vector<uint8_t> v = out ? bytesOf(out) : std::vector<uint8_t>();
        if (out) {
            gst_buffer_unref(out);
        }
        return v;
    }
};

dvtape::TapeDescription oneRecording(std::optional<dvtape::CivilDateTime> date, bool wide,
                                     uint32_t timecode) {
    dvtape::TapeDescription tape;
    tape.recordings.push_back({date, 3, wide});
    tape.startTimecodeFrame = timecode;
    return tape;
}

TEST_F(DVheaderTest, framesWithoutRecord_passUntouched_withRatioFourThree) {
    const dvtape::DvTape dv(oneRecording(std::nullopt, false, 0));
    const auto frame = dv.frame(0);
    EXPECT_EQ(pass(frame), frame);
}

TEST_F(DVheaderTest, ratioSixteenNine_marksSequencesZeroToNine_only) {
    const dvtape::DvTape dv(oneRecording(std::nullopt, false, 0));
    const auto frame = dv.frame(0);
    ASSERT_EQ(frame.size(), kDv625FrameBytes);
    ASSERT_FALSE(IsDV16x9(frame));
    f->SetRatioDV(1);
    const auto out = pass(frame);
    EXPECT_TRUE(IsDV16x9(out));
    // The marking is the only change, and sequences 10 and 11 stay as the encoder wrote them.
    auto expected = frame;
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        SetDV16x9(expected, n);
    }
    EXPECT_EQ(out, expected);
    EXPECT_NE(out, frame);
}

TEST_F(DVheaderTest, sampleShorterThanTenSequences_isLeftUntouched) {
    f->SetRatioDV(1);
    const std::vector<uint8_t> shortSample(kDvMetadataBytes - 1, 0x11);
    EXPECT_EQ(pass(shortSample), shortSample);
}

// The records a scene detector makes of the first frames of `tape`.
std::vector<std::unique_ptr<TDVFrameRecord>> recordsOf(const dvtape::DvTape& tape, int frames) {
    TSceneDetector detector;
    std::vector<std::unique_ptr<TDVFrameRecord>> records;
    for (int i = 0; i < frames; ++i) {
        records.push_back(std::make_unique<TDVFrameRecord>());
        detector.ProcessFrame(tape.frame(i), records.back().get());
    }
    return records;
}

TEST_F(DVheaderTest, frameWithRecord_getsItsSourceFramesHeaderBlocksBack_inSequencesZeroToNine) {
    const dvtape::DvTape camera(oneRecording(dvtape::CivilDateTime{2013, 12, 24, 18, 5, 9}, true,
                                             ((2 * 60 + 10) * 60 + 20) * 25 + 5));
    const auto records = recordsOf(camera, 3);
    f->SetRatioDV(0);

    // What the encoder made of camera frame 1: an undated 4:3 frame with another timecode.
    const dvtape::DvTape encoder(oneRecording(std::nullopt, false, 0));
    const auto encoded = encoder.frame(0);
    GstBuffer* in = bytesBuffer(encoded, 0);
    TDVFrameRecord record = *records[1];
    // The camera's DIF header blocks say 4:1:1 (application ID 1, as professional DV does);
    // the encoder's data is 4:2:0 and its header blocks must stay.
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        ASSERT_EQ(record.Blocks[n][4] & 0x07, 0);
        record.Blocks[n][4] |= 0x01;
    }
    AddDVFrameMeta(in)->Record = record;
    GstBuffer* pulled = gst_harness_push_and_pull(h, in);
    ASSERT_NE(pulled, nullptr);
    const auto out = bytesOf(pulled);
    gst_buffer_unref(pulled);

    const auto original = camera.frame(1);
    ASSERT_EQ(out.size(), encoded.size());
    for (int n = 0; n < 12; ++n) {
        const std::size_t at = n * kDifSequenceBytes;
        const auto& header = n < kDvMetadataSequences ? original : encoded;
        EXPECT_EQ(std::memcmp(out.data() + at, encoded.data() + at, 80), 0) << n;
        EXPECT_EQ(std::memcmp(out.data() + at + 80, header.data() + at + 80, 400), 0) << n;
        EXPECT_EQ(
            std::memcmp(out.data() + at + 480, encoded.data() + at + 480, kDifSequenceBytes - 480),
            0)
            << n;
    }
    TDVRecDateTime rec;
    GetDVRecDateTime(out, 0, rec);
    EXPECT_EQ(rec.Year, 2013);
    EXPECT_EQ(rec.Hour, 18);
    EXPECT_TRUE(IsDV16x9(out));
    const TDVTimecode tc = GetDVTimecode(out, 0);
    EXPECT_EQ(tc.Hours, 2);
    EXPECT_EQ(tc.Frames, 6);
}

TEST_F(DVheaderTest, record_winsOverRatioSixteenNine_andARecordWithoutBlocks_doesNot) {
    const dvtape::DvTape camera(
        oneRecording(dvtape::CivilDateTime{2013, 12, 24, 18, 5, 9}, false, 0));
    const auto records = recordsOf(camera, 1);
    f->SetRatioDV(1);
    const dvtape::DvTape encoder(oneRecording(std::nullopt, false, 0));
    const auto encoded = encoder.frame(0);

    GstBuffer* in = bytesBuffer(encoded, 0);
    AddDVFrameMeta(in)->Record = *records[0];
    GstBuffer* pulled = gst_harness_push_and_pull(h, in);
    ASSERT_NE(pulled, nullptr);
    auto out = bytesOf(pulled);
    gst_buffer_unref(pulled);
    EXPECT_FALSE(IsDV16x9(out)) << "the camcorder's 4:3 comes back";
    EXPECT_EQ(std::memcmp(out.data(), camera.frame(0).data(), 480), 0);

    // A record of a frame too short to have had blocks: RatioDV marks the frame as without one.
    in = bytesBuffer(encoded, 0);
    AddDVFrameMeta(in)->Record.HeaderSequences = 0;
    pulled = gst_harness_push_and_pull(h, in);
    ASSERT_NE(pulled, nullptr);
    out = bytesOf(pulled);
    gst_buffer_unref(pulled);
    auto expected = encoded;
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        SetDV16x9(expected, n);
    }
    EXPECT_EQ(out, expected);
}

// ---- control filter ----

class ControlFilterTest : public ::testing::Test {
protected:
    GstHarness* h = nullptr;
    Tzv_ControlFilter* f = nullptr;
    void SetUp() override {
        h = gst_harness_new("zv_controlfilter");
        f = FilterCast<Tzv_ControlFilter>(h->element);
        ASSERT_NE(f, nullptr);
        gst_harness_set_src_caps_str(h, "video/x-dv, systemstream=(boolean)true");
    }
    void TearDown() override { gst_harness_teardown(h); }
    void pushFrames(int n) {
        for (int i = 0; i < n; ++i) {
            GstBuffer* b = bytesBuffer({1, 2, 3}, (100 + i) * GST_MSECOND);
            GST_BUFFER_FLAG_SET(b, GST_BUFFER_FLAG_DELTA_UNIT);
            ASSERT_EQ(gst_harness_push(h, b), GST_FLOW_OK);
        }
    }
    // Image-by-image set-up, as the capture plan makes it.
    void imageByImage() {
        f->SetMarkSyncPoint(true);
        f->SetMarkDiscontinuity(true);
        f->SetTimeStep(1);
        f->SetRestamp(true);
        f->SetPassNext(false);
    }
};

TEST_F(ControlFilterTest, threeRequests_letExactlyThreeFramesThrough_timedConsecutively) {
    imageByImage();
    pushFrames(4);
    EXPECT_EQ(gst_harness_buffers_received(h), 0u) << "no request, no frame";
    // Requests counted, however they fall between frames: two at once, then one.
    f->RequestFrame();
    f->RequestFrame();
    pushFrames(1);
    f->RequestFrame();
    pushFrames(5);
    ASSERT_EQ(gst_harness_buffers_received(h), 3u);
    for (guint64 i = 0; i < 3; ++i) {
        GstBuffer* out = gst_harness_pull(h);
        EXPECT_EQ(GST_BUFFER_PTS(out), i);
        EXPECT_EQ(GST_BUFFER_PTS(out) + GST_BUFFER_DURATION(out), i + 1);
        EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(out, GST_BUFFER_FLAG_DELTA_UNIT)) << "sync point";
        EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(out, GST_BUFFER_FLAG_DISCONT));
        gst_buffer_unref(out);
    }
    EXPECT_EQ(f->NextStart(), 3);
}

TEST_F(ControlFilterTest, afterStop_oneFramePasses_numberingContinues_andOnStoppedIsRaised) {
    imageByImage();
    auto stopped = std::make_shared<int>(0);
    f->SetOnStopped([stopped] { ++*stopped; });
    f->RequestFrame();
    pushFrames(2);
    ASSERT_EQ(gst_harness_buffers_received(h), 1u);
    ASSERT_EQ(gst_element_set_state(h->element, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
    EXPECT_EQ(*stopped, 1);
    EXPECT_EQ(f->PendingRequests(), 1);
    ASSERT_NE(gst_element_set_state(h->element, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    pushFrames(3);
    ASSERT_EQ(gst_harness_buffers_received(h), 2u);
    gst_buffer_unref(gst_harness_pull(h));
    GstBuffer* second = gst_harness_pull(h);
    EXPECT_EQ(GST_BUFFER_PTS(second), 1u) << "the next run continues the numbering";
    gst_buffer_unref(second);
}

TEST_F(ControlFilterTest, framesKeepTheirTimes_withoutRestamp) {
    pushFrames(1); // one request pending at creation
    f->RequestFrame();
    pushFrames(1);
    ASSERT_EQ(gst_harness_buffers_received(h), 2u);
    GstBuffer* a = gst_harness_pull(h);
    GstBuffer* b = gst_harness_pull(h);
    EXPECT_EQ(GST_BUFFER_PTS(a), 100 * GST_MSECOND);
    EXPECT_EQ(GST_BUFFER_PTS(b), 100 * GST_MSECOND);
    EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(a, GST_BUFFER_FLAG_DELTA_UNIT));
    gst_buffer_unref(a);
    gst_buffer_unref(b);
}

// ---- time stamper ----

class TimeStamperTest : public ::testing::Test {
protected:
    GstHarness* h = nullptr;
    Tzv_TimeStamper* f = nullptr;
    void SetUp() override {
        h = gst_harness_new("zv_timestamper");
        f = FilterCast<Tzv_TimeStamper>(h->element);
        ASSERT_NE(f, nullptr);
        gst_harness_set_src_caps_str(h, "audio/x-raw, format=S16LE, rate=48000, channels=2, "
                                        "layout=interleaved");
    }
    void TearDown() override { gst_harness_teardown(h); }
    GstBuffer* pass(GstClockTime pts, GstClockTime duration) {
        GstBuffer* b = bytesBuffer(std::vector<uint8_t>(64, 7), pts);
        GST_BUFFER_DTS(b) = pts;
        GST_BUFFER_DURATION(b) = duration;
        GST_BUFFER_FLAG_SET(b, GST_BUFFER_FLAG_DISCONT);
        return gst_harness_push_and_pull(h, b);
    }
};

TEST_F(TimeStamperTest, passThrough_leavesBuffersExactlyAsTheyCame) {
    GstBuffer* out = pass(3 * GST_SECOND, 10 * GST_MSECOND);
    EXPECT_EQ(GST_BUFFER_PTS(out), 3 * GST_SECOND);
    EXPECT_EQ(GST_BUFFER_DTS(out), 3 * GST_SECOND);
    EXPECT_EQ(GST_BUFFER_DURATION(out), 10 * GST_MSECOND);
    EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(out, GST_BUFFER_FLAG_DISCONT));
    EXPECT_EQ(bytesOf(out), std::vector<uint8_t>(64, 7));
    EXPECT_EQ(f->StampStart(), static_cast<int64_t>(3 * GST_SECOND));
    gst_buffer_unref(out);
}

TEST_F(TimeStamperTest, noTime_removesEveryTime) {
    f->SetNoTimeMode();
    GstBuffer* out = pass(3 * GST_SECOND, 10 * GST_MSECOND);
    EXPECT_FALSE(GST_BUFFER_PTS_IS_VALID(out));
    EXPECT_FALSE(GST_BUFFER_DTS_IS_VALID(out));
    EXPECT_FALSE(GST_BUFFER_DURATION_IS_VALID(out));
    EXPECT_EQ(f->StampStart(), 0);
    EXPECT_EQ(f->StampStop(), 0);
    gst_buffer_unref(out);
}

TEST_F(TimeStamperTest, restamp_givesRunningTimeMinusOffset_lastingFortyMilliseconds) {
    f->SetRestampMode();
    f->SetTimeOffset(2 * 40 * GST_MSECOND); // two frames
    gst_element_set_base_time(h->element, 500 * GST_MSECOND);
    gst_harness_set_time(h, 2 * GST_SECOND);
    GstBuffer* out = pass(7 * GST_SECOND, 10 * GST_MSECOND);
    EXPECT_EQ(GST_BUFFER_PTS(out), 2 * GST_SECOND - 500 * GST_MSECOND - 80 * GST_MSECOND);
    EXPECT_EQ(GST_BUFFER_DURATION(out), 40 * GST_MSECOND);
    gst_buffer_unref(out);
    // An offset beyond the running time so far starts at 0 instead of a negative time.
    f->SetTimeOffset(10 * GST_SECOND);
    out = pass(7 * GST_SECOND, 10 * GST_MSECOND);
    EXPECT_EQ(GST_BUFFER_PTS(out), 0u);
    gst_buffer_unref(out);
    // Back to pass-through.
    f->SetPassThroughMode();
    out = pass(7 * GST_SECOND, 10 * GST_MSECOND);
    EXPECT_EQ(GST_BUFFER_PTS(out), 7 * GST_SECOND);
    gst_buffer_unref(out);
}

// ---- streams without caps ----

// The control filter and the time stamper say ANY: a stream without caps (a file as filesrc
// reads it) goes through them, as through identity, instead of stopping as not negotiated.
class CapslessStreamTest : public ::testing::Test {
protected:
    static test::GstRunResult Through(const char* element) {
        const std::string file = test::sandboxRoot() + "/bytes.bin";
        std::ofstream(file, std::ios::binary) << std::string(10000, 'x');
        return test::runPipeline("filesrc location=" + file + " blocksize=4096 ! " + element +
                                 " ! fakesink name=vsink");
    }
};

TEST_F(CapslessStreamTest, controlFilter_letsThePendingRequestThrough_andDropsTheRest) {
    const test::GstRunResult run = Through("zv_controlfilter");
    EXPECT_TRUE(run.reachedEos) << run.error;
    EXPECT_EQ(run.videoBuffers, 1); // one request is pending at creation
}

TEST_F(CapslessStreamTest, timeStamper_passesEveryBuffer) {
    const test::GstRunResult run = Through("zv_timestamper");
    EXPECT_TRUE(run.reachedEos) << run.error;
    EXPECT_EQ(run.videoBuffers, 3); // 4096 + 4096 + 1808 bytes
}

} // namespace
} // namespace vidorel

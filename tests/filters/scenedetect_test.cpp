#include "filters/zv_scenedetect.h"

#include "devices/dvtape/DvTape.h"
#include "filters/Registration.h"

#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <random>
#include <thread>
#include <vector>

namespace vidorel {
namespace {

struct Stamp {
    int hour = 10;
    int minute = 0;
    int second = 0;
};

uint8_t bcd(int v) {
    return static_cast<uint8_t>((v / 10) << 4 | (v % 10));
}

// A PAL-sized frame carrying only the packs the detector reads, in sequence 0.
std::vector<uint8_t> dvFrame(std::optional<Stamp> date, bool wide = false) {
    std::vector<uint8_t> f(kDv625FrameBytes, 0xFF);
    f[3] = 0xBF;
    f[7] = 0x00;
    f[110] = f[190] = 0x13;
    f[111] = f[112] = f[113] = f[114] = 0x00;
    f[453] = 0x61;
    f[455] = wide ? 0x02 : 0x00;
    f[4323] = 0x50;
    f[4327] = 0x00;
    if (date) {
        f[458] = 0x62;
        f[460] = bcd(14);
        f[461] = bcd(7);
        f[462] = bcd(5);
        f[463] = 0x63;
        f[465] = bcd(date->second);
        f[466] = bcd(date->minute);
        f[467] = bcd(date->hour);
    }
    return f;
}

struct Scene {
    uint32_t start;
    uint32_t next;
};

class SceneDetectorTest : public ::testing::Test {
protected:
    std::unique_ptr<TSceneDetector> d = std::make_unique<TSceneDetector>();
    std::vector<Scene> scenes;
    void SetUp() override {
        d->SetSceneCallback([this](const TDVFrameInfo& s, const TDVFrameInfo& n) {
            scenes.push_back({s.FrameNumber, n.FrameNumber});
        });
    }
    void feed(const std::vector<uint8_t>& frame, int count = 1) {
        for (int i = 0; i < count; ++i) {
            d->ProcessFrame(frame, -1);
        }
    }
    void feedDated(int count, int second, int minute = 0) {
        feed(dvFrame(Stamp{10, minute, second}), count);
    }
    void feedUndated(int count) { feed(dvFrame(std::nullopt), count); }
};

TEST_F(SceneDetectorTest, scene_isReported_whenDateJumpsMoreThanTwoSeconds) {
    feedDated(25, 0);
    feedDated(25, 1);
    feedDated(25, 2);
    EXPECT_TRUE(scenes.empty()) << "steps of one second stay in the scene";
    feedDated(25, 5);
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0].next, 75u);
    EXPECT_EQ(scenes[0].start, 1u) << "the first scene's record is taken after numbering";
    feedDated(10, 3);
    EXPECT_EQ(scenes.size(), 1u) << "exactly two seconds back is no break";
    feedDated(10, 0);
    ASSERT_EQ(scenes.size(), 2u) << "a backward jump breaks the scene too";
    EXPECT_EQ(scenes[1].start, 75u);
    EXPECT_EQ(scenes[1].next, 110u);
}

TEST_F(SceneDetectorTest, shortUndatedRun_belongsToTheSceneThatFollows) {
    feedDated(100, 0);
    feedUndated(5);
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0].next, 100u);
    // The date comes back 30 s later: only 5 frames since the scene started, and the date
    // comparison restarts from here.
    feedDated(1, 30);
    feedDated(10, 31);
    EXPECT_EQ(scenes.size(), 1u);
    d->Stop();
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[1].start, 100u);
    EXPECT_EQ(scenes[1].next, 116u);
}

TEST_F(SceneDetectorTest, longUndatedRun_isASceneOfItsOwn) {
    feedDated(100, 0);
    feedUndated(20);
    feedDated(1, 1);
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[0].next, 100u);
    EXPECT_EQ(scenes[1].start, 100u);
    EXPECT_EQ(scenes[1].next, 120u);
}

TEST_F(SceneDetectorTest, impossibleDates_countAsUndated) {
    feedDated(20, 0);
    auto bad = dvFrame(Stamp{25, 0, 0}); // hour 25
    feed(bad);
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_FALSE(d->Current().DateValid);
    bad = dvFrame(Stamp{10, 0, 0});
    bad[461] = 0x00; // month 0
    feed(bad);
    EXPECT_FALSE(d->Current().DateValid);
}

TEST_F(SceneDetectorTest, stop_reportsTheLastSceneThenNumbersFromZero) {
    feedUndated(3);
    EXPECT_TRUE(scenes.empty()) << "the first frame after a stop never reports";
    feedDated(7, 0);
    d->Stop();
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0].next, 10u);
    EXPECT_EQ(d->Current().FrameNumber, 0u);
    EXPECT_EQ(d->Current().VideoSystem, 0) << "the video system survives a stop";

    // After the stop: the first frame, undated, does not report either.
    feedUndated(1);
    EXPECT_EQ(scenes.size(), 1u);
    EXPECT_EQ(d->Current().FrameNumber, 1u);
    d->Stop();
    EXPECT_EQ(scenes.size(), 2u);
    d->Stop();
    EXPECT_EQ(scenes.size(), 2u) << "a stop without frames reports nothing";
}

struct AspectLog : IDVAspectReceiver {
    std::vector<std::pair<int, int>> posts;
    void PostDVAspect(int w, int l) override { posts.emplace_back(w, l); }
};

TEST_F(SceneDetectorTest, aspectMessage_isPostedOncePerChange) {
    AspectLog log;
    d->SetAspectReceiver(&log);
    feed(dvFrame(Stamp{}), 5);
    EXPECT_TRUE(log.posts.empty()) << "a 4:3 stream posts nothing";
    feed(dvFrame(Stamp{}, true), 5);
    feed(dvFrame(Stamp{}), 2);
    EXPECT_EQ(log.posts, (std::vector<std::pair<int, int>>{{1, 1}, {1, 0}}));

    d->Stop();
    log.posts.clear();
    feed(dvFrame(Stamp{}, true), 3);
    EXPECT_EQ(log.posts, (std::vector<std::pair<int, int>>{{1, 1}})) << "16:9 from the first frame";
}

TEST_F(SceneDetectorTest, frameRecord_describesTheFrame) {
    std::vector<uint8_t> f = dvFrame(Stamp{23, 59, 58});
    f[111] = 0x24;
    f[114] = 0x01;
    feed(f);
    const TDVFrameInfo c = d->Current();
    EXPECT_EQ(c.FrameNumber, 1u);
    EXPECT_EQ(c.FrameNumber64, 0);
    EXPECT_TRUE(c.DateValid);
    EXPECT_DOUBLE_EQ(c.RecDateTime, 38547.0 + (23 * 3600 + 59 * 60 + 58) / 86400.0);
    EXPECT_TRUE(c.TimecodeValid);
    EXPECT_EQ(c.Timecode.Hours, 1);
    EXPECT_EQ(c.Timecode.Frames, 24);
    EXPECT_TRUE(c.InfoComplete);
    EXPECT_EQ(c.AudioRate, 48000);
    EXPECT_EQ(c.AudioBits, 16);

    f[4323] = 0xFF;
    f[110] = 0xFF;
    feed(f);
    const TDVFrameInfo n = d->Current();
    EXPECT_FALSE(n.InfoComplete);
    EXPECT_FALSE(n.TimecodeValid);
    EXPECT_EQ(n.Timecode.Frames, 24) << "the old timecode stays";
}

TEST_F(SceneDetectorTest, rings_holdTheLast100FramesAndAreFoundByStartTime) {
    for (int i = 0; i < 150; ++i) {
        std::vector<uint8_t> f = dvFrame(Stamp{});
        f[4] = static_cast<uint8_t>(i); // tags the header block of sequence 0
        f[9 * kDifSequenceBytes + 479] = static_cast<uint8_t>(i + 1);
        d->ProcessFrame(f, 1000 * i);
    }
    EXPECT_EQ(d->RingWrite(), 50);
    EXPECT_EQ(d->FrameInfoRing(50).FrameNumber, 150u);
    EXPECT_EQ(d->HeaderRing(50).Blocks[0][4], 149);
    EXPECT_EQ(d->HeaderRing(50).Blocks[9][479], 150);
    EXPECT_EQ(d->HeaderRing(50).StartTime, 149000);

    const int32_t at = d->FindRingEntry(120500);
    EXPECT_EQ(d->RingRead(), at);
    EXPECT_EQ(d->HeaderRing(at).StartTime, 120000);
    EXPECT_EQ(d->FrameInfoRing(at).FrameNumber, 121u);
    const int32_t oldest = d->FindRingEntry(0);
    EXPECT_EQ(d->HeaderRing(oldest).StartTime, 50000) << "older than the ring: the oldest entry";
}

TEST_F(SceneDetectorTest, shortAndRandomFrames_areFramesWithoutMetadata) {
    std::mt19937 rng(4);
    feedDated(5, 0);
    for (int run = 0; run < 300; ++run) {
        std::vector<uint8_t> f(rng() % (kDv625FrameBytes + 10));
        for (auto& b : f) {
            b = static_cast<uint8_t>(rng());
        }
        d->ProcessFrame(f, run);
        const TDVFrameInfo c = d->Current();
        if (f.size() < kDvMetadataBytes) {
            ASSERT_FALSE(c.DateValid);
            ASSERT_FALSE(c.TimecodeValid);
            ASSERT_EQ(c.VideoSystem, 2);
        }
        ASSERT_EQ(c.FrameNumber, 6u + run);
    }
}

TEST_F(SceneDetectorTest, currentSnapshot_isNeverTornWhileFramesArrive) {
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done) {
            const TDVFrameInfo c = d->Current();
            // Every frame of this stream is dated exactly when its number is even.
            if (c.FrameNumber != 0 && (c.FrameNumber64 + 1 != c.FrameNumber ||
                                       c.DateValid != (c.FrameNumber64 % 2 == 0))) {
                ++torn;
            }
        }
    });
    const auto dated = dvFrame(Stamp{});
    const auto undated = dvFrame(std::nullopt);
    for (int i = 0; i < 20000; ++i) {
        d->ProcessFrame(i % 2 == 0 ? dated : undated, i);
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

// ---- the element ----

class SceneDetectElementTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        RegisterVidorelElements();
    }
};

TEST_F(SceneDetectElementTest, element_numbersBuffersKeepsTheirDataAndReportsOnStop) {
    dvtape::TapeDescription t;
    t.recordings = {{dvtape::CivilDateTime{2005, 7, 14, 10, 0, 0}, 10, false, true},
                    {dvtape::CivilDateTime{2005, 7, 15, 9, 0, 0}, 6, true, true}};
    const dvtape::DvTape tape(t);

    GstHarness* h = gst_harness_new("zv_scenedetect");
    ASSERT_NE(h, nullptr);
    auto* filter = FilterCast<Tzv_SceneDetect>(h->element);
    ASSERT_NE(filter, nullptr);
    std::vector<Scene> scenes;
    filter->SetSceneCallback([&](const TDVFrameInfo& s, const TDVFrameInfo& n) {
        scenes.push_back({s.FrameNumber, n.FrameNumber});
    });
    gst_harness_set_src_caps_str(h, "video/x-dv, systemstream=(boolean)true");

    for (uint64_t i = 0; i < tape.frameCount(); ++i) {
        const std::vector<uint8_t> frame = tape.frame(i);
        GstBuffer* in = gst_buffer_new_memdup(frame.data(), frame.size());
        GST_BUFFER_PTS(in) = i * 40 * GST_MSECOND;
        GstBuffer* out = gst_harness_push_and_pull(h, in);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(GST_BUFFER_OFFSET(out), i);
        EXPECT_EQ(GST_BUFFER_OFFSET_END(out), i + 1);
        EXPECT_EQ(gst_buffer_memcmp(out, 0, frame.data(), frame.size()), 0);
        gst_buffer_unref(out);
    }
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0].next, 10u);
    EXPECT_TRUE(filter->Current().Is16x9);
    EXPECT_EQ(filter->Detector().HeaderRing(filter->Detector().RingWrite()).StartTime,
              static_cast<int64_t>(15 * 40 * GST_MSECOND));

    gst_harness_teardown(h); // the element stops: the last scene is reported
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[1].start, 10u);
    EXPECT_EQ(scenes[1].next, 16u);
}

TEST_F(SceneDetectElementTest, element_refusesRawVideo) {
    auto element = GstRef<GstElement>::adopt(gst_element_factory_make("zv_scenedetect", nullptr));
    ASSERT_TRUE(element);
    auto sink = GstRef<GstPad>::adopt(gst_element_get_static_pad(element.get(), "sink"));
    auto raw = GstRef<GstCaps>::adopt(gst_caps_from_string("video/x-raw, format=I420"));
    auto dv = GstRef<GstCaps>::adopt(gst_caps_from_string("video/x-dv, systemstream=false"));
    EXPECT_FALSE(gst_pad_query_accept_caps(sink.get(), raw.get()));
    EXPECT_TRUE(gst_pad_query_accept_caps(sink.get(), dv.get()));
}

} // namespace
} // namespace vidorel

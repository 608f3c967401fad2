#include "filters/zv_scenedetect.h"

#include "devices/dvtape/DvTape.h"
#include "filters/Registration.h"

#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
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
            d->ProcessFrame(frame);
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

TEST_F(SceneDetectorTest, frameRecord_holdsTheFramesHeaderBlocksNumberAndSceneStart) {
    auto record = std::make_unique<TDVFrameRecord>();
    std::vector<uint8_t> f = dvFrame(Stamp{10, 0, 0});
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        // Tags the first and last byte of every sequence's blocks, and the first byte after them.
        f[n * kDifSequenceBytes + 4] = static_cast<uint8_t>(0x40 + n);
        f[n * kDifSequenceBytes + 479] = static_cast<uint8_t>(0x80 + n);
        f[n * kDifSequenceBytes + 480] = 0x5A;
    }
    EXPECT_EQ(d->ProcessFrame(f, record.get()), 0u);
    EXPECT_EQ(record->FrameNumber, 0u);
    EXPECT_EQ(record->Info.FrameNumber, 1u) << "the record as Current() gives it";
    EXPECT_TRUE(record->Info.DateValid);
    EXPECT_TRUE(record->SceneStart) << "the first frame after a stop opens a scene";
    EXPECT_EQ(record->HeaderSequences, kDvMetadataSequences);
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        EXPECT_EQ(
            std::memcmp(record->Blocks[n], f.data() + n * kDifSequenceBytes, kDVHeaderBlockBytes),
            0)
            << n;
        EXPECT_EQ(record->Blocks[n][4], 0x40 + n);
        EXPECT_EQ(record->Blocks[n][479], 0x80 + n);
    }

    // One second later: same scene. Three seconds later: a new one, from this frame on.
    d->ProcessFrame(dvFrame(Stamp{10, 0, 1}), record.get());
    EXPECT_EQ(record->FrameNumber, 1u);
    EXPECT_FALSE(record->SceneStart);
    d->ProcessFrame(dvFrame(Stamp{10, 0, 4}), record.get());
    EXPECT_EQ(record->FrameNumber, 2u);
    EXPECT_TRUE(record->SceneStart);
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0].next, 2u);
    d->ProcessFrame(dvFrame(Stamp{10, 0, 4}), record.get());
    EXPECT_FALSE(record->SceneStart);
    // Undated after dated: the lost date opens a scene too.
    d->ProcessFrame(dvFrame(std::nullopt), record.get());
    EXPECT_TRUE(record->SceneStart);
    EXPECT_FALSE(record->Info.DateValid);
}

TEST_F(SceneDetectorTest, frameRecord_ofAShortFrame_keepsOnlyTheSequencesItHas) {
    auto record = std::make_unique<TDVFrameRecord>();
    const std::vector<uint8_t> whole = dvFrame(Stamp{});
    // Exactly the blocks of sequences 0 to 3: the fourth ends at the last byte.
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + 3 * kDifSequenceBytes + 480);
    d->ProcessFrame(cut, record.get());
    EXPECT_EQ(record->HeaderSequences, 4);
    EXPECT_EQ(std::memcmp(record->Blocks[3], whole.data() + 3 * kDifSequenceBytes, 480), 0);
    EXPECT_EQ(record->Blocks[4][0], 0);
    // One byte less: sequence 3 is incomplete and left out.
    cut.pop_back();
    d->ProcessFrame(cut, record.get());
    EXPECT_EQ(record->HeaderSequences, 3);
    EXPECT_EQ(record->Blocks[3][0], 0);
    EXPECT_FALSE(record->Info.DateValid) << "too short for metadata";
    d->ProcessFrame(DvFrame(), record.get());
    EXPECT_EQ(record->HeaderSequences, 0);
}

TEST_F(SceneDetectorTest, shortAndRandomFrames_areFramesWithoutMetadata) {
    std::mt19937 rng(4);
    feedDated(5, 0);
    for (int run = 0; run < 300; ++run) {
        std::vector<uint8_t> f(rng() % (kDv625FrameBytes + 10));
        for (auto& b : f) {
            b = static_cast<uint8_t>(rng());
        }
        d->ProcessFrame(f);
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
        d->ProcessFrame(i % 2 == 0 ? dated : undated);
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
        // Every frame carries its own record.
        const TDVFrameMeta* meta = GetDVFrameMeta(out);
        ASSERT_NE(meta, nullptr) << i;
        EXPECT_EQ(meta->Record.FrameNumber, i);
        EXPECT_EQ(meta->Record.SceneStart, i == 0 || i == 10) << i;
        EXPECT_EQ(meta->Record.Info.Is16x9, i >= 10) << i;
        const dvtape::FrameFacts facts = tape.facts(i);
        EXPECT_EQ(meta->Record.Info.Timecode.Frames, facts.timecode.frames);
        EXPECT_EQ(meta->Record.Info.Timecode.Seconds, facts.timecode.seconds);
        ASSERT_EQ(meta->Record.HeaderSequences, kDvMetadataSequences);
        for (int n = 0; n < kDvMetadataSequences; ++n) {
            EXPECT_EQ(std::memcmp(meta->Record.Blocks[n], frame.data() + n * kDifSequenceBytes,
                                  kDVHeaderBlockBytes),
                      0)
                << i << "/" << n;
        }
        gst_buffer_unref(out);
    }
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0].next, 10u);
    EXPECT_TRUE(filter->Current().Is16x9);

    gst_harness_teardown(h); // the element stops: the last scene is reported
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[1].start, 10u);
    EXPECT_EQ(scenes[1].next, 16u);
}

TEST_F(SceneDetectElementTest, record_isAttached_withoutCopyingTheData_ofABufferUpstreamHolds) {
    dvtape::TapeDescription t;
    t.recordings = {{dvtape::CivilDateTime{2005, 7, 14, 10, 0, 0}, 1, false, true}};
    const dvtape::DvTape tape(t);
    GstHarness* h = gst_harness_new("zv_scenedetect");
    gst_harness_set_src_caps_str(h, "video/x-dv, systemstream=(boolean)true");
    const std::vector<uint8_t> frame = tape.frame(0);
    GstBuffer* in = gst_buffer_new_memdup(frame.data(), frame.size());
    gst_buffer_ref(in); // upstream keeps it: not writable
    GstBuffer* out = gst_harness_push_and_pull(h, in);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out, in);
    EXPECT_EQ(GetDVFrameMeta(in), nullptr) << "upstream's buffer is left as it was";
    ASSERT_NE(GetDVFrameMeta(out), nullptr);
    EXPECT_EQ(gst_buffer_peek_memory(out, 0), gst_buffer_peek_memory(in, 0))
        << "the same memory, not a copy";
    gst_buffer_unref(out);
    gst_buffer_unref(in);
    gst_harness_teardown(h);
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

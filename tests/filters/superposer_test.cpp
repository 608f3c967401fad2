// The overlay filter through GstHarness: exact pixels for the picture effects in both formats,
// frames passed without a copy when nothing changes them, the inlay's text, position and
// duration from each frame's own DV record, and the snapshot ring.

#include "filters/zv_superposer.h"

#include "devices/dvtape/DvTape.h"
#include "filters/DVFrameMeta.h"
#include "filters/Registration.h"
#include "filters/zv_scenedetect.h"

#include <QGuiApplication>

#include <gst/base/gstbasetransform.h>
#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vidorel {
namespace {

// Text needs Qt's font database: one QGuiApplication (offscreen) for the whole process.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        gst_init(nullptr, nullptr);
        RegisterVidorelElements();
        static int argc = 1;
        static char name[] = "superposer_test";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }
    std::unique_ptr<QGuiApplication> app;
};
const auto* const guiEnv = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

struct Receiver : ISuperposerReceiver {
    std::mutex lock;
    std::vector<int> grabbed;
    std::vector<int> countdown;
    void PostImageGrabbed(int slot) override {
        std::lock_guard l(lock);
        grabbed.push_back(slot);
    }
    void PostGrabCountdown(int seconds) override {
        std::lock_guard l(lock);
        countdown.push_back(seconds);
    }
};

// A frame as the test sees it: top-down rows of width × 3 (BGR) or × 4 (BGRx) bytes, no
// padding.
using Picture = std::vector<uint8_t>;

class SuperposerTest : public ::testing::Test {
public:
    GstHarness* h = nullptr;
    Tzv_Superposer* f = nullptr;
    GstVideoInfo info;
    int width = 0, height = 0;
    int bpp = 3; // bytes per pixel
    Receiver receiver;

    void open(int w, int hgt, const char* format = "BGR") {
        if (h != nullptr) {
            gst_harness_teardown(h);
        }
        width = w;
        height = hgt;
        bpp = std::strcmp(format, "BGRx") == 0 ? 4 : 3;
        h = gst_harness_new("zv_superposer");
        ASSERT_NE(h, nullptr);
        f = FilterCast<Tzv_Superposer>(h->element);
        ASSERT_NE(f, nullptr);
        f->SetReceiver(&receiver);
        gchar* caps = g_strdup_printf("video/x-raw,format=%s,width=%d,height=%d,framerate=25/1",
                                      format, w, hgt);
        gst_harness_set_src_caps_str(h, caps);
        g_free(caps);
        gst_video_info_set_format(&info, bpp == 4 ? GST_VIDEO_FORMAT_BGRx : GST_VIDEO_FORMAT_BGR, w,
                                  hgt);
    }
    void TearDown() override {
        if (h != nullptr) {
            gst_harness_teardown(h);
        }
    }
    int rowBytes() const { return width * bpp; }

    // A buffer in GStreamer's layout (BGR rows padded to 4 bytes), padding bytes set to `pad`,
    // carrying `record` when given.
    GstBuffer* buffer(const Picture& p, GstClockTime pts = 0, uint8_t pad = 0xEE,
                      const TDVFrameRecord* record = nullptr) {
        GstBuffer* b = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
        GstMapInfo m;
        gst_buffer_map(b, &m, GST_MAP_WRITE);
        std::memset(m.data, pad, m.size);
        const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        for (int y = 0; y < height; ++y) {
            std::memcpy(m.data + y * stride, p.data() + y * rowBytes(), rowBytes());
        }
        gst_buffer_unmap(b, &m);
        GST_BUFFER_PTS(b) = pts;
        GST_BUFFER_DURATION(b) = 40 * GST_MSECOND;
        if (record != nullptr) {
            AddDVFrameMeta(b)->Record = *record;
        }
        return b;
    }
    Picture picture(GstBuffer* b) {
        Picture p(width * height * bpp);
        GstMapInfo m;
        gst_buffer_map(b, &m, GST_MAP_READ);
        const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        for (int y = 0; y < height; ++y) {
            std::memcpy(p.data() + y * rowBytes(), m.data + y * stride, rowBytes());
        }
        gst_buffer_unmap(b, &m);
        return p;
    }
    Picture push(const Picture& p, GstClockTime pts = 0, const TDVFrameRecord* record = nullptr) {
        GstBuffer* out = gst_harness_push_and_pull(h, buffer(p, pts, 0xEE, record));
        EXPECT_NE(out, nullptr);
        Picture result = out ? picture(out) : Picture();
        if (out) {
            gst_buffer_unref(out);
        }
        return result;
    }
    // BGRx pixels have 0xFF in their unused byte, as GStreamer's converters write it.
    Picture gradient() const {
        Picture p(width * height * bpp);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* px = &p[(y * width + x) * bpp];
                px[0] = static_cast<uint8_t>(x);
                px[1] = static_cast<uint8_t>(y);
                px[2] = static_cast<uint8_t>(x * 7 + y * 3);
                if (bpp == 4) {
                    px[3] = 0xFF;
                }
            }
        }
        return p;
    }
    Picture black() const {
        Picture p(width * height * bpp, 0);
        for (std::size_t i = 3; bpp == 4 && i < p.size(); i += 4) {
            p[i] = 0xFF;
        }
        return p;
    }
    const uint8_t* px(const Picture& p, int x, int y) const { return &p[(y * width + x) * bpp]; }

    // Bounding box of the pixels that differ between two pictures; empty() when none do.
    struct Box {
        int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
        bool empty() const { return x1 < 0; }
    };
    Box changed(const Picture& a, const Picture& b) const {
        Box box;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (std::memcmp(px(a, x, y), px(b, x, y), bpp) != 0) {
                    box.x0 = std::min(box.x0, x);
                    box.y0 = std::min(box.y0, y);
                    box.x1 = std::max(box.x1, x);
                    box.y1 = std::max(box.y1, y);
                }
            }
        }
        return box;
    }
    // Effects on, inlay off: the picture effects alone.
    void effectsOnly() {
        f->SetEffectsEnabled(true);
        f->SetInlayEnabled(false);
    }
};

TEST(InlayLayout, cellHeight_followsWidth_withSixteenPixelFloor) {
    EXPECT_EQ(InlayAutoCellHeight(720), 28);
    EXPECT_EQ(InlayAutoCellHeight(320), 16);
    EXPECT_EQ(InlayAutoCellHeight(1920), 74);
}

TEST(InlayLayout, origins_followAlignment_withTruncatingAnchor) {
    // 719 × 900 div 1000 = 647, 575 × 900 div 1000 = 517.
    const TInlayOrigins left = InlayOrigins(719, 575, 900, 900, 0, 28, 100, 60);
    EXPECT_EQ(left.x1, 647);
    EXPECT_EQ(left.y1, 517 - 28);
    EXPECT_EQ(left.x2, 647);
    EXPECT_EQ(left.y2, 517);
    const TInlayOrigins centre = InlayOrigins(719, 575, 900, 900, 1, 28, 101, 60);
    EXPECT_EQ(centre.x1, 647 - 50);
    EXPECT_EQ(centre.x2, 647 - 30);
    const TInlayOrigins right = InlayOrigins(719, 575, 900, 900, 2, 28, 100, 60);
    EXPECT_EQ(right.x1, 547);
    EXPECT_EQ(right.x2, 587);
}

TEST_F(SuperposerTest, output_equalsInputByteForByte_whenEffectsAreOff) {
    open(322, 9); // rows of 966 bytes padded to 968
    f->SetEffectsEnabled(false);
    f->SetFlipVertical(true); // effects are ignored while they are off
    f->SetMirror(true);
    GstBuffer* in = buffer(gradient(), 0, 0x5A);
    std::vector<uint8_t> expected(gst_buffer_get_size(in));
    gst_buffer_extract(in, 0, expected.data(), expected.size());
    GstBuffer* out = gst_harness_push_and_pull(h, in);
    ASSERT_NE(out, nullptr);
    std::vector<uint8_t> got(gst_buffer_get_size(out));
    gst_buffer_extract(out, 0, got.data(), got.size());
    gst_buffer_unref(out);
    EXPECT_EQ(got, expected) << "padding bytes included";

    // Grabs show the plain picture too.
    f->GrabNow();
    push(gradient());
    ASSERT_EQ(receiver.grabbed.size(), 1u);
    const QImage shot = f->Snapshot(receiver.grabbed[0]);
    const Picture in2 = gradient();
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(shot.constScanLine(y), px(in2, 0, y), width * 3), 0);
    }
}

TEST_F(SuperposerTest, flipOnCopy_deliversTheInputUpsideDown_whenEffectsAreOff) {
    open(33, 7);
    f->SetEffectsEnabled(false);
    f->FlipOnCopyFlag() = true; // a plug-in source sets it through the flag's address
    const Picture in = gradient();
    const Picture out = push(in);
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(px(out, 0, y), px(in, 0, height - 1 - y), width * 3), 0) << y;
    }
}

TEST_F(SuperposerTest, flipAndMirror_moveEveryPixel_whenEffectsAreOn) {
    open(31, 6);
    effectsOnly();
    const Picture in = gradient();
    f->SetFlipVertical(true);
    Picture out = push(in);
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(px(out, 0, y), px(in, 0, height - 1 - y), width * 3), 0) << y;
    }
    f->SetFlipVertical(false);
    f->SetMirror(true);
    out = push(in);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(std::memcmp(px(out, x, y), px(in, width - 1 - x, y), 3), 0) << x << "," << y;
        }
    }
}

TEST_F(SuperposerTest, deinterlace_repairsCombedRows_thenMirrorsAndFlips) {
    open(16, 6);
    effectsOnly();
    f->SetDeinterlace(true);
    // Even rows white, odd rows black, with one marker pixel in row 0.
    Picture in(width * height * 3, 0);
    for (int y = 0; y < height; y += 2) {
        std::memset(&in[y * width * 3], 255, width * 3);
    }
    in[0] = 10; // blue of pixel (0, 0)
    Picture out = push(in);
    for (int x = 1; x < width; ++x) {
        EXPECT_EQ(px(out, x, 1)[1], 255) << "odd row repaired";
        EXPECT_EQ(px(out, x, 5)[1], 0) << "last row kept";
    }
    f->SetMirror(true);
    out = push(in);
    EXPECT_EQ(px(out, width - 1, 0)[0], 10);
    f->SetFlipVertical(true);
    out = push(in);
    // Flipped first: the marker ends in the last row, the black last row on top stays black.
    EXPECT_EQ(px(out, width - 1, height - 1)[0], 10);
    EXPECT_EQ(px(out, 3, 0)[1], 0);
}

// The records a scene detector attaches to the frames of `dv`.
std::vector<std::unique_ptr<TDVFrameRecord>> recordsOf(const dvtape::DvTape& dv) {
    TSceneDetector detector;
    std::vector<std::unique_ptr<TDVFrameRecord>> records;
    for (uint64_t i = 0; i < dv.frameCount(); ++i) {
        records.push_back(std::make_unique<TDVFrameRecord>());
        detector.ProcessFrame(dv.frame(i), records.back().get());
    }
    return records;
}

TEST_F(SuperposerTest, timecode_showsHoursWithoutLeadingZero_fromEachFramesOwnRecord) {
    open(320, 240);
    dvtape::TapeDescription tape;
    tape.recordings.push_back({dvtape::CivilDateTime{2014, 7, 5, 10, 0, 0}, 2});
    tape.startTimecodeFrame = ((1 * 60 + 2) * 60 + 3) * 25 + 4;
    const dvtape::DvTape dv(tape);
    const auto records = recordsOf(dv);

    f->SetTextSource(2);
    push(black(), 0);
    EXPECT_EQ(f->LastLine1(), QString());
    EXPECT_EQ(f->LastLine2(), QStringLiteral("0:00:00:00")) << "a frame without a record";

    push(black(), 0, records[0].get());
    EXPECT_EQ(f->LastLine2(), QStringLiteral("1:02:03:04"));
    // The frame's own record decides, whatever came before or after.
    push(black(), 40 * GST_MSECOND, records[1].get());
    EXPECT_EQ(f->LastLine2(), QStringLiteral("1:02:03:05"));
    push(black(), 80 * GST_MSECOND, records[0].get());
    EXPECT_EQ(f->LastLine2(), QStringLiteral("1:02:03:04"));
    push(black(), 0);
    EXPECT_EQ(f->LastLine2(), QStringLiteral("0:00:00:00"));
    // A record whose timecode was never decoded.
    TDVFrameRecord none = *records[0];
    none.Info.Timecode = TDVTimecode{};
    push(black(), 0, &none);
    EXPECT_EQ(f->LastLine2(), QStringLiteral("0:00:00:00"));
}

TEST_F(SuperposerTest, recordingDate_showsNoDatecodeText_whenTheFrameIsUndated) {
    open(320, 240);
    dvtape::TapeDescription tape;
    tape.recordings.push_back({std::nullopt, 1});
    tape.recordings.push_back({dvtape::CivilDateTime{2014, 7, 5, 22, 30, 15}, 1});
    const dvtape::DvTape dv(tape);
    const auto records = recordsOf(dv);

    f->SetTextSource(1);
    f->SetDateTimeFormats("yyyy-mm-dd", "hh:nn:ss");
    push(black(), 0, records[0].get());
    EXPECT_EQ(f->LastLine1(), QString());
    EXPECT_EQ(f->LastLine2(), QStringLiteral("N/A"));
    f->SetNoDatecodeText("no date");
    push(black(), 0, records[0].get());
    EXPECT_EQ(f->LastLine2(), QStringLiteral("no date"));

    // The dated frame, two hours later by the time difference: past midnight.
    f->SetTimeDifference(2.0 / 24.0);
    push(black(), 40 * GST_MSECOND, records[1].get());
    EXPECT_EQ(f->LastLine1(), QStringLiteral("2014-07-06"));
    EXPECT_EQ(f->LastLine2(), QStringLiteral("00:30:15"));
    // Letters outside the format language are printed as they stand.
    f->SetDateTimeFormats("'Cam' yyyy q", "");
    push(black(), 40 * GST_MSECOND, records[1].get());
    EXPECT_EQ(f->LastLine1(), QStringLiteral("Cam 2014 q"));
    EXPECT_EQ(f->LastLine2(), QString());
}

TEST_F(SuperposerTest, text_isDrawnAtTheAnchor_withAutomaticCellHeight) {
    open(320, 240);
    f->SetDateTimeFormats("'88'", "'8888'");
    f->SetTextPosition(500, 500, 0);
    const Picture out = push(black());
    EXPECT_EQ(f->LastCellHeight(), 16); // 320 × 28 div 720 = 12, raised to 16
    const Box box = changed(black(), out);
    ASSERT_FALSE(box.empty());
    // Left aligned at X = 160: line 1 in [Y - H, Y), line 2 in [Y, Y + H).
    EXPECT_GE(box.x0, 159);
    EXPECT_LE(box.x0, 163);
    EXPECT_GE(box.y0, 120 - 16);
    EXPECT_LT(box.y0, 120);
    EXPECT_GE(box.y1, 120);
    EXPECT_LT(box.y1, 120 + 16);
    // White by default: the brightest pixel of the text is white.
    int brightest = 0;
    for (uint8_t v : out) {
        brightest = std::max<int>(brightest, v);
    }
    EXPECT_EQ(brightest, 255);

    // Right alignment ends the text at X.
    f->SetAlignment(2);
    const Box right = changed(black(), push(black()));
    EXPECT_LE(right.x1, 160);
    EXPECT_GE(right.x1, 155);

    // Red in 0x00BBGGRR lands in the last byte of each BGR pixel.
    f->SetFontColor(0x0000FF);
    const Picture red = push(black());
    int blueOrGreen = 0, redMax = 0;
    for (std::size_t i = 0; i < red.size(); i += 3) {
        blueOrGreen = std::max<int>(blueOrGreen, std::max(red[i], red[i + 1]));
        redMax = std::max<int>(redMax, red[i + 2]);
    }
    EXPECT_EQ(blueOrGreen, 0);
    EXPECT_EQ(redMax, 255);

    open(720, 576);
    push(black());
    EXPECT_EQ(f->LastCellHeight(), 28);
}

TEST_F(SuperposerTest, textPosition_isClampedToTheFrame) {
    open(320, 240);
    f->SetDateTimeFormats("'8'", "'8888'");
    f->SetTextPosition(1200, -5, 2); // stored as 1000, 0, right
    const Box box = changed(black(), push(black()));
    ASSERT_FALSE(box.empty());
    // Line 2 hangs from the top edge and ends at the right edge; line 1 is above the frame.
    EXPECT_LE(box.y0, 5);
    EXPECT_LT(box.y1, 16);
    EXPECT_GE(box.x1, 315);
    EXPECT_GT(box.x0, 250);
}

TEST_F(SuperposerTest, manualFontSize_andEmptyFontName_stillDrawText) {
    open(320, 240);
    f->SetAutoFontSize(false);
    f->SetFontSize(21);
    f->SetFontName("");
    f->SetFontItalic(true);
    f->SetDateTimeFormats("'8'", "'8'");
    const Box box = changed(black(), push(black()));
    EXPECT_FALSE(box.empty());
    // 21 points at 96 dpi: a 28-pixel character height; the cell is a little taller.
    EXPECT_GE(f->LastCellHeight(), 28);
    EXPECT_LE(f->LastCellHeight(), 36);
}

// Runs frames dated by a tape through a scene detector and the overlay (limited inlay of
// 5 frames: drawn on the period's first 3 frames, the counter starting at Duration − 1) and
// answers, per frame, whether the inlay was drawn.
std::vector<bool> inlaySchedule(SuperposerTest& t, const dvtape::TapeDescription& tape,
                                int restartMode) {
    const dvtape::DvTape dv(tape);
    TSceneDetector detector;
    auto record = std::make_unique<TDVFrameRecord>();
    t.f->SetTextSource(1);
    t.f->SetDurationMode(1);
    t.f->SetRestartMode(restartMode);
    t.f->SetInlayDuration(0.2); // 5 frames at 25 fps
    std::vector<bool> drawn;
    const Picture empty = t.black();
    for (uint64_t i = 0; i < dv.frameCount(); ++i) {
        const GstClockTime pts = i * 40 * GST_MSECOND;
        detector.ProcessFrame(dv.frame(i), record.get());
        drawn.push_back(t.push(empty, pts, record.get()) != empty);
    }
    return drawn;
}

std::vector<int> drawnFrames(const std::vector<bool>& drawn) {
    std::vector<int> frames;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        if (drawn[i]) {
            frames.push_back(static_cast<int>(i));
        }
    }
    return frames;
}

TEST_F(SuperposerTest, limitedInlay_restarts_onTimeJumpOrBackwards_butNotSecondBySecond) {
    open(160, 120);
    dvtape::TapeDescription tape;
    // 60 frames from 10:00:00 run to 10:00:02 second by second; then +3 s; then backwards.
    tape.recordings.push_back({dvtape::CivilDateTime{2014, 7, 5, 10, 0, 0}, 60});
    tape.recordings.push_back({dvtape::CivilDateTime{2014, 7, 5, 10, 0, 5}, 10});
    tape.recordings.push_back({dvtape::CivilDateTime{2014, 7, 5, 9, 0, 0}, 10});
    const auto frames = drawnFrames(inlaySchedule(*this, tape, 2));
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 60, 61, 62, 63, 70, 71, 72, 73}));
}

TEST_F(SuperposerTest, dailyInlay_restartsAtMidnight_ofTheRecordingDate) {
    open(160, 120);
    dvtape::TapeDescription tape;
    // 23:59:58 for 75 frames: the date turns at frame 50.
    tape.recordings.push_back({dvtape::CivilDateTime{2014, 7, 5, 23, 59, 58}, 75});
    const auto frames = drawnFrames(inlaySchedule(*this, tape, 1));
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 50, 51, 52, 53}));
}

std::atomic<double> testNow{0};
TDateTime testClock() {
    return testNow.load();
}

TEST_F(SuperposerTest, dailyInlay_withoutDvRecords_restartsOnTheComputersNewDay) {
    open(160, 120);
    f->SetClock(&testClock);
    f->SetDurationMode(1);
    f->SetRestartMode(1);
    f->SetInlayDuration(0.2);
    const double evening = EncodeDate(2024, 3, 9) + EncodeTime(23, 59, 59);
    std::vector<bool> drawn;
    for (int i = 0; i < 20; ++i) {
        testNow = evening + (i < 10 ? 0.0 : 2.0 / 86400.0); // midnight passes at frame 10
        drawn.push_back(push(black()) != black());
    }
    EXPECT_EQ(drawnFrames(drawn), (std::vector<int>{0, 1, 2, 10, 11, 12, 13}));
}

TEST_F(SuperposerTest, grabs_fillTwentySlots_thenAreDroppedUntilASlotIsFreed) {
    open(40, 30);
    f->SetEffectsEnabled(false);
    const Picture in = gradient();
    for (int i = 0; i < 21; ++i) {
        f->GrabNow();
        push(in);
    }
    std::vector<int> expected;
    for (int i = 1; i <= 20; ++i) {
        expected.push_back(i % 20);
    }
    EXPECT_EQ(receiver.grabbed, expected) << "the 21st grab is dropped without a message";
    // A slot holds the plain picture until the UI releases it.
    const QImage slot5 = f->Snapshot(5).copy();
    ASSERT_EQ(slot5.width(), width);
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(slot5.constScanLine(y), px(in, 0, y), width * 3), 0);
    }
    // The 21st grab aimed at slot 1; the next aims at slot 2.
    f->ReleaseSnapshot(2);
    f->GrabNow();
    push(black());
    EXPECT_EQ(receiver.grabbed.back(), 2);
    EXPECT_EQ(f->Snapshot(2).pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(receiver.grabbed.size(), 21u);
}

TEST_F(SuperposerTest, intervalometer_countsDownEverySecond_andGrabsEveryInterval) {
    open(16, 16);
    f->SetEffectsEnabled(false);
    f->SetFrameDuration(0); // a source without a frame duration counts as 25 fps
    f->StartIntervalometer(250);
    for (int i = 0; i < 300; ++i) {
        push(black());
    }
    EXPECT_EQ(receiver.grabbed, (std::vector<int>{1}));
    EXPECT_EQ(receiver.countdown, (std::vector<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 9, 8}));
    f->StopIntervalometer();
    push(black());
    EXPECT_EQ(receiver.countdown.size(), 12u);
}

TEST_F(SuperposerTest, grab_keepsTheComposedFrame_withItsEffects) {
    open(24, 8);
    effectsOnly();
    f->SetMirror(true);
    const Picture in = gradient();
    f->GrabNow();
    const Picture out = push(in);
    ASSERT_EQ(receiver.grabbed.size(), 1u);
    const QImage shot = f->Snapshot(receiver.grabbed[0]);
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(shot.constScanLine(y), px(out, 0, y), width * 3), 0);
    }
    f->ReleaseSnapshot(receiver.grabbed[0]);
    EXPECT_FALSE(f->SnapshotTaken(receiver.grabbed[0]));
}

// ---- in place, in the preview's format ----

TEST_F(SuperposerTest, unchangedFrame_keepsItsMemory_neitherMappedForWritingNorCopied) {
    open(32, 8, "BGRx");
    const Picture in = gradient();
    // Upstream keeps a reference, so mapping the frame for writing would replace its memory with
    // a copy: the same memory downstream proves that neither happened.
    const auto passesUntouched = [&](const char* what) {
        GstBuffer* b = buffer(in);
        gst_buffer_ref(b);
        GstBuffer* out = gst_harness_push_and_pull(h, b);
        ASSERT_NE(out, nullptr) << what;
        EXPECT_EQ(gst_buffer_n_memory(out), 1u) << what;
        EXPECT_EQ(gst_buffer_peek_memory(out, 0), gst_buffer_peek_memory(b, 0)) << what;
        EXPECT_EQ(picture(out), in) << what;
        gst_buffer_unref(out);
        gst_buffer_unref(b);
    };
    f->SetEffectsEnabled(false);
    f->SetFlipVertical(true); // ignored while the effects are off
    f->SetMirror(true);
    f->SetDeinterlace(true);
    passesUntouched("effects off");
    f->GrabNow();
    passesUntouched("effects off, with a grab");
    ASSERT_EQ(receiver.grabbed.size(), 1u);
    const QImage shot = f->Snapshot(receiver.grabbed[0]);
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(shot.constScanLine(y), px(in, 0, y), rowBytes()), 0) << y;
    }

    f->SetEffectsEnabled(true);
    f->SetFlipVertical(false);
    f->SetMirror(false);
    f->SetDeinterlace(false);
    f->SetInlayEnabled(false);
    passesUntouched("effects on, none of them active");
    // A limited inlay of one frame (25 fps) that never restarts is past its period at once.
    f->SetInlayEnabled(true);
    f->SetDurationMode(1);
    f->SetRestartMode(0);
    f->SetInlayDuration(0.04);
    passesUntouched("inlay outside its period");

    // A change writes into a copy of the memory upstream shares, never into upstream's picture.
    f->SetMirror(true);
    GstBuffer* b = buffer(in);
    gst_buffer_ref(b);
    GstBuffer* out = gst_harness_push_and_pull(h, b);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(gst_buffer_peek_memory(out, 0), gst_buffer_peek_memory(b, 0));
    EXPECT_EQ(picture(b), in);
    EXPECT_EQ(std::memcmp(px(picture(out), 0, 0), px(in, width - 1, 0), 4), 0);
    gst_buffer_unref(out);
    gst_buffer_unref(b);
}

TEST_F(SuperposerTest, writableFrame_isChangedInPlace_andDeliveredItself) {
    open(32, 8, "BGRx");
    effectsOnly();
    f->SetMirror(true);
    GstBuffer* in = buffer(gradient());
    GstMemory* memory = gst_buffer_peek_memory(in, 0);
    GstBuffer* out = gst_harness_push_and_pull(h, in);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out, in);
    EXPECT_EQ(gst_buffer_peek_memory(out, 0), memory);
    EXPECT_EQ(std::memcmp(px(picture(out), 0, 0), px(gradient(), width - 1, 0), 4), 0);
    gst_buffer_unref(out);
}

TEST_F(SuperposerTest, bgrx_flipAndMirror_moveWholePixels) {
    open(31, 6, "BGRx");
    effectsOnly();
    const Picture in = gradient();
    f->SetFlipVertical(true);
    Picture out = push(in);
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(px(out, 0, y), px(in, 0, height - 1 - y), rowBytes()), 0) << y;
    }
    f->SetFlipVertical(false);
    f->SetMirror(true);
    out = push(in);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(std::memcmp(px(out, x, y), px(in, width - 1 - x, y), 4), 0) << x << "," << y;
        }
    }
    f->SetFlipVertical(true);
    out = push(in);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(std::memcmp(px(out, x, y), px(in, width - 1 - x, height - 1 - y), 4), 0)
                << x << "," << y;
        }
    }
}

TEST_F(SuperposerTest, bgrx_deinterlace_repairsCombedRows_andLeavesTheUnusedByte) {
    open(16, 6, "BGRx");
    effectsOnly();
    f->SetDeinterlace(true);
    // Even rows white, odd rows black with 0x11 in the unused byte, one marker pixel in row 0.
    Picture in(width * height * 4, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &in[(y * width + x) * 4];
            std::memset(p, y % 2 == 0 ? 255 : 0, 3);
            p[3] = y % 2 == 0 ? 0xFF : 0x11;
        }
    }
    in[0] = 10; // blue of pixel (0, 0)
    Picture out = push(in);
    for (int x = 1; x < width; ++x) {
        EXPECT_EQ(px(out, x, 1)[0], 255) << "odd row repaired";
        EXPECT_EQ(px(out, x, 1)[1], 255);
        EXPECT_EQ(px(out, x, 1)[2], 255);
        EXPECT_EQ(px(out, x, 1)[3], 0x11) << "unused byte as it was";
        EXPECT_EQ(px(out, x, 5)[1], 0) << "last row kept";
    }
    f->SetMirror(true);
    out = push(in);
    EXPECT_EQ(px(out, width - 1, 0)[0], 10);
    f->SetFlipVertical(true);
    out = push(in);
    // Flipped first: the marker ends in the last row, the black last row on top stays black.
    EXPECT_EQ(px(out, width - 1, height - 1)[0], 10);
    EXPECT_EQ(px(out, 3, 0)[1], 0);
}

TEST_F(SuperposerTest, bgrx_text_isPaintedIntoTheFrame_inTheFontColour) {
    open(320, 240, "BGRx");
    f->SetDateTimeFormats("'88'", "'8888'");
    f->SetTextPosition(500, 500, 0);
    f->SetFontColor(0x0000FF);
    const Picture out = push(black());
    EXPECT_EQ(f->LastCellHeight(), 16);
    const Box box = changed(black(), out);
    ASSERT_FALSE(box.empty());
    EXPECT_GE(box.x0, 159);
    EXPECT_LE(box.x0, 163);
    EXPECT_GE(box.y0, 120 - 16);
    EXPECT_LT(box.y0, 120);
    EXPECT_GE(box.y1, 120);
    EXPECT_LT(box.y1, 120 + 16);
    // Red in 0x00BBGGRR is the third byte of a BGRx pixel; the fourth stays 0xFF.
    int blueOrGreen = 0, redMax = 0, unusedMin = 255;
    for (std::size_t i = 0; i < out.size(); i += 4) {
        blueOrGreen = std::max<int>(blueOrGreen, std::max(out[i], out[i + 1]));
        redMax = std::max<int>(redMax, out[i + 2]);
        unusedMin = std::min<int>(unusedMin, out[i + 3]);
    }
    EXPECT_EQ(blueOrGreen, 0);
    EXPECT_EQ(redMax, 255);
    EXPECT_EQ(unusedMin, 255);
}

TEST_F(SuperposerTest, bgrx_grab_fillsAnRGB32Slot_withTheComposedFrame) {
    open(24, 8, "BGRx");
    effectsOnly();
    f->SetMirror(true);
    f->GrabNow();
    const Picture out = push(gradient());
    ASSERT_EQ(receiver.grabbed.size(), 1u);
    const QImage shot = f->Snapshot(receiver.grabbed[0]);
    EXPECT_EQ(shot.format(), QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(shot.constScanLine(y), px(out, 0, y), rowBytes()), 0) << y;
    }
    // Pixel (0, 0) is input pixel (23, 0): blue 23, green 0, red 23 × 7.
    EXPECT_EQ(shot.pixel(0, 0), qRgb(161, 0, 23));

    // Back to BGR: the next grab fills a slot of that format.
    receiver.grabbed.clear();
    open(24, 8, "BGR");
    f->SetEffectsEnabled(false);
    f->GrabNow();
    push(gradient());
    ASSERT_EQ(receiver.grabbed.size(), 1u);
    EXPECT_EQ(f->Snapshot(receiver.grabbed[0]).format(), QImage::Format_BGR888);
    EXPECT_EQ(f->Snapshot(receiver.grabbed[0]).pixel(0, 0), qRgb(0, 0, 0));
}

TEST(SuperposerCaps, acceptsBGRxAndBGR_only) {
    auto element = GstElementRef::adopt(
        GST_ELEMENT_CAST(gst_object_ref_sink(gst_element_factory_make("zv_superposer", nullptr))));
    ASSERT_TRUE(element);
    auto sink = GstPadRef::adopt(gst_element_get_static_pad(element.get(), "sink"));
    for (const char* format : {"BGRx", "BGR", "I420", "RGB", "RGBx", "xRGB", "BGRA"}) {
        auto caps = GstCapsRef::adopt(gst_caps_from_string(
            (std::string("video/x-raw, format=") + format + ", width=64, height=48, framerate=25/1")
                .c_str()));
        const bool ours = std::string(format) == "BGRx" || std::string(format) == "BGR";
        EXPECT_EQ(gst_pad_query_accept_caps(sink.get(), caps.get()) == TRUE, ours) << format;
    }
}

// Runs a launch line to end of stream and answers the overlay's negotiated format and whether
// the element named "after" passed its buffers through.
struct Negotiated {
    std::string format;
    bool afterPassesThrough = false;
};
Negotiated negotiate(const std::string& line) {
    Negotiated n;
    GErrorRef error;
    auto pipeline = GstElementRef::adopt(gst_parse_launch(line.c_str(), &error.out()));
    EXPECT_TRUE(pipeline) << (error ? error->message : "");
    if (!pipeline) {
        return n;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    auto bus = GstBusRef::adopt(gst_element_get_bus(pipeline.get()));
    auto msg = GstMessageRef::adopt(gst_bus_timed_pop_filtered(
        bus.get(), 10 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    EXPECT_TRUE(msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS);
    auto overlay = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "overlay"));
    auto pad = GstPadRef::adopt(gst_element_get_static_pad(overlay.get(), "src"));
    auto caps = GstCapsRef::adopt(gst_pad_get_current_caps(pad.get()));
    if (caps) {
        const char* format =
            gst_structure_get_string(gst_caps_get_structure(caps.get(), 0), "format");
        n.format = format ? format : "";
    }
    if (auto after = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "after"))) {
        n.afterPassesThrough = gst_base_transform_is_passthrough(GST_BASE_TRANSFORM(after.get()));
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return n;
}

TEST(SuperposerCaps, converterBefore_picksBGRx_andThePreviewsConverter_passesThrough) {
    // The preview chain: any source format, the preview sink's BGRx at the end.
    Negotiated n = negotiate("videotestsrc num-buffers=2 ! video/x-raw,format=I420,width=64,"
                             "height=48 ! videoconvert ! zv_superposer name=overlay ! "
                             "videoconvert name=after ! video/x-raw,format=BGRx ! fakesink");
    EXPECT_EQ(n.format, "BGRx");
    EXPECT_TRUE(n.afterPassesThrough);
    // Left free, the converter before takes the first format offered.
    n = negotiate("videotestsrc num-buffers=2 ! video/x-raw,format=I420,width=64,height=48 ! "
                  "videoconvert ! zv_superposer name=overlay ! fakesink");
    EXPECT_EQ(n.format, "BGRx");
    // A BGR consumer still gets BGR without a conversion after the overlay.
    n = negotiate("videotestsrc num-buffers=2 ! video/x-raw,format=I420,width=64,height=48 ! "
                  "videoconvert ! zv_superposer name=overlay ! videoconvert name=after ! "
                  "video/x-raw,format=BGR ! fakesink");
    EXPECT_EQ(n.format, "BGR");
    EXPECT_TRUE(n.afterPassesThrough);
}

TEST_F(SuperposerTest, settings_changedFromAnotherThread_whileStreaming_neverTearAFrame) {
    open(320, 240);
    f->SetDateTimeFormats("'A0'", "'B0'");
    std::atomic<bool> stop{false};
    std::thread ui([&] {
        int i = 0;
        while (!stop) {
            const std::string n = std::to_string(i % 10);
            f->SetDateTimeFormats("'A" + n + "'", "'B" + n + "'");
            f->SetFontName(i % 2 ? "DejaVu Sans" : "Arial");
            f->SetTextPosition(i % 1000, (i * 7) % 1000, i % 3);
            f->SetAutoFontSize(i % 3 != 0);
            f->SetFontSize(8 + i % 30);
            f->SetMirror(i % 2);
            f->GrabNow();
            if (i % 5 == 0) {
                for (int s = 0; s < Tzv_Superposer::kSnapshotSlots; ++s) {
                    f->ReleaseSnapshot(s);
                }
            }
            ++i;
        }
    });
    for (int i = 0; i < 300; ++i) {
        push(gradient());
        const QString a = f->LastLine1(), b = f->LastLine2();
        // Both lines come from one format pair.
        EXPECT_EQ(a.size(), 2);
        EXPECT_EQ(a.mid(1), b.mid(1)) << a.toStdString() << " / " << b.toStdString();
    }
    stop = true;
    ui.join();
}

} // namespace
} // namespace vidorel

#include "devices/dvtape/DvTape.h"

#include "filters/dvcodes.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <gst/gst.h>
#include <gtest/gtest.h>

namespace vidorel::dvtape {
namespace {

class GstEnvironment : public ::testing::Environment {
public:
    void SetUp() override { gst_init(nullptr, nullptr); }
};
const auto* const kGst = ::testing::AddGlobalTestEnvironment(new GstEnvironment);

TapeDescription palTape() {
    TapeDescription t;
    t.system = DvSystem::Pal625;
    t.startTimecodeFrame = 25 * 3600 - 3; // 0:59:59:22
    t.recordings = {
        {CivilDateTime{2004, 2, 28, 23, 59, 59}, 30, false, true},
        {std::nullopt, 6, false, true},
        {CivilDateTime{1999, 12, 31, 10, 0, 0}, 4, true, false},
    };
    return t;
}

// The date of every DIF sequence of a frame, the two beyond sequence 9 included.
std::vector<TDVRecDateTime> datesOfAllSequences(const std::vector<uint8_t>& frame) {
    std::vector<TDVRecDateTime> out;
    for (std::size_t off = 0; off + kDvMetadataBytes <= frame.size(); off += kDifSequenceBytes) {
        for (int n = 0; n < 10 && off + (n + 1) * kDifSequenceBytes <= frame.size(); n += 9) {
            TDVRecDateTime r;
            GetDVRecDateTime(DvFrame(frame).subspan(off), n, r);
            out.push_back(r);
        }
    }
    return out;
}

TEST(DvTape, palFrames_carryTheDescribedPacksInEverySequence) {
    const DvTape tape(palTape());
    ASSERT_EQ(tape.frameCount(), 40u);
    ASSERT_EQ(tape.frameBytes(), kDv625FrameBytes);

    const std::vector<uint8_t> first = tape.frame(0);
    EXPECT_EQ(GetDVSystem(first), 0);
    EXPECT_EQ(GetDVAudioRate(first), 48000);
    EXPECT_EQ(GetDVAudioBits(first), 16);
    EXPECT_TRUE(HasDVVideoControl(first));
    EXPECT_FALSE(IsDV16x9(first));
    for (int n = 0; n < 10; ++n) {
        TDVRecDateTime r;
        GetDVRecDateTime(first, n, r);
        EXPECT_EQ(r.Year, 2004) << n;
        EXPECT_EQ(r.Second, 59) << n;
        const TDVTimecode tc = GetDVTimecode(first, n);
        EXPECT_EQ(tc.Hours, 0);
        EXPECT_EQ(tc.Minutes, 59);
        EXPECT_EQ(tc.Seconds, 59);
        EXPECT_EQ(tc.Frames, 22);
    }
    for (const TDVRecDateTime& r : datesOfAllSequences(first)) {
        EXPECT_EQ(r.Day, 28);
    }

    // 25 frames later the clock has passed midnight into a leap day.
    const std::vector<uint8_t> later = tape.frame(25);
    TDVRecDateTime r;
    GetDVRecDateTime(later, 5, r);
    EXPECT_EQ(r.Month, 2);
    EXPECT_EQ(r.Day, 29);
    EXPECT_EQ(r.Hour, 0);
    EXPECT_EQ(GetDVTimecode(later, 0).Hours, 1);

    GetDVRecDateTime(tape.frame(31), 0, r);
    EXPECT_EQ(r.Year, -1) << "undated recording";

    const std::vector<uint8_t> wide = tape.frame(37);
    EXPECT_TRUE(IsDV16x9(wide));
    EXPECT_EQ(GetDVAudioRate(wide), -1) << "recording without audio pack";
    GetDVRecDateTime(wide, 9, r);
    EXPECT_EQ(r.Year, 1999);
    EXPECT_EQ(tape.facts(37).date, (CivilDateTime{1999, 12, 31, 10, 0, 0}));
}

TEST(DvTape, ntscFrames_areTenSequencesWithThirtyFrameTimecode) {
    TapeDescription t;
    t.system = DvSystem::Ntsc525;
    t.recordings = {{CivilDateTime{2010, 7, 14, 8, 30, 0}, 31, false, true}};
    const DvTape tape(t);
    ASSERT_EQ(tape.frameBytes(), kDv525FrameBytes);
    const std::vector<uint8_t> f = tape.frame(30);
    EXPECT_EQ(GetDVSystem(f), 1);
    EXPECT_EQ(GetDVAudioRate(f), 48000);
    const TDVTimecode tc = GetDVTimecode(f, 9);
    EXPECT_EQ(tc.Seconds, 1);
    EXPECT_EQ(tc.Frames, 0);
    TDVRecDateTime r;
    GetDVRecDateTime(f, 0, r);
    EXPECT_EQ(r.Second, 1) << "30 frames at 29.97 fps are one whole second";
}

TEST(DvTape, renderFrame_refusesShortBuffersAndFramesPastTheEnd) {
    const DvTape tape(palTape());
    std::vector<uint8_t> small(tape.frameBytes() - 1, 0xAA);
    EXPECT_FALSE(tape.renderFrame(0, small));
    EXPECT_EQ(small.front(), 0xAA);
    std::vector<uint8_t> buffer(tape.frameBytes());
    EXPECT_FALSE(tape.renderFrame(tape.frameCount(), buffer));
}

TEST(DvTape, writtenPalTape_isAcceptedByFfprobeAndDvdemux) {
    const std::string path = test::sandboxRoot() + "/pal.dv";
    const DvTape tape(palTape());
    ASSERT_TRUE(tape.writeRawDv(path));

    const QJsonArray streams = test::ffprobe(path)["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    const QJsonObject video = streams[0].toObject();
    EXPECT_EQ(video["codec_name"].toString(), "dvvideo");
    EXPECT_EQ(video["width"].toInt(), 720);
    EXPECT_EQ(video["height"].toInt(), 576);
    EXPECT_EQ(video["nb_read_frames"].toString(), "40");
    const QJsonObject audio = streams[1].toObject();
    EXPECT_EQ(audio["codec_name"].toString(), "pcm_s16le");
    EXPECT_EQ(audio["sample_rate"].toString(), "48000");
    EXPECT_EQ(audio["channels"].toInt(), 2);

    const test::GstRunResult run =
        test::runPipeline("filesrc location=" + path +
                          " ! dvdemux name=d d.video ! queue ! avdec_dvvideo ! fakesink name=vsink"
                          " d.audio ! queue ! fakesink name=asink");
    EXPECT_TRUE(run.reachedEos) << run.error;
    EXPECT_EQ(run.videoBuffers, 40);
    EXPECT_GT(run.audioBuffers, 0);
}

TEST(DvTape, writtenNtscTape_isAcceptedByFfprobe) {
    TapeDescription t;
    t.system = DvSystem::Ntsc525;
    t.recordings = {{std::nullopt, 12, true, true}};
    const std::string path = test::sandboxRoot() + "/ntsc.dv";
    ASSERT_TRUE(DvTape(t).writeRawDv(path));
    const QJsonArray streams = test::ffprobe(path)["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0].toObject()["height"].toInt(), 480);
    EXPECT_EQ(streams[0].toObject()["nb_read_frames"].toString(), "12");
    EXPECT_EQ(streams[1].toObject()["sample_rate"].toString(), "48000");
}

TEST(DvTape, unwritableFile_isReportedAsFailure) {
    const DvTape tape(palTape());
    EXPECT_FALSE(tape.writeRawDv(test::sandboxRoot() + "/no/such/folder/x.dv"));
}

} // namespace
} // namespace vidorel::dvtape

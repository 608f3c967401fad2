#include "devices/DvFile.h"
#include "devices/TapeDeck.h"
#include "devices/dvtape/DvTape.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace vidorel::devices {
namespace {

// Frame i of this tape is FrameSize() bytes of value i (mod 256).
class CountingTape : public TFrameSource {
public:
    explicit CountingTape(int64_t frames) : frames_(frames) {}
    int64_t FrameCount() const override { return frames_; }
    size_t FrameSize() const override { return 16; }
    int FramesPerSecond() const override { return 25; }
    uint64_t FrameDurationNs() const override { return 40'000'000; }
    bool ReadFrame(int64_t index, uint8_t* dst) override {
        std::fill(dst, dst + FrameSize(), static_cast<uint8_t>(index));
        return true;
    }

private:
    int64_t frames_;
};

std::vector<int64_t> Periods(TTapeDeck& deck, int periods) {
    std::vector<int64_t> sent;
    for (int i = 0; i < periods; ++i) {
        sent.push_back(deck.Tick());
    }
    return sent;
}

TEST(TapeDeck, stopped_sendsNothing_andPlaySendsConsecutiveFrames) {
    TTapeDeck deck(std::make_shared<CountingTape>(100));
    EXPECT_EQ(deck.Mode(), ED_MODE_STOP);
    EXPECT_EQ(Periods(deck, 3), (std::vector<int64_t>{-1, -1, -1}));
    EXPECT_EQ(deck.Position(), 0);
    ASSERT_TRUE(deck.SetMode(ED_MODE_PLAY));
    EXPECT_EQ(Periods(deck, 4), (std::vector<int64_t>{0, 1, 2, 3}));
    EXPECT_EQ(deck.Position(), 4);
}

TEST(TapeDeck, freeze_repeatsTheFrame_andPlayResumesFromIt) {
    TTapeDeck deck(std::make_shared<CountingTape>(100));
    deck.Cue(10);
    deck.SetMode(ED_MODE_FREEZE);
    EXPECT_EQ(Periods(deck, 3), (std::vector<int64_t>{10, 10, 10}));
    deck.SetMode(ED_MODE_PLAY);
    EXPECT_EQ(Periods(deck, 2), (std::vector<int64_t>{10, 11}));
}

TEST(TapeDeck, winding_movesFastWithoutFrames_andStopsAtEitherEnd) {
    TTapeDeck deck(std::make_shared<CountingTape>(100));
    deck.SetMode(ED_MODE_FF);
    EXPECT_EQ(Periods(deck, 2), (std::vector<int64_t>{-1, -1}));
    EXPECT_EQ(deck.Position(), 2 * TTapeDeck::kWindSpeed / 10);
    Periods(deck, 10);
    EXPECT_EQ(deck.Position(), 100);
    EXPECT_EQ(deck.Mode(), ED_MODE_STOP);
    deck.SetMode(ED_MODE_REW);
    Periods(deck, 10);
    EXPECT_EQ(deck.Position(), 0);
    EXPECT_EQ(deck.Mode(), ED_MODE_STOP);
}

TEST(TapeDeck, shuttleAndSlowPlay_sendFramesAtTheirSpeeds) {
    TTapeDeck deck(std::make_shared<CountingTape>(1000));
    deck.Cue(500);
    deck.SetMode(ED_MODE_PLAY_FASTEST_FWD);
    EXPECT_EQ(Periods(deck, 3), (std::vector<int64_t>{500, 510, 520}));
    deck.SetMode(ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ(Periods(deck, 2), (std::vector<int64_t>{530, 520}));
    deck.Cue(100);
    deck.SetMode(ED_MODE_PLAY_SLOWEST_FWD);
    // One fifth of normal speed: each frame is shown for five periods.
    EXPECT_EQ(Periods(deck, 6), (std::vector<int64_t>{100, 100, 100, 100, 100, 101}));
    deck.Cue(100);
    deck.SetMode(ED_MODE_PLAY_SLOWEST_REV);
    EXPECT_EQ(Periods(deck, 2), (std::vector<int64_t>{100, 99}));
}

TEST(TapeDeck, endOfTape_stopsAfterTheLastFrame_andPlayAtTheEndSendsNothing) {
    TTapeDeck deck(std::make_shared<CountingTape>(5));
    deck.Cue(3);
    deck.SetMode(ED_MODE_PLAY);
    EXPECT_EQ(Periods(deck, 4), (std::vector<int64_t>{3, 4, -1, -1}));
    EXPECT_EQ(deck.Mode(), ED_MODE_STOP);
    deck.SetMode(ED_MODE_PLAY);
    EXPECT_EQ(deck.Tick(), -1);
    EXPECT_EQ(deck.Mode(), ED_MODE_STOP);
    // Reverse shuttle shows frame 0 and then stops at the beginning.
    deck.Cue(1);
    deck.SetMode(ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ(Periods(deck, 3), (std::vector<int64_t>{1, 0, -1}));
    EXPECT_EQ(deck.Mode(), ED_MODE_STOP);
}

TEST(TapeDeck, recordIsRefused_andTheModeStays) {
    TTapeDeck deck(std::make_shared<CountingTape>(5));
    deck.SetMode(ED_MODE_PLAY);
    EXPECT_FALSE(deck.SetMode(ED_MODE_RECORD));
    EXPECT_EQ(deck.Mode(), ED_MODE_PLAY);
    EXPECT_EQ(deck.DeviceType(), ED_DEVTYPE_VCR);
}

TEST(TapeDeck, timecodeFollowsTheTapePosition_andStaysOnTheLastFrameAtTheEnd) {
    TTapeDeck deck(std::make_shared<CountingTape>(25 * 3661 + 10));
    uint32_t tc = 0;
    ASSERT_TRUE(deck.Timecode(tc));
    EXPECT_EQ(tc, 0x00000000u);
    deck.Cue(25 * 3661 + 7); // 1 h 1 min 1 s and 7 frames
    ASSERT_TRUE(deck.Timecode(tc));
    EXPECT_EQ(tc, 0x01010107u);
    deck.Cue(25 * 3661 + 10);
    ASSERT_TRUE(deck.Timecode(tc));
    EXPECT_EQ(tc, 0x01010109u);
    EXPECT_EQ(FrameIndexToBcd(12 * 3600 * 25, 25), 0x12000000u);
    EXPECT_EQ(FrameIndexToBcd(29, 30), 0x00000029u);
    TTapeDeck empty(std::make_shared<CountingTape>(0));
    EXPECT_FALSE(empty.Timecode(tc));
    empty.SetMode(ED_MODE_PLAY);
    EXPECT_EQ(empty.Tick(), -1);
}

// Raw DV files as tapes.
class DvFileTape : public ::testing::Test {
protected:
    static std::string Path(const char* name) { return test::sandboxRoot() + "/" + name; }
    static std::vector<uint8_t> Read(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    static void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    static std::string MakeTape(dvtape::DvSystem system, uint32_t frames) {
        dvtape::TapeDescription d;
        d.system = system;
        d.recordings = {{dvtape::CivilDateTime{2004, 7, 14, 10, 0, 0}, frames, false, true}};
        dvtape::DvTape tape(d);
        const std::string path = Path(system == dvtape::DvSystem::Pal625 ? "pal.dv" : "ntsc.dv");
        EXPECT_TRUE(tape.writeRawDv(path));
        return path;
    }
};

TEST_F(DvFileTape, realDvFiles_areTapesOfTheirFrames_inBothSystems) {
    const std::string pal = MakeTape(dvtape::DvSystem::Pal625, 6);
    std::string why;
    auto tape = TDvFileTape::Open(pal, &why);
    ASSERT_TRUE(tape) << why;
    EXPECT_EQ(tape->FrameCount(), 6);
    EXPECT_EQ(tape->FrameSize(), kDvFrameSize625);
    EXPECT_EQ(tape->FramesPerSecond(), 25);
    const auto bytes = Read(pal);
    std::vector<uint8_t> frame(tape->FrameSize());
    ASSERT_TRUE(tape->Load(&why)) << why;
    ASSERT_TRUE(tape->ReadFrame(5, frame.data()));
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), bytes.begin() + 5 * kDvFrameSize625));
    EXPECT_FALSE(tape->ReadFrame(6, frame.data()));

    auto ntsc = TDvFileTape::Open(MakeTape(dvtape::DvSystem::Ntsc525, 3), &why);
    ASSERT_TRUE(ntsc) << why;
    EXPECT_EQ(ntsc->FrameSize(), kDvFrameSize525);
    EXPECT_EQ(ntsc->FramesPerSecond(), 30);
}

TEST_F(DvFileTape, badFiles_areRefused_andATrailingPartFrameIsDropped) {
    const auto good = Read(MakeTape(dvtape::DvSystem::Pal625, 4));
    std::string why;

    Write(Path("short.dv"), std::vector<uint8_t>(good.begin(), good.begin() + 1000));
    EXPECT_FALSE(TDvFileTape::Open(Path("short.dv"), &why));
    EXPECT_EQ(why, "shorter than one DV frame");

    Write(Path("text.dv"), std::vector<uint8_t>(200000, 'x'));
    EXPECT_FALSE(TDvFileTape::Open(Path("text.dv"), &why));
    EXPECT_EQ(why, "not a DV file");

    auto damaged = good;
    std::fill(damaged.begin() + 3 * kDvFrameSize625, damaged.begin() + 3 * kDvFrameSize625 + 160,
              0xFF);
    Write(Path("damaged.dv"), damaged);
    EXPECT_FALSE(TDvFileTape::Open(Path("damaged.dv"), &why));

    EXPECT_FALSE(TDvFileTape::Open(Path("missing.dv"), &why));
    EXPECT_FALSE(TDvFileTape::Open(test::sandboxRoot(), &why));

    auto longer = good;
    longer.resize(good.size() + 5000, 0);
    Write(Path("partial.dv"), longer);
    auto tape = TDvFileTape::Open(Path("partial.dv"), &why);
    ASSERT_TRUE(tape) << why;
    EXPECT_EQ(tape->FrameCount(), 4);
}

} // namespace
} // namespace vidorel::devices

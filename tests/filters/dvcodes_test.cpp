#include "filters/dvcodes.h"

#include <gtest/gtest.h>

#include <vector>

namespace vidorel {
namespace {

// A PAL-sized frame of 0xFF ("no information") bytes with the packs a test writes into it.
struct Frame {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kDv625FrameBytes, 0xFF);
    uint8_t& at(int seq, std::size_t offset) { return bytes[seq * kDifSequenceBytes + offset]; }
    void setDate(int seq, uint8_t day, uint8_t month, uint8_t year) {
        at(seq, 458) = 0x62;
        at(seq, 460) = day;
        at(seq, 461) = month;
        at(seq, 462) = year;
    }
    void setTime(int seq, uint8_t s, uint8_t m, uint8_t h) {
        at(seq, 463) = 0x63;
        at(seq, 465) = s;
        at(seq, 466) = m;
        at(seq, 467) = h;
    }
};

TDVRecDateTime decodeDate(Frame& f, int seq = 0) {
    TDVRecDateTime r;
    GetDVRecDateTime(f.bytes, seq, r);
    return r;
}

TEST(DvCodes, twoDigitYears_pivotAtForty) {
    Frame f;
    f.setTime(0, 0x00, 0x00, 0x00);
    const std::pair<uint8_t, int> cases[] = {
        {0x39, 2039}, {0x40, 1940}, {0x99, 1999}, {0x00, 2000}};
    for (auto [bcdYear, year] : cases) {
        f.setDate(0, 0x01, 0x01, bcdYear);
        EXPECT_EQ(decodeDate(f).Year, year) << int(bcdYear);
    }
}

TEST(DvCodes, dateAndTimeFields_areDecodedFromBcdWithTheirMasks) {
    Frame f;
    // The bits above each tens mask carry flags that must not leak into the value.
    f.setDate(3, 0xC0 | 0x31, 0xE0 | 0x12, 0x07);
    f.setTime(3, 0x80 | 0x59, 0x80 | 0x47, 0xC0 | 0x23);
    const TDVRecDateTime r = decodeDate(f, 3);
    EXPECT_EQ(r.Year, 2007);
    EXPECT_EQ(r.Month, 12);
    EXPECT_EQ(r.Day, 31);
    EXPECT_EQ(r.Hour, 23);
    EXPECT_EQ(r.Minute, 47);
    EXPECT_EQ(r.Second, 59);
    EXPECT_EQ(decodeDate(f, 0).Year, -1) << "other sequences are untouched";
}

TEST(DvCodes, zeroedDatePacks_decodeToAnImpossibleDateThatIsRejected) {
    Frame f;
    for (std::size_t i = 458; i < 468; ++i) {
        f.at(0, i) = 0;
    }
    const TDVRecDateTime r = decodeDate(f);
    EXPECT_EQ(r.Year, 2000);
    EXPECT_EQ(r.Month, 0);
    EXPECT_EQ(r.Day, 0);
    double days = 0;
    EXPECT_FALSE(DVRecDateTimeToDays(r, days));
}

TEST(DvCodes, dateWithForeignPackHeader_isAbsent) {
    Frame f;
    f.setDate(0, 0x01, 0x01, 0x05);
    f.setTime(0, 0, 0, 0);
    f.at(0, 463) = 0x61;
    EXPECT_EQ(decodeDate(f).Year, -1);
}

TEST(DvCodes, dateConversion_acceptsRealDatesAndRejectsImpossibleOnes) {
    double days = 0;
    ASSERT_TRUE(DVRecDateTimeToDays({2000, 1, 1, 0, 0, 0}, days));
    EXPECT_DOUBLE_EQ(days, 36526.0);
    ASSERT_TRUE(DVRecDateTimeToDays({2004, 2, 29, 12, 0, 0}, days));
    EXPECT_DOUBLE_EQ(days, 38046.5);
    EXPECT_FALSE(DVRecDateTimeToDays({2001, 2, 29, 0, 0, 0}, days));
    EXPECT_FALSE(DVRecDateTimeToDays({2001, 4, 31, 0, 0, 0}, days));
    EXPECT_FALSE(DVRecDateTimeToDays({2001, 13, 1, 0, 0, 0}, days));
    EXPECT_FALSE(DVRecDateTimeToDays({2001, 1, 1, 24, 0, 0}, days));
    EXPECT_FALSE(DVRecDateTimeToDays({2001, 1, 1, 23, 60, 0}, days));
    EXPECT_FALSE(DVRecDateTimeToDays({2001, 1, 1, 23, 0, 60}, days));
    EXPECT_FALSE(DVRecDateTimeToDays({-1, 1, 1, 0, 0, 0}, days));

    const DvCivilTime t = DaysToCivilTime(38046.5 + 1.0 / 86400 * 3661);
    EXPECT_EQ(t.year, 2004);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 1);
    EXPECT_EQ(t.second, 1);
}

TEST(DvCodes, timecode_needsTheTimecodePackInBothSubcodeBlocks) {
    Frame f;
    f.at(2, 110) = 0x13;
    f.at(2, 111) = 0xC0 | 0x24;
    f.at(2, 112) = 0x80 | 0x59;
    f.at(2, 113) = 0x80 | 0x07;
    f.at(2, 114) = 0xC0 | 0x12;
    f.at(2, 190) = 0x13;
    const TDVTimecode tc = GetDVTimecode(f.bytes, 2);
    EXPECT_EQ(tc.Hours, 12);
    EXPECT_EQ(tc.Minutes, 7);
    EXPECT_EQ(tc.Seconds, 59);
    EXPECT_EQ(tc.Frames, 24);

    f.at(2, 190) = 0x14;
    EXPECT_EQ(GetDVTimecode(f.bytes, 2).Hours, 255);
}

TEST(DvCodes, videoSystem_comesFromTheHeaderWhateverTheFrameLength) {
    std::vector<uint8_t> ntscLength(kDv525FrameBytes, 0);
    ntscLength[3] = 0xBF;
    EXPECT_EQ(GetDVSystem(ntscLength), 0);
    ntscLength[3] = 0x3F;
    EXPECT_EQ(GetDVSystem(ntscLength), 1);
    ntscLength[3] = 0x1F;
    EXPECT_EQ(GetDVSystem(ntscLength), 2);
}

TEST(DvCodes, audioPack_givesRateAndBitsOrZeroForUnknownCodes) {
    Frame f;
    EXPECT_EQ(GetDVAudioRate(f.bytes), -1);
    EXPECT_EQ(GetDVAudioBits(f.bytes), -1);
    f.at(0, 4323) = 0x50;
    const std::pair<int, int32_t> rates[] = {{0, 48000}, {1, 44100}, {2, 32000}, {3, 0}};
    for (auto [smp, rate] : rates) {
        f.at(0, 4327) = static_cast<uint8_t>(0xC0 | (smp << 3) | 1);
        EXPECT_EQ(GetDVAudioRate(f.bytes), rate);
        EXPECT_EQ(GetDVAudioBits(f.bytes), 12);
    }
    f.at(0, 4327) = 0;
    EXPECT_EQ(GetDVAudioBits(f.bytes), 16);
    f.at(0, 4327) = 2;
    EXPECT_EQ(GetDVAudioBits(f.bytes), 0);
}

TEST(DvCodes, wideMarking_isReadBackForBothAp3Variants) {
    for (uint8_t ap3 : {0, 1, 7}) {
        Frame f;
        f.at(4, 7) = static_cast<uint8_t>(0xF8 | ap3);
        EXPECT_FALSE(IsDV16x9(f.bytes));
        ASSERT_TRUE(SetDV16x9(f.bytes, 4));
        EXPECT_TRUE(IsDV16x9(f.bytes)) << int(ap3);
        EXPECT_TRUE(f.at(4, 453) == 0x61);
        EXPECT_EQ(f.at(4, 455), ap3 == 0 ? 7 : 2);
    }
}

TEST(DvCodes, wideRule_usesOnlyTheFirstSequenceWithAControlPack) {
    Frame f;
    f.at(1, 453) = 0x61;
    f.at(1, 455) = 0x00; // 4:3
    f.at(2, 453) = 0x61;
    f.at(2, 455) = 0x02;
    EXPECT_FALSE(IsDV16x9(f.bytes));
    f.at(1, 7) = 0x01;
    f.at(1, 455) = 0x07; // DISP 7 counts only with AP3 = 0
    EXPECT_FALSE(IsDV16x9(f.bytes));
    EXPECT_FALSE(HasDVVideoControl(f.bytes)) << "only sequence 0 counts as carrying the pack";
}

TEST(DvCodes, shortFrame_carriesNoMetadataAndIsNeverWritten) {
    Frame full;
    full.setDate(0, 0x01, 0x01, 0x05);
    full.setTime(0, 0, 0, 0);
    full.at(0, 3) = 0xBF;
    full.at(0, 4323) = 0x50;
    full.at(0, 453) = 0x61;
    full.at(0, 455) = 0x02;
    std::vector<uint8_t> shortFrame(full.bytes.begin(), full.bytes.begin() + kDvMetadataBytes - 1);
    const std::vector<uint8_t> before = shortFrame;

    TDVRecDateTime r;
    GetDVRecDateTime(shortFrame, 0, r);
    EXPECT_EQ(r.Year, -1);
    EXPECT_EQ(GetDVTimecode(shortFrame, 0).Hours, 255);
    EXPECT_EQ(GetDVSystem(shortFrame), 2);
    EXPECT_EQ(GetDVAudioRate(shortFrame), -1);
    EXPECT_FALSE(IsDV16x9(shortFrame));
    EXPECT_FALSE(HasDVVideoControl(shortFrame));
    EXPECT_FALSE(SetDV16x9(shortFrame, 0));
    EXPECT_EQ(shortFrame, before);

    EXPECT_FALSE(SetDV16x9(full.bytes, 10)) << "sequence 10 is beyond the metadata area";
    GetDVRecDateTime(full.bytes, -1, r);
    EXPECT_EQ(r.Year, -1);
}

} // namespace
} // namespace vidorel

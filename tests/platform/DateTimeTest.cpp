#include "platform/DateTime.h"

#include <gtest/gtest.h>

using namespace vidorel;

namespace {
const QLocale kC(QLocale::C);
const QLocale kFrench(QLocale::French, QLocale::France);
// Friday 2024-03-08 07:05:09
const TDateTime kSample = EncodeDate(2024, 3, 8) + EncodeTime(7, 5, 9);
} // namespace

TEST(DateTime, dayCounts_matchTheEpochAndSurviveARoundTrip) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    const DecodedDateTime d = DecodeDateTime(kSample);
    EXPECT_EQ(d.year, 2024);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 8);
    EXPECT_EQ(d.hour, 7);
    EXPECT_EQ(d.minute, 5);
    EXPECT_EQ(d.second, 9);
    EXPECT_EQ(d.dayOfWeek, 5);
    // just before midnight must not print second 60
    const DecodedDateTime late = DecodeDateTime(EncodeDate(2024, 1, 1) + 86399.9999 / 86400.0);
    EXPECT_EQ(late.second, 0);
    EXPECT_EQ(late.day, 2);
    EXPECT_EQ(FromQDateTime(ToQDateTime(kSample)), kSample);
}

TEST(DateTime, tryEncode_rejectsImpossibleDatesAndTimes) {
    TDateTime out = -1;
    EXPECT_FALSE(TryEncodeDateTime(2023, 2, 29, 0, 0, 0, 0, out));
    EXPECT_FALSE(TryEncodeDateTime(2024, 0, 1, 0, 0, 0, 0, out));
    EXPECT_FALSE(TryEncodeDateTime(2024, 1, 1, 25, 0, 0, 0, out));
    EXPECT_FALSE(TryEncodeDateTime(2024, 1, 1, 0, 60, 0, 0, out));
    EXPECT_EQ(out, -1);
    EXPECT_TRUE(TryEncodeDateTime(2024, 2, 29, 23, 59, 59, 0, out));
}

TEST(DateTime, format_rendersEveryFieldInTheCLocale) {
    EXPECT_EQ(FormatDateTime("d dd ddd dddd", kSample, kC), "8 08 Fri Friday");
    EXPECT_EQ(FormatDateTime("m mm mmm mmmm", kSample, kC), "3 03 Mar March");
    EXPECT_EQ(FormatDateTime("yy yyyy", kSample, kC), "24 2024");
    EXPECT_EQ(FormatDateTime("h hh n nn s ss", kSample, kC), "7 07 5 05 9 09");
    EXPECT_EQ(FormatDateTime("yyyy/mm/dd", kSample, kC), "2024/03/08");
}

TEST(DateTime, format_readsMAfterAnHourAsMinutes) {
    EXPECT_EQ(FormatDateTime("hh:mm", kSample, kC), "07:05");
    EXPECT_EQ(FormatDateTime("hhmm", kSample, kC), "0705");
    EXPECT_EQ(FormatDateTime("mm hh", kSample, kC), "03 07");
    EXPECT_EQ(FormatDateTime("hh dd mm", kSample, kC), "07 08 03");
}

TEST(DateTime, format_copiesQuotedAndUnknownText) {
    EXPECT_EQ(FormatDateTime("\"Day\" d 'of' mmmm", kSample, kC), "Day 8 of March");
    EXPECT_EQ(FormatDateTime("\"unclosed", kSample, kC), "unclosed");
    EXPECT_EQ(FormatDateTime("xq!", kSample, kC), "xq!");
    EXPECT_EQ(FormatDateTime("", kSample, kC), "");
}

TEST(DateTime, format_usesTheLocaleForDatesTimesNamesAndSeparators) {
    EXPECT_EQ(FormatDateTime("ddddd", kSample, kFrench), "08/03/2024");
    EXPECT_EQ(FormatDateTime("dddd", kSample, kFrench), "vendredi");
    EXPECT_EQ(FormatDateTime("mmmm", kSample, kFrench), "mars");
    EXPECT_EQ(FormatDateTime("tt", kSample, kFrench), "07:05:09");
    EXPECT_EQ(FormatDateTime("t", kSample, kFrench), "07:05");
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy", kSample, german), "08.03.2024");
    EXPECT_EQ(FormatDateTime("dddddd", kSample, german), "Freitag, 8. März 2024");
}

TEST(DateTime, round_takesTiesToEven) {
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.5), 2);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(-1.5), -2);
    EXPECT_EQ(Round(2.5000001), 3);
    EXPECT_EQ(Trunc(-2.7), -2);
    EXPECT_EQ(Trunc(2.7), 2);
}

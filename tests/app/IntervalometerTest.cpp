// The intervalometer's period in frames.
#include "app/Intervalometer.h"

#include <gtest/gtest.h>

#include <climits>

using namespace vidorel;

TEST(Intervalometer, periodIsTheNearestWholeFramesPerUnitTimesTheValue) {
    using U = TIntervalUnit;
    EXPECT_EQ(IntervalometerPeriod(10, U::Seconds, 25.0), 250);
    EXPECT_EQ(IntervalometerPeriod(1, U::Frames, 25.0), 1);
    EXPECT_EQ(IntervalometerPeriod(2, U::Minutes, 25.0), 3000);
    EXPECT_EQ(IntervalometerPeriod(1, U::Hours, 25.0), 90000);
    // 29.97 fps: 30 frames a second, 1798 a minute, 107892 an hour.
    EXPECT_EQ(IntervalometerPeriod(3, U::Seconds, 30000.0 / 1001.0), 90);
    EXPECT_EQ(IntervalometerPeriod(1, U::Minutes, 30000.0 / 1001.0), 1798);
    EXPECT_EQ(IntervalometerPeriod(1, U::Hours, 30000.0 / 1001.0), 107892);
    // A stream without a frame rate counts as 25.
    EXPECT_EQ(IntervalometerPeriod(4, U::Seconds, 0.0), 100);
}

TEST(Intervalometer, periodsUnderOneFrameAreRefusedAndHugeOnesClamped) {
    using U = TIntervalUnit;
    EXPECT_FALSE(IntervalometerPeriod(0, U::Seconds, 25.0));
    EXPECT_FALSE(IntervalometerPeriod(0, U::Frames, 25.0));
    // Half a frame a second rounds to 1 (and grabs); just under it rounds to 0.
    EXPECT_EQ(IntervalometerPeriod(1, U::Seconds, 0.5), 1);
    EXPECT_FALSE(IntervalometerPeriod(1, U::Seconds, 0.49));
    // 999999 hours at 25 fps is 89 999 910 000 frames: past 32 bits, clamped, not wrapped.
    EXPECT_EQ(IntervalometerPeriod(999999, U::Hours, 25.0), INT_MAX);
    EXPECT_EQ(IntervalometerPeriod(23860, U::Hours, 25.0), 2147400000);
    EXPECT_EQ(IntervalometerPeriod(23861, U::Hours, 25.0), INT_MAX);

    EXPECT_EQ(IntervalometerRefusal(0, U::Seconds, 25.0),
              "The intervalometer needs a time interval above 0.");
    EXPECT_EQ(IntervalometerRefusal(1, U::Seconds, 0.4),
              "At 0.40 frames per second, 1 seconds is less than one frame.\r\n"
              "Choose a longer time interval.");
}

#include "app/Intervalometer.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vidorel {

namespace {

int64_t FramesPerUnit(TIntervalUnit unit, double rate) {
    switch (unit) {
    case TIntervalUnit::Frames:
        return 1;
    case TIntervalUnit::Minutes:
        return std::llround(rate * 60.0);
    case TIntervalUnit::Hours:
        return std::llround(rate * 3600.0);
    case TIntervalUnit::Seconds:
    default:
        return std::llround(rate);
    }
}

double UsableRate(double frameRate) {
    return frameRate > 0 && std::isfinite(frameRate) ? frameRate : 25.0;
}

} // namespace

std::optional<int> IntervalometerPeriod(int value, TIntervalUnit unit, double frameRate) {
    const double rate = UsableRate(frameRate);
    // 999999 hours at 1000 fps is 3.6e12 frames: in 64 bits it neither wraps nor turns negative.
    const int64_t period = FramesPerUnit(unit, rate) * static_cast<int64_t>(value);
    if (period < 1) {
        return std::nullopt;
    }
    return static_cast<int>(period > INT_MAX ? INT_MAX : period);
}

std::string IntervalometerRefusal(int value, TIntervalUnit unit, double frameRate) {
    if (value <= 0) {
        return "The intervalometer needs a time interval above 0.";
    }
    static const char* const kUnits[] = {"seconds", "frames", "minutes", "hours"};
    char text[160];
    std::snprintf(text, sizeof text,
                  "At %.2f frames per second, %d %s is less than one frame.\r\n"
                  "Choose a longer time interval.",
                  UsableRate(frameRate), value, kUnits[static_cast<int>(unit) & 3]);
    return text;
}

} // namespace vidorel

#pragma once

// The intervalometer's period: how many frames lie between two grabs.

#include <optional>
#include <string>

namespace vidorel {

enum class TIntervalUnit { Seconds = 0, Frames = 1, Minutes = 2, Hours = 3 };

// Frames between two grabs for `value` units at `frameRate` frames per second (25 when the
// stream reports none, i.e. not above 0). Computed in 64 bits; a period beyond what the overlay
// counts (2^31 - 1 frames, over two years at 25 fps) is clamped to it. No period (nullopt) when
// it would be under one frame: a value of 0, or seconds at a frame rate below 0.5.
std::optional<int> IntervalometerPeriod(int value, TIntervalUnit unit, double frameRate);

// Why a period was refused, for the user.
std::string IntervalometerRefusal(int value, TIntervalUnit unit, double frameRate);

} // namespace vidorel

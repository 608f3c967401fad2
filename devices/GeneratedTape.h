#pragma once

// The tape of the standard DV Test Deck, made with the DV test-material library.

#include "devices/TapeDeck.h"

#include <memory>

namespace vidorel::devices {

// The standard test tape: several dated recordings (one in 16:9) with undated frames between
// them, embedded audio and a continuous timecode. Null when the DV encoder is unavailable.
std::shared_ptr<TFrameSource> MakeStandardTestTape();

} // namespace vidorel::devices

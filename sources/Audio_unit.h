#pragma once
#include "sources/CaptureSources.h"
namespace vidorel {
// An audio device: its source's pad is the audio stream.
std::shared_ptr<TCaptureDevice> MakeAudioCaptureDevice(devices::DeviceEntry entry, int number);
} // namespace vidorel

#pragma once
#include "sources/CaptureSources.h"
namespace vidorel {
// A DV device: source -> scene detector -> tee (native system stream) -> dvdemux, and per
// stream dvdemux's pads -> tee (native DV video) -> avdec_dvvideo [-> half size].
std::shared_ptr<TCaptureDevice> MakeDVCaptureDevice(devices::DeviceEntry entry, int number);
} // namespace vidorel

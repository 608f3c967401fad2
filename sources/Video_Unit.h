#pragma once
#include "sources/CaptureSources.h"
namespace vidorel {
// A video device: source -> tee (native) -> queue -> [decoder] -> videoconvert.
std::shared_ptr<TCaptureDevice> MakeVideoCaptureDevice(devices::DeviceEntry entry, int number);
} // namespace vidorel

#pragma once

#include <gst/gst.h>

#include <cstdint>

namespace vidorel::devices {

// Device kinds, numbered as the device model stores them.
enum DeviceKindCode : uint8_t {
    kKindNone = 0,
    kKindDV = 1,
    kKindPlugIn = 2,
    kKindVideo = 3,
    kKindAudio = 4,
};

// The kind a device's caps announce: a DV system stream makes a DV device, any other video
// (raw or compressed) a video device, audio an audio device. Unknown, empty or ANY caps give
// kKindNone: such a device is not offered, since nothing could be built behind it.
uint8_t KindFromCaps(const GstCaps* caps);

} // namespace vidorel::devices

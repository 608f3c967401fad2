#pragma once

#include <cstdint>

namespace vidorel {

// State of the capture controller.
enum class CaptureState : uint8_t {
    Preview = 1,
    Capturing = 2,
    Scheduled = 3,
    ScheduledCapturing = 4,
};

// Capture format ids as stored in "Capture Format".
using TCaptureFormat = uint8_t;
namespace CaptureFormat {
constexpr TCaptureFormat None = 0;
constexpr TCaptureFormat DVType1Native = 1;
constexpr TCaptureFormat DVType2Native = 2;
constexpr TCaptureFormat NativeMpegStream = 3;
constexpr TCaptureFormat DefaultOld = 4;
constexpr TCaptureFormat AviNative = 5;
constexpr TCaptureFormat DVType2Recomp = 6;
constexpr TCaptureFormat Wmv = 7;
constexpr TCaptureFormat ImageByImage = 8;
constexpr TCaptureFormat Divx = 9;
constexpr TCaptureFormat Default = 10;
constexpr TCaptureFormat Wav = 11;
constexpr TCaptureFormat Mp3 = 12;
} // namespace CaptureFormat

} // namespace vidorel

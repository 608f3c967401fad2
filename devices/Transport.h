#pragma once

// The tape transport that the camcorder windows drive. Its mode values are the ones the
// preferences and the windows exchange, so they keep their historic numbers; FireWire
// camcorders map them onto AV/C commands and the virtual deck onto its tape model.

#include <cstdint>

namespace vidorel::devices {

enum EdMode : int {
    ED_MODE_PLAY = 4296,
    ED_MODE_STOP = 4297,
    ED_MODE_FREEZE = 4298,
    ED_MODE_RECORD = 4299,
    ED_MODE_FF = 4300,
    ED_MODE_REW = 4301,
    ED_MODE_PLAY_FASTEST_FWD = 5029,
    ED_MODE_PLAY_SLOWEST_FWD = 5030,
    ED_MODE_PLAY_FASTEST_REV = 5031,
    ED_MODE_PLAY_SLOWEST_REV = 5032,
};

// Capability asked for with TTapeTransport::DeviceType and its two answers.
inline constexpr int ED_DEVCAP_DEVICE_TYPE = 4103;
inline constexpr int ED_DEVTYPE_VCR = 4104;
inline constexpr int ED_DEVTYPE_CAMERA = 4996;
// Flag of a timecode request: read the timecode from the tape.
inline constexpr int ED_DEVCAP_TIMECODE_READ = 4121;

// One transport of one device. Implementations are called from the UI thread while the
// device's streaming thread runs; each keeps its own lock.
class TTapeTransport {
public:
    virtual ~TTapeTransport() = default;
    // Sets a transport mode; false when the device refused or the mode is not a transport mode.
    virtual bool SetMode(int edMode) = 0;
    // The current mode; ED_MODE_STOP when the device cannot tell.
    virtual int Mode() = 0;
    // The tape timecode as packed BCD 0xHHMMSSFF; false when none can be read.
    virtual bool Timecode(uint32_t& bcd) = 0;
    // ED_DEVTYPE_VCR, ED_DEVTYPE_CAMERA, or 0 when unknown.
    virtual int DeviceType() = 0;
};

// Packs hours, minutes, seconds and frames into BCD 0xHHMMSSFF.
constexpr uint32_t PackBcdTimecode(int h, int m, int s, int f) {
    auto bcd = [](int v) { return static_cast<uint32_t>(((v / 10) % 10) << 4 | (v % 10)); };
    return bcd(h) << 24 | bcd(m) << 16 | bcd(s) << 8 | bcd(f);
}

} // namespace vidorel::devices

#pragma once

// FireWire camcorders and decks over AV/C (libraw1394, rom1394, libavc1394). The command
// mapping and the parsing are pure functions so they can be checked without a card; the
// bus calls only run when a handle and at least one port exist.

#include "devices/Transport.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vidorel::devices {

// One AV/C unit with a tape or camera subunit.
struct AvcUnit {
    uint64_t guid = 0;
    int port = 0;
    int node = 0;
    std::string label; // the textual leaves of the configuration ROM, may be empty
    bool hasTape = false;
    bool hasCamera = false;
};

// The AV/C control command (one quadlet: ctype, subunit, opcode, operand) that sets a transport
// mode on the tape subunit; none for values that are not transport modes.
std::optional<uint32_t> AvcCommandForMode(int edMode);

// The transport mode that a TRANSPORT STATE status response reports; ED_MODE_STOP for states
// that carry no motion (load medium, unknown operands).
int EdModeFromAvcStatus(uint32_t response);

// Parses the "hh:mm:ss:ff" text of a timecode response into packed BCD; none when malformed.
std::optional<uint32_t> ParseAvcTimecode(const std::string& text);

// VCR when the unit has a tape subunit, else camera when it has a camera subunit, else 0.
int DeviceTypeFromSubunits(bool hasTape, bool hasCamera);

// All AV/C tape or camera units on every FireWire port. Empty (and harmless) without a card,
// without the raw1394 device node, or without the permission to open it.
std::vector<AvcUnit> FindAvcUnits();

// The transport of one unit, found again by its GUID on every call so that a bus reset
// (which renumbers nodes) does not send commands to another device.
class TAvcTransport final : public TTapeTransport {
public:
    explicit TAvcTransport(uint64_t guid);
    ~TAvcTransport() override;
    bool SetMode(int edMode) override;
    int Mode() override;
    bool Timecode(uint32_t& bcd) override;
    int DeviceType() override;

private:
    struct Bus;
    // Opens the bus and finds the unit; false when the unit is gone. Called under mutex_.
    bool Reach();
    uint64_t guid_;
    std::mutex mutex_;
    std::unique_ptr<Bus> bus_; // guarded by mutex_
};

} // namespace vidorel::devices

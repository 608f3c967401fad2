#include "devices/Avc1394.h"

#include <libavc1394/avc1394.h>
#include <libavc1394/avc1394_vcr.h>
#include <libavc1394/rom1394.h>
#include <libraw1394/raw1394.h>

#include <cstdio>

namespace vidorel::devices {

namespace {

constexpr uint32_t kTapeControl =
    AVC1394_CTYPE_CONTROL | AVC1394_SUBUNIT_TYPE_TAPE_RECORDER | AVC1394_SUBUNIT_ID_0;

constexpr uint32_t Command(uint32_t opcode, uint32_t operand) {
    return kTapeControl | opcode | operand;
}

struct RawHandle {
    raw1394handle_t h = nullptr;
    RawHandle() : h(raw1394_new_handle()) {}
    ~RawHandle() {
        if (h) {
            raw1394_destroy_handle(h);
        }
    }
    RawHandle(const RawHandle&) = delete;
    RawHandle& operator=(const RawHandle&) = delete;
};

int PortCount(raw1394handle_t h) {
    // With a null buffer the call only counts; a negative answer means no kernel support.
    const int n = raw1394_get_port_info(h, nullptr, 0);
    return n < 0 ? 0 : n;
}

// Walks the nodes of the port the handle is set to and appends every AV/C tape or camera unit.
void ScanPort(raw1394handle_t h, int port, std::vector<AvcUnit>& out) {
    const int nodes = raw1394_get_nodecount(h);
    for (int node = 0; node < nodes; ++node) {
        rom1394_directory dir{};
        if (rom1394_get_directory(h, static_cast<nodeid_t>(node), &dir) < 0) {
            continue;
        }
        const bool avc = rom1394_get_node_type(&dir) == ROM1394_NODE_TYPE_AVC;
        std::string label = dir.label ? dir.label : "";
        rom1394_free_directory(&dir);
        if (!avc) {
            continue;
        }
        AvcUnit u;
        u.port = port;
        u.node = node;
        u.guid = rom1394_get_guid(h, static_cast<nodeid_t>(node));
        u.label = std::move(label);
        u.hasTape = avc1394_check_subunit_type(h, node, AVC1394_SUBUNIT_TYPE_TAPE_RECORDER) != 0;
        u.hasCamera = avc1394_check_subunit_type(h, node, AVC1394_SUBUNIT_TYPE_VIDEO_CAMERA) != 0;
        if (u.hasTape || u.hasCamera) {
            out.push_back(std::move(u));
        }
    }
}

int BcdDigitPair(const std::string& s, size_t at) {
    if (at + 2 > s.size() || s[at] < '0' || s[at] > '9' || s[at + 1] < '0' || s[at + 1] > '9') {
        return -1;
    }
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

} // namespace

std::optional<uint32_t> AvcCommandForMode(int edMode) {
    switch (edMode) {
    case ED_MODE_PLAY:
        return Command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_FORWARD);
    case ED_MODE_FREEZE:
        return Command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_FORWARD_PAUSE);
    case ED_MODE_STOP:
        return Command(AVC1394_VCR_COMMAND_WIND, AVC1394_VCR_OPERAND_WIND_STOP);
    case ED_MODE_FF:
        return Command(AVC1394_VCR_COMMAND_WIND, AVC1394_VCR_OPERAND_WIND_FAST_FORWARD);
    case ED_MODE_REW:
        return Command(AVC1394_VCR_COMMAND_WIND, AVC1394_VCR_OPERAND_WIND_REWIND);
    // Shuttle and slow play are the trick-play operands at both ends of the speed range.
    case ED_MODE_PLAY_FASTEST_FWD:
        return Command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_FASTEST_FORWARD);
    case ED_MODE_PLAY_SLOWEST_FWD:
        return Command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_SLOWEST_FORWARD);
    case ED_MODE_PLAY_FASTEST_REV:
        return Command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_FASTEST_REVERSE);
    case ED_MODE_PLAY_SLOWEST_REV:
        return Command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_SLOWEST_REVERSE);
    default:
        // Recording from the program is not offered: a wrong key must never erase a tape.
        return std::nullopt;
    }
}

int EdModeFromAvcStatus(uint32_t response) {
    const uint32_t opcode = AVC1394_MASK_OPCODE(response);
    const uint32_t operand = AVC1394_GET_OPERAND0(response);
    if (opcode == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_RECORD) {
        return ED_MODE_RECORD;
    }
    if (opcode == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_WIND) {
        switch (operand) {
        case AVC1394_VCR_OPERAND_WIND_FAST_FORWARD:
            return ED_MODE_FF;
        case AVC1394_VCR_OPERAND_WIND_REWIND:
        case AVC1394_VCR_OPERAND_WIND_HIGH_SPEED_REWIND:
            return ED_MODE_REW;
        default:
            return ED_MODE_STOP;
        }
    }
    if (opcode != AVC1394_VCR_RESPONSE_TRANSPORT_STATE_PLAY) {
        return ED_MODE_STOP;
    }
    switch (operand) {
    case AVC1394_VCR_OPERAND_PLAY_FORWARD_PAUSE:
    case AVC1394_VCR_OPERAND_PLAY_REVERSE_PAUSE:
        return ED_MODE_FREEZE;
    case AVC1394_VCR_OPERAND_PLAY_SLOWEST_FORWARD:
        return ED_MODE_PLAY_SLOWEST_FWD;
    case AVC1394_VCR_OPERAND_PLAY_SLOWEST_REVERSE:
        return ED_MODE_PLAY_SLOWEST_REV;
    case AVC1394_VCR_OPERAND_PLAY_FASTEST_FORWARD:
        return ED_MODE_PLAY_FASTEST_FWD;
    case AVC1394_VCR_OPERAND_PLAY_FASTEST_REVERSE:
        return ED_MODE_PLAY_FASTEST_REV;
    default:
        break;
    }
    // The intermediate trick-play speeds have no mode of their own: report the nearest end of
    // the range so a window that asks "am I playing?" gets a useful answer.
    if (operand >= AVC1394_VCR_OPERAND_PLAY_SLOW_FORWARD_6 &&
        operand <= AVC1394_VCR_OPERAND_PLAY_SLOW_FORWARD_1) {
        return ED_MODE_PLAY_SLOWEST_FWD;
    }
    if (operand >= AVC1394_VCR_OPERAND_PLAY_FAST_FORWARD_1 &&
        operand <= AVC1394_VCR_OPERAND_PLAY_FAST_FORWARD_6) {
        return ED_MODE_PLAY_FASTEST_FWD;
    }
    if (operand >= AVC1394_VCR_OPERAND_PLAY_SLOW_REVERSE_6 &&
        operand <= AVC1394_VCR_OPERAND_PLAY_X1_REVERSE) {
        return ED_MODE_PLAY_SLOWEST_REV;
    }
    if (operand >= AVC1394_VCR_OPERAND_PLAY_FAST_REVERSE_1 &&
        operand <= AVC1394_VCR_OPERAND_PLAY_FAST_REVERSE_6) {
        return ED_MODE_PLAY_FASTEST_REV;
    }
    return ED_MODE_PLAY;
}

std::optional<uint32_t> ParseAvcTimecode(const std::string& text) {
    // Exactly "hh:mm:ss:ff"; a deck without a tape answers dashes or nothing.
    if (text.size() != 11 || text[2] != ':' || text[5] != ':' || text[8] != ':') {
        return std::nullopt;
    }
    const int h = BcdDigitPair(text, 0);
    const int m = BcdDigitPair(text, 3);
    const int s = BcdDigitPair(text, 6);
    const int f = BcdDigitPair(text, 9);
    if (h < 0 || m < 0 || s < 0 || f < 0 || m > 59 || s > 59 || f > 29) {
        return std::nullopt;
    }
    return PackBcdTimecode(h, m, s, f);
}

int DeviceTypeFromSubunits(bool hasTape, bool hasCamera) {
    if (hasTape) {
        return ED_DEVTYPE_VCR;
    }
    return hasCamera ? ED_DEVTYPE_CAMERA : 0;
}

std::vector<AvcUnit> FindAvcUnits() {
    std::vector<AvcUnit> units;
    RawHandle raw;
    if (!raw.h) {
        return units;
    }
    const int ports = PortCount(raw.h);
    for (int port = 0; port < ports; ++port) {
        // Setting a port needs a fresh handle each time: a handle binds to its first port.
        RawHandle h;
        if (!h.h || raw1394_set_port(h.h, port) < 0) {
            continue;
        }
        ScanPort(h.h, port, units);
    }
    return units;
}

struct TAvcTransport::Bus {
    RawHandle raw;
    nodeid_t node = 0;
    bool hasTape = false;
    bool hasCamera = false;
};

TAvcTransport::TAvcTransport(uint64_t guid) : guid_(guid) {}
TAvcTransport::~TAvcTransport() = default;

bool TAvcTransport::Reach() {
    bus_.reset();
    for (const AvcUnit& u : FindAvcUnits()) {
        if (u.guid != guid_) {
            continue;
        }
        auto bus = std::make_unique<Bus>();
        if (!bus->raw.h || raw1394_set_port(bus->raw.h, u.port) < 0) {
            return false;
        }
        bus->node = static_cast<nodeid_t>(u.node);
        bus->hasTape = u.hasTape;
        bus->hasCamera = u.hasCamera;
        bus_ = std::move(bus);
        return true;
    }
    return false;
}

bool TAvcTransport::SetMode(int edMode) {
    const auto cmd = AvcCommandForMode(edMode);
    if (!cmd) {
        return false;
    }
    std::lock_guard lock(mutex_);
    if (!Reach()) {
        return false;
    }
    return avc1394_send_command(bus_->raw.h, bus_->node, *cmd) >= 0;
}

int TAvcTransport::Mode() {
    std::lock_guard lock(mutex_);
    if (!Reach()) {
        return ED_MODE_STOP;
    }
    const quadlet_t status = avc1394_vcr_status(bus_->raw.h, bus_->node);
    return EdModeFromAvcStatus(status);
}

bool TAvcTransport::Timecode(uint32_t& bcd) {
    std::lock_guard lock(mutex_);
    if (!Reach()) {
        return false;
    }
    char text[16] = {};
    if (avc1394_vcr_get_timecode2(bus_->raw.h, bus_->node, text) < 0) {
        return false;
    }
    const auto tc = ParseAvcTimecode(text);
    if (!tc) {
        return false;
    }
    bcd = *tc;
    return true;
}

int TAvcTransport::DeviceType() {
    std::lock_guard lock(mutex_);
    if (!Reach()) {
        return 0;
    }
    return DeviceTypeFromSubunits(bus_->hasTape, bus_->hasCamera);
}

} // namespace vidorel::devices

#include "devices/Avc1394.h"
#include "devices/DeviceKind.h"

#include <gtest/gtest.h>
#include <libavc1394/avc1394.h>

namespace vidorel::devices {
namespace {

uint32_t Opcode(uint32_t q) {
    return (q >> 8) & 0xFF;
}
uint32_t Operand(uint32_t q) {
    return q & 0xFF;
}

TEST(AvcMapping, transportModes_becomeTapeSubunitControlCommands) {
    struct Case {
        int mode;
        uint32_t opcode;
        uint32_t operand;
    } cases[] = {
        {ED_MODE_PLAY, 0xC3, 0x75},
        {ED_MODE_FREEZE, 0xC3, 0x7D},
        {ED_MODE_STOP, 0xC4, 0x60},
        {ED_MODE_FF, 0xC4, 0x75},
        {ED_MODE_REW, 0xC4, 0x65},
        {ED_MODE_PLAY_FASTEST_FWD, 0xC3, 0x3F},
        {ED_MODE_PLAY_SLOWEST_FWD, 0xC3, 0x31},
        {ED_MODE_PLAY_FASTEST_REV, 0xC3, 0x4F},
        {ED_MODE_PLAY_SLOWEST_REV, 0xC3, 0x41},
    };
    for (const auto& c : cases) {
        const auto cmd = AvcCommandForMode(c.mode);
        ASSERT_TRUE(cmd.has_value()) << c.mode;
        EXPECT_EQ(AVC1394_GET_CTYPE(*cmd), 0u) << "control, mode " << c.mode;
        EXPECT_EQ(AVC1394_MASK_SUBUNIT_TYPE(*cmd), uint32_t(AVC1394_SUBUNIT_TYPE_TAPE_RECORDER));
        EXPECT_EQ(Opcode(*cmd), c.opcode) << c.mode;
        EXPECT_EQ(Operand(*cmd), c.operand) << c.mode;
        // Reading the state back after the command gives the mode that was set.
        EXPECT_EQ(EdModeFromAvcStatus(0x0C000000 | (*cmd & 0xFFFF)), c.mode);
    }
}

TEST(AvcMapping, recordAndUnknownModes_sendNothing) {
    EXPECT_FALSE(AvcCommandForMode(ED_MODE_RECORD).has_value());
    EXPECT_FALSE(AvcCommandForMode(0).has_value());
    EXPECT_FALSE(AvcCommandForMode(4302).has_value());
}

TEST(AvcMapping, statusOfIntermediateSpeeds_reportsNearestEndOfRange) {
    auto status = [](uint32_t opcode, uint32_t operand) {
        return 0x0C000000u | AVC1394_SUBUNIT_TYPE_TAPE_RECORDER | opcode << 8 | operand;
    };
    EXPECT_EQ(EdModeFromAvcStatus(status(0xC3, 0x3A)), ED_MODE_PLAY_FASTEST_FWD);
    EXPECT_EQ(EdModeFromAvcStatus(status(0xC3, 0x34)), ED_MODE_PLAY_SLOWEST_FWD);
    EXPECT_EQ(EdModeFromAvcStatus(status(0xC3, 0x4B)), ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ(EdModeFromAvcStatus(status(0xC3, 0x38)), ED_MODE_PLAY);
    EXPECT_EQ(EdModeFromAvcStatus(status(0xC3, 0x6D)), ED_MODE_FREEZE);
    EXPECT_EQ(EdModeFromAvcStatus(status(0xC4, 0x45)), ED_MODE_REW);
    EXPECT_EQ(EdModeFromAvcStatus(status(0xC2, 0x75)), ED_MODE_RECORD);
    EXPECT_EQ(EdModeFromAvcStatus(status(0xC1, 0x60)), ED_MODE_STOP);
    EXPECT_EQ(EdModeFromAvcStatus(0), ED_MODE_STOP);
}

TEST(AvcTimecode, textIsPackedAsBcd_andMalformedTextIsRefused) {
    EXPECT_EQ(ParseAvcTimecode("01:02:34:05"), 0x01023405u);
    EXPECT_EQ(ParseAvcTimecode("12:00:00:00"), 0x12000000u);
    EXPECT_EQ(ParseAvcTimecode("00:59:59:29"), 0x00595929u);
    for (const char* bad : {"", "--:--:--:--", "1:02:34:05", "01:60:00:00", "01:02:34:30",
                            "01-02-34-05", "01:02:34:05 "}) {
        EXPECT_FALSE(ParseAvcTimecode(bad).has_value()) << bad;
    }
}

TEST(AvcUnits, deviceTypeFollowsSubunits_tapeWinsOverCamera) {
    EXPECT_EQ(DeviceTypeFromSubunits(true, true), ED_DEVTYPE_VCR);
    EXPECT_EQ(DeviceTypeFromSubunits(true, false), ED_DEVTYPE_VCR);
    EXPECT_EQ(DeviceTypeFromSubunits(false, true), ED_DEVTYPE_CAMERA);
    EXPECT_EQ(DeviceTypeFromSubunits(false, false), 0);
}

TEST(AvcUnits, withoutFireWire_noUnitIsFound_andTransportRefusesQuietly) {
    EXPECT_TRUE(FindAvcUnits().empty());
    TAvcTransport t(0x0123456789abcdefULL);
    EXPECT_FALSE(t.SetMode(ED_MODE_PLAY));
    EXPECT_EQ(t.Mode(), ED_MODE_STOP);
    uint32_t tc = 0xdeadbeef;
    EXPECT_FALSE(t.Timecode(tc));
    EXPECT_EQ(tc, 0xdeadbeefu);
    EXPECT_EQ(t.DeviceType(), 0);
}

GstCaps* Caps(const char* s) {
    return gst_caps_from_string(s);
}

TEST(DeviceKind, capsDecideTheKind_unknownCapsAreNotOffered) {
    gst_init(nullptr, nullptr);
    struct Case {
        const char* caps;
        uint8_t kind;
    } cases[] = {
        {"video/x-dv, systemstream=(boolean)true", kKindDV},
        {"video/x-raw, format=YUY2; video/x-dv, systemstream=(boolean)true", kKindDV},
        {"video/x-dv, systemstream=(boolean)false", kKindVideo},
        {"video/x-raw, format=YUY2, width=640, height=480", kKindVideo},
        {"image/jpeg, width=1280, height=720", kKindVideo},
        {"audio/x-raw, rate=48000, channels=2", kKindAudio},
        {"application/x-rtp", kKindNone},
        {"EMPTY", kKindNone},
        {"ANY", kKindNone},
    };
    for (const auto& c : cases) {
        GstCaps* caps = Caps(c.caps);
        EXPECT_EQ(KindFromCaps(caps), c.kind) << c.caps;
        gst_caps_unref(caps);
    }
    EXPECT_EQ(KindFromCaps(nullptr), kKindNone);
}

} // namespace
} // namespace vidorel::devices

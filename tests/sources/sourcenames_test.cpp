#include "devices/DeviceKind.h"
#include "sources/SourceNames.h"

#include <gtest/gtest.h>

namespace vidorel {
namespace {

using devices::kKindAudio;
using devices::kKindDV;
using devices::kKindVideo;

TEST(SourceNames, examplesOfTheNamingRules) {
    const std::string dv = DeviceDisplayName(kKindDV, "Sony DCR", 1);
    EXPECT_EQ(VideoStreamName(dv, 1, true), "DV Source - Video");
    EXPECT_EQ(AudioStreamName(dv, 1, true), "DV Source - Audio");
    const std::string cam2 = DeviceDisplayName(kKindVideo, "USB Camera", 2);
    EXPECT_EQ(VideoStreamName(cam2, 1, true), "USB Camera #2 - Video");
    EXPECT_EQ(AudioStreamName(cam2, 1, true), "USB Camera #2 - Audio");
    const std::string card = DeviceDisplayName(kKindAudio, "Sound card", 1);
    EXPECT_EQ(AudioStreamName(card, 1, false), "Sound card");
    EXPECT_EQ(AudioStreamName(card, 2, false), "Sound card#2");
    EXPECT_EQ(VideoStreamName("Name", 1, true), "Name - Video");
    EXPECT_EQ(VideoStreamName("Name", 2, true), "Name #2");
}

TEST(SourceNames, dvDevicesAreNumberedTogether_othersByFriendlyName) {
    EXPECT_EQ(NumberingKey(kKindDV, "Sony DCR"), NumberingKey(kKindDV, "Canon MV"));
    EXPECT_NE(NumberingKey(kKindVideo, "A"), NumberingKey(kKindVideo, "B"));
    EXPECT_EQ(DeviceDisplayName(kKindDV, "Canon MV", 2), "DV Source #2");
}

TEST(SourceNames, onlyCollidingNamesAreChanged) {
    EXPECT_EQ(UniqueStreamName("Cam #2", {"Cam", "Cam #2"}), "Cam #2 (2)");
    EXPECT_EQ(UniqueStreamName("Cam #2", {"Cam", "Cam #2", "Cam #2 (2)"}), "Cam #2 (3)");
    EXPECT_EQ(UniqueStreamName("Cam", {"Cam #2"}), "Cam");
}

TEST(SourceNames, excludedNamesRoundTripWithCrLf_andToleratesBareLf) {
    EXPECT_EQ(FormatExcludedNames({"A", "B c"}), "A\r\nB c\r\n");
    EXPECT_EQ(ParseExcludedNames("A\r\nB c\r\n"), (std::vector<std::string>{"A", "B c"}));
    EXPECT_EQ(ParseExcludedNames("A\n\r\n\r\nB"), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(ParseExcludedNames("").empty());
}

} // namespace
} // namespace vidorel

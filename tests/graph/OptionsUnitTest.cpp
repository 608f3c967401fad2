// The Settings panel's rules: the MP3 bitrate in the encoder's own key, and the system report.
#include "graph/OptionsUnit.h"
#include "graph/CapturePlans.h"
#include "graph/PropertyPages.h"
#include "platform/RegistryStore.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

using namespace vidorel;

namespace {

void ForgetEncoderKey() {
    TRegistry reg;
    reg.DeleteKey(kMp3EncoderKey);
    reg.Commit();
}

TReportFacts SomeFacts() {
    TReportFacts f;
    f.OperatingSystem = "Debian GNU/Linux 12 (bookworm) - kernel 6.1.0-18-amd64";
    f.GStreamerVersion = "1.22.0";
    f.WindowsMediaFound = true;
    f.WindowsMedia = {{"avenc_wmv2", "/usr/lib/libgstlibav.so", "1.22.0"}};
    f.DivxNames = {"FFmpeg MPEG-4 part 2 (Xvid) encoder"};
    f.Mp3EncoderAvailable = false;
    f.Sources = {{"DV Source - Video", true}, {"USB Camera", false}};
    f.Plugins = {{"Vidorel MPEG Encoder Card", "/usr/lib/vidorel/mpeg.pzv", false},
                 {"Broken", "/usr/lib/vidorel/broken.pzv", true}};
    return f;
}

} // namespace

TEST(OptionsUnit, theBitrateLivesInTheEncodersKeyAndOnlyWholeNumbersAreStored) {
    ForgetEncoderKey();
    EXPECT_FALSE(StoredMp3Bitrate());
    EXPECT_EQ(StoreMp3Bitrate("96"), 96);
    EXPECT_EQ(StoredMp3Bitrate(), 96);
    {
        TRegistry reg;
        ASSERT_TRUE(
            reg.OpenKey("\\Software\\GNU\\LAME MPEG Layer III Audio Encoder Filter", false));
        EXPECT_EQ(reg.ReadDWord("Bitrate"), 96u);
    }
    // Not a number: nothing stored, the list goes back to 128.
    for (const char* bad : {"", "abc", "96k", "-32", "0"}) {
        EXPECT_EQ(StoreMp3Bitrate(bad), 128) << bad;
        EXPECT_EQ(StoredMp3Bitrate(), 96) << bad;
    }
    // A stored 100 is kept as it is; the list has no such item.
    EXPECT_EQ(StoreMp3Bitrate("100"), 100);
    EXPECT_EQ(StoredMp3Bitrate(), 100);
    const auto& items = Mp3BitrateItems();
    ASSERT_EQ(items.size(), 14u);
    EXPECT_EQ(items.front(), "32");
    EXPECT_EQ(items.back(), "320");
    EXPECT_EQ(std::find(items.begin(), items.end(), "100"), items.end());
    ForgetEncoderKey();
}

TEST(OptionsUnit, theReportMarksWhatIsMissingOrExcludedInRed) {
    const auto lines = SystemReportLines(SomeFacts());
    std::vector<std::string> texts;
    for (const auto& l : lines) {
        texts.push_back(l.Text);
    }
    const std::vector<std::string> expected = {
        "Debian GNU/Linux 12 (bookworm) - kernel 6.1.0-18-amd64. ",
        "GStreamer version 1.22.0.",
        "",
        "Filters:",
        "Windows Media Found.",
        "    avenc_wmv2 in /usr/lib/libgstlibav.so, version 1.22.0",
        "DivX encoders Found:",
        "   FFmpeg MPEG-4 part 2 (Xvid) encoder",
        "Mp3 encoder not Found.",
        "",
        "Sources:",
        "DV Source - Video +",
        "USB Camera -",
        "",
        "Plug-ins:",
        "Vidorel MPEG Encoder Card in /usr/lib/vidorel/mpeg.pzv",
        "Broken in /usr/lib/vidorel/broken.pzv",
    };
    ASSERT_EQ(texts, expected);
    using C = TReportColour;
    const std::vector<C> colours = {C::Black, C::Black, C::Black, C::Blue,  C::Black, C::Olive,
                                    C::Black, C::Olive, C::Red,   C::Black, C::Blue,  C::Black,
                                    C::Red,   C::Black, C::Blue,  C::Black, C::Red};
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].Colour, colours[i]) << i << ": " << lines[i].Text;
        // Italic from the first empty line on.
        EXPECT_EQ(lines[i].Italic, i >= 3) << i;
    }

    // Nothing found: each missing one in red; no plug-ins, no plug-in section.
    TReportFacts none;
    none.OperatingSystem = "Linux";
    none.GStreamerVersion = "1.22.0";
    const auto bare = SystemReportLines(none);
    ASSERT_EQ(bare.size(), 10u);
    EXPECT_EQ(bare[4].Text, "Windows Media not Found.");
    EXPECT_EQ(bare[4].Colour, C::Red);
    EXPECT_EQ(bare[5].Text, "DivX encoder not Found.");
    EXPECT_EQ(bare[5].Colour, C::Red);
    EXPECT_EQ(bare[6].Text, "Mp3 encoder not Found.");
    EXPECT_EQ(bare[8].Text, "Sources:");
}

TEST(OptionsUnit, theMailTextEndsEveryLineWithALineBreak) {
    const std::vector<TReportLine> lines = {{"One", TReportColour::Black, false},
                                            {"Two", TReportColour::Red, true},
                                            {"", TReportColour::Black, true}};
    EXPECT_EQ(ReportMailText(lines), "One\r\nTwo\r\n\r\n");
    EXPECT_EQ(ReportMailText({}), "");
}

TEST(OptionsUnit, theEncoderFactsNameThePluginFilesOfThisMachine) {
    gst_init(nullptr, nullptr);
    const TReportFacts f = GatherEncoderFacts({"x"}, true);
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    EXPECT_EQ(f.GStreamerVersion,
              std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro));
    // gstreamer1.0-libav and -ugly are installed here.
    EXPECT_TRUE(f.WindowsMediaFound);
    ASSERT_EQ(f.WindowsMedia.size(), 3u);
    EXPECT_NE(f.WindowsMedia[0].File.find("libgstlibav"), std::string::npos);
    EXPECT_EQ(f.Mp3Encoder.Name, "lamemp3enc");
    EXPECT_NE(f.Mp3Encoder.File.find("libgstlame"), std::string::npos);
    EXPECT_FALSE(f.Mp3Encoder.Version.empty());
}

TEST(OptionsUnit, anEncodersPageKeepsOnlyWhatDiffersFromItsDefaultsAndTheStoreKeepsIt) {
    gst_init(nullptr, nullptr);
    GstElement* enc = gst_element_factory_make("avenc_mpeg4", nullptr);
    ASSERT_TRUE(enc);
    gst_object_ref_sink(enc);
    EXPECT_TRUE(ChangedSettings(enc).empty());
    ApplySettings(enc, {{"bitrate", "123456"}, {"no-such-setting", "1"}, {"gop-size", "30"}});
    const TSettings changed = ChangedSettings(enc);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0], (std::pair<std::string, std::string>{"bitrate", "123456"}));
    EXPECT_EQ(changed[1], (std::pair<std::string, std::string>{"gop-size", "30"}));
    gst_object_unref(enc);

    StoreEncoderSettings("avenc_mpeg4", changed);
    EXPECT_EQ(StoredEncoderSettings("avenc_mpeg4"), changed);
    EXPECT_TRUE(StoredEncoderSettings("lamemp3enc").empty());
    StoreEncoderSettings("avenc_mpeg4", {});
    EXPECT_TRUE(StoredEncoderSettings("avenc_mpeg4").empty());
    EXPECT_EQ(EncoderVersionText("no-such-encoder"),
              "No encoder \"no-such-encoder\" is installed.");
}

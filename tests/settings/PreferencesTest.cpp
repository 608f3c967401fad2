#include "settings/Preferences.h"
#include "platform/DateTime.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace vidorel;

namespace {

const char* kKey = "\\Software\\Marlott\\Vidorel";

// Answers questions from a script and remembers what was shown.
class ScriptedPrompt : public IUserPrompt {
public:
    std::deque<PromptAnswer> answers;
    std::vector<std::pair<PromptKind, std::string>> shown;
    PromptAnswer Show(PromptKind kind, const std::string& text, PromptButtons) override {
        shown.emplace_back(kind, text);
        if (answers.empty()) {
            return PromptAnswer::Ok;
        }
        const PromptAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
};

std::string doubleBytes(double d) {
    std::string b(8, '\0');
    std::memcpy(b.data(), &d, 8);
    return b;
}

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = fs::path(test::sandboxRoot()) / "prefs" /
                ::testing::UnitTest::GetInstance()->current_test_info()->name() / "registry.reg";
        fs::create_directories(file_.parent_path());
        CreatePreferenceList(RegistryFile(file_));
    }
    TRegistry store() const { return TRegistry(RegistryFile(file_)); }
    // Writes values under the preference key before the preferences are created.
    template <typename F> void seed(F&& f) {
        TRegistry reg = store();
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        f(reg);
        ASSERT_TRUE(reg.Commit());
    }
    std::string slurp() const {
        std::ifstream in(file_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path file_;
};

} // namespace

TEST_F(PreferencesTest, firstStart_givesEveryDefault_andCreatesOnlyTheSiblingKey) {
    CreatePreferences({1920, 1080, 700, 459});
    ASSERT_EQ(PreferenceList->Items.size(), 88u);
    EXPECT_EQ(prefs::Top->Value, 310);
    EXPECT_EQ(prefs::Left->Value, 610);
    EXPECT_EQ(prefs::Camform1Left->Value, 610);
    EXPECT_EQ(prefs::Camform2Top->Value, 310 + 459);
    EXPECT_EQ(prefs::Volume->Value, 5000);
    EXPECT_EQ(prefs::FrequenceDV->Value, 3);
    EXPECT_EQ(prefs::Framerate->Value, 18.0);
    EXPECT_EQ(prefs::NoDatecode->Value, "N/A");
    EXPECT_EQ(prefs::PositionX->Value, 930);
    EXPECT_EQ(prefs::CaptureFormat->Value, 10);
    EXPECT_EQ(prefs::SoundCardEntry->Value, "Line In");
    EXPECT_EQ(prefs::FormatDatecode1->Value, "ddddd");
    EXPECT_EQ(prefs::RatioDivx->Value, 1);
    EXPECT_EQ(prefs::VideoInputSelect->Value, -1);
    EXPECT_TRUE(prefs::MuteOn->Value);
    EXPECT_FALSE(prefs::Scn->Value);
    EXPECT_EQ(prefs::IncrustFont->Font, DefaultInlayFont());
    EXPECT_EQ(prefs::VideoDirectory->Value.back(), '/');
    EXPECT_EQ(prefs::PluginsDir->Value.back(), '/');
    EXPECT_EQ(prefs::Tapelog->Value, "");

    TRegistry reg = store();
    EXPECT_FALSE(reg.KeyExists(kKey));
    EXPECT_TRUE(reg.KeyExists("\\Software\\Marlott\\Tapelog"));
}

TEST_F(PreferencesTest, centring_roundsTowardZero_evenOnAScreenSmallerThanTheWindow) {
    CreatePreferences({601, 300, 700, 459});
    EXPECT_EQ(prefs::Left->Value, -49);
    EXPECT_EQ(prefs::Top->Value, -79);
}

TEST_F(PreferencesTest, tapelogPath_comesFromTheSiblingProgramsKey) {
    TRegistry reg = store();
    reg.OpenKey("\\Software\\Marlott\\Tapelog", true);
    reg.WriteString("Exename", "/opt/tapelog/tapelog");
    ASSERT_TRUE(reg.Commit());
    CreatePreferences();
    EXPECT_EQ(prefs::Tapelog->Value, "/opt/tapelog/tapelog");
}

TEST_F(PreferencesTest, saveThenLoad_restoresAll88InCatalogueOrder) {
    CreatePreferences();
    prefs::Volume->Value = 1200;
    prefs::Framerate->Value = 12.5;
    prefs::DecalageHoraire->Value = -3.0 / 24.0; // days in memory
    prefs::VideoRacine->Value = "Tape \"one\" \\ é";
    prefs::WideScreen->Value = true;
    prefs::PanneauActif->Value = 6;
    prefs::CaptureFormat->Value = 9;
    prefs::SourcesExclues->Value = "USB Camera\r\nSound card\r\n";
    prefs::IncrustFont->Font = TFont{"Liberation Sans", 30, 0x0000FF, false, true, true, false};
    ASSERT_TRUE(SavePreferences());

    // the file lists the values in catalogue order after the three header values
    const std::string text = slurp();
    size_t pos = text.find("\"ExeName\"");
    ASSERT_NE(pos, std::string::npos);
    EXPECT_LT(text.find("\"Signature\""), text.find("\"Derniere Sauvegarde\""));
    for (TParameter* p : PreferenceList->Items) {
        if (p == prefs::IncrustFont) {
            continue;
        }
        std::string quoted = "\"" + p->Name + "\"=";
        const size_t next = text.find(quoted, pos);
        ASSERT_NE(next, std::string::npos) << p->Name;
        pos = next;
    }

    CreatePreferenceList(RegistryFile(file_));
    CreatePreferences();
    EXPECT_EQ(prefs::Volume->Value, 1200);
    EXPECT_EQ(prefs::Framerate->Value, 12.5);
    EXPECT_DOUBLE_EQ(prefs::DecalageHoraire->Value, -3.0 / 24.0);
    EXPECT_EQ(prefs::VideoRacine->Value, "Tape \"one\" \\ é");
    EXPECT_TRUE(prefs::WideScreen->Value);
    EXPECT_EQ(prefs::PanneauActif->Value, 6);
    EXPECT_EQ(prefs::CaptureFormat->Value, 9);
    EXPECT_EQ(prefs::SourcesExclues->Value, "USB Camera\r\nSound card\r\n");
    EXPECT_FALSE(fs::exists(file_.string() + ".bad"));
    EXPECT_EQ(prefs::IncrustFont->Font,
              (TFont{"Liberation Sans", 30, 0x0000FF, false, true, true, false}));

    TRegistry reg = store();
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadString("Signature"), "Vidorel 5.1.7 En by Marlott");
    EXPECT_FALSE(reg.ReadString("ExeName")->empty());
}

TEST_F(PreferencesTest, storedValuesOfTheWrongKindOrSize_loadAsDefaults) {
    seed([](TRegistry& reg) {
        reg.WriteString("Volume", "loud");
        reg.WriteBinary("Framerate", std::string(4, '\1'));
        reg.WriteDWord("No Datecode", 7);
        reg.WriteString("Scn", "yes");
        reg.WriteString("Source video", "");
        reg.WriteDWord("Mute On", 0);
    });
    CreatePreferences();
    EXPECT_EQ(prefs::Volume->Value, 5000);
    EXPECT_EQ(prefs::Framerate->Value, 18.0);
    EXPECT_EQ(prefs::NoDatecode->Value, "N/A");
    EXPECT_FALSE(prefs::Scn->Value);
    EXPECT_EQ(prefs::SourceVideo->Value, "N/A"); // an empty string is no value
    EXPECT_FALSE(prefs::MuteOn->Value);          // a well-formed value still loads
}

TEST_F(PreferencesTest, ordinals_keepTheLowByte_andOutOfRangeValuesLoadAsDefaults) {
    seed([](TRegistry& reg) {
        reg.WriteDWord("Panneau Actif", 258);
        reg.WriteDWord("Capture Format", 300);
        reg.WriteDWord("Standard DV", 200);
        reg.WriteDWord("Volume", static_cast<uint32_t>(-5));
        reg.WriteDWord("Alignement", static_cast<uint32_t>(-1));
        reg.WriteDWord("Qualité JPeg", 0);
        reg.WriteDWord("Correction Sync", static_cast<uint32_t>(-1000));
    });
    CreatePreferences();
    EXPECT_EQ(prefs::PanneauActif->Value, 2);
    EXPECT_EQ(prefs::CaptureFormat->Value, 44);
    EXPECT_EQ(CaptureFormatName(prefs::CaptureFormat->Value), "Default");
    EXPECT_EQ(prefs::StandardDV->Value, 0);
    EXPECT_EQ(prefs::Volume->Value, 5000);
    EXPECT_EQ(prefs::Alignement->Value, 2);
    EXPECT_EQ(prefs::QualiteJPeg->Value, 50);
    EXPECT_EQ(prefs::CorrectionSync->Value, -1000); // the edge of the range is valid
}

TEST_F(PreferencesTest, timeDifference_isStoredInHoursAndHeldInDays) {
    CreatePreferences();
    prefs::DecalageHoraire->Value = 5.0 / 24.0;
    ASSERT_TRUE(SavePreferences());
    TRegistry reg = store();
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadBinary("Décalage Horaire"), doubleBytes(5.0));

    // 23 hours is the edge of the stored range, 24 is beyond it.
    seed([&](TRegistry& r) { r.WriteBinary("Décalage Horaire", doubleBytes(-23.0)); });
    CreatePreferences();
    EXPECT_DOUBLE_EQ(prefs::DecalageHoraire->Value, -23.0 / 24.0);
    seed([&](TRegistry& r) { r.WriteBinary("Décalage Horaire", doubleBytes(24.0)); });
    CreatePreferences();
    EXPECT_EQ(prefs::DecalageHoraire->Value, 0.0);
}

TEST_F(PreferencesTest, framerateOfZeroOrNotANumber_loadsAsDefault) {
    for (double bad : {0.0, -25.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        seed([&](TRegistry& reg) {
            reg.WriteBinary("Framerate", doubleBytes(bad));
            reg.WriteBinary("Décalage Horaire", doubleBytes(bad * 100));
        });
        CreatePreferences();
        EXPECT_EQ(prefs::Framerate->Value, 18.0) << bad;
        EXPECT_EQ(prefs::DecalageHoraire->Value, 0.0) << bad;
    }
    seed([&](TRegistry& reg) { reg.WriteBinary("Framerate", doubleBytes(0.5)); });
    CreatePreferences();
    EXPECT_EQ(prefs::Framerate->Value, 0.5);
}

TEST_F(PreferencesTest, fontSubkey_lackingValues_takesThoseFromTheDefaultFont) {
    TRegistry reg = store();
    reg.OpenKey(std::string(kKey) + "\\IncrustFont", true);
    reg.WriteDWord("Size", 12);
    reg.WriteString("Name", "");
    reg.WriteDWord("Bold", 0);
    reg.WriteString("Underline", "wrong type");
    ASSERT_TRUE(reg.Commit());
    CreatePreferences();
    const TFont& f = prefs::IncrustFont->Font;
    EXPECT_EQ(f.Size, 12);
    EXPECT_EQ(f.Name, "Arial");    // empty name: the default's
    EXPECT_FALSE(f.Bold);          // stored without bold although the default is bold
    EXPECT_FALSE(f.Italic);        // missing: the default's
    EXPECT_FALSE(f.Underline);     // unreadable: the default's
    EXPECT_EQ(f.Color, 0xFFFFFFu); // missing: the default's
    // the preferences after the font still read from the main key
    EXPECT_EQ(prefs::VideoInputSelect->Value, -1);
}

TEST_F(PreferencesTest, damagedStore_isSetAside_andEveryDefaultLoads) {
    std::ofstream(file_) << "\x01\x02 not a store";
    CreatePreferences();
    EXPECT_EQ(prefs::Volume->Value, 5000);
    EXPECT_TRUE(fs::exists(file_.string() + ".bad"));
    EXPECT_TRUE(SavePreferences());
    TRegistry reg = store();
    EXPECT_TRUE(reg.KeyExists(kKey));
}

TEST_F(PreferencesTest, save_keepsOtherProgramsKeys_andFailsWithoutLoss_whenTheFolderIsGone) {
    TRegistry other = store();
    other.OpenKey("\\Software\\Someone\\Else", true);
    other.WriteString("Keep", "me");
    ASSERT_TRUE(other.Commit());
    CreatePreferences();
    ASSERT_TRUE(SavePreferences());
    TRegistry reg = store();
    ASSERT_TRUE(reg.OpenKey("\\Software\\Someone\\Else", false));
    EXPECT_EQ(reg.ReadString("Keep"), "me");

    // a store that cannot be written: the save answers false, the explicit one tells the user
    const fs::path blocked = file_.parent_path() / "blocked";
    std::ofstream(blocked) << "a file where the folder should be";
    CreatePreferenceList(RegistryFile(blocked / "registry.reg"));
    CreatePreferences();
    EXPECT_FALSE(SavePreferences());
    ScriptedPrompt prompt;
    EXPECT_FALSE(SavePreferencesAndReport(prompt));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].first, PromptKind::Error);
}

TEST_F(PreferencesTest, delete_removesOnlyTheProgramsKey_whenTheMakerKeyHoldsAnother) {
    CreatePreferences(); // creates the sibling key "Tapelog"
    ASSERT_TRUE(SavePreferences());
    ScriptedPrompt prompt;
    prompt.answers = {PromptAnswer::Yes};
    EXPECT_TRUE(DeletePreferences(prompt));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].second,
              "Do you really want to delete the preferences of Vidorel\nfrom your registry?");
    EXPECT_EQ(prompt.shown[1].first, PromptKind::Information);
    EXPECT_EQ(prompt.shown[1].second, "Vidorel has been completely deleted from your registry.");
    TRegistry reg = store();
    EXPECT_FALSE(reg.KeyExists(kKey));
    EXPECT_TRUE(reg.KeyExists("\\Software\\Marlott\\Tapelog"));
    // the values in memory are untouched
    EXPECT_EQ(prefs::Volume->Value, 5000);
}

TEST_F(PreferencesTest, delete_removesTheMakerKeyToo_whenNothingElseIsUnderIt) {
    CreatePreferences();
    ASSERT_TRUE(SavePreferences());
    TRegistry pre = store();
    pre.DeleteKey("\\Software\\Marlott\\Tapelog");
    ASSERT_TRUE(pre.Commit());
    ScriptedPrompt prompt;
    prompt.answers = {PromptAnswer::Yes};
    EXPECT_TRUE(DeletePreferences(prompt));
    TRegistry reg = store();
    EXPECT_FALSE(reg.KeyExists("\\Software\\Marlott"));
    EXPECT_TRUE(reg.KeyExists("\\Software"));
}

TEST_F(PreferencesTest, delete_whenTheMakerKeyIsMissing_warnsAndChangesNothing) {
    ScriptedPrompt prompt;
    prompt.answers = {PromptAnswer::Yes};
    EXPECT_FALSE(DeletePreferences(prompt));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1].first, PromptKind::Warning);
    EXPECT_EQ(prompt.shown[1].second, "The preferences of Vidorel were not found in the registry.");
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(PreferencesTest, delete_answeredNo_keepsTheStore) {
    CreatePreferences();
    ASSERT_TRUE(SavePreferences());
    ScriptedPrompt prompt;
    prompt.answers = {PromptAnswer::No};
    EXPECT_FALSE(DeletePreferences(prompt));
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(store().KeyExists(kKey));
}

TEST(CaptureFormatNames, convertBothWays_withTheirFallbacks) {
    EXPECT_EQ(CaptureFormatName(0), "");
    EXPECT_EQ(CaptureFormatName(6), "DV type 2 (recomp)");
    EXPECT_EQ(CaptureFormatName(4), "Default");
    EXPECT_EQ(CaptureFormatName(13), "Default");
    EXPECT_EQ(CaptureFormatName(128 + 7), "Wmv"); // taken modulo 128
    EXPECT_EQ(CaptureFormatShortName(2), "Native");
    EXPECT_EQ(CaptureFormatShortName(6), "DV2 rec");
    EXPECT_EQ(CaptureFormatFromName("None"), 0);
    EXPECT_EQ(CaptureFormatFromName(""), 10);
    EXPECT_EQ(CaptureFormatFromName("Default"), 10);
    EXPECT_EQ(CaptureFormatFromName("wmv"), 10); // exact comparison
    for (TCaptureFormat id : {1, 2, 3, 5, 6, 7, 8, 9, 11, 12}) {
        EXPECT_EQ(CaptureFormatFromName(CaptureFormatName(id)), id);
    }
    EXPECT_EQ(CaptureFormatExtension(3), ".mpg");
    EXPECT_EQ(CaptureFormatExtension(12), ".mp3");
    EXPECT_EQ(FrequenceDVFromName("44100 Hz"), 2);
    EXPECT_EQ(FrequenceDVFromName("native"), 0);
}

TEST(LastSaveStamp, usesThe12HourClock) {
    EXPECT_EQ(LastSaveStamp(EncodeDate(2024, 3, 8) + EncodeTime(0, 5, 9)),
              "2024/03/08 12:05:09 am");
    EXPECT_EQ(LastSaveStamp(EncodeDate(2024, 3, 8) + EncodeTime(12, 0, 0)),
              "2024/03/08 12:00:00 pm");
    EXPECT_EQ(LastSaveStamp(EncodeDate(2024, 12, 31) + EncodeTime(23, 59, 58)),
              "2024/12/31 11:59:58 pm");
}

namespace {

std::string bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::set<std::string> entries(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        out.insert(e.path().filename().string());
    }
    return out;
}

class StoreProblemTest : public PreferencesTest {
protected:
    void TearDown() override { RegistryFile::SimulateOpenFailure(0); }
    std::string refusal(const std::string& cause) const {
        return "The preferences file " + file_.string() + " " + cause +
               "; the program runs with default settings and will not save them.";
    }
    std::string keptAs(const std::string& why, const std::string& suffix) const {
        return "The preferences file " + file_.string() + " was damaged (" + why +
               ") and has been kept as " + file_.string() + suffix +
               "; the program starts with default settings.";
    }
};

} // namespace

TEST_F(StoreProblemTest, unreadableStore_givesDefaults_isTold_andIsNeverSavedOver) {
    seed([](TRegistry& reg) { reg.WriteDWord("Volume", 1234); });
    const std::string before = bytesOf(file_);
    const auto listing = entries(file_.parent_path());
    RegistryFile::SimulateOpenFailure(EACCES);
    CreatePreferences();
    EXPECT_EQ(prefs::Volume->Value, 5000);
    const std::string sentence = refusal("cannot be read (Permission denied)");
    EXPECT_EQ(PreferenceStoreProblem(), sentence);
    EXPECT_FALSE(SavePreferences());
    ScriptedPrompt prompt;
    EXPECT_FALSE(SavePreferencesAndReport(prompt));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0], std::make_pair(PromptKind::Error, sentence));

    // readable again: the values in memory are still defaults, and saving them would replace
    // what the user had
    RegistryFile::SimulateOpenFailure(0);
    prefs::Volume->Value = 42;
    EXPECT_FALSE(SavePreferences());
    EXPECT_EQ(bytesOf(file_), before);
    EXPECT_EQ(entries(file_.parent_path()), listing);

    // the next start reads them again, and may save
    CreatePreferences();
    EXPECT_EQ(prefs::Volume->Value, 1234);
    EXPECT_EQ(PreferenceStoreProblem(), "");
    EXPECT_TRUE(SavePreferences());
}

TEST_F(StoreProblemTest, namedPipeAsTheStore_neitherHangsNorIsSavedOver) {
    ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
    CreatePreferences();
    EXPECT_EQ(prefs::Volume->Value, 5000);
    EXPECT_EQ(PreferenceStoreProblem(), refusal("is not a regular file but a named pipe"));
    EXPECT_FALSE(SavePreferences());
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(file_)));
    EXPECT_EQ(entries(file_.parent_path()), (std::set<std::string>{"registry.reg"}));
}

TEST_F(StoreProblemTest, damagedStores_areToldWithTheNameTheyAreKeptUnder_andEarlierCopiesStay) {
    std::ofstream(file_) << "first damaged";
    CreatePreferences();
    EXPECT_EQ(PreferenceStoreProblem(), keptAs("it does not start with REGEDIT4", ".bad"));
    EXPECT_TRUE(SavePreferences());

    std::ofstream(file_) << "REGEDIT4\n[HKEY_CURRENT_USER\\Software]\nsecond damaged\n";
    CreatePreferenceList(RegistryFile(file_));
    CreatePreferences();
    EXPECT_EQ(PreferenceStoreProblem(),
              keptAs("line 3 is not a key, a value or a comment", ".bad.1"));
    EXPECT_TRUE(SavePreferences());
    EXPECT_EQ(bytesOf(file_.string() + ".bad"), "first damaged");
    EXPECT_EQ(bytesOf(file_.string() + ".bad.1"),
              "REGEDIT4\n[HKEY_CURRENT_USER\\Software]\nsecond damaged\n");
    EXPECT_TRUE(store().KeyExists(kKey));
}

TEST_F(StoreProblemTest, damagedStoreWithEveryKeptNameTaken_isNeverSavedOver_norDeletedFrom) {
    for (int n = 0; n < kMaxBadCopies; ++n) {
        std::ofstream(file_.string() + (n == 0 ? ".bad" : ".bad." + std::to_string(n))) << n;
    }
    std::ofstream(file_) << "damaged";
    CreatePreferences();
    const std::string sentence = refusal(
        "is damaged (it does not start with REGEDIT4) and cannot be kept aside: " + file_.string() +
        ".bad to " + file_.string() + ".bad.9 already exist");
    EXPECT_EQ(PreferenceStoreProblem(), sentence);
    EXPECT_FALSE(SavePreferences());
    ScriptedPrompt prompt;
    prompt.answers = {PromptAnswer::Yes};
    EXPECT_FALSE(DeletePreferences(prompt));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1], std::make_pair(PromptKind::Error, sentence));
    EXPECT_EQ(bytesOf(file_), "damaged");
    for (int n = 0; n < kMaxBadCopies; ++n) {
        EXPECT_EQ(bytesOf(file_.string() + (n == 0 ? ".bad" : ".bad." + std::to_string(n))),
                  std::to_string(n));
    }
}

TEST_F(StoreProblemTest, noPrivateFolder_givesDefaults_andSavesNowhere) {
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
        const char* v = std::getenv(name);
        saved.emplace_back(name, v != nullptr ? std::optional<std::string>(v) : std::nullopt);
        ::unsetenv(name);
    }
    CreatePreferenceList(RegistryFile(RegistryFile::DefaultPath()));
    CreatePreferences();
    const std::string problem = PreferenceStoreProblem();
    const bool wrote = SavePreferences();
    for (const auto& [name, value] : saved) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        }
    }
    EXPECT_EQ(problem, "Neither XDG_CONFIG_HOME nor HOME names a private folder for the "
                       "preferences file; the program runs with default settings and will not "
                       "save them.");
    EXPECT_FALSE(wrote);
    EXPECT_EQ(prefs::Volume->Value, 5000);
}

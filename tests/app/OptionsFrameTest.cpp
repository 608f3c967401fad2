#include "app/OptionsFrame.h"
#include "settings/Preferences.h"
#include "tests/app/PanelChecks.h"
#include "tests/app/QtTestApp.h"
#include "tests/support/TestEnv.h"

#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>

#include <deque>
#include <filesystem>

using namespace vidorel;
using vidorel::test::Joined;
namespace fs = std::filesystem;

namespace {

using ScriptedPrompt = test::TScriptedPrompt;

class OptionsFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = fs::path(test::sandboxRoot()) / "options" /
                ::testing::UnitTest::GetInstance()->current_test_info()->name() / "registry.reg";
        fs::create_directories(file_.parent_path());
        CreatePreferenceList(RegistryFile(file_));
        CreatePreferences();
        frame_.ApplyEnglishTexts();
    }
    QApplication& app_ = test::TestApp(); // before any widget
    fs::path file_;
    TOptionsFrame frame_;
};

// One set of values for every preference the panel shows. Two sets that differ in every
// field catch a value that is not moved at all; pairs of like preferences get different values
// within a set, so that two swapped fields show.
struct Values {
    int quality;
    int extension;
    bool saveOnQuit, confirmImage, confirmVideo, scn;
    int ratioDivx;
    bool deinterlace;
    std::string noDatecode;
    int standard, frequence, ratioDV;
    bool frequenceNative;
    int profile;
    bool notify, defaultProfile, effects;
    int version;
    bool wantMp3;
};

const Values kSetA{73, 1, false, false, true,  true,  2,     false, "--", 1,
                   2,  0, false, 3,     false, false, false, 0,     true};
const Values kSetB{12, 0, true, true, false, false, 0,    true, "N/A", 0,
                   1,  1, true, 0,    true,  true,  true, 1,    false};

void Put(const Values& v) {
    prefs::QualiteJPeg->Value = v.quality;
    prefs::ExtensionDesImages->Value = v.extension;
    prefs::SauverPreferences->Value = v.saveOnQuit;
    prefs::ConfirmerImage->Value = v.confirmImage;
    prefs::ConfirmerVideo->Value = v.confirmVideo;
    prefs::Scn->Value = v.scn;
    prefs::RatioDivx->Value = static_cast<uint8_t>(v.ratioDivx);
    prefs::InternalDeinterlacer->Value = v.deinterlace;
    prefs::NoDatecode->Value = v.noDatecode;
    prefs::StandardDV->Value = static_cast<uint8_t>(v.standard);
    prefs::FrequenceDV->Value = static_cast<uint8_t>(v.frequence);
    prefs::RatioDV->Value = v.ratioDV;
    prefs::FrequenceDVNative->Value = v.frequenceNative;
    prefs::ProfileWmv->Value = v.profile;
    prefs::Notifier->Value = v.notify;
    prefs::DefaultProfil->Value = v.defaultProfile;
    prefs::ActiverSuperposition->Value = v.effects;
    prefs::VersionWmv->Value = v.version;
    prefs::WantMp3->Value = v.wantMp3;
}

void ExpectStored(const Values& v) {
    EXPECT_EQ(prefs::QualiteJPeg->Value, v.quality);
    EXPECT_EQ(prefs::ExtensionDesImages->Value, v.extension);
    EXPECT_EQ(prefs::SauverPreferences->Value, v.saveOnQuit);
    EXPECT_EQ(prefs::ConfirmerImage->Value, v.confirmImage);
    EXPECT_EQ(prefs::ConfirmerVideo->Value, v.confirmVideo);
    EXPECT_EQ(prefs::Scn->Value, v.scn);
    EXPECT_EQ(prefs::RatioDivx->Value, v.ratioDivx);
    EXPECT_EQ(prefs::InternalDeinterlacer->Value, v.deinterlace);
    EXPECT_EQ(prefs::NoDatecode->Value, v.noDatecode);
    EXPECT_EQ(prefs::StandardDV->Value, v.standard);
    EXPECT_EQ(prefs::FrequenceDV->Value, v.frequence);
    EXPECT_EQ(prefs::RatioDV->Value, v.ratioDV);
    EXPECT_EQ(prefs::FrequenceDVNative->Value, v.frequenceNative);
    EXPECT_EQ(prefs::ProfileWmv->Value, v.profile);
    EXPECT_EQ(prefs::Notifier->Value, v.notify);
    EXPECT_EQ(prefs::DefaultProfil->Value, v.defaultProfile);
    EXPECT_EQ(prefs::ActiverSuperposition->Value, v.effects);
    EXPECT_EQ(prefs::VersionWmv->Value, v.version);
    EXPECT_EQ(prefs::WantMp3->Value, v.wantMp3);
}

} // namespace

TEST_F(OptionsFrameTest, textsReachEveryControlWithTheirEnglishWording) {
    EXPECT_TRUE(ApplyTexts(&frame_, OptionsFrameTexts()).empty())
        << Joined(ApplyTexts(&frame_, OptionsFrameTexts())).toStdString();
    frame_.ApplyEnglishTexts();
    EXPECT_EQ(frame_.GroupBox1->title(), "Settings (F10)");
    const QStringList tabs{"Pref", "Wmv", "divx", "Images", "DV"};
    ASSERT_EQ(frame_.PageControl1->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(frame_.PageControl1->tabText(i), tabs[i]);
    }
    EXPECT_EQ(frame_.PageControl1->widget(TOptionsFrame::kPageImages), frame_.tsJpeg);
    EXPECT_EQ(frame_.PageControl1->widget(TOptionsFrame::kPageDV), frame_.TabSheet1);
    EXPECT_EQ(frame_.cbConfirmerImage->text(), "Confirm before replacing an existing image");
    EXPECT_EQ(frame_.leNoDatecode->toolTip(),
              "What to display if inlay is active but a frame has no datecode.\n"
              "Generally \"N/A\" or nothing  \"\".");
    // The no-datecode caption is the label's: the edit keeps the user's text.
    EXPECT_EQ(frame_.leNoDatecodeLabel->text(), "Display if no datecode");
    EXPECT_TRUE(frame_.leNoDatecode->text().isEmpty());
    EXPECT_EQ(frame_.sbPropMp3->toolTip(),
              "Fine tuning of the Mp3 capture, particularly the audio frequency\n"
              "if you do not want to keep 44100Hz. Actually the bitrate will not \n"
              "be modified with this button, but only in the dedicated dialog box.");
    EXPECT_EQ(frame_.MemoMp3->text(), "Ifyou install thefilter lame.ax of Elecard,\r\n"
                                      "you will be able to compress audio to mp3.");
    EXPECT_EQ(frame_.rgProfiles->title(), "Default Profiles");
    EXPECT_EQ(frame_.rgProfiles->Item(3), "Internet");
    EXPECT_EQ(frame_.rgFrequenceDV->Item(1), "44100");
    ASSERT_EQ(frame_.cboxBitratemp3->count(), 14);
    EXPECT_EQ(frame_.cboxBitratemp3->itemText(0), "32");
    EXPECT_EQ(frame_.cboxBitratemp3->itemText(13), "320");
    EXPECT_EQ(frame_.cboxBitratemp3->currentText(), "128");
    EXPECT_EQ(frame_.cboxdivx->accessibleName(), "List of DivX or Xvid codecs found on the system");
    // The discovered lists wait for discovery.
    EXPECT_EQ(frame_.cboxdivx->count(), 0);
    EXPECT_EQ(frame_.cboxMedia->count(), 0);
}

TEST_F(OptionsFrameTest, loadShowsEveryPreferenceAndStoreWritesItBack) {
    std::vector<bool> effects;
    frame_.OnEffectsOption = [&](bool on) { effects.push_back(on); };
    for (const Values* set : {&kSetA, &kSetB}) {
        const Values& other = set == &kSetA ? kSetB : kSetA;
        Put(*set);
        frame_.LoadPreferences();
        EXPECT_EQ(frame_.TrackBar1->value(), set->quality);
        EXPECT_EQ(frame_.labQuality->text(), QString::number(set->quality));
        EXPECT_EQ(frame_.rgFrequenceDV->ItemIndex(), set->frequence - 1);
        EXPECT_EQ(frame_.rgProfiles->isHidden(), !set->defaultProfile);
        EXPECT_EQ(frame_.gbProfiles->isHidden(), set->defaultProfile);
        ASSERT_FALSE(effects.empty());
        EXPECT_EQ(effects.back(), set->effects);
        // Whatever the preferences hold meanwhile, the controls give this set back.
        Put(other);
        frame_.StorePreferences();
        ExpectStored(*set);
    }
}

TEST_F(OptionsFrameTest, loadTellsTheEffectsOptionOnceEvenWhenTheBoxChanges) {
    frame_.LoadPreferences();
    ASSERT_TRUE(frame_.cbActiverSuperposition->isChecked());
    std::vector<bool> told;
    frame_.OnEffectsOption = [&](bool on) { told.push_back(on); };
    prefs::ActiverSuperposition->Value = false;
    frame_.LoadPreferences();
    EXPECT_EQ(told, std::vector<bool>{false});
    // Unchanged, the window is told all the same (it hides or shows its actions from it).
    frame_.LoadPreferences();
    EXPECT_EQ(told, (std::vector<bool>{false, false}));
}

TEST_F(OptionsFrameTest, storeLeavesPreferencesOfEmptyListsAndUnchosenGroups) {
    prefs::DivxFavori->Value = "XviD MPEG-4 Codec";
    prefs::ProfilWmvFavori->Value = "Windows Media Video 8 for Broadband (PAL, 700 Kbps)";
    prefs::ProfilWindowsMedia->Value = "N/A";
    prefs::RatioDivx->Value = 2;
    frame_.rgRatio->SetItemIndex(-1);
    frame_.rgFrequenceDV->SetItemIndex(-1);
    frame_.StorePreferences();
    EXPECT_EQ(prefs::DivxFavori->Value, "XviD MPEG-4 Codec");
    EXPECT_EQ(prefs::ProfilWmvFavori->Value, "Windows Media Video 8 for Broadband (PAL, 700 Kbps)");
    EXPECT_EQ(prefs::RatioDivx->Value, 2);
    // No frequency chosen is the native one.
    EXPECT_EQ(prefs::FrequenceDV->Value, 0);

    frame_.cboxdivx->addItems({"DivX Pro 5.2.1 Codec", "Xvid-compatible MPEG-4 (libav)"});
    frame_.cboxdivx->setCurrentIndex(1);
    frame_.cboxMedia->addItems({"Video for dial-up", "Video for LAN"});
    frame_.cboxMedia->setCurrentIndex(1);
    frame_.StorePreferences();
    EXPECT_EQ(prefs::DivxFavori->Value, "Xvid-compatible MPEG-4 (libav)");
    EXPECT_EQ(prefs::ProfilWmvFavori->Value, "Video for LAN");
    EXPECT_EQ(prefs::ProfilWindowsMedia->Value, "Video for LAN");
}

TEST_F(OptionsFrameTest, userChoicesReachTheirPreferencesAtOnce) {
    frame_.LoadPreferences(); // defaults
    frame_.rgFrequenceDV->Button(1)->click();
    EXPECT_EQ(prefs::FrequenceDV->Value, 2); // "44100"
    frame_.rgFrequenceDV->Button(0)->click();
    EXPECT_EQ(prefs::FrequenceDV->Value, 1);
    frame_.rgStandard->Button(1)->click();
    EXPECT_EQ(prefs::StandardDV->Value, 1);
    frame_.rgImageRatio->Button(1)->click();
    EXPECT_EQ(prefs::RatioDV->Value, 1);
    frame_.rgRatio->Button(2)->click();
    EXPECT_EQ(prefs::RatioDivx->Value, 2);
    EXPECT_EQ(prefs::StandardDV->Value, 1);

    frame_.cbPrefsQuittant->click();
    EXPECT_FALSE(prefs::SauverPreferences->Value);
    frame_.cbConfirmerVideo->click();
    EXPECT_FALSE(prefs::ConfirmerVideo->Value);
    EXPECT_TRUE(prefs::ConfirmerImage->Value);
    // The grab's "All" answer unticks the box by program: the preference follows too.
    frame_.cbConfirmerImage->setChecked(false);
    EXPECT_FALSE(prefs::ConfirmerImage->Value);
    frame_.cbScn->click();
    EXPECT_TRUE(prefs::Scn->Value);
    frame_.cbDeInterlacer->click();
    EXPECT_FALSE(prefs::InternalDeinterlacer->Value);
    frame_.cbNotifier->click();
    EXPECT_FALSE(prefs::Notifier->Value);
    frame_.cbfrequenceDVNative->click();
    EXPECT_FALSE(prefs::FrequenceDVNative->Value);
    frame_.leNoDatecode->setText("none");
    EXPECT_EQ(prefs::NoDatecode->Value, "none");

    frame_.TrackBar1->setValue(100);
    EXPECT_EQ(frame_.labQuality->text(), "100");
    frame_.TrackBar1->setValue(1);
    EXPECT_EQ(frame_.labQuality->text(), "1");
}

TEST_F(OptionsFrameTest, effectsBoxStoresAndTellsTheWindow) {
    frame_.LoadPreferences();
    ASSERT_TRUE(frame_.cbActiverSuperposition->isChecked());
    std::vector<bool> told;
    frame_.OnEffectsOption = [&](bool on) { told.push_back(on); };
    frame_.cbActiverSuperposition->click();
    EXPECT_FALSE(prefs::ActiverSuperposition->Value);
    EXPECT_EQ(told, std::vector<bool>{false});
    frame_.cbActiverSuperposition->click();
    EXPECT_EQ(told, (std::vector<bool>{false, true}));
}

TEST_F(OptionsFrameTest, defaultProfileBoxSwitchesBetweenFixedProfilesAndSystemList) {
    frame_.LoadPreferences(); // "Default Profil" is true by default
    EXPECT_FALSE(frame_.rgProfiles->isHidden());
    EXPECT_TRUE(frame_.gbProfiles->isHidden());
    frame_.cbDefaultProfile->click();
    EXPECT_FALSE(prefs::DefaultProfil->Value);
    EXPECT_TRUE(frame_.rgProfiles->isHidden());
    EXPECT_FALSE(frame_.gbProfiles->isHidden());
}

TEST_F(OptionsFrameTest, saveButtonRunsTheWindowsStore) {
    int saves = 0;
    frame_.OnSave = [&] { ++saves; };
    frame_.sbSaveprefs->click();
    EXPECT_EQ(saves, 1);
}

TEST_F(OptionsFrameTest, deleteButtonDeletesAndUnticksSaveOnQuit) {
    frame_.LoadPreferences();
    ASSERT_TRUE(SavePreferences());
    ASSERT_TRUE(frame_.cbPrefsQuittant->isChecked());
    ScriptedPrompt prompt;
    prompt.answers = {PromptAnswer::Yes, PromptAnswer::Ok};
    frame_.SetUserPrompt(&prompt);
    frame_.sbDeleteprefs->click();
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1], "Vidorel has been completely deleted from your registry.");
    EXPECT_FALSE(frame_.cbPrefsQuittant->isChecked());
    EXPECT_FALSE(prefs::SauverPreferences->Value);
    TRegistry reg{RegistryFile(file_)};
    EXPECT_FALSE(reg.OpenKey(PreferenceKeyPath(), false));
}

TEST_F(OptionsFrameTest, encodersFoundDecideWhatTheDivxPageShows) {
    prefs::WantMp3->Value = false;
    frame_.ShowEncoders(true, true);
    EXPECT_TRUE(frame_.PageControl1->isTabVisible(TOptionsFrame::kPageDivx));
    EXPECT_FALSE(frame_.cbMp3->isHidden());
    EXPECT_FALSE(frame_.cbMp3->isChecked());
    EXPECT_TRUE(frame_.gbMp3->isHidden());
    EXPECT_TRUE(frame_.MemoMp3->isHidden());
    frame_.cbMp3->click();
    EXPECT_TRUE(prefs::WantMp3->Value);
    EXPECT_FALSE(frame_.gbMp3->isHidden());

    // Without the Mp3 encoder, the note takes the place of the Mp3 choice.
    frame_.ShowEncoders(true, false);
    EXPECT_TRUE(frame_.cbMp3->isHidden());
    EXPECT_TRUE(frame_.gbMp3->isHidden());
    EXPECT_FALSE(frame_.MemoMp3->isHidden());

    // Without a DivX or Xvid compressor there is nothing to set, Mp3 or not.
    frame_.ShowEncoders(false, true);
    EXPECT_FALSE(frame_.PageControl1->isTabVisible(TOptionsFrame::kPageDivx));
    EXPECT_TRUE(frame_.cbMp3->isHidden());
}

TEST_F(OptionsFrameTest, layoutReadsCleanlyOnEveryPage) {
    frame_.LoadPreferences();
    frame_.ShowEncoders(true, true);
    EXPECT_TRUE(test::LayoutProblems(&frame_).empty())
        << Joined(test::LayoutProblems(&frame_)).toStdString();
    test::SavePictures(&frame_, "OptionsFrame");

    // The other faces of the same places: the system profiles, the note on the Mp3 encoder.
    frame_.cbDefaultProfile->click();
    frame_.ShowEncoders(true, false);
    EXPECT_TRUE(test::LayoutProblems(&frame_).empty())
        << Joined(test::LayoutProblems(&frame_)).toStdString();
    test::SavePictures(&frame_, "OptionsFrame_alt");
}

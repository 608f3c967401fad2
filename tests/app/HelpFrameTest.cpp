#include "app/HelpFrame.h"
#include "app/OperatingSystem.h"
#include "app/ShortcutTables.h"
#include "settings/Preferences.h"
#include "tests/app/PanelChecks.h"
#include "tests/app/QtTestApp.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>

#include <filesystem>

using namespace vidorel;
using vidorel::test::Joined;
namespace fs = std::filesystem;

namespace {

TActionInfo Action(const char* name, const char* caption, const char* category,
                   QKeySequence primary, QStringList secondary = {}, bool visible = true) {
    return {QString::fromUtf8(name),
            QString::fromUtf8(caption),
            QString::fromUtf8(category),
            visible,
            primary,
            secondary};
}

// A slice of the main window's actions, in the window's order (not sorted).
std::vector<TActionInfo> WindowActions() {
    return {
        Action("acGrab", "Grab!", "Capture", QKeySequence(Qt::Key_F5), {"CTRL+G"}),
        Action("acCapturerBascule", "Capture", "Capture", QKeySequence(Qt::Key_Space)),
        Action("acStartIncruster", "Start inlay", "Inlay", QKeySequence(Qt::CTRL | Qt::Key_F7), {},
               false),
        Action("acStopIncruster", "Stop inlay", "Inlay", QKeySequence(Qt::CTRL | Qt::Key_F8), {},
               false),
        Action("acSourcesFrame", "Sources panel", "frame", QKeySequence(Qt::Key_F2), {"ALT+S"}),
        Action("acOuvrirDossierVideos", "Open the video folder", "Folders", QKeySequence()),
        Action("acfullscreen", "Full screen", "View", QKeySequence(Qt::ALT | Qt::Key_Return),
               {"F11"}),
        Action("acCamPlay", "Play", "camera", QKeySequence(Qt::CTRL | Qt::Key_P), {"P"}),
        Action("acHelp", "Help panel", "frame", QKeySequence(Qt::Key_F1), {"ALT+H", "F12"}),
        Action("acMute", "&Mute", "Sound", QKeySequence(Qt::CTRL | Qt::Key_M)),
        Action("acdeinterlace", "deinterlace", "View", QKeySequence(Qt::Key_F9)),
        Action("acCamRewind", "Rewind", "camera", QKeySequence(Qt::CTRL | Qt::Key_Left)),
        Action("acCamFreeze", "Freeze", "camera", QKeySequence(Qt::CTRL | Qt::Key_Down)),
        Action("acNoCaption", "", "View", QKeySequence(Qt::Key_F4)),
        Action("acIncVolume", "Volume +", "Sound", QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)),
    };
}

} // namespace

TEST(ShortcutTables, generalActionsSortedThenPanelActionsSortedAfterThem) {
    const TShortcutTables tables = BuildShortcutTables(WindowActions());
    const std::vector<TShortcutEntry> expected{
        {"Capture", "Space"},
        {"deinterlace", "F9"},
        {"Full screen", "Alt+Enter (F11)"},
        {"Grab!", "F5 (CTRL+G)"},
        {"Mute", "Ctrl+M"},
        {"Volume +", "Num +"},
        // the panels come after, although "Help" sorts before "Mute"
        {"Help panel", "F1 (ALT+H)"},
        {"Sources panel", "F2 (ALT+S)"},
    };
    EXPECT_EQ(tables.general, expected);
}

TEST(ShortcutTables, camcorderKeysAreSortedAndShowTheirPrimaryKeyOnly) {
    const TShortcutTables tables = BuildShortcutTables(WindowActions());
    const std::vector<TShortcutEntry> expected{
        {"Freeze", "Ctrl+Down"},
        {"Play", "Ctrl+P"},
        {"Rewind", "Ctrl+Left"},
    };
    EXPECT_EQ(tables.camera, expected);
}

TEST(ShortcutTables, hiddenUncaptionedAndKeylessActionsAreLeftOut) {
    const TShortcutTables tables = BuildShortcutTables(WindowActions());
    for (const auto& e : tables.general) {
        EXPECT_FALSE(e.function.contains("inlay")) << e.function.toStdString();
        EXPECT_NE(e.function, "Open the video folder");
        EXPECT_NE(e.keys, "F4");
    }
    EXPECT_TRUE(BuildShortcutTables({}).general.empty());
}

TEST(ShortcutTables, keysHaveTheirUsualNames) {
    EXPECT_EQ(ShortcutKeyText(QKeySequence(Qt::CTRL | Qt::Key_M)), "Ctrl+M");
    EXPECT_EQ(ShortcutKeyText(QKeySequence(Qt::ALT | Qt::Key_Return)), "Alt+Enter");
    EXPECT_EQ(ShortcutKeyText(QKeySequence(Qt::Key_F5)), "F5");
    EXPECT_EQ(ShortcutKeyText(QKeySequence(Qt::Key_Space)), "Space");
    EXPECT_EQ(ShortcutKeyText(QKeySequence(Qt::SHIFT | Qt::Key_F4)), "Shift+F4");
    EXPECT_EQ(ShortcutKeyText(QKeySequence(Qt::ALT | Qt::Key_Backspace)), "Alt+Backspace");
    EXPECT_EQ(ShortcutKeyText(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)), "Ctrl+Shift+S");
    EXPECT_EQ(ShortcutKeyText(QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)), "Num -");
    EXPECT_EQ(ShortcutKeyText(QKeySequence()), "");
}

TEST(OperatingSystemName, prettyNameAndKernelRelease) {
    const QString osRelease = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                              "NAME=\"Debian GNU/Linux\"\n"
                              "VERSION_ID=\"12\"\n"
                              "VERSION=\"12 (bookworm)\"\n"
                              "ID=debian\n";
    EXPECT_EQ(OperatingSystemNameFrom(osRelease, TKernelInfo{"Linux", "6.1.0-18-amd64"}),
              "Debian GNU/Linux 12 (bookworm) - kernel 6.1.0-18-amd64");
}

TEST(OperatingSystemName, nameAndVersionStandInForAnEmptyPrettyName) {
    const QString osRelease = "# written by the installer\n"
                              "\n"
                              "NAME=Fedora\n"
                              "VERSION='39 (Workstation Edition)'\n"
                              "PRETTY_NAME=\"\"\n";
    EXPECT_EQ(OperatingSystemNameFrom(osRelease, TKernelInfo{"Linux", "6.5.6"}),
              "Fedora 39 (Workstation Edition) - kernel 6.5.6");
    EXPECT_EQ(OperatingSystemNameFrom(QString("NAME=Alpine\n"), TKernelInfo{"Linux", "6.6"}),
              "Alpine - kernel 6.6");
}

TEST(OperatingSystemName, quotedValuesLoseTheirQuotesAndEscapes) {
    const auto values = ParseOsRelease("PRETTY_NAME=\"Acme \\\"Rocket\\\" \\\\ 3 \\$HOME\"\n"
                                       "NAME='It''s'\n"
                                       "ID=ubuntu # a comment\n"
                                       "VERSION=\"  spaced  \"\r\n"
                                       "VARIANT=\"Edge\\nbuild\"\n"
                                       "broken line without equals\n");
    EXPECT_EQ(values.at("PRETTY_NAME"), "Acme \"Rocket\" \\ 3 $HOME");
    EXPECT_EQ(values.at("NAME"), "Its");
    EXPECT_EQ(values.at("ID"), "ubuntu");
    EXPECT_EQ(values.at("VERSION"), "  spaced  ");
    // Inside double quotes a backslash escapes only $ ` " and itself.
    EXPECT_EQ(values.at("VARIANT"), "Edge\\nbuild");
    EXPECT_EQ(values.size(), 5u);
}

TEST(OperatingSystemName, fallsBackToTheKernelThenToLinuxThenToUnknown) {
    EXPECT_EQ(OperatingSystemNameFrom(std::nullopt, TKernelInfo{"Linux", "6.1.0-18-amd64"}),
              "Linux - kernel 6.1.0-18-amd64");
    EXPECT_EQ(OperatingSystemNameFrom(QString(""), std::nullopt), "Linux");
    EXPECT_EQ(OperatingSystemNameFrom(QString("PRETTY_NAME=\"Arch Linux\""), std::nullopt),
              "Arch Linux");
    EXPECT_EQ(OperatingSystemNameFrom(std::nullopt, std::nullopt), "Unknown");
}

TEST(OperatingSystemName, thisMachineHasANameAndAKernel) {
    const QString name = OperatingSystemName();
    EXPECT_NE(name, "Unknown");
    EXPECT_FALSE(name.startsWith(" - kernel"));
    EXPECT_TRUE(name.contains(" - kernel ")) << name.toStdString();
}

class HelpFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path file = fs::path(test::sandboxRoot()) / "help" /
                              ::testing::UnitTest::GetInstance()->current_test_info()->name() /
                              "registry.reg";
        fs::create_directories(file.parent_path());
        CreatePreferenceList(RegistryFile(file));
        CreatePreferences();
        frame_.ApplyEnglishTexts();
    }
    QStringList ListedNames() const {
        QStringList names;
        for (int i = 0; i < frame_.CheckListBox1->count(); ++i) {
            names << frame_.CheckListBox1->item(i)->text();
        }
        return names;
    }
    QListWidgetItem* Entry(const QString& name) const {
        const auto found = frame_.CheckListBox1->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }
    QApplication& app_ = test::TestApp(); // before any widget
    THelpFrame frame_;
};

TEST_F(HelpFrameTest, textsReachEveryControl) {
    EXPECT_TRUE(ApplyTexts(&frame_, HelpFrameTexts()).empty())
        << Joined(ApplyTexts(&frame_, HelpFrameTexts())).toStdString();
    const QStringList tabs{"Shortcuts", "Camcorder", "System", "Sources"};
    ASSERT_EQ(frame_.PageControl1->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(frame_.PageControl1->tabText(i), tabs[i]);
    }
    EXPECT_EQ(frame_.ValueListEditor1->horizontalHeaderItem(0)->text(), "Function");
    EXPECT_EQ(frame_.ValueListEditor1->horizontalHeaderItem(1)->text(), "Keyboards");
    EXPECT_EQ(frame_.Label1->text(), "Drive a DV camcorder");
    EXPECT_EQ(frame_.Memo1->text(), "\r\nUncheck video or audio sources\r\n"
                                    "that must not be proposed\r\nin the sources lists.");
    EXPECT_TRUE(frame_.RichEdit1->isReadOnly());
    EXPECT_TRUE(frame_.Memo2->text().isEmpty());
}

TEST_F(HelpFrameTest, showingThePanelWritesTheCamcorderNote) {
    frame_.PanelShown();
    EXPECT_EQ(frame_.Memo2->text(), "These commands are only active\r\n"
                                    "if a digital camcorder is connected\r\n"
                                    "to a firewire plug,\r\n"
                                    "and if it is set on in VCR mode.");
}

TEST_F(HelpFrameTest, shortcutTablesFillBothListsAndReplaceWhatTheyHeld) {
    frame_.SetShortcutTables(BuildShortcutTables(WindowActions()));
    ASSERT_EQ(frame_.ValueListEditor1->rowCount(), 8);
    EXPECT_EQ(frame_.ValueListEditor1->item(3, 0)->text(), "Grab!");
    EXPECT_EQ(frame_.ValueListEditor1->item(3, 1)->text(), "F5 (CTRL+G)");
    EXPECT_EQ(frame_.ValueListEditor1->item(7, 0)->text(), "Sources panel");
    ASSERT_EQ(frame_.ValueListEditor3->rowCount(), 3);
    EXPECT_EQ(frame_.ValueListEditor3->item(1, 0)->text(), "Play");
    EXPECT_EQ(frame_.ValueListEditor3->item(1, 1)->text(), "Ctrl+P");

    frame_.SetShortcutTables({{{"Quit", "Ctrl+Q"}}, {}});
    ASSERT_EQ(frame_.ValueListEditor1->rowCount(), 1);
    EXPECT_EQ(frame_.ValueListEditor1->item(0, 1)->text(), "Ctrl+Q");
    EXPECT_EQ(frame_.ValueListEditor3->rowCount(), 0);
}

TEST_F(HelpFrameTest, storedExclusionsAreListedUntickedAndSorted) {
    prefs::SourcesExclues->Value = "Zeta webcam\r\nalpha microphone\r\nBeta tuner\r\n";
    frame_.LoadExclusions();
    EXPECT_EQ(ListedNames(), (QStringList{"alpha microphone", "Beta tuner", "Zeta webcam"}));
    EXPECT_TRUE(frame_.IsExcluded("Beta tuner"));
    EXPECT_EQ(frame_.ExcludedNames(), ListedNames());
    // A name not in the list is offered.
    EXPECT_FALSE(frame_.IsExcluded("Vidorel Test Pattern"));
}

TEST_F(HelpFrameTest, newDevicesAreAddedTickedInTheirSortedPlace) {
    frame_.FillExclusions({"Zeta webcam", "Beta tuner"});
    int clicks = 0;
    frame_.OnExclusionClicked = [&] { ++clicks; };
    EXPECT_TRUE(frame_.AddDevice("Vidorel Test Pattern"));
    EXPECT_TRUE(frame_.AddDevice("alpha microphone"));
    EXPECT_EQ(ListedNames(), (QStringList{"alpha microphone", "Beta tuner", "Vidorel Test Pattern",
                                          "Zeta webcam"}));
    EXPECT_FALSE(frame_.IsExcluded("Vidorel Test Pattern"));
    EXPECT_TRUE(frame_.HasDevice("Vidorel Test Pattern"));
    // A device met again keeps the user's choice.
    EXPECT_FALSE(frame_.AddDevice("Beta tuner"));
    EXPECT_TRUE(frame_.IsExcluded("Beta tuner"));
    EXPECT_EQ(frame_.CheckListBox1->count(), 4);
    // Filling is the program's doing, not the user's.
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(frame_.ExcludedNames(), (QStringList{"Beta tuner", "Zeta webcam"}));
}

TEST_F(HelpFrameTest, tickingAnEntryRefreshesTheSourcesAndIsStored) {
    frame_.FillExclusions({"Zeta webcam", "Beta tuner"});
    frame_.AddDevice("Vidorel Test Tone");
    int clicks = 0;
    frame_.OnExclusionClicked = [&] { ++clicks; };
    Entry("Zeta webcam")->setCheckState(Qt::Checked);
    Entry("Vidorel Test Tone")->setCheckState(Qt::Unchecked);
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(frame_.IsExcluded("Zeta webcam"));
    EXPECT_TRUE(frame_.IsExcluded("Vidorel Test Tone"));
    frame_.StorePreferences();
    EXPECT_EQ(prefs::SourcesExclues->Value, "Beta tuner\r\nVidorel Test Tone\r\n");
    // Every source offered again: nothing excluded.
    Entry("Beta tuner")->setCheckState(Qt::Checked);
    Entry("Vidorel Test Tone")->setCheckState(Qt::Checked);
    frame_.StorePreferences();
    EXPECT_EQ(prefs::SourcesExclues->Value, "");
}

TEST_F(HelpFrameTest, layoutReadsCleanlyOnEveryPage) {
    frame_.SetShortcutTables(BuildShortcutTables(WindowActions()));
    frame_.FillExclusions({"Beta tuner"});
    frame_.AddDevice("Vidorel Test Pattern");
    frame_.AddDevice("Vidorel DV Test Deck");
    frame_.RichEdit1->setPlainText(OperatingSystemName() + ". ");
    frame_.PanelShown();
    EXPECT_TRUE(test::LayoutProblems(&frame_).empty())
        << Joined(test::LayoutProblems(&frame_)).toStdString();
    test::SavePictures(&frame_, "HelpFrame");
}

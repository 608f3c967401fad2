#include "app/CaptureForm.h"
#include "app/StartGate.h"
#include "platform/RegistryStore.h"
#include "settings/Preferences.h"

#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>

#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <memory>

using namespace vidorel;

namespace {

using ScriptedPrompt = test::TScriptedPrompt;

QApplication& app() {
    static int argc = 1;
    static char name[] = "vidorel-tests";
    static char* argv[] = {name, nullptr};
    static QApplication a(argc, argv);
    return a;
}

} // namespace

TEST(StartGate, aRecentFrameworkPassesSilently) {
    ScriptedPrompt prompt;
    EXPECT_TRUE(PassStartGate(prompt, 1, 22, "1.22.0"));
    EXPECT_TRUE(PassStartGate(prompt, 1, 20, "1.20.0"));
    EXPECT_TRUE(PassStartGate(prompt, 2, 0, "2.0.0"));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST(StartGate, anOldFrameworkWarnsInFrench_andOnlyYesGoesOn) {
    ScriptedPrompt prompt;
    prompt.answers = {PromptAnswer::No, PromptAnswer::Cancel, PromptAnswer::Yes};
    EXPECT_FALSE(PassStartGate(prompt, 1, 18, "1.18.4"));
    EXPECT_FALSE(PassStartGate(prompt, 0, 0, "Error"));
    EXPECT_TRUE(PassStartGate(prompt, 1, 19, "1.19.0"));
    ASSERT_EQ(prompt.shown.size(), 3u);
    EXPECT_EQ(prompt.shown[0],
              "Vous avez GStreamer 1.18.4.\r\nIl faut avoir au moins GStreamer 1.20 pour faire "
              "tourner correctement Vidorel version 5.1.7 En.\r\nVoulez-vous continuer quand "
              "même? Si oui, l'application risque de ne pas bien fonctionner.");
}

TEST(CaptureForm, opensWithItsCaptionAndSize_andSavesThePreferencesOnClose) {
    app();
    const RegistryFile store(RegistryFile::DefaultPath());
    {
        TCaptureForm form;
        form.show();
        QApplication::processEvents();
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.windowTitle(), QString("Vidorel 5.1.7 by Marlott"));
        EXPECT_EQ(form.size(), QSize(700, 459));
        ASSERT_NE(prefs::Volume, nullptr); // loaded when first shown
        auto* volume = form.findChild<QSlider*>("tb");
        ASSERT_NE(volume, nullptr);
        volume->setValue(4200);
        EXPECT_FALSE(TRegistry(store).KeyExists(PreferenceKeyPath()));
        EXPECT_TRUE(form.close());
        QApplication::processEvents();
        EXPECT_FALSE(form.isVisible());
    }
    TRegistry reg(store);
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), false));
    EXPECT_EQ(reg.ReadDWord("Volume"), 4200u);
    EXPECT_TRUE(reg.ValueExists("Top"));
}

TEST(CaptureForm, writesNothingOnClose_whenSavingAtExitIsOff) {
    app();
    const RegistryFile store(RegistryFile::DefaultPath());
    {
        TRegistry seed(store);
        ASSERT_TRUE(seed.OpenKey(PreferenceKeyPath(), true));
        seed.WriteDWord("Sauver préférences en quittant", 0);
        seed.WriteDWord("Volume", 3000);
        ASSERT_TRUE(seed.Commit());
    }
    {
        TCaptureForm form;
        form.show();
        QApplication::processEvents();
        EXPECT_FALSE(prefs::SauverPreferences->Value);
        EXPECT_EQ(prefs::Volume->Value, 3000);
        prefs::Volume->Value = 1;
        form.close();
    }
    TRegistry after(store);
    ASSERT_TRUE(after.OpenKey(PreferenceKeyPath(), false));
    EXPECT_EQ(after.ReadDWord("Volume"), 3000u);
}

TEST(CaptureForm, aPreferencesFileThatCannotBeRead_isToldInTheErrorReport_andLeftAlone) {
    app();
    const std::filesystem::path path = RegistryFile::DefaultPath();
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::remove(path);
    // A FIFO in its place: reading it would block, writing over it would lose it.
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    {
        TCaptureForm form;
        form.show();
        QElapsedTimer t;
        t.start();
        while (!form.StartupDone() && t.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        ASSERT_TRUE(form.StartupDone());
        EXPECT_NE(form.ErrorText().find(path.string()), std::string::npos) << form.ErrorText();
        EXPECT_NE(form.ErrorText().find("default settings"), std::string::npos);
        EXPECT_EQ(prefs::Volume->Value, 5000) << "the defaults are used";
        form.close();
    }
    EXPECT_TRUE(std::filesystem::is_fifo(path)) << "the close saved over the store";
    std::filesystem::remove(path);
}

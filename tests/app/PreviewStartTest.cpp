#include "app/CaptureForm.h"
#include "app/VideoWindow.h"
#include "graph/AVgraph.h"
#include "graph/SourceBranches.h"
#include "platform/RegistryStore.h"
#include "settings/Preferences.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>

#include <functional>

using namespace vidorel;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "vidorel-tests";
    static char* argv[] = {name, nullptr};
    static QApplication a(argc, argv);
    gst_init(nullptr, nullptr);
    return a;
}

bool WaitFor(const std::function<bool()>& done, int ms = 8000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Seed(const std::string& video, const std::string& audio) {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), true));
    reg.WriteString("Source video", video);
    reg.WriteString("Source Audio", audio);
    ASSERT_TRUE(reg.Commit());
}

std::string Stored(const char* name) {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    reg.OpenKey(PreferenceKeyPath(), false);
    return reg.ReadString(name).value_or("");
}

} // namespace

TEST(PreviewStart, theStoredSourcesArePreviewedAtStart_andStoredAgainAtClose) {
    app();
    Seed("Vidorel Test Pattern", "Vidorel Test Tone");
    Tdm dm;
    {
        TCaptureForm form;
        form.SetDataModule(&dm);
        form.show();
        ASSERT_TRUE(WaitFor([&] { return form.StartupDone(); }));
        ASSERT_TRUE(dm.CurrentVideo && dm.CurrentAudio);
        EXPECT_EQ(dm.CurrentVideo->DisplayName, "Vidorel Test Pattern");
        EXPECT_EQ(dm.CurrentAudio->DisplayName, "Vidorel Test Tone");
        EXPECT_TRUE(dm.fg().Running());
        // frames reach the window, at the picture's size
        ASSERT_TRUE(WaitFor([&] { return form.VideoWindow()->FramesShown() >= 3; }));
        EXPECT_EQ(form.VideoWindow()->CurrentFrame().size(), QSize(720, 576));
        EXPECT_EQ(dm.Facts.FrameWidth, 720);
        form.close();
        EXPECT_FALSE(dm.CurrentVideo || dm.CurrentAudio);
        EXPECT_FALSE(dm.fg().Running());
    }
    EXPECT_EQ(Stored("Source video"), "Vidorel Test Pattern");
    EXPECT_EQ(Stored("Source Audio"), "Vidorel Test Tone");
}

TEST(PreviewStart, anUnknownStoredSource_selectsTheFirstStream_andNoStreamSelectsNone) {
    app();
    Seed("A camera that is gone", "No Audio Stream");
    Tdm dm;
    TCaptureForm form;
    form.SetDataModule(&dm);
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.StartupDone(); }));
    ASSERT_TRUE(dm.CurrentVideo);
    EXPECT_EQ(dm.CurrentVideo->DisplayName, form.Sources().VideoStreams.front()->DisplayName);
    EXPECT_FALSE(dm.CurrentAudio);
    EXPECT_TRUE(form.SelectVideoSource(TCaptureForm::kNoVideoStream));
    EXPECT_FALSE(dm.CurrentVideo);
    EXPECT_EQ(prefs::SourceVideo->Value, TCaptureForm::kNoVideoStream);
    EXPECT_TRUE(form.SelectVideoSource("Vidorel Test Pattern"));
    EXPECT_TRUE(WaitFor([&] { return form.VideoWindow()->FramesShown() >= 1; }));
    form.close();
}

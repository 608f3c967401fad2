// The main window on the real engine and the virtual devices: start-up, keys, layout, effects,
// the preview lock and device changes.
#include "app/CaptureForm.h"
#include "app/Actions.h"
#include "app/HelpFrame.h"
#include "app/PanelFrame.h"
#include "app/SourcesFrame.h"
#include "app/StatusBar.h"
#include "app/VideoWindow.h"
#include "devices/FireWireAccess.h"
#include "devices/VirtualDevices.h"
#include "graph/AVgraph.h"
#include "platform/RegistryStore.h"
#include "settings/Preferences.h"
#include "tests/app/QtTestApp.h"
#include "tests/support/EventLoop.h"

#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

using namespace vidorel;

namespace {

using ScriptedPrompt = test::TScriptedPrompt;

QApplication& app() {
    QApplication& a = test::TestApp();
    gst_init(nullptr, nullptr);
    return a;
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return test::SpinUntil(done, std::chrono::milliseconds(ms));
}

void Settle(int ms = 150) {
    test::Spin(std::chrono::milliseconds(ms));
}

void Seed(const std::vector<std::pair<std::string, std::string>>& strings,
          const std::vector<std::pair<std::string, uint32_t>>& numbers = {}) {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), true));
    for (const auto& [k, v] : strings) {
        reg.WriteString(k, v);
    }
    for (const auto& [k, v] : numbers) {
        reg.WriteDWord(k, v);
    }
    ASSERT_TRUE(reg.Commit());
}

void ClearStore() {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    reg.DeleteKey(PreferenceKeyPath());
    reg.Commit();
}

// A window on its own engine, shown and through its start-up.
struct Window {
    Tdm dm;
    TCaptureForm form;
    ScriptedPrompt prompt;
    Window() {
        prompt.unscripted = [](PromptButtons) { return PromptAnswer::Ok; };
        form.SetDataModule(&dm);
        form.SetUserPrompt(&prompt);
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        EXPECT_TRUE(WaitFor([&] { return form.StartupDone(); }));
        Settle();
    }
    ~Window() { form.close(); }
    QAction* Action(const char* name) const { return form.findChild<QAction*>(name); }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(&form, static_cast<Qt::Key>(key), mods);
        Settle(50);
    }
    void Choose(QComboBox* box, const QString& text) {
        const int i = box->findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        box->setCurrentIndex(i);
        emit box->activated(i);
        Settle(100);
    }
    bool PanelShown(int n) const { return form.Panel(n)->isVisible(); }
};

} // namespace

TEST(MainWindow, anEmptyStoreStartsWithTheDefaults_previewingTheFirstStreams) {
    app();
    ClearStore();
    Window w;
    TCaptureForm& form = w.form;
    EXPECT_EQ(form.windowTitle(), "Vidorel 5.1.7 by Marlott");
    EXPECT_EQ(form.size(), QSize(700, 459));
    // Panel 0, the video on the left, the panels right of it.
    EXPECT_TRUE(w.PanelShown(0));
    for (int n = 1; n < 8; ++n) {
        EXPECT_FALSE(w.PanelShown(n)) << n;
    }
    EXPECT_TRUE(w.Action("acSourcesFrame")->isChecked());
    EXPECT_EQ(form.VideoArea()->pos(), QPoint(10, 40));
    EXPECT_EQ(form.Panel(0)->x(), 427);
    // The first streams of the lists, and a running preview that reaches the window.
    ASSERT_TRUE(w.dm.CurrentVideo && w.dm.CurrentAudio);
    EXPECT_EQ(w.dm.CurrentVideo->DisplayName, "Vidorel Test Pattern");
    EXPECT_EQ(form.SourcesFrame()->cboxvideo->currentText(), "Vidorel Test Pattern");
    ASSERT_TRUE(WaitFor([&] { return form.VideoWindow()->FramesShown() >= 3; }));
    EXPECT_TRUE(WaitFor([&] {
        return form.SourcesFrame()->LabVideo->text() == "720x576 - 25 fps";
    })) << form.SourcesFrame()->LabVideo->text().toStdString();
    // The lists end with the "none" entries; the format list is that of the two streams.
    QComboBox* video = form.SourcesFrame()->cboxvideo;
    EXPECT_EQ(video->itemText(video->count() - 1), "No video stream");
    QComboBox* audio = form.SourcesFrame()->cboxAudio;
    EXPECT_EQ(audio->itemText(audio->count() - 1), "No Audio Stream");
    QComboBox* formats = form.SourcesFrame()->cbFormatCapture;
    ASSERT_GE(formats->count(), 5);
    EXPECT_EQ(formats->itemText(0), "Avi native");
    EXPECT_EQ(formats->itemText(1), "DV type 2 (recomp)");
    // Sound starts muted; effects are off; the status bar says so.
    EXPECT_TRUE(w.Action("acMute")->isChecked());
    EXPECT_EQ(w.Action("acMute")->text(), "Turn sound on");
    EXPECT_FALSE(w.Action("acVertFlip")->isChecked());
    EXPECT_EQ(form.StatusBar()->StatusMode, "Preview MUTE 4x3");
    EXPECT_TRUE(form.StatusBar()->StatusInfo.contains(" MB free on /"));
    EXPECT_TRUE(w.Action("acCapturerBascule")->isEnabled());
    // The preview is locked to what the first format records: the device's own AVI, untouched.
    EXPECT_TRUE(w.Action("acLockPreview")->isChecked());
    EXPECT_FALSE(form.EffectsAllowed());
    EXPECT_FALSE(w.Action("acVertFlip")->isEnabled());
    EXPECT_TRUE(form.ErrorText().empty()) << form.ErrorText();
}

TEST(MainWindow, keysSwitchPanelsMirrorReduceAndMute) {
    app();
    ClearStore();
    {
        Window w;
        TCaptureForm& form = w.form;
        w.Key(Qt::Key_A, Qt::AltModifier); // About
        EXPECT_TRUE(w.PanelShown(7));
        w.Key(Qt::Key_F6); // the next after the last is the first
        EXPECT_TRUE(w.PanelShown(0));
        EXPECT_FALSE(w.PanelShown(7));
        w.Key(Qt::Key_F6);
        EXPECT_TRUE(w.PanelShown(1));
        EXPECT_EQ(prefs::PanneauActif->Value, 1);

        // Alt+W: the video goes right, the panels left.
        w.Key(Qt::Key_W, Qt::AltModifier);
        EXPECT_EQ(form.VideoArea()->x(), 276);
        EXPECT_EQ(form.Panel(1)->x(), 0);

        // Alt+Backspace: the window holds the video only, captioned with its source.
        w.Key(Qt::Key_Backspace, Qt::AltModifier);
        EXPECT_EQ(form.windowTitle(), "Vidorel Test Pattern");
        EXPECT_EQ(form.size(), QSize(415, 321));
        EXPECT_EQ(form.VideoArea()->pos(), QPoint(0, 0));
        EXPECT_EQ(w.Action("acReduire")->text(), "Restore");
        w.Key(Qt::Key_Backspace, Qt::AltModifier);
        EXPECT_EQ(form.windowTitle(), "Vidorel 5.1.7 by Marlott");
        EXPECT_EQ(form.size(), QSize(700, 459));
        EXPECT_EQ(form.VideoArea()->pos(), QPoint(276, 40));

        // Ctrl+M toggles the sound and keeps the volume; the keypad signs move it by 1000.
        form.findChild<QSlider*>("tb")->setValue(3000);
        w.Key(Qt::Key_M, Qt::ControlModifier);
        EXPECT_FALSE(prefs::MuteOn->Value);
        EXPECT_EQ(w.Action("acMute")->text(), "Turn sound off");
        EXPECT_EQ(prefs::Volume->Value, 3000);
        w.Key(Qt::Key_M, Qt::ControlModifier);
        EXPECT_TRUE(prefs::MuteOn->Value);
        EXPECT_EQ(prefs::Volume->Value, 3000);
        w.Key(Qt::Key_Plus, Qt::KeypadModifier);
        EXPECT_EQ(prefs::Volume->Value, 4000);
        EXPECT_EQ(form.findChild<QSlider*>("tb")->value(), 4000);
        for (int i = 0; i < 12; ++i) {
            w.Key(Qt::Key_Minus, Qt::KeypadModifier);
        }
        EXPECT_EQ(prefs::Volume->Value, 0);
    }
    // The mirrored layout and the panel survive a restart.
    Window again;
    EXPECT_EQ(again.form.VideoArea()->x(), 276);
    EXPECT_TRUE(again.PanelShown(1));
    EXPECT_EQ(again.form.findChild<QSlider*>("tb")->value(), 0);
}

TEST(MainWindow, spaceTypesIntoANumberFieldInsteadOfStartingACapture) {
    app();
    ClearStore();
    Window w;
    int captures = 0;
    QObject::connect(w.Action("acCapturerBascule"), &QAction::triggered, [&] { ++captures; });
    QSpinBox* correction = w.form.SourcesFrame()->rxCorrection;
    ASSERT_TRUE(correction->isVisible()); // the native AVI format corrects the sync
    correction->setFocus();
    Settle(50);
    QTest::keyClick(correction, Qt::Key_Space);
    QTest::keyClick(correction, Qt::Key_Up);
    Settle(50);
    EXPECT_EQ(captures, 0);
    EXPECT_EQ(correction->value(), 1);
    w.form.SourcesFrame()->cboxvideo->setFocus();
    Settle(50);
    QTest::keyClick(&w.form, Qt::Key_Space);
    Settle(50);
    EXPECT_EQ(captures, 1);
}

TEST(MainWindow, theLockTurnsEffectsOffForNativeDV_keepingTheWish_andWmvBringsThemBack) {
    app();
    ClearStore();
    Seed({{"Source video", "DV Source - Video"}, {"Source Audio", "DV Source - Audio"}},
         {{"Preview Locked", 0}});
    Window w;
    TCaptureForm& form = w.form;
    ASSERT_TRUE(w.dm.CurrentVideo);
    ASSERT_EQ(w.dm.CurrentVideo->DisplayName, "DV Source - Video");
    w.Key(Qt::Key_F4); // vertical mirror
    ASSERT_TRUE(prefs::VerticalFlip->Value);
    w.Choose(form.SourcesFrame()->cbFormatCapture, "DV type 2 native");
    // A format chosen before any source was picked by hand keeps the stored source.
    ASSERT_TRUE(w.dm.CurrentVideo);
    EXPECT_EQ(w.dm.CurrentVideo->DisplayName, "DV Source - Video");
    w.Key(Qt::Key_F9);
    EXPECT_TRUE(prefs::PreviewLocked->Value);
    EXPECT_FALSE(form.EffectsAllowed());
    EXPECT_FALSE(prefs::VerticalFlip->Value);
    EXPECT_TRUE(prefs::WantVertFlip->Value);
    EXPECT_FALSE(w.Action("acVertFlip")->isEnabled());
    EXPECT_FALSE(w.Action("acIncruster")->isEnabled());
    EXPECT_FALSE(w.Action("acWideScreen")->isEnabled());
    EXPECT_EQ(form.LockedAspect(), TLockedAspect::Native);
    EXPECT_TRUE(prefs::Elargir->Value);
    // The DV stream turning 16:9 reshapes the preview while the lock shows its own shape.
    form.PostDVAspect(1, 1);
    Settle(50);
    EXPECT_TRUE(prefs::WideScreen->Value);
    EXPECT_EQ(form.VideoArea()->y(), 76);
    form.PostDVAspect(1, 0);
    Settle(50);
    EXPECT_FALSE(prefs::WideScreen->Value);
    EXPECT_EQ(form.VideoArea()->y(), 40);
    // F4 on a disabled mirror does nothing.
    w.Key(Qt::Key_F4);
    EXPECT_FALSE(prefs::VerticalFlip->Value);
    w.Choose(form.SourcesFrame()->cbFormatCapture, "Wmv");
    EXPECT_TRUE(form.EffectsAllowed());
    EXPECT_TRUE(prefs::VerticalFlip->Value);
    EXPECT_TRUE(w.Action("acVertFlip")->isEnabled());
    EXPECT_TRUE(w.Action("acVertFlip")->isChecked());
    EXPECT_EQ(prefs::WantFormatCapture->Value, "Wmv");
    // Unlocking gives the aspect back; the stream's shape no longer moves the preview.
    w.Key(Qt::Key_F9);
    EXPECT_FALSE(prefs::PreviewLocked->Value);
    EXPECT_TRUE(form.AspectFree());
    EXPECT_TRUE(w.Action("acWideScreen")->isEnabled());
    form.PostDVAspect(1, 1);
    Settle(50);
    EXPECT_FALSE(prefs::WideScreen->Value);
}

TEST(MainWindow, theLockWithDivxAt16x9ShapesThePreview16x9) {
    app();
    ClearStore();
    Seed({}, {{"Ratio Divx", 2}, {"Preview Locked", 0}});
    Window w;
    TCaptureForm& form = w.form;
    w.Key(Qt::Key_F9);
    w.Choose(form.SourcesFrame()->cbFormatCapture, "Divx");
    EXPECT_EQ(form.LockedAspect(), TLockedAspect::Forced16x9);
    EXPECT_TRUE(prefs::WideScreen->Value);
    EXPECT_FALSE(w.Action("acWideScreen")->isEnabled());
    EXPECT_EQ(form.VideoArea()->y(), 76);
    EXPECT_EQ(form.VideoArea()->height(), 249);
    EXPECT_EQ(form.VideoWindow()->height(), 216);
    // Wav takes the picture away.
    w.Choose(form.SourcesFrame()->cbFormatCapture, "Wav");
    EXPECT_FALSE(w.dm.CurrentVideo);
    EXPECT_EQ(form.SourcesFrame()->cboxvideo->currentText(), "No video stream");
    EXPECT_FALSE(w.Action("acGrab")->isEnabled());
}

TEST(MainWindow, withoutSoundTheVolumeControlsGo_andMuteDoesNothing) {
    app();
    ClearStore();
    Window w;
    w.Choose(w.form.SourcesFrame()->cboxAudio, "No Audio Stream");
    EXPECT_FALSE(w.dm.CurrentAudio);
    EXPECT_FALSE(w.form.findChild<QSlider*>("tb")->isVisible());
    const bool muted = prefs::MuteOn->Value;
    w.Key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(prefs::MuteOn->Value, muted);
    // Only the sound formats stay... and without a picture only they are offered.
    w.Choose(w.form.SourcesFrame()->cboxAudio, "Vidorel Test Tone");
    w.Choose(w.form.SourcesFrame()->cboxvideo, "No video stream");
    QComboBox* formats = w.form.SourcesFrame()->cbFormatCapture;
    ASSERT_GE(formats->count(), 1);
    EXPECT_EQ(formats->itemText(0), "Wav");
    EXPECT_LE(formats->count(), 2);
    EXPECT_EQ(prefs::CaptureFormat->Value, CaptureFormat::Wav);
}

TEST(MainWindow, devicesFollowWithTheNotifier_andOnlyOnRefreshWithout) {
    app();
    ClearStore();
    Seed({}, {{"Notifier", 1}});
    {
        Window w;
        QComboBox* video = w.form.SourcesFrame()->cboxvideo;
        const std::string id =
            devices::AddVirtualDevice("Plugged Camera", devices::VirtualKind::TestPattern);
        EXPECT_TRUE(WaitFor([&] { return video->findText("Plugged Camera") >= 0; }, 5000));
        devices::RemoveVirtualDevice(id);
        EXPECT_TRUE(WaitFor([&] { return video->findText("Plugged Camera") < 0; }, 5000));
        EXPECT_EQ(video->itemText(video->count() - 1), "No video stream");
    }
    ClearStore();
    Seed({}, {{"Notifier", 0}});
    Window w;
    QComboBox* video = w.form.SourcesFrame()->cboxvideo;
    const std::string id =
        devices::AddVirtualDevice("Plugged Camera", devices::VirtualKind::TestPattern);
    Settle(1500);
    EXPECT_LT(video->findText("Plugged Camera"), 0);
    w.form.ActualiserVideoBtnClick();
    EXPECT_GE(video->findText("Plugged Camera"), 0);
    // The selection stayed what it was.
    EXPECT_EQ(video->currentText(), "Vidorel Test Pattern");
    devices::RemoveVirtualDevice(id);
}

TEST(MainWindow, fullScreenShowsThePreviewAlone_andEscapeBringsItBack) {
    app();
    ClearStore();
    Window w;
    QWidget* screen = w.form.VideoWindow();
    w.Key(Qt::Key_F11);
    ASSERT_TRUE(w.form.FullScreen());
    EXPECT_TRUE(screen->window()->isFullScreen());
    EXPECT_NE(screen->window(), &w.form);
    EXPECT_EQ(w.Action("acfullscreen")->text(), "Quit Fullscreen");
    const uint64_t before = w.form.VideoWindow()->FramesShown();
    EXPECT_TRUE(WaitFor([&] { return w.form.VideoWindow()->FramesShown() > before + 2; }));
    QTest::keyClick(screen->window(), Qt::Key_Escape);
    Settle(50);
    EXPECT_FALSE(w.form.FullScreen());
    EXPECT_EQ(screen->window(), &w.form);
    EXPECT_EQ(screen->geometry(), QRect(16, 16, 384, 288));
    EXPECT_EQ(w.Action("acfullscreen")->text(), "Display Fullscreen");
}

TEST(MainWindow, aPositionStoredOffTheScreensComesBackOntoOne_andABadPanelNumberShowsTheFirst) {
    app();
    ClearStore();
    Seed({}, {{"Top", 20000}, {"Left", 30000}, {"Panneau Actif", 9}});
    Window w;
    EXPECT_TRUE(w.PanelShown(0));
    bool onScreen = false;
    for (const QScreen* s : QGuiApplication::screens()) {
        onScreen = onScreen || s->availableGeometry().intersects(w.form.frameGeometry());
    }
    EXPECT_TRUE(onScreen) << w.form.x() << "," << w.form.y();
}

TEST(MainWindow, aLostDeviceWithoutTheNotifierIsReplacedByAnotherStream) {
    app();
    ClearStore();
    const std::string id =
        devices::AddVirtualDevice("Unplugged Camera", devices::VirtualKind::TestPattern);
    Seed({{"Source video", "Unplugged Camera"}}, {{"Notifier", 0}});
    Window w;
    ASSERT_TRUE(w.dm.CurrentVideo);
    ASSERT_EQ(w.dm.CurrentVideo->DisplayName, "Unplugged Camera");
    devices::RemoveVirtualDevice(id);
    EXPECT_TRUE(WaitFor(
        [&] { return w.dm.CurrentVideo && w.dm.CurrentVideo->DisplayName != "Unplugged Camera"; },
        8000));
    EXPECT_LT(w.form.SourcesFrame()->cboxvideo->findText("Unplugged Camera"), 0);
    EXPECT_TRUE(w.dm.fg().Running());
}

namespace {

// Controls of one parent that overlap, or stick out of it: what a user sees as a broken form.
std::vector<std::string> LayoutFaults(QWidget* parent) {
    std::vector<std::string> faults;
    std::vector<QWidget*> kids;
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w != nullptr && w->isVisibleTo(parent) && !w->isWindow()) {
            kids.push_back(w);
        }
    }
    const QRect inside(QPoint(0, 0), parent->size());
    for (size_t i = 0; i < kids.size(); ++i) {
        const QString name = kids[i]->objectName();
        if (!inside.contains(kids[i]->geometry())) {
            faults.push_back(name.toStdString() + " sticks out of " +
                             parent->objectName().toStdString());
        }
        for (size_t j = i + 1; j < kids.size(); ++j) {
            // Frames drawn around a control (a picture's bevel, the preview's border and its
            // hatched corner) lie over it on purpose.
            const auto decoration = [](const QWidget* k) {
                return k->objectName().startsWith("Shape") || k->objectName().startsWith("Bevel");
            };
            if (decoration(kids[i]) || decoration(kids[j])) {
                continue;
            }
            if (kids[i]->geometry().intersects(kids[j]->geometry())) {
                faults.push_back(name.toStdString() + " overlaps " +
                                 kids[j]->objectName().toStdString());
            }
        }
        if (!kids[i]->children().isEmpty() && qobject_cast<QComboBox*>(kids[i]) == nullptr &&
            qobject_cast<QSpinBox*>(kids[i]) == nullptr) {
            const auto inner = LayoutFaults(kids[i]);
            faults.insert(faults.end(), inner.begin(), inner.end());
        }
    }
    return faults;
}

} // namespace

TEST(MainWindow, eachPanelShowsAlone_withNothingOverlapping_andIsKeptAsAPicture) {
    app();
    ClearStore();
    Window w;
    for (int n = 0; n < 8; ++n) {
        w.form.ShowPanel(n);
        Settle(50);
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(w.PanelShown(k), k == n) << n << " " << k;
        }
        TPanelFrame* panel = w.form.Panel(n);
        EXPECT_EQ(panel->size(), QSize(275, 400));
        for (const std::string& fault : LayoutFaults(panel)) {
            ADD_FAILURE() << "panel " << n << ": " << fault;
        }
        // For a look by eye: build/tests/app/window-panel-N.png.
        w.form.grab().save(QStringLiteral("window-panel-%1.png").arg(n));
    }
    const auto windowFaults = [&](const char* layout) {
        for (const std::string& fault : LayoutFaults(&w.form)) {
            // The panels sit under one another by design; the rest must not touch.
            if (fault.find("Frame") == std::string::npos) {
                ADD_FAILURE() << layout << " window: " << fault;
            }
        }
    };
    windowFaults("video left");
    w.Key(Qt::Key_W, Qt::AltModifier);
    windowFaults("video right");
    w.form.grab().save(QStringLiteral("window-mirrored.png"));
}

TEST(MainWindow, theHelpPanelListsTheShortcutsOnce_withoutHiddenCommands) {
    app();
    ClearStore();
    Window w;
    auto* table = w.form.HelpFrame()->findChild<QTableWidget*>("ValueListEditor1");
    ASSERT_NE(table, nullptr);
    std::map<std::string, std::string> rows;
    std::vector<std::string> order;
    for (int r = 0; r < table->rowCount(); ++r) {
        const std::string f = table->item(r, 0)->text().toStdString();
        rows[f] = table->item(r, 1)->text().toStdString();
        order.push_back(f);
    }
    EXPECT_EQ(rows["Grab!"], "F5 (CTRL+G)");
    EXPECT_EQ(rows["Capture"], "Space");
    EXPECT_EQ(rows["Cut"], "F7 (CTRL+X)");
    EXPECT_EQ(rows["Fullscreen"], "Alt+Enter (F11)");
    EXPECT_EQ(rows["Flip horizontally"], "Shift+F4");
    EXPECT_EQ(rows["Next panel"], "F6 (ALT+N)");
    EXPECT_EQ(rows["Reduce"], "Alt+Backspace");
    // Hidden commands and commands without a key are not listed; camera keys have their own.
    EXPECT_EQ(rows.count("Stop"), 0u);
    EXPECT_EQ(rows.count("Open the folder of captured videos"), 0u);
    EXPECT_EQ(rows.count("Play"), 0u);
    // The frame group follows the others.
    const auto at = [&](const char* f) {
        return std::find(order.begin(), order.end(), f) - order.begin();
    };
    EXPECT_LT(at("Quit"), at("Next panel"));
    EXPECT_LT(at("Grab!"), at("Quit"));
    // The pop-up menu's panel sub-menu.
    auto* panels = w.form.findChild<QMenu*>("mnPanels");
    ASSERT_NE(panels, nullptr);
    EXPECT_EQ(panels->title(), "Settings panel");
    EXPECT_EQ(panels->actions().size(), 8);
    auto* camera = w.form.HelpFrame()->findChild<QTableWidget*>("ValueListEditor3");
    ASSERT_NE(camera, nullptr);
    ASSERT_EQ(camera->rowCount(), 7);
    // A caption changed later (the mute's) does not change the table built at start.
    w.Key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(table->rowCount(), static_cast<int>(order.size()));
}

TEST(MainWindow, excludingASourceInTheHelpPanelTakesItOutOfTheLists) {
    app();
    ClearStore();
    {
        Window w;
        auto* list = w.form.HelpFrame()->findChild<QListWidget*>("CheckListBox1");
        ASSERT_NE(list, nullptr);
        const auto items = list->findItems("Vidorel Test Pattern", Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items[0]->checkState(), Qt::Checked);
        items[0]->setCheckState(Qt::Unchecked); // as a click does
        ASSERT_TRUE(WaitFor([&] {
            return w.form.SourcesFrame()->cboxvideo->findText("Vidorel Test Pattern") < 0;
        }));
        ASSERT_TRUE(w.dm.CurrentVideo);
        EXPECT_NE(w.dm.CurrentVideo->DisplayName, "Vidorel Test Pattern");
    }
    // Stored, and still excluded at the next start.
    Window again;
    EXPECT_LT(again.form.SourcesFrame()->cboxvideo->findText("Vidorel Test Pattern"), 0);
    EXPECT_EQ(prefs::SourcesExclues->Value, "Vidorel Test Pattern\r\n");
}

TEST(MainWindow, aFatalErrorReportCoversTheWindow_andClosingItClosesTheProgram) {
    app();
    ClearStore();
    Window w;
    w.form.ShowErrorReport("Impossible to load the Video sources\r\n", true);
    Settle(50);
    EXPECT_EQ(w.form.size(), QSize(320, 446));
    QWidget* report = w.form.findChild<QWidget*>("ErreurFrame");
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->isVisible());
    EXPECT_EQ(report->pos(), QPoint(0, 0));
    auto* close = w.form.findChild<QAbstractButton*>("FermerErreurBtn");
    ASSERT_NE(close, nullptr);
    close->click();
    EXPECT_TRUE(WaitFor([&] { return !w.form.isVisible(); }, 3000));
    EXPECT_FALSE(w.dm.fg().Running());
}

TEST(MainWindow, aProblemReportThatIsNotFatalGivesTheWindowBack) {
    app();
    ClearStore();
    Window w;
    w.form.ShowErrorReport("A plug-in could not be loaded\r\n", false);
    Settle(50);
    w.form.findChild<QAbstractButton*>("FermerErreurBtn")->click();
    Settle(50);
    EXPECT_TRUE(w.form.isVisible());
    EXPECT_EQ(w.form.size(), QSize(700, 459));
    EXPECT_FALSE(w.form.findChild<QWidget*>("ErreurFrame")->isVisible());
}

TEST(MainWindow, aCamcorderThatMayNotBeOpenedIsToldAtStartAndTheWindowStaysUsable) {
    app();
    ClearStore();
    namespace fs = std::filesystem;
    const fs::path tree =
        fs::temp_directory_path() / ("vidorel-fw-window-" + std::to_string(::getpid()));
    fs::create_directories(tree / "sys" / "fw1");
    fs::create_directories(tree / "dev");
    std::ofstream(tree / "sys" / "fw1" / "units") << "0x00a02d:0x010001\n";
    std::ofstream(tree / "sys" / "fw1" / "model_name") << "DCR-TRV900\n";
    std::ofstream(tree / "sys" / "fw1" / "vendor_name") << "Sony\n";
    std::ofstream(tree / "dev" / "fw1") << "";
    devices::SetFireWireRoots({(tree / "sys").string(), (tree / "dev").string(),
                               [](const std::string&) { return EACCES; }});
    {
        Window w;
        auto* report = w.form.findChild<QWidget*>("ErreurFrame");
        ASSERT_NE(report, nullptr);
        EXPECT_TRUE(report->isVisible());
        const QString text = w.form.findChild<QTextEdit*>("ErreurMemo")->toPlainText();
        EXPECT_TRUE(text.contains("has found potential problems")) << text.toStdString();
        EXPECT_TRUE(text.contains("The FireWire camcorder \"Sony DCR-TRV900\" (" +
                                  QString::fromStdString((tree / "dev" / "fw1").string()) +
                                  ") cannot be opened: permission denied."))
            << text.toStdString();
        EXPECT_TRUE(text.contains("join the group \"video\"")) << text.toStdString();
        // Not fatal: closing the report gives the window back, its preview still running.
        w.form.findChild<QAbstractButton*>("FermerErreurBtn")->click();
        Settle(50);
        EXPECT_TRUE(w.form.isVisible());
        EXPECT_FALSE(report->isVisible());
        EXPECT_TRUE(w.dm.fg().Running());
    }
    devices::SetFireWireRoots({});
    fs::remove_all(tree);
}

TEST(MainWindow, withEveryDeviceExcludedTheWindowOffersNothingAndShowsThePlaceholder) {
    app();
    ClearStore();
    std::string excluded;
    for (const auto& d : devices::VirtualDeviceInfos()) {
        excluded += d.name + "\r\n";
    }
    Seed({{"Sources Exclues", excluded}});
    Window w;
    EXPECT_FALSE(w.dm.CurrentVideo);
    EXPECT_FALSE(w.dm.CurrentAudio);
    QComboBox* video = w.form.SourcesFrame()->cboxvideo;
    ASSERT_EQ(video->count(), 1);
    EXPECT_EQ(video->itemText(0), "No video stream");
    EXPECT_FALSE(w.form.SourcesFrame()->gbFormatCapture->isVisible());
    EXPECT_TRUE(w.form.findChild<QWidget*>("Panel2")->isVisible());
    EXPECT_FALSE(w.Action("acGrab")->isEnabled());
    EXPECT_FALSE(w.Action("acCapturerBascule")->isEnabled());
    EXPECT_FALSE(w.Action("acMute")->isEnabled());
}

TEST(MainWindow, ctrlSSavesNow_andTheCloseThenLeavesTheStoreAlone) {
    app();
    ClearStore();
    {
        Window w;
        w.form.findChild<QSlider*>("tb")->setValue(2500);
        w.Key(Qt::Key_S, Qt::ControlModifier);
        TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
        ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), false));
        EXPECT_EQ(reg.ReadDWord("Volume"), 2500u);
        EXPECT_FALSE(prefs::SauverPreferences->Value);
        EXPECT_FALSE(w.form.findChild<QCheckBox*>("cbPrefsQuittant")->isChecked());
        w.form.findChild<QSlider*>("tb")->setValue(7000);
    }
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), false));
    EXPECT_EQ(reg.ReadDWord("Volume"), 2500u);
}

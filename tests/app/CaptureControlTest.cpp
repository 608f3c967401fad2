// The capture controller on the real window, engine and virtual devices: the four states, a
// real DV capture cut in two, the schedule on a test clock, names and bad input.
#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/DossiersFrame.h"
#include "app/ProgrammerFrame.h"
#include "app/SourcesFrame.h"
#include "app/StatusBar.h"
#include "devices/VirtualDevices.h"
#include "graph/AVgraph.h"
#include "graph/CaptureRun.h"
#include "platform/RegistryStore.h"
#include "settings/Preferences.h"
#include "sources/CamcorderBinding.h"
#include "tests/app/QtTestApp.h"
#include "tests/support/EventLoop.h"
#include "tests/support/MediaProbe.h"

#include "tests/app/WindowRecorder.h"
#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <deque>
#include <filesystem>

using namespace vidorel;
using namespace vidorel::test;

TEST(CaptureControl, theFourStatesWithTheirCaptionsColoursAndControls) {
    Recorder r({{"Source video", "Vidorel Test Pattern"},
                {"Source Audio", "Vidorel Test Tone"},
                {"Capture Format", ""}},
               {{"Capture Format", CaptureFormat::Wav}, {"Video Date", 0}});
    TCaptureForm& form = r.form;
    r.Format("Wav");
    ASSERT_EQ(form.State(), CaptureState::Preview);
    EXPECT_EQ(r.Action("acCapturerBascule")->text(), "Capture");
    EXPECT_FALSE(form.SourcesFrame()->sbVideoPilotVCR->isVisibleTo(form.SourcesFrame()));
    EXPECT_FALSE(r.Action("acCouper")->isEnabled());
    EXPECT_EQ(form.NextVideoName(), Stem(r) + "0.wav");

    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing);
    EXPECT_EQ(r.Action("acCapturerBascule")->text(), "Stop Capture");
    EXPECT_EQ(r.Action("acCapturerBascule")->toolTip(),
              "Stop the capture.\nYou may also stop the capture with the space bar.");
    EXPECT_TRUE(r.Action("acCouper")->isEnabled());
    EXPECT_FALSE(r.Action("acDesentrelacer")->isEnabled());
    EXPECT_EQ(r.FrameColour(), QColor(Qt::red));
    EXPECT_FALSE(form.SourcesFrame()->gbVideo->isEnabled());
    EXPECT_FALSE(r.Schedule()->gbDebut->isVisibleTo(r.Schedule()));
    EXPECT_FALSE(form.findChild<QGroupBox*>("gbFichier")->isEnabled());
    EXPECT_EQ(form.StatusBar()->StatusMode, "Aud: Vid");
    // The missing folder was asked for, and made.
    EXPECT_TRUE(QFileInfo::exists(r.folder.path() + "/clips"));
    Settle(1200);
    form.DroppedActionTimer();
    EXPECT_EQ(form.StatusBar()->StatusCapture, "Duration 0:00 :01");
    EXPECT_EQ(form.StatusBar()->StatusInfo, "Audio Wav");
    form.grab().save(QStringLiteral("window-capturing.png")); // for a look by eye

    // Ctrl+P during a run gives it the schedule's end; again takes the end away.
    r.Schedule()->PrefillTimes(r.now);
    r.Key(Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(form.State(), CaptureState::ScheduledCapturing);
    EXPECT_EQ(form.StatusBar()->StatusMode, "Capture until 09:31:00");
    EXPECT_EQ(r.FrameColour(), QColor(Qt::magenta));
    EXPECT_EQ(r.Action("acProgrammerBascule")->text(), "Stop Prog");
    r.Key(Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(form.State(), CaptureState::Capturing);
    EXPECT_FALSE(form.Alarm().Armed());
    EXPECT_EQ(r.Action("acProgrammerBascule")->text(), "Schedule");

    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    EXPECT_EQ(form.State(), CaptureState::Preview);
    EXPECT_EQ(r.Action("acCapturerBascule")->text(), "Capture");
    EXPECT_EQ(r.FrameColour(), form.palette().color(QPalette::Button));
    EXPECT_TRUE(form.SourcesFrame()->gbVideo->isEnabled());
    // The counter went on; the file is there and plays.
    EXPECT_EQ(form.NextVideoName(), Stem(r) + "1.wav");
    const auto probe = ProbeMedia(Stem(r) + "0.wav");
    EXPECT_TRUE(probe.ok) << probe.errors;

    // Scheduled: yellow, "Stop Prog", and the start time in the status bar.
    r.Key(Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(form.State(), CaptureState::Scheduled);
    EXPECT_EQ(r.FrameColour(), QColor(Qt::yellow));
    EXPECT_EQ(form.StatusBar()->StatusInfo, "Start at 09:01:00");
    EXPECT_TRUE(r.Schedule()->gbDebut->isVisibleTo(r.Schedule()));
    r.Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(form.State(), CaptureState::Preview);
    EXPECT_FALSE(form.Alarm().Armed());
}

TEST(CaptureControl, aDVCaptureCutInTwoGivesTwoCompleteClipsEachWithItsSceneIndex) {
    Recorder r({{"Source video", "DV Source - Video"}, {"Source Audio", "DV Source - Audio"}},
               {{"Scn", 1}, {"Video Date", 0}});
    TCaptureForm& form = r.form;
    ASSERT_TRUE(r.dm.CurrentVideo);
    r.Format("DV type 2 native");
    r.dm.CurrentVideo->Device->Transport()->SetMode(devices::ED_MODE_PLAY);
    Settle(300);
    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing)
        << (r.prompt.shown.empty() ? "" : r.prompt.shown.back());
    Settle(1500);
    r.Key(Qt::Key_F7);
    EXPECT_EQ(form.NextVideoName(), Stem(r) + "1.avi");
    Settle(1500);
    form.DroppedActionTimer();
    EXPECT_EQ(form.StatusBar()->StatusCapture, "Duration 0:00 :03");
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    EXPECT_EQ(form.State(), CaptureState::Preview);
    EXPECT_EQ(form.NextVideoName(), Stem(r) + "2.avi");
    for (int n = 0; n < 2; ++n) {
        const std::string clip = Stem(r) + std::to_string(n) + ".avi";
        const auto probe = ProbeMedia(clip);
        ASSERT_TRUE(probe.ok) << clip << ": " << probe.errors;
        EXPECT_GT(probe.videoFrames, 20) << clip;
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Stem(r) + std::to_string(n) + ".scn")))
            << n;
    }
    // No lost frames: no question about the scene files.
    for (const auto& text : r.prompt.shown) {
        EXPECT_EQ(text.find("frames have been lost"), std::string::npos) << text;
    }
}

TEST(CaptureControl, theScheduleRunsOnItsClock_acrossMidnight) {
    Recorder r({{"Source video", "No video stream"}, {"Source Audio", "Vidorel Test Tone"}},
               {{"Video Date", 0}});
    TCaptureForm& form = r.form;
    r.Format("Wav");
    QDir().mkpath(r.folder.path() + "/clips");
    r.now = At(23, 50);
    TProgrammerFrame* s = r.Schedule();
    s->PrefillTimes(r.now); // 23:51 to 00:21 the next day
    s->DateEdit2->setDate(QDate(2026, 12, 10));
    s->RxSpinEdit4->setValue(0);
    s->RxSpinEdit5->setValue(5);
    r.Key(Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(form.State(), CaptureState::Scheduled);
    EXPECT_TRUE(r.prompt.shown.empty()); // the default prefill arms without a question
    // Editing the start minutes moves the alarm and its text at once.
    s->RxSpinEdit2->setValue(52);
    EXPECT_EQ(form.StatusBar()->StatusInfo, "Start at 23:52:00");
    r.now = At(23, 51, 30);
    form.CheckAlarm();
    EXPECT_EQ(form.State(), CaptureState::Scheduled);
    r.now = At(23, 52, 1);
    form.CheckAlarm();
    ASSERT_EQ(form.State(), CaptureState::ScheduledCapturing);
    EXPECT_EQ(form.StatusBar()->StatusMode, "Capture until 00:05:00");
    Settle(500); // some sound into the file
    // 00:05 of the day that is ending is not the end.
    r.now = At(23, 59, 59);
    form.CheckAlarm();
    EXPECT_EQ(form.State(), CaptureState::ScheduledCapturing);
    r.now = At(0, 5, 0, 10);
    form.CheckAlarm();
    ASSERT_TRUE(r.Stopped());
    EXPECT_EQ(form.State(), CaptureState::Preview);
    EXPECT_TRUE(ProbeMedia(Stem(r) + "0.wav").ok);
}

TEST(CaptureControl, scheduleRefusals_andAStartInThePastStartsNowOnYes) {
    Recorder r({{"Source video", "No video stream"}, {"Source Audio", "Vidorel Test Tone"}},
               {{"Video Date", 0}});
    TCaptureForm& form = r.form;
    r.Format("Wav");
    QDir().mkpath(r.folder.path() + "/clips");
    TProgrammerFrame* s = r.Schedule();
    // The end is over.
    s->PrefillTimes(At(8, 0));
    r.Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(form.State(), CaptureState::Preview);
    ASSERT_FALSE(r.prompt.shown.empty());
    EXPECT_EQ(r.prompt.shown.back(),
              "It's not possible to schedule the end of a capture to a past date and time");
    EXPECT_FALSE(form.Alarm().Armed());
    // An end before the start records nothing.
    s->PrefillTimes(At(9, 30));
    s->RxSpinEdit4->setValue(9);
    s->RxSpinEdit5->setValue(20); // 09:31 .. 09:20
    r.Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(form.State(), CaptureState::Preview);
    EXPECT_EQ(r.prompt.shown.back(), "The end of a scheduled capture must come after its start.");
    // The start is over, the end is not: "No" leaves it, "Yes" starts now with the end armed.
    s->PrefillTimes(At(8, 50)); // 08:51 .. 09:21
    r.prompt.answers = {PromptAnswer::No};
    r.Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(form.State(), CaptureState::Preview);
    r.prompt.answers = {PromptAnswer::Yes};
    r.Key(Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(form.State(), CaptureState::ScheduledCapturing);
    EXPECT_EQ(form.StatusBar()->StatusMode, "Capture until 09:21:00");
    // Space ends it at once and disarms.
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    EXPECT_EQ(form.State(), CaptureState::Preview);
    EXPECT_FALSE(form.Alarm().Armed());
}

TEST(CaptureControl, replacementAndFolderQuestions_andAllStopsAsking) {
    Recorder r({{"Source video", "No video stream"}, {"Source Audio", "Vidorel Test Tone"}},
               {{"Video Date", 0}, {"Confirmer Video", 1}});
    TCaptureForm& form = r.form;
    r.Format("Wav");
    // The folder does not exist: asked, and "No" starts nothing.
    r.prompt.answers = {PromptAnswer::No};
    r.Key(Qt::Key_Space);
    EXPECT_EQ(form.State(), CaptureState::Preview);
    ASSERT_EQ(r.prompt.shown.size(), 1u);
    EXPECT_EQ(r.prompt.shown[0], "The folder " + r.folder.path().toStdString() +
                                     "/clips does not exist.\r\nDo you want to create it?");
    // A file of the next name exists: "All" replaces it and asks no more.
    QDir().mkpath(r.folder.path() + "/clips");
    QFile(QString::fromStdString(form.NextVideoName())).open(QIODevice::WriteOnly);
    r.prompt.answers = {PromptAnswer::All};
    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing);
    EXPECT_EQ(r.prompt.shown.size(), 2u);
    EXPECT_NE(r.prompt.shown[1].find("exists already. Do you want to crush it?"),
              std::string::npos);
    EXPECT_FALSE(prefs::ConfirmerVideo->Value);
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    EXPECT_TRUE(ProbeMedia(Stem(r) + "0.wav").ok);
}

TEST(CaptureControl, aRootWithASlashIsRefused_andAnImageByImageRunWithoutAGrabLeavesNoFile) {
    Recorder r({{"Source video", "Vidorel Test Pattern"}, {"Source Audio", "No Audio Stream"}},
               {{"Video Date", 0}});
    TCaptureForm& form = r.form;
    QLineEdit* root = form.findChild<QLineEdit*>("VideoRacineEdit");
    ASSERT_NE(root, nullptr);
    root->setText("../elsewhere/Video");
    emit root->editingFinished();
    EXPECT_EQ(prefs::VideoRacine->Value, "Video");
    EXPECT_EQ(root->text(), "Video");
    ASSERT_FALSE(r.prompt.shown.empty());
    EXPECT_NE(r.prompt.shown.back().find("cannot contain \"/\""), std::string::npos);

    r.Format("Image/image");
    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing);
    Settle(300);
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Stem(r) + "0.avi")));
    EXPECT_EQ(form.NextVideoName(), Stem(r) + "1.avi");
}

TEST(CaptureControl, aDeviceUnpluggedDuringACaptureEndsItCleanly_andTheWindowGoesOn) {
    test::TestApp();
    gst_init(nullptr, nullptr);
    const std::string id =
        devices::AddVirtualDevice("Pulled Camera", devices::VirtualKind::TestPattern);
    Recorder r({{"Source video", "Pulled Camera"}, {"Source Audio", "No Audio Stream"}},
               {{"Video Date", 0}, {"Notifier", 0}});
    TCaptureForm& form = r.form;
    ASSERT_TRUE(r.dm.CurrentVideo);
    r.Format("Avi native");
    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing);
    Settle(1000);
    const size_t asked = r.prompt.shown.size();
    devices::RemoveVirtualDevice(id);
    ASSERT_TRUE(WaitFor([&] { return form.State() == CaptureState::Preview && !form.Run(); }));
    // Told why, the file so far plays, and the preview moved to another source.
    ASSERT_GT(r.prompt.shown.size(), asked);
    EXPECT_NE(r.prompt.shown[asked].find("The capture has stopped"), std::string::npos)
        << r.prompt.shown[asked];
    const TProbe probe = ProbeMedia(Stem(r) + "0.avi");
    EXPECT_TRUE(probe.ok) << probe.errors;
    EXPECT_GT(probe.videoFrames, 5);
    EXPECT_TRUE(WaitFor(
        [&] { return r.dm.CurrentVideo && r.dm.CurrentVideo->DisplayName != "Pulled Camera"; }));
    EXPECT_EQ(form.NextVideoName(), Stem(r) + "1.avi");
}

TEST(CaptureControl, aFolderRemovedDuringACaptureGetsItsFileBackWhole) {
    Recorder r({{"Source video", "Vidorel Test Pattern"}, {"Source Audio", "No Audio Stream"}},
               {{"Video Date", 0}});
    TCaptureForm& form = r.form;
    r.Format("Avi native");
    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing);
    Settle(800);
    ASSERT_TRUE(QDir(r.folder.path() + "/clips").removeRecursively());
    Settle(1200);
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    // The frames from before and after the removal are all in the file, under its name.
    const TProbe probe = ProbeMedia(Stem(r) + "0.avi");
    ASSERT_TRUE(probe.ok) << probe.errors;
    // 0.8 s before the removal and 1.2 s after it, at 25 fps.
    EXPECT_GT(probe.videoFrames, 40);
    ASSERT_FALSE(r.prompt.shown.empty());
    EXPECT_EQ(r.prompt.shown.back(), "The folder of " + Stem(r) +
                                         "0.avi was removed during the capture.\r\n"
                                         "The file has been written there again.");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Stem(r) + "0.avi.part")));
}

TEST(CaptureControl, soundThatNeverStartsEndsTheCaptureBeforeThePreviewIsHeld) {
    // The picture of the test pattern, the sound of a deck whose tape is stopped.
    Recorder r({{"Source video", "Vidorel Test Pattern"}, {"Source Audio", "DV Source - Audio"}},
               {{"Video Date", 0}});
    TCaptureForm& form = r.form;
    ASSERT_TRUE(r.dm.CurrentAudio);
    r.Format("Divx");
    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing);
    ASSERT_TRUE(
        WaitFor([&] { return form.State() == CaptureState::Preview && !form.Run(); }, 6000));
    ASSERT_FALSE(r.prompt.shown.empty());
    EXPECT_EQ(r.prompt.shown.back(),
              "The capture has stopped:\r\nno sound came from its source (a stopped tape, a "
              "muted device?), and the file cannot be written without it. Start that source "
              "first, or choose \"No Audio Stream\" to record without it");
    // No file passes for a capture, and the preview goes on.
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Stem(r) + "0.avi")));
    const uint64_t before = r.dm.vwEcran.FramesReceived();
    Settle(600);
    EXPECT_GT(r.dm.vwEcran.FramesReceived(), before + 5);
}

TEST(CaptureControl, theCompanionProgramGetsTheClipsOfThisRunAsArguments) {
    Recorder r({{"Source video", "No video stream"}, {"Source Audio", "Vidorel Test Tone"}},
               {{"Video Date", 0}});
    TCaptureForm& form = r.form;
    // Without it: told, nothing started.
    r.Key(Qt::Key_F8);
    ASSERT_FALSE(r.prompt.shown.empty());
    EXPECT_EQ(r.prompt.shown.back(),
              "Tapelog by Marlott has not been found on this computer.\r\nIf it is present, "
              "please indicate its name and path in the Settings panel (ALT+D).");
    // A stand-in that writes down its arguments, one per line.
    const QString script = r.folder.path() + "/tapelog";
    const QString record = r.folder.path() + "/args.txt";
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '%1'\n")
                    .arg(record)
                    .toUtf8());
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    prefs::Tapelog->Value = script.toStdString();
    // Two clips of this run, with a blank and a quote in the root: they stay one argument each.
    QLineEdit* root = form.findChild<QLineEdit*>("VideoRacineEdit");
    root->setText("My \"tape\" one");
    emit root->editingFinished();
    QDir().mkpath(r.folder.path() + "/clips");
    const std::string stem = r.folder.path().toStdString() + "/clips/My \"tape\" one_";
    for (int n = 0; n < 2; ++n) {
        QFile(QString::fromStdString(stem + std::to_string(n) + ".avi")).open(QIODevice::WriteOnly);
    }
    r.Format("Wav");
    r.Key(Qt::Key_Space); // the run's files are .wav: not passed
    Settle(300);
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    r.Key(Qt::Key_Space);
    Settle(300);
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    r.Key(Qt::Key_F8);
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(record).size() > 0; }, 5000));
    QFile f(record);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList args = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(args[0].toStdString(), stem + "0.avi");
    EXPECT_EQ(args[1].toStdString(), stem + "1.avi");
}

TEST(CaptureControl, timecodeText_isHoursWithoutALeadingZeroThenTwoDigitFields) {
    EXPECT_EQ(CamcorderTimecodeText(devices::PackBcdTimecode(1, 2, 3, 4)), "1:02:03:04");
    EXPECT_EQ(CamcorderTimecodeText(devices::PackBcdTimecode(0, 0, 0, 0)), "0:00:00:00");
    EXPECT_EQ(CamcorderTimecodeText(devices::PackBcdTimecode(23, 59, 59, 24)), "23:59:59:24");
}

TEST(CaptureControl, aFolderThatCannotBeMadeIsToldAndLeavesThePreview_byHandAndAtTheAlarm) {
    Recorder r({{"Source video", "No video stream"}, {"Source Audio", "Vidorel Test Tone"}},
               {{"Video Date", 0}, {"Confirmer Video", 0}});
    TCaptureForm& form = r.form;
    r.Format("Wav");
    // A plain file where the folder should be: no folder can be made under it.
    QFile blocker(r.folder.path() + "/clips");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QLineEdit* dir = form.findChild<QLineEdit*>("VideoDirEdit");
    dir->setText(r.folder.path() + "/clips/sub/");
    r.Key(Qt::Key_Space);
    EXPECT_EQ(form.State(), CaptureState::Preview);
    EXPECT_FALSE(form.Run());
    ASSERT_FALSE(r.prompt.shown.empty());
    EXPECT_NE(r.prompt.shown.back().find("cannot be created"), std::string::npos);
    EXPECT_TRUE(r.dm.fg().Running());
    // Armed, then the alarm finds the same folder: told, disarmed, back to the preview.
    r.Schedule()->PrefillTimes(r.now);
    r.Key(Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(form.State(), CaptureState::Scheduled);
    const size_t told = r.prompt.shown.size();
    r.now = At(9, 1, 0);
    form.CheckAlarm();
    EXPECT_EQ(form.State(), CaptureState::Preview);
    EXPECT_FALSE(form.Alarm().Armed());
    EXPECT_GT(r.prompt.shown.size(), told);
    EXPECT_TRUE(r.Action("acCapturerBascule")->isEnabled());
}

// The camcorder windows on the real window, engine and virtual decks: the tape's timecode and
// date, the transport rules (wind or shuttle), the camera commands of the main window, the
// toggle between two windows, "Stop when quit" and a camcorder in camera mode.
#include "app/Actions.h"
#include "app/SourcesFrame.h"
#include "devices/TapeDeck.h"
#include "devices/VirtualDevices.h"
#include "sources/camunit.h"
#include "tests/app/WindowRecorder.h"

#include <QCheckBox>
#include <QLabel>
#include <QToolButton>

using namespace vidorel;
using namespace vidorel::test;
using namespace vidorel::devices;

namespace {

using Sources = std::vector<std::pair<std::string, std::string>>;

const std::vector<std::pair<std::string, std::string>> kDeck = {
    {"Source video", "DV Source - Video"}, {"Source Audio", "DV Source - Audio"}};

void Choose(TCaptureForm& form, const char* video, const char* audio) {
    form.SourcesFrame()->cboxvideo->setCurrentText(QString::fromUtf8(video));
    form.cboxVideoChange();
    form.SourcesFrame()->cboxAudio->setCurrentText(QString::fromUtf8(audio));
    form.cboxAudioChange();
    Settle(300);
}

} // namespace

TEST(Camcorder, theWindowShowsTheTapeAndTheCameraKeysDriveIt) {
    Recorder r(kDeck);
    TCaptureForm& form = r.form;
    ASSERT_TRUE(r.dm.CurrentVideo && r.dm.CurrentVideo->HasTransport);
    TcamForm* window = form.CamForm1();
    // Video and sound of one deck share one window; the other stays free.
    EXPECT_EQ(r.dm.CurrentVideo->CamForm, window);
    EXPECT_EQ(r.dm.CurrentAudio->CamForm, window);
    EXPECT_FALSE(form.CamForm2()->TransportAvailable());
    EXPECT_EQ(window->windowTitle(), "DV Source");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->MarkerShown());
    EXPECT_FALSE(form.CamForm2()->MarkerShown());
    EXPECT_TRUE(form.SourcesFrame()->sbVideoPilotVCR->isVisibleTo(form.SourcesFrame()));
    // A picture on the small button, not the action's long text cut to its width.
    EXPECT_FALSE(form.SourcesFrame()->sbVideoPilotVCR->icon().isNull());
    EXPECT_FALSE(form.SourcesFrame()->sbAudioPilotVCR->icon().isNull());

    const auto transport = r.dm.CurrentVideo->Device->Transport();
    ASSERT_TRUE(transport);
    EXPECT_EQ(transport->Mode(), ED_MODE_STOP);
    // Fast forward winds a stopped tape...
    r.Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_FF);
    r.Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_PLAY_FASTEST_REV); // not stopped: shuttle
    r.Key(Qt::Key_End, Qt::ControlModifier);
    r.Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_REW);
    r.Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_STOP);
    // ... and Ctrl+Space plays, then pauses, then plays.
    r.Key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_PLAY);
    r.Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_PLAY_FASTEST_FWD); // playing: shuttle
    r.Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_PLAY_SLOWEST_FWD);
    r.Key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_PLAY_SLOWEST_REV);
    r.Key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_PLAY);
    Settle(600);
    form.DroppedActionTimer();
    EXPECT_TRUE(window->TimecodePanel->text().startsWith("0:00:0"))
        << window->TimecodePanel->text().toStdString();
    EXPECT_FALSE(window->Label1->text().isEmpty());
    r.Key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(transport->Mode(), ED_MODE_FREEZE);
    // The window's own buttons drive the same tape.
    window->nav_captureframe1->StopBtn->click();
    EXPECT_EQ(transport->Mode(), ED_MODE_STOP);
    // And its own keys, while it is the active window.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Insert);
    EXPECT_EQ(transport->Mode(), ED_MODE_PLAY);
    QTest::keyClick(window, Qt::Key_Delete);
    EXPECT_EQ(transport->Mode(), ED_MODE_FREEZE);
    QTest::keyClick(window, Qt::Key_End);
    EXPECT_EQ(transport->Mode(), ED_MODE_STOP);
    QTest::keyClick(window, Qt::Key_Up);
    EXPECT_EQ(transport->Mode(), ED_MODE_FF);
    QTest::keyClick(window, Qt::Key_End);
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    // The Sources panel's button hides the window, and the wish is kept.
    form.Actions().acShowVideoPilotDV->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->ShowWanted());
    form.Actions().acShowVideoPilotDV->trigger();
    EXPECT_TRUE(window->isVisible());
    window->grab().save(QStringLiteral("window-camcorder.png")); // for a look by eye
}

TEST(Camcorder, twoCamcordersGetTwoWindowsAndTheToggleOnlyGoesToAShownOne) {
    test::TestApp();
    gst_init(nullptr, nullptr);
    const std::string id = AddVirtualDevice("Second Deck", VirtualKind::DvDeck);
    Recorder r(
        Sources{{"Source video", "DV Source - Video"}, {"Source Audio", "DV Source #2 - Audio"}});
    TCaptureForm& form = r.form;
    ASSERT_TRUE(r.dm.CurrentAudio && r.dm.CurrentAudio->HasTransport)
        << (r.dm.CurrentAudio ? r.dm.CurrentAudio->DisplayName : "no audio");
    EXPECT_EQ(r.dm.CurrentVideo->CamForm, form.CamForm1());
    EXPECT_EQ(r.dm.CurrentAudio->CamForm, form.CamForm2());
    // Every DV device is a "DV Source"; the second one is numbered.
    EXPECT_EQ(form.CamForm2()->windowTitle(), "DV Source #2");
    // The camera keys act on window 1 until Ctrl+Ins moves them to window 2.
    const auto second = DeckForDevice(id);
    ASSERT_TRUE(second);
    form.CamForm2()->hide();
    r.Key(Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_TRUE(form.CamForm1()->MarkerShown()); // the hidden window is not a target
    form.CamForm2()->show();
    r.Key(Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_TRUE(form.CamForm2()->MarkerShown());
    EXPECT_FALSE(form.CamForm1()->MarkerShown());
    r.Key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(second->Mode(), ED_MODE_PLAY);
    EXPECT_EQ(r.dm.CurrentVideo->Device->Transport()->Mode(), ED_MODE_STOP);
    r.Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(second->Mode(), ED_MODE_STOP);
    form.close();
    RemoveVirtualDevice(id);
}

TEST(Camcorder, stopWhenQuitDecidesWhetherTheTapeRunsOnWhenTheSourceChanges) {
    Recorder r(kDeck);
    TCaptureForm& form = r.form;
    const auto transport = r.dm.CurrentVideo->Device->Transport();
    TcamForm* window = form.CamForm1();

    window->cbStopQuittant->setChecked(false);
    r.Key(Qt::Key_Space, Qt::ControlModifier);
    ASSERT_EQ(transport->Mode(), ED_MODE_PLAY);
    Choose(form, "Vidorel Test Pattern", "Vidorel Test Tone");
    EXPECT_EQ(transport->Mode(), ED_MODE_PLAY); // left running
    EXPECT_FALSE(window->TransportAvailable());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(form.SourcesFrame()->sbVideoPilotVCR->isVisibleTo(form.SourcesFrame()));

    Choose(form, "DV Source - Video", "DV Source - Audio");
    ASSERT_TRUE(window->TransportAvailable());
    window->cbStopQuittant->setChecked(true);
    Choose(form, "Vidorel Test Pattern", "Vidorel Test Tone");
    EXPECT_EQ(transport->Mode(), ED_MODE_STOP);
}

TEST(Camcorder, aCamcorderInCameraModeHasAWindowButNoButtonAndStaysHidden) {
    test::TestApp();
    gst_init(nullptr, nullptr);
    const std::string id = AddVirtualDevice("Camera DV", VirtualKind::DvDeck);
    const auto deck = DeckForDevice(id);
    ASSERT_TRUE(deck);
    deck->SetDeviceType(ED_DEVTYPE_CAMERA);
    {
        Recorder r(
            Sources{{"Source video", "DV Source #2 - Video"}, {"Source Audio", "No Audio Stream"}});
        TCaptureForm& form = r.form;
        ASSERT_TRUE(r.dm.CurrentVideo && r.dm.CurrentVideo->HasTransport);
        EXPECT_TRUE(form.CamForm1()->TransportAvailable());
        EXPECT_FALSE(form.CamForm1()->isVisible());
        EXPECT_FALSE(form.SourcesFrame()->sbVideoPilotVCR->isVisibleTo(form.SourcesFrame()));
        form.Actions().acShowVideoPilotDV->trigger();
        EXPECT_FALSE(form.CamForm1()->isVisible());
    }
    RemoveVirtualDevice(id);
}

namespace {

// A camcorder that does not answer: every command is refused, and it cannot tell its mode.
struct TDeafTransport : TTapeTransport {
    std::vector<int> asked;
    bool SetMode(int mode) override {
        asked.push_back(mode);
        return false;
    }
    int Mode() override { return ED_MODE_STOP; }
    bool Timecode(uint32_t&) override { return false; }
    int DeviceType() override { return 0; }
};

} // namespace

TEST(Camcorder, theButtonsOfAnUnboundWindowOrADeafCamcorderDoNothingHarmful) {
    TestApp();
    EXPECT_EQ(FastForwardMode(ED_MODE_STOP), ED_MODE_FF);
    EXPECT_EQ(FastForwardMode(ED_MODE_FREEZE), ED_MODE_PLAY_FASTEST_FWD);
    EXPECT_EQ(FastRewindMode(ED_MODE_STOP), ED_MODE_REW);
    EXPECT_EQ(FastRewindMode(ED_MODE_PLAY), ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ(PlayPauseMode(ED_MODE_PLAY), ED_MODE_FREEZE);
    EXPECT_EQ(PlayPauseMode(ED_MODE_FREEZE), ED_MODE_PLAY);

    TcamForm window(1, nullptr);
    EXPECT_EQ(window.windowTitle(), "camForm");
    EXPECT_EQ(window.TimecodePanel->text(), "0:00:00:00");
    window.nav_captureframe1->PlayAction->trigger(); // unbound: nothing to call
    auto deaf = std::make_shared<TDeafTransport>();
    window.SetTransport(deaf, deaf);
    window.nav_captureframe1->PlayAction->trigger();
    window.nav_captureframe1->AvanceRapideAction->trigger();
    EXPECT_EQ(deaf->asked, (std::vector<int>{ED_MODE_PLAY, ED_MODE_FF}));
    // It reads no timecode: the panel keeps what it showed.
    window.ShowCodes("", "");
    EXPECT_EQ(window.TimecodePanel->text(), "0:00:00:00");
    window.ShowCodes("1:02:34:05", "");
    EXPECT_EQ(window.TimecodePanel->text(), "1:02:34:05");
    window.cbStopQuittant->setChecked(false);
    window.ClearTransport();
    window.nav_captureframe1->StopAction->trigger();
    EXPECT_EQ(deaf->asked.size(), 2u);
}

// The inlay control on the real window and engine: switched on by its action and by the
// sliders, the choices a source offers, the format lines, the time-difference dialog, and the
// text really drawn into a captured file where it was placed.
#include "app/Actions.h"
#include "app/Controls.h"
#include "app/DecalageForm.h"
#include "app/IncrusterFrame.h"
#include "app/InlayFontDialog.h"
#include "app/StatusBar.h"
#include "graph/CaptureRun.h"
#include "tests/app/WindowRecorder.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

using namespace vidorel;
using namespace vidorel::test;

namespace {

const std::vector<std::pair<std::string, std::string>> kPattern = {
    {"Source video", "Vidorel Test Pattern"}, {"Source Audio", "No Audio Stream"}};

void ChooseVideo(TCaptureForm& form, const char* name) {
    form.SourcesFrame()->cboxvideo->setCurrentText(QString::fromUtf8(name));
    form.cboxVideoChange();
    Settle(200);
}

void Pick(TRadioGroup* group, int i) {
    group->Button(i)->click();
}

// Frame `n` of a clip as 24-bit RGB, decoded by ffmpeg.
QImage DecodedFrame(const std::string& clip, int n) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-i", QString::fromStdString(clip), "-vf",
                  QStringLiteral("select=eq(n\\,%1)").arg(n), "-frames:v", "1", "-f", "image2pipe",
                  "-vcodec", "ppm", "-"});
    if (!ffmpeg.waitForFinished(30000)) {
        return {};
    }
    QImage frame;
    frame.loadFromData(ffmpeg.readAllStandardOutput(), "PPM");
    return frame;
}

int RedPixels(const QImage& frame, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = frame.pixel(x, y);
            n += qRed(p) > 140 && qGreen(p) < 90 && qBlue(p) < 90;
        }
    }
    return n;
}

} // namespace

TEST(InlayControl, theTextIsDrawnIntoTheCapturedFramesWhereItWasPlaced) {
    // Left aligned, anchored at x = 50 and y = 930 - 830 = 100 thousandths; automatic size.
    Recorder r(kPattern, {{"Want Incrust", 0},
                          {"What Incrust", 0},
                          {"Position X", 50},
                          {"position Y", 830},
                          {"Alignement", 0},
                          {"Taille automatique", 1}});
    TCaptureForm& form = r.form;
    // Red text, through the font dialog.
    form.RunDialog = [](QDialog& dialog) {
        static_cast<TInlayFontDialog&>(dialog).SetColour(0x0000FF);
        return static_cast<int>(QDialog::Accepted);
    };
    form.IncrusterFrame()->SpeedButton4->click();
    EXPECT_EQ(prefs::IncrustFont->Font.Color, 0x0000FFu);

    QAction* inlay = r.Action("acIncruster");
    EXPECT_EQ(inlay->text(), "Inlay");
    r.Key(Qt::Key_F12);
    ASSERT_TRUE(inlay->isChecked());
    EXPECT_EQ(inlay->text(), "Stop inlay");
    EXPECT_EQ(inlay->toolTip(), "Stop inlaying a date");
    EXPECT_TRUE(prefs::IncrustationOn->Value);
    EXPECT_TRUE(prefs::WantIncrust->Value);
    EXPECT_TRUE(form.StatusBar()->StatusMode.contains(" IN"));

    r.Format("DV type 2 (recomp)");
    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing)
        << (r.prompt.shown.empty() ? "" : r.prompt.shown.back());
    const std::string clip = form.Run()->CurrentFile();
    Settle(1500);
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());

    const QImage frame = DecodedFrame(clip, 10);
    ASSERT_EQ(frame.size(), QSize(720, 576)) << clip;
    // Cells of 28 pixels: the first line from y = 57 - 28, the second from 57, from x = 36.
    EXPECT_GT(RedPixels(frame, QRect(36, 29, 300, 56)), 100);
    // Nothing red anywhere else: the pattern is a white ball and a white clock on black.
    EXPECT_EQ(RedPixels(frame, QRect(0, 120, 720, 456)), 0);
    EXPECT_LT(RedPixels(frame, QRect(0, 0, 30, 120)), 5);

    // F12 again: off, and the action says so.
    r.Key(Qt::Key_F12);
    EXPECT_FALSE(inlay->isChecked());
    EXPECT_EQ(inlay->text(), "Inlay");
    EXPECT_EQ(inlay->toolTip(), "Start inlay");
    EXPECT_FALSE(prefs::IncrustationOn->Value);
}

TEST(InlayControl, theChoicesFollowTheSourceAndSceneFallsBackToDaily) {
    Recorder r({{"Source video", "DV Source - Video"}, {"Source Audio", "No Audio Stream"}},
               {{"When Incrust", 0}, {"What Incrust", 1}});
    TCaptureForm& form = r.form;
    TIncrusterFrame* panel = form.IncrusterFrame();
    ASSERT_EQ(panel->rgWhat->Count(), 3);
    ASSERT_EQ(panel->rgWhen->Count(), 3);
    EXPECT_EQ(panel->rgWhat->ItemIndex(), 1);
    EXPECT_TRUE(panel->gbDecalage->isVisibleTo(panel));
    Pick(panel->rgWhen, 2);
    EXPECT_EQ(prefs::WhenIncrust->Value, 2);

    // Not DV: the real time only, once or daily.
    ChooseVideo(form, "Vidorel Test Pattern");
    EXPECT_EQ(panel->rgWhat->Count(), 1);
    EXPECT_EQ(panel->rgWhat->ItemIndex(), 0);
    ASSERT_EQ(panel->rgWhen->Count(), 2);
    EXPECT_EQ(panel->rgWhen->ItemIndex(), 1);
    EXPECT_EQ(prefs::WhenIncrust->Value, 1);
    EXPECT_FALSE(panel->gbDecalage->isVisibleTo(panel));

    // Back to DV: the full lists, Daily still chosen.
    ChooseVideo(form, "DV Source - Video");
    EXPECT_EQ(panel->rgWhen->Count(), 3);
    EXPECT_EQ(panel->rgWhen->ItemIndex(), 1);
    EXPECT_EQ(panel->rgWhat->Count(), 3);
}

TEST(InlayControl, formatLinesAndTheTimeDifferenceDialog) {
    Recorder r(kPattern, {{"Décalage avancé", 1}});
    TCaptureForm& form = r.form;
    TIncrusterFrame* panel = form.IncrusterFrame();

    panel->edFormat1->setText("tt");
    EXPECT_EQ(prefs::FormatDatecode1->Value, "tt");
    panel->edFormat1->setText("");
    EXPECT_EQ(panel->edFormat1->text(), " ");
    EXPECT_EQ(prefs::FormatDatecode1->Value, " ");

    ASSERT_TRUE(panel->sbDecalageAvance->isVisibleTo(panel->gbDecalage));
    EXPECT_EQ(panel->RxDecalage->value(), 0);
    // Adds `h` hours and `m` minutes to the fixed time the dialog opens with (or, after
    // `fromZero`, to the tape's time).
    const auto typeDifference = [&form](int h, int m, bool fromZero) {
        form.RunDialog = [h, m, fromZero](QDialog& dialog) {
            auto& d = static_cast<TDecalageForm&>(dialog);
            if (fromZero) {
                d.NowBtn->click();
            }
            d.RxSpinEdit4->setValue(d.RxSpinEdit4->value() + h);
            d.RxSpinEdit5->setValue(d.RxSpinEdit5->value() + m);
            return static_cast<int>(QDialog::Accepted);
        };
        form.sbDecalageAvanceClick();
    };
    // Half an hour leaves the hours box at 0: the difference stays exact.
    typeDifference(0, 30, false);
    EXPECT_EQ(panel->RxDecalage->value(), 0);
    EXPECT_DOUBLE_EQ(prefs::DecalageHoraire->Value, 0.5 / 24);
    EXPECT_EQ(panel->LabDecalage->text(), "0 days 0h 30m 0s");
    // 2 h 30 min: the hours box moves to 2, and its handler keeps whole hours.
    typeDifference(2, 30, true);
    EXPECT_EQ(panel->RxDecalage->value(), 2);
    EXPECT_DOUBLE_EQ(prefs::DecalageHoraire->Value, 2.0 / 24);
    EXPECT_EQ(panel->LabDecalage->text(), "0 days 2h 0m 0s");
    // Cancel changes nothing.
    form.RunDialog = [](QDialog& dialog) {
        static_cast<TDecalageForm&>(dialog).RxSpinEdit4->setValue(9);
        return static_cast<int>(QDialog::Rejected);
    };
    form.sbDecalageAvanceClick();
    EXPECT_DOUBLE_EQ(prefs::DecalageHoraire->Value, 2.0 / 24);
}

TEST(InlayControl, showingTheSlidersSwitchesTheInlayOn) {
    Recorder r(kPattern, {{"Want Incrust", 0}, {"Position X", 930}, {"position Y", 70}});
    TCaptureForm& form = r.form;
    QSlider* x = form.findChild<QSlider*>("Xslider");
    QSlider* y = form.findChild<QSlider*>("Yslider");
    ASSERT_FALSE(x->isVisible());
    ASSERT_FALSE(r.Action("acIncruster")->isChecked());
    r.Key(Qt::Key_Y, Qt::AltModifier);
    EXPECT_TRUE(x->isVisible());
    EXPECT_TRUE(y->isVisible());
    EXPECT_EQ(x->maximum(), 970);
    EXPECT_EQ(y->maximum(), 930);
    EXPECT_EQ(x->value(), 930);
    EXPECT_EQ(y->value(), 70);
    EXPECT_TRUE(r.Action("acIncruster")->isChecked());
    EXPECT_TRUE(prefs::IncrustationOn->Value);
    EXPECT_EQ(r.Action("acSliders")->text(), "Hide the sliders of inlay");
    y->setValue(500);
    EXPECT_EQ(prefs::PositionY->Value, 500);
    form.ShowPanel(4);
    Settle(300);
    form.grab().save(QStringLiteral("window-inlay.png")); // for a look by eye
    // Hidden again, the inlay stays.
    r.Key(Qt::Key_Y, Qt::AltModifier);
    EXPECT_FALSE(x->isVisible());
    EXPECT_EQ(r.Action("acSliders")->text(), "Show the sliders of inlay");
    EXPECT_TRUE(prefs::IncrustationOn->Value);
}

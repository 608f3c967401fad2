#include "app/SourcesFrame.h"

#include "app/Controls.h"
#include "settings/Preferences.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include <cmath>

namespace vidorel {

namespace {

QToolButton* IconButton(QWidget* parent, const char* name, QRect geometry,
                        QStyle::StandardPixmap icon) {
    auto* b = Make<QToolButton>(name, parent);
    b->setGeometry(geometry);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setAutoRaise(true);
    return b;
}

} // namespace

TSourcesFrame::TSourcesFrame(QWidget* parent) : TPanelFrame("SourcesFrame", parent) {
    gbVideo = Make<QGroupBox>("gbVideo", this, 4, 2, 267, 78);
    cboxvideo = Make<QComboBox>("cboxvideo", gbVideo, 8, 20, 200, 24);
    sbVideoSettings = IconButton(gbVideo, "sbVideoSettings", {212, 20, 24, 24},
                                 QStyle::SP_FileDialogDetailedView);
    sbVideoPilotVCR =
        IconButton(gbVideo, "sbVideoPilotVCR", {238, 20, 24, 24}, QStyle::SP_MediaPlay);
    sbVideoPilotVCR->hide();
    LabVideo = Make<QLabel>("LabVideo", gbVideo, 10, 50, 250, 20);

    gbAudio = Make<QGroupBox>("gbAudio", this, 4, 84, 267, 104);
    cboxAudio = Make<QComboBox>("cboxAudio", gbAudio, 8, 20, 200, 24);
    sbAudioSettings = IconButton(gbAudio, "sbAudioSettings", {212, 20, 24, 24},
                                 QStyle::SP_FileDialogDetailedView);
    sbAudioPilotVCR =
        IconButton(gbAudio, "sbAudioPilotVCR", {238, 20, 24, 24}, QStyle::SP_MediaPlay);
    sbAudioPilotVCR->hide();
    LabAudio = Make<QLabel>("LabAudio", gbAudio, 10, 48, 250, 20);
    cbEntries = Make<QComboBox>("cbEntries", gbAudio, 8, 72, 200, 24);
    cbEntries->hide();

    gbFormatCapture = Make<QGroupBox>("gbFormatCapture", this, 4, 192, 267, 110);
    cbFormatCapture = Make<QComboBox>("cbFormatCapture", gbFormatCapture, 8, 20, 200, 24);
    sbFormatCapturesettings = IconButton(gbFormatCapture, "sbFormatCapturesettings",
                                         {212, 20, 24, 24}, QStyle::SP_FileDialogContentsView);
    labCorrection = Make<QLabel>("labCorrection", gbFormatCapture, 10, 52, 170, 22);
    rxCorrection = Make<QSpinBox>("rxCorrection", gbFormatCapture, 184, 50, 74, 24);
    rxCorrection->setRange(-1000, 1000);
    labFramerate = Make<QLabel>("labFramerate", gbFormatCapture, 10, 80, 170, 22);
    leFramerate = Make<QLineEdit>("leFramerate", gbFormatCapture, 184, 78, 74, 24);
    rxCorrection->hide();
    labCorrection->hide();
    leFramerate->hide();
    labFramerate->hide();

    gbFichier = Make<QGroupBox>("gbFichierSources", this, 4, 306, 267, 52);
    LabelVideo = Make<QLabel>("LabelVideo", gbFichier, 10, 22, 250, 20);
    LabelVideo->setCursor(Qt::PointingHandCursor);
    LabelVideo->installEventFilter(this);

    ActualiserVideoBtn = Make<QPushButton>("ActualiserVideoBtn", this, 4, 366, 150, 28);
    ActualiserVideoBtn->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    sbTapelog = IconButton(this, "sbTapelog", {239, 366, 32, 28}, QStyle::SP_DirOpenIcon);

    leFramerate->installEventFilter(this);
    QObject::connect(leFramerate, &QLineEdit::returnPressed, this, [this] {
        if (OnFramerateExit) {
            OnFramerateExit();
        }
    });
}

bool TSourcesFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LabelVideo && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && OnLabelVideoClick) {
        OnLabelVideoClick();
        return true;
    }
    if (watched == leFramerate && event->type() == QEvent::FocusOut && OnFramerateExit) {
        OnFramerateExit();
    }
    return TPanelFrame::eventFilter(watched, event);
}

bool TSourcesFrame::ParseFramerate(const QString& text, double* value) {
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) {
        return false;
    }
    *value = v;
    return true;
}

QString TSourcesFrame::FramerateText(double value) {
    QString text = QLocale().toString(value, 'f', 1);
    return text;
}

void TSourcesFrame::LoadPreferences() {
    const QSignalBlocker q1(leFramerate), q2(rxCorrection);
    leFramerate->setText(FramerateText(prefs::Framerate->Value));
    rxCorrection->setValue(prefs::CorrectionSync->Value);
}

void TSourcesFrame::StorePreferences() {
    double rate = 18.0;
    if (!ParseFramerate(leFramerate->text(), &rate)) {
        rate = 18.0;
    }
    prefs::Framerate->Value = rate;
    prefs::CorrectionSync->Value = rxCorrection->value();
}

const TTextTable& TSourcesFrame::Texts() const {
    return SourcesFrameTexts();
}

} // namespace vidorel

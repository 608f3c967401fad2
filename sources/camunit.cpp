#include "sources/camunit.h"

#include "settings/Preferences.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>

namespace vidorel {

TcamForm::TcamForm(int number, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), number_(number) {
    setObjectName(QStringLiteral("CamForm%1").arg(number));
    nav_captureframe1 = new Tnav_captureframe(this);
    TimecodePanel = new QLabel(this);
    TimecodePanel->setObjectName(QStringLiteral("TimecodePanel"));
    TimecodePanel->setFrameShape(QFrame::Panel);
    TimecodePanel->setFrameShadow(QFrame::Sunken);
    TimecodePanel->setAlignment(Qt::AlignCenter);
    QFont big = TimecodePanel->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    TimecodePanel->setFont(big);
    image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("image1"));
    image1->setPixmap(style()->standardIcon(QStyle::SP_ArrowRight).pixmap(16, 16));
    cbStopQuittant = new QCheckBox(this);
    cbStopQuittant->setObjectName(QStringLiteral("cbStopQuittant"));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->addWidget(nav_captureframe1, 0, 0, 1, 3);
    grid->addWidget(image1, 1, 0);
    grid->addWidget(TimecodePanel, 1, 1);
    grid->addWidget(cbStopQuittant, 1, 2);
    grid->addWidget(Label1, 2, 0, 1, 3);
    ApplyEnglishTexts();
    ShowCurrentMarker(false);
}

TcamForm::~TcamForm() {
    // A window that goes with its box ticked stops its tape once more (nothing when no
    // transport is left).
    if (StopWhenQuit()) {
        RunStopAction();
    }
}

void TcamForm::ApplyEnglishTexts() {
    QFont arial = font();
    arial.setFamily(QStringLiteral("Arial"));
    setFont(arial);
    setWindowTitle(QStringLiteral("camForm"));
    TimecodePanel->setText(QStringLiteral("0:00:00:00"));
    TimecodePanel->setToolTip(QStringLiteral("Timecode on the DV tape"));
    cbStopQuittant->setText(QStringLiteral("Stop when quit"));
    cbStopQuittant->setToolTip(
        QStringLiteral("If checked, the DV camcorder will automatically stop when the "
                       "application closes"));
    Label1->setText(QStringLiteral("Label1"));
    // The buttons show their actions' hints.
    nav_captureframe1->ReculeRapideAction->setToolTip(QStringLiteral("Fast rewind"));
    nav_captureframe1->ReculeLentAction->setToolTip(QStringLiteral("Slow rewind"));
    nav_captureframe1->AvanceLentAction->setToolTip(QStringLiteral("Slow forward"));
    nav_captureframe1->AvanceRapideAction->setToolTip(QStringLiteral("Fast forward"));
}

void TcamForm::LoadPreferences() {
    const bool first = number_ == 1;
    move((first ? prefs::Camform1Left : prefs::Camform2Left)->Value,
         (first ? prefs::Camform1Top : prefs::Camform2Top)->Value);
    cbStopQuittant->setChecked((first ? prefs::StopperCameraDV1 : prefs::StopperCameraDV2)->Value);
    showWanted_ = (first ? prefs::ShowVideoPilotDV : prefs::ShowAudioPilotDV)->Value;
}

void TcamForm::StorePreferences() {
    const bool first = number_ == 1;
    (first ? prefs::Camform1Left : prefs::Camform2Left)->Value = x();
    (first ? prefs::Camform1Top : prefs::Camform2Top)->Value = y();
    (first ? prefs::StopperCameraDV1 : prefs::StopperCameraDV2)->Value =
        cbStopQuittant->isChecked();
    (first ? prefs::ShowVideoPilotDV : prefs::ShowAudioPilotDV)->Value = showWanted_;
}

void TcamForm::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

void TcamForm::SetTransport(std::shared_ptr<devices::TTapeTransport> transport,
                            std::shared_ptr<devices::TTapeTransport> timecodeReader) {
    nav_captureframe1->SetTransport(std::move(transport), std::move(timecodeReader));
}

void TcamForm::ClearTransport() {
    nav_captureframe1->ClearTransport();
}

bool TcamForm::StopWhenQuit() const {
    return cbStopQuittant->isChecked();
}

void TcamForm::RunStopAction() {
    nav_captureframe1->StopAction->trigger();
}

void TcamForm::ShowCurrentMarker(bool shown) {
    markerShown_ = shown;
    // The place stays taken, so the window does not change its layout.
    QSizePolicy keep = image1->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    image1->setSizePolicy(keep);
    image1->setVisible(shown);
}

void TcamForm::ShowCodes(const std::string& timecode, const std::string& recordingDate) {
    // A camcorder that reads no timecode leaves the last one shown.
    if (nav_captureframe1->TimecodeAvailable && !timecode.empty()) {
        TimecodePanel->setText(QString::fromStdString(timecode));
    }
    Label1->setText(QString::fromStdString(recordingDate));
}

} // namespace vidorel

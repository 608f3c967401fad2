// The capture controller: the four states (preview, capturing, scheduled, scheduled capture),
// starting, cutting and finishing a run on the live graph, the schedule's alarm, the next file
// names, the status bar while recording, and the companion program.

#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/DossiersFrame.h"
#include "app/Icons.h"
#include "app/OptionsFrame.h"
#include "app/OutputNames.h"
#include "app/ProgrammerFrame.h"
#include "app/SourcesFrame.h"
#include "app/StatusBar.h"
#include "graph/AVgraph.h"
#include "graph/CaptureFormats.h"
#include "graph/CaptureRun.h"
#include "platform/DateTime.h"
#include "settings/Preferences.h"
#include "sources/CamcorderBinding.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

namespace vidorel {

namespace {

// Holds the controller's door shut while it works; a second entry finds it shut.
class TGuard {
public:
    explicit TGuard(bool& flag) : flag_(flag), entered_(!flag) { flag_ = true; }
    ~TGuard() {
        if (entered_) {
            flag_ = false;
        }
    }
    bool Entered() const { return entered_; }

private:
    bool& flag_;
    const bool entered_;
};

QString ClockText(const QDateTime& t) {
    return t.time().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

void TCaptureForm::Tell(PromptKind kind, const std::string& text) {
    prompt_->Show(kind, text, PromptButtons::Ok);
}

// --- the toggles ---

void TCaptureForm::acCapturerBasculeExecute() {
    TGuard guard(controllerBusy_);
    if (!guard.Entered() || stopping_ || dm_ == nullptr) {
        return;
    }
    switch (captureState_) {
    case CaptureState::Preview:
        if (StartCapture()) {
            EnterCapturing();
        }
        break;
    case CaptureState::Capturing:
        StopCapture([this] { EnterPreview(); });
        break;
    case CaptureState::Scheduled:
        if (StartCapture()) {
            ArmScheduleEnd();
            EnterScheduledCapturing();
        } else {
            EnterPreview();
            DisarmSchedule();
        }
        break;
    case CaptureState::ScheduledCapturing:
        StopCapture([this] {
            EnterPreview();
            DisarmSchedule();
        });
        break;
    }
}

void TCaptureForm::acProgrammerBasculeExecute() {
    TGuard guard(controllerBusy_);
    if (!guard.Entered() || stopping_) {
        return;
    }
    switch (captureState_) {
    case CaptureState::Preview:
        if (ArmSchedule()) {
            EnterScheduled();
        }
        break;
    case CaptureState::Capturing:
        if (ArmScheduleEnd()) {
            EnterScheduledCapturing();
        } else {
            Tell(PromptKind::Error,
                 "It's not possible to schedule the end of a capture to a past date and time");
        }
        break;
    case CaptureState::Scheduled:
        DisarmSchedule();
        EnterPreview();
        break;
    case CaptureState::ScheduledCapturing:
        // The run goes on, with no end.
        DisarmSchedule();
        EnterCapturing();
        break;
    }
}

// --- a run ---

bool TCaptureForm::ConfirmOutputFile(bool offerAll, PromptKind folderKind) {
    if (!prefs::ConfirmerVideo->Value) {
        return true;
    }
    if (QFileInfo::exists(QString::fromStdString(nextVideoName_))) {
        std::string question =
            "The file " + nextVideoName_ + " exists already. Do you want to crush it?";
        if (offerAll) {
            question += "\r\nIf you click on \"All\", then you will no more be prompted for "
                        "confirmation";
        }
        const PromptAnswer a =
            prompt_->Show(PromptKind::Warning, question,
                          offerAll ? PromptButtons::YesNoAll : PromptButtons::YesNo);
        if (a == PromptAnswer::All) {
            optionsFrame_->cbConfirmerVideo->setChecked(false);
            prefs::ConfirmerVideo->Value = false;
        } else if (a != PromptAnswer::Yes) {
            return false;
        }
    }
    const QString folder = QFileInfo(QString::fromStdString(nextVideoName_)).absolutePath();
    if (prefs::ConfirmerVideo->Value && !QFileInfo::exists(folder)) {
        const PromptAnswer a = prompt_->Show(folderKind,
                                             "The folder " + folder.toStdString() +
                                                 " does not exist.\r\nDo you want to create it?",
                                             PromptButtons::YesNo);
        if (a != PromptAnswer::Yes) {
            return false;
        }
    }
    return true;
}

bool TCaptureForm::StartCapture() {
    if (dm_ == nullptr || run_ || stopping_) {
        return false;
    }
    const auto refuse = [this] {
        actions_->acCapturerBascule->setChecked(false);
        return false;
    };
    // In Scheduled the questions were asked when the schedule was armed.
    if (captureState_ == CaptureState::Preview && !ConfirmOutputFile(true, PromptKind::Warning)) {
        return refuse();
    }
    // The folder as it is now: a folder changed while a schedule waited is the one used.
    const QString folder = QFileInfo(QString::fromStdString(nextVideoName_)).absolutePath();
    if (!QDir().mkpath(folder)) {
        Tell(PromptKind::Error, "The folder " + folder.toStdString() +
                                    " cannot be created.\r\nThe capture did not start.");
        return refuse();
    }
    captureFileName_ = nextVideoName_;
    // The preview's deinterlacer is off for the whole run: it would cost frames.
    savedDeinterlace_ = prefs::DeinterlacerOn->Value;
    if (prefs::WantDeinter->Value) {
        actions_->acDesentrelacer->setChecked(true);
        actions_->acDesentrelacer->trigger();
    }
    const TCaptureFormat format = static_cast<TCaptureFormat>(prefs::CaptureFormat->Value);
    run_ = std::make_unique<TCaptureRun>(*dm_, format, CaptureSettingsFromPreferences());
    run_->SetOnEnded([this](const std::string& reason) {
        // Told from the graph's handling; the stop runs from the event loop.
        QTimer::singleShot(0, this, [this, reason] { RunEndedByItself(reason); });
    });
    std::string why;
    if (!run_->Start(captureFileName_, &why)) {
        run_.reset();
        RestoreDeinterlacer();
        Tell(PromptKind::Error, "The capture could not start:\r\n" + why);
        return refuse();
    }
    captureClock_.start();
    ApplyVolume();
    if (format == CaptureFormat::ImageByImage) {
        SetImageByImageMode(true);
    }
    return true;
}

void TCaptureForm::RestoreDeinterlacer() {
    if (savedDeinterlace_ && !prefs::WantDeinter->Value) {
        actions_->acDesentrelacer->setChecked(false);
        actions_->acDesentrelacer->trigger();
    }
    savedDeinterlace_ = false;
}

void TCaptureForm::StopCapture(std::function<void()> then) {
    if (!run_) {
        if (then) {
            then();
        }
        return;
    }
    if (stopping_) {
        return;
    }
    stopping_ = true;
    // A grab from now on is a still again, not a frame of the file being finished.
    if (imageByImageActive_) {
        SetImageByImageMode(false);
    }
    actions_->acCapturerBascule->setEnabled(false);
    actions_->acCouper->setEnabled(false);
    // The file being written keeps its name; the next run gets the next one.
    AdvanceVideoName();
    run_->Stop([this, then](const TCaptureOutcome& outcome) {
        // After the run's own call returns: the run may go then.
        QTimer::singleShot(0, this, [this, outcome, then] { StopFinished(outcome, then); });
    });
}

void TCaptureForm::StopFinished(const TCaptureOutcome& outcome, const std::function<void()>& then) {
    run_.reset();
    stopping_ = false;
    RestoreDeinterlacer();
    ApplyVolume();
    actions_->acCapturerBascule->setEnabled(true);
    if (then) {
        then();
    }
    if (closed_) {
        // At close only the lost-frames question is still asked.
    } else if (!outcome.Ended.empty()) {
        Tell(PromptKind::Warning, "The capture has stopped:\r\n" + outcome.Ended);
    } else if (outcome.Failed) {
        std::string why;
        for (const auto& p : outcome.Pieces) {
            if (!p.Error.empty()) {
                why += p.File + ": " + p.Error + "\r\n";
            }
        }
        Tell(PromptKind::Warning, "The capture did not record everything:\r\n" + why);
    }
    if (!closed_) {
        for (const TCapturePiece& piece : outcome.Pieces) {
            if (piece.Restored) {
                Tell(PromptKind::Warning, "The folder of " + piece.File +
                                              " was removed during the capture.\r\n"
                                              "The file has been written there again.");
            }
        }
    }
    // Asked once the preview is back, so nothing waits on the answer.
    for (const TCapturePiece& piece : outcome.Pieces) {
        if (piece.SceneFile.empty() || piece.LostFrames == 0 ||
            !QFileInfo::exists(QString::fromStdString(piece.SceneFile))) {
            continue;
        }
        char text[1024];
        std::snprintf(text, sizeof text,
                      "%llu frames have been lost during capture.\r\nThe .scn file created in "
                      "real time is probably not accurate.\r\n It is recommended to delete it "
                      "and to recreate one with Tapelog.\r\n\r\n Do you want to delete %s?",
                      static_cast<unsigned long long>(piece.LostFrames), piece.SceneFile.c_str());
        if (prompt_->Show(PromptKind::Warning, text, PromptButtons::YesNo) == PromptAnswer::Yes) {
            // To the trash, where it can be fetched back; left in place when that fails.
            QFile::moveToTrash(QString::fromStdString(piece.SceneFile));
        }
    }
}

void TCaptureForm::RunEndedByItself(const std::string& reason) {
    (void)reason; // the outcome carries it
    if (!run_ || stopping_) {
        return;
    }
    const bool scheduled = captureState_ == CaptureState::ScheduledCapturing;
    StopCapture([this, scheduled] {
        if (scheduled) {
            DisarmSchedule();
        }
        EnterPreview();
    });
}

void TCaptureForm::acCouperExecute() {
    TGuard guard(controllerBusy_);
    if (!guard.Entered() || !run_ || stopping_ ||
        (captureState_ != CaptureState::Capturing &&
         captureState_ != CaptureState::ScheduledCapturing)) {
        return;
    }
    AdvanceVideoName();
    std::string why;
    if (!run_->Cut(nextVideoName_, &why)) {
        // The current file records on under its own name.
        --videoCounter_;
        ComputeNextVideoName();
        Tell(PromptKind::Error, "The capture could not go on into a new file:\r\n" + why);
    }
    ApplyVolume();
}

// --- the states ---

void TCaptureForm::EnterPreview() {
    captureState_ = CaptureState::Preview;
    ApplyStateControls();
    UpdateStatusTexts();
    const bool any = dm_ != nullptr && (dm_->CurrentVideo || dm_->CurrentAudio);
    actions_->acCapturerBascule->setEnabled(any && !stopping_);
    // A camcorder in VCR mode gets its button, and its window as the user wants it.
    ShowCamcorderControls();
}

bool TCaptureForm::EnterCapturing() {
    captureState_ = CaptureState::Capturing;
    ApplyStateControls();
    const TCaptureFormat format = static_cast<TCaptureFormat>(prefs::CaptureFormat->Value);
    QString sources;
    if (dm_ != nullptr && dm_->CurrentVideo && format != CaptureFormat::Wav &&
        format != CaptureFormat::Mp3) {
        sources =
            QStringLiteral("Vid: ") + sourcesFrame_->cboxvideo->currentText().left(3).toUpper();
    }
    if (dm_ != nullptr && dm_->CurrentAudio && format != CaptureFormat::ImageByImage) {
        if (!sources.isEmpty()) {
            sources += QStringLiteral(" - ");
        }
        sources += QStringLiteral("Aud: ") + sourcesFrame_->cboxAudio->currentText().left(3);
    }
    statusBar1_->StatusMode = sources;
    statusBar1_->StatusModeExtra.clear();
    DroppedActionTimer();
    return true;
}

bool TCaptureForm::EnterScheduled() {
    captureState_ = CaptureState::Scheduled;
    ApplyStateControls();
    QString mode = QStringLiteral("Schedule");
    if (prefs::MuteOn->Value) {
        mode += QStringLiteral(" MUTE");
    }
    if (actions_->acIncruster->isChecked()) {
        mode += QStringLiteral(" IN");
    }
    if (actions_->acElargir->isChecked()) {
        mode += prefs::WideScreen->Value ? QStringLiteral(" 16x9") : QStringLiteral(" 4x3");
    }
    if (prefs::VerticalFlip->Value) {
        mode += QStringLiteral(" V");
    }
    statusBar1_->StatusMode = mode;
    QString extra;
    if (prefs::HorizontalFlip->Value) {
        extra += QStringLiteral(" H");
    }
    if (actions_->acDesentrelacer->isChecked()) {
        extra += QStringLiteral(" DEINT");
    }
    statusBar1_->StatusModeExtra = extra;
    statusBar1_->StatusInfo = QStringLiteral("Start at ") + ClockText(alarm_.When());
    statusBar1_->Refresh();
    return true;
}

bool TCaptureForm::EnterScheduledCapturing() {
    captureState_ = CaptureState::ScheduledCapturing;
    ApplyStateControls();
    statusBar1_->StatusMode = alarm_.Armed() && alarm_.Target() == TScheduleAlarm::TTarget::End
                                  ? QStringLiteral("Capture until ") + ClockText(alarm_.When())
                                  : QStringLiteral("Capture");
    statusBar1_->StatusModeExtra.clear();
    DroppedActionTimer();
    return true;
}

void TCaptureForm::ApplyStateControls() {
    const CaptureState s = captureState_;
    const bool recording = s == CaptureState::Capturing || s == CaptureState::ScheduledCapturing;
    const bool scheduled = s == CaptureState::Scheduled || s == CaptureState::ScheduledCapturing;
    // The frame around the preview and the inlay sliders say the state at a glance.
    QColor colour = palette().color(QPalette::Button);
    if (s == CaptureState::Capturing) {
        colour = Qt::red;
    } else if (s == CaptureState::Scheduled) {
        colour = Qt::yellow;
    } else if (s == CaptureState::ScheduledCapturing) {
        colour = Qt::magenta;
    }
    for (QWidget* w : std::initializer_list<QWidget*>{shape2_, xslider_, yslider_}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, colour);
        pal.setColor(QPalette::WindowText, colour);
        pal.setColor(QPalette::Button, colour);
        w->setPalette(pal);
        w->setAutoFillBackground(w == shape2_);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{
             sourcesFrame_->gbVideo, sourcesFrame_->gbAudio, sourcesFrame_->gbFormatCapture,
             sourcesFrame_->ActualiserVideoBtn}) {
        w->setEnabled(!recording);
    }
    programmerFrame_->gbDebut->setVisible(!recording);
    programmerFrame_->NowBtn->setVisible(!recording);
    if (s != CaptureState::Scheduled) {
        optionsFrame_->gbProfiles->setEnabled(!recording);
        dossiersFrame_->gbFichier->setEnabled(!recording);
    }
    actions_->acCouper->setEnabled(recording);
    actions_->acDesentrelacer->setEnabled(!recording && effectsAllowed_ &&
                                          (dm_ == nullptr || dm_->CurrentVideo != nullptr));
    QAction* capture = actions_->acCapturerBascule;
    if (recording) {
        capture->setText(QStringLiteral("Stop Capture"));
        capture->setToolTip(
            QStringLiteral("Stop the capture.\nYou may also stop the capture with the space bar."));
        capture->setIcon(GlyphIcon(QStringLiteral("\u25a0")));
    } else {
        capture->setText(QStringLiteral("Capture"));
        capture->setToolTip(QStringLiteral(
            "Capture the current streams on the hard disk.\nYou may also start capture with the "
            "space bar."));
        const TCaptureFormat f = static_cast<TCaptureFormat>(prefs::CaptureFormat->Value);
        const bool soundOnly = dm_ == nullptr || !dm_->CurrentVideo || f == CaptureFormat::Wav ||
                               f == CaptureFormat::Mp3;
        capture->setIcon(
            GlyphIcon(soundOnly ? QStringLiteral("\u266a") : QStringLiteral("\u25cf"), Qt::red));
    }
    QAction* schedule = actions_->acProgrammerBascule;
    schedule->setText(scheduled ? QStringLiteral("Stop Prog") : QStringLiteral("Schedule"));
    schedule->setToolTip(scheduled ? QStringLiteral("Stop the scheduling")
                                   : QStringLiteral("Start the scheduling"));
    programmerFrame_->ProgBtn->setText(schedule->text());
    programmerFrame_->ProgBtn->setToolTip(schedule->toolTip());
    statusBar1_->Refresh();
}

// --- the camcorder codes ---

std::string CamcorderTimecodeText(uint32_t packedBcd) {
    // The packed frame count as ten hexadecimal digits: 00hhmmssff.
    char digits[16];
    std::snprintf(digits, sizeof digits, "%.10x", packedBcd);
    std::string hours(digits + 2, 2);
    if (hours[0] == '0') {
        hours.erase(0, 1);
    }
    return hours + ":" + std::string(digits + 4, 2) + ":" + std::string(digits + 6, 2) + ":" +
           std::string(digits + 8, 2);
}

void TCaptureForm::ShowCamcorderCodes(const std::shared_ptr<TavFlux>& stream) {
    if (!stream || stream->CamForm == nullptr || !stream->CamForm->TransportAvailable() ||
        !stream->Device) {
        return;
    }
    std::string timecode;
    if (auto transport = stream->Device->Transport()) {
        uint32_t bcd = 0;
        if (transport->Timecode(bcd)) {
            timecode = CamcorderTimecodeText(bcd);
        }
    }
    std::string date;
    if (GstElement* element = stream->Device->SceneDetectorElement()) {
        if (auto* detector = FilterCast<Tzv_SceneDetect>(element)) {
            const double when = detector->Current().RecDateTime;
            if (when > 0) {
                date = FormatDateTime("dddd ddddd tt", when);
            }
        }
    }
    stream->CamForm->ShowCodes(timecode, date);
}

// --- the status bar while recording ---

void TCaptureForm::DroppedActionTimer() {
    // The camcorder windows follow their tapes in every state.
    if (dm_ != nullptr) {
        ShowCamcorderCodes(dm_->CurrentVideo);
        if (dm_->CurrentAudio &&
            (!dm_->CurrentVideo || dm_->CurrentAudio->CamForm != dm_->CurrentVideo->CamForm)) {
            ShowCamcorderCodes(dm_->CurrentAudio);
        }
    }
    if (!run_ || (captureState_ != CaptureState::Capturing &&
                  captureState_ != CaptureState::ScheduledCapturing)) {
        return;
    }
    const int64_t seconds = captureClock_.isValid() ? captureClock_.elapsed() / 1000 : 0;
    statusBar1_->StatusCapture = QString::fromStdString(CaptureDurationText(seconds));
    const uint64_t frames = run_->Frames();
    const uint64_t lost = run_->LostFrames();
    statusBar1_->StatusInfo =
        QString::fromStdString(CaptureInfoText(run_->Format(), lost, frames + lost, frames));
    statusBar1_->Refresh();
}

// --- the schedule ---

bool TCaptureForm::ArmSchedule() {
    if (!ConfirmOutputFile(false, PromptKind::Error)) {
        return false;
    }
    captureFileName_ = nextVideoName_;
    const QDateTime now = Clock();
    const QDateTime start = programmerFrame_->StartDateTime();
    const QDateTime end = programmerFrame_->EndDateTime();
    switch (CheckSchedule(now, start, end)) {
    case TScheduleCheck::EndInPast:
        Tell(PromptKind::Error,
             "It's not possible to schedule the end of a capture to a past date and time");
        return false;
    case TScheduleCheck::EndNotAfterStart:
        Tell(PromptKind::Error, "The end of a scheduled capture must come after its start.");
        return false;
    case TScheduleCheck::StartInPast:
        if (prompt_->Show(PromptKind::Error,
                          "It's not possible to schedule the start of a capture to a past date "
                          "and time\r\nDo you want to start immediately the capture?",
                          PromptButtons::YesNo) == PromptAnswer::Yes) {
            captureState_ = CaptureState::Scheduled;
            lancerEnregistrement();
        }
        return false;
    case TScheduleCheck::Ok:
        break;
    }
    alarm_.Arm(start, TScheduleAlarm::TTarget::Start);
    return true;
}

bool TCaptureForm::ArmScheduleEnd() {
    const QDateTime end = programmerFrame_->EndDateTime();
    if (!EndDateUsable(Clock(), end)) {
        return false;
    }
    alarm_.Arm(end, TScheduleAlarm::TTarget::End);
    return true;
}

void TCaptureForm::DisarmSchedule() {
    alarm_.Disarm();
}

void TCaptureForm::lancerEnregistrement() {
    if (captureState_ != CaptureState::Scheduled) {
        return;
    }
    DisarmSchedule();
    if (StartCapture()) {
        ArmScheduleEnd();
        EnterScheduledCapturing();
    } else {
        EnterPreview();
    }
}

void TCaptureForm::stopperEnregistrement() {
    if (captureState_ != CaptureState::ScheduledCapturing) {
        return;
    }
    DisarmSchedule();
    StopCapture([this] { EnterPreview(); });
}

void TCaptureForm::CheckAlarm() {
    if (controllerBusy_ || stopping_) {
        return; // the next second looks again
    }
    switch (alarm_.Tick(Clock())) {
    case TScheduleAlarm::TTarget::Start: {
        TGuard guard(controllerBusy_);
        lancerEnregistrement();
        break;
    }
    case TScheduleAlarm::TTarget::End: {
        TGuard guard(controllerBusy_);
        stopperEnregistrement();
        break;
    }
    case TScheduleAlarm::TTarget::None:
        break;
    }
}

void TCaptureForm::ScheduleFieldsChanged(bool start) {
    if (start && captureState_ == CaptureState::Scheduled) {
        alarm_.Move(programmerFrame_->StartDateTime());
        statusBar1_->StatusInfo = QStringLiteral("Start at ") + ClockText(alarm_.When());
        statusBar1_->Refresh();
    } else if (!start && captureState_ == CaptureState::ScheduledCapturing &&
               alarm_.Target() == TScheduleAlarm::TTarget::End) {
        alarm_.Move(programmerFrame_->EndDateTime());
        statusBar1_->StatusMode = QStringLiteral("Capture until ") + ClockText(alarm_.When());
        statusBar1_->StatusModeExtra.clear();
        statusBar1_->Refresh();
    }
}

// --- names ---

void TCaptureForm::AdvanceVideoName() {
    ++videoCounter_;
    ComputeNextVideoName();
}

void TCaptureForm::AdvanceImageName() {
    ++imageCounter_;
    ComputeNextImageName();
}

// --- the companion program ---

void TCaptureForm::acTapelogExecute() {
    const QString exe = QString::fromStdString(prefs::Tapelog->Value);
    QWidget* icon =
        aproposFrame_ != nullptr ? findChild<QWidget*>(QStringLiteral("imgTapelog")) : nullptr;
    if (exe.isEmpty() || !QFileInfo(exe).isFile()) {
        Tell(PromptKind::Information,
             "Tapelog by Marlott has not been found on this computer.\r\nIf it is present, "
             "please indicate its name and path in the Settings panel (ALT+D).");
        if (icon != nullptr) {
            icon->setToolTip(QStringLiteral("Tapelog by Marlott has not been found."));
        }
        return;
    }
    if (icon != nullptr) {
        icon->setToolTip(
            QStringLiteral("Click on the icon to open the captured clips with Tapelog by Marlott"));
    }
    // The clips of this program run, numbered from 0, before the pending name; as a list of
    // arguments, never through a shell.
    const QString next = QString::fromStdString(nextVideoName_);
    const QString prefix = next.left(next.lastIndexOf(QLatin1Char('_')) + 1);
    QStringList clips;
    for (int n = 0; n < videoCounter_; ++n) {
        const QString clip = prefix + QString::number(n) + QStringLiteral(".avi");
        if (QFileInfo::exists(clip)) {
            clips << clip;
        }
    }
    if (!QProcess::startDetached(exe, clips)) {
        Tell(PromptKind::Error, "Tapelog could not be started: " + exe.toStdString());
    }
}

} // namespace vidorel

// The still grabs of the main window: the grab command, the picture the overlay hands over
// (deinterlaced, cut to the preview's shape, shown in the Grab panel and saved under the next
// image name), the intervalometer with its countdown and beeps, and the image-by-image format
// in which each grab puts one frame into the video file instead.
#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/DossiersFrame.h"
#include "app/ExtraireFrame.h"
#include "app/GrabWriter.h"
#include "app/GrabbedImage.h"
#include "app/Icons.h"
#include "app/Intervalometer.h"
#include "app/OptionsFrame.h"
#include "app/StatusBar.h"
#include "filters/deinter.h"
#include "filters/zv_superposer.h"
#include "graph/AVgraph.h"
#include "graph/CaptureRun.h"
#include "graph/DSFunctions.h"
#include "settings/Preferences.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

namespace vidorel {

namespace {

constexpr const char* kImageByImageText = "Capture Image by Image to a video";

} // namespace

void TCaptureForm::CreateGrabWriter() {
    grabWriter_ = std::make_unique<TGrabWriter>([this](const TGrabWriter::Result& result) {
        // On the writer's thread: the window hears of it on its own (dropped if it is gone).
        QMetaObject::invokeMethod(
            this, [this, result] { ImageWritten(result); }, Qt::QueuedConnection);
    });
    Beep = [](int secondsLeft) {
        if (secondsLeft == 0) {
            PlayBeep0();
        } else {
            PlayBeep1();
        }
    };
}

TExtraireFrame* TCaptureForm::ExtraireFrame() const {
    return extraireFrame_;
}

void TCaptureForm::acGrabExecute() {
    if (ActivePanel() != 3) {
        ShowPanel(3);
    }
    RequestGrab();
    extraireFrame_->Bevel3->hide();
}

void TCaptureForm::RequestGrab() {
    if (dm_ == nullptr) {
        return;
    }
    // In image-by-image mode the frame goes into the file when the picture arrives: one grab,
    // one frame, whichever way the grab was asked for.
    dm_->Superposer().GrabNow();
}

void TCaptureForm::ImageGrabbed(int slot) {
    if (dm_ == nullptr) {
        return;
    }
    Tzv_Superposer& overlay = dm_->Superposer();
    if (!overlay.SnapshotTaken(slot)) {
        return;
    }
    if (imageByImageActive_ && run_) {
        run_->RequestImage();
    }
    // A preview deinterlacer already did it; deinterlacing twice would blur the picture.
    grabPicture_ = GrabbedPicture(
        overlay.Snapshot(slot), !prefs::DeinterlacerOn->Value && prefs::InternalDeinterlacer->Value,
        grabScratch_);
    overlay.ReleaseSnapshot(slot);
    // The picture takes the shape the preview shows when the preview stretches it.
    const int mode = prefs::Elargir->Value ? (prefs::WideScreen->Value ? 2 : 1) : 0;
    ShowGrabbedImage(mode);
    SaveGrabbedImage();
}

void TCaptureForm::ShowGrabbedImage(int mode) {
    grabSaved_ = ShapedPicture(grabPicture_, mode);
    extraireFrame_->ShowPicture(grabSaved_);
    extraireFrame_->Bevel3->show();
}

void TCaptureForm::SaveGrabbedImage() {
    // The frame went into the video file.
    if (imageByImageActive_ || grabSaved_.isNull()) {
        return;
    }
    const QString path = QString::fromStdString(nextImageName_);
    if (prefs::ConfirmerImage->Value && QFileInfo::exists(path)) {
        const PromptAnswer a =
            prompt_->Show(PromptKind::Warning,
                          "The image " + QFileInfo(path).fileName().toStdString() +
                              " exists already. Do you want to replace it?\r\n"
                              "If you click on \"All\", then you will no more be prompted for "
                              "confirmation",
                          PromptButtons::YesNoAll);
        if (a == PromptAnswer::All) {
            optionsFrame_->cbConfirmerImage->setChecked(false); // stores the preference
        } else if (a != PromptAnswer::Yes) {
            return; // the picture is lost; the next grab asks for the same name
        }
    }
    TGrabWriter::Job job;
    job.Picture = grabSaved_;
    job.Path = nextImageName_;
    job.Jpeg = prefs::ExtensionDesImages->Value != 0;
    job.Quality = optionsFrame_->TrackBar1->value();
    if (!grabWriter_->Save(std::move(job))) {
        TellImageProblem("The picture " + QFileInfo(path).fileName().toStdString() +
                         " was not saved: the disk does not keep up with the grabs.");
        return;
    }
    AdvanceImageName();
}

void TCaptureForm::ImageWritten(const TGrabWriter::Result& result) {
    if (result.Ok) {
        imageProblemShown_ = false;
        return;
    }
    TellImageProblem("The picture " + result.Path + " could not be saved:\r\n" + result.Why);
}

void TCaptureForm::TellImageProblem(const std::string& text) {
    // Once until a picture is saved again: an intervalometer grabbing every frame into a full
    // disk would otherwise stack a message per frame.
    if (imageProblemShown_ || closed_) {
        return;
    }
    imageProblemShown_ = true;
    Tell(PromptKind::Error, text);
}

bool TCaptureForm::WaitForImageWrites(int timeoutMs) {
    return grabWriter_->WaitIdle(timeoutMs);
}

void TCaptureForm::GrabCountdown(int seconds) {
    secondsToGrab_ = seconds;
    extraireFrame_->ShowCountdown(seconds);
    if (prefs::Beeps->Value && seconds >= 0 && seconds <= 4 && Beep) {
        Beep(seconds);
    }
}

void TCaptureForm::SetImageByImageMode(bool on) {
    imageByImageActive_ = on;
    actions_->acGrab->setIcon(on ? GlyphIcon(QStringLiteral("\u25a6"), QColor(0xa0, 0x20, 0x20))
                                 : GlyphIcon(QStringLiteral("\u25a3"), QColor(0x20, 0x50, 0xa0)));
    if (on) {
        dossiersFrame_->LabelImage->setText(QString::fromUtf8(kImageByImageText));
        extraireFrame_->destlabel->setText(QString::fromUtf8(kImageByImageText));
    } else {
        ComputeNextImageName();
    }
}

void TCaptureForm::RxSwitch1Click(bool on) {
    if (dm_ == nullptr) {
        return;
    }
    Tzv_Superposer& overlay = dm_->Superposer();
    if (!on) {
        overlay.StopIntervalometer();
        UpdateStatusTexts();
        return;
    }
    const int value = extraireFrame_->RxSpinEdit7->value();
    const auto unit =
        static_cast<TIntervalUnit>(std::max(0, extraireFrame_->cbUnites->currentIndex()));
    const double rate = dm_->CurrentVideo ? dm_->Facts.FrameRate : 25.0;
    const auto period = IntervalometerPeriod(value, unit, rate);
    if (!period) {
        // Off again, then told: a switch showing "on" that never grabs helps nobody.
        overlay.StopIntervalometer();
        extraireFrame_->RxSwitch1->setChecked(false);
        Tell(PromptKind::Error, IntervalometerRefusal(value, unit, rate));
        return;
    }
    overlay.StartIntervalometer(*period);
    UpdateStatusTexts();
}

void TCaptureForm::IntervalometerVideoLost() {
    // The switch keeps its state for when a video stream is back; the overlay's count starts
    // again with the same period.
    if (extraireFrame_->RxSwitch1->isChecked()) {
        RxSwitch1Click(true);
    }
    extraireFrame_->RxSwitch1->setEnabled(false);
}

void TCaptureForm::IntervalometerVideoBack() {
    extraireFrame_->RxSwitch1->setEnabled(true);
    // The new stream may run at another rate: the period follows it.
    if (extraireFrame_->RxSwitch1->isChecked()) {
        RxSwitch1Click(true);
    }
}

} // namespace vidorel

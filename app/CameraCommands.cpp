// The main window's side of the camcorder windows: the two windows made at start-up and handed
// to the engine, the camera commands (Ctrl+Space, Ctrl+End, Ctrl+arrows, Ctrl+Ins) that drive
// the current one, the Sources panel's buttons that show or hide them, and which of them shows
// when the preview is entered.
#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/SourcesFrame.h"
#include "graph/AVgraph.h"
#include "sources/camunit.h"

#include <QAction>
#include <QToolButton>

namespace vidorel {

namespace {

// A stream whose device is a camcorder (or deck) in VCR mode, with its tape transport.
bool InVcrMode(const std::shared_ptr<TavFlux>& stream) {
    if (!stream || !stream->HasTransport || !stream->Device) {
        return false;
    }
    const auto transport = stream->Device->Transport();
    return transport && transport->DeviceType() == devices::ED_DEVTYPE_VCR;
}

} // namespace

void TCaptureForm::CreateCamcorderWindows() {
    camForm1_ = new TcamForm(1, this);
    camForm2_ = new TcamForm(2, this);
    const auto current = [this]() -> Tnav_captureframe* {
        if (dm_ == nullptr) {
            return nullptr;
        }
        ICamcorderWindow* w = dm_->CamcorderWindows.CurrentCamForm;
        return w == camForm1_   ? camForm1_->nav_captureframe1
               : w == camForm2_ ? camForm2_->nav_captureframe1
                                : nullptr;
    };
    const auto drive = [this, current](QAction* command, QAction* Tnav_captureframe::*action) {
        QObject::connect(command, &QAction::triggered, this, [current, action] {
            if (Tnav_captureframe* nav = current()) {
                (nav->*action)->trigger();
            }
        });
    };
    TActions& a = *actions_;
    drive(a.camPlayPause, &Tnav_captureframe::PlayPauseAction);
    drive(a.camStop, &Tnav_captureframe::StopAction);
    drive(a.camAvanceLent, &Tnav_captureframe::AvanceLentAction);
    drive(a.camAvanceRapide, &Tnav_captureframe::AvanceRapideAction);
    drive(a.camReculeLent, &Tnav_captureframe::ReculeLentAction);
    drive(a.camReculeRapide, &Tnav_captureframe::ReculeRapideAction);
    QObject::connect(a.camToggle, &QAction::triggered, this, [this] { camToggleExecute(); });
    QObject::connect(a.acShowVideoPilotDV, &QAction::triggered, this, [this] {
        if (dm_ != nullptr) {
            TogglePilot(dm_->CurrentVideo);
        }
    });
    QObject::connect(a.acShowAudioPilotDV, &QAction::triggered, this, [this] {
        if (dm_ != nullptr) {
            TogglePilot(dm_->CurrentAudio);
        }
    });
}

void TCaptureForm::camToggleExecute() {
    if (dm_ == nullptr) {
        return;
    }
    TCamcorderWindows& windows = dm_->CamcorderWindows;
    // Only to a window the user can see.
    if (windows.CurrentCamForm == camForm1_ && camForm2_->isVisible()) {
        windows.MakeCurrent(camForm2_);
    } else if (windows.CurrentCamForm == camForm2_ && camForm1_->isVisible()) {
        windows.MakeCurrent(camForm1_);
    }
}

void TCaptureForm::TogglePilot(const std::shared_ptr<TavFlux>& stream) {
    if (!InVcrMode(stream)) {
        return;
    }
    auto* window = stream->CamForm == camForm1_   ? camForm1_
                   : stream->CamForm == camForm2_ ? camForm2_
                                                  : nullptr;
    if (window == nullptr) {
        return;
    }
    window->setVisible(!window->isVisible());
    window->SetShowWanted(window->isVisible());
}

void TCaptureForm::ShowCamcorderControls() {
    if (dm_ == nullptr) {
        return;
    }
    const auto apply = [](const std::shared_ptr<TavFlux>& stream, QToolButton* button) {
        const bool vcr = InVcrMode(stream);
        button->setVisible(vcr);
        if (stream && stream->HasTransport && stream->CamForm != nullptr) {
            // A camcorder in camera mode has no tape to drive: its window stays hidden.
            stream->CamForm->SetShown(vcr && stream->CamForm->ShowWanted());
        }
    };
    apply(dm_->CurrentVideo, sourcesFrame_->sbVideoPilotVCR);
    apply(dm_->CurrentAudio, sourcesFrame_->sbAudioPilotVCR);
}

} // namespace vidorel

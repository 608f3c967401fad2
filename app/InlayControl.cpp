// The inlay control of the main window: the inlay switched on and off, the Inlay panel's
// choices handed to the overlay as they change, the position sliders over the preview, the
// font dialog and the time-difference dialog that corrects a wrong camcorder clock.
#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/Controls.h"
#include "app/DecalageForm.h"
#include "app/Icons.h"
#include "app/IncrusterFrame.h"
#include "app/InlayFontDialog.h"
#include "filters/zv_scenedetect.h"
#include "filters/zv_superposer.h"
#include "graph/AVgraph.h"
#include "graph/CapturePlans.h"
#include "settings/Preferences.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

namespace vidorel {

namespace {

QIcon InlayIcon(bool stop) {
    return stop ? GlyphIcon(QStringLiteral("T\u0338"), QColor(0xc0, 0x20, 0x20))
                : GlyphIcon(QStringLiteral("T"));
}

} // namespace

void TCaptureForm::BindInlay() {
    TIncrusterFrame& f = *incrusterFrame_;
    const auto overlay = [this]() -> Tzv_Superposer* {
        return dm_ != nullptr ? &dm_->Superposer() : nullptr;
    };
    QObject::connect(actions_->acStartIncruster, &QAction::triggered, this,
                     [this] { StartInlay(); });
    QObject::connect(actions_->acStopIncruster, &QAction::triggered, this, [this] { StopInlay(); });

    f.OnModeClick = [overlay](int mode) {
        prefs::ModeIncruster->Value = mode;
        if (auto* o = overlay()) {
            o->SetDurationMode(mode);
        }
    };
    f.OnWhatClick = [overlay](int what) {
        prefs::WhatIncrust->Value = what;
        if (auto* o = overlay()) {
            o->SetTextSource(what);
        }
    };
    f.rgWhen->OnClick = [overlay](int when) {
        prefs::WhenIncrust->Value = when;
        if (auto* o = overlay()) {
            o->SetRestartMode(when);
        }
    };
    // The place and the alignment go to the overlay together.
    const auto place = [overlay] {
        if (auto* o = overlay()) {
            o->SetTextPosition(prefs::PositionX->Value, kInlayYSliderMax - prefs::PositionY->Value,
                               prefs::Alignement->Value);
        }
    };
    f.rgAlign->OnClick = [place](int align) {
        prefs::Alignement->Value = align;
        place();
    };
    // The panel stored these before (its handlers were connected first).
    QObject::connect(f.RxSpinEdit1, &QSpinBox::valueChanged, this, [overlay](int seconds) {
        if (auto* o = overlay()) {
            o->SetInlayDuration(seconds);
        }
    });
    QObject::connect(f.RxDecalage, &QSpinBox::valueChanged, this, [overlay] {
        if (auto* o = overlay()) {
            o->SetTimeDifference(prefs::DecalageHoraire->Value);
        }
    });
    QObject::connect(f.cbAutoFontSize, &QCheckBox::toggled, this, [overlay](bool on) {
        if (auto* o = overlay()) {
            o->SetAutoFontSize(on);
        }
    });
    QObject::connect(f.cbAvance, &QCheckBox::toggled, this,
                     [](bool on) { prefs::DecalageAvance->Value = on; });
    for (QLineEdit* edit : {f.edFormat1, f.edFormat2}) {
        // Read from the boxes: an emptied box has already become one blank.
        QObject::connect(edit, &QLineEdit::textChanged, this, [this, overlay] {
            prefs::FormatDatecode1->Value = incrusterFrame_->edFormat1->text().toStdString();
            prefs::FormatDatecode2->Value = incrusterFrame_->edFormat2->text().toStdString();
            if (auto* o = overlay()) {
                o->SetDateTimeFormats(prefs::FormatDatecode1->Value, prefs::FormatDatecode2->Value);
            }
        });
    }
    QObject::connect(f.SpeedButton4, &QToolButton::clicked, this, [this] { ChooseInlayFont(); });
    QObject::connect(f.sbDecalageAvance, &QToolButton::clicked, this,
                     [this] { sbDecalageAvanceClick(); });

    xslider_->setRange(0, kInlayXSliderMax);
    yslider_->setRange(0, kInlayYSliderMax);
    QObject::connect(xslider_, &QSlider::valueChanged, this, [place](int v) {
        prefs::PositionX->Value = v;
        place();
    });
    QObject::connect(yslider_, &QSlider::valueChanged, this, [place](int v) {
        prefs::PositionY->Value = v;
        place();
    });
}

void TCaptureForm::acIncrusterExecute(bool ticked) {
    prefs::WantIncrust->Value = ticked;
    ShowInlayAction();
    ApplyInlayState();
}

void TCaptureForm::ShowInlayAction() {
    QAction* a = actions_->acIncruster;
    const bool on = a->isChecked();
    a->setText(on ? QStringLiteral("Stop inlay") : QStringLiteral("Inlay"));
    a->setToolTip(on ? QStringLiteral("Stop inlaying a date") : QStringLiteral("Start inlay"));
    a->setIcon(InlayIcon(on));
}

void TCaptureForm::ApplyInlayState() {
    prefs::IncrustationOn->Value = prefs::WantIncrust->Value && effectsAllowed_;
    if (prefs::IncrustationOn->Value) {
        actions_->acStartIncruster->trigger();
    } else {
        actions_->acStopIncruster->trigger();
    }
    UpdateStatusTexts();
}

void TCaptureForm::StartInlay() {
    if (dm_ == nullptr) {
        return;
    }
    Tzv_Superposer& overlay = dm_->Superposer();
    ApplyStoredInlay(overlay);
    overlay.SetInlayEnabled(true);
    prefs::IncrustationOn->Value = true;
}

void TCaptureForm::StopInlay() {
    if (dm_ != nullptr) {
        dm_->Superposer().SetInlayEnabled(false);
    }
    prefs::IncrustationOn->Value = false;
}

void TCaptureForm::RebuildInlayChoices(bool isDV) {
    TIncrusterFrame& f = *incrusterFrame_;
    f.RebuildInlayChoices(isDV);
    // What the lists now offer is what the overlay draws.
    if (f.rgWhat->ItemIndex() >= 0) {
        prefs::WhatIncrust->Value = f.rgWhat->ItemIndex();
    }
    if (f.rgWhen->ItemIndex() >= 0) {
        prefs::WhenIncrust->Value = f.rgWhen->ItemIndex();
    }
    if (dm_ != nullptr) {
        dm_->Superposer().SetTextSource(prefs::WhatIncrust->Value);
        dm_->Superposer().SetRestartMode(prefs::WhenIncrust->Value);
    }
}

void TCaptureForm::acSlidersExecute(bool shown) {
    xslider_->setVisible(shown);
    yslider_->setVisible(shown);
    if (shown) {
        const QSignalBlocker qx(xslider_), qy(yslider_);
        xslider_->setValue(prefs::PositionX->Value);
        yslider_->setValue(prefs::PositionY->Value);
        xslider_->raise();
        yslider_->raise();
        // Placing an inlay nobody sees makes no sense: it comes on.
        if (!actions_->acIncruster->isChecked()) {
            actions_->acIncruster->trigger();
        }
    }
    actions_->acSliders->setText(shown ? QStringLiteral("Hide the sliders of inlay")
                                       : QStringLiteral("Show the sliders of inlay"));
}

int TCaptureForm::ExecDialog(QDialog& dialog) {
    return RunDialog ? RunDialog(dialog) : dialog.exec();
}

void TCaptureForm::ChooseInlayFont() {
    TInlayFontDialog dialog(prefs::IncrustFont->Font, this);
    if (ExecDialog(dialog) == QDialog::Accepted) {
        prefs::IncrustFont->Font = dialog.Chosen();
    }
    if (dm_ != nullptr) {
        ApplyStoredInlayFont(dm_->Superposer());
    }
}

TDateTime TCaptureForm::LastRecordingTime() const {
    if (dm_ == nullptr || !dm_->CurrentVideo || !dm_->CurrentVideo->Device) {
        return 0;
    }
    if (GstElement* element = dm_->CurrentVideo->Device->SceneDetectorElement()) {
        if (auto* detector = FilterCast<Tzv_SceneDetect>(element)) {
            const TDVFrameInfo info = detector->Current();
            return info.DateValid ? info.RecDateTime : 0;
        }
    }
    return 0;
}

void TCaptureForm::sbDecalageAvanceClick() {
    // A DV stream tells the tape's time; otherwise the last one known stays.
    if (const TDateTime recorded = LastRecordingTime(); recorded > 0) {
        tapeTime_ = recorded;
    }
    TDecalageForm dialog(this);
    dialog.SetTimes(tapeTime_, tapeTime_ + prefs::DecalageHoraire->Value);
    if (ExecDialog(dialog) == QDialog::Accepted) {
        prefs::DecalageHoraire->Value = dialog.TimeDifference();
    }
    TIncrusterFrame& f = *incrusterFrame_;
    // The hours box follows; when its value changes, its handler keeps whole hours only.
    f.RxDecalage->setValue(TIncrusterFrame::WholeHours(prefs::DecalageHoraire->Value));
    if (dm_ != nullptr) {
        dm_->Superposer().SetTimeDifference(prefs::DecalageHoraire->Value);
    }
    // What is in force, which the hours box may have cut to whole hours.
    f.LabDecalage->setText(
        QString::fromStdString(TimeDifferenceText(prefs::DecalageHoraire->Value)));
}

} // namespace vidorel

// The main window's presentation: the panels, the placement of the video area, reduce and full
// screen, the preview's aspect, the mirror and deinterlace effects, the volume, the preview
// lock, and what shows when there is no video or no sound.

#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/ExtraireFrame.h"
#include "app/FormTexts.h"
#include "app/Icons.h"
#include "app/PanelFrame.h"
#include "app/SourcesFrame.h"
#include "app/StatusBar.h"
#include "app/VideoWindow.h"
#include "filters/zv_superposer.h"
#include "graph/AVgraph.h"
#include "platform/DiskSpace.h"
#include "settings/Preferences.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSlider>
#include <QSpinBox>
#include <QStorageInfo>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace vidorel {

void TCaptureForm::ApplyEnglishTexts() {
    ApplyTexts(this, CaptureFormTexts());
    setWindowTitle(NormalCaption());
    statusBar1_->StatusInterval = QStringLiteral("Intervalometer Off");
    statusBar1_->StatusMode = QStringLiteral("Capture");
    statusBar1_->StatusCapture = QStringLiteral("Captured Frames");
    statusBar1_->StatusInfo = QStringLiteral("Lost Frames");
    statusBar1_->Refresh();
}

void TCaptureForm::BindActions() {
    TActions& a = *actions_;
    SetActionIcons(a, style());
    captureBtn_->setDefaultAction(a.acCapturerBascule);
    sbCouper_->setDefaultAction(a.acCouper);
    grabBtn_->setDefaultAction(a.acGrab);
    for (QAction* x : {a.acLockPreview, a.acfullscreen, a.acMute, a.acIncruster, a.acElargir,
                       a.acWideScreen, a.acVertFlip, a.acHorzFlip, a.acDesentrelacer}) {
        tbActions_->addAction(x);
    }
    for (int n = 0; n < 6; ++n) {
        tbPanneaux_->addAction(a.Panel(n));
    }
    for (QAction* x : {a.acHelp, a.acApropos, a.acQuitter}) {
        tbGeneral_->addAction(x);
    }
    // Tool bars show icons; their buttons carry the captions for screen readers.
    for (QToolBar* bar : {tbActions_, tbPanneaux_, tbGeneral_}) {
        bar->adjustSize();
    }

    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("PopupMenu1"));
    popup_->addActions({a.acCapturerBascule, a.acCouper, a.acGrab});
    popup_->addSeparator();
    popup_->addActions({a.acfullscreen, a.acReduire});
    popup_->addSeparator();
    popup_->addActions(
        {a.acMute, a.acIncruster, a.acVertFlip, a.acHorzFlip, a.acElargir, a.acWideScreen});
    popup_->addSeparator();
    popup_->addActions({a.acSliders, a.acDesentrelacer});
    popup_->addSeparator();
    QMenu* panels = popup_->addMenu(QString());
    panels->setObjectName(QStringLiteral("mnPanels"));
    for (int n = 0; n < kPanelCount; ++n) {
        panels->addAction(a.Panel(n));
    }
    popup_->addSeparator();
    popup_->addAction(a.acQuitter);

    // The preview window takes the commands too: in full screen it is a window of its own.
    vwEcran_->addActions(QList<QAction*>(a.All().begin(), a.All().end()));

    const auto on = [this](QAction* action, auto handler) {
        QObject::connect(action, &QAction::triggered, this, handler);
    };
    on(a.acReduire, [this](bool c) { acReduireExecute(c); });
    on(a.acfullscreen, [this](bool c) { acfullscreenExecute(c); });
    on(a.acElargir, [this](bool c) { acElargirExecute(c); });
    on(a.acWideScreen, [this](bool c) { acWideScreenExecute(c); });
    on(a.acVertFlip, [this](bool c) { acVertFlipExecute(c); });
    on(a.acHorzFlip, [this](bool c) { acHorzFlipExecute(c); });
    on(a.acDesentrelacer, [this](bool c) { acDesentrelacerExecute(c); });
    on(a.acIncruster, [this](bool c) { acIncrusterExecute(c); });
    on(a.acLockPreview, [this](bool c) { acLockPreviewExecute(c); });
    on(a.acMute, [this](bool c) { acMuteExecute(c); });
    on(a.acIncVolume, [this] { ChangeVolume(1000); });
    on(a.acDecVolume, [this] { ChangeVolume(-1000); });
    on(a.acSliders, [this](bool c) { acSlidersExecute(c); });
    on(a.acBasculerPanneau, [this] { acBasculerPanneauExecute(); });
    on(a.acNextPanneau, [this] { ShowPanel(NextPanel(ActivePanel())); });
    on(a.acSauverPrefs, [this] { acSauverPrefsExecute(); });
    on(a.acQuitter, [this] { close(); });
    on(a.acCapturerBascule, [this] { acCapturerBasculeExecute(); });
    on(a.acProgrammerBascule, [this] { acProgrammerBasculeExecute(); });
    on(a.acCouper, [this] { acCouperExecute(); });
    on(a.acTapelog, [this] { acTapelogExecute(); });
    for (int n = 0; n < kPanelCount; ++n) {
        on(a.Panel(n), [this, n] { ShowPanel(n); });
    }
    QObject::connect(tb_, &QSlider::valueChanged, this, [this](int v) {
        prefs::Volume->Value = v;
        ApplyVolume();
    });
}

// --- panels ---

int TCaptureForm::ActivePanel() const {
    return ValidPanel(prefs::PanneauActif != nullptr ? prefs::PanneauActif->Value : 0);
}

void TCaptureForm::HideActivePanel() {
    const int n = ActivePanel();
    prefs::PanneauActif->Value = static_cast<uint8_t>(n);
    panels_[static_cast<size_t>(n)]->hide();
    actions_->Panel(n)->setChecked(false);
}

void TCaptureForm::ShowPanel(int n) {
    if (n < 0 || n >= kPanelCount) {
        return;
    }
    HideActivePanel();
    prefs::PanneauActif->Value = static_cast<uint8_t>(n);
    TPanelFrame* panel = panels_[static_cast<size_t>(n)];
    panel->move(layout_.PanelLeft, 36);
    panel->raise();
    panel->show();
    panel->PanelShown();
    actions_->Panel(n)->setChecked(true);
}

void TCaptureForm::LayoutPanels() {
    layout_ = PanelLayoutFor(prefs::EcranGauche->Value);
    const int v = layout_.VideoLeft;
    panel1_->move(v + 10, panel1_->y());
    const int row = 366;
    tb_->move(v + 144, row + 6);
    gaugeVolume_->move(v + 296, row);
    labVolume_->move(v + 108, row + 9);
    captureBtn_->move(v + 64, row);
    sbCouper_->move(v + 24, row);
    grabBtn_->move(v + 304, row);
    for (TPanelFrame* panel : panels_) {
        panel->move(layout_.PanelLeft, 36);
    }
    const int top = 6;
    tbGeneral_->adjustSize();
    tbGeneral_->move(kClientWidth - tbGeneral_->width() - 6, top);
    tbActions_->move(v + 100, top);
    tbPanneaux_->adjustSize();
    tbPanneaux_->move(layout_.PanelLeft == 0 ? 60 : tbGeneral_->x() - 174, top);
}

void TCaptureForm::acBasculerPanneauExecute() {
    prefs::EcranGauche->Value = !prefs::EcranGauche->Value;
    if (!actions_->acReduire->isChecked()) {
        LayoutPanels();
    }
}

void TCaptureForm::acReduireExecute(bool reduced) {
    if (reduced) {
        panel1_->move(0, 0);
        setFixedSize(panel1_->size());
        actions_->acReduire->setText(QStringLiteral("Restore"));
        panel1_->raise();
        setWindowTitle(sourcesFrame_->cboxvideo->currentText());
        return;
    }
    LayoutPanels();
    panel1_->move(layout_.VideoLeft + 10, prefs::WideScreen->Value ? 76 : 40);
    setFixedSize(kClientWidth, kClientHeight);
    actions_->acReduire->setText(QStringLiteral("Reduce"));
    setWindowTitle(NormalCaption());
}

bool TCaptureForm::FullScreen() const {
    return fullScreenWindow_ != nullptr && fullScreenWindow_->isVisible();
}

void TCaptureForm::acfullscreenExecute(bool on) {
    if (!on) {
        if (fullScreenWindow_ != nullptr && vwEcran_->parent() == fullScreenWindow_) {
            fullScreenWindow_->hide();
            vwEcran_->setParent(panel1_);
            LayoutForWideScreen(prefs::WideScreen->Value);
            vwEcran_->show();
            panel2_->raise();
            if (dm_ == nullptr || !dm_->CurrentVideo) {
                panel2_->show();
            }
            activateWindow();
        }
        actions_->acfullscreen->setText(QStringLiteral("Display Fullscreen"));
        return;
    }
    // A window of its own on the screen of the main window, holding the preview alone.
    if (fullScreenWindow_ == nullptr) {
        fullScreenWindow_ = new QWidget(nullptr, Qt::Window);
        fullScreenWindow_->setObjectName(QStringLiteral("FullScreenPreview"));
        fullScreenWindow_->setWindowTitle(windowTitle());
        auto* box = new QVBoxLayout(fullScreenWindow_);
        box->setContentsMargins(0, 0, 0, 0);
        QPalette pal = fullScreenWindow_->palette();
        pal.setColor(QPalette::Window, Qt::black);
        fullScreenWindow_->setPalette(pal);
        fullScreenWindow_->setAutoFillBackground(true);
        fullScreenWindow_->addActions(
            QList<QAction*>(actions_->All().begin(), actions_->All().end()));
        fullScreenWindow_->installEventFilter(this);
    }
    fullScreenWindow_->layout()->addWidget(vwEcran_);
    if (QScreen* screen = this->screen()) {
        fullScreenWindow_->setGeometry(screen->geometry());
    }
    fullScreenWindow_->showFullScreen();
    vwEcran_->show();
    vwEcran_->setFocus();
    actions_->acfullscreen->setText(QStringLiteral("Quit Fullscreen"));
}

// --- aspect ---

void TCaptureForm::acElargirExecute(bool ticked) {
    prefs::WantElargir->Value = ticked;
    actions_->acElargir->setText(ticked ? QStringLiteral("Ratio native")
                                        : QStringLiteral("Ratio 4x3"));
    prefs::Elargir->Value = prefs::WantElargir->Value && aspectFree_;
    ApplyKeepAspect();
}

void TCaptureForm::ApplyKeepAspect() {
    vwEcran_->SetKeepAspect(!prefs::Elargir->Value);
    UpdateStatusTexts();
}

void TCaptureForm::acWideScreenExecute(bool ticked) {
    QAction* a = actions_->acWideScreen;
    prefs::WantWidescreen->Value = ticked;
    if (ticked) {
        a->setText(QStringLiteral("4x3"));
        a->setToolTip(
            QStringLiteral("Put the video window in 4x3\nHas no effect on what is captured."));
    } else {
        a->setText(QStringLiteral("WideScreen"));
        a->setToolTip(
            QStringLiteral("Put the video window in 16x9\nHas no effect on what is captured."));
    }
    a->setIcon(WideScreenIcon(!ticked, style()));
    prefs::WideScreen->Value = prefs::WantWidescreen->Value && aspectFree_;
    ApplyWideScreen();
    // The current layout, reduced or not, again for the new shape.
    acReduireExecute(actions_->acReduire->isChecked());
}

void TCaptureForm::ApplyWideScreen() {
    LayoutForWideScreen(prefs::WideScreen->Value);
    UpdateStatusTexts();
}

void TCaptureForm::LayoutForWideScreen(bool wide) {
    const TWideLayout l = WideScreenLayout(wide);
    if (!actions_->acReduire->isChecked()) {
        panel1_->move(panel1_->x(), l.Panel1Top);
    }
    panel1_->resize(panel1_->width(), l.Panel1Height);
    if (vwEcran_->parent() == panel1_) {
        vwEcran_->setGeometry(16, 16, 384, l.ScreenHeight);
    }
    shape2_->setGeometry(14, 14, 388, l.ScreenHeight + 4);
    panel2_->setGeometry(16, 16, 384, l.PlaceholderHeight);
    panel2_->setContentsMargins(0, l.PictureTop, 0, 0);
    shape1_->move(shape1_->x(), l.SliderTop);
    xslider_->move(xslider_->x(), l.SliderTop);
    yslider_->resize(yslider_->width(), l.YSliderHeight);
    if (actions_->acReduire->isChecked()) {
        setFixedSize(panel1_->size());
    }
}

// --- effects ---

void TCaptureForm::acVertFlipExecute(bool ticked) {
    prefs::WantVertFlip->Value = ticked;
    ApplyVerticalFlip();
}

void TCaptureForm::acHorzFlipExecute(bool ticked) {
    prefs::WantHorzFlip->Value = ticked;
    ApplyHorizontalFlip();
}

void TCaptureForm::acDesentrelacerExecute(bool ticked) {
    prefs::WantDeinter->Value = ticked;
    ApplyDeinterlaceState();
}

void TCaptureForm::ApplyVerticalFlip() {
    prefs::VerticalFlip->Value = prefs::WantVertFlip->Value && effectsAllowed_;
    if (dm_ != nullptr) {
        dm_->Superposer().SetFlipVertical(prefs::VerticalFlip->Value);
    }
    UpdateStatusTexts();
}

void TCaptureForm::ApplyHorizontalFlip() {
    prefs::HorizontalFlip->Value = prefs::WantHorzFlip->Value && effectsAllowed_;
    if (dm_ != nullptr) {
        dm_->Superposer().SetMirror(prefs::HorizontalFlip->Value);
    }
    UpdateStatusTexts();
}

void TCaptureForm::ApplyDeinterlaceState() {
    prefs::DeinterlacerOn->Value = prefs::WantDeinter->Value && effectsAllowed_;
    if (dm_ != nullptr) {
        dm_->Superposer().SetDeinterlace(prefs::DeinterlacerOn->Value);
    }
    UpdateStatusTexts();
}

void TCaptureForm::EffectsOptionChanged(bool on) {
    prefs::ActiverSuperposition->Value = on;
    for (QAction* a : {actions_->acIncruster, actions_->acVertFlip, actions_->acHorzFlip,
                       actions_->acDesentrelacer}) {
        a->setVisible(on);
    }
    if (dm_ != nullptr) {
        dm_->Superposer().SetEffectsEnabled(on);
    }
}

// --- volume ---

void TCaptureForm::ApplyVolume() {
    if (dm_ != nullptr) {
        dm_->audiorender.SetMute(prefs::MuteOn->Value);
        dm_->audiorender.SetVolume(prefs::Volume->Value);
    }
    gaugeVolume_->setValue(prefs::Volume->Value / 100);
}

void TCaptureForm::ChangeVolume(int delta) {
    prefs::Volume->Value = std::clamp(prefs::Volume->Value + delta, 0, 10000);
    const QSignalBlocker quiet(tb_);
    tb_->setValue(prefs::Volume->Value);
    ApplyVolume();
}

void TCaptureForm::acMuteExecute(bool muted) {
    prefs::MuteOn->Value = muted;
    actions_->acMute->setText(muted ? QStringLiteral("Turn sound on")
                                    : QStringLiteral("Turn sound off"));
    actions_->acMute->setIcon(MuteIcon(muted, style()));
    ApplyVolume();
    UpdateStatusTexts();
}

// --- the preview lock ---

void TCaptureForm::acLockPreviewExecute(bool locked) {
    // The lock changes the capture's sources and format: not under a running capture.
    if (Busy()) {
        const QSignalBlocker quiet(actions_->acLockPreview);
        actions_->acLockPreview->setChecked(!locked);
        return;
    }
    prefs::PreviewLocked->Value = locked;
    if (locked) {
        prefs::WantIncrust->Value = prefs::IncrustationOn->Value;
        prefs::WantVertFlip->Value = prefs::VerticalFlip->Value;
        prefs::WantHorzFlip->Value = prefs::HorizontalFlip->Value;
        prefs::WantDeinter->Value = prefs::DeinterlacerOn->Value;
        prefs::WantElargir->Value = prefs::Elargir->Value;
        prefs::WantWidescreen->Value = prefs::WideScreen->Value;
    } else {
        // Each effect wished but not running is toggled on again.
        const auto again = [](QAction* a, bool wish, bool effective) {
            if (wish && !effective) {
                a->setChecked(false);
                a->trigger();
            }
        };
        again(actions_->acIncruster, prefs::WantIncrust->Value, prefs::IncrustationOn->Value);
        again(actions_->acVertFlip, prefs::WantVertFlip->Value, prefs::VerticalFlip->Value);
        again(actions_->acHorzFlip, prefs::WantHorzFlip->Value, prefs::HorizontalFlip->Value);
        again(actions_->acDesentrelacer, prefs::WantDeinter->Value, prefs::DeinterlacerOn->Value);
        again(actions_->acElargir, prefs::WantElargir->Value, prefs::Elargir->Value);
        again(actions_->acWideScreen, prefs::WantWidescreen->Value, prefs::WideScreen->Value);
    }
    ApplyPreviewLock(prefs::PreviewLocked->Value);
}

void TCaptureForm::ApplyPreviewLock(bool locked) {
    if (locked) {
        TLockFacts facts;
        if (dm_ != nullptr) {
            facts.HasVideo = dm_->CurrentVideo != nullptr;
            facts.HasAudio = dm_->CurrentAudio != nullptr;
            facts.VideoIsDV = dm_->CurrentVideo && dm_->CurrentVideo->StreamKind == 5;
            facts.PictureWidth = dm_->Facts.FrameWidth;
            facts.PictureHeight = dm_->Facts.FrameHeight;
        }
        facts.RatioDV = prefs::RatioDV->Value;
        facts.RatioDivx = prefs::RatioDivx->Value;
        const TCaptureFormat format = static_cast<TCaptureFormat>(prefs::CaptureFormat->Value);
        const TLockRule rule = PreviewLockRule(format, facts);
        if (rule.EffectsAllowed) {
            effectsAllowed_ = *rule.EffectsAllowed;
        }
        if (rule.Aspect) {
            lockedAspect_ = *rule.Aspect;
        }
        if (rule.AudioFromVideoDevice && dm_ != nullptr && dm_->CurrentVideo &&
            (!dm_->CurrentAudio || dm_->CurrentAudio->Device != dm_->CurrentVideo->Device)) {
            for (const auto& s : lists_.AudioStreams) {
                if (s->Device == dm_->CurrentVideo->Device) {
                    SelectAudioSource(s->DisplayName);
                    break;
                }
            }
        }
        if (rule.SelectNoAudio) {
            SelectAudioSource(kNoAudioStream);
        }
        if (rule.SelectNoVideo) {
            SelectVideoSource(kNoVideoStream);
        }
        aspectFree_ = false;
        switch (lockedAspect_) {
        case TLockedAspect::Free:
            prefs::Elargir->Value = false;
            ApplyKeepAspect();
            prefs::WideScreen->Value = prefs::WantWidescreen->Value;
            ApplyWideScreen();
            actions_->acWideScreen->setEnabled(true);
            break;
        case TLockedAspect::Native:
            prefs::Elargir->Value = true;
            ApplyKeepAspect();
            actions_->acWideScreen->setEnabled(false);
            break;
        case TLockedAspect::Forced4x3:
        case TLockedAspect::Forced16x9:
            prefs::Elargir->Value = true;
            ApplyKeepAspect();
            prefs::WideScreen->Value = lockedAspect_ == TLockedAspect::Forced16x9;
            ApplyWideScreen();
            actions_->acWideScreen->setEnabled(false);
            break;
        }
    } else {
        aspectFree_ = true;
        actions_->acWideScreen->setEnabled(true);
        // What the user last chose; a choice never made keeps the current one (rather than
        // jumping to the first stream of the list).
        const auto wanted = [](const std::string& want, const std::string& current) {
            return want.empty() ? current : want;
        };
        SelectVideoSource(wanted(prefs::WantVideoSource->Value, prefs::SourceVideo->Value));
        SelectAudioSource(wanted(prefs::WantAudioSource->Value, prefs::SourceAudio->Value));
        FillCaptureFormats(prefs::WantFormatCapture->Value.empty()
                               ? static_cast<TCaptureFormat>(prefs::CaptureFormat->Value)
                               : CaptureFormatFromName(prefs::WantFormatCapture->Value));
        effectsAllowed_ = true;
        prefs::Elargir->Value = prefs::WantElargir->Value;
        ApplyKeepAspect();
        prefs::WideScreen->Value = prefs::WantWidescreen->Value;
        ApplyWideScreen();
    }
    // The effects follow what is allowed now: back on as wished, or all off.
    if (effectsAllowed_) {
        if (prefs::WantIncrust->Value != prefs::IncrustationOn->Value) {
            ApplyInlayState();
        }
        if (prefs::WantVertFlip->Value != prefs::VerticalFlip->Value) {
            ApplyVerticalFlip();
        }
        if (prefs::WantHorzFlip->Value != prefs::HorizontalFlip->Value) {
            ApplyHorizontalFlip();
        }
        if (prefs::WantDeinter->Value != prefs::DeinterlacerOn->Value) {
            ApplyDeinterlaceState();
        }
    } else {
        ApplyInlayState();
        ApplyVerticalFlip();
        ApplyHorizontalFlip();
        ApplyDeinterlaceState();
    }
    // The actions show the effective state; the wishes stay for when the lock lets them.
    actions_->acIncruster->setChecked(prefs::IncrustationOn->Value);
    ShowInlayAction();
    actions_->acVertFlip->setChecked(prefs::VerticalFlip->Value);
    actions_->acHorzFlip->setChecked(prefs::HorizontalFlip->Value);
    actions_->acDesentrelacer->setChecked(prefs::DeinterlacerOn->Value);
    const bool video = dm_ == nullptr || dm_->CurrentVideo != nullptr;
    for (QAction* a : {actions_->acIncruster, actions_->acVertFlip, actions_->acHorzFlip,
                       actions_->acDesentrelacer}) {
        a->setEnabled(effectsAllowed_ && video);
    }
    actions_->acElargir->setEnabled(aspectFree_ && video);
}

// --- video and sound present or not ---

void TCaptureForm::ShowVideoControls() {
    panel2_->hide();
    shape1_->show();
    for (QAction* a : {actions_->acSliders, actions_->acIncruster, actions_->acGrab,
                       actions_->acElargir, actions_->acDesentrelacer, actions_->acVertFlip,
                       actions_->acHorzFlip, actions_->acfullscreen}) {
        a->setEnabled(true);
    }
    sourcesFrame_->sbVideoSettings->show();
    sourcesFrame_->LabVideo->show();
    IntervalometerVideoBack();
}

void TCaptureForm::HideVideoControls() {
    panel2_->show();
    panel2_->raise();
    actions_->acGrab->setEnabled(false);
    IntervalometerVideoLost();
    if (xslider_->isVisible()) {
        actions_->acSliders->trigger();
    }
    actions_->acSliders->setEnabled(false);
    shape1_->hide();
    for (QAction* a : {actions_->acIncruster, actions_->acElargir, actions_->acDesentrelacer,
                       actions_->acVertFlip, actions_->acHorzFlip, actions_->acfullscreen}) {
        a->setEnabled(false);
    }
    sourcesFrame_->sbVideoSettings->hide();
    sourcesFrame_->LabVideo->hide();
}

void TCaptureForm::HideAudioControls() {
    labVolume_->hide();
    tb_->hide();
    gaugeVolume_->hide();
    for (QAction* a : {actions_->acMute, actions_->acIncVolume, actions_->acDecVolume}) {
        a->setEnabled(false);
    }
    sourcesFrame_->LabAudio->hide();
    sourcesFrame_->sbAudioSettings->hide();
    sourcesFrame_->cbEntries->hide();
}

void TCaptureForm::ShowAudioControls() {
    labVolume_->show();
    tb_->show();
    gaugeVolume_->show();
    for (QAction* a : {actions_->acMute, actions_->acIncVolume, actions_->acDecVolume}) {
        a->setEnabled(true);
    }
    sourcesFrame_->LabAudio->show();
    sourcesFrame_->sbAudioSettings->show();
}

// --- status ---

void TCaptureForm::UpdateStatusTexts() {
    if (prefs::ExtensionDesImages == nullptr) {
        return;
    }
    TStatusBar& bar = *statusBar1_;
    bar.StatusInterval =
        QString::fromUtf8(prefs::ExtensionDesImages->Value != 0 ? "JPG - " : "BMP - ");
    if (extraireFrame_->RxSwitch1->isChecked()) {
        bar.StatusInterval += QStringLiteral("every %1 %2")
                                  .arg(extraireFrame_->RxSpinEdit7->value())
                                  .arg(extraireFrame_->cbUnites->currentText());
        bar.IntervalColor = Qt::red;
    } else {
        bar.StatusInterval += QStringLiteral("Intervalometer Off");
        bar.IntervalColor = Qt::black;
    }
    QString mode = QStringLiteral("Preview");
    if (prefs::MuteOn->Value) {
        mode += QStringLiteral(" MUTE");
    }
    if (prefs::IncrustationOn->Value) {
        mode += QStringLiteral(" IN");
    }
    if (!prefs::Elargir->Value) {
        mode += prefs::WideScreen->Value ? QStringLiteral(" 16x9") : QStringLiteral(" 4x3");
    }
    if (prefs::VerticalFlip->Value) {
        mode += QStringLiteral(" V");
    }
    bar.StatusMode = mode;
    QString extra;
    if (prefs::HorizontalFlip->Value) {
        extra += QStringLiteral(" H");
    }
    if (prefs::DeinterlacerOn->Value) {
        extra += QStringLiteral(" DEINT");
    }
    bar.StatusModeExtra = extra;
    QString sources;
    const bool video = dm_ != nullptr && dm_->CurrentVideo != nullptr;
    const bool audio = dm_ != nullptr && dm_->CurrentAudio != nullptr;
    if (video) {
        sources =
            QStringLiteral("Vid: ") + sourcesFrame_->cboxvideo->currentText().left(3).toUpper();
    }
    if (audio) {
        if (!sources.isEmpty()) {
            sources += QStringLiteral(" - ");
        }
        sources += QStringLiteral("Aud: ") + sourcesFrame_->cboxAudio->currentText().left(3);
    }
    if (!sources.isEmpty()) {
        bar.StatusCapture = sources + QStringLiteral("=>") +
                            QString::fromStdString(CaptureFormatShortName(
                                static_cast<TCaptureFormat>(prefs::CaptureFormat->Value)));
    }
    // The disk the next file goes to, named by its mount point (the folder may not exist yet:
    // its nearest existing parent tells the disk).
    QString folder = QString::fromStdString(prefs::VideoDirectory->Value);
    while (!folder.isEmpty() && !QFileInfo::exists(folder)) {
        folder = QFileInfo(folder).absolutePath() == folder ? QString()
                                                            : QFileInfo(folder).absolutePath();
    }
    const QStorageInfo disk(folder.isEmpty() ? QStringLiteral("/") : folder);
    const uint64_t freeBytes = DiskFreeBytes(disk.rootPath().toStdString());
    bar.StatusInfo = QStringLiteral("%1 MB free on %2")
                         .arg(static_cast<qulonglong>(freeBytes / 1048576))
                         .arg(disk.rootPath());
    bar.Refresh();
}

// --- the error report ---

void TCaptureForm::ShowErrorReport(const std::string& text, bool fatal) {
    errorFatal_ = fatal;
    sizeBeforeError_ = size();
    ShowErrorPanel(text, fatal);
}

// --- mouse and keys ---

bool TCaptureForm::eventFilter(QObject* watched, QEvent* event) {
    // Space, Delete, the arrows and the keypad signs type into a focused text or number field
    // instead of starting a capture or driving the camcorder.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool editor = qobject_cast<QLineEdit*>(watched) != nullptr ||
                            qobject_cast<QAbstractSpinBox*>(watched) != nullptr ||
                            (qobject_cast<QPlainTextEdit*>(watched) != nullptr &&
                             !static_cast<QPlainTextEdit*>(watched)->isReadOnly()) ||
                            (qobject_cast<QTextEdit*>(watched) != nullptr &&
                             !static_cast<QTextEdit*>(watched)->isReadOnly());
        if (editor && KeyBelongsToEditor(QKeySequence(key->keyCombination()))) {
            event->accept();
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::ContextMenu &&
        (watched == this || watched == vwEcran_ || watched == panel2_ ||
         watched == fullScreenWindow_)) {
        popup_->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (watched == vwEcran_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        actions_->acGrab->trigger();
        return true;
    }
    if (event->type() == QEvent::KeyPress && watched == fullScreenWindow_ &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && FullScreen()) {
        actions_->acfullscreen->trigger();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vidorel

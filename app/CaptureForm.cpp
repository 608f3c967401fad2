// The main window's life: creation, the preferences pushed into the controls when first
// shown, the deferred start-up on the first idle moment, device changes, and the orderly
// shutdown with the preferences stored.

#include "app/CaptureForm.h"
#include "sources/Plugin.h"
#include "sources/camunit.h"

#include "app/Actions.h"
#include "app/AproposFrame.h"
#include "app/OptionsFrame.h"
#include "app/OutputNames.h"
#include "app/PanelFrame.h"
#include "app/QtUserPrompt.h"
#include "app/SourcesFrame.h"
#include "app/StartupTrace.h"
#include "app/StatusBar.h"
#include "app/VideoWindow.h"
#include "devices/DeviceMonitor.h"
#include "devices/FireWireAccess.h"
#include "devices/VirtualDevices.h"
#include "graph/AVgraph.h"
#include "graph/CaptureRun.h"
#include "graph/DSFunctions.h"
#include "graph/RunGraph.h"
#include "graph/SourceBranches.h"
#include "settings/Preferences.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cstdio>

namespace vidorel {

namespace {

// The hatched corner of the preview: a click shows or hides the inlay sliders.
class THatchedCorner : public QWidget {
public:
    explicit THatchedCorner(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("Shape1"));
        setCursor(Qt::PointingHandCursor);
    }
    std::function<void()> OnClick;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        p.setPen(QPen(palette().color(QPalette::WindowText), 1));
        for (int d = -height(); d < width(); d += 4) {
            p.drawLine(d, height(), d + height(), 0);
        }
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && OnClick) {
            OnClick();
        }
    }
};

QToolButton* ActionButton(QWidget* parent, const char* name, QRect geometry) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromUtf8(name));
    b->setGeometry(geometry);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return b;
}

} // namespace

TCaptureForm::TCaptureForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CaptureForm"));
    setWindowTitle(NormalCaption());
    setFixedSize(kClientWidth, kClientHeight);
    // The form is laid out for a small sans face; fontconfig stands in a metric-compatible one.
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    setFont(font);
    ownPrompt_ = std::make_unique<QtUserPrompt>(this);
    prompt_ = ownPrompt_.get();
    actions_ = std::make_unique<TActions>(this);
    CreateControls();
    CreatePanels();
    BindActions();
    BindPanels();
    CreateGrabWriter();
    CreateCamcorderWindows();
    FormCreate();
}

TCaptureForm::~TCaptureForm() {
    qApp->removeEventFilter(this);
    // The pictures on their way are written before the window goes.
    grabWriter_.reset();
    FormCloseQuery();
    FormDestroy();
    vwEcran_->Attach(nullptr);
    if (dm_ != nullptr) {
        dm_->fg().SetEventReceiver(nullptr);
        dm_->Superposer().SetReceiver(nullptr);
    }
    if (fullScreenWindow_ != nullptr && vwEcran_->parent() == fullScreenWindow_) {
        vwEcran_->setParent(panel1_);
    }
    delete fullScreenWindow_;
}

QString TCaptureForm::NormalCaption() {
    return QStringLiteral("%1 %2 by %3")
        .arg(QString::fromUtf8(kProductName), QString::fromUtf8(kProductVersion),
             QString::fromUtf8(kMakerName));
}

void TCaptureForm::SetUserPrompt(IUserPrompt* prompt) {
    prompt_ = prompt != nullptr ? prompt : ownPrompt_.get();
}

void TCaptureForm::CreateControls() {
    // The video area: frame, preview, placeholder, inlay sliders and the hatched corner.
    panel1_ = new QWidget(this);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    panel1_->setGeometry(276, 40, 415, 321);
    shape2_ = new QFrame(panel1_);
    shape2_->setObjectName(QStringLiteral("Shape2"));
    shape2_->setFrameShape(QFrame::Box);
    shape2_->setGeometry(14, 14, 388, 292);
    vwEcran_ = new TVideoWindow(panel1_);
    vwEcran_->setObjectName(QStringLiteral("vwEcran"));
    vwEcran_->setGeometry(16, 16, 384, 288);
    vwEcran_->installEventFilter(this);
    vwEcran_->setContextMenuPolicy(Qt::NoContextMenu);
    panel2_ = new QLabel(panel1_);
    panel2_->setObjectName(QStringLiteral("Panel2"));
    panel2_->setGeometry(16, 16, 384, 288);
    panel2_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    panel2_->setAutoFillBackground(true);
    {
        QPalette pal = panel2_->palette();
        // The application-workspace colour of a desktop: a neutral dark grey.
        pal.setColor(QPalette::Window, QColor(0x6d, 0x6d, 0x6d));
        pal.setColor(QPalette::WindowText, Qt::white);
        panel2_->setPalette(pal);
    }
    panel2_->installEventFilter(this);
    xslider_ = new QSlider(Qt::Horizontal, panel1_);
    xslider_->setObjectName(QStringLiteral("Xslider"));
    xslider_->setGeometry(16, 298, 384, 18);
    xslider_->hide();
    yslider_ = new QSlider(Qt::Vertical, panel1_);
    yslider_->setObjectName(QStringLiteral("Yslider"));
    yslider_->setGeometry(398, 16, 16, 286);
    yslider_->hide();
    auto* corner = new THatchedCorner(panel1_);
    corner->setGeometry(395, 298, 20, 20);
    corner->OnClick = [this] { actions_->acSliders->trigger(); };
    shape1_ = corner;

    // Below the video: cut, capture, volume, grab.
    sbCouper_ = ActionButton(this, "sbCouper", {0, 366, 36, 34});
    sbCouper_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    captureBtn_ = ActionButton(this, "CaptureBtn", {0, 366, 40, 34});
    captureBtn_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    captureBtn_->setFocusPolicy(Qt::StrongFocus);
    labVolume_ = new QLabel(this);
    labVolume_->setObjectName(QStringLiteral("labVolume"));
    labVolume_->setGeometry(0, 375, 36, 16);
    tb_ = new QSlider(Qt::Horizontal, this);
    tb_->setObjectName(QStringLiteral("tb"));
    tb_->setGeometry(0, 372, 148, 22);
    tb_->setRange(0, 10000);
    tb_->setSingleStep(100);
    tb_->setPageStep(1000);
    gaugeVolume_ = new QProgressBar(this);
    gaugeVolume_->setObjectName(QStringLiteral("gaugeVolume"));
    gaugeVolume_->setOrientation(Qt::Vertical);
    gaugeVolume_->setRange(0, 100);
    gaugeVolume_->setTextVisible(false);
    gaugeVolume_->setGeometry(0, 366, 6, 34);
    grabBtn_ = ActionButton(this, "grabBtn", {0, 366, 100, 34});

    // Tool bars: effects over the video, panels over the panels, general at the right.
    const auto makeBar = [this](const char* name) {
        auto* bar = new QToolBar(this);
        bar->setObjectName(QString::fromUtf8(name));
        bar->setIconSize(QSize(16, 16));
        bar->setMovable(false);
        bar->setFloatable(false);
        bar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; spacing: 1px; }"));
        return bar;
    };
    tbActions_ = makeBar("tbActions");
    tbPanneaux_ = makeBar("tbPanneaux");
    tbGeneral_ = makeBar("TbGeneral");

    statusBar1_ = new TStatusBar(this);
    statusBar1_->setGeometry(0, kClientHeight - TStatusBar::kHeight, kClientWidth,
                             TStatusBar::kHeight);
    installEventFilter(this);
    // Key presses meant for a text field are looked at before the shortcuts see them.
    qApp->installEventFilter(this);
    // The stream labels follow the facts, which a source tells once it sends.
    Clock = [] { return QDateTime::currentDateTime(); };
    auto* dropped = new QTimer(this);
    dropped->setInterval(100);
    QObject::connect(dropped, &QTimer::timeout, this, [this] { DroppedActionTimer(); });
    dropped->start();
    auto* alarm = new QTimer(this);
    alarm->setInterval(1000);
    QObject::connect(alarm, &QTimer::timeout, this, [this] { CheckAlarm(); });
    alarm->start();
    auto* facts = new QTimer(this);
    facts->setInterval(500);
    QObject::connect(facts, &QTimer::timeout, this, [this] { RefreshStreamLabels(); });
    facts->start();
}

TPanelFrame* TCaptureForm::Panel(int n) const {
    return n >= 0 && n < kPanelCount ? panels_[static_cast<size_t>(n)] : nullptr;
}

void TCaptureForm::FormCreate() {
    // Nothing here may touch the graph: the data module is created after the window.
    CreatePreferenceList();
}

void TCaptureForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Restoring a minimised window shows it again: the start-up runs once only.
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TCaptureForm::FormShow() {
    panel2_->show();
    ApplyEnglishTexts();
    for (TPanelFrame* panel : panels_) {
        panel->ApplyEnglishTexts();
    }
    ApplyErrorReportTexts();
    LoadPreferences();
    EnterPreview();
    // The rest of the start-up waits for the first idle moment, so the window is on screen
    // while devices are enumerated and the preview starts.
    QTimer::singleShot(0, this, [this] { AppEvents1Idle(); });
}

void TCaptureForm::LoadPreferences() {
    PreferenceContext ctx;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        ctx.screenWidth = screen->geometry().width();
        ctx.screenHeight = screen->geometry().height();
    }
    ctx.windowWidth = frameGeometry().width();
    ctx.windowHeight = frameGeometry().height();
    CreatePreferences(ctx);
    // A store that cannot be read or had to be kept aside is said once, in the error report.
    storeProblem_ = PreferenceStoreProblem();
    try {
        // A position stored on a screen that is gone comes back onto one that is there.
        QPoint pos(prefs::Left->Value, prefs::Top->Value);
        const QRect wanted(pos, frameGeometry().size());
        bool visible = false;
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (screen->availableGeometry().intersects(wanted.adjusted(40, 0, -40, -200))) {
                visible = true;
            }
        }
        if (!visible) {
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                const QRect avail = screen->availableGeometry();
                pos = avail.topLeft() + QPoint(std::max(0, (avail.width() - width()) / 2),
                                               std::max(0, (avail.height() - height()) / 2));
            }
        }
        move(pos);
        camForm1_->LoadPreferences();
        camForm2_->LoadPreferences();
        LayoutPanels();
        ShowPanel(ValidPanel(prefs::PanneauActif->Value));
        {
            const QSignalBlocker quiet(tb_);
            tb_->setValue(prefs::Volume->Value);
        }
        if (prefs::FullscreenOn->Value) {
            actions_->acfullscreen->trigger();
        }
        if (prefs::ReducedOn->Value) {
            actions_->acReduire->trigger();
        }
        // Mute is applied by toggling: the action turns the stored wish back and applies it.
        actions_->acMute->setChecked(!prefs::MuteOn->Value);
        prefs::MuteOn->Value = !prefs::MuteOn->Value;
        actions_->acMute->trigger();
        {
            const QSignalBlocker qx(xslider_), qy(yslider_);
            xslider_->setValue(prefs::PositionX->Value);
            yslider_->setValue(prefs::PositionY->Value);
        }
        startupTime_ = Now();
        ComputeNextVideoName();
        ComputeNextImageName();
        for (TPanelFrame* panel : panels_) {
            panel->LoadPreferences();
        }
        EffectsOptionChanged(prefs::ActiverSuperposition->Value);
    } catch (const std::exception&) {
        // A failure stops the transfer; the window runs with what was reached.
    }
}

void TCaptureForm::AppEvents1Idle() {
    if (startupDone_ || closed_) {
        return;
    }
    errorText_.clear();
    warningText_.clear();
    if (!storeProblem_.empty()) {
        errorText_ += storeProblem_ + "\r\n";
    }
    ApplyDeferredPreferences();
    // Without a data module there is no media work to start (a window under test).
    if (dm_ == nullptr) {
        FinishStartup();
        return;
    }
    // One step per turn of the event loop: the window answers between them. A step that
    // answers false is tried again a little later.
    RunStartupSteps({
        [this] {
            vwEcran_->Attach(&dm_->vwEcran);
            lists_.BeforeDeviceRemoval = nullptr;
            CloseBranchesOnDeviceRemoval(*dm_, lists_);
            ApplyVolume();
            TraceStartup("start-up work begins");
            if (!RefreshSourceLists()) {
                errorText_ += "Impossible to load the Video sources\r\n";
            }
            TraceStartup("devices listed");
            return true;
        },
        [this] {
            // A DV source needs the codec plug-in, whose loading would freeze the window:
            // it is loaded meanwhile on its own thread.
            const auto& streams = lists_.VideoStreams;
            auto it = std::find_if(streams.begin(), streams.end(), [](const auto& s) {
                return s->DisplayName == prefs::SourceVideo->Value;
            });
            auto wanted = it != streams.end() ? *it : (streams.empty() ? nullptr : streams[0]);
            if (wanted && wanted->StreamKind == 5 && !PluginsPreloaded() &&
                SinceProgramStart() < kPreloadPatienceMs) {
                return false;
            }
            SelectVideoSource(prefs::SourceVideo->Value);
            TraceStartup("video source selected");
            return true;
        },
        [this] {
            SelectAudioSource(prefs::SourceAudio->Value);
            FillCaptureFormats(static_cast<TCaptureFormat>(prefs::CaptureFormat->Value));
            TraceStartup("audio source and format selected");
            return true;
        },
        [this] {
            ApplyWantedEffects();
            // Device changes: followed as they come ("Notifier"), or only when the graph
            // loses a device.
            if (monitor_ != nullptr) {
                monitor_->SetListener(
                    this, [this](devices::TDeviceMonitor::Change, const devices::DeviceEntry&) {
                        if (prefs::Notifier->Value) {
                            // Several changes arrive together when a device comes: one refresh.
                            QTimer::singleShot(300, this, [this] { DevicesChanged(); });
                        }
                    });
            }
            if (captureBtn_->isEnabled()) {
                captureBtn_->setFocus();
            }
            if (prefs::PreviewLocked->Value) {
                prefs::PreviewLocked->Value = false;
                actions_->acLockPreview->setChecked(false);
                actions_->acLockPreview->trigger();
            }
            if (!errorText_.empty()) {
                labVolume_->hide();
                gaugeVolume_->hide();
                ShowErrorReport(errorText_ + warningText_ + "\r\n", true);
            } else if (!warningText_.empty()) {
                // The window works without that device: the report can be closed.
                ShowErrorReport(warningText_ + "\r\n", false);
            }
            return true;
        },
    });
}

void TCaptureForm::ApplyDeferredPreferences() {
    try {
        lists_.Exclusions = LoadExclusions(prefs::SourcesExclues->Value);
        SyncExclusionList();
    } catch (const std::exception&) {
    }
}

void TCaptureForm::ApplyWantedEffects() {
    effectsAllowed_ = true;
    aspectFree_ = true;
    lockedAspect_ = TLockedAspect::Free;
    if (prefs::WantVertFlip->Value) {
        prefs::WantVertFlip->Value = false;
        actions_->acVertFlip->setChecked(false);
        actions_->acVertFlip->trigger();
    }
    if (prefs::WantHorzFlip->Value) {
        prefs::WantHorzFlip->Value = false;
        actions_->acHorzFlip->setChecked(false);
        actions_->acHorzFlip->trigger();
    }
    // Each toggles back to the wanted state and applies it.
    actions_->acIncruster->setChecked(!prefs::WantIncrust->Value);
    actions_->acIncruster->trigger();
    actions_->acElargir->setChecked(!prefs::WantElargir->Value);
    actions_->acElargir->trigger();
    actions_->acWideScreen->setChecked(!prefs::WantWidescreen->Value);
    actions_->acWideScreen->trigger();
    if (prefs::WantDeinter->Value) {
        prefs::WantDeinter->Value = false;
        actions_->acDesentrelacer->setChecked(false);
        actions_->acDesentrelacer->trigger();
    }
}

void TCaptureForm::FinishStartup() {
    if (startupDone_) {
        return;
    }
    startupDone_ = true;
    BuildShortcutTables();
    DiscoverEncodersIntoPanel();
    WriteSystemReport();
    screenSaver_.Inhibit();
    TraceStartup("start-up done");
}

void TCaptureForm::RunStartupSteps(std::vector<std::function<bool()>> steps) {
    if (closed_ || steps.empty()) {
        FinishStartup();
        return;
    }
    bool done = true;
    try {
        done = steps.front()();
    } catch (const std::exception& e) {
        // A start-up failure leaves the window usable with what was reached, and is told.
        errorText_ += std::string(e.what()) + "\r\n";
    }
    if (done) {
        steps.erase(steps.begin());
    }
    // A timer, not a posted call: posted calls run back to back before the loop looks at its
    // other sources (input, paints).
    QTimer::singleShot(
        done ? 1 : 10, Qt::PreciseTimer, this,
        [this, rest = std::move(steps)]() mutable { RunStartupSteps(std::move(rest)); });
}

bool TCaptureForm::RefreshSourceLists() {
    try {
        if (!monitor_) {
            // The plug-ins first: they claim devices by name at the first listing.
            ScanPlugins(prefs::PluginsDir->Value);
            monitor_ = std::make_unique<devices::TDeviceMonitor>();
            std::string error;
            if (!monitor_->Start(&error)) {
                monitor_.reset();
                return false;
            }
            // A camcorder the user may not open is missing from the lists without a word
            // from the bus library: said once, at start, with the group to join.
            for (const std::string& denied : devices::FireWireAccessProblems()) {
                std::fprintf(stderr, "vidorel: %s\n", denied.c_str());
                warningText_ += denied + "\r\n";
            }
        }
        const bool ok = vidorel::RefreshSourceLists(lists_, *monitor_);
        if (const std::string problem = devices::TapeScanProblem(); !problem.empty()) {
            errorText_ += problem + "\r\n";
        }
        // The boxes: names that went are deleted, new ones appended, then the "none" entries.
        const auto sync = [](QComboBox* box, const std::vector<std::string>& names,
                             const char* none) {
            const QSignalBlocker quiet(box);
            const QString kept = box->currentText();
            for (int i = box->count() - 1; i >= 0; --i) {
                const std::string item = box->itemText(i).toStdString();
                if (std::find(names.begin(), names.end(), item) == names.end()) {
                    box->removeItem(i);
                }
            }
            for (const auto& n : names) {
                if (box->findText(QString::fromStdString(n), Qt::MatchExactly) < 0) {
                    box->addItem(QString::fromStdString(n));
                }
            }
            box->addItem(QString::fromUtf8(none));
            box->setCurrentIndex(box->findText(kept, Qt::MatchExactly));
        };
        std::vector<std::string> video, audio;
        for (const auto& s : lists_.VideoStreams) {
            video.push_back(s->DisplayName);
        }
        for (const auto& s : lists_.AudioStreams) {
            audio.push_back(s->DisplayName);
        }
        sync(sourcesFrame_->cboxvideo, video, kNoVideoStream);
        sync(sourcesFrame_->cboxAudio, audio, kNoAudioStream);
        SyncExclusionList();
        // The report lists the sources: it follows them once it has been written.
        if (startupDone_) {
            WriteSystemReport();
        }
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

bool TCaptureForm::RefreshAndReselect() {
    const std::string video = sourcesFrame_->cboxvideo->currentText().toStdString();
    const std::string audio = sourcesFrame_->cboxAudio->currentText().toStdString();
    const TCaptureFormat format =
        CaptureFormatFromName(sourcesFrame_->cbFormatCapture->currentText().toStdString());
    if (!RefreshSourceLists()) {
        return false;
    }
    // A current stream that is no longer offered (its device excluded) gives way to the
    // selection, which then falls back to the first stream.
    if (dm_ != nullptr && dm_->CurrentVideo &&
        std::find(lists_.VideoStreams.begin(), lists_.VideoStreams.end(), dm_->CurrentVideo) ==
            lists_.VideoStreams.end()) {
        CloseVideoBranch(*dm_, dm_->CurrentVideo, true);
    }
    if (dm_ != nullptr && dm_->CurrentAudio &&
        std::find(lists_.AudioStreams.begin(), lists_.AudioStreams.end(), dm_->CurrentAudio) ==
            lists_.AudioStreams.end()) {
        CloseAudioBranch(*dm_, dm_->CurrentAudio, true);
    }
    SelectVideoSource(video);
    SelectAudioSource(audio);
    FillCaptureFormats(format);
    return true;
}

void TCaptureForm::ActualiserVideoBtnClick() {
    // Enumerating again under a running capture would change its sources behind its back.
    if (Busy() || refreshing_) {
        return;
    }
    refreshing_ = true;
    RefreshAndReselect();
    refreshing_ = false;
}

void TCaptureForm::DevicesChanged() {
    if (closed_ || !startupDone_ || refreshing_) {
        return;
    }
    // A capture or a schedule keeps its devices; the lists follow when it is over, unless
    // its own device went (the graph then reports it lost).
    if (Busy() || captureState_ != CaptureState::Preview) {
        QTimer::singleShot(1000, this, [this] { DevicesChanged(); });
        return;
    }
    refreshing_ = true;
    RefreshAndReselect();
    refreshing_ = false;
}

void TCaptureForm::GraphDeviceLost() {
    if (closed_ || refreshing_) {
        return;
    }
    // A running capture is finished first, with what it recorded kept; then the lists.
    if (stopping_) {
        // The run is being finished already (it saw the loss too): the lists follow after.
        QTimer::singleShot(100, this, [this] { GraphDeviceLost(); });
        return;
    }
    if (run_) {
        StopCapture([this] {
            DisarmSchedule();
            EnterPreview();
            GraphDeviceLost();
        });
        return;
    }
    refreshing_ = true;
    RefreshAndReselect();
    refreshing_ = false;
}

void TCaptureForm::FormCloseQuery() {
    if (closed_) {
        return;
    }
    closed_ = true;
    if (fullScreenWindow_ != nullptr && FullScreen()) {
        actions_->acfullscreen->trigger();
    }
    if (dm_ == nullptr) {
        return;
    }
    // A run is finished first: its files complete (and the lost-frames question asked) before
    // anything is torn down. Only the run's own completion is awaited; every command is
    // closed meanwhile.
    if (run_) {
        StopCapture();
        QElapsedTimer waited;
        waited.start();
        while ((run_ || stopping_) && waited.elapsed() < 15000) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        }
    }
    DisarmSchedule();
    // The branches go before the graph; the window stops showing frames first, and nothing
    // posts to it any more.
    vwEcran_->Attach(nullptr);
    dm_->Superposer().SetReceiver(nullptr);
    if (dm_->CurrentVideo && dm_->CurrentVideo->Device) {
        if (GstElement* element = dm_->CurrentVideo->Device->SceneDetectorElement()) {
            if (auto* detector = FilterCast<Tzv_SceneDetect>(element)) {
                detector->SetAspectReceiver(nullptr);
            }
        }
    }
    if (dm_->CurrentVideo) {
        CloseVideoBranch(*dm_, dm_->CurrentVideo, true);
    }
    if (dm_->CurrentAudio) {
        CloseAudioBranch(*dm_, dm_->CurrentAudio, true);
    }
    dm_->fg().Stop();
}

void TCaptureForm::StorePreferences() {
    try {
        prefs::Top->Value = frameGeometry().top();
        prefs::Left->Value = frameGeometry().left();
        prefs::EcranGauche->Value = layout_.VideoLeft == 0;
        prefs::Volume->Value = tb_->value();
        prefs::FullscreenOn->Value = actions_->acfullscreen->isChecked();
        prefs::ReducedOn->Value = actions_->acReduire->isChecked();
        prefs::MuteOn->Value = actions_->acMute->isChecked();
        prefs::DeinterlacerOn->Value = actions_->acDesentrelacer->isChecked();
        prefs::IncrustationOn->Value = actions_->acIncruster->isChecked();
        prefs::Elargir->Value = actions_->acElargir->isChecked();
        prefs::VerticalFlip->Value = actions_->acVertFlip->isChecked();
        prefs::HorizontalFlip->Value = actions_->acHorzFlip->isChecked();
        prefs::SourceVideo->Value = sourcesFrame_->cboxvideo->currentText().toStdString();
        prefs::SourceAudio->Value = sourcesFrame_->cboxAudio->currentText().toStdString();
        for (TPanelFrame* panel : panels_) {
            panel->StorePreferences();
        }
        prefs::SourcesExclues->Value = SaveExclusions(lists_.Exclusions);
        camForm1_->StorePreferences();
        camForm2_->StorePreferences();
    } catch (const std::exception&) {
        // What was reached is written all the same.
    }
    SavePreferences();
}

void TCaptureForm::acSauverPrefsExecute() {
    StorePreferences();
    // Saved now: the exit leaves them as they are.
    optionsFrame_->cbPrefsQuittant->setChecked(false);
    prefs::SauverPreferences->Value = false;
}

void TCaptureForm::FormDestroy() {
    screenSaver_.Release();
}

void TCaptureForm::closeEvent(QCloseEvent* e) {
    // Closing is always allowed; the save at exit stays silent when it fails.
    if (!closed_) {
        FormCloseQuery();
        if (shown_ && prefs::SauverPreferences != nullptr && prefs::SauverPreferences->Value) {
            StorePreferences();
        }
        FormDestroy();
    }
    e->accept();
}

void TCaptureForm::SetDataModule(Tdm* dm) {
    if (dm_ != nullptr) {
        dm_->fg().SetEventReceiver(nullptr);
    }
    dm_ = dm;
    if (dm_ != nullptr) {
        dm_->fg().SetEventReceiver(this);
        dm_->Superposer().SetReceiver(this);
        // The window made first is current (its marker shown).
        dm_->CamcorderWindows.SetWindows(camForm1_, camForm2_);
    }
}

void TCaptureForm::GraphEvent(const TGraphEvent& event) {
    if (run_) {
        run_->GraphEvent(event);
    }
    switch (event.Kind) {
    case TGraphEventKind::DeviceLost:
        errorText_ += event.Text + "\r\n";
        if (startupDone_ && !prefs::Notifier->Value) {
            QTimer::singleShot(0, this, [this] { GraphDeviceLost(); });
        }
        break;
    case TGraphEventKind::Error:
    case TGraphEventKind::RecordingError:
        // Kept for the error report; the capture controller acts on them.
        errorText_ += event.Text + "\r\n";
        break;
    default:
        break;
    }
}

namespace {

// A message posted from a streaming thread, with its two numbers.
class TPostedEvent : public QEvent {
public:
    TPostedEvent(int offset, int w, int l)
        : QEvent(static_cast<QEvent::Type>(QEvent::User + offset)), wParam(w), lParam(l) {}
    const int wParam;
    const int lParam;
};

} // namespace

void TCaptureForm::PostImageGrabbed(int slot) {
    QCoreApplication::postEvent(this, new TPostedEvent(kImageGrabbedEvent, 0, slot));
}

void TCaptureForm::PostGrabCountdown(int secondsLeft) {
    QCoreApplication::postEvent(this, new TPostedEvent(kGrabCountdownEvent, secondsLeft, 0));
}

void TCaptureForm::PostDVAspect(int wParam, int lParam) {
    QCoreApplication::postEvent(this, new TPostedEvent(kDVAspectEvent, wParam, lParam));
}

bool TCaptureForm::event(QEvent* e) {
    const int offset = static_cast<int>(e->type()) - static_cast<int>(QEvent::User);
    if (offset >= kImageGrabbedEvent && offset <= kDVAspectEvent) {
        const auto* posted = static_cast<TPostedEvent*>(e);
        if (closed_) {
            return true;
        }
        if (offset == kImageGrabbedEvent) {
            ImageGrabbed(posted->lParam);
        } else if (offset == kGrabCountdownEvent) {
            GrabCountdown(posted->wParam);
        } else if (offset == kDVAspectEvent) {
            DVAspectChanged(posted->wParam, posted->lParam);
        }
        return true;
    }
    return QWidget::event(e);
}

void TCaptureForm::DVAspectChanged(int wParam, int lParam) {
    // Only while the lock shows the stream's own shape.
    if (wParam != 1 || aspectFree_ || lockedAspect_ != TLockedAspect::Native) {
        return;
    }
    prefs::WideScreen->Value = lParam == 1;
    ApplyWideScreen();
}

void TCaptureForm::WatchDVAspect() {
    if (dm_ == nullptr || !dm_->CurrentVideo || !dm_->CurrentVideo->Device) {
        return;
    }
    if (GstElement* element = dm_->CurrentVideo->Device->SceneDetectorElement()) {
        if (auto* detector = FilterCast<Tzv_SceneDetect>(element)) {
            detector->SetAspectReceiver(this);
        }
    }
}

bool TCaptureForm::Busy() const {
    // A run records (or is being finished): its sources and format stay as they are.
    return captureState_ == CaptureState::Capturing ||
           captureState_ == CaptureState::ScheduledCapturing || run_ != nullptr || stopping_;
}

void TCaptureForm::ComputeNextVideoName() {
    const TCaptureFormat format = static_cast<TCaptureFormat>(prefs::CaptureFormat->Value);
    nextVideoName_ = VideoFileName(prefs::VideoDirectory->Value, prefs::VideoRacine->Value,
                                   prefs::VideoDate->Value, startupTime_, videoCounter_, format);
    const QString file = QString::fromStdString(nextVideoName_).section(QLatin1Char('/'), -1);
    sourcesFrame_->LabelVideo->setText(file);
    if (auto* folderLabel =
            panels_[1] ? panels_[1]->findChild<QLabel*>(QStringLiteral("LabelVideo")) : nullptr) {
        folderLabel->setText(file);
    }
}

void TCaptureForm::ComputeNextImageName() {
    nextImageName_ = ImageFileName(prefs::ImageDirectory->Value, prefs::ImageRacine->Value,
                                   prefs::ImageDate->Value, startupTime_, imageCounter_,
                                   prefs::ExtensionDesImages->Value != 0);
    const QString file = QString::fromStdString(nextImageName_).section(QLatin1Char('/'), -1);
    for (TPanelFrame* panel : {panels_[1], panels_[3]}) {
        for (const char* name : {"LabelImage", "destlabel"}) {
            if (auto* label = panel->findChild<QLabel*>(QString::fromUtf8(name))) {
                label->setText(file);
            }
        }
    }
}

} // namespace vidorel

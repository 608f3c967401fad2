#include "app/CaptureForm.h"

#include "app/StartupTrace.h"
#include "app/VideoWindow.h"
#include "devices/DeviceMonitor.h"
#include "devices/VirtualDevices.h"
#include "filters/zv_superposer.h"
#include "graph/AVgraph.h"
#include "graph/CapturePlans.h"
#include "graph/DSFunctions.h"
#include "graph/RunGraph.h"
#include "graph/SourceBranches.h"
#include "settings/Preferences.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

namespace vidorel {

namespace {

// The stream of that name, else the first one (null for an empty list).
template <typename S>
std::shared_ptr<S> NamedOrFirst(const std::vector<std::shared_ptr<S>>& streams,
                                const std::string& name) {
    auto it = std::find_if(streams.begin(), streams.end(),
                           [&](const auto& s) { return s->DisplayName == name; });
    if (it != streams.end()) {
        return *it;
    }
    return streams.empty() ? nullptr : streams.front();
}

} // namespace

TCaptureForm::TCaptureForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CaptureForm"));
    setWindowTitle(NormalCaption());
    setFixedSize(kClientWidth, kClientHeight);
    // The video area: the preview window fills it.
    panel1_ = new QWidget(this);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    panel1_->setGeometry(10, 40, 415, 321);
    vwEcran_ = new TVideoWindow(panel1_);
    vwEcran_->setGeometry(0, 0, 415, 321);
    FormCreate();
}

TCaptureForm::~TCaptureForm() {
    FormCloseQuery();
    vwEcran_->Attach(nullptr);
    if (dm_ != nullptr) {
        dm_->fg().SetEventReceiver(nullptr);
    }
}

QString TCaptureForm::NormalCaption() {
    return QStringLiteral("%1 %2 by %3")
        .arg(QString::fromUtf8(kProductName), QString::fromUtf8(kProductVersion),
             QString::fromUtf8(kMakerName));
}

void TCaptureForm::FormCreate() {
    // Nothing here may touch the graph: the data module is created after the window.
    CreatePreferenceList();
}

void TCaptureForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TCaptureForm::FormShow() {
    LoadPreferences();
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
    move(prefs::Left->Value, prefs::Top->Value);
}

void TCaptureForm::AppEvents1Idle() {
    if (startupDone_ || closed_) {
        return;
    }
    errorText_.clear();
    if (!storeProblem_.empty()) {
        errorText_ += storeProblem_ + "\r\n";
    }
    // Without a data module there is no media work to start (a window under test).
    if (dm_ == nullptr) {
        startupDone_ = true;
        return;
    }
    // One step per turn of the event loop: the window answers between them. A step that
    // answers false is tried again a little later.
    RunStartupSteps({
        [this] {
            vwEcran_->Attach(&dm_->vwEcran);
            CloseBranchesOnDeviceRemoval(*dm_, lists_);
            ApplyVolume();
            ApplyWantedEffects();
            lists_.Exclusions = LoadExclusions(prefs::SourcesExclues->Value);
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
            auto wanted = NamedOrFirst(lists_.VideoStreams, prefs::SourceVideo->Value);
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
            TraceStartup("audio source selected");
            return true;
        },
    });
}

void TCaptureForm::RunStartupSteps(std::vector<std::function<bool()>> steps) {
    if (closed_ || steps.empty()) {
        startupDone_ = true;
        return;
    }
    bool done = true;
    try {
        done = steps.front()();
    } catch (const std::exception&) {
        // A start-up failure leaves the window usable with what was reached.
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
            monitor_ = std::make_unique<devices::TDeviceMonitor>();
            std::string error;
            if (!monitor_->Start(&error)) {
                monitor_.reset();
                return false;
            }
        }
        const bool ok = vidorel::RefreshSourceLists(lists_, *monitor_);
        if (const std::string problem = devices::TapeScanProblem(); !problem.empty()) {
            errorText_ += problem + "\r\n";
        }
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

void TCaptureForm::ApplyVolume() {
    dm_->audiorender.SetMute(prefs::MuteOn->Value);
    dm_->audiorender.SetVolume(prefs::Volume->Value);
}

void TCaptureForm::ApplyWantedEffects() {
    ApplyStoredEffects(*dm_);
}

bool TCaptureForm::SelectVideoSource(const std::string& name) {
    if (dm_ == nullptr) {
        return false;
    }
    if (dm_->CurrentVideo && dm_->CurrentVideo->DisplayName == name) {
        return true;
    }
    if (!dm_->CurrentVideo && name == kNoVideoStream) {
        return true;
    }
    bool result = false;
    try {
        if (name != kNoVideoStream && !lists_.VideoStreams.empty()) {
            auto stream = NamedOrFirst(lists_.VideoStreams, name);
            if (OpenVideoBranch(*dm_, stream)) {
                prefs::SourceVideo->Value = stream->DisplayName;
                result = true;
            }
        } else {
            if (dm_->CurrentVideo) {
                CloseVideoBranch(*dm_, dm_->CurrentVideo, true);
            }
            prefs::SourceVideo->Value = kNoVideoStream;
            result = true;
        }
    } catch (const std::exception&) {
        result = false;
    }
    // The open ran the graph; what stays (the other stream) runs again after a failure.
    RunGraph(*dm_);
    return result;
}

bool TCaptureForm::SelectAudioSource(const std::string& name) {
    if (dm_ == nullptr) {
        return false;
    }
    if (dm_->CurrentAudio && dm_->CurrentAudio->DisplayName == name) {
        return true;
    }
    if (!dm_->CurrentAudio && name == kNoAudioStream) {
        return true;
    }
    bool result = false;
    try {
        if (name != kNoAudioStream && !lists_.AudioStreams.empty()) {
            auto stream = NamedOrFirst(lists_.AudioStreams, name);
            if (OpenAudioBranch(*dm_, stream)) {
                prefs::SourceAudio->Value = stream->DisplayName;
                result = true;
            }
        } else {
            if (dm_->CurrentAudio) {
                CloseAudioBranch(*dm_, dm_->CurrentAudio, true);
            }
            prefs::SourceAudio->Value = kNoAudioStream;
            result = true;
        }
    } catch (const std::exception&) {
        result = false;
    }
    // The open ran the graph; what stays (the other stream) runs again after a failure.
    RunGraph(*dm_);
    return result;
}

void TCaptureForm::FormCloseQuery() {
    if (closed_) {
        return;
    }
    closed_ = true;
    if (dm_ == nullptr) {
        return;
    }
    // The branches go before the graph; the window stops showing frames first.
    vwEcran_->Attach(nullptr);
    if (dm_->CurrentVideo) {
        CloseVideoBranch(*dm_, dm_->CurrentVideo, true);
    }
    if (dm_->CurrentAudio) {
        CloseAudioBranch(*dm_, dm_->CurrentAudio, true);
    }
    dm_->fg().Stop();
}

void TCaptureForm::StorePreferences() {
    prefs::Top->Value = frameGeometry().top();
    prefs::Left->Value = frameGeometry().left();
    SavePreferences();
}

void TCaptureForm::closeEvent(QCloseEvent* e) {
    // Closing is always allowed; the save at exit stays silent when it fails.
    if (!closed_) {
        FormCloseQuery();
        if (shown_ && prefs::SauverPreferences != nullptr && prefs::SauverPreferences->Value) {
            StorePreferences();
        }
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
    }
}

void TCaptureForm::GraphEvent(const TGraphEvent& event) {
    switch (event.Kind) {
    case TGraphEventKind::Error:
    case TGraphEventKind::DeviceLost:
    case TGraphEventKind::RecordingError:
        // Kept for the error report; the capture controller acts on them.
        errorText_ += event.Text + "\r\n";
        break;
    default:
        break;
    }
}

} // namespace vidorel

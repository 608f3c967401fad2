#pragma once

#include "graph/GraphEvents.h"
#include "sources/CaptureSources.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vidorel {

class Tdm;
class TVideoWindow;
namespace devices {
class TDeviceMonitor;
}

// The main window. Fixed 700 x 459 client area; owns the preference list for the life of the
// program, loads the preferences when first shown, starts the preview of the stored sources on
// the first idle moment, and takes it all down and stores the preferences when closed.
class TCaptureForm : public QWidget, public IGraphEvents {
public:
    static constexpr int kClientWidth = 700;
    static constexpr int kClientHeight = 459;
    static constexpr const char* kNoVideoStream = "No video stream";
    static constexpr const char* kNoAudioStream = "No Audio Stream";

    explicit TCaptureForm(QWidget* parent = nullptr);
    ~TCaptureForm() override;

    // The data module whose graph the window drives; set before the window is shown (the
    // window is created first, so nothing while it is created touches the graph).
    void SetDataModule(Tdm* dm);

    // "Vidorel 5.1.7 by Marlott"
    static QString NormalCaption();

    // Makes the named stream current and runs the preview; a name that is not listed selects
    // the first stream. True when the selection stands.
    bool SelectVideoSource(const std::string& name);
    bool SelectAudioSource(const std::string& name);

    TVideoWindow* VideoWindow() const { return vwEcran_; }
    const TSourceLists& Sources() const { return lists_; }
    // Start-up problems and failures of the graph, for the error report.
    const std::string& ErrorText() const { return errorText_; }

    // What the graph tells (on this thread).
    void GraphEvent(const TGraphEvent& event) override;
    bool StartupDone() const { return startupDone_; }

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void FormShow();
    void LoadPreferences();
    void AppEvents1Idle();
    // Runs the first step now and the others one per later turn of the event loop.
    void RunStartupSteps(std::vector<std::function<bool()>> steps);
    // How long the start-up waits for the codec plug-ins before opening a source anyway.
    static constexpr long long kPreloadPatienceMs = 3000;
    bool RefreshSourceLists();
    void ApplyVolume();
    // The effects chosen in the preferences, pushed into the preview's overlay.
    void ApplyWantedEffects();
    void FormCloseQuery();
    void StorePreferences();

    Tdm* dm_ = nullptr;
    QWidget* panel1_ = nullptr;
    TVideoWindow* vwEcran_ = nullptr;
    std::unique_ptr<devices::TDeviceMonitor> monitor_;
    TSourceLists lists_;
    std::string errorText_;
    std::string storeProblem_; // what was wrong with the preferences file when loaded
    bool shown_ = false;
    bool startupDone_ = false;
    bool closed_ = false;
};

} // namespace vidorel

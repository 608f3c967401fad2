#pragma once

#include "app/GrabWriter.h"
#include "app/Schedule.h"
#include "app/ScreenSaver.h"
#include "app/ViewRules.h"
#include "filters/deinter.h"
#include "filters/zv_scenedetect.h"
#include "filters/zv_superposer.h"
#include "graph/Encoders.h"
#include "graph/GraphEvents.h"
#include "graph/OptionsUnit.h"
#include "platform/DateTime.h"
#include "platform/UserPrompt.h"
#include "sources/CaptureSources.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSlider;
class QToolBar;
class QToolButton;

namespace vidorel {

class Tdm;
class TVideoWindow;
class TPanelFrame;
class TSourcesFrame;
class TDossiersFrame;
class TProgrammerFrame;
class TExtraireFrame;
class TIncrusterFrame;
class TOptionsFrame;
class THelpFrame;
class TAproposFrame;
class TErreurFrame;
class TStatusBar;
class TCaptureRun;
class TcamForm;
struct TCaptureOutcome;
struct TActions;
namespace devices {
class TDeviceMonitor;
}

// The main window: the preview area, the row of eight option panels of which one shows at a
// time, the tool bars, the pop-up menu, the status bar and every command with its shortcut.
// Fixed 700 x 459 client area. It loads the preferences into its controls when first shown,
// does the rest of the start-up on the first idle moment (devices, the stored sources and
// format, the preview, the effects, the error report), and takes it all down and stores the
// preferences when closed.
//
// The presentation (panels, layout, effects, preview lock) is in CaptureFormView.cpp, the
// selection of sources and format in SourceSelection.cpp, the rules they follow in ViewRules.
// "h:mm:ss:ff" from a packed BCD timecode (hours without a leading zero).
std::string CamcorderTimecodeText(uint32_t packedBcd);

class TCaptureForm : public QWidget,
                     public IGraphEvents,
                     public IDVAspectReceiver,
                     public ISuperposerReceiver {
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
    // Who answers the window's questions and messages (message boxes unless a test sets one).
    void SetUserPrompt(IUserPrompt* prompt);

    // "Vidorel 5.1.7 by Marlott"
    static QString NormalCaption();

    // --- source and format selection ---
    // Makes the named stream current and runs the preview; a name that is not listed selects
    // the first stream. True when the selection stands. `reopen` builds the branch again even
    // when the stream is current already (its settings changed).
    bool SelectVideoSource(const std::string& name, bool reopen = false);
    bool SelectAudioSource(const std::string& name, bool reopen = false);
    // Rebuilds the format list for the current streams and selects `wanted` (or the first).
    void FillCaptureFormats(TCaptureFormat wanted);
    // The Sources panel's handlers.
    void cboxVideoChange();
    void cboxAudioChange();
    void cbFormatCaptureClick();
    void SourcesFrameleFramerateExit();
    void SourcesFramesbFormatCapturesettingsClick();
    // The sound card's input lines into the Sources panel (the one it records from chosen),
    // and a line chosen there.
    void FillSoundCardInputs();
    void SourcesFramecbEntriesChange();
    // Enumerates again and selects what was selected (the refresh button).
    void ActualiserVideoBtnClick();

    // --- capture control ---
    // The capture toggle (Space), the schedule toggle (Ctrl+P) and the cut (F7), by state.
    void acCapturerBasculeExecute();
    void acProgrammerBasculeExecute();
    void acCouperExecute();
    // Starts a run of the chosen format into the next file name (after the questions); false
    // (and told why) when it does not start.
    bool StartCapture();
    // Finishes the run; `then` runs once every file is complete and the preview is as before,
    // before any question about the files.
    void StopCapture(std::function<void()> then = {});
    bool ArmSchedule();
    bool ArmScheduleEnd();
    void DisarmSchedule();
    // The alarm's targets.
    void lancerEnregistrement();
    void stopperEnregistrement();
    // Looks at the alarm (every second; tests call it with their own clock).
    void CheckAlarm();
    // The clock of the schedule (the computer's, unless a test sets one).
    std::function<QDateTime()> Clock;
    // The run in progress (null in Preview and Scheduled), and whether it is being finished.
    TCaptureRun* Run() const { return run_.get(); }
    bool Stopping() const { return stopping_; }
    const TScheduleAlarm& Alarm() const { return alarm_; }
    // The status bar's capture fields, as the 100 ms timer writes them.
    void DroppedActionTimer();
    // The tape timecode and recording date of a stream, into its camcorder window.
    void ShowCamcorderCodes(const std::shared_ptr<TavFlux>& stream);
    // The companion program on the clips of this run (F8).
    void acTapelogExecute();

    // --- presentation ---
    void ShowPanel(int n);
    int ActivePanel() const;
    void LayoutPanels();
    void LayoutForWideScreen(bool wide);
    void ApplyPreviewLock(bool locked);
    void ShowErrorReport(const std::string& text, bool fatal);
    bool EffectsAllowed() const { return effectsAllowed_; }
    bool AspectFree() const { return aspectFree_; }
    TLockedAspect LockedAspect() const { return lockedAspect_; }
    bool FullScreen() const;

    // --- parts, for the next steps and for tests ---
    TActions& Actions() const { return *actions_; }
    TPanelFrame* Panel(int n) const;
    TSourcesFrame* SourcesFrame() const { return sourcesFrame_; }
    THelpFrame* HelpFrame() const { return helpFrame_; }
    TProgrammerFrame* ProgrammerFrame() const { return programmerFrame_; }
    TErreurFrame* ErreurFrame() const { return erreurFrame_; }
    TStatusBar* StatusBar() const { return statusBar1_; }
    QWidget* VideoArea() const { return panel1_; }
    TVideoWindow* VideoWindow() const { return vwEcran_; }
    const TSourceLists& Sources() const { return lists_; }
    CaptureState State() const { return captureState_; }
    // Start-up problems and failures of the graph, for the error report.
    const std::string& ErrorText() const { return errorText_; }
    bool StartupDone() const { return startupDone_; }
    // The next capture's file name.
    const std::string& NextVideoName() const { return nextVideoName_; }
    const std::string& NextImageName() const { return nextImageName_; }

    // What the graph tells (on this thread).
    void GraphEvent(const TGraphEvent& event) override;

    // Posted from the filters' streaming threads, handled later on this thread: a grabbed
    // picture (User+1, the snapshot slot), the intervalometer's countdown (User+2, seconds
    // left), and a DV stream that turned 16:9 or 4:3 (User+3).
    static constexpr int kImageGrabbedEvent = 1;
    static constexpr int kGrabCountdownEvent = 2;
    static constexpr int kDVAspectEvent = 3;
    void PostImageGrabbed(int slot) override;
    void PostGrabCountdown(int secondsLeft) override;
    void PostDVAspect(int wParam, int lParam) override;

    // --- grabs and the intervalometer ---
    // F5, Ctrl+G, the grab button, a left click on the preview: shows the Grab panel and grabs.
    void acGrabExecute();
    void RequestGrab();
    // GrabSaved := the last picture at the shape of `mode` (0 as it is, 1 4:3, 2 16:9), shown.
    void ShowGrabbedImage(int mode);
    // Saves GrabSaved under the next image name (after the replacement question).
    void SaveGrabbedImage();
    // Image-by-image capture on or off: grabs go into the video file instead of image files.
    void SetImageByImageMode(bool on);
    // The intervalometer switch.
    void RxSwitch1Click(bool on);
    // The picture shown and saved last, and the countdown last heard.
    const QImage& GrabSaved() const { return grabSaved_; }
    int SecondsToGrab() const { return secondsToGrab_; }
    bool ImageByImageActive() const { return imageByImageActive_; }
    // Waits until the pictures on their way to the disk are there.
    bool WaitForImageWrites(int timeoutMs);
    // The warning beeps: 0 at the grab, 1 to 4 seconds before (tests listen instead).
    std::function<void(int secondsLeft)> Beep;
    TExtraireFrame* ExtraireFrame() const;

    // --- the inlay ---
    // The content and repetition choices of the new video stream (DV or not), handed on.
    void RebuildInlayChoices(bool isDV);
    // The font dialog and the time-difference dialog of the Inlay panel.
    void ChooseInlayFont();
    void sbDecalageAvanceClick();
    TIncrusterFrame* IncrusterFrame() const { return incrusterFrame_; }
    // --- the settings menus of the sources ---
    // The menu of the video (or audio) settings button, as it pops up.
    void BuildSettingsMenu(QMenu& menu, bool video);
    // "Video Capture Filter..." / "Audio Capture Filter...": the source's property page, then
    // the branch built again when something changed.
    void SettingsMenuItemClick(bool video);
    // "Video Capture Pin...": the device's sizes and rates; the one chosen is kept for the
    // device and the branch built again with it.
    void CapturePinClick();
    // An input of the "Video Input" submenu: routed, remembered in "Video Input Select".
    void VideoInputItemClick(QAction* item);

    // --- the camcorder windows ---
    TcamForm* CamForm1() const { return camForm1_; }
    TcamForm* CamForm2() const { return camForm2_; }
    // Ctrl+Ins: the camera commands go to the other window, when it is shown.
    void camToggleExecute();

    // --- the Settings panel and the system report ---
    // The encoders found, into the Settings panel (at the end of the start-up).
    void DiscoverEncodersIntoPanel();
    // The Windows Media profiles of the chosen version.
    void FillWmvProfiles();
    // Rewrites the report on the Help panel's System page (and the About panel's mail).
    void WriteSystemReport();
    const std::vector<TReportLine>& ReportLines() const { return reportLines_; }
    const TEncoderDiscovery& Encoders() const { return encoders_; }

    // Runs a modal dialog of the window (tests answer it instead); its exec() result.
    std::function<int(QDialog&)> RunDialog;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* e) override;

private:
    void DVAspectChanged(int wParam, int lParam);
    // Grabs.
    void CreateGrabWriter();
    void ImageGrabbed(int slot);
    void GrabCountdown(int seconds);
    void ImageWritten(const TGrabWriter::Result& result);
    void TellImageProblem(const std::string& text);
    void IntervalometerVideoLost();
    void IntervalometerVideoBack();
    // The DV stream's scene detector tells the window when its shape changes.
    void WatchDVAspect();
    // Start-up and shutdown.
    void CreateControls();
    void CreatePanels();
    void ApplyErrorReportTexts();
    void ShowErrorPanel(const std::string& text, bool fatal);
    void CloseErrorPanel(bool fatal);
    // What the mail links carry about this machine.
    QString SystemSummary() const;
    // The Help panel's source list shows the exclusions; a click there changes them.
    void SyncExclusionList();
    void ExclusionClicked();
    void BuildShortcutTables();
    void BindActions();
    void BindPanels();
    void FormCreate();
    void FormShow();
    void LoadPreferences();
    void AppEvents1Idle();
    void ApplyDeferredPreferences();
    void ApplyWantedEffects();
    void FinishStartup();
    // Runs the first step now and the others one per later turn of the event loop.
    void RunStartupSteps(std::vector<std::function<bool()>> steps);
    // How long the start-up waits for the codec plug-ins before opening a source anyway.
    static constexpr long long kPreloadPatienceMs = 3000;
    bool RefreshSourceLists();
    // Enumerates again and selects the streams and format of the three boxes.
    bool RefreshAndReselect();
    void DevicesChanged();
    void GraphDeviceLost();
    void FormCloseQuery();
    void StorePreferences();
    void FormDestroy();
    // The save command: store now, then no more at exit.
    void acSauverPrefsExecute();

    // Presentation.
    void ApplyEnglishTexts();
    void HideActivePanel();
    void acReduireExecute(bool reduced);
    void acfullscreenExecute(bool on);
    void acElargirExecute(bool ticked);
    void acWideScreenExecute(bool ticked);
    void acVertFlipExecute(bool ticked);
    void acHorzFlipExecute(bool ticked);
    void acDesentrelacerExecute(bool ticked);
    void acIncrusterExecute(bool ticked);
    // The inlay action's caption, hint and icon say what a click does next.
    void ShowInlayAction();
    void BindInlay();
    void BindSettings();
    void BindSettingsMenus();
    // An encoder's property page; what the user changed is kept in its moniker and the store.
    void EncoderPage(TFilter& encoder, const QString& title);
    void CreateCamcorderWindows();
    // The Sources panel's camcorder button shows or hides the stream's window.
    void TogglePilot(const std::shared_ptr<TavFlux>& stream);
    // Entering the preview: the camcorder buttons and windows of streams in VCR mode.
    void ShowCamcorderControls();
    void StartInlay();
    void StopInlay();
    int ExecDialog(QDialog& dialog);
    // The recording date and time of the DV frame seen last, 0 when there is none.
    TDateTime LastRecordingTime() const;
    void acLockPreviewExecute(bool locked);
    void acMuteExecute(bool muted);
    void ChangeVolume(int delta);
    void acSlidersExecute(bool shown);
    void acBasculerPanneauExecute();
    void EffectsOptionChanged(bool on);
    void ApplyWideScreen();
    void ApplyKeepAspect();
    void ApplyVerticalFlip();
    void ApplyHorizontalFlip();
    void ApplyDeinterlaceState();
    void ApplyInlayState();
    void ApplyVolume();
    void ShowVideoControls();
    void HideVideoControls();
    void ShowAudioControls();
    void HideAudioControls();
    void UpdateStatusTexts();
    // Back to the preview state (only from the preview: a capture or a schedule keeps its
    // state until its controller ends it).
    void EnterPreview();
    bool Busy() const;
    bool EnterCapturing();
    bool EnterScheduled();
    bool EnterScheduledCapturing();
    // The controls every state entry sets: the table of the four states.
    void ApplyStateControls();
    void StopFinished(const TCaptureOutcome& outcome, const std::function<void()>& then);
    void RunEndedByItself(const std::string& reason);
    // The next video name after the one in use: the counter advances.
    void AdvanceVideoName();
    void AdvanceImageName();
    void RestoreDeinterlacer();
    void ScheduleFieldsChanged(bool start);
    // Asks the replacement and missing-folder questions for the next file; false when the user
    // declines.
    bool ConfirmOutputFile(bool offerAll, PromptKind folderKind);
    void Tell(PromptKind kind, const std::string& text);
    // A name root typed into `edit`: refused (and put back) when it holds a "/".
    bool AcceptRoot(QLineEdit* edit, const std::string& previous);
    void ComputeNextVideoName();
    void ComputeNextImageName();
    void LeaveOutFailedDevice(const std::shared_ptr<TCaptureDevice>& device);
    void RefreshStreamLabels();

    Tdm* dm_ = nullptr;
    IUserPrompt* prompt_ = nullptr;
    std::unique_ptr<IUserPrompt> ownPrompt_;
    std::unique_ptr<TActions> actions_;

    // The video area and what is around it.
    QWidget* panel1_ = nullptr;
    QFrame* shape2_ = nullptr;
    TVideoWindow* vwEcran_ = nullptr;
    QLabel* panel2_ = nullptr;
    QSlider* xslider_ = nullptr;
    QSlider* yslider_ = nullptr;
    QWidget* shape1_ = nullptr;
    QToolButton* captureBtn_ = nullptr;
    QToolButton* sbCouper_ = nullptr;
    QToolButton* grabBtn_ = nullptr;
    QLabel* labVolume_ = nullptr;
    QSlider* tb_ = nullptr;
    QProgressBar* gaugeVolume_ = nullptr;
    QToolBar* tbActions_ = nullptr;
    QToolBar* tbPanneaux_ = nullptr;
    QToolBar* tbGeneral_ = nullptr;
    QMenu* popup_ = nullptr;
    TStatusBar* statusBar1_ = nullptr;
    // The full-screen preview: the preview window moves into it and back.
    QWidget* fullScreenWindow_ = nullptr;

    // The panels, in panel order, and the error report over the whole window.
    std::array<TPanelFrame*, kPanelCount> panels_{};
    TSourcesFrame* sourcesFrame_ = nullptr;
    TDossiersFrame* dossiersFrame_ = nullptr;
    TProgrammerFrame* programmerFrame_ = nullptr;
    TExtraireFrame* extraireFrame_ = nullptr;
    TIncrusterFrame* incrusterFrame_ = nullptr;
    TOptionsFrame* optionsFrame_ = nullptr;
    THelpFrame* helpFrame_ = nullptr;
    TAproposFrame* aproposFrame_ = nullptr;
    TErreurFrame* erreurFrame_ = nullptr;
    bool errorFatal_ = false;
    QSize sizeBeforeError_;

    TPanelLayout layout_ = PanelLayoutFor(false);
    bool effectsAllowed_ = true;
    bool aspectFree_ = true;
    TLockedAspect lockedAspect_ = TLockedAspect::Free;

    CaptureState captureState_ = CaptureState::Preview;
    std::unique_ptr<TCaptureRun> run_;
    bool stopping_ = false;
    // Set while the controller works (a question is open, a run starts): keys and timers
    // that would enter it again wait.
    bool controllerBusy_ = false;
    bool savedDeinterlace_ = false;
    std::string captureFileName_;
    // The run's duration, on a clock that a change of the computer's time does not move.
    QElapsedTimer captureClock_;
    TScheduleAlarm alarm_;
    std::unique_ptr<devices::TDeviceMonitor> monitor_;
    TSourceLists lists_;
    TScreenSaverInhibitor screenSaver_;
    TDateTime startupTime_ = 0;
    int videoCounter_ = 0;
    std::string nextVideoName_;
    int imageCounter_ = 0;
    std::string nextImageName_;
    std::string errorText_;
    std::string storeProblem_; // what was wrong with the preferences file when loaded
    std::string warningText_;  // what the start found wrong that leaves the window usable
    bool shown_ = false;
    bool startupDone_ = false;
    bool closed_ = false;
    bool refreshing_ = false;

    // Grabs: the picture as grabbed (24 bits, deinterlaced), as shown and saved, and the
    // writer that takes it to the disk.
    QImage grabPicture_;
    QImage grabSaved_;
    DeinterlaceScratch grabScratch_;
    std::unique_ptr<TGrabWriter> grabWriter_;
    int secondsToGrab_ = 0;
    bool imageByImageActive_ = false;
    bool imageProblemShown_ = false;
    // The tape's time the time-difference dialog starts from (kept when no DV stream tells).
    TDateTime tapeTime_ = 0;
    TEncoderDiscovery encoders_;
    TcamForm* camForm1_ = nullptr;
    TcamForm* camForm2_ = nullptr;
    std::vector<TReportLine> reportLines_;
};

} // namespace vidorel

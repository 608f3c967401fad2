#pragma once

// A camcorder window: the transport buttons of a DV camcorder (or deck) in VCR mode, the tape
// timecode and the recording date of the frame being read. Two exist for the whole run, so that
// the video and the sound of two camcorders can each be driven; the main window's camera
// commands act on the current one, which shows a marker.

#include "sources/CamcorderBinding.h"
#include "sources/nav_capture.h"

#include <QWidget>

class QCheckBox;
class QLabel;

namespace vidorel {

class TcamForm : public QWidget, public ICamcorderWindow {
public:
    // `number` is 1 or 2 (its object name "CamForm1" or "CamForm2").
    TcamForm(int number, QWidget* owner);
    ~TcamForm() override;

    void ApplyEnglishTexts();
    // Position, "Stop when quit" and ShowWanted from and to the preferences of this window.
    void LoadPreferences();
    void StorePreferences();

    // ICamcorderWindow
    void SetCaption(const std::string& caption) override;
    bool ShowWanted() const override { return showWanted_; }
    void SetShown(bool shown) override { setVisible(shown); }
    void SetTransport(std::shared_ptr<devices::TTapeTransport> transport,
                      std::shared_ptr<devices::TTapeTransport> timecodeReader) override;
    void ClearTransport() override;
    bool TransportAvailable() const override { return nav_captureframe1->TransportAvailable; }
    bool StopWhenQuit() const override;
    void RunStopAction() override;
    void ShowCurrentMarker(bool shown) override;
    void ShowCodes(const std::string& timecode, const std::string& recordingDate) override;

    void SetShowWanted(bool wanted) { showWanted_ = wanted; }
    bool MarkerShown() const { return markerShown_; }

    Tnav_captureframe* nav_captureframe1;
    QLabel* TimecodePanel;
    QCheckBox* cbStopQuittant;
    QLabel* Label1; // recording date and time of the frame
    QLabel* image1; // the marker of the current window

private:
    const int number_;
    bool showWanted_ = true;
    bool markerShown_ = false;
};

} // namespace vidorel

#pragma once

// The transport buttons of a camcorder window: play, pause, stop, slow and fast forward and
// backward, each an action with its key. Fast forward and rewind wind a stopped tape and
// shuttle a playing one. Every action does nothing while no transport is bound.

#include "devices/Transport.h"

#include <QWidget>

#include <memory>

class QAction;
class QToolButton;

namespace vidorel {

// The mode each rule sets, from the mode the transport reports now.
int FastForwardMode(int currentMode);
int FastRewindMode(int currentMode);
int PlayPauseMode(int currentMode);

class Tnav_captureframe : public QWidget {
public:
    explicit Tnav_captureframe(QWidget* parent = nullptr);

    // The transport and the timecode reader of the bound camcorder (either may be null).
    void SetTransport(std::shared_ptr<devices::TTapeTransport> transport,
                      std::shared_ptr<devices::TTapeTransport> timecodeReader);
    void ClearTransport();

    std::shared_ptr<devices::TTapeTransport> Transport;
    bool TransportAvailable = false;
    std::shared_ptr<devices::TTapeTransport> TimecodeReader;
    bool TimecodeAvailable = false;

    QAction* PlayAction;
    QAction* PauseAction;
    QAction* StopAction;
    QAction* AvanceLentAction;
    QAction* AvanceRapideAction;
    QAction* ReculeLentAction;
    QAction* ReculeRapideAction;
    QAction* PlayPauseAction;

    QToolButton* PlayBtn;
    QToolButton* PauseBtn;
    QToolButton* StopBtn;
    QToolButton* AvanceLentBtn;
    QToolButton* FastForwardBtn;
    QToolButton* RecullentBtn;
    QToolButton* FastRewBtn;

private:
    void Set(int mode);
    int Current();
};

} // namespace vidorel

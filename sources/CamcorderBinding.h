#pragma once

// The two camcorder windows as the source branches see them: a window is bound to the device
// of an open stream that has a tape transport, and unbound when that device's last open stream
// closes. The windows themselves (transport buttons, timecode, recording date) implement
// ICamcorderWindow; the branches only choose a window, bind it and unbind it.
//
// Main (UI) thread only, like everything that opens or closes branches.

#include "devices/Transport.h"
#include "sources/CaptureSources.h"

#include <memory>
#include <string>

namespace vidorel {

class ICamcorderWindow {
public:
    // The device's display name while bound.
    virtual void SetCaption(const std::string& caption) = 0;
    // Whether the user wants this window shown while its camcorder is usable.
    virtual bool ShowWanted() const = 0;
    virtual void SetShown(bool shown) = 0;
    // Hands the window its transport and timecode reader (the same object on this platform;
    // the reader may be null when the device cannot read timecode).
    virtual void SetTransport(std::shared_ptr<devices::TTapeTransport> transport,
                              std::shared_ptr<devices::TTapeTransport> timecodeReader) = 0;
    // Releases both and marks the transport unavailable.
    virtual void ClearTransport() = 0;
    virtual bool TransportAvailable() const = 0;
    // The "Stop when quit" box.
    virtual bool StopWhenQuit() const = 0;
    // The window's Stop transport action.
    virtual void RunStopAction() = 0;
    // The marker that shows which window the camera commands act on.
    virtual void ShowCurrentMarker(bool shown) = 0;
    // The tape's timecode ("1:02:03:04") and the recording date of the frame, shown every
    // 100 ms while the window's transport is usable.
    virtual void ShowCodes(const std::string& timecode, const std::string& recordingDate) {
        (void)timecode;
        (void)recordingDate;
    }

protected:
    ~ICamcorderWindow() = default;
};

// CamForm1, CamForm2 and the current one. The main window registers its two windows at
// start-up; until then (and in programs without windows) streams get no window, but still
// know whether they have a transport. The engine object (Tdm) holds the program's one set.
class TCamcorderWindows {
public:
    // Registers the windows and makes the first one current (its marker shown).
    void SetWindows(ICamcorderWindow* first, ICamcorderWindow* second) {
        CamForm1 = first;
        CamForm2 = second;
        CurrentCamForm = nullptr;
        if (CamForm2) {
            CamForm2->ShowCurrentMarker(false);
        }
        MakeCurrent(CamForm1);
    }

    void MakeCurrent(ICamcorderWindow* window) {
        if (window == nullptr || window == CurrentCamForm) {
            return;
        }
        if (CurrentCamForm) {
            CurrentCamForm->ShowCurrentMarker(false);
        }
        window->ShowCurrentMarker(true);
        CurrentCamForm = window;
    }

    void ReleaseCurrent(ICamcorderWindow* window) {
        if (window != nullptr && window == CurrentCamForm) {
            MakeCurrent(window == CamForm1 ? CamForm2 : CamForm1);
        }
    }

    // Binds a window to `stream`, whose device offers `transport`: the window of `other` when
    // that is the open stream of the other type on the same device, else window 1, or window 2
    // when window 1 already holds a transport. Sets stream.HasTransport and stream.CamForm.
    void Bind(TavFlux& stream, const TavFlux* other,
              std::shared_ptr<devices::TTapeTransport> transport) {
        stream.HasTransport = transport != nullptr;
        if (!transport) {
            return;
        }
        ICamcorderWindow* window = nullptr;
        if (stream.CamForm != nullptr && stream.CamForm->TransportAvailable()) {
            // The stream opened again on its device (its branch rebuilt): its window stays.
            window = stream.CamForm;
        } else if (other != nullptr && other->Opened && other->Device == stream.Device &&
                   other->CamForm) {
            window = other->CamForm;
        } else if (CamForm1 && CamForm1->TransportAvailable()) {
            window = CamForm2;
        } else {
            window = CamForm1;
        }
        stream.CamForm = window;
        if (window == nullptr) {
            return;
        }
        window->SetCaption(stream.Device ? stream.Device->DisplayName : std::string());
        window->SetShown(window->ShowWanted());
        // Every transport of this platform also reads the tape's timecode.
        window->SetTransport(transport, transport);
    }

    // Gives the stream's window back: stops the tape when the window's box asks for it,
    // releases the transport, hides the window and passes the current mark on.
    void Unbind(TavFlux& stream) {
        if (ICamcorderWindow* window = stream.CamForm) {
            if (window->StopWhenQuit()) {
                window->RunStopAction();
            }
            window->ClearTransport();
            window->SetShown(false);
            ReleaseCurrent(window);
        }
        stream.CamForm = nullptr;
        stream.HasTransport = false;
    }

    ICamcorderWindow* CamForm1 = nullptr;
    ICamcorderWindow* CamForm2 = nullptr;
    ICamcorderWindow* CurrentCamForm = nullptr;
};

} // namespace vidorel

#pragma once

// Keeps the desktop's screen saver and screen blanking off while the program runs: a capture
// that lasts hours must not find the screen locked, and the preview must stay visible. Asks
// the session's screen-saver service (freedesktop) to inhibit itself; without a session bus or
// such a service nothing happens.

#include <cstdint>

namespace vidorel {

class TScreenSaverInhibitor {
public:
    TScreenSaverInhibitor() = default;
    ~TScreenSaverInhibitor();
    TScreenSaverInhibitor(const TScreenSaverInhibitor&) = delete;
    TScreenSaverInhibitor& operator=(const TScreenSaverInhibitor&) = delete;

    // True when the service took the request.
    bool Inhibit();
    // Gives the screen saver back (only when this object held it off).
    void Release();
    bool Active() const { return active_; }

private:
    uint32_t cookie_ = 0;
    bool active_ = false;
};

} // namespace vidorel

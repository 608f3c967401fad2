#pragma once

// The main window's presentation rules, without widgets: where the video area and the panels
// go, the preview's geometry for 4:3 and 16:9, what the preview lock imposes per capture
// format, and the panel order.

#include "platform/SharedTypes.h"

#include <optional>

namespace vidorel {

constexpr int kPanelCount = 8;
// The panel after `n` (F6): wraps from the last to the first; an out-of-range number counts
// as the first.
int NextPanel(int n);
// A stored panel number that is not a panel shows the first one.
int ValidPanel(int n);

// The x of the panels and of the video area: video on the left puts the panels right of it.
struct TPanelLayout {
    int PanelLeft;
    int VideoLeft;
};
TPanelLayout PanelLayoutFor(bool videoOnLeft);

// The video area's shape for a 16:9 or a 4:3 preview.
struct TWideLayout {
    int Panel1Top;
    int Panel1Height;
    int ScreenHeight;      // the preview window
    int PlaceholderHeight; // the panel shown when there is no video
    int SliderTop;         // the hatched corner and the horizontal slider
    int YSliderHeight;
    int PictureTop; // the placeholder's picture
};
TWideLayout WideScreenLayout(bool wide);

enum class TLockedAspect { Free = 0, Native = 1, Forced4x3 = 2, Forced16x9 = 3 };

// What the selected streams are, as the lock's table needs it.
struct TLockFacts {
    bool HasVideo = false;
    bool HasAudio = false;
    bool VideoIsDV = false;
    int PictureWidth = 0;
    int PictureHeight = 0;
    int RatioDV = 0;   // 1: 16:9
    int RatioDivx = 0; // 0 free, 1 4:3, 2 16:9
};

// What locking the preview to a format imposes; unset members leave things as they are.
struct TLockRule {
    std::optional<bool> EffectsAllowed;
    std::optional<TLockedAspect> Aspect;
    // Take the sound from the video's own device (when it has a sound stream).
    bool AudioFromVideoDevice = false;
    bool SelectNoAudio = false;
    bool SelectNoVideo = false;
};
TLockRule PreviewLockRule(TCaptureFormat format, const TLockFacts& facts);

} // namespace vidorel

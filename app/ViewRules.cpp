#include "app/ViewRules.h"

namespace vidorel {

int ValidPanel(int n) {
    return n >= 0 && n < kPanelCount ? n : 0;
}

int NextPanel(int n) {
    return ValidPanel(n) == kPanelCount - 1 ? 0 : ValidPanel(n) + 1;
}

TPanelLayout PanelLayoutFor(bool videoOnLeft) {
    return videoOnLeft ? TPanelLayout{427, 0} : TPanelLayout{0, 266};
}

TWideLayout WideScreenLayout(bool wide) {
    if (wide) {
        return {76, 249, 216, 216, 226, 214, 8};
    }
    return {40, 321, 288, 288, 298, 286, 47};
}

TLockRule PreviewLockRule(TCaptureFormat format, const TLockFacts& f) {
    using A = TLockedAspect;
    TLockRule r;
    // A re-encoding shows the raster it will write: the DV source's own shape, or the shape
    // chosen for DV.
    const A encodedShape =
        f.VideoIsDV ? A::Native : (f.RatioDV == 1 ? A::Forced16x9 : A::Forced4x3);
    switch (format) {
    case CaptureFormat::DVType1Native:
        r.EffectsAllowed = false;
        r.Aspect = A::Native;
        r.AudioFromVideoDevice = true;
        break;
    case CaptureFormat::DVType2Native:
        r.EffectsAllowed = false;
        r.Aspect = A::Native;
        break;
    case CaptureFormat::NativeMpegStream:
        r.EffectsAllowed = false;
        r.Aspect = f.PictureWidth == 720 && (f.PictureHeight == 576 || f.PictureHeight == 480)
                       ? A::Forced4x3
                       : A::Free;
        r.AudioFromVideoDevice = true;
        break;
    case CaptureFormat::AviNative:
        r.EffectsAllowed = false;
        r.Aspect = A::Free;
        break;
    case CaptureFormat::DVType2Recomp:
        r.EffectsAllowed = true;
        r.Aspect = encodedShape;
        break;
    case CaptureFormat::Wmv:
        r.EffectsAllowed = true;
        r.Aspect = A::Free;
        break;
    case CaptureFormat::ImageByImage:
        r.EffectsAllowed = !f.VideoIsDV;
        r.Aspect = encodedShape;
        r.SelectNoAudio = f.HasAudio;
        break;
    case CaptureFormat::Divx:
        r.EffectsAllowed = true;
        r.Aspect = f.RatioDivx == 1 ? A::Forced4x3 : (f.RatioDivx == 2 ? A::Forced16x9 : A::Free);
        break;
    case CaptureFormat::Wav:
    case CaptureFormat::Mp3:
        if (f.HasVideo) {
            r.EffectsAllowed = false;
            r.SelectNoVideo = true;
        }
        break;
    default:
        break;
    }
    return r;
}

} // namespace vidorel

// The presentation rules of the main window (no window needed).
#include "app/ViewRules.h"

#include <gtest/gtest.h>

using namespace vidorel;

TEST(ViewRules, panelsWrapAndBadNumbersShowTheFirst) {
    EXPECT_EQ(NextPanel(7), 0); // About → Sources
    EXPECT_EQ(NextPanel(0), 1);
    EXPECT_EQ(NextPanel(6), 7);
    EXPECT_EQ(ValidPanel(8), 0);
    EXPECT_EQ(ValidPanel(-1), 0);
    EXPECT_EQ(ValidPanel(7), 7);
    EXPECT_EQ(NextPanel(9), 1);
}

TEST(ViewRules, layoutNumbers) {
    EXPECT_EQ(PanelLayoutFor(true).PanelLeft, 427);
    EXPECT_EQ(PanelLayoutFor(true).VideoLeft, 0);
    EXPECT_EQ(PanelLayoutFor(false).PanelLeft, 0);
    EXPECT_EQ(PanelLayoutFor(false).VideoLeft, 266);
    const TWideLayout w = WideScreenLayout(true), n = WideScreenLayout(false);
    EXPECT_EQ(w.Panel1Top, 76);
    EXPECT_EQ(w.Panel1Height, 249);
    EXPECT_EQ(w.ScreenHeight, 216);
    EXPECT_EQ(w.SliderTop, 226);
    EXPECT_EQ(w.YSliderHeight, 214);
    EXPECT_EQ(w.PictureTop, 8);
    EXPECT_EQ(n.Panel1Top, 40);
    EXPECT_EQ(n.Panel1Height, 321);
    EXPECT_EQ(n.ScreenHeight, 288);
    EXPECT_EQ(n.PlaceholderHeight, 288);
    EXPECT_EQ(n.SliderTop, 298);
    EXPECT_EQ(n.YSliderHeight, 286);
    EXPECT_EQ(n.PictureTop, 47);
}

TEST(ViewRules, previewLockPerFormat) {
    using A = TLockedAspect;
    TLockFacts dv{true, true, true, 720, 576, 0, 0};
    TLockFacts cam{true, true, false, 640, 480, 1, 2};

    auto r = PreviewLockRule(CaptureFormat::DVType1Native, dv);
    EXPECT_EQ(r.EffectsAllowed, false);
    EXPECT_EQ(r.Aspect, A::Native);
    EXPECT_TRUE(r.AudioFromVideoDevice);
    r = PreviewLockRule(CaptureFormat::DVType2Native, dv);
    EXPECT_EQ(r.EffectsAllowed, false);
    EXPECT_FALSE(r.AudioFromVideoDevice);
    // An MPEG card's broadcast raster is shown 4:3; other sizes keep the window free.
    EXPECT_EQ(
        PreviewLockRule(CaptureFormat::NativeMpegStream, {true, true, false, 720, 480}).Aspect,
        A::Forced4x3);
    EXPECT_EQ(
        PreviewLockRule(CaptureFormat::NativeMpegStream, {true, true, false, 720, 540}).Aspect,
        A::Free);
    EXPECT_EQ(PreviewLockRule(CaptureFormat::AviNative, cam).Aspect, A::Free);
    EXPECT_EQ(PreviewLockRule(CaptureFormat::AviNative, cam).EffectsAllowed, false);
    // Re-encoding: the DV source's own shape, else the DV ratio chosen.
    EXPECT_EQ(PreviewLockRule(CaptureFormat::DVType2Recomp, dv).Aspect, A::Native);
    EXPECT_EQ(PreviewLockRule(CaptureFormat::DVType2Recomp, cam).Aspect, A::Forced16x9);
    cam.RatioDV = 0;
    EXPECT_EQ(PreviewLockRule(CaptureFormat::DVType2Recomp, cam).Aspect, A::Forced4x3);
    EXPECT_EQ(PreviewLockRule(CaptureFormat::DVType2Recomp, cam).EffectsAllowed, true);
    EXPECT_EQ(PreviewLockRule(CaptureFormat::Wmv, cam).EffectsAllowed, true);
    EXPECT_EQ(PreviewLockRule(CaptureFormat::Wmv, cam).Aspect, A::Free);
    // Image by image: no sound; DV frames go in untouched.
    r = PreviewLockRule(CaptureFormat::ImageByImage, dv);
    EXPECT_EQ(r.EffectsAllowed, false);
    EXPECT_TRUE(r.SelectNoAudio);
    r = PreviewLockRule(CaptureFormat::ImageByImage, {true, false, false, 640, 480});
    EXPECT_EQ(r.EffectsAllowed, true);
    EXPECT_FALSE(r.SelectNoAudio);
    // Divx by its ratio: 0 free, 1 4:3, 2 16:9.
    EXPECT_EQ(PreviewLockRule(CaptureFormat::Divx, cam).Aspect, A::Forced16x9);
    cam.RatioDivx = 1;
    EXPECT_EQ(PreviewLockRule(CaptureFormat::Divx, cam).Aspect, A::Forced4x3);
    cam.RatioDivx = 0;
    EXPECT_EQ(PreviewLockRule(CaptureFormat::Divx, cam).Aspect, A::Free);
    // Sound only: a picture goes away, the aspect stays as it is.
    r = PreviewLockRule(CaptureFormat::Wav, dv);
    EXPECT_EQ(r.EffectsAllowed, false);
    EXPECT_TRUE(r.SelectNoVideo);
    EXPECT_FALSE(r.Aspect.has_value());
    r = PreviewLockRule(CaptureFormat::Mp3, {false, true});
    EXPECT_FALSE(r.EffectsAllowed.has_value());
    EXPECT_FALSE(r.SelectNoVideo);
    for (TCaptureFormat f :
         {CaptureFormat::None, CaptureFormat::DefaultOld, CaptureFormat::Default}) {
        r = PreviewLockRule(f, dv);
        EXPECT_FALSE(r.EffectsAllowed.has_value());
        EXPECT_FALSE(r.Aspect.has_value());
    }
}

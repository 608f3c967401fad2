#include "graph/CapturePlans.h"

#include "graph/PropertyPages.h"

#include "filters/Registration.h"
#include "filters/zv_Controlunit.h"
#include "filters/zv_DVheader.h"
#include "filters/zv_scenedetect.h"
#include "filters/zv_superposer.h"
#include "filters/zv_timestamper.h"
#include "graph/CaptureFormats.h"
#include "settings/Preferences.h"

namespace vidorel {

namespace {

using StreamRole = vidorel::StreamRole;

GstElement* Caps(TRecordingBranch& b, const std::string& caps, const std::string& name) {
    GstElement* f = b.Make("capsfilter", name.c_str());
    auto c = GstCapsRef::adopt(gst_caps_from_string(caps.c_str()));
    if (!c) {
        throw EGraphError("bad caps " + caps, graph_error::kInvalidArg);
    }
    g_object_set(f, "caps", c.get(), nullptr);
    return f;
}

// libav encoders and the converters use one thread unless told otherwise; a capture wants
// them all (0: one per core).
void AllThreads(GstElement* element) {
    for (const char* property : {"threads", "n-threads"}) {
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), property) != nullptr) {
            gst_util_set_object_arg(G_OBJECT(element), property, "0");
        }
    }
}

std::string N(const std::string& branch, const char* part) {
    return branch + "_" + part;
}

// The muxer and its file writer; the muxer's output already linked to the file.
struct TMuxer {
    GstElement* mux = nullptr;
    GstElement* sink = nullptr;
};

TMuxer OpenFile(TRecordingBranch& b, const char* muxFactory, const std::string& fileName) {
    TMuxer m;
    m.mux = b.Make(muxFactory, N(b.Name(), "mux").c_str());
    m.sink = b.Make("filesink", N(b.Name(), "sink").c_str());
    g_object_set(m.sink, "location", fileName.c_str(), nullptr);
    b.Link({m.mux, m.sink});
    return m;
}

void LinkToMuxer(Tdm& dm, TRecordingBranch& b, GstElement* from, GstElement* mux, StreamRole role) {
    auto in = dm.fg().RequestMuxerPad(mux, role);
    b.Link(Pad(from, PinDirection::Output, 0).get(), in.get());
}

void LinkPadToMuxer(Tdm& dm, TRecordingBranch& b, GstPad* from, GstElement* mux, StreamRole role) {
    auto in = dm.fg().RequestMuxerPad(mux, role);
    b.Link(from, in.get());
}

bool IsDvStream(const Tdm& dm) {
    return dm.CurrentVideo && dm.CurrentVideo->StreamKind == 5;
}

// The capture time stamper of the audio: the sync correction and re-stamping when the audio
// runs on another clock than the picture, else pass-through.
GstElement* AudioStamper(TRecordingBranch& b, bool restamp, int64_t offsetNs) {
    GstElement* e = b.Make("zv_timestamper", N(b.Name(), "Auto Timestamper").c_str());
    auto* stamper = FilterCast<Tzv_TimeStamper>(e);
    if (restamp) {
        stamper->SetTimeOffset(offsetNs);
        stamper->SetRestampMode();
    } else {
        stamper->SetTimeOffset(0);
        stamper->SetPassThroughMode();
    }
    return e;
}

// The audio converted to the capture format: the element whose output goes on.
GstElement* CaptureAudio(Tdm& dm, TRecordingBranch& b, const TCaptureSettings& s,
                         TCapturePlan& plan) {
    auto caps = SetCaptureAudioFormat(dm, s);
    if (!caps) {
        throw EGraphError("no audio stream", graph_error::kNotFound);
    }
    auto from = b.AddInput(TInputRole::Audio, dm.infdecaudio.Element());
    GstElement* convert = b.Make("audioconvert", N(b.Name(), "acmcap_convert").c_str());
    GstElement* resample = b.Make("audioresample", N(b.Name(), "acmcap_resample").c_str());
    GstElement* filter = b.Make("capsfilter", N(b.Name(), "acmcap").c_str());
    g_object_set(filter, "caps", caps.get(), nullptr);
    b.Link(from.get(), Pad(convert, PinDirection::Input, 0).get());
    b.Link({convert, resample, filter});
    if (!plan.FramesPad) {
        plan.Primary = TInputRole::Audio;
        plan.FramesPad = from;
    }
    return filter;
}

// The MP3 encoder and its parser after `from`: answers the parser. The settings of its page
// come first; the bitrate is the encoder's own setting of the store, whatever the page says.
GstElement* Mp3Encoder(Tdm& dm, TRecordingBranch& b, const TCaptureSettings& s, GstElement* from) {
    GstElement* enc = b.Make(kMp3EncoderFactory, N(b.Name(), "mp3").c_str());
    ApplySettings(enc, dm.mp3.Moniker().properties);
    g_object_set(enc, "target", 1, "bitrate", s.Mp3Bitrate, "cbr", TRUE, nullptr);
    GstElement* parse = b.Make("mpegaudioparse", N(b.Name(), "mp3parse").c_str());
    b.Link({from, enc, parse});
    return parse;
}

// The audio leg of the AVI plans: converted, optionally MP3, stamped, into the muxer.
void AviAudioLeg(Tdm& dm, TRecordingBranch& b, const TCaptureSettings& s, TCapturePlan& plan,
                 GstElement* mux, bool mp3) {
    GstElement* last = CaptureAudio(dm, b, s, plan);
    if (mp3) {
        last = Mp3Encoder(dm, b, s, last);
    }
    GstElement* stamper = AudioStamper(b, plan.Restamp, plan.AudioOffsetNs);
    b.Link({last, stamper});
    LinkToMuxer(dm, b, stamper, mux, StreamRole::Audio);
}

// The decoded picture scaled and converted to the DV raster, encoded to DV, its camcorder
// records put back, its times made regular: answers the element whose output is DV.
// `ownRaster`: the pictures are the camcorder's own frames decoded, already one per frame period
// at the size of `system`. They then go to the encoder without scaler or rate element: a rate
// element would hold a reference to each picture past its release, so the decoder could never
// take a buffer back and would fault in fresh memory for every frame, and the scaler would copy
// every 16:9 picture only to relabel its pixel shape. The converter stays (passing pictures
// through untouched) for a stream decoded in another layout than the encoder's.
GstElement* DvEncoder(TRecordingBranch& b, const TCaptureSettings& s, TTvSystem system,
                      GstPad* from, bool ownRaster) {
    GstElement* convert = b.Make("videoconvert", N(b.Name(), "DVenc_convert").c_str());
    AllThreads(convert);
    GstElement* raster = Caps(b, DVRasterCaps(system, ownRaster), N(b.Name(), "DVenc_raster"));
    GstElement* enc = b.Make("avenc_dvvideo", N(b.Name(), "DVenc").c_str());
    AllThreads(enc);
    GstElement* header = b.Make("zv_dvheader", N(b.Name(), "DV Header").c_str());
    FilterCast<Tzv_DVheader>(header)->SetRatioDV(s.RatioDV);
    GstElement* times = b.Make("zv_tsnormalizer", N(b.Name(), "DVenc_times").c_str());
    if (ownRaster) {
        // The decoder announces every change of the recording's picture shape (4:3, 16:9) as
        // new caps, and the encoder re-opens on new caps, dropping the frames its threads hold.
        // One fixed shape keeps it open; the camcorder's header blocks, put back after it, say
        // what each frame really is.
        GstElement* shape = b.Make("capssetter", N(b.Name(), "DVenc_shape").c_str());
        const std::string par = system == TTvSystem::PAL ? "16/15" : "8/9";
        GstCapsRef fixed = GstCapsRef::adopt(
            gst_caps_from_string(("video/x-raw, pixel-aspect-ratio=(fraction)" + par).c_str()));
        g_object_set(shape, "caps", fixed.get(), nullptr);
        b.Link(from, Pad(shape, PinDirection::Input, 0).get());
        b.Link({shape, convert, raster});
    } else {
        GstElement* scale = b.Make("videoscale", N(b.Name(), "DVenc_scale").c_str());
        GstElement* rate = b.Make("videorate", N(b.Name(), "DVenc_rate").c_str());
        // A recording joins a stream that started long before: its first frame is its start.
        g_object_set(rate, "skip-to-first", TRUE, nullptr);
        AllThreads(scale);
        b.Link(from, Pad(convert, PinDirection::Input, 0).get());
        b.Link({convert, scale, rate, raster});
    }
    b.Link({raster, enc, header, times});
    return times;
}

TCapturePlan NewPlan(TCaptureFormat format, const std::string& branchName, const Tdm& dm,
                     const TCaptureSettings& s) {
    RegisterVidorelElements();
    TCapturePlan plan;
    plan.Format = format;
    plan.Branch = TRecordingBranch::Create(branchName);
    plan.DvRecords = IsDvStream(dm);
    const bool sameDevice =
        dm.CurrentVideo && dm.CurrentAudio && dm.CurrentVideo->Device == dm.CurrentAudio->Device;
    // The controller sets SeparateAudio for the format before the plan runs; a plan built
    // without it (a cut, a caller of its own) decides the same way.
    // Unpaced (a file converted as fast as it goes), the clock says nothing about the sound.
    plan.Restamp = !s.Unpaced &&
                   (dm.SeparateAudio || SeparateAudioFor(format, dm.CurrentVideo != nullptr,
                                                         dm.CurrentAudio != nullptr, sameDevice));
    plan.AudioOffsetNs =
        plan.Restamp ? SyncCorrectionOffset(s.CorrectionSync, dm.Facts.FrameDuration) * 100 : 0;
    return plan;
}

// The device's own stream and the sound into an AVI file (DV type 2 native, Avi native).
void NativeIntoAvi(Tdm& dm, const TCaptureSettings& s, TCapturePlan& plan,
                   const std::string& fileName) {
    TRecordingBranch& b = *plan.Branch;
    TMuxer m = OpenFile(b, "avimux", fileName);
    auto video = b.AddInput(TInputRole::Native, dm.NativeTee.get());
    plan.Primary = TInputRole::Native;
    plan.FramesPad = video;
    LinkPadToMuxer(dm, b, video.get(), m.mux, StreamRole::Video);
    if (dm.CurrentAudio) {
        AviAudioLeg(dm, b, s, plan, m.mux, false);
    }
}

void NeedVideo(const Tdm& dm) {
    if (!dm.CurrentVideo || !dm.infdecvideo.Element()) {
        throw EGraphError("no video stream", graph_error::kNotFound);
    }
}

} // namespace

Tzv_ControlFilter* TCapturePlan::Control() const {
    return ControlElement ? FilterCast<Tzv_ControlFilter>(ControlElement.get()) : nullptr;
}

TCaptureSettings CaptureSettingsFromPreferences() {
    TCaptureSettings s;
    s.CorrectionSync = prefs::CorrectionSync->Value;
    s.StandardDV = prefs::StandardDV->Value;
    s.FrequenceDV = prefs::FrequenceDV->Value;
    s.FrequenceDVNative = prefs::FrequenceDVNative->Value;
    s.RatioDV = prefs::RatioDV->Value;
    s.RatioDivx = static_cast<int>(prefs::RatioDivx->Value);
    s.WantMp3 = prefs::WantMp3->Value;
    s.Framerate = prefs::Framerate->Value;
    s.Scn = prefs::Scn->Value;
    s.WmvProfile = ChosenWmvProfile(prefs::DefaultProfil->Value, prefs::ProfileWmv->Value,
                                    prefs::VersionWmv->Value, prefs::ProfilWmvFavori->Value);
    if (PreferenceStoreProblem().empty()) {
        TRegistry reg;
        if (reg.OpenKey(kMp3EncoderKey, false)) {
            if (auto v = reg.ReadDWord(kMp3BitrateValue); v && *v >= 8 && *v <= 320) {
                s.Mp3Bitrate = static_cast<int>(*v);
            }
        }
    }
    return s;
}

void ApplyStoredInlayFont(Tzv_Superposer& overlay) {
    const TFont& font = prefs::IncrustFont->Font;
    overlay.SetFontSize(font.Size);
    overlay.SetFontName(font.Name);
    overlay.SetFontColor(font.Color);
    overlay.SetFontBold(font.Bold);
    overlay.SetFontItalic(font.Italic);
    overlay.SetFontUnderline(font.Underline);
    overlay.SetFontStrikeOut(font.StrikeOut);
}

void ApplyStoredInlay(Tzv_Superposer& overlay) {
    overlay.SetDurationMode(prefs::ModeIncruster->Value);
    overlay.SetTextSource(prefs::WhatIncrust->Value);
    overlay.SetRestartMode(prefs::WhenIncrust->Value);
    overlay.SetInlayDuration(prefs::DureeIncruster->Value);
    overlay.SetTextPosition(prefs::PositionX->Value, kInlayYSliderMax - prefs::PositionY->Value,
                            prefs::Alignement->Value);
    overlay.SetAutoFontSize(prefs::TailleAutomatique->Value);
    ApplyStoredInlayFont(overlay);
    // An empty line is one blank: it prints nothing and keeps its place.
    const auto line = [](const std::string& format) { return format.empty() ? " " : format; };
    overlay.SetDateTimeFormats(line(prefs::FormatDatecode1->Value),
                               line(prefs::FormatDatecode2->Value));
    overlay.SetNoDatecodeText(prefs::NoDatecode->Value);
    overlay.SetTimeDifference(prefs::DecalageHoraire->Value);
}

void ApplyStoredEffects(Tdm& dm) {
    Tzv_Superposer& overlay = dm.Superposer();
    overlay.SetEffectsEnabled(prefs::ActiverSuperposition->Value);
    overlay.SetFlipVertical(prefs::WantVertFlip->Value);
    overlay.SetMirror(prefs::WantHorzFlip->Value);
    overlay.SetDeinterlace(prefs::WantDeinter->Value);
    ApplyStoredInlay(overlay);
    overlay.SetInlayEnabled(prefs::WantIncrust->Value);
}

GstCapsRef SetCaptureAudioFormat(const Tdm& dm, const TCaptureSettings& s) {
    if (!dm.CurrentAudio) {
        return {};
    }
    const int rate = CaptureAudioRate(s.FrequenceDVNative, s.FrequenceDV, dm.Facts.AudioRate);
    return GstCapsRef::adopt(gst_caps_from_string(CaptureAudioCaps(rate).c_str()));
}

TCapturePlan BuildCaptureDVType1(Tdm& dm, const TCaptureSettings&, const std::string& fileName,
                                 const std::string& branchName) {
    if (!dm.CurrentVideo || !dm.CurrentVideo->Device) {
        throw EGraphError("no video stream", graph_error::kNotFound);
    }
    // The device builds the branch; nothing of it is re-stamped (the sound is in the frames).
    TCapturePlan plan;
    plan.Format = CaptureFormat::DVType1Native;
    plan.DvRecords = IsDvStream(dm);
    plan.Branch = dm.CurrentVideo->Device->MakeNativeCaptureBranch(fileName, branchName);
    if (!plan.Branch) {
        throw EGraphError("the video device records no native stream", graph_error::kNotFound);
    }
    plan.Primary = TInputRole::Native;
    // The interleaved writer is the branch's only element after its input queue.
    auto queue = GstElementRef::adopt(
        gst_bin_get_by_name(plan.Branch->Bin(), (branchName + "_native").c_str()));
    if (queue) {
        plan.FramesPad = GstPadRef::adopt(gst_element_get_static_pad(queue.get(), "src"));
    }
    return plan;
}

TCapturePlan BuildCaptureDVType2(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                                 const std::string& branchName) {
    if (!dm.NativeTee) {
        throw EGraphError("the video stream has no native stream", graph_error::kNotFound);
    }
    TCapturePlan plan = NewPlan(CaptureFormat::DVType2Native, branchName, dm, s);
    plan.Fix = TCapturePlan::Fixup::DvsdHandler;
    NativeIntoAvi(dm, s, plan, fileName);
    return plan;
}

TCapturePlan BuildCaptureAviNative(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                                   const std::string& branchName) {
    if (!dm.NativeTee) {
        throw EGraphError("the video stream has no native stream", graph_error::kNotFound);
    }
    TCapturePlan plan = NewPlan(CaptureFormat::AviNative, branchName, dm, s);
    // The device's own clock paces its picture; its sound always gets the correction.
    plan.Restamp = dm.CurrentAudio != nullptr && !s.Unpaced;
    plan.AudioOffsetNs = SyncCorrectionOffset(s.CorrectionSync, dm.Facts.FrameDuration) * 100;
    NativeIntoAvi(dm, s, plan, fileName);
    return plan;
}

TCapturePlan BuildCaptureDVRecomp(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                                  const std::string& branchName) {
    NeedVideo(dm);
    TCapturePlan plan = NewPlan(CaptureFormat::DVType2Recomp, branchName, dm, s);
    plan.Fix = TCapturePlan::Fixup::DvsdHandler;
    int lastSystem = 2;
    if (IsDvStream(dm) && dm.CurrentVideo->Device) {
        if (auto* detector = dm.CurrentVideo->Device->SceneDetectorElement()) {
            if (auto* scene = FilterCast<Tzv_SceneDetect>(detector)) {
                lastSystem = scene->Current().VideoSystem;
            }
        }
    }
    const TTvSystem system =
        DVEncodingSystem(s.StandardDV, IsDvStream(dm), lastSystem, dm.Facts.FrameHeight);
    TRecordingBranch& b = *plan.Branch;
    TMuxer m = OpenFile(b, "avimux", fileName);
    GstElement* dv = nullptr;
    if (s.FixedEffects && IsDvStream(dm) && dm.NativeTee && !dm.Superposer().ChangesPicture()) {
        // Nothing is drawn on the picture: decoding the camcorder's frames here spares the
        // preview's conversions to the overlay's format and back.
        auto native = b.AddInput(TInputRole::Native, dm.NativeTee.get());
        plan.Primary = TInputRole::Native;
        plan.FramesPad = native;
        // The system comes from the camcorder's own frames unless none was seen yet.
        const bool ownRaster = lastSystem == 0 || lastSystem == 1 || dm.Facts.FrameHeight > 0;
        GstElement* dec = b.Make("avdec_dvvideo", N(b.Name(), "DVdec").c_str());
        // Decoding and encoding on two threads: each takes one core.
        GstElement* between = b.Make("queue", N(b.Name(), "DVdec_queue").c_str());
        g_object_set(between, "max-size-buffers", 8u, "max-size-bytes", 0u, "max-size-time",
                     guint64(0), nullptr);
        b.Link(native.get(), Pad(dec, PinDirection::Input, 0).get());
        b.Link({dec, between});
        dv = DvEncoder(b, s, system, Pad(between, PinDirection::Output, 0).get(), ownRaster);
    } else {
        auto video = b.AddInput(TInputRole::Video, dm.infdecvideo.Element());
        plan.FramesPad = video;
        dv = DvEncoder(b, s, system, video.get(), false);
    }
    LinkToMuxer(dm, b, dv, m.mux, StreamRole::Video);
    if (dm.CurrentAudio) {
        AviAudioLeg(dm, b, s, plan, m.mux, false);
    }
    return plan;
}

TCapturePlan BuildCaptureWmv(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                             const std::string& branchName) {
    NeedVideo(dm);
    TCapturePlan plan = NewPlan(CaptureFormat::Wmv, branchName, dm, s);
    // Without sound the profile's audio streams are removed.
    const TWmvProfile profile = dm.CurrentAudio ? s.WmvProfile : s.WmvProfile.WithoutAudio();
    if (!profile.HasVideo()) {
        throw EGraphError("the profile " + profile.Name + " has no video stream",
                          graph_error::kInvalidArg);
    }
    TRecordingBranch& b = *plan.Branch;
    TMuxer m = OpenFile(b, "avmux_asf", fileName);
    auto video = b.AddInput(TInputRole::Video, dm.infdecvideo.Element());
    plan.FramesPad = video;
    // The encoder takes whole frames only; camcorder video comes interlaced.
    GstElement* deinterlace = b.Make("deinterlace", N(branchName, "wmv_deinterlace").c_str());
    gst_util_set_object_arg(G_OBJECT(deinterlace), "fields", "top");
    GstElement* convert = b.Make("videoconvert", N(branchName, "wmv_convert").c_str());
    GstElement* scale = b.Make("videoscale", N(branchName, "wmv_scale").c_str());
    GstElement* rate = b.Make("videorate", N(branchName, "wmv_rate").c_str());
    g_object_set(rate, "skip-to-first", TRUE, nullptr);
    GstElement* raster =
        Caps(b,
             "video/x-raw, format=(string)I420, width=(int)" + std::to_string(profile.Width) +
                 ", height=(int)" + std::to_string(profile.Height) +
                 ", pixel-aspect-ratio=(fraction)1/1, framerate=(fraction)" +
                 std::to_string(profile.FrameRateNum) + "/" + std::to_string(profile.FrameRateDen),
             N(branchName, "wmv_raster"));
    GstElement* enc = b.Make(profile.VideoEncoder.c_str(), N(branchName, "wmv_video").c_str());
    AllThreads(enc);
    g_object_set(enc, "bitrate", profile.VideoBitrate, nullptr);
    GstElement* times = b.Make("zv_tsnormalizer", N(branchName, "wmv_times").c_str());
    b.Link(video.get(), Pad(deinterlace, PinDirection::Input, 0).get());
    b.Link({deinterlace, convert, scale, rate, raster, enc, times});
    LinkToMuxer(dm, b, times, m.mux, StreamRole::Video);
    if (profile.HasAudio()) {
        auto audio = b.AddInput(TInputRole::Audio, dm.infdecaudio.Element());
        GstElement* aconv = b.Make("audioconvert", N(branchName, "wma_convert").c_str());
        GstElement* resample = b.Make("audioresample", N(branchName, "wma_resample").c_str());
        GstElement* acaps = Caps(b,
                                 "audio/x-raw, rate=(int)" + std::to_string(profile.AudioRate) +
                                     ", channels=(int)" + std::to_string(profile.AudioChannels),
                                 N(branchName, "wma_caps"));
        GstElement* aconv2 = b.Make("audioconvert", N(branchName, "wma_format").c_str());
        GstElement* aenc = b.Make(profile.AudioEncoder.c_str(), N(branchName, "wma").c_str());
        g_object_set(aenc, "bitrate", profile.AudioBitrate, nullptr);
        GstElement* stamper = AudioStamper(b, plan.Restamp, plan.AudioOffsetNs);
        b.Link(audio.get(), Pad(aconv, PinDirection::Input, 0).get());
        b.Link({aconv, resample, acaps, stamper, aconv2, aenc});
        LinkToMuxer(dm, b, aenc, m.mux, StreamRole::Audio);
    }
    return plan;
}

TCapturePlan BuildCaptureImageByImage(Tdm& dm, const TCaptureSettings& s,
                                      const std::string& fileName, const std::string& branchName) {
    NeedVideo(dm);
    TCapturePlan plan = NewPlan(CaptureFormat::ImageByImage, branchName, dm, s);
    // Its frames are grabs, not the camcorder's frame numbers: no scene index.
    plan.DvRecords = false;
    plan.Fix = TCapturePlan::Fixup::DvsdHandler;
    TRecordingBranch& b = *plan.Branch;
    TMuxer m = OpenFile(b, "avimux", fileName);
    GstElement* dv = nullptr;
    GstPadRef from;
    if (IsDvStream(dm) && dm.NativeTee) {
        from = b.AddInput(TInputRole::Native, dm.NativeTee.get());
        plan.Primary = TInputRole::Native;
    } else {
        from = b.AddInput(TInputRole::Video, dm.infdecvideo.Element());
        dv = DvEncoder(b, s, s.StandardDV == 0 ? TTvSystem::PAL : TTvSystem::NTSC, from.get(),
                       false);
    }
    GstElement* control = b.Make("zv_controlfilter", N(branchName, "Control Filter").c_str());
    plan.ControlElement = GstElementRef::ref(control);
    auto* c = plan.Control();
    c->SetMarkSyncPoint(true);
    c->SetMarkDiscontinuity(true);
    // Each picture lasts one frame of the source; the file's rate is set once it is finished.
    c->SetTimeStep(static_cast<int64_t>(dm.Facts.FrameDuration) * 100);
    c->SetNextStart(0);
    c->SetRestamp(true);
    c->SetPassNext(false);
    if (dv != nullptr) {
        b.Link({dv, control});
    } else {
        b.Link(from.get(), Pad(control, PinDirection::Input, 0).get());
    }
    // The frames counted are the pictures that went into the file.
    plan.FramesPad = Pad(control, PinDirection::Output, 0);
    LinkToMuxer(dm, b, control, m.mux, StreamRole::Video);
    return plan;
}

TCapturePlan BuildCaptureDivx(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                              const std::string& branchName) {
    NeedVideo(dm);
    TCapturePlan plan = NewPlan(CaptureFormat::Divx, branchName, dm, s);
    plan.Fix = TCapturePlan::Fixup::XvidFourcc;
    // The correction applies always (the picture is scaled and encoded on its way, the sound
    // is not).
    plan.Restamp = dm.CurrentAudio != nullptr && !s.Unpaced;
    plan.AudioOffsetNs = SyncCorrectionOffset(s.CorrectionSync, dm.Facts.FrameDuration) * 100;
    TRecordingBranch& b = *plan.Branch;
    TMuxer m = OpenFile(b, "avimux", fileName);
    auto video = b.AddInput(TInputRole::Video, dm.infdecvideo.Element());
    plan.FramesPad = video;
    GstElement* toRgb = b.Make("videoconvert", N(branchName, "divx_rgb").c_str());
    GstElement* rgb = Caps(b, "video/x-raw, format=(string)BGR", N(branchName, "divx_rgbcaps"));
    GstElement* resizer = b.Make("zv_resizer", N(branchName, "Resizer").c_str());
    g_object_set(resizer, "ratio", s.RatioDivx, nullptr);
    GstElement* toYuv = b.Make("videoconvert", N(branchName, "divx_yuv").c_str());
    GstElement* yuv = Caps(b, "video/x-raw, format=(string)I420", N(branchName, "divx_yuvcaps"));
    const TMoniker& moniker = dm.divx.Moniker();
    const std::string factory = moniker.factory.empty() ? "avenc_mpeg4" : moniker.factory;
    GstElement* enc = b.Make(factory.c_str(), N(branchName, "divx").c_str());
    AllThreads(enc);
    bool bitrateSet = false;
    ApplySettings(enc, moniker.properties);
    for (const auto& setting : moniker.properties) {
        bitrateSet |= setting.first == "bitrate";
    }
    if (!bitrateSet && g_object_class_find_property(G_OBJECT_GET_CLASS(enc), "bitrate")) {
        g_object_set(enc, "bitrate", s.DivxBitrate, nullptr);
    }
    GstElement* times = b.Make("zv_tsnormalizer", N(branchName, "divx_times").c_str());
    b.Link(video.get(), Pad(toRgb, PinDirection::Input, 0).get());
    b.Link({toRgb, rgb, resizer, toYuv, yuv, enc, times});
    LinkToMuxer(dm, b, times, m.mux, StreamRole::Video);
    if (dm.CurrentAudio) {
        AviAudioLeg(dm, b, s, plan, m.mux, s.WantMp3 && Mp3EncoderAvailable());
    }
    return plan;
}

TCapturePlan BuildCaptureWav(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                             const std::string& branchName) {
    if (!dm.CurrentAudio) {
        throw EGraphError("no audio stream", graph_error::kNotFound);
    }
    TCapturePlan plan = NewPlan(CaptureFormat::Wav, branchName, dm, s);
    plan.DvRecords = false;
    TRecordingBranch& b = *plan.Branch;
    GstElement* pcm = CaptureAudio(dm, b, s, plan);
    GstElement* wave = b.Make("zv_wavedest", N(branchName, "Wave Dest").c_str());
    GstElement* sink = b.Make("filesink", N(branchName, "FileWriter").c_str());
    g_object_set(sink, "location", fileName.c_str(), nullptr);
    b.Link({pcm, wave, sink});
    return plan;
}

TCapturePlan BuildCaptureMp3(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                             const std::string& branchName) {
    if (!dm.CurrentAudio) {
        throw EGraphError("no audio stream", graph_error::kNotFound);
    }
    if (!Mp3EncoderAvailable()) {
        throw EGraphError("the MP3 encoder is not installed", graph_error::kClassNotRegistered);
    }
    TCapturePlan plan = NewPlan(CaptureFormat::Mp3, branchName, dm, s);
    plan.DvRecords = false;
    TRecordingBranch& b = *plan.Branch;
    GstElement* pcm = CaptureAudio(dm, b, s, plan);
    GstElement* mp3 = Mp3Encoder(dm, b, s, pcm);
    GstElement* wave = b.Make("zv_wavedest", N(branchName, "Wave Dest").c_str());
    GstElement* sink = b.Make("filesink", N(branchName, "FileWriter").c_str());
    g_object_set(sink, "location", fileName.c_str(), nullptr);
    b.Link({mp3, wave, sink});
    return plan;
}

TCapturePlan BuildCapturePlan(TCaptureFormat format, Tdm& dm, const TCaptureSettings& s,
                              const std::string& fileName, const std::string& branchName) {
    switch (format) {
    case CaptureFormat::DVType1Native:
    case CaptureFormat::NativeMpegStream: {
        // Both are the device's own recording; the device knows its stream.
        TCapturePlan plan = BuildCaptureDVType1(dm, s, fileName, branchName);
        plan.Format = format;
        return plan;
    }
    case CaptureFormat::DVType2Native:
        return BuildCaptureDVType2(dm, s, fileName, branchName);
    case CaptureFormat::AviNative:
        return BuildCaptureAviNative(dm, s, fileName, branchName);
    case CaptureFormat::DVType2Recomp:
        return BuildCaptureDVRecomp(dm, s, fileName, branchName);
    case CaptureFormat::Wmv:
        return BuildCaptureWmv(dm, s, fileName, branchName);
    case CaptureFormat::ImageByImage:
        return BuildCaptureImageByImage(dm, s, fileName, branchName);
    case CaptureFormat::Divx:
        return BuildCaptureDivx(dm, s, fileName, branchName);
    case CaptureFormat::Wav:
        return BuildCaptureWav(dm, s, fileName, branchName);
    case CaptureFormat::Mp3:
        return BuildCaptureMp3(dm, s, fileName, branchName);
    default:
        throw EGraphError("the format " + std::to_string(format) + " records nothing",
                          graph_error::kNotFound);
    }
}

} // namespace vidorel

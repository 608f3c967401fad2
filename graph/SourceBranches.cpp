#include "graph/SourceBranches.h"

#include "filters/zv_superposer.h"
#include "filters/zv_timestamper.h"
#include "graph/RunGraph.h"
#include "settings/Preferences.h"
#include "sources/CamcorderBinding.h"

#include <deque>
#include <set>

GST_DEBUG_CATEGORY_STATIC(vidorel_branches_debug);
#define GST_CAT_DEFAULT vidorel_branches_debug

namespace vidorel {

namespace {

void InitDebug() {
    static std::once_flag once;
    std::call_once(once, [] {
        GST_DEBUG_CATEGORY_INIT(vidorel_branches_debug, "vidorelbranches", 0,
                                "Vidorel source branches");
    });
}

TVideoInputsFinder& Finder() {
    static TVideoInputsFinder finder = &DefaultVideoInputs;
    return finder;
}

// The element itself when it matches, else the first matching element inside it (a source
// given as a bin).
GstElementRef FindInside(GstElement* element, const std::function<bool(GstElement*)>& match) {
    if (element == nullptr) {
        return {};
    }
    if (match(element)) {
        return GstElementRef::ref(element);
    }
    if (!GST_IS_BIN(element)) {
        return {};
    }
    auto it = GstRef<GstIterator>::adopt(gst_bin_iterate_recurse(GST_BIN_CAST(element)));
    GValue item = G_VALUE_INIT;
    GstElementRef found;
    while (!found && gst_iterator_next(it.get(), &item) == GST_ITERATOR_OK) {
        auto* e = GST_ELEMENT_CAST(g_value_get_object(&item));
        if (match(e)) {
            found = GstElementRef::ref(e);
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    return found;
}

int VideoInputSelect() {
    return prefs::VideoInputSelect ? prefs::VideoInputSelect->Value : -1;
}

// The queue that a branch's first element reads from behind its tee (made by TapTee).
void RemoveTapFeeding(TFilterGraph& fg, GstElement* element) {
    auto in = FindPad(element, PinDirection::Input, 0);
    auto peer = GstPadRef::adopt(in ? gst_pad_get_peer(in.get()) : nullptr);
    auto queue = PadOwner(peer.get());
    if (queue && fg.Contains(queue.get())) {
        fg.RemoveFilter(queue.get());
    }
}

// The format of `pad`'s link as far as it is known now; empty facts when it is not.
TStreamFacts FactsOf(TFilterGraph& fg, GstPad* pad) {
    try {
        return fg.LinkFacts(pad);
    } catch (const EGraphError& e) {
        GST_INFO("stream format not known yet: %s", e.what());
        return {};
    }
}

// The StreamKind of a non-DV video stream, once its native tee knows its caps.
void RefineStreamKind(Tdm& dm, TVideoSource& stream) {
    if (stream.StreamKind == 5) {
        return;
    }
    auto nativeOut =
        dm.NativeTee ? FindPad(dm.NativeTee.get(), PinDirection::Output, 0) : GstPadRef();
    GstCapsRef nativeCaps;
    try {
        if (nativeOut) {
            nativeCaps = dm.fg().LinkCaps(nativeOut.get());
        }
    } catch (const EGraphError&) {
        // Not negotiated: nothing says it is MPEG.
    }
    stream.StreamKind = StreamKindFromNativeCaps(nativeCaps.get());
}

// The other type's open stream, when there is one.
const TavFlux* OpenStream(const TavFlux* stream) {
    return stream != nullptr && stream->Opened ? stream : nullptr;
}

// Takes the shared video chain out of the graph (the graph is stopped).
void RemoveVideoChain(Tdm& dm) {
    TFilterGraph& fg = dm.fg();
    dm.vwEcran.TakeFrame();
    dm.DetachComponent(dm.vwEcran.Element());
    dm.color1.Detach();
    dm.color2.Detach();
    dm.color3.Detach();
    RemoveTapFeeding(fg, dm.VideoStamperElement());
    dm.infdecvideo.Detach();
    dm.DetachComponent(dm.SuperposerElement());
    dm.DetachComponent(dm.VideoStamperElement());
}

void RemoveAudioChain(Tdm& dm) {
    TFilterGraph& fg = dm.fg();
    dm.DetachComponent(dm.audiorender.Element());
    dm.DetachComponent(dm.acm());
    RemoveTapFeeding(fg, dm.AudioStamperElement());
    dm.infdecaudio.Detach();
    dm.DetachComponent(dm.AudioStamperElement());
}

// After a failure half-way through an open: whatever was built goes, so the next open starts
// from a clean graph.
template <class Stream, class Close>
void Undo(Tdm& dm, const std::shared_ptr<Stream>& stream, void (*removeChain)(Tdm&), Close close) {
    dm.fg().Abort();
    try {
        if (stream->Opened) {
            close();
        } else {
            removeChain(dm);
        }
    } catch (const std::exception& e) {
        GST_WARNING("the graph keeps part of a failed branch: %s", e.what());
    }
}

// The close of either branch: the chain goes, the device closes the stream, and the source and
// the camcorder window go too unless the other branch still uses the same device.
template <class Stream, class Other>
bool CloseBranch(Tdm& dm, const std::shared_ptr<Stream>& stream, bool releaseSource,
                 void (*removeChain)(Tdm&), void (TCaptureDevice::*closeStream)(),
                 std::shared_ptr<Stream>& current, const std::shared_ptr<Other>& other,
                 const char* what) {
    InitDebug();
    if (!stream || !stream->Opened) {
        return false;
    }
    stream->Opened = false;
    try {
        dm.fg().Stop();
        removeChain(dm);
        TCaptureDevice& device = *stream->Device;
        (device.*closeStream)();
        if (releaseSource && !(other && other->Opened && other->Device == stream->Device)) {
            device.DetachSource();
            dm.CamcorderWindows.Unbind(*stream);
        }
        if (current == stream) {
            current.reset();
        }
        return true;
    } catch (const std::exception& e) {
        GST_WARNING("the %s branch of %s was not closed: %s", what, stream->DisplayName.c_str(),
                    e.what());
        return false;
    }
}

} // namespace

// --- rules ---

void PublishVideoFacts(TPublishedFacts& p, const TStreamFacts& facts) {
    if (facts.IsVideo() && facts.width > 0 && facts.height > 0) {
        p.FrameWidth = facts.width;
        p.FrameHeight = facts.height;
        p.FrameDuration = facts.frameDuration;
    }
    if (p.FrameDuration < 1000) {
        p.FrameDuration = 400000;
    }
    p.FrameRate = 10000000.0 / p.FrameDuration;
}

void PublishAudioFacts(TPublishedFacts& p, const TStreamFacts& facts) {
    if (facts.IsAudio() && facts.audioRate > 0) {
        p.AudioRate = facts.audioRate;
        p.AudioBits = facts.audioBits;
        p.AudioChannels = facts.audioChannels;
    }
}

uint8_t StreamKindFromNativeCaps(const GstCaps* caps) {
    if (caps == nullptr || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) {
        return 2;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    int version = 0;
    if (gst_structure_has_name(s, "video/mpeg") &&
        gst_structure_get_int(s, "mpegversion", &version)) {
        if (version == 2) {
            return 4;
        }
        if (version == 1) {
            return 3;
        }
    }
    return 2;
}

void ApplyDeviceType(TavFlux& stream, int deviceType) {
    stream.VcrMode = deviceType == devices::ED_DEVTYPE_VCR;
    stream.CameraMode = deviceType == devices::ED_DEVTYPE_CAMERA;
}

bool RouteVideoInputSelect(TCrossbar* crossbar, int videoInputSelect) {
    if (crossbar == nullptr || videoInputSelect < 0 || videoInputSelect >= crossbar->InputCount()) {
        return false;
    }
    return crossbar->RouteInput(videoInputSelect) == S_OK;
}

void SetVideoInputsFinder(TVideoInputsFinder finder) {
    Finder() = finder ? std::move(finder) : TVideoInputsFinder(&DefaultVideoInputs);
}

std::shared_ptr<IVideoInputs> DefaultVideoInputs(GstElement* source) {
    auto v4l2 = FindInside(source, [](GstElement* e) {
        GstElementFactory* f = gst_element_get_factory(e);
        return f != nullptr && g_strcmp0(GST_OBJECT_NAME(f), "v4l2src") == 0;
    });
    if (!v4l2) {
        return nullptr;
    }
    GCharRef path;
    g_object_get(v4l2.get(), "device", &path.out(), nullptr);
    return path ? V4l2Inputs(path.get()) : nullptr;
}

void RefreshStreamFacts(Tdm& dm) {
    if (dm.CurrentVideo && dm.VideoPin) {
        PublishVideoFacts(dm.Facts, FactsOf(dm.fg(), dm.VideoPin.get()));
        dm.Superposer().SetFrameDuration(dm.Facts.FrameDuration);
    }
    if (dm.CurrentAudio && dm.AudioPin) {
        PublishAudioFacts(dm.Facts, FactsOf(dm.fg(), dm.AudioPin.get()));
    }
}

// --- controls ---

void FindVideoControls(Tdm& dm, const TVideoSource& stream) {
    dm.VideoSourceFilter.reset();
    dm.VideoStreamConfig.reset();
    dm.VideoCrossbar.reset();
    if (stream.Device) {
        dm.VideoSourceFilter = stream.Device->SourceFilter;
    }
    if (!dm.VideoSourceFilter) {
        return;
    }
    dm.VideoStreamConfig = FindPad(dm.VideoSourceFilter.get(), PinDirection::Output, 0);
    if (auto inputs = Finder()(dm.VideoSourceFilter.get());
        inputs && HasCrossbar(inputs->Enumerate())) {
        dm.VideoCrossbar = std::make_unique<TCrossbar>(inputs);
    }
}

void FindAudioControls(Tdm& dm, const TAudioSource& stream) {
    dm.AudioSourceFilter.reset();
    dm.AudioStreamConfig.reset();
    dm.AudioInputs.reset();
    if (stream.Device) {
        dm.AudioSourceFilter = stream.Device->SourceFilter;
    }
    if (dm.AudioSourceFilter) {
        dm.AudioStreamConfig = FindPad(dm.AudioSourceFilter.get(), PinDirection::Output, 0);
        dm.AudioInputs = devices::InputLinesOf(dm.AudioSourceFilter.get());
    }
}

// --- video ---

bool OpenVideoBranch(Tdm& dm, const std::shared_ptr<TVideoSource>& stream) {
    InitDebug();
    if (!stream || !stream->Device) {
        return false;
    }
    TFilterGraph& fg = dm.fg();
    try {
        dm.Superposer().SetFlipOnCopy(false);
        fg.Stop();
        if (dm.CurrentVideo) {
            // The same device keeps its source, and with it the settings made on it.
            CloseVideoBranch(dm, dm.CurrentVideo, dm.CurrentVideo->Device != stream->Device);
        }
        TCaptureDevice& device = *stream->Device;
        if (device.AttachSource(fg) == nullptr) {
            return false;
        }
        TVideoStreamPads pads = device.OpenVideoStream(stream->StreamNumber, dm.HalfSizeDV);
        if (!pads.Pin) {
            return false;
        }
        dm.VideoPin = pads.Pin;
        dm.NativeTee = pads.NativeTee;
        dm.Superposer().SetFlipOnCopy(pads.FlipOnCopy);
        FindVideoControls(dm, *stream);

        dm.color1.Attach(fg);
        dm.infdecvideo.Attach(fg);
        dm.color3.Attach(fg);
        dm.AttachComponent(dm.SuperposerElement(), "Superposer");
        dm.AttachComponent(dm.VideoStamperElement(), "Timestamper Video");
        dm.AttachComponent(dm.vwEcran.Element());

        auto overlayIn = Pad(dm.SuperposerElement(), PinDirection::Input, 0);
        bool converted = true;
        try {
            fg.Connect(dm.VideoPin.get(), Pad(dm.color1.Element(), PinDirection::Input, 0).get());
        } catch (const EGraphError& e) {
            GST_INFO("the converter refuses the source (%s); the overlay takes it directly",
                     e.what());
            converted = false;
        }
        if (converted) {
            fg.Connect(Pad(dm.color1.Element(), PinDirection::Output, 0).get(), overlayIn.get());
        } else {
            dm.color1.Detach();
            fg.Connect(dm.VideoPin.get(), overlayIn.get());
        }
        fg.Connect(dm.SuperposerElement(), dm.infdecvideo.Element());
        auto tap = fg.TapTee(dm.infdecvideo.Element());
        fg.Connect(tap.get(), Pad(dm.VideoStamperElement(), PinDirection::Input, 0).get());
        fg.Connect(dm.VideoStamperElement(), dm.color3.Element());
        fg.Connect(dm.color3.Element(), dm.vwEcran.Element());

        dm.VideoStamper().SetNoTimeMode();

        auto transport = device.Transport();
        dm.CamcorderWindows.Bind(*stream, OpenStream(dm.CurrentAudio.get()), transport);
        dm.CurrentVideo = stream;
        stream->Opened = true;
        ApplyDeviceType(*stream, transport ? transport->DeviceType() : 0);

        RouteVideoInputSelect(dm.VideoCrossbar.get(), VideoInputSelect());

        if (!RunGraph(dm)) {
            GST_WARNING("the video source %s does not start: %s", stream->DisplayName.c_str(),
                        fg.LastError().c_str());
            // Without its branch the graph can run the other stream again.
            CloseVideoBranch(dm, stream, true);
            return false;
        }
        // The format is known once the first frame has come through (at once when the link
        // already knows it); a tape that does not play yet costs no wait.
        const GstPadRef pin = dm.VideoPin;
        fg.WhenCaps(pin.get(), [&dm, pin, stream](const GstCapsRef& caps) {
            if (dm.VideoPin != pin || dm.CurrentVideo != stream) {
                return; // another branch by now
            }
            PublishVideoFacts(dm.Facts, FactsFromCaps(caps.get()));
            dm.Superposer().SetFrameDuration(dm.Facts.FrameDuration);
            RefineStreamKind(dm, *stream);
        });
        return true;
    } catch (const std::exception& e) {
        GST_WARNING("the video branch of %s was not built: %s", stream->DisplayName.c_str(),
                    e.what());
        Undo(dm, stream, &RemoveVideoChain, [&] { CloseVideoBranch(dm, stream, true); });
        return false;
    }
}

bool CloseVideoBranch(Tdm& dm, const std::shared_ptr<TVideoSource>& stream, bool releaseSource) {
    const bool closed =
        CloseBranch(dm, stream, releaseSource, &RemoveVideoChain, &TCaptureDevice::CloseVideoStream,
                    dm.CurrentVideo, dm.CurrentAudio, "video");
    if (closed && !dm.CurrentVideo) {
        dm.VideoPin.reset();
        dm.NativeTee.reset();
    }
    return closed;
}

void CloseBranchesOfDevice(Tdm& dm, const std::shared_ptr<TCaptureDevice>& device) {
    if (dm.CurrentVideo && dm.CurrentVideo->Device == device) {
        CloseVideoBranch(dm, dm.CurrentVideo, true);
    }
    if (dm.CurrentAudio && dm.CurrentAudio->Device == device) {
        CloseAudioBranch(dm, dm.CurrentAudio, true);
    }
}

void CloseBranchesOnDeviceRemoval(Tdm& dm, TSourceLists& lists) {
    lists.BeforeDeviceRemoval = [&dm](const std::shared_ptr<TCaptureDevice>& device) {
        CloseBranchesOfDevice(dm, device);
    };
}

// --- audio ---

bool OpenAudioBranch(Tdm& dm, const std::shared_ptr<TAudioSource>& stream) {
    InitDebug();
    if (!stream || !stream->Device) {
        return false;
    }
    TFilterGraph& fg = dm.fg();
    try {
        fg.Stop();
        if (dm.CurrentAudio && dm.CurrentAudio->Opened) {
            CloseAudioBranch(dm, dm.CurrentAudio, dm.CurrentAudio->Device != stream->Device);
        }
        TCaptureDevice& device = *stream->Device;
        if (device.AttachSource(fg) == nullptr) {
            return false;
        }
        GstPadRef pin = device.OpenAudioStream(stream->StreamNumber);
        FindAudioControls(dm, *stream);
        if (!pin) {
            return false;
        }
        dm.AudioPin = pin;

        dm.AttachComponent(dm.acm());
        dm.infdecaudio.Attach(fg);
        dm.AttachComponent(dm.AudioStamperElement(), "Timestamper Audio");
        dm.AttachComponent(dm.audiorender.Element());

        fg.Connect(dm.AudioPin.get(), Pad(dm.acm(), PinDirection::Input, 0).get());
        fg.Connect(dm.acm(), dm.infdecaudio.Element());
        auto tap = fg.TapTee(dm.infdecaudio.Element());
        fg.Connect(tap.get(), Pad(dm.AudioStamperElement(), PinDirection::Input, 0).get());
        fg.Connect(dm.AudioStamperElement(), dm.audiorender.Element());

        dm.CurrentAudio = stream;
        dm.AudioStamper().SetNoTimeMode();

        auto transport = device.Transport();
        dm.CamcorderWindows.Bind(*stream, OpenStream(dm.CurrentVideo.get()), transport);
        ApplyDeviceType(*stream, transport ? transport->DeviceType() : 0);
        stream->Opened = true;

        if (!RunGraph(dm)) {
            GST_WARNING("the audio source %s does not start: %s", stream->DisplayName.c_str(),
                        fg.LastError().c_str());
            CloseAudioBranch(dm, stream, true);
            return false;
        }
        const GstPadRef audioPin = dm.AudioPin;
        fg.WhenCaps(audioPin.get(), [&dm, audioPin, stream](const GstCapsRef& caps) {
            if (dm.AudioPin != audioPin || dm.CurrentAudio != stream) {
                return;
            }
            PublishAudioFacts(dm.Facts, FactsFromCaps(caps.get()));
        });
        return true;
    } catch (const std::exception& e) {
        GST_WARNING("the audio branch of %s was not built: %s", stream->DisplayName.c_str(),
                    e.what());
        Undo(dm, stream, &RemoveAudioChain, [&] { CloseAudioBranch(dm, stream, true); });
        return false;
    }
}

bool CloseAudioBranch(Tdm& dm, const std::shared_ptr<TAudioSource>& stream, bool releaseSource) {
    const bool closed =
        CloseBranch(dm, stream, releaseSource, &RemoveAudioChain, &TCaptureDevice::CloseAudioStream,
                    dm.CurrentAudio, dm.CurrentVideo, "audio");
    if (closed && !dm.CurrentAudio) {
        dm.AudioPin.reset();
    }
    return closed;
}

} // namespace vidorel

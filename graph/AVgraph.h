#pragma once

// The graph data module Tdm (unit AVgraph), the program's one engine object: it owns the graph
// `fg` for the life of the program, the fixed components of the preview branches, the own
// filter instances they use, and the shared state of the graph assembly: the points and facts
// of the open streams, the source's controls, the current streams and the camcorder windows.
// `main` owns it and destroys it after everything that uses it (the window).
//
// Everything here belongs to the graph's thread (the user-interface thread).

#include "devices/AudioInputs.h"
#include "graph/AudioSink.h"
#include "graph/CrossBar.h"
#include "graph/FilterGraph.h"
#include "graph/PreviewSink.h"
#include "sources/CamcorderBinding.h"
#include "sources/CaptureSources.h"

#include <cstdint>
#include <memory>

namespace vidorel {

// The facts of the open streams, published when their branches are built (and again once
// their first caps are known).
struct TPublishedFacts {
    int FrameWidth = 0;
    int FrameHeight = 0;
    uint32_t FrameDuration = 400000; // 100 ns units, never below 1000
    double FrameRate = 25.0;         // 10 000 000 / FrameDuration
    int AudioRate = 0;
    int AudioBits = 0;
    int AudioChannels = 0;
};

class Tzv_Superposer;
class Tzv_TimeStamper;

// How the engine runs: with the window's outputs, or headless (a command-line capture).
struct TEngineOptions {
    // No sound output: the audio preview ends in a fake sink.
    bool SilentAudio = false;
    // Nothing waits for the clock at the preview's ends (a tape file converted as fast as the
    // graph takes it).
    bool Unpaced = false;
};

class Tdm {
public:
    // Creates the graph and the components (DataModuleCreate). Needs gst_init to have run;
    // registers the own elements (RegisterVidorelElements) so they can be created by factory
    // name.
    explicit Tdm(TEngineOptions options = {});
    // Calls DataModuleDestroy.
    ~Tdm();
    // Stops the graph and takes the open streams' branches and sources out of it.
    void DataModuleDestroy();
    Tdm(const Tdm&) = delete;
    Tdm& operator=(const Tdm&) = delete;

    TFilterGraph& fg() { return m_fg; }
    const TFilterGraph& fg() const { return m_fg; }

    // Removes the chain upstream of `pin` up to `stopFilter` (device teardown); see
    // graph/DSFunctions.h.
    bool RemoveUpstreamChain(GstPad* pin, GstElement* stopFilter);

    // Puts a component made once (an own filter, a sink, the audio converter) into the graph
    // under `name` (its own name when empty), or takes it out; each does nothing when the
    // component already is where it should be.
    void AttachComponent(GstElement* element, const std::string& name = {});
    void DetachComponent(GstElement* element);

    // The own filters as the branches use them.
    Tzv_Superposer& Superposer() const;
    Tzv_TimeStamper& VideoStamper() const;
    Tzv_TimeStamper& AudioStamper() const;
    GstElement* SuperposerElement() const { return m_superposer.get(); }
    GstElement* VideoStamperElement() const { return m_stamperVideo.get(); }
    GstElement* AudioStamperElement() const { return m_stamperAudio.get(); }
    // The audio converter of the preview (audioconvert ! audioresample ! capsfilter), as one
    // bin with "sink" and "src".
    GstElement* acm() const { return m_acm.get(); }

private:
    // Declared first: destroyed last, after every component that detaches from it.
    TFilterGraph m_fg;

public:
    // --- the open streams ---
    std::shared_ptr<TVideoSource> CurrentVideo;
    std::shared_ptr<TAudioSource> CurrentAudio;
    // What the devices handed back for them: the decoded video (unlinked until the branch
    // links it), the audio, and the tee carrying the video undecoded.
    GstPadRef VideoPin;
    GstPadRef AudioPin;
    GstElementRef NativeTee;
    // A DV decoder delivers half size (set around captures that scale the picture down).
    bool HalfSizeDV = false;
    // Video and audio come from two devices: the audio renderer's clock paces the graph.
    bool SeparateAudio = false;
    TPublishedFacts Facts;

    // --- the source's controls, for the settings menus ---
    GstElementRef VideoSourceFilter;
    GstElementRef AudioSourceFilter;
    // The source's capture output, whose caps are the stream's configuration.
    GstPadRef VideoStreamConfig;
    GstPadRef AudioStreamConfig;
    // The inputs of the video source when it offers a choice, or none.
    std::unique_ptr<TCrossbar> VideoCrossbar;
    // The input lines of the audio source's sound card, or none.
    std::shared_ptr<devices::IAudioInputLines> AudioInputs;

    // The two camcorder windows, registered by the main window.
    TCamcorderWindows CamcorderWindows;

    // Converters of the video preview (color2 is taken out with them; capture graphs use it).
    TFilter color1{"color1"};
    TFilter color2{"color2"};
    TFilter color3{"color3"};
    // The tees at the end of the source branches; capture branches tap them.
    TFilter infdecvideo{"infdecvideo"};
    TFilter infdecaudio{"infdecaudio"};
    // The video window's renderer and the audio renderer (its clock is the audio clock).
    TPreviewSink vwEcran{"vwEcran"};
    // The chosen MPEG-4 compressor and the MP3 encoder (their monikers set by the encoder
    // discovery); the capture graphs make their own instances from them.
    TFilter divx{"divx"};
    TFilter mp3{"mp3"};
    TAudioSink audiorender;

private:
    GstElementRef m_acm;
    GstElementRef m_superposer;
    GstElementRef m_stamperVideo;
    GstElementRef m_stamperAudio;
};

} // namespace vidorel

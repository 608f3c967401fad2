#include "graph/AVgraph.h"

#include "filters/Registration.h"
#include "filters/zv_superposer.h"
#include "filters/zv_timestamper.h"
#include "graph/DSFunctions.h"
#include "graph/SourceBranches.h"

namespace vidorel {

namespace {

TMoniker Factory(const char* factory,
                 std::vector<std::pair<std::string, std::string>> properties = {}) {
    TMoniker m;
    m.factory = factory;
    m.properties = std::move(properties);
    return m;
}

// audioconvert ! audioresample ! capsfilter in one bin: the format converter that stands
// between any audio source and the audio tee. The caps filter stays open for the preview; a
// capture branch narrows its own converter.
GstElementRef MakeAudioConverter(const char* name) {
    auto bin = GstElementRef::adopt(GST_ELEMENT_CAST(gst_object_ref_sink(gst_bin_new(name))));
    auto convert = MakeElement("audioconvert", "acm_convert");
    auto resample = MakeElement("audioresample", "acm_resample");
    auto caps = MakeElement("capsfilter", "acm_caps");
    for (GstElement* e : {convert.get(), resample.get(), caps.get()}) {
        gst_bin_add(GST_BIN_CAST(bin.get()), e);
    }
    if (!gst_element_link_many(convert.get(), resample.get(), caps.get(), nullptr)) {
        throw EGraphError("the audio converter could not be built", graph_error::kFail);
    }
    for (auto [element, pad] : {std::pair{convert.get(), "sink"}, std::pair{caps.get(), "src"}}) {
        auto target = GstPadRef::adopt(gst_element_get_static_pad(element, pad));
        gst_element_add_pad(bin.get(), gst_ghost_pad_new(pad, target.get()));
    }
    return bin;
}

} // namespace

Tdm::Tdm(TEngineOptions options)
    : m_fg("fg"), audiorender("audiorender", options.SilentAudio, !options.Unpaced) {
    if (options.Unpaced) {
        g_object_set(vwEcran.Element(), "sync", FALSE, nullptr);
        m_fg.SetUnpaced(true);
    }
    RegisterVidorelElements();
    color1.SetMoniker(Factory("videoconvert"));
    color2.SetMoniker(Factory("videoconvert"));
    color3.SetMoniker(Factory("videoconvert"));
    // A tee output whose branch is being taken away must not stop the others.
    infdecvideo.SetMoniker(Factory("tee", {{"allow-not-linked", "true"}}));
    infdecaudio.SetMoniker(Factory("tee", {{"allow-not-linked", "true"}}));
    m_acm = MakeAudioConverter("acm");
    // Created once, in this order, and kept with their settings for the life of the program.
    m_superposer = MakeElement("zv_superposer", "Superposer");
    m_stamperVideo = MakeElement("zv_timestamper", "Timestamper Video");
    m_stamperAudio = MakeElement("zv_timestamper", "Timestamper Audio");
}

Tdm::~Tdm() {
    DataModuleDestroy();
}

void Tdm::DataModuleDestroy() {
    m_fg.Abort();
    // The devices outlive the engine (their lists belong to the window or the command): their
    // sources leave this graph now, not when the graph is gone.
    try {
        if (CurrentVideo) {
            CloseVideoBranch(*this, CurrentVideo, true);
        }
        if (CurrentAudio) {
            CloseAudioBranch(*this, CurrentAudio, true);
        }
    } catch (const std::exception& e) {
        GST_WARNING("closing the source branches: %s", e.what());
    }
}

bool Tdm::RemoveUpstreamChain(GstPad* pin, GstElement* stopFilter) {
    return vidorel::RemoveUpstreamChain(m_fg, pin, stopFilter);
}

void Tdm::AttachComponent(GstElement* element, const std::string& name) {
    if (!m_fg.Contains(element)) {
        m_fg.AddFilter(element, name);
    }
}

void Tdm::DetachComponent(GstElement* element) {
    if (m_fg.Contains(element)) {
        m_fg.RemoveFilter(element);
    }
}

Tzv_Superposer& Tdm::Superposer() const {
    return *FilterCast<Tzv_Superposer>(m_superposer.get());
}

Tzv_TimeStamper& Tdm::VideoStamper() const {
    return *FilterCast<Tzv_TimeStamper>(m_stamperVideo.get());
}

Tzv_TimeStamper& Tdm::AudioStamper() const {
    return *FilterCast<Tzv_TimeStamper>(m_stamperAudio.get());
}

} // namespace vidorel

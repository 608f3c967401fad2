#include "graph/AudioSink.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace vidorel {

namespace {

GstElement* Make(const char* factory, const std::string& name) {
    GstElement* e = gst_element_factory_make(factory, name.c_str());
    if (e == nullptr) {
        throw std::runtime_error(std::string("the GStreamer element ") + factory + " is missing");
    }
    return e;
}

} // namespace

TAudioSink::TAudioSink(const char* name)
    // Sinking the floating reference: this object owns one, the pipeline takes its own.
    : m_bin(
          GstElementRef::adopt(static_cast<GstElement*>(gst_object_ref_sink(gst_bin_new(name))))) {
    const std::string base = name;
    GstElement* convert = Make("audioconvert", base + "-convert");
    GstElement* volume = Make("volume", base + "-volume");
    GstElement* output = Make("autoaudiosink", base + "-output");
    // The bin owns the three elements from here on.
    gst_bin_add_many(GST_BIN(m_bin.get()), convert, volume, output, nullptr);
    m_volume = GstElementRef::ref(volume);
    if (!gst_element_link_many(convert, volume, output, nullptr)) {
        throw std::runtime_error("the audio output chain could not be linked");
    }
    auto target = GstPadRef::adopt(gst_element_get_static_pad(convert, "sink"));
    gst_element_add_pad(m_bin.get(), gst_ghost_pad_new("sink", target.get()));
}

void TAudioSink::SetVolume(int volume) {
    const int v = std::clamp(volume, 0, kMaxVolume);
    g_object_set(m_volume.get(), "volume", double(v) / kMaxVolume, nullptr);
}

int TAudioSink::Volume() const {
    double v = 0;
    g_object_get(m_volume.get(), "volume", &v, nullptr);
    return static_cast<int>(std::lround(v * kMaxVolume));
}

void TAudioSink::SetMute(bool mute) {
    g_object_set(m_volume.get(), "mute", mute ? TRUE : FALSE, nullptr);
}

bool TAudioSink::Muted() const {
    gboolean mute = FALSE;
    g_object_get(m_volume.get(), "mute", &mute, nullptr);
    return mute == TRUE;
}

} // namespace vidorel

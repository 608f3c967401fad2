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

// autoaudiosink tries every sound output each time it starts, which costs tens of
// milliseconds without a sound server (and happens again at every source change). The output it
// finds once is made directly from then on.
GstElement* MakeOutput(const std::string& name) {
    GstElement* probe = Make("autoaudiosink", name + "-probe");
    gst_object_ref_sink(probe);
    std::string factory;
    bool sync = true;
    if (gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
        GstIterator* it = gst_bin_iterate_elements(GST_BIN(probe));
        GValue item = G_VALUE_INIT;
        if (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            auto* kid = GST_ELEMENT(g_value_get_object(&item));
            if (GstElementFactory* f = gst_element_get_factory(kid)) {
                factory = GST_OBJECT_NAME(f);
            }
            if (g_object_class_find_property(G_OBJECT_GET_CLASS(kid), "sync") != nullptr) {
                gboolean value = TRUE;
                g_object_get(kid, "sync", &value, nullptr);
                sync = value != FALSE;
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
    }
    gst_element_set_state(probe, GST_STATE_NULL);
    gst_object_unref(probe);
    GstElement* output =
        factory.empty() ? nullptr : gst_element_factory_make(factory.c_str(), name.c_str());
    if (output == nullptr) {
        return Make("autoaudiosink", name);
    }
    // As the automatic sink would have it: paced by the clock (its fake sink too). It does not
    // wait for preroll: a stopped tape sends no sound, and the graph must play its picture all
    // the same.
    g_object_set(output, "sync", sync ? TRUE : FALSE, "async", FALSE, nullptr);
    return output;
}

} // namespace

TAudioSink::TAudioSink(const char* name, bool silent, bool paced)
    // Sinking the floating reference: this object owns one, the pipeline takes its own.
    : m_bin(
          GstElementRef::adopt(static_cast<GstElement*>(gst_object_ref_sink(gst_bin_new(name))))) {
    const std::string base = name;
    GstElement* convert = Make("audioconvert", base + "-convert");
    GstElement* volume = Make("volume", base + "-volume");
    GstElement* output = nullptr;
    if (silent) {
        output = Make("fakesink", base + "-output");
        g_object_set(output, "sync", paced ? TRUE : FALSE, "async", FALSE, nullptr);
    } else {
        output = MakeOutput(base + "-output");
    }
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

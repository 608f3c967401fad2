#include "sources/SourceGraph.h"

#include "sources/CaptureSources.h"

namespace vidorel::sourcegraph {

GstElementRef Make(const char* factory, const std::string& name) {
    GstElement* e = gst_element_factory_make(factory, name.empty() ? nullptr : name.c_str());
    return e ? GstElementRef::adopt(GST_ELEMENT(gst_object_ref_sink(e))) : GstElementRef();
}

bool Add(const GstElementRef& e) {
    if (!SourceGraph || !e) {
        return false;
    }
    if (!gst_bin_add(SourceGraph->Bin(), e.get())) {
        return false;
    }
    gst_element_sync_state_with_parent(e.get());
    return true;
}

bool InGraph(const GstElementRef& e) {
    if (!e || !SourceGraph) {
        return false;
    }
    auto parent = GstRef<GstObject>::adopt(gst_object_get_parent(GST_OBJECT(e.get())));
    return parent.get() == GST_OBJECT(SourceGraph->Bin());
}

void Remove(GstElementRef& e) {
    if (!e) {
        return;
    }
    // A tee keeps its request pads after its peer goes: give them back.
    auto it = GstRef<GstIterator>::adopt(gst_element_iterate_sink_pads(e.get()));
    GValue v = G_VALUE_INIT;
    while (gst_iterator_next(it.get(), &v) == GST_ITERATOR_OK) {
        auto peer = GstPadRef::adopt(gst_pad_get_peer(GST_PAD(g_value_get_object(&v))));
        GstPadTemplate* templ = peer ? GST_PAD_PAD_TEMPLATE(peer.get()) : nullptr;
        if (templ && GST_PAD_TEMPLATE_PRESENCE(templ) == GST_PAD_REQUEST) {
            auto owner = GstElementRef::adopt(gst_pad_get_parent_element(peer.get()));
            gst_pad_unlink(peer.get(), GST_PAD(g_value_get_object(&v)));
            if (owner) {
                gst_element_release_request_pad(owner.get(), peer.get());
            }
        }
        g_value_reset(&v);
    }
    g_value_unset(&v);
    gst_element_set_state(e.get(), GST_STATE_NULL);
    if (InGraph(e)) {
        gst_bin_remove(SourceGraph->Bin(), e.get());
    }
    e.reset();
}

bool Link(std::initializer_list<GstElement*> chain) {
    GstElement* prev = nullptr;
    for (GstElement* e : chain) {
        if (prev && !gst_element_link(prev, e)) {
            return false;
        }
        prev = e;
    }
    return true;
}

} // namespace vidorel::sourcegraph

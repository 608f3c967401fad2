#include "graph/PropertyPages.h"

#include <cstring>

namespace vidorel {

namespace {

bool Excluded(const char* name) {
    for (const char* no : {"name", "parent", "device", "device-fd", "device-name", "location",
                           "num-buffers", "do-timestamp", "typefind", "blocksize", "is-live"}) {
        if (std::strcmp(name, no) == 0) {
            return true;
        }
    }
    return false;
}

bool PlainType(GType t) {
    return t == G_TYPE_BOOLEAN || t == G_TYPE_INT || t == G_TYPE_UINT || t == G_TYPE_INT64 ||
           t == G_TYPE_UINT64 || t == G_TYPE_FLOAT || t == G_TYPE_DOUBLE || t == G_TYPE_STRING ||
           G_TYPE_IS_ENUM(t);
}

} // namespace

GstElement* PageElementOf(GstElement* source) {
    if (source == nullptr) {
        return nullptr;
    }
    if (!GST_IS_BIN(source)) {
        return source;
    }
    // The bin's own source: the element without sink pads.
    GstElement* found = nullptr;
    GstIterator* it = gst_bin_iterate_sources(GST_BIN(source));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        found = PageElementOf(GST_ELEMENT(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

std::vector<GParamSpec*> EditableProperties(GstElement* element) {
    std::vector<GParamSpec*> params;
    if (element == nullptr) {
        return params;
    }
    guint n = 0;
    GParamSpec** all = g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &n);
    for (guint i = 0; i < n; ++i) {
        GParamSpec* p = all[i];
        const bool changeable = (p->flags & G_PARAM_READWRITE) == G_PARAM_READWRITE &&
                                (p->flags & G_PARAM_CONSTRUCT_ONLY) == 0;
        if (changeable && PlainType(p->value_type) && !Excluded(p->name)) {
            params.push_back(p);
        }
    }
    g_free(all);
    return params;
}

TSettings ChangedSettings(GstElement* element) {
    TSettings changed;
    if (element == nullptr) {
        return changed;
    }
    GstElementFactory* factory = gst_element_get_factory(element);
    GstElement* pristine = factory ? gst_element_factory_create(factory, nullptr) : nullptr;
    if (pristine == nullptr) {
        return changed;
    }
    gst_object_ref_sink(pristine);
    for (GParamSpec* p : EditableProperties(element)) {
        GValue now = G_VALUE_INIT, first = G_VALUE_INIT;
        g_value_init(&now, p->value_type);
        g_value_init(&first, p->value_type);
        g_object_get_property(G_OBJECT(element), p->name, &now);
        g_object_get_property(G_OBJECT(pristine), p->name, &first);
        if (g_param_values_cmp(p, &now, &first) != 0) {
            if (gchar* text = gst_value_serialize(&now)) {
                changed.emplace_back(p->name, text);
                g_free(text);
            }
        }
        g_value_unset(&now);
        g_value_unset(&first);
    }
    gst_object_unref(pristine);
    return changed;
}

void ApplySettings(GstElement* element, const TSettings& settings) {
    if (element == nullptr) {
        return;
    }
    for (const auto& [name, value] : settings) {
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), name.c_str())) {
            gst_util_set_object_arg(G_OBJECT(element), name.c_str(), value.c_str());
        }
    }
}

} // namespace vidorel

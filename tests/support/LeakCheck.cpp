#include "tests/support/LeakCheck.h"

#include <gst/gst.h>

#include <set>
#include <utility>

namespace vidorel::test {

namespace {

GstTracer* LeaksTracer() {
    GList* tracers = gst_tracing_get_active_tracers();
    GstTracer* found = nullptr;
    for (GList* l = tracers; l != nullptr; l = l->next) {
        if (found == nullptr && g_strcmp0(G_OBJECT_TYPE_NAME(l->data), "GstLeaksTracer") == 0) {
            found = GST_TRACER(gst_object_ref(l->data));
        }
    }
    g_list_free_full(tracers, gst_object_unref);
    return found;
}

// (address, type) of every entry of one list of the checkpoint.
std::set<std::pair<std::string, std::string>> Entries(const GstStructure* checkpoint,
                                                      const char* field) {
    std::set<std::pair<std::string, std::string>> out;
    const GValue* list = gst_structure_get_value(checkpoint, field);
    const guint n = list != nullptr ? gst_value_list_get_size(list) : 0;
    for (guint i = 0; i < n; ++i) {
        const GstStructure* o = gst_value_get_structure(gst_value_list_get_value(list, i));
        const char* type = gst_structure_get_string(o, "type-name");
        const char* address = gst_structure_get_string(o, "address");
        if (type != nullptr && address != nullptr) {
            out.emplace(address, type);
        }
    }
    return out;
}

} // namespace

bool LeakTracerActive() {
    GstTracer* t = LeaksTracer();
    if (t != nullptr) {
        gst_object_unref(t);
    }
    return t != nullptr;
}

void StartLeakTracking() {
    if (GstTracer* t = LeaksTracer()) {
        g_signal_emit_by_name(t, "activity-start-tracking");
        gst_object_unref(t);
    }
}

std::map<std::string, int> ObjectsLeftSinceStart() {
    std::map<std::string, int> counts;
    GstTracer* tracer = LeaksTracer();
    if (tracer == nullptr) {
        return counts;
    }
    GstStructure* checkpoint = nullptr;
    g_signal_emit_by_name(tracer, "activity-get-checkpoint", &checkpoint);
    gst_object_unref(tracer);
    if (checkpoint == nullptr) {
        return counts;
    }
    const auto created = Entries(checkpoint, "objects-created-list");
    const auto removed = Entries(checkpoint, "objects-removed-list");
    gst_structure_free(checkpoint);
    for (const auto& entry : created) {
        if (removed.count(entry) == 0) {
            ++counts[entry.second];
        }
    }
    return counts;
}

std::string Describe(const std::map<std::string, int>& counts) {
    std::string out;
    for (const auto& [type, n] : counts) {
        out += type + " " + std::to_string(n) + "\n";
    }
    return out;
}

} // namespace vidorel::test

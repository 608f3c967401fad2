#include "sources/SourceGraph.h"

namespace vidorel::sourcegraph {

// The device sets answer with booleans where the graph layer throws: a device that cannot be
// built is reported by its open operation, not by an exception through the UI.

std::string UniqueName(const TFilterGraph& graph, const std::string& name) {
    if (name.empty() || !graph.FindFilter(name)) {
        return name;
    }
    for (int n = 2;; ++n) {
        std::string candidate = name + " #" + std::to_string(n);
        if (!graph.FindFilter(candidate)) {
            return candidate;
        }
    }
}

GstElementRef Make(const TFilterGraph& graph, const char* factory, const std::string& name) {
    try {
        const std::string unique = UniqueName(graph, name);
        return MakeElement(factory, unique.empty() ? nullptr : unique.c_str());
    } catch (const EGraphError& e) {
        GST_WARNING("%s", e.what());
        return {};
    }
}

bool Add(TFilterGraph& graph, const GstElementRef& e) {
    if (!e) {
        return false;
    }
    try {
        graph.AddFilter(e.get());
    } catch (const EGraphError& err) {
        GST_WARNING("%s", err.what());
        return false;
    }
    gst_element_sync_state_with_parent(e.get());
    return true;
}

bool InGraph(const TFilterGraph* graph, const GstElementRef& e) {
    return e && graph != nullptr && graph->Contains(e.get());
}

void Remove(TFilterGraph* graph, GstElementRef& e) {
    if (!e) {
        return;
    }
    if (InGraph(graph, e)) {
        graph->RemoveFilter(e.get());
    } else {
        gst_element_set_state(e.get(), GST_STATE_NULL);
    }
    e.reset();
}

bool Link(std::initializer_list<GstElement*> chain) {
    // gst_element_link requests tee outputs as needed, which the pad-index connection of the
    // graph layer does not.
    GstElement* prev = nullptr;
    for (GstElement* e : chain) {
        if (prev && !gst_element_link(prev, e)) {
            GST_WARNING("could not link %s to %s", GST_ELEMENT_NAME(prev), GST_ELEMENT_NAME(e));
            return false;
        }
        prev = e;
    }
    return true;
}

} // namespace vidorel::sourcegraph

#include "graph/FilterGraph.h"

namespace vidorel {

TFilterGraph::TFilterGraph(const char* name) {
    m_pipeline =
        GstElementRef::adopt(GST_ELEMENT_CAST(gst_object_ref_sink(gst_pipeline_new(name))));
}

TFilterGraph::~TFilterGraph() {
    if (m_pipeline) {
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    }
}

} // namespace vidorel

#pragma once

// The graph services over one GstPipeline: the graph `fg` that all media work runs in.

#include "platform/GstRef.h"

#include <gst/gst.h>

#include <string>

namespace vidorel {

// TFilterGraph: the one pipeline `fg`. Main thread only.
class TFilterGraph {
public:
    explicit TFilterGraph(const char* name = "fg");
    ~TFilterGraph();
    TFilterGraph(const TFilterGraph&) = delete;
    TFilterGraph& operator=(const TFilterGraph&) = delete;

    GstPipeline* Pipeline() const { return GST_PIPELINE_CAST(m_pipeline.get()); }
    GstBin* Bin() const { return GST_BIN_CAST(m_pipeline.get()); }
    GstElement* Element() const { return m_pipeline.get(); }

private:
    GstElementRef m_pipeline;
};

} // namespace vidorel

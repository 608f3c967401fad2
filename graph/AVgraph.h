#pragma once

// The graph data module Tdm (unit AVgraph): owns the graph `fg` for the life of the program.
// Later work adds its fixed components and the own filter instances.

#include "graph/FilterGraph.h"

namespace vidorel {

class Tdm {
public:
    // Creates the graph (DataModuleCreate). Needs gst_init to have run; registers the own
    // elements (RegisterVidorelElements) so they can be created by factory name.
    Tdm();
    // DataModuleDestroy: stops the graph and releases it.
    ~Tdm();
    Tdm(const Tdm&) = delete;
    Tdm& operator=(const Tdm&) = delete;

    TFilterGraph& fg() { return m_fg; }
    const TFilterGraph& fg() const { return m_fg; }

    // Removes the chain upstream of `pin` up to `stopFilter` (device teardown); see
    // graph/DSFunctions.h.
    bool RemoveUpstreamChain(GstPad* pin, GstElement* stopFilter);

private:
    // Declared first: destroyed last, after every component that detaches from it.
    TFilterGraph m_fg;
};

} // namespace vidorel

#include "graph/AVgraph.h"

#include "filters/Registration.h"
#include "graph/DSFunctions.h"

namespace vidorel {

Tdm::Tdm() : m_fg("fg") {
    RegisterVidorelElements();
}

Tdm::~Tdm() {
    m_fg.Abort();
}

bool Tdm::RemoveUpstreamChain(GstPad* pin, GstElement* stopFilter) {
    return vidorel::RemoveUpstreamChain(m_fg, pin, stopFilter);
}

} // namespace vidorel

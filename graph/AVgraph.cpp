#include "graph/AVgraph.h"

#include "filters/Registration.h"

namespace vidorel {

Tdm::Tdm() : m_fg("fg") {
    RegisterVidorelElements();
}

Tdm::~Tdm() = default;

} // namespace vidorel

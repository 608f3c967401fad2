#pragma once

// Running the graph with the reference clock the capture needs.

#include "graph/AVgraph.h"

namespace vidorel {

// Uses the audio renderer's clock when dm.SeparateAudio is set or the capture format is WAV,
// otherwise the default clock, and starts the graph (a graph that already plays keeps its
// clock). False (graph left stopped and usable) when an element does not start.
bool RunGraph(Tdm& dm);

} // namespace vidorel

#pragma once

// Running the graph with the reference clock the capture needs.

#include "graph/AVgraph.h"

namespace vidorel {

// Set by the capture controller before a capture plan runs: video and audio come from two
// devices, so the audio renderer's clock paces the graph and the capture audio is re-stamped.
// Main thread.
extern bool SeparateAudio;

// Uses the audio renderer's clock when SeparateAudio is set or the capture format is WAV,
// otherwise the default clock, and runs the graph. False (graph left stopped and usable) when
// an element does not start.
bool RunGraph(Tdm& dm);

} // namespace vidorel

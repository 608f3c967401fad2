#pragma once

// Small graph helpers shared by the private sets of the device kinds.

#include "graph/FilterGraph.h"
#include "platform/GstRef.h"

#include <initializer_list>
#include <string>

namespace vidorel::sourcegraph {

// `name` itself while the graph holds no element of that name, else "name #2", "name #3", ...:
// two devices of one kind each keep their own set in the one graph.
std::string UniqueName(const TFilterGraph& graph, const std::string& name);
// Creates an element under UniqueName(name); null when the factory is missing.
GstElementRef Make(const TFilterGraph& graph, const char* factory, const std::string& name);
// Adds to the graph and follows its state; false when it cannot be added.
bool Add(TFilterGraph& graph, const GstElementRef& e);
// Releases the tee pads feeding it, takes it out of the graph (when it is there) and drops the
// reference.
void Remove(TFilterGraph* graph, GstElementRef& e);
bool InGraph(const TFilterGraph* graph, const GstElementRef& e);
bool Link(std::initializer_list<GstElement*> chain);

} // namespace vidorel::sourcegraph

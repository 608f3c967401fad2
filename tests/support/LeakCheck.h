#pragma once

// Objects created and not destroyed, by type, as the "leaks" tracer sees them. The tracer is on
// only when the process started with GST_TRACERS=leaks (the leak tests' CTest environment).
//
// The tracer's activity tracking is used, not its list of live objects: that list holds the
// objects in GValues whose release drops references the tracer never took.

#include <map>
#include <string>

namespace vidorel::test {

bool LeakTracerActive();
// From now on, objects are tracked.
void StartLeakTracking();
// The objects created since StartLeakTracking and not destroyed since, counted by type name
// ("GstMessage", "GstPad", ...).
std::map<std::string, int> ObjectsLeftSinceStart();
// "Type n" lines of a count, for messages.
std::string Describe(const std::map<std::string, int>& counts);

} // namespace vidorel::test

#pragma once

// The one place where every own GStreamer element is registered.
//
// In the program and the tests the elements are registered statically, as the plug-in
// "vidorel" of this process, by RegisterVidorelElements() (call it after gst_init; a second
// call does nothing). The same list also makes the loadable plug-in libgstvidorel.so
// (filters/framework.cmake), so gst-launch-1.0 can use the elements.
//
// Adding an element: one line in RegisterAll() in Registration.cpp.

#include <gst/gst.h>

namespace vidorel {

// Registers every own element in this process; idempotent and thread-safe.
void RegisterVidorelElements();

// Whether RegisterVidorelElements() registered everything (false also before the first call).
bool VidorelElementsRegistered();

// Registers every own element into `plugin` (null: statically). The plug-in's init function.
bool RegisterAll(GstPlugin* plugin);

} // namespace vidorel

#pragma once

// zv_dvtype1sink: records an interleaved DV stream (the camcorder's own frames, audio inside)
// into a DV type-1 AVI file (filters/DVType1Avi.h). Its klass holds "Sink/File", so the graph
// sends it end-of-stream and waits before stopping; the file is finished at end-of-stream.

#include <gst/gst.h>

namespace vidorel {

inline constexpr const char* kDVType1SinkFactory = "zv_dvtype1sink";

GType DVType1SinkType();
// Registers the element factory (with `plugin` null: statically in this process).
bool RegisterDVType1Sink(GstPlugin* plugin);

} // namespace vidorel

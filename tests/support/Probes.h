#pragma once

// Pad probes that count what passes, for tests that watch data flow through a graph.

#include <gst/gst.h>

#include <atomic>

namespace vidorel::test {

// Counts the buffers passing a pad (any thread).
struct BufferCounter {
    std::atomic<int> buffers{0};
    void Watch(GstPad* pad) {
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo*, gpointer c) {
                ++static_cast<BufferCounter*>(c)->buffers;
                return GST_PAD_PROBE_OK;
            },
            this, nullptr);
    }
};

} // namespace vidorel::test

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

// Takes the caps off a pad's sticky events, so a harness restarted on it sends none (a stream
// without caps).
inline void ForgetStickyCaps(GstPad* pad) {
    gst_pad_sticky_events_foreach(
        pad,
        [](GstPad*, GstEvent** event, gpointer) -> gboolean {
            if (GST_EVENT_TYPE(*event) == GST_EVENT_CAPS) {
                gst_event_unref(*event);
                *event = nullptr;
            }
            return TRUE;
        },
        nullptr);
}

} // namespace vidorel::test

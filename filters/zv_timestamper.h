#pragma once

// Leaves, replaces or removes the times of the buffers that pass.
//
//     gst-launch-1.0 audiotestsrc ! zv_timestamper ! fakesink
//
// Pass-through leaves them as they came; no-time removes them (the preview sinks then show each
// buffer as it arrives); restamp gives each buffer the element's running time on the pipeline
// clock minus TimeOffset, lasting 40 ms (audio of a capture whose audio runs on another clock
// than the video). Times are GStreamer nanoseconds.

#include "filters/BaseClass.h"

#include <atomic>
#include <cstdint>

namespace vidorel {

class Tzv_TimeStamper : public TBCTransInPlaceFilter {
public:
    static constexpr int64_t kRestampDuration = 40 * GST_MSECOND;

    Tzv_TimeStamper();
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT Transform(GstBuffer* buffer) override;

    void SetRestampMode() { m_mode = Mode::Restamp; }
    void SetPassThroughMode() { m_mode = Mode::PassThrough; }
    void SetNoTimeMode() { m_mode = Mode::NoTime; }
    // Subtracted from the clock's running time in restamp mode.
    void SetTimeOffset(int64_t ns) { m_timeOffset = ns; }

    // Times of the last buffer, as it left (0, 0 in no-time mode). Streaming thread.
    int64_t StampStart() const { return m_stampStart; }
    int64_t StampStop() const { return m_stampStop; }

private:
    enum class Mode { PassThrough, Restamp, NoTime };
    std::atomic<Mode> m_mode{Mode::PassThrough};
    std::atomic<int64_t> m_timeOffset{0};
    std::atomic<int64_t> m_stampStart{0};
    std::atomic<int64_t> m_stampStop{kRestampDuration};
};

} // namespace vidorel

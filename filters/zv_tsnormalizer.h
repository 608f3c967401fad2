#pragma once

#include "filters/BaseClass.h"

namespace vidorel {

// Tzv_TsNormalizer ("zv_tsnormalizer"): puts sane running times on the output of gst-libav
// encoders before a muxer (platform.md, "Known traps"). The encoders start their segments at
// 1000 h and avenc_mpeg4 stamps every buffer 2^63, so avimux cannot interleave and avmux_asf
// writes a wrong duration. Buffers leave in a TIME segment starting at 0 with the running time
// of their input (first buffer at 0), strictly increasing; where the input time is missing or
// unusable (≥ 2^63, outside the segment, or jumping away from the expected next time by more
// than a second) the time continues from the previous buffer by its duration (frame count ×
// frame duration for video). DTS is set equal to PTS: the encoders we use make no B-frames.
class Tzv_TsNormalizer : public TBCTransInPlaceFilter {
public:
    Tzv_TsNormalizer();
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT SetMediaType(PinDirection direction, const GstCaps* caps) override;
    HRESULT StartStreaming() override;
    HRESULT NewSegment(GstSegment& segment) override;
    HRESULT Transform(GstBuffer* buffer) override;

    // Buffers whose time had to be made up from the previous one (streaming thread counter;
    // read it after the run).
    guint64 Repaired() const { return m_repaired; }

private:
    GstClockTime DefaultDuration() const;

    GstSegment m_inSegment;                             // the upstream segment, as received
    GstClockTime m_frameDuration = GST_CLOCK_TIME_NONE; // from the caps' framerate
    GstClockTime m_firstRunning = GST_CLOCK_TIME_NONE;  // running time of the first good buffer
    GstClockTime m_next = 0;                            // expected time of the next buffer
    GstClockTime m_last = GST_CLOCK_TIME_NONE;          // time given to the previous buffer
    guint64 m_repaired = 0;
};

} // namespace vidorel

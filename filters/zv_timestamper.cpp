#include "filters/zv_timestamper.h"

namespace vidorel {

VIDOREL_DEFINE_FILTER(Tzv_TimeStamper, "zv_timestamper", "Marlott zv_Timestamper", "Filter",
                      "Passes, replaces from the pipeline clock or removes buffer times", "ANY",
                      "ANY")

Tzv_TimeStamper::Tzv_TimeStamper() : TBCTransInPlaceFilter("Marlott zv_Timestamper", false) {}

HRESULT Tzv_TimeStamper::CheckInputType(const GstCaps*) {
    return S_OK;
}

HRESULT Tzv_TimeStamper::Transform(GstBuffer* buffer) {
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    int64_t start = GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<int64_t>(pts) : 0;
    int64_t stop = start + (GST_CLOCK_TIME_IS_VALID(duration) ? static_cast<int64_t>(duration) : 0);

    switch (m_mode.load()) {
    case Mode::NoTime:
        start = stop = 0;
        GST_BUFFER_PTS(buffer) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(buffer) = GST_CLOCK_TIME_NONE;
        break;
    case Mode::Restamp: {
        GstElement* element = Element();
        auto clock = GstClockRef::adopt(gst_element_get_clock(element));
        if (!clock) {
            break; // without a clock the times stay as they came
        }
        const GstClockTime now = gst_clock_get_time(clock.get());
        const GstClockTime base = gst_element_get_base_time(element);
        start = static_cast<int64_t>(now) - static_cast<int64_t>(base) - m_timeOffset.load();
        // A buffer time cannot be negative: an offset larger than the running time so far
        // starts the stream at 0.
        if (start < 0) {
            start = 0;
        }
        stop = start + kRestampDuration;
        GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(start);
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(buffer) = static_cast<GstClockTime>(kRestampDuration);
        break;
    }
    case Mode::PassThrough:
        break;
    }
    m_stampStart = start;
    m_stampStop = stop;
    return S_OK;
}

} // namespace vidorel

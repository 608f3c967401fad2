// zv_tsnormalizer: running times from 0, strictly increasing, after gst-libav encoders.
//
//     gst-launch-1.0 videotestsrc num-buffers=100 ! avenc_mpeg4 ! zv_tsnormalizer ! avimux !
//         filesink location=out.avi          (GST_PLUGIN_PATH=<build>/gst-plugins)

#include "filters/zv_tsnormalizer.h"

#include <gst/video/video.h>

namespace vidorel {

VIDOREL_DEFINE_FILTER(Tzv_TsNormalizer, "zv_tsnormalizer", "Marlott zv_TsNormalizer",
                      "Filter/Video/Audio",
                      "Gives encoder output running times from 0, strictly increasing", "ANY",
                      "ANY")

namespace {
// Beyond this a buffer time is not trusted (avenc_mpeg4 stamps 2^63).
constexpr GstClockTime kMaxSaneTime = GstClockTime(1) << 62;
// A time further than this from the expected one is taken as garbage, not as a gap.
constexpr GstClockTime kMaxJump = GST_SECOND;
constexpr GstClockTime kFallbackDuration = 40 * GST_MSECOND; // 25 fps
} // namespace

Tzv_TsNormalizer::Tzv_TsNormalizer() : TBCTransInPlaceFilter("Marlott zv_TsNormalizer", false) {
    gst_segment_init(&m_inSegment, GST_FORMAT_TIME);
}

HRESULT Tzv_TsNormalizer::CheckInputType(const GstCaps*) {
    return S_OK;
}

HRESULT Tzv_TsNormalizer::SetMediaType(PinDirection direction, const GstCaps* caps) {
    if (direction != PinDirection::Input) {
        return S_OK;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    gint n = 0, d = 0;
    if (s != nullptr && gst_structure_get_fraction(s, "framerate", &n, &d) && n > 0 && d > 0) {
        m_frameDuration = gst_util_uint64_scale_int(GST_SECOND, d, n);
    } else {
        m_frameDuration = GST_CLOCK_TIME_NONE;
    }
    return S_OK;
}

HRESULT Tzv_TsNormalizer::StartStreaming() {
    gst_segment_init(&m_inSegment, GST_FORMAT_TIME);
    // A run without caps never calls SetMediaType: the last run's frame rate must not stay.
    m_frameDuration = GST_CLOCK_TIME_NONE;
    m_firstRunning = GST_CLOCK_TIME_NONE;
    m_next = 0;
    m_last = GST_CLOCK_TIME_NONE;
    m_repaired = 0;
    return S_OK;
}

HRESULT Tzv_TsNormalizer::NewSegment(GstSegment& segment) {
    m_inSegment = segment;
    if (segment.format == GST_FORMAT_TIME) {
        // Downstream sees times that are running times already.
        gst_segment_init(&segment, GST_FORMAT_TIME);
    }
    return S_OK;
}

GstClockTime Tzv_TsNormalizer::DefaultDuration() const {
    return GST_CLOCK_TIME_IS_VALID(m_frameDuration) ? m_frameDuration : kFallbackDuration;
}

HRESULT Tzv_TsNormalizer::Transform(GstBuffer* buffer) {
    if (m_inSegment.format != GST_FORMAT_TIME) {
        return S_OK; // not a timed stream: nothing to normalise
    }
    GstClockTime duration = GST_BUFFER_DURATION(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(duration) || duration >= kMaxSaneTime) {
        duration = GST_CLOCK_TIME_NONE;
    }

    GstClockTime running = GST_CLOCK_TIME_NONE;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (GST_CLOCK_TIME_IS_VALID(pts) && pts < kMaxSaneTime) {
        running = gst_segment_to_running_time(&m_inSegment, GST_FORMAT_TIME, pts);
        if (running >= kMaxSaneTime) {
            running = GST_CLOCK_TIME_NONE;
        }
    }

    GstClockTime out;
    bool repaired = false;
    if (!GST_CLOCK_TIME_IS_VALID(m_last)) {
        // The first buffer of the run starts the time line at 0.
        m_firstRunning = running;
        out = 0;
    } else if (GST_CLOCK_TIME_IS_VALID(running) && GST_CLOCK_TIME_IS_VALID(m_firstRunning) &&
               running >= m_firstRunning) {
        out = running - m_firstRunning;
        const GstClockTime diff = out > m_next ? out - m_next : m_next - out;
        if (diff > kMaxJump) {
            out = m_next;
            repaired = true;
        }
    } else {
        out = m_next;
        repaired = true;
    }
    if (GST_CLOCK_TIME_IS_VALID(m_last) && out <= m_last) {
        out = m_next; // never backwards: continue from the previous buffer
        repaired = true;
    }
    if (repaired) {
        ++m_repaired;
    }
    if (!GST_CLOCK_TIME_IS_VALID(duration)) {
        duration = DefaultDuration();
        GST_BUFFER_DURATION(buffer) = duration;
    }
    GST_BUFFER_PTS(buffer) = out;
    GST_BUFFER_DTS(buffer) = out;
    m_last = out;
    m_next = out + duration;
    GST_CAT_LOG_OBJECT(DebugCategory(), Element(),
                       "pts %" GST_TIME_FORMAT " -> %" GST_TIME_FORMAT "%s", GST_TIME_ARGS(pts),
                       GST_TIME_ARGS(out), repaired ? " (repaired)" : "");
    return S_OK;
}

} // namespace vidorel

#include "filters/zv_Controlunit.h"

namespace vidorel {

VIDOREL_DEFINE_FILTER(Tzv_ControlFilter, "zv_controlfilter", "Marlott zv_ControlFilter",
                      "Filter/Video", "Lets one frame through per request and renumbers them",
                      "ANY", "ANY")

Tzv_ControlFilter::Tzv_ControlFilter() : TBCTransInPlaceFilter("Marlott zv_ControlFilter", false) {}

HRESULT Tzv_ControlFilter::CheckInputType(const GstCaps*) {
    return S_OK;
}

void Tzv_ControlFilter::SetOnStopped(std::function<void()> handler) {
    std::lock_guard lock(m_handlerLock);
    m_onStopped = std::move(handler);
}

HRESULT Tzv_ControlFilter::Transform(GstBuffer* buffer) {
    // Take one pending request, or drop the frame.
    int pending = m_pending.load();
    do {
        if (pending <= 0) {
            return S_FALSE;
        }
    } while (!m_pending.compare_exchange_weak(pending, pending - 1));

    if (m_restamp.load()) {
        const int64_t step = m_timeStep.load();
        const int64_t start = m_nextStart.fetch_add(step);
        GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(start);
        GST_BUFFER_DTS(buffer) = static_cast<GstClockTime>(start);
        GST_BUFFER_DURATION(buffer) = static_cast<GstClockTime>(step);
    }
    if (m_markSyncPoint.load()) {
        GST_BUFFER_FLAG_UNSET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    }
    if (m_markDiscontinuity.load()) {
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    }
    return S_OK;
}

HRESULT Tzv_ControlFilter::Stop() {
    m_pending = 1;
    const HRESULT hr = TBCTransformFilter::Stop();
    std::function<void()> handler;
    {
        std::lock_guard lock(m_handlerLock);
        handler = m_onStopped;
    }
    if (handler) {
        handler();
    }
    return hr;
}

} // namespace vidorel

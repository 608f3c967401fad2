#pragma once

// Lets one frame through per request and renumbers the frames it lets through; with it a DV
// stream becomes an image-by-image file, one picture per grab.
//
//     gst-launch-1.0 ... ! zv_controlfilter ! avimux ! filesink location=images.avi
//
// Requests are counted, so each one lets exactly one frame through, however they fall between
// frames; at creation and after every stop one request is pending. Times are GStreamer
// nanoseconds.

#include "filters/BaseClass.h"

#include <atomic>
#include <functional>
#include <mutex>

namespace vidorel {

class Tzv_ControlFilter : public TBCTransInPlaceFilter {
public:
    Tzv_ControlFilter();
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT Transform(GstBuffer* buffer) override;
    HRESULT Stop() override;

    // Lets one more frame through (any thread).
    void RequestFrame() { m_pending.fetch_add(1); }
    // true: exactly one frame pending; false: none (drops frames until the next request).
    void SetPassNext(bool on) { m_pending.store(on ? 1 : 0); }
    int PendingRequests() const { return m_pending.load(); }

    // Give the passed frames consecutive times (NextStart, NextStart + TimeStep).
    void SetRestamp(bool on) { m_restamp = on; }
    void SetNextStart(int64_t ns) { m_nextStart = ns; }
    int64_t NextStart() const { return m_nextStart.load(); }
    void SetTimeStep(int64_t ns) { m_timeStep = ns; }
    void SetMarkSyncPoint(bool on) { m_markSyncPoint = on; }
    void SetMarkDiscontinuity(bool on) { m_markDiscontinuity = on; }
    // Raised on the thread that stops the element, after it has stopped. Set it while stopped.
    void SetOnStopped(std::function<void()> handler);

private:
    std::atomic<int> m_pending{1};
    std::atomic<bool> m_restamp{false};
    std::atomic<int64_t> m_nextStart{0};
    std::atomic<int64_t> m_timeStep{1};
    std::atomic<bool> m_markSyncPoint{false};
    std::atomic<bool> m_markDiscontinuity{false};
    std::mutex m_handlerLock;
    std::function<void()> m_onStopped;
};

} // namespace vidorel

#pragma once

// Scene detection on DV streams.
//
//     gst-launch-1.0 filesrc location=tape.avi ! avidemux ! zv_scenedetect ! fakesink
//
// TSceneDetector holds the detection itself and can be fed frames without a pipeline;
// Tzv_SceneDetect is the in-place element around it, on video/x-dv (system stream or not). The
// element never changes the video data: it numbers each buffer (offset = frame number since the
// last stop, offset-end = that + 1), attaches the frame's record (TDVFrameMeta: the detector's
// record, the header blocks, the number and whether a scene starts) and passes it on.

#include "filters/BaseClass.h"
#include "filters/DVFrameMeta.h"
#include "filters/dvcodes.h"
#include "platform/ReceiverSlot.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace vidorel {

// Told when the stream turns 16:9 (lParam 1) or 4:3 (lParam 0); wParam is always 1. Called on
// the streaming thread: the main window implements it by posting an event (type User+3).
class IDVAspectReceiver {
public:
    virtual void PostDVAspect(int wParam, int lParam) = 0;

protected:
    ~IDVAspectReceiver() = default;
};

class TSceneDetector {
public:
    // 2 seconds in days, and 12 frames.
    static constexpr double SceneGap = 2.0 / 86400.0;
    static constexpr uint32_t SceneFrameGap = 12;

    TSceneDetector();

    // The per-frame work of the streaming thread. Answers the frame's number (its media time)
    // and, with `record`, fills in the frame's record (what the element attaches to the buffer).
    // A frame shorter than ten DIF sequences counts as a frame without metadata.
    uint32_t ProcessFrame(DvFrame frame, TDVFrameRecord* record = nullptr);
    // Reports the last scene (when a frame was seen since the last stop) and resets; the
    // callback and Current().VideoSystem survive.
    void Stop();

    // Set while the graph is stopped; guarded all the same.
    void SetSceneCallback(TSceneCallback callback);
    // Any thread; after SetAspectReceiver(nullptr) returns the old receiver is never called
    // again and may be destroyed.
    void SetAspectReceiver(IDVAspectReceiver* receiver) { m_aspectReceiver.Set(receiver); }

    // A consistent copy of the record of the frame processed last (its FrameNumber is already the
    // next frame's). Any thread.
    TDVFrameInfo Current() const;

private:
    void reset();
    void reportScene();

    // Streaming-thread state (and Stop's, which runs when streaming has ended).
    TDVFrameInfo m_sceneStart;
    double m_lastDateTime = 0;
    bool m_haveLastDateTime = false;
    bool m_firstSample = true;
    TDVFrameInfo m_current;
    TDVFrameInfo m_previous;

    // m_current as readers see it, copied once per frame.
    mutable std::mutex m_publishedLock;
    TDVFrameInfo m_published;

    // Set from the UI thread, used on the streaming thread.
    std::mutex m_callbackLock;
    TSceneCallback m_onScene;
    TReceiverSlot<IDVAspectReceiver> m_aspectReceiver;
};

class Tzv_SceneDetect : public TBCTransInPlaceFilter {
public:
    Tzv_SceneDetect();
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT Transform(GstBuffer* buffer) override;
    HRESULT Stop() override;

    TSceneDetector& Detector() { return *m_detector; }
    void SetSceneCallback(TSceneCallback callback) {
        m_detector->SetSceneCallback(std::move(callback));
    }
    void SetAspectReceiver(IDVAspectReceiver* receiver) { m_detector->SetAspectReceiver(receiver); }
    TDVFrameInfo Current() const { return m_detector->Current(); }

private:
    // Allocated once with the element, never per frame.
    std::unique_ptr<TSceneDetector> m_detector;
};

} // namespace vidorel

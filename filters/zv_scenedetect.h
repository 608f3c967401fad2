#pragma once

// Scene detection on DV streams.
//
//     gst-launch-1.0 filesrc location=tape.avi ! avidemux ! zv_scenedetect ! fakesink
//
// TSceneDetector holds the detection itself and can be fed frames without a pipeline;
// Tzv_SceneDetect is the in-place element around it, on video/x-dv (system stream or not). The
// element never changes the video data: it numbers each buffer (offset = frame number since the
// last stop, offset-end = that + 1) and passes it on.

#include "filters/BaseClass.h"
#include "filters/dvcodes.h"

#include <array>
#include <atomic>
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

// The raw header blocks of one frame: for DIF sequences 0 to 9 the header, both subcode and the
// three VAUX blocks, then the buffer's start time.
struct TDVHeaderEntry {
    static constexpr std::size_t kBlockBytes = 480;
    uint8_t Blocks[kDvMetadataSequences][kBlockBytes];
    int64_t StartTime; // buffer PTS in nanoseconds, -1 when the buffer had none
};
static_assert(sizeof(TDVHeaderEntry) == 4808);

class TSceneDetector {
public:
    static constexpr int kRingSize = 100;
    // 2 seconds in days, and 12 frames.
    static constexpr double SceneGap = 2.0 / 86400.0;
    static constexpr uint32_t SceneFrameGap = 12;

    TSceneDetector();

    // The per-frame work of the streaming thread. Answers the frame's number (its media time).
    // A frame shorter than ten DIF sequences counts as a frame without metadata.
    uint32_t ProcessFrame(DvFrame frame, int64_t startTime);
    // Reports the last scene (when a frame was seen since the last stop) and resets; the
    // callback and Current().VideoSystem survive.
    void Stop();

    // Set while the graph is stopped; guarded all the same.
    void SetSceneCallback(TSceneCallback callback);
    void SetAspectReceiver(IDVAspectReceiver* receiver);

    // A consistent copy of the record of the frame processed last (its FrameNumber is already the
    // next frame's). Any thread.
    TDVFrameInfo Current() const;

    // --- the rings, for the overlay and the DV header filter on the streaming path ---
    // Written by the streaming thread only; an entry is complete before RingWrite points at it.
    int32_t RingWrite() const { return m_ringWrite.load(std::memory_order_acquire); }
    int32_t RingRead() const { return m_ringRead.load(std::memory_order_acquire); }
    void SetRingRead(int32_t index) { m_ringRead.store(index, std::memory_order_release); }
    const TDVFrameInfo& FrameInfoRing(int32_t index) const { return m_frameInfoRing[index]; }
    const TDVHeaderEntry& HeaderRing(int32_t index) const { return m_headerRing[index]; }
    // The overlay's search: from the newest entry backwards, the first whose start time is not
    // later than `startTime` (the oldest entry when none is). Sets RingRead and answers it.
    int32_t FindRingEntry(int64_t startTime);

private:
    void reset();
    void reportScene();

    // Streaming-thread state (and Stop's, which runs when streaming has ended).
    std::array<TDVFrameInfo, kRingSize> m_frameInfoRing{};
    std::array<TDVHeaderEntry, kRingSize> m_headerRing{};
    std::atomic<int32_t> m_ringWrite{0};
    std::atomic<int32_t> m_ringRead{0};
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
    std::atomic<IDVAspectReceiver*> m_aspectReceiver{nullptr};
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
    // About 490 kB of rings, more than a GObject instance may hold: allocated once with the
    // element, never per frame.
    std::unique_ptr<TSceneDetector> m_detector;
};

} // namespace vidorel

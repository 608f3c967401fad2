#include "filters/zv_scenedetect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vidorel {

TSceneDetector::TSceneDetector() {
    reset();
}

void TSceneDetector::reset() {
    m_ringWrite.store(0, std::memory_order_release);
    m_ringRead.store(0, std::memory_order_release);
    m_sceneStart = TDVFrameInfo{};
    m_firstSample = true;
    const uint8_t videoSystem = m_current.VideoSystem;
    m_current = TDVFrameInfo{};
    // The first frame is judged as following a dated frame.
    m_current.DateValid = true;
    // The DV re-encoding reads the system while the graph is stopped.
    m_current.VideoSystem = videoSystem;
    m_lastDateTime = 0;
    m_haveLastDateTime = false;
    std::lock_guard lock(m_publishedLock);
    m_published = m_current;
}

void TSceneDetector::reportScene() {
    {
        std::lock_guard lock(m_callbackLock);
        if (m_onScene) {
            m_onScene(m_sceneStart, m_current);
        }
    }
    m_sceneStart = m_current;
}

uint32_t TSceneDetector::ProcessFrame(DvFrame frame, int64_t startTime) {
    m_previous = m_current;
    TDVFrameInfo& cur = m_current;
    const uint32_t frameNumber = cur.FrameNumber;

    TDVRecDateTime rec;
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        GetDVRecDateTime(frame, n, rec);
        if (rec.Year != -1) {
            break;
        }
    }
    double days = 0;
    cur.DateValid = DVRecDateTimeToDays(rec, days);
    cur.RecDateTime = cur.DateValid ? days : 0;

    cur.TimecodeValid = false;
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        const TDVTimecode tc = GetDVTimecode(frame, n);
        if (tc.Hours < 128) {
            cur.Timecode = tc;
            cur.TimecodeValid = true;
            break;
        }
    }

    cur.AudioRate = GetDVAudioRate(frame);
    cur.AudioBits = GetDVAudioBits(frame);
    cur.FrameNumber64 = cur.FrameNumber;
    cur.Is16x9 = IsDV16x9(frame);
    cur.VideoSystem = GetDVSystem(frame);
    cur.InfoComplete = cur.TimecodeValid && HasDVVideoControl(frame) && cur.AudioRate != -1;

    if (cur.Is16x9 != m_previous.Is16x9) {
        if (IDVAspectReceiver* r = m_aspectReceiver.load(std::memory_order_acquire)) {
            r->PostDVAspect(1, cur.Is16x9 ? 1 : 0);
        }
    }

    if (!cur.DateValid && m_previous.DateValid && cur.FrameNumber > 0) {
        reportScene(); // the recording date was lost
    } else if (!m_previous.DateValid && cur.DateValid) {
        const int64_t since = int64_t(cur.FrameNumber) - int64_t(m_sceneStart.FrameNumber);
        if (std::llabs(since) > SceneFrameGap) {
            reportScene();
        }
        m_lastDateTime = cur.RecDateTime;
    } else if (m_previous.DateValid && cur.DateValid) {
        if (m_haveLastDateTime && std::fabs(cur.RecDateTime - m_lastDateTime) > SceneGap) {
            reportScene();
        }
        m_lastDateTime = cur.RecDateTime;
        m_haveLastDateTime = true;
    }

    cur.FrameNumber += 1;

    const int32_t slot = (m_ringWrite.load(std::memory_order_relaxed) + 1) % kRingSize;
    m_frameInfoRing[slot] = cur;
    TDVHeaderEntry& entry = m_headerRing[slot];
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        const std::size_t at = n * kDifSequenceBytes;
        if (at + TDVHeaderEntry::kBlockBytes <= frame.size()) {
            std::memcpy(entry.Blocks[n], frame.data() + at, TDVHeaderEntry::kBlockBytes);
        } else {
            std::memset(entry.Blocks[n], 0, TDVHeaderEntry::kBlockBytes);
        }
    }
    entry.StartTime = startTime;
    m_ringWrite.store(slot, std::memory_order_release);

    if (m_firstSample) {
        m_sceneStart = cur;
        m_firstSample = false;
    }
    {
        std::lock_guard lock(m_publishedLock);
        m_published = cur;
    }
    return frameNumber;
}

void TSceneDetector::Stop() {
    // Without a frame since the last stop there is no scene to report; the record would describe
    // an empty clip.
    if (!m_firstSample) {
        std::lock_guard lock(m_callbackLock);
        if (m_onScene) {
            m_onScene(m_sceneStart, m_current);
        }
    }
    reset();
}

void TSceneDetector::SetSceneCallback(TSceneCallback callback) {
    std::lock_guard lock(m_callbackLock);
    m_onScene = std::move(callback);
}

void TSceneDetector::SetAspectReceiver(IDVAspectReceiver* receiver) {
    m_aspectReceiver.store(receiver, std::memory_order_release);
}

TDVFrameInfo TSceneDetector::Current() const {
    std::lock_guard lock(m_publishedLock);
    return m_published;
}

int32_t TSceneDetector::FindRingEntry(int64_t startTime) {
    int32_t index = (RingWrite() + 1) % kRingSize;
    for (int i = 0; i < kRingSize; ++i) {
        index = index == 0 ? kRingSize - 1 : index - 1;
        if (m_headerRing[index].StartTime <= startTime) {
            break;
        }
    }
    SetRingRead(index);
    return index;
}

// ---- the element ----

VIDOREL_DEFINE_FILTER(Tzv_SceneDetect, "zv_scenedetect", "Marlott zv_SceneDetect",
                      "Filter/Analyzer/Video",
                      "Numbers DV frames, reads their recording data and finds scene changes",
                      "video/x-dv", "video/x-dv")

Tzv_SceneDetect::Tzv_SceneDetect()
    : TBCTransInPlaceFilter("Marlott zv_SceneDetect", false),
      m_detector(std::make_unique<TSceneDetector>()) {}

HRESULT Tzv_SceneDetect::CheckInputType(const GstCaps* caps) {
    if (caps == nullptr || gst_caps_get_size(caps) == 0) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    return gst_structure_has_name(s, "video/x-dv") ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Tzv_SceneDetect::Transform(GstBuffer* buffer) {
    GstMapInfo map;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const int64_t start = GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<int64_t>(pts) : -1;
    uint32_t number = 0;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        number = m_detector->ProcessFrame(DvFrame(map.data, map.size), start);
        gst_buffer_unmap(buffer, &map);
    } else {
        number = m_detector->ProcessFrame(DvFrame(), start);
    }
    GST_BUFFER_OFFSET(buffer) = number;
    GST_BUFFER_OFFSET_END(buffer) = number + 1;
    return S_OK;
}

HRESULT Tzv_SceneDetect::Stop() {
    const HRESULT hr = TBCTransformFilter::Stop();
    // Streaming has ended when the element leaves PAUSED, so the report cannot race Transform.
    m_detector->Stop();
    return hr;
}

} // namespace vidorel

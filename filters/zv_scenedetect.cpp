#include "filters/zv_scenedetect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vidorel {

TSceneDetector::TSceneDetector() {
    reset();
}

void TSceneDetector::reset() {
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

uint32_t TSceneDetector::ProcessFrame(DvFrame frame, TDVFrameRecord* record) {
    m_previous = m_current;
    bool sceneStart = m_firstSample;
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
        const int wide = cur.Is16x9 ? 1 : 0;
        m_aspectReceiver.Call([wide](IDVAspectReceiver& r) { r.PostDVAspect(1, wide); });
    }

    if (!cur.DateValid && m_previous.DateValid && cur.FrameNumber > 0) {
        reportScene(); // the recording date was lost
        sceneStart = true;
    } else if (!m_previous.DateValid && cur.DateValid) {
        const int64_t since = int64_t(cur.FrameNumber) - int64_t(m_sceneStart.FrameNumber);
        if (std::llabs(since) > SceneFrameGap) {
            reportScene();
            sceneStart = true;
        }
        m_lastDateTime = cur.RecDateTime;
    } else if (m_previous.DateValid && cur.DateValid) {
        if (m_haveLastDateTime && std::fabs(cur.RecDateTime - m_lastDateTime) > SceneGap) {
            reportScene();
            sceneStart = true;
        }
        m_lastDateTime = cur.RecDateTime;
        m_haveLastDateTime = true;
    }

    cur.FrameNumber += 1;

    if (record != nullptr) {
        record->Info = cur;
        record->FrameNumber = frameNumber;
        record->SceneStart = sceneStart;
        record->HeaderSequences = 0;
        for (int n = 0; n < kDvMetadataSequences; ++n) {
            const std::size_t at = n * kDifSequenceBytes;
            if (at + kDVHeaderBlockBytes <= frame.size()) {
                std::memcpy(record->Blocks[n], frame.data() + at, kDVHeaderBlockBytes);
                record->HeaderSequences = n + 1;
            } else {
                std::memset(record->Blocks[n], 0, kDVHeaderBlockBytes);
            }
        }
    }

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

TDVFrameInfo TSceneDetector::Current() const {
    std::lock_guard lock(m_publishedLock);
    return m_published;
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
    // The framework hands in-place filters a writable buffer (sharing the upstream memory when
    // upstream still holds it), so the meta can always be attached without copying bytes.
    TDVFrameMeta* meta = AddDVFrameMeta(buffer);
    TDVFrameRecord* record = meta != nullptr ? &meta->Record : nullptr;
    GstMapInfo map;
    uint32_t number = 0;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        number = m_detector->ProcessFrame(DvFrame(map.data, map.size), record);
        gst_buffer_unmap(buffer, &map);
    } else {
        number = m_detector->ProcessFrame(DvFrame(), record);
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

#include "filters/zv_DVheader.h"

#include "filters/dvcodes.h"
#include "filters/zv_scenedetect.h"

#include <cstring>

#define GST_CAT_DEFAULT (DebugCategory())

namespace vidorel {

struct Tzv_DVheader::SceneSource {
    GstElementRef element;
    TSceneDetector* detector = nullptr;
};

VIDOREL_DEFINE_FILTER(Tzv_DVheader, "zv_dvheader", "Marlott zv_DVHeader", "Filter/Video",
                      "Restores the camcorder's DV header blocks or marks frames 16:9",
                      "video/x-dv", "video/x-dv")

Tzv_DVheader::Tzv_DVheader() : TBCTransInPlaceFilter("Marlott zv_DVHeader", true) {}

HRESULT Tzv_DVheader::CheckInputType(const GstCaps* caps) {
    if (caps == nullptr || gst_caps_get_size(caps) == 0) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return gst_structure_has_name(gst_caps_get_structure(caps, 0), "video/x-dv")
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

void Tzv_DVheader::SetSceneSource(GstElement* sceneDetect) {
    std::shared_ptr<const SceneSource> next;
    if (auto* f = FilterCast<Tzv_SceneDetect>(sceneDetect)) {
        next = std::make_shared<SceneSource>(
            SceneSource{GstElementRef::ref(sceneDetect), &f->Detector()});
    } else if (sceneDetect != nullptr) {
        GST_WARNING_OBJECT(Element(), "%s is not a scene detector", GST_OBJECT_NAME(sceneDetect));
    }
    std::shared_ptr<const SceneSource> old;
    std::lock_guard lock(m_sceneLock);
    old = std::exchange(m_scene, std::move(next));
}

std::shared_ptr<const Tzv_DVheader::SceneSource> Tzv_DVheader::SceneSnapshot() const {
    std::lock_guard lock(m_sceneLock);
    return m_scene;
}

HRESULT Tzv_DVheader::Transform(GstBuffer* buffer) {
    const auto scene = SceneSnapshot();
    const bool wide = m_ratioDV.load() == 1;
    if (scene == nullptr && !wide) {
        return S_OK; // nothing to write: the buffer is not even mapped
    }
    if (gst_buffer_get_size(buffer) < kDvMetadataBytes) {
        return S_OK;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READWRITE)) {
        return S_OK;
    }
    if (map.size >= kDvMetadataBytes) {
        if (scene != nullptr) {
            const TDVHeaderEntry& entry = scene->detector->HeaderRing(scene->detector->RingRead());
            for (int n = 0; n < kDvMetadataSequences; ++n) {
                std::memcpy(map.data + n * kDifSequenceBytes, entry.Blocks[n],
                            TDVHeaderEntry::kBlockBytes);
            }
        } else {
            const DvMutableFrame frame(map.data, map.size);
            for (int n = 0; n < kDvMetadataSequences; ++n) {
                SetDV16x9(frame, n);
            }
        }
    }
    gst_buffer_unmap(buffer, &map);
    return S_OK;
}

} // namespace vidorel

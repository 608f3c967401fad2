#include "filters/zv_DVheader.h"

#include "filters/DVFrameMeta.h"
#include "filters/dvcodes.h"

#include <cstring>

#define GST_CAT_DEFAULT (DebugCategory())

namespace vidorel {

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

HRESULT Tzv_DVheader::Transform(GstBuffer* buffer) {
    const TDVFrameMeta* meta = GetDVFrameMeta(buffer);
    const TDVFrameRecord* record =
        meta != nullptr && meta->Record.HeaderSequences > 0 ? &meta->Record : nullptr;
    const bool wide = record == nullptr && m_ratioDV.load() == 1;
    if (record == nullptr && !wide) {
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
        if (record != nullptr) {
            GST_LOG_OBJECT(Element(), "restoring the header blocks of source frame %u",
                           record->FrameNumber);
            // The DIF header block describes the encoded data itself (its system and, in the
            // application IDs, its sampling): it stays the encoder's. A 4:1:1 source's header
            // over 4:2:0 data makes every decoder read the frame as garbage.
            for (int n = 0; n < record->HeaderSequences && n < kDvMetadataSequences; ++n) {
                std::memcpy(map.data + n * kDifSequenceBytes + kDifBlockBytes,
                            record->Blocks[n] + kDifBlockBytes,
                            kDVHeaderBlockBytes - kDifBlockBytes);
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

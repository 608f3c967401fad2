#include "filters/DVFrameMeta.h"

#include <new>
#include <type_traits>

namespace vidorel {

namespace {

// GStreamer allocates metas as raw memory and finds the record by its offset from the GstMeta.
static_assert(std::is_standard_layout_v<TDVFrameMeta>);
static_assert(std::is_trivially_copyable_v<TDVFrameRecord>);
static_assert(std::is_trivially_destructible_v<TDVFrameRecord>);

constexpr const char* kApiName = "VidorelDVFrameMetaAPI";
constexpr const char* kImplName = "VidorelDVFrameMeta";

gboolean InitMeta(GstMeta* meta, gpointer, GstBuffer*) {
    ::new (&reinterpret_cast<TDVFrameMeta*>(meta)->Record) TDVFrameRecord();
    return TRUE;
}

gboolean TransformMeta(GstBuffer* dest, GstMeta* meta, GstBuffer*, GQuark, gpointer) {
    // The record describes what was recorded with the frame, which no copy, region, conversion
    // or scaling of its bytes changes.
    TDVFrameMeta* out = AddDVFrameMeta(dest);
    if (out == nullptr) {
        return FALSE;
    }
    out->Record = reinterpret_cast<const TDVFrameMeta*>(meta)->Record;
    return TRUE;
}

} // namespace

GType DVFrameMetaApiType() {
    static const GType type = [] {
        // The loadable plug-in built from the same sources may have registered it first.
        if (const GType existing = g_type_from_name(kApiName); existing != 0) {
            return existing;
        }
        static const gchar* tags[] = {nullptr};
        return gst_meta_api_type_register(kApiName, tags);
    }();
    return type;
}

const GstMetaInfo* DVFrameMetaInfo() {
    static const GstMetaInfo* info = [] {
        if (const GstMetaInfo* existing = gst_meta_get_info(kImplName)) {
            return existing;
        }
        return gst_meta_register(DVFrameMetaApiType(), kImplName, sizeof(TDVFrameMeta), InitMeta,
                                 nullptr, TransformMeta);
    }();
    return info;
}

TDVFrameMeta* AddDVFrameMeta(GstBuffer* buffer) {
    if (buffer == nullptr) {
        return nullptr;
    }
    if (GstMeta* existing = gst_buffer_get_meta(buffer, DVFrameMetaApiType())) {
        return gst_buffer_is_writable(buffer) ? reinterpret_cast<TDVFrameMeta*>(existing) : nullptr;
    }
    if (!gst_buffer_is_writable(buffer)) {
        return nullptr;
    }
    return reinterpret_cast<TDVFrameMeta*>(gst_buffer_add_meta(buffer, DVFrameMetaInfo(), nullptr));
}

const TDVFrameMeta* GetDVFrameMeta(GstBuffer* buffer) {
    if (buffer == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<const TDVFrameMeta*>(gst_buffer_get_meta(buffer, DVFrameMetaApiType()));
}

} // namespace vidorel

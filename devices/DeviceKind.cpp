#include "devices/DeviceKind.h"

#include <cstring>

namespace vidorel::devices {

namespace {

bool IsSystemStream(const GstStructure* s) {
    gboolean system = FALSE;
    return gst_structure_get_boolean(s, "systemstream", &system) && system;
}

} // namespace

uint8_t KindFromCaps(const GstCaps* caps) {
    if (caps == nullptr || gst_caps_is_any(caps) || gst_caps_is_empty(caps)) {
        return kKindNone;
    }
    bool video = false;
    bool audio = false;
    const guint n = gst_caps_get_size(caps);
    for (guint i = 0; i < n; ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        const char* name = gst_structure_get_name(s);
        if (std::strcmp(name, "video/x-dv") == 0) {
            gboolean system = FALSE;
            if (gst_structure_get_boolean(s, "systemstream", &system) && system) {
                return kKindDV;
            }
            video = true;
        } else if (std::strcmp(name, "video/mpeg") == 0 && IsSystemStream(s)) {
            // An encoder card's program or transport stream: only a plug-in records it.
            continue;
        } else if (g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/")) {
            video = true;
        } else if (g_str_has_prefix(name, "audio/")) {
            audio = true;
        }
    }
    if (video) {
        return kKindVideo;
    }
    return audio ? kKindAudio : kKindNone;
}

} // namespace vidorel::devices

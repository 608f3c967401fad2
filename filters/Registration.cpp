#include "filters/Registration.h"

#include "filters/BaseClass.h"
#include "filters/zv_Controlunit.h"
#include "filters/zv_DVheader.h"
#include "filters/zv_dvtype1sink.h"
#include "filters/zv_resizer.h"
#include "filters/zv_scenedetect.h"
#include "filters/zv_superposer.h"
#include "filters/zv_timestamper.h"
#include "filters/zv_tsnormalizer.h"
#include "filters/zv_wavedest.h"
#include "platform/Version.h"

#include <atomic>
#include <mutex>

namespace vidorel {

bool RegisterAll(GstPlugin* plugin) {
    bool ok = true;
    // One line per own element (the media-engine work keeps this list; each filter group adds
    // its own lines).
    ok &= RegisterFilter<Tzv_TsNormalizer>(plugin);
    ok &= RegisterFilter<Tzv_SceneDetect>(plugin);
    ok &= RegisterFilter<Tzv_Superposer>(plugin);
    ok &= RegisterFilter<Tzv_DVheader>(plugin);
    ok &= RegisterFilter<Tzv_ControlFilter>(plugin);
    ok &= RegisterFilter<Tzv_TimeStamper>(plugin);
    ok &= RegisterDVType1Sink(plugin);
    ok &= RegisterFilter<TZV_Resizer>(plugin);
    ok &= RegisterFilter<Tzv_WaveDest>(plugin);
    return ok;
}

namespace {

std::atomic<bool> registered{false};

gboolean StaticPluginInit(GstPlugin* plugin) {
    const bool ok = RegisterAll(plugin);
    registered = ok;
    return ok ? TRUE : FALSE;
}

} // namespace

void RegisterVidorelElements() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "vidorel",
                                        "Vidorel's own elements", StaticPluginInit, VIDOREL_VERSION,
                                        "Proprietary", "vidorel", "Vidorel", "Marlott")) {
            GST_ERROR("registering the Vidorel elements failed");
        }
    });
}

bool VidorelElementsRegistered() {
    return registered;
}

} // namespace vidorel

#if defined(VIDOREL_BUILD_GST_PLUGIN)
// The loadable plug-in libgstvidorel.so: the same elements, for gst-launch-1.0.
static gboolean plugin_init(GstPlugin* plugin) {
    return vidorel::RegisterAll(plugin) ? TRUE : FALSE;
}

#define PACKAGE "vidorel"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vidorel, "Vidorel's own elements",
                  plugin_init, VIDOREL_VERSION, "Proprietary", "Vidorel", "Marlott")
#endif

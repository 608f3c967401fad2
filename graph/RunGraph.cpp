#include "graph/RunGraph.h"

#include "platform/SharedTypes.h"
#include "settings/Preferences.h"

namespace vidorel {

bool RunGraph(Tdm& dm) {
    try {
        const bool wav =
            prefs::CaptureFormat != nullptr && prefs::CaptureFormat->Value == CaptureFormat::Wav;
        if (dm.SeparateAudio || wav) {
            dm.fg().UseClockOf(dm.audiorender.Element());
        } else {
            dm.fg().UseDefaultClock();
        }
        return dm.fg().Run();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace vidorel

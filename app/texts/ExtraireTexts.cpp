#include "app/ExtraireFrame.h"

namespace vidorel {

const TTextTable& ExtraireTexts() {
    static const TTextTable table = {
        {"gbExtraire", "Grab images (F5)"},
        {"Image", nullptr, "Last grabbed image"},
        {"Bevel3", nullptr, "Last grabbed and saved image"},
        {"gbIntervallo", "Intervalometer",
         "Intervalometer for grabbing images at periodic time intervals."},
        {"chronoLab", nullptr, "Delay in seconds till the next snapshot."},
        {"RxSpinEdit7", nullptr, "Values for the time interval"},
        {"cbUnites",
         "seconds",
         "Units for the time interval",
         {"seconds", "frames", "minutes", "hours"}},
        {"RxSwitch1", nullptr, "Toggle intervalometer."},
        {"cbBeeps", "Beeps", "Enable sound  beeps, warning of an imminent image capture."},
        {"gbNextImage", "Next image"},
        {"destlabel", "destlabel",
         "Name of the file for the next grabbed picture.\r\n"
         "Click on it to change the folder."},
    };
    return table;
}

} // namespace vidorel

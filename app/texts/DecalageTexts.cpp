#include "app/FormTexts.h"

namespace vidorel {

const TTextTable& DecalageTexts() {
    static const TTextTable table = {
        {"gbCalcul", "Calculate the difference between two times"},
        {"gbDebut", "Original", "Date and time of the tape"},
        {"gbFin", "Fixed", "Fixed date and time"},
        {"LabResultat", nullptr, "Difference between fixed time and original time"},
        {"NowBtn", "Original",
         "Set the fixed date and time equal to the original.\r\n"
         "It is then convenient to add a time difference."},
        {"bbCancel", "Cancel", "Close this window without modification"},
        {"bbOK", "OK", "Apply the modification and close the window"},
    };
    return table;
}

} // namespace vidorel

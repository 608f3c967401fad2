#include "app/ProgrammerFrame.h"

namespace vidorel {

const TTextTable& ProgrammerTexts() {
    static const TTextTable table = {
        {"gbProgrammer", "Schedule (Alt+P)"},
        {"NowBtn", nullptr,
         "Set date and time of end equal to date and time of start.\r\n"
         "Makes it easy to add two hours or so"},
        {"RxClock2", nullptr, "real time from computer"},
        {"ProgBtn", "Schedule"},
        {"gbDebut", "Start", "Date and time of Start of scheduled capture"},
        {"gbFin", "End", "Date and time of End of scheduled capturet"},
        {"RxSpinEdit1", nullptr, "Set the hours in the start time of the scheduled capture."},
        {"RxSpinEdit2", nullptr, "Set the minutes in the start time of the scheduled capture."},
        {"RxSpinEdit3", nullptr, "Set the seconds in the start time of the scheduled capture."},
        {"DateEdit1", nullptr, "Set the Date of Start of the scheduled capture"},
        {"RxSpinEdit4", nullptr, "Set the hours in the end time of the scheduled capture."},
        {"RxSpinEdit5", nullptr, "Set the minutes in the end time of the scheduled capture."},
        {"RxSpinEdit6", nullptr, "Set the seconds in the end time of the scheduled capture."},
        {"DateEdit2", nullptr, "Set the date of the end of the scheduled capture."},
    };
    return table;
}

} // namespace vidorel

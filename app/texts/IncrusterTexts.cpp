#include "app/IncrusterFrame.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vidorel {

namespace {
constexpr const char* kDurationHint =
    "Duration (approximatively) in seconds for an automatic inlay.";
constexpr const char* kAdvancedHint =
    "Click to open the form for advanced fixing of time difference";
constexpr const char* kFontHint = "Choose the font of inlay. Caution: the default font\r\n"
                                  "in white color seems to give the best results.";
} // namespace

const TTextTable& IncrusterTexts() {
    // A dialog button shows "..." and is named by its hint (the second entry, without caption).
    static const TTextTable table = {
        {"gbIncruster", "Inlay (Alt+I)"},
        {"IncrusterBtn", "Inlay", "Start inlay"},
        {"rgMode",
         nullptr,
         "Choose automatic or manual inlays. \r\n"
         "In Automatic mode, if the video source is a DV device in VCR mode, \r\n"
         "then the inlay is enabled at each scene change,\r\n"
         "else there will be a unique inlay, or a daily repeated inlay, with the given "
         "duration.",
         {"Manual", "Auto"}},
        {"labDuree", "Duration in seconds", kDurationHint},
        {"RxSpinEdit1", nullptr, kDurationHint},
        {"gbDecalage", "Time difference",
         "You may change the DV datecode, if you have missed to set the summer time,\r\n"
         "or to fix a time difference."},
        {"RxDecalage", nullptr,
         "Add or substract some hours to the datecode beeing inlayed.\r\n"
         "Useful to fix a time difference or a summer/winter time change\r\n"
         "that was missed in the camera internal clock."},
        {"cbAvance", "Advanced", "If checked, you may change more than integer hours."},
        {"sbDecalageAvance", "..."},
        {"sbDecalageAvance", nullptr, kAdvancedHint},
        {"rgWhat",
         nullptr,
         "In DV mode you may choose between inlay of the actual time (indicated by the computer "
         "system)\r\n"
         "and inlay the datecode or the timecode, that is contained in DV frames.\r\n"
         "In other cases, only the actual time may be inlayed.",
         {"Real date"}},
        {"labFormat1", "Format date 1"},
        {"edFormat1", nullptr,
         "Format for inlaying the datecode into the video\r\n"
         "for example ddddd  to put the date. A line may be kept empty or contain text."},
        {"labFormat2", "Format date 2"},
        {"edFormat2", nullptr,
         "Format for inlaying the datecode into the video\r\n"
         "for example  tt to set standard time."},
        {"labFont", "Font", kFontHint},
        {"SpeedButton4", "..."},
        {"SpeedButton4", nullptr, kFontHint},
        {"cbAutoFontSize", "Automatic size",
         "If checked, the size of the inlay will be set automatically\r\n"
         "according to the video image size (Recommended)."},
        {"rgAlign",
         "Alignment",
         "Alignment of the two inlayed lines.",
         {"Left", "Centered", "Right"}},
        {"rgWhen",
         nullptr,
         "Inlay may be set automatically to display once, \r\n"
         " at each new scene or each new day.",
         {"Unique", "Scene"}},
    };
    return table;
}

std::vector<QString> InlayWhatItems(bool isDV) {
    std::vector<QString> items{QStringLiteral("Real date and time")};
    if (isDV) {
        items.push_back(QStringLiteral("DV datecode"));
        items.push_back(QStringLiteral("Timecode"));
    }
    return items;
}

std::vector<QString> InlayWhenItems(bool isDV) {
    std::vector<QString> items{QStringLiteral("Unique"), QStringLiteral("Daily")};
    if (isDV) {
        items.push_back(QStringLiteral("Scene"));
    }
    return items;
}

std::string TimeDifferenceText(double days) {
    // Round half to even, like the rest of the program.
    const auto s = static_cast<int64_t>(std::nearbyint(days * 86400.0));
    char text[96];
    std::snprintf(text, sizeof text, "%lld days %lldh %lldm %llds",
                  static_cast<long long>(s / 86400), static_cast<long long>(s / 3600 % 24),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return text;
}

} // namespace vidorel

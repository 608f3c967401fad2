// vidorel-capture: the headless side of the program. `--list` prints the selectable streams
// exactly as the main window lists them (minus the excluded sources), one line each.

#include "devices/DeviceMonitor.h"
#include "devices/VirtualDevices.h"
#include "settings/Preferences.h"
#include "sources/CaptureSources.h"

#include <gst/gst.h>

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int List() {
    using namespace vidorel;
    CreatePreferenceList();
    CreatePreferences();
    // The list works on defaults; the user hears once why the preferences were not used.
    if (const std::string problem = PreferenceStoreProblem(); !problem.empty()) {
        std::fprintf(stderr, "vidorel-capture: %s\n", problem.c_str());
    }
    TSourceLists lists;
    lists.Exclusions = LoadExclusions(prefs::SourcesExclues->Value);
    devices::TDeviceMonitor monitor;
    std::string error;
    if (!monitor.Start(&error)) {
        std::fprintf(stderr, "vidorel-capture: %s\n", error.c_str());
        return 2;
    }
    if (!RefreshSourceLists(lists, monitor)) {
        std::fprintf(stderr, "vidorel-capture: Impossible to load the Video sources\n");
        return 2;
    }
    for (const auto& s : lists.VideoStreams) {
        std::printf("video: %s\n", s->DisplayName.c_str());
    }
    for (const auto& s : lists.AudioStreams) {
        std::printf("audio: %s\n", s->DisplayName.c_str());
    }
    if (std::fflush(stdout) != 0) {
        return 2;
    }
    // A list cut short for want of a resource must not pass for a complete one.
    if (const std::string problem = devices::TapeScanProblem(); !problem.empty()) {
        std::fprintf(stderr, "vidorel-capture: %s\n", problem.c_str());
        return 2;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        return List();
    }
    std::fprintf(stderr, "usage: vidorel-capture --list\n");
    return 1;
}

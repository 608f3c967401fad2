// vidorel-capture: the program's engine without its window, for scripts, for converting DV
// files and for end-to-end checks. `--list` prints the selectable streams exactly as the main
// window lists them (minus the excluded sources) and the formats they allow; the other forms
// record, or make an interrupted capture readable again.

#include "app/CaptureCommand.h"
#include "files/CaptureRepair.h"
#include "platform/Version.h"

#include <gst/gst.h>

#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: vidorel-capture --list\n"
    "       vidorel-capture [--video NAME|none] [--audio NAME|none] [--dv-file PATH]\n"
    "                       --format NAME [--seconds S] [--output PATH] [--scn] [--fast]\n"
    "                       [--cut-every S] [--split-scenes]\n"
    "       vidorel-capture --repair FILE\n";

constexpr const char* kHelp =
    "Records video and sound from the capture sources without the window.\n"
    "\n"
    "  --list               the sources (video: NAME, audio: NAME), then the formats the\n"
    "                       stored (or first) pair can record (format: NAME)\n"
    "  --video NAME|none    the video stream (default: the stored one, else the first)\n"
    "  --audio NAME|none    the audio stream (default: the stored one, else the first)\n"
    "  --dv-file PATH       a raw DV file played from its start as the tape of a DV deck\n"
    "                       (video and audio from it); the run ends at the end of the tape\n"
    "  --format NAME        the capture format, by its long name (see --list)\n"
    "  --seconds S          stop after S seconds (of recorded video with --fast)\n"
    "  --output PATH        the file to write; pieces after the first are PATH-2, PATH-3...\n"
    "                       (default: named from the Folders preferences)\n"
    "  --scn                write the scene index (.scn) of a DV capture\n"
    "  --fast               play the DV file as fast as the capture takes it\n"
    "  --cut-every S        go on in a new file after every S seconds of recorded video\n"
    "  --split-scenes       go on in a new file at each new DV recording\n"
    "  --repair FILE        make a capture interrupted by a crash or a power cut readable\n"
    "                       again (a backup FILE.bak is written first)\n"
    "\n"
    "While recording, SIGINT or SIGTERM finish the files cleanly; in the Image/image format\n"
    "SIGUSR1 puts the current picture into the file. At the end one line \"wrote PATH\" is\n"
    "printed per file written.\n";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("%s\n%s", kUsage, kHelp);
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("vidorel-capture %s\n", VIDOREL_VERSION);
        return 0;
    }
    if (args.size() == 2 && args[0] == "--repair") {
        return vidorel::RunRepair(args[1], stdout, stderr);
    }
    // The inlay draws its text with the GUI library, off any screen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    if (args.size() == 1 && args[0] == "--list") {
        return vidorel::RunListCommand();
    }
    vidorel::TCaptureOptions options;
    std::string why;
    if (args.empty() || !vidorel::ParseCaptureOptions(args, options, &why)) {
        if (!why.empty()) {
            std::fprintf(stderr, "vidorel-capture: %s\n", why.c_str());
        }
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    return vidorel::RunCaptureCommand(options);
}

// Program entry: the media framework gate, then the main window and the data module.

#include "app/CaptureForm.h"
#include "app/QtUserPrompt.h"
#include "app/StartGate.h"
#include "app/StartupTrace.h"
#include "app/TerminationSignals.h"
#include "graph/AVgraph.h"
#include "graph/DSFunctions.h"
#include "platform/Version.h"
#include "settings/Preferences.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <memory>

#include <gst/gst.h>

namespace {

constexpr const char* kHelp =
    "usage: vidorel [--help] [--version] [Qt and GStreamer options]\n"
    "\n"
    "Previews and records video and sound from DV camcorders on FireWire, capture cards,\n"
    "webcams and sound inputs; virtual devices (a test pattern, a test tone, a DV test deck)\n"
    "stand in where there are none. Everything else is done in the window: F1 shows its\n"
    "keys.\n"
    "\n"
    "  --help      this text\n"
    "  --version   the version\n"
    "\n"
    "GStreamer's options (--gst-debug=..., see gst-launch-1.0 --help-gst) and Qt's\n"
    "(-platform NAME, ...) are accepted. The preferences are kept in\n"
    "$XDG_CONFIG_HOME/vidorel/registry.reg (~/.config/vidorel/registry.reg).\n"
    "See also vidorel-capture(1) for recording without the window, and vidorel-dvinfo(1).\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before any display or media framework is touched: they work on a console.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s", kHelp);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vidorel %s\n", VIDOREL_VERSION);
            return 0;
        }
    }
    vidorel::MarkProgramStart();
    gst_init(&argc, &argv);
    // The codec plug-ins load while the window comes up.
    vidorel::StartPluginPreload();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(vidorel::kProductName));
    // The desktop entry's name: Wayland compositors and task bars find the icon through it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vidorel.Vidorel"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.vidorel.Vidorel")));

    vidorel::QtUserPrompt prompt;
    if (!vidorel::PassStartGate(prompt, vidorel::MediaFrameworkMajorVersion(),
                                vidorel::MediaFrameworkMinorVersion(),
                                vidorel::MediaFrameworkVersionText())) {
        return 0;
    }

    // The engine is declared first so that it is destroyed last, after the window and
    // everything the window owns (devices, streams) that still refers to its graph. It is
    // created after the window: nothing the window does while it is created may touch the
    // graph.
    std::unique_ptr<vidorel::Tdm> dm;
    vidorel::TCaptureForm form;
    dm = std::make_unique<vidorel::Tdm>();
    form.SetDataModule(dm.get());
    vidorel::CloseOnTerminationSignals(&form);
    form.show();
    vidorel::TraceStartup("window shown");
    vidorel::TLoopWatch watch(6000);
    const int rc = app.exec();
    // The preview goes before the engine and its graph (a no-op when the user closed it).
    form.close();
    return rc;
}

// Program entry: the media framework gate, then the main window and the data module.

#include "app/CaptureForm.h"
#include "app/QtUserPrompt.h"
#include "app/StartGate.h"
#include "graph/AVgraph.h"
#include "settings/Preferences.h"

#include <QApplication>

#include <gst/gst.h>

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(vidorel::kProductName));

    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    vidorel::QtUserPrompt prompt;
    const std::string versionText =
        std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
    if (!vidorel::PassStartGate(prompt, static_cast<int>(major), static_cast<int>(minor),
                                versionText)) {
        return 0;
    }

    // The window first, then the data module: nothing the window does while it is created may
    // touch the graph.
    vidorel::TCaptureForm form;
    vidorel::Tdm dm;
    form.show();
    return app.exec();
}

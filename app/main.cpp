// Program entry: the media framework gate, then the main window and the data module.

#include "app/CaptureForm.h"
#include "app/QtUserPrompt.h"
#include "app/StartGate.h"
#include "app/TerminationSignals.h"
#include "graph/AVgraph.h"
#include "graph/DSFunctions.h"
#include "settings/Preferences.h"

#include <QApplication>

#include <gst/gst.h>

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(vidorel::kProductName));

    vidorel::QtUserPrompt prompt;
    if (!vidorel::PassStartGate(prompt, vidorel::MediaFrameworkMajorVersion(),
                                vidorel::MediaFrameworkMinorVersion(),
                                vidorel::MediaFrameworkVersionText())) {
        return 0;
    }

    // The window first, then the data module: nothing the window does while it is created may
    // touch the graph.
    vidorel::TCaptureForm form;
    vidorel::Tdm dm;
    form.SetDataModule(&dm);
    vidorel::CloseOnTerminationSignals(&form);
    form.show();
    const int rc = app.exec();
    // The preview goes before the data module and its graph (a no-op when the user closed it).
    form.close();
    return rc;
}

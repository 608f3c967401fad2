// Program entry: the media framework gate, then the main window and the data module.

#include "app/CaptureForm.h"
#include "app/QtUserPrompt.h"
#include "app/StartGate.h"
#include "app/StartupTrace.h"
#include "app/TerminationSignals.h"
#include "graph/AVgraph.h"
#include "graph/DSFunctions.h"
#include "settings/Preferences.h"

#include <QApplication>

#include <memory>

#include <gst/gst.h>

int main(int argc, char** argv) {
    vidorel::MarkProgramStart();
    gst_init(&argc, &argv);
    // The codec plug-ins load while the window comes up.
    vidorel::StartPluginPreload();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(vidorel::kProductName));

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

#pragma once

#include <QApplication>

namespace vidorel::test {

// The one application object of a window test executable (offscreen, set up by the test main).
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "vidorel-tests";
    static char* argv[] = {name, nullptr};
    // Left alive at exit: destroyed among the statics, it takes down the input devices that
    // QTest's mouse clicks register after Qt's own device list is gone, and the process crashes.
    static auto* app = new QApplication(argc, argv);
    return *app;
}

} // namespace vidorel::test

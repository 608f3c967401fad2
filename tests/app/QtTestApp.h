#pragma once

#include <QApplication>

namespace vidorel::test {

// The one application object of a window test executable (offscreen, set up by the test main).
// Never destroyed: the input devices that simulated clicks create would otherwise be torn down
// after the application at exit.
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "vidorel-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace vidorel::test

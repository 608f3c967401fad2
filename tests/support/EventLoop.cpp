#include "tests/support/EventLoop.h"

#include <QCoreApplication>

#include <thread>

namespace vidorel::test {

void EnsureCoreApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "vidorel-test";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > end) {
            return done();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void Spin(std::chrono::milliseconds duration) {
    SpinUntil([] { return false; }, duration);
}

} // namespace vidorel::test

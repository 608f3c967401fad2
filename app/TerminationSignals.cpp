#include "app/TerminationSignals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vidorel {

namespace {

// Written by the signal handler, read by the notifier on the UI thread (the self-pipe: nothing
// but write() is safe inside a handler).
int gSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t gSignalled = 0;

void OnSignal(int sig) {
    if (gSignalled) {
        // The orderly close did not end the program: stop waiting for it.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    gSignalled = 1;
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

} // namespace

void CloseOnTerminationSignals(QWidget* window) {
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        while (::read(gSignalPipe[0], &byte, 1) > 0) {
        }
        window->close();
    });
    struct sigaction sa {};
    sa.sa_handler = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace vidorel

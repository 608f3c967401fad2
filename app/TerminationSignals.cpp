#include "app/TerminationSignals.h"

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace vidorel {

namespace {

// Written by the signal handler, read by the notifier on the UI thread (the self-pipe: nothing
// but write() is safe inside a handler).
int gSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t gSignalled = 0;
// Monotonic second of the first signal.
volatile std::sig_atomic_t gFirstSecond = 0;

std::sig_atomic_t MonotonicSecond() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now); // async-signal-safe
    return static_cast<std::sig_atomic_t>(now.tv_sec);
}

void OnSignal(int sig) {
    if (gSignalled) {
        // Terminals, `timeout` and service managers often send the signal twice in a row:
        // while the orderly close (which stores the preferences) has its time, a repeat is
        // ignored. Only a close that takes longer than that is cut short by the next one.
        if (MonotonicSecond() - gFirstSecond < kTerminationGraceSeconds) {
            return;
        }
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    gFirstSecond = MonotonicSecond();
    gSignalled = 1;
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

} // namespace

void OnTerminationSignals(QObject* context, std::function<void()> then) {
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [then = std::move(then)] {
        char byte;
        while (::read(gSignalPipe[0], &byte, 1) > 0) {
        }
        then();
    });
    struct sigaction sa {};
    sa.sa_handler = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void CloseOnTerminationSignals(QWidget* window) {
    // QWidget::close by name: this file serves programs without widgets too.
    auto* object = reinterpret_cast<QObject*>(window);
    OnTerminationSignals(object, [object] { QMetaObject::invokeMethod(object, "close"); });
}

} // namespace vidorel

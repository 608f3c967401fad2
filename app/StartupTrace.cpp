#include "app/StartupTrace.h"

#include <QElapsedTimer>
#include <QTimerEvent>

Q_LOGGING_CATEGORY(lcStartup, "vidorel.startup", QtWarningMsg)

namespace vidorel {

namespace {

QElapsedTimer& Clock() {
    static QElapsedTimer clock;
    return clock;
}

} // namespace

void MarkProgramStart() {
    Clock().start();
}

qint64 SinceProgramStart() {
    return Clock().isValid() ? Clock().elapsed() : 0;
}

void TraceStartup(const char* what) {
    qCInfo(lcStartup, "%lld ms: %s", static_cast<long long>(SinceProgramStart()), what);
}

TLoopWatch::TLoopWatch(int windowMs, QObject* parent) : QObject(parent) {
    if (!lcStartup().isInfoEnabled()) {
        return;
    }
    last_ = SinceProgramStart();
    end_ = last_ + windowMs;
    // A precise timer every 5 ms: a turn that comes late shows how long the loop was busy.
    timer_ = startTimer(5, Qt::PreciseTimer);
}

void TLoopWatch::timerEvent(QTimerEvent* e) {
    if (e->timerId() != timer_) {
        return;
    }
    const qint64 now = SinceProgramStart();
    if (now - last_ > 20) {
        qCDebug(lcStartup, "%lld ms: the event loop did not turn for %lld ms",
                static_cast<long long>(now), static_cast<long long>(now - last_));
    }
    if (now - last_ > longest_) {
        longest_ = now - last_;
        longestAt_ = last_;
    }
    last_ = now;
    if (now >= end_) {
        killTimer(timer_);
        timer_ = 0;
        qCInfo(lcStartup,
               "%lld ms: longest time without an event-loop turn: %lld ms (from %lld ms)",
               static_cast<long long>(now), static_cast<long long>(longest_),
               static_cast<long long>(longestAt_));
    }
}

} // namespace vidorel

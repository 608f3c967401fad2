#pragma once

// What the program's start costs, for the people who measure it: with
// QT_LOGGING_RULES="vidorel.startup=true" the program logs, in milliseconds since it started,
// when the window shows, when the devices are listed, when each source is selected and when
// the first picture is painted, and afterwards the longest time the event loop went without
// turning (the window not answering) during the first seconds.

#include <QLoggingCategory>
#include <QObject>

Q_DECLARE_LOGGING_CATEGORY(lcStartup)

namespace vidorel {

// Marks the program's start (first thing in main).
void MarkProgramStart();
// Milliseconds since MarkProgramStart.
qint64 SinceProgramStart();
// Logs "<ms> ms: <what>" when the category is on.
void TraceStartup(const char* what);

// Measures the longest gap between turns of the event loop of the thread it lives on, over
// `window` milliseconds from its construction, and logs it at the end. Does nothing unless the
// category is on.
class TLoopWatch : public QObject {
public:
    explicit TLoopWatch(int windowMs, QObject* parent = nullptr);
    qint64 LongestGapMs() const { return longest_; }

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    int timer_ = 0;
    qint64 end_ = 0;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    qint64 longestAt_ = 0;
};

} // namespace vidorel

#pragma once

// The schedule's rules, without widgets: whether a start and an end can be armed now, and the
// alarm that fires once when the clock reaches the armed date and time.
//
// The alarm compares whole date-times: a start set for tomorrow at 10:00 fires tomorrow, and
// a window that did not answer for a while fires late rather than a day early or never.

#include <QDateTime>

namespace vidorel {

enum class TScheduleCheck {
    Ok,
    EndInPast,        // the end is already over
    EndNotAfterStart, // nothing would be recorded
    StartInPast,      // the start is over but the end is not: start now?
};
TScheduleCheck CheckSchedule(const QDateTime& now, const QDateTime& start, const QDateTime& end);

// Whether an end can still be armed: the end date is today or later.
bool EndDateUsable(const QDateTime& now, const QDateTime& end);

class TScheduleAlarm {
public:
    enum class TTarget { None, Start, End };

    void Arm(const QDateTime& when, TTarget target);
    void Disarm();
    // Moves an armed alarm (a field edited while armed).
    void Move(const QDateTime& when);
    bool Armed() const { return target_ != TTarget::None; }
    TTarget Target() const { return target_; }
    const QDateTime& When() const { return when_; }
    // Called about once a second with the clock's time: the target once, when `now` has
    // reached the armed time (the alarm is then disarmed); None otherwise.
    TTarget Tick(const QDateTime& now);

private:
    QDateTime when_;
    TTarget target_ = TTarget::None;
};

} // namespace vidorel

#include "app/Schedule.h"

namespace vidorel {

TScheduleCheck CheckSchedule(const QDateTime& now, const QDateTime& start, const QDateTime& end) {
    if (now > end) {
        return TScheduleCheck::EndInPast;
    }
    if (end <= start) {
        return TScheduleCheck::EndNotAfterStart;
    }
    if (now > start) {
        return TScheduleCheck::StartInPast;
    }
    return TScheduleCheck::Ok;
}

bool EndDateUsable(const QDateTime& now, const QDateTime& end) {
    return end.date() >= now.date() && end > now;
}

void TScheduleAlarm::Arm(const QDateTime& when, TTarget target) {
    when_ = when;
    target_ = target;
}

void TScheduleAlarm::Disarm() {
    target_ = TTarget::None;
}

void TScheduleAlarm::Move(const QDateTime& when) {
    if (Armed()) {
        when_ = when;
    }
}

TScheduleAlarm::TTarget TScheduleAlarm::Tick(const QDateTime& now) {
    if (target_ == TTarget::None || now < when_) {
        return TTarget::None;
    }
    const TTarget fired = target_;
    target_ = TTarget::None;
    return fired;
}

} // namespace vidorel

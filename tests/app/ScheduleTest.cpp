// The schedule's rules on fixed clocks.
#include "app/Schedule.h"

#include <gtest/gtest.h>

using namespace vidorel;

namespace {
QDateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}
} // namespace

TEST(Schedule, checksStartAndEndAsWholeDateTimes) {
    const QDateTime now = At(2026, 12, 9, 9, 0);
    EXPECT_EQ(CheckSchedule(now, At(2026, 12, 9, 9, 1), At(2026, 12, 9, 9, 31)),
              TScheduleCheck::Ok);
    // Tomorrow at 10:00 is in the future even though 10:00 today is too.
    EXPECT_EQ(CheckSchedule(now, At(2026, 12, 10, 10, 0), At(2026, 12, 10, 11, 0)),
              TScheduleCheck::Ok);
    // 08:00 tomorrow is in the future although 08:00 is before 09:00.
    EXPECT_EQ(CheckSchedule(now, At(2026, 12, 10, 8, 0), At(2026, 12, 10, 8, 30)),
              TScheduleCheck::Ok);
    EXPECT_EQ(CheckSchedule(now, At(2026, 12, 9, 8, 0), At(2026, 12, 9, 8, 59, 59)),
              TScheduleCheck::EndInPast);
    EXPECT_EQ(CheckSchedule(now, At(2026, 12, 9, 8, 0), At(2026, 12, 9, 10, 0)),
              TScheduleCheck::StartInPast);
    // An end at the start, or before it, records nothing.
    EXPECT_EQ(CheckSchedule(now, At(2026, 12, 9, 10, 0), At(2026, 12, 9, 10, 0)),
              TScheduleCheck::EndNotAfterStart);
    EXPECT_EQ(CheckSchedule(now, At(2026, 12, 9, 10, 0), At(2026, 12, 9, 9, 30)),
              TScheduleCheck::EndNotAfterStart);
    // Exactly now is not the past.
    EXPECT_EQ(CheckSchedule(now, now, At(2026, 12, 9, 9, 10)), TScheduleCheck::Ok);
}

TEST(Schedule, anEndDateBeforeTodayCannotBeArmed) {
    const QDateTime now = At(2026, 12, 9, 9, 0);
    EXPECT_TRUE(EndDateUsable(now, At(2026, 12, 9, 9, 30)));
    EXPECT_FALSE(EndDateUsable(now, At(2026, 12, 8, 23, 59)));
    EXPECT_FALSE(EndDateUsable(now, At(2026, 12, 9, 8, 0)));
    EXPECT_TRUE(EndDateUsable(now, At(2026, 12, 10, 0, 5)));
}

TEST(Schedule, theAlarmFiresOnceWhenTheClockReachesItsDateAndTime) {
    TScheduleAlarm alarm;
    EXPECT_EQ(alarm.Tick(At(2026, 12, 9, 9, 0)), TScheduleAlarm::TTarget::None);
    alarm.Arm(At(2026, 12, 10, 10, 0), TScheduleAlarm::TTarget::Start);
    // 10:00 today is not tomorrow's 10:00.
    EXPECT_EQ(alarm.Tick(At(2026, 12, 9, 10, 0)), TScheduleAlarm::TTarget::None);
    EXPECT_EQ(alarm.Tick(At(2026, 12, 10, 9, 59, 59)), TScheduleAlarm::TTarget::None);
    EXPECT_EQ(alarm.Tick(At(2026, 12, 10, 10, 0)), TScheduleAlarm::TTarget::Start);
    EXPECT_FALSE(alarm.Armed());
    EXPECT_EQ(alarm.Tick(At(2026, 12, 10, 10, 0, 1)), TScheduleAlarm::TTarget::None);
    // Across midnight: armed at 23:50 for 00:05 the next day.
    alarm.Arm(At(2026, 12, 10, 0, 5), TScheduleAlarm::TTarget::End);
    EXPECT_EQ(alarm.Tick(At(2026, 12, 9, 23, 50)), TScheduleAlarm::TTarget::None);
    EXPECT_EQ(alarm.Tick(At(2026, 12, 10, 0, 4, 59)), TScheduleAlarm::TTarget::None);
    // A stalled window that ticks late still fires, once.
    EXPECT_EQ(alarm.Tick(At(2026, 12, 10, 0, 7, 30)), TScheduleAlarm::TTarget::End);
    // Moving an armed alarm, and a disarmed one stays disarmed.
    alarm.Arm(At(2026, 12, 9, 12, 0), TScheduleAlarm::TTarget::Start);
    alarm.Move(At(2026, 12, 9, 12, 30));
    EXPECT_EQ(alarm.Tick(At(2026, 12, 9, 12, 10)), TScheduleAlarm::TTarget::None);
    alarm.Disarm();
    alarm.Move(At(2026, 12, 9, 12, 0));
    EXPECT_EQ(alarm.Tick(At(2026, 12, 9, 13, 0)), TScheduleAlarm::TTarget::None);
}

#pragma once

// Date-times as day counts: days since 1899-12-30 with the time of day as the fraction, the form
// in which preferences, scene records and the inlay exchange them. One formatter renders them
// for every text the program shows or inlays.

#include <QDateTime>
#include <QLocale>

#include <cstdint>
#include <string>

namespace vidorel {

using TDateTime = double;

constexpr double kMillisecondsPerDay = 86400000.0;

// Round half to even (banker's rounding), as every count and position of the program rounds.
int64_t Round(double v);
// Drops the fraction.
int64_t Trunc(double v);

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int ms = 0);
// False (and `out` untouched) when the fields do not make a real date and time.
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms,
                       TDateTime& out);
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int ms = 0);

struct DecodedDateTime {
    int year, month, day, hour, minute, second, ms;
    int dayOfWeek; // 1 = Monday .. 7 = Sunday
};
DecodedDateTime DecodeDateTime(TDateTime dt);

TDateTime FromQDateTime(const QDateTime& qdt);
QDateTime ToQDateTime(TDateTime dt);
TDateTime Now();

// Renders `dt` with the format language: "d" "dd" day, "ddd" "dddd" short and long day name,
// "ddddd" "dddddd" the locale's short and long date, "m" "mm" month (minutes right after an
// hour), "mmm" "mmmm" month names, "yy" "yyyy" year, "h" "hh" hour, "n" "nn" minutes, "s" "ss"
// seconds, "t" "tt" the locale's short and long time, "/" and ":" the locale's separators,
// text in double or single quotes copied. Anything else is copied as it stands.
std::string FormatDateTime(const std::string& format, TDateTime dt,
                           const QLocale& locale = QLocale());

// The locale's date and time separators ("/" and ":" in the C locale).
QString DateSeparator(const QLocale& locale);
QString TimeSeparator(const QLocale& locale);

} // namespace vidorel

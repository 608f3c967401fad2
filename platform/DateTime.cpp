#include "platform/DateTime.h"

#include <algorithm>
#include <cmath>

namespace vidorel {

namespace {

// Julian day of 1899-12-30; a plain constant, so day counts work during static initialisation.
constexpr qint64 kEpochJulianDay = 2415019;

QString separatorIn(const QString& format, const QString& fallback) {
    for (QChar c : format) {
        if (!c.isLetter() && c != QChar(' ') && c != QChar('\'')) {
            return QString(c);
        }
    }
    return fallback;
}

// The locale's time format without the time-zone field, which a day count does not carry.
QString timeFormat(const QLocale& locale, QLocale::FormatType type) {
    QString f = locale.timeFormat(type);
    f.remove(QChar('t'));
    return f.trimmed();
}

} // namespace

int64_t Round(double v) {
    return static_cast<int64_t>(std::nearbyint(v));
}

int64_t Trunc(double v) {
    return static_cast<int64_t>(std::trunc(v));
}

bool IsValidDate(int year, int month, int day) {
    return QDate::isValid(year, month, day);
}

bool IsValidTime(int hour, int minute, int second, int ms) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           ms >= 0 && ms < 1000;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms,
                       TDateTime& out) {
    if (!IsValidDate(year, month, day) || !IsValidTime(hour, minute, second, ms)) {
        return false;
    }
    out = EncodeDate(year, month, day) + EncodeTime(hour, minute, second, ms);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    return static_cast<double>(QDate(year, month, day).toJulianDay() - kEpochJulianDay);
}

TDateTime EncodeTime(int hour, int minute, int second, int ms) {
    return ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + ms) / kMillisecondsPerDay;
}

DecodedDateTime DecodeDateTime(TDateTime dt) {
    // Whole milliseconds first, so 23:59:59.9996 does not print as second 60.
    const int64_t totalMs = Round(dt * kMillisecondsPerDay);
    int64_t days = totalMs / 86400000;
    int64_t msOfDay = totalMs % 86400000;
    if (msOfDay < 0) {
        // Before the epoch the fraction still counts forward from midnight.
        msOfDay = -msOfDay;
    }
    const QDate d = QDate::fromJulianDay(kEpochJulianDay + days);
    DecodedDateTime r{};
    r.year = d.year();
    r.month = d.month();
    r.day = d.day();
    r.dayOfWeek = d.dayOfWeek();
    r.hour = static_cast<int>(msOfDay / 3600000);
    r.minute = static_cast<int>(msOfDay / 60000 % 60);
    r.second = static_cast<int>(msOfDay / 1000 % 60);
    r.ms = static_cast<int>(msOfDay % 1000);
    return r;
}

TDateTime FromQDateTime(const QDateTime& qdt) {
    const QTime t = qdt.time();
    return static_cast<double>(qdt.date().toJulianDay() - kEpochJulianDay) +
           EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
}

QDateTime ToQDateTime(TDateTime dt) {
    const DecodedDateTime d = DecodeDateTime(dt);
    return QDateTime(QDate(d.year, d.month, d.day), QTime(d.hour, d.minute, d.second, d.ms));
}

TDateTime Now() {
    return FromQDateTime(QDateTime::currentDateTime());
}

QString DateSeparator(const QLocale& locale) {
    return separatorIn(locale.dateFormat(QLocale::ShortFormat), QStringLiteral("/"));
}

QString TimeSeparator(const QLocale& locale) {
    return separatorIn(locale.timeFormat(QLocale::ShortFormat), QStringLiteral(":"));
}

std::string FormatDateTime(const std::string& format, TDateTime dt, const QLocale& locale) {
    const DecodedDateTime d = DecodeDateTime(dt);
    const QDateTime qdt = ToQDateTime(dt);
    const QString fmt = QString::fromStdString(format);
    QString out;
    bool lastWasHour = false;
    const auto twoDigits = [](int v) { return QString::number(v).rightJustified(2, QChar('0')); };

    for (qsizetype i = 0; i < fmt.size();) {
        const QChar c = fmt[i];
        if (c == QChar('"') || c == QChar('\'')) {
            const qsizetype close = fmt.indexOf(c, i + 1);
            const qsizetype end = close < 0 ? fmt.size() : close;
            out += fmt.mid(i + 1, end - i - 1);
            i = close < 0 ? fmt.size() : close + 1;
            continue;
        }
        const QChar lc = c.toLower();
        qsizetype run = 1;
        while (i + run < fmt.size() && fmt[i + run].toLower() == lc) {
            ++run;
        }
        bool isHour = false;
        bool consumed = true;
        if (lc == QChar('d')) {
            run = std::min<qsizetype>(run, 6);
            switch (run) {
            case 1:
                out += QString::number(d.day);
                break;
            case 2:
                out += twoDigits(d.day);
                break;
            case 3:
                out += locale.dayName(d.dayOfWeek, QLocale::ShortFormat);
                break;
            case 4:
                out += locale.dayName(d.dayOfWeek, QLocale::LongFormat);
                break;
            case 5:
                out += locale.toString(qdt.date(), QLocale::ShortFormat);
                break;
            default:
                out += locale.toString(qdt.date(), QLocale::LongFormat);
                break;
            }
        } else if (lc == QChar('m')) {
            run = std::min<qsizetype>(run, 4);
            if (run <= 2 && lastWasHour) {
                out += run == 1 ? QString::number(d.minute) : twoDigits(d.minute);
            } else if (run == 1) {
                out += QString::number(d.month);
            } else if (run == 2) {
                out += twoDigits(d.month);
            } else if (run == 3) {
                out += locale.monthName(d.month, QLocale::ShortFormat);
            } else {
                out += locale.monthName(d.month, QLocale::LongFormat);
            }
        } else if (lc == QChar('y')) {
            if (run <= 2) {
                out += twoDigits(d.year % 100);
            } else {
                out += QString::number(d.year).rightJustified(4, QChar('0'));
            }
        } else if (lc == QChar('h')) {
            run = std::min<qsizetype>(run, 2);
            out += run == 1 ? QString::number(d.hour) : twoDigits(d.hour);
            isHour = true;
        } else if (lc == QChar('n')) {
            run = std::min<qsizetype>(run, 2);
            out += run == 1 ? QString::number(d.minute) : twoDigits(d.minute);
        } else if (lc == QChar('s')) {
            run = std::min<qsizetype>(run, 2);
            out += run == 1 ? QString::number(d.second) : twoDigits(d.second);
        } else if (lc == QChar('t')) {
            run = std::min<qsizetype>(run, 2);
            const QTime t(d.hour, d.minute, d.second);
            out += locale.toString(
                t, timeFormat(locale, run == 1 ? QLocale::ShortFormat : QLocale::LongFormat));
        } else if (c == QChar('/')) {
            run = 1;
            out += DateSeparator(locale);
        } else if (c == QChar(':')) {
            run = 1;
            out += TimeSeparator(locale);
            // "hh:mm" keeps meaning minutes across the separator
            isHour = lastWasHour;
        } else {
            consumed = false;
        }
        if (!consumed) {
            out += c;
            run = 1;
            // separators between an hour and "m" keep the minute meaning
            isHour = lastWasHour && !c.isLetter();
        }
        lastWasHour = isHour;
        i += run;
    }
    return out.toStdString();
}

} // namespace vidorel

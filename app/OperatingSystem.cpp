#include "app/OperatingSystem.h"

#include <QFile>

#include <sys/utsname.h>

namespace vidorel {

namespace {

// One value as a shell would read it: single quotes keep everything, double quotes let a
// backslash escape $ ` " \ only, outside quotes a backslash escapes any character and a blank
// ends the value.
QString Unquote(QStringView raw) {
    QString value;
    enum class Quote { None, Single, Double } quote = Quote::None;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        switch (quote) {
        case Quote::Single:
            if (c == QLatin1Char('\'')) {
                quote = Quote::None;
            } else {
                value += c;
            }
            break;
        case Quote::Double:
            if (c == QLatin1Char('"')) {
                quote = Quote::None;
            } else if (c == QLatin1Char('\\') && i + 1 < raw.size() &&
                       QStringView(u"$`\"\\").contains(raw[i + 1])) {
                value += raw[++i];
            } else {
                value += c;
            }
            break;
        case Quote::None:
            if (c == QLatin1Char('\'')) {
                quote = Quote::Single;
            } else if (c == QLatin1Char('"')) {
                quote = Quote::Double;
            } else if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
                value += raw[++i];
            } else if (c.isSpace()) {
                return value; // an unquoted blank ends the value (a comment may follow)
            } else {
                value += c;
            }
            break;
        }
    }
    return value;
}

std::optional<QString> ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace

std::map<QString, QString> ParseOsRelease(const QString& text) {
    std::map<QString, QString> values;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            continue;
        }
        const QString key = line.first(eq).trimmed().toString();
        values[key] = Unquote(line.sliced(eq + 1).trimmed());
    }
    return values;
}

QString OperatingSystemNameFrom(const std::optional<QString>& osRelease,
                                const std::optional<TKernelInfo>& kernel) {
    if (!osRelease && !kernel) {
        return QStringLiteral("Unknown");
    }
    QString name;
    if (osRelease) {
        const auto values = ParseOsRelease(*osRelease);
        const auto value = [&](const char* key) {
            const auto it = values.find(QString::fromLatin1(key));
            return it == values.end() ? QString() : it->second;
        };
        name = value("PRETTY_NAME");
        if (name.isEmpty()) {
            name = value("NAME");
            const QString version = value("VERSION");
            if (!name.isEmpty() && !version.isEmpty()) {
                name += QLatin1Char(' ') + version;
            }
        }
    }
    if (name.isEmpty() && kernel) {
        name = kernel->sysname;
    }
    if (name.isEmpty()) {
        name = QStringLiteral("Linux");
    }
    if (kernel && !kernel->release.isEmpty()) {
        name += QStringLiteral(" - kernel ") + kernel->release;
    }
    return name;
}

QString OperatingSystemName() {
    // The os-release convention: /etc first, the vendor's copy in /usr/lib otherwise.
    std::optional<QString> osRelease = ReadFile(QStringLiteral("/etc/os-release"));
    if (!osRelease) {
        osRelease = ReadFile(QStringLiteral("/usr/lib/os-release"));
    }
    std::optional<TKernelInfo> kernel;
    struct utsname uts {};
    if (uname(&uts) == 0) {
        kernel = TKernelInfo{QString::fromUtf8(uts.sysname), QString::fromUtf8(uts.release)};
    }
    return OperatingSystemNameFrom(osRelease, kernel);
}

} // namespace vidorel

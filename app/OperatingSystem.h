#pragma once

// The name of the running system for the system report: the distribution as it names itself
// in os-release, and the kernel it runs on.

#include <QString>

#include <map>
#include <optional>

namespace vidorel {

// The two uname(2) fields the name uses.
struct TKernelInfo {
    QString sysname; // "Linux"
    QString release; // "6.1.0-18-amd64"
};

// The assignments of an os-release file (shell-like: quotes, backslash escapes, comments).
std::map<QString, QString> ParseOsRelease(const QString& text);

// "Debian GNU/Linux 12 (bookworm) - kernel 6.1.0-18-amd64". The distribution is PRETTY_NAME,
// else NAME and VERSION, else the kernel's system name, else "Linux"; the kernel part is left
// out when the release is unknown. "Unknown" only when neither source could be read.
QString OperatingSystemNameFrom(const std::optional<QString>& osRelease,
                                const std::optional<TKernelInfo>& kernel);

// Reads /etc/os-release (or /usr/lib/os-release) and uname.
QString OperatingSystemName();

} // namespace vidorel

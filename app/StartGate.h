#pragma once

#include "platform/UserPrompt.h"

#include <optional>
#include <string>

namespace vidorel {

// The media framework version the program needs to run properly.
constexpr int kMinFrameworkMajor = 1;
constexpr int kMinFrameworkMinor = 20;

// The warning shown before any window exists when the installed media framework is older than
// the program needs (or unreadable: major 0); none when it is recent enough.
std::optional<std::string> StartGateWarning(int major, int minor, const std::string& versionText);

// Shows the warning when there is one; true when the program may go on (recent enough, or the
// user answered Yes).
bool PassStartGate(IUserPrompt& prompt, int major, int minor, const std::string& versionText);

} // namespace vidorel

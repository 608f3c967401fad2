#include "app/StartGate.h"

#include "settings/Preferences.h"

namespace vidorel {

std::optional<std::string> StartGateWarning(int major, int minor, const std::string& versionText) {
    const bool recentEnough =
        major > kMinFrameworkMajor || (major == kMinFrameworkMajor && minor >= kMinFrameworkMinor);
    if (recentEnough) {
        return std::nullopt;
    }
    return "Vous avez GStreamer " + versionText + ".\r\n" + "Il faut avoir au moins GStreamer " +
           std::to_string(kMinFrameworkMajor) + "." + std::to_string(kMinFrameworkMinor) +
           " pour faire tourner correctement " + kProductName + " version " + kProductVersion +
           " " + kLanguage + ".\r\n" +
           "Voulez-vous continuer quand même? Si oui, l'application risque de ne pas bien "
           "fonctionner.";
}

bool PassStartGate(IUserPrompt& prompt, int major, int minor, const std::string& versionText) {
    const auto warning = StartGateWarning(major, minor, versionText);
    if (!warning) {
        return true;
    }
    return prompt.Show(PromptKind::Warning, *warning, PromptButtons::YesNo) == PromptAnswer::Yes;
}

} // namespace vidorel

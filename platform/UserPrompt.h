#pragma once

#include <string>

namespace vidorel {

// How rules below the window ask the user something: the window answers with a message box,
// tests answer from a script.
enum class PromptKind { Warning, Information, Error };
enum class PromptButtons { Ok, YesNo, YesNoAll };
// All: yes, and do not ask this again.
enum class PromptAnswer { Ok, Yes, No, Cancel, All };

class IUserPrompt {
public:
    virtual ~IUserPrompt() = default;
    virtual PromptAnswer Show(PromptKind kind, const std::string& text, PromptButtons buttons) = 0;
};

} // namespace vidorel

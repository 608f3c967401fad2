#pragma once

// Answers the program's questions from a script, and keeps what was asked.

#include "platform/UserPrompt.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vidorel::test {

class TScriptedPrompt : public IUserPrompt {
public:
    std::deque<PromptAnswer> answers; // given in order, one per question
    std::vector<std::string> shown;   // every text shown
    std::vector<PromptKind> kinds;
    // The answer once the script is used up.
    std::function<PromptAnswer(PromptButtons)> unscripted = [](PromptButtons) {
        return PromptAnswer::Cancel;
    };

    PromptAnswer Show(PromptKind kind, const std::string& text, PromptButtons buttons) override {
        shown.push_back(text);
        kinds.push_back(kind);
        if (answers.empty()) {
            return unscripted(buttons);
        }
        const PromptAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
};

} // namespace vidorel::test

#pragma once

#include "platform/UserPrompt.h"

class QWidget;

namespace vidorel {

// Answers the rules' questions with message boxes titled with the product name.
class QtUserPrompt : public IUserPrompt {
public:
    explicit QtUserPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    PromptAnswer Show(PromptKind kind, const std::string& text, PromptButtons buttons) override;

private:
    QWidget* parent_;
};

} // namespace vidorel

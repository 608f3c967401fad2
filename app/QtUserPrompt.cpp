#include "app/QtUserPrompt.h"

#include "settings/Preferences.h"

#include <QMessageBox>

namespace vidorel {

PromptAnswer QtUserPrompt::Show(PromptKind kind, const std::string& text, PromptButtons buttons) {
    const QMessageBox::Icon icon = kind == PromptKind::Warning       ? QMessageBox::Warning
                                   : kind == PromptKind::Information ? QMessageBox::Information
                                                                     : QMessageBox::Critical;
    const QMessageBox::StandardButtons qb =
        buttons == PromptButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
    QMessageBox box(icon, QString::fromUtf8(kProductName), QString::fromStdString(text), qb,
                    parent_);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    case QMessageBox::Ok:
        return PromptAnswer::Ok;
    default:
        return PromptAnswer::Cancel;
    }
}

} // namespace vidorel

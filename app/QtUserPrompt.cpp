#include "app/QtUserPrompt.h"

#include "settings/Preferences.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace vidorel {

PromptAnswer QtUserPrompt::Show(PromptKind kind, const std::string& text, PromptButtons buttons) {
    const QMessageBox::Icon icon = kind == PromptKind::Warning       ? QMessageBox::Warning
                                   : kind == PromptKind::Information ? QMessageBox::Information
                                                                     : QMessageBox::Critical;
    QMessageBox::StandardButtons qb = QMessageBox::Ok;
    if (buttons == PromptButtons::YesNo) {
        qb = QMessageBox::Yes | QMessageBox::No;
    } else if (buttons == PromptButtons::YesNoAll) {
        qb = QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll;
    }
    QMessageBox box(icon, QString::fromUtf8(kProductName), QString::fromStdString(text), qb,
                    parent_);
    if (auto* all = box.button(QMessageBox::YesToAll)) {
        all->setText(QStringLiteral("All"));
    }
    switch (box.exec()) {
    case QMessageBox::YesToAll:
        return PromptAnswer::All;
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

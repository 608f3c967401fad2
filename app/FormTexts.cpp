#include "app/FormTexts.h"

#include "app/Controls.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>

namespace vidorel {

namespace {

// A page of a tab widget takes its caption as the tab's text.
bool SetTabText(QWidget* page, const QString& text) {
    for (QWidget* p = page->parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
            const int i = tabs->indexOf(page);
            if (i >= 0) {
                tabs->setTabText(i, text);
                return true;
            }
            return false;
        }
        if (qobject_cast<QStackedWidget*>(p) == nullptr) {
            return false;
        }
    }
    return false;
}

void SetCaption(QWidget* w, const QString& text) {
    if (auto* radio = dynamic_cast<TRadioGroup*>(w)) {
        radio->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
        }
    } else if (auto* menu = qobject_cast<QMenu*>(w)) {
        menu->setTitle(text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        plain->setPlainText(text);
    } else if (auto* rich = qobject_cast<QTextEdit*>(w)) {
        rich->setPlainText(text);
    } else if (!SetTabText(w, text)) {
        w->setWindowTitle(text);
    }
}

void SetItems(QWidget* w, const std::vector<const char*>& items) {
    std::vector<QString> texts;
    for (const char* item : items) {
        texts.push_back(QString::fromUtf8(item));
    }
    if (auto* radio = dynamic_cast<TRadioGroup*>(w)) {
        radio->SetItems(texts);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        const int kept = combo->currentIndex();
        const QSignalBlocker quiet(combo);
        combo->clear();
        for (const auto& t : texts) {
            combo->addItem(t);
        }
        combo->setCurrentIndex(kept < combo->count() ? kept : -1);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        list->clear();
        for (const auto& t : texts) {
            list->addItem(t);
        }
    }
}

} // namespace

QString HintText(const char* hint) {
    QString text = QString::fromUtf8(hint);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::vector<QString> ApplyTexts(QWidget* root, const TTextTable& table) {
    std::vector<QString> missing;
    for (const TTextEntry& e : table) {
        const QString name = QString::fromUtf8(e.control);
        QWidget* w = root->objectName() == name ? root : root->findChild<QWidget*>(name);
        if (w == nullptr) {
            if (auto* action = root->findChild<QAction*>(name)) {
                if (e.caption != nullptr) {
                    action->setText(QString::fromUtf8(e.caption));
                }
                if (e.hint != nullptr) {
                    action->setToolTip(HintText(e.hint));
                    action->setStatusTip(HintText(e.hint).section(QLatin1Char('\n'), 0, 0));
                }
                continue;
            }
            missing.push_back(name);
            continue;
        }
        if (e.caption != nullptr) {
            SetCaption(w, QString::fromUtf8(e.caption));
        }
        if (e.hint != nullptr) {
            w->setToolTip(HintText(e.hint));
        }
        if (!e.items.empty()) {
            SetItems(w, e.items);
        }
        // What a screen reader says: the caption, or the hint's first line without one.
        if (e.caption != nullptr && *e.caption != '\0') {
            w->setAccessibleName(QString::fromUtf8(e.caption).remove(QLatin1Char('&')));
        } else if (e.hint != nullptr) {
            w->setAccessibleName(HintText(e.hint).section(QLatin1Char('\n'), 0, 0));
        }
        if (e.hint != nullptr) {
            w->setAccessibleDescription(HintText(e.hint));
        }
    }
    return missing;
}

} // namespace vidorel

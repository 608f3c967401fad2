#pragma once

// Checks of a panel's hand-made layout, as a reviewer would look at it: every control inside
// its parent, no two controls on top of each other, no caption cut off, no tab bar too wide.
// Every page of every tab widget is checked in turn, with the controls the page shows.

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>

#include <set>
#include <string>
#include <vector>

namespace vidorel::test {

// Lines as one text, each ended by a line break (what a multi-line label or hint shows).
inline QString Joined(const std::vector<QString>& lines) {
    QString text;
    for (const QString& l : lines) {
        text += l + QLatin1Char('\n');
    }
    return text;
}

inline bool IsDesigned(const QWidget* w) {
    return !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"));
}

inline QString Describe(const QWidget* w) {
    const QRect g = w->geometry();
    return w->objectName() +
           QStringLiteral(" (%1,%2 %3x%4)").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
}

inline void CheckShownControls(QWidget* panel, std::set<QString>& problems) {
    const auto controls = panel->findChildren<QWidget*>();
    for (QWidget* w : controls) {
        if (!IsDesigned(w) || !w->isVisibleTo(panel)) {
            continue;
        }
        QWidget* parent = w->parentWidget();
        if (parent != nullptr && !parent->rect().contains(w->geometry())) {
            problems.insert(Describe(w) + QStringLiteral(" leaves its parent ") +
                            parent->objectName());
        }
        const QSize hint = w->sizeHint();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const bool fits = label->wordWrap()
                                  ? label->heightForWidth(w->width()) <= w->height()
                                  : hint.width() <= w->width() && hint.height() <= w->height();
            if (!fits) {
                problems.insert(Describe(w) + QStringLiteral(" cuts its text"));
            }
        } else if (qobject_cast<QAbstractButton*>(w) != nullptr) {
            if (hint.width() > w->width() || hint.height() > w->height()) {
                problems.insert(Describe(w) + QStringLiteral(" cuts its caption (wants %1x%2)")
                                                  .arg(hint.width())
                                                  .arg(hint.height()));
            }
        } else if (qobject_cast<QGroupBox*>(w) != nullptr) {
            const QSize least = w->minimumSizeHint();
            if (least.width() > w->width() || least.height() > w->height()) {
                problems.insert(Describe(w) + QStringLiteral(" is too small (needs %1x%2)")
                                                  .arg(least.width())
                                                  .arg(least.height()));
            }
        } else if (qobject_cast<QComboBox*>(w) != nullptr ||
                   qobject_cast<QLineEdit*>(w) != nullptr) {
            if (w->minimumSizeHint().height() > w->height()) {
                problems.insert(Describe(w) + QStringLiteral(" is too low"));
            }
        } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            if (tabs->tabBar()->sizeHint().width() > tabs->width()) {
                problems.insert(Describe(w) + QStringLiteral(" has too many tabs to show"));
            }
        }
        // Siblings drawn over each other.
        if (parent != nullptr) {
            for (QObject* o : parent->children()) {
                auto* other = qobject_cast<QWidget*>(o);
                if (other == nullptr || other == w || !IsDesigned(other) ||
                    !other->isVisibleTo(panel) || other->objectName() < w->objectName()) {
                    continue;
                }
                if (other->geometry().intersects(w->geometry())) {
                    problems.insert(Describe(w) + QStringLiteral(" overlaps ") + Describe(other));
                }
            }
        }
    }
}

// What is wrong with the layout of `panel` (shown, on every page); empty when all is well.
inline std::vector<QString> LayoutProblems(QWidget* panel) {
    panel->show();
    QCoreApplication::processEvents();
    std::set<QString> problems;
    CheckShownControls(panel, problems);
    for (QTabWidget* tabs : panel->findChildren<QTabWidget*>()) {
        const int kept = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabVisible(i)) {
                continue;
            }
            tabs->setCurrentIndex(i);
            QCoreApplication::processEvents();
            CheckShownControls(panel, problems);
        }
        tabs->setCurrentIndex(kept);
    }
    return {problems.begin(), problems.end()};
}

// Saves a picture of the panel, one per page of its first tab widget, in the current folder,
// for a person to look at ("<name>.png" or "<name>_<page>.png").
inline void SavePictures(QWidget* panel, const QString& name) {
    panel->show();
    QCoreApplication::processEvents();
    auto* tabs = panel->findChild<QTabWidget*>();
    if (tabs == nullptr) {
        panel->grab().save(name + QStringLiteral(".png"));
        return;
    }
    const int kept = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        panel->grab().save(name + QLatin1Char('_') + tabs->widget(i)->objectName() +
                           QStringLiteral(".png"));
    }
    tabs->setCurrentIndex(kept);
}

} // namespace vidorel::test

#pragma once

// The keyboard-shortcut tables of the Help panel, built once from the main window's actions.
// Kept free of widgets so the rules can be checked on plain data.

#include <QKeySequence>
#include <QString>
#include <QStringList>

#include <vector>

namespace vidorel {

// What the tables need to know of one action of the main window.
struct TActionInfo {
    QString name;     // object name, e.g. "acGrab"
    QString caption;  // English caption, e.g. "Grab!"
    QString category; // "camera", "frame", or anything else
    bool visible = true;
    QKeySequence primary;  // empty: the action has no shortcut
    QStringList secondary; // further shortcuts as written, e.g. "CTRL+G"
};

// One line of a table: the function and the keys that run it.
struct TShortcutEntry {
    QString function;
    QString keys;
    friend bool operator==(const TShortcutEntry&, const TShortcutEntry&) = default;
};

struct TShortcutTables {
    // The general list: the ordinary actions sorted, then the panel ("frame") actions sorted.
    std::vector<TShortcutEntry> general;
    // The camcorder keys, sorted, primary shortcut only.
    std::vector<TShortcutEntry> camera;
};

// Lists every visible action that has a caption and a primary shortcut; an action with
// secondary shortcuts shows the first one in parentheses after the primary ("F5 (CTRL+G)").
TShortcutTables BuildShortcutTables(const std::vector<TActionInfo>& actions);

// The usual name of a shortcut: "Ctrl+M", "Alt+Enter", "F5", "Space", "Num +". Only the first
// chord of a multi-chord sequence is named; empty for an empty sequence.
QString ShortcutKeyText(const QKeySequence& keys);

} // namespace vidorel

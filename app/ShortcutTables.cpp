#include "app/ShortcutTables.h"

#include <algorithm>

namespace vidorel {

namespace {

// A caption may carry a mnemonic marker ("&Grab"); the table shows the words only.
QString PlainCaption(const QString& caption) {
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i; // "&&" stands for one ampersand; "&x" for x
        }
        text += caption[i];
    }
    return text;
}

// Alphabetical as the user reads it: case does not separate "grab" from "Grab"; ties fall back
// to an exact comparison so the order never depends on the input order.
bool EntryLess(const TShortcutEntry& a, const TShortcutEntry& b) {
    if (const int c = a.function.compare(b.function, Qt::CaseInsensitive); c != 0) {
        return c < 0;
    }
    if (const int c = a.function.compare(b.function); c != 0) {
        return c < 0;
    }
    return a.keys < b.keys;
}

enum class Walk { General, Frame, Camera };

bool InWalk(const TActionInfo& a, Walk walk) {
    const bool camera = a.category == QLatin1String("camera");
    const bool frame = a.category == QLatin1String("frame");
    switch (walk) {
    case Walk::General:
        return !camera && !frame;
    case Walk::Frame:
        return frame;
    case Walk::Camera:
        return camera;
    }
    return false;
}

std::vector<TShortcutEntry> Entries(const std::vector<TActionInfo>& actions, Walk walk) {
    std::vector<TShortcutEntry> entries;
    for (const TActionInfo& a : actions) {
        const QString caption = PlainCaption(a.caption);
        if (!a.visible || caption.isEmpty() || a.primary.isEmpty() || !InWalk(a, walk)) {
            continue;
        }
        QString keys = ShortcutKeyText(a.primary);
        // The camcorder keys are listed with their primary key alone.
        if (walk != Walk::Camera && !a.secondary.isEmpty()) {
            keys += QStringLiteral(" (") + a.secondary.first() + QLatin1Char(')');
        }
        entries.push_back({caption, keys});
    }
    std::stable_sort(entries.begin(), entries.end(), EntryLess);
    return entries;
}

} // namespace

QString ShortcutKeyText(const QKeySequence& keys) {
    if (keys.isEmpty()) {
        return {};
    }
    const QKeyCombination chord = keys[0];
    const Qt::KeyboardModifiers mods = chord.keyboardModifiers();
    QString text;
    if (mods & Qt::ControlModifier) {
        text += QStringLiteral("Ctrl+");
    }
    if (mods & Qt::AltModifier) {
        text += QStringLiteral("Alt+");
    }
    if (mods & Qt::ShiftModifier) {
        text += QStringLiteral("Shift+");
    }
    if (mods & Qt::MetaModifier) {
        text += QStringLiteral("Meta+");
    }
    QString key = QKeySequence(QKeyCombination(chord.key())).toString(QKeySequence::PortableText);
    // Qt calls the main Enter key "Return"; users know it as Enter.
    if (chord.key() == Qt::Key_Return) {
        key = QStringLiteral("Enter");
    }
    if (mods & Qt::KeypadModifier) {
        key = QStringLiteral("Num ") + key;
    }
    return text + key;
}

TShortcutTables BuildShortcutTables(const std::vector<TActionInfo>& actions) {
    TShortcutTables tables;
    tables.general = Entries(actions, Walk::General);
    const auto frames = Entries(actions, Walk::Frame);
    tables.general.insert(tables.general.end(), frames.begin(), frames.end());
    tables.camera = Entries(actions, Walk::Camera);
    return tables;
}

} // namespace vidorel

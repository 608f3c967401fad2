#pragma once

// The English texts of the forms, applied by object name. Widgets are built without texts;
// every caption, hint and item list the user sees comes from the tables in app/texts/, so one
// place holds them all.

#include <QString>

#include <initializer_list>
#include <vector>

class QWidget;

namespace vidorel {

struct TTextEntry {
    const char* control;              // object name of the control (or action)
    const char* caption = nullptr;    // text, title or caption; null leaves it
    const char* hint = nullptr;       // tooltip; "\r\n" separates lines
    std::vector<const char*> items{}; // combo-box or radio-group items; empty leaves them
};
using TTextTable = std::vector<TTextEntry>;

// Sets the caption, hint and items of each named child of `root`, and the accessible name of
// each control to its caption (or its hint when it has no caption), so that screen readers
// find it. Entries naming no child are skipped; the names of those are returned (for tests).
std::vector<QString> ApplyTexts(QWidget* root, const TTextTable& table);

// The program's hints use CR LF between lines; a tooltip wants "\n".
QString HintText(const char* hint);

} // namespace vidorel

namespace vidorel {
// The main window's own texts: its commands and the controls around the preview.
const TTextTable& CaptureFormTexts();
} // namespace vidorel

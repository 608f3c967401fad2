#pragma once

// The Help panel: the keyboard shortcuts, the camcorder keys, the system report and the list
// of capture sources the user may exclude from the source lists.

#include "app/PanelFrame.h"
#include "app/ShortcutTables.h"

#include <QStringList>

#include <functional>
#include <string>

class QLabel;
class QListWidget;
class QTabWidget;
class QTableWidget;
class QTextEdit;

namespace vidorel {

// The English texts of the panel (app/texts/HelpTexts.cpp).
const TTextTable& HelpFrameTexts();
// The column titles of the two shortcut lists.
QStringList HelpShortcutTitles();
// What the camcorder page says when the panel is shown.
QString HelpCamcorderNote();

class THelpFrame : public TPanelFrame {
public:
    explicit THelpFrame(QWidget* parent = nullptr);

    QTabWidget* PageControl1;
    QWidget* tsShortcuts;
    QWidget* tsCamcorder;
    QWidget* tsSystem;
    QWidget* tsSources;
    QTableWidget* ValueListEditor1; // function, keys
    QLabel* Label1;                 // "Drive a DV camcorder"
    QLabel* Memo2;
    QTableWidget* ValueListEditor3; // camcorder function, key
    QTextEdit* RichEdit1;           // the system report
    QListWidget* CheckListBox1;     // device names; ticked = offered, unticked = excluded
    QLabel* Memo1;

    void ApplyEnglishTexts() override;
    // Writes the camcorder note.
    void PanelShown() override;
    // "Sources Exclues" <- every unticked name, each followed by CR LF.
    void StorePreferences() override;

    // Fills the two shortcut lists (replacing what they held).
    void SetShortcutTables(const TShortcutTables& tables);

    // The exclusion list, sorted by name. Filling it from the stored exclusions leaves every
    // entry unticked; a device met later is added ticked, so it is offered at once.
    void FillExclusions(const QStringList& excluded);
    // FillExclusions from "Sources Exclues" (one name per line).
    void LoadExclusions();
    // Adds `name` ticked unless it is listed; true when it was added.
    bool AddDevice(const QString& name);
    bool HasDevice(const QString& name) const;
    // Listed and unticked.
    bool IsExcluded(const QString& name) const;
    // Every unticked name, in list order.
    QStringList ExcludedNames() const;
    // The user ticked or unticked an entry: the main window refreshes the source lists.
    std::function<void()> OnExclusionClicked;

    // The names of a "Sources Exclues" text and back.
    static QStringList SplitExclusions(const std::string& stored);
    static std::string JoinExclusions(const QStringList& names);

protected:
    const TTextTable& Texts() const override;

private:
    void AddEntry(const QString& name, bool offered);
};

} // namespace vidorel

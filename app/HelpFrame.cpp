#include "app/HelpFrame.h"

#include "app/Controls.h"

#include "settings/Preferences.h"

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>

namespace vidorel {

namespace {

// The pages' inner size, from the page control's geometry below.
constexpr int kPageW = 265;
constexpr int kPageH = 364;

QTableWidget* MakeKeyList(const char* name, QWidget* parent) {
    auto* list = Make<QTableWidget>(name, parent);
    list->setColumnCount(2);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setWordWrap(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive);
    list->horizontalHeader()->setStretchLastSection(true);
    list->horizontalHeader()->resizeSection(0, 150);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return list;
}

void FillKeyList(QTableWidget* list, const std::vector<TShortcutEntry>& entries) {
    list->clearContents();
    list->setRowCount(static_cast<int>(entries.size()));
    int row = 0;
    for (const TShortcutEntry& e : entries) {
        list->setItem(row, 0, new QTableWidgetItem(e.function));
        list->setItem(row, 1, new QTableWidgetItem(e.keys));
        ++row;
    }
}

// Tabs with half the style's padding: the four tabs fit the panel's width, where the usual
// padding would need scroll arrows and hide a tab.
class TCompactTabStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? value / 2 : value;
    }
};

// Device names sort as the user reads them: case does not separate them.
class TDeviceItem : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override {
        const int c = text().compare(other.text(), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : text() < other.text();
    }
};

} // namespace

THelpFrame::THelpFrame(QWidget* parent) : TPanelFrame("HelpFrame", parent) {
    PageControl1 = Make<QTabWidget>("PageControl1", this);
    PageControl1->setGeometry(2, 4, kWidth - 4, kHeight - 6);
    // The style lives as long as the page control (a child made after its tab bar, so it is
    // deleted after the tab bar that uses it).
    auto* tabStyle = new TCompactTabStyle;
    tabStyle->setParent(PageControl1);
    PageControl1->tabBar()->setStyle(tabStyle);
    tsShortcuts = MakePage(PageControl1, "tsShortcuts");
    tsCamcorder = MakePage(PageControl1, "tsCamcorder");
    tsSystem = MakePage(PageControl1, "tsSystem");
    tsSources = MakePage(PageControl1, "tsSources");

    ValueListEditor1 = MakeKeyList("ValueListEditor1", tsShortcuts);
    ValueListEditor1->setGeometry(4, 4, kPageW - 8, kPageH - 8);

    Label1 = Make<QLabel>("Label1", tsCamcorder);
    Label1->setGeometry(8, 6, kPageW - 16, 20);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Memo2 = Make<QLabel>("Memo2", tsCamcorder);
    Memo2->setGeometry(8, 30, kPageW - 16, 72);
    Memo2->setWordWrap(true);
    Memo2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ValueListEditor3 = MakeKeyList("ValueListEditor3", tsCamcorder);
    ValueListEditor3->setGeometry(4, 108, kPageW - 8, kPageH - 112);

    RichEdit1 = Make<QTextEdit>("RichEdit1", tsSystem);
    RichEdit1->setGeometry(4, 4, kPageW - 8, kPageH - 8);
    RichEdit1->setReadOnly(true);

    CheckListBox1 = Make<QListWidget>("CheckListBox1", tsSources);
    CheckListBox1->setGeometry(4, 4, kPageW - 8, kPageH - 92);
    CheckListBox1->setSortingEnabled(true);
    Memo1 = Make<QLabel>("Memo1", tsSources);
    Memo1->setGeometry(8, kPageH - 84, kPageW - 16, 78);
    Memo1->setWordWrap(true);
    Memo1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Only the user's ticks reach the main window: the program fills the list signals blocked.
    connect(CheckListBox1, &QListWidget::itemChanged, this, [this] {
        if (OnExclusionClicked) {
            OnExclusionClicked();
        }
    });
}

void THelpFrame::ApplyEnglishTexts() {
    TPanelFrame::ApplyEnglishTexts();
    ValueListEditor1->setHorizontalHeaderLabels(HelpShortcutTitles());
    ValueListEditor3->setHorizontalHeaderLabels(HelpShortcutTitles());
}

void THelpFrame::PanelShown() {
    Memo2->setText(HelpCamcorderNote());
}

void THelpFrame::StorePreferences() {
    if (prefs::SourcesExclues != nullptr) {
        prefs::SourcesExclues->Value = JoinExclusions(ExcludedNames());
    }
}

void THelpFrame::SetShortcutTables(const TShortcutTables& tables) {
    FillKeyList(ValueListEditor1, tables.general);
    FillKeyList(ValueListEditor3, tables.camera);
}

void THelpFrame::AddEntry(const QString& name, bool offered) {
    auto* item = new TDeviceItem(name);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(offered ? Qt::Checked : Qt::Unchecked);
    CheckListBox1->addItem(item);
}

void THelpFrame::FillExclusions(const QStringList& excluded) {
    const QSignalBlocker quiet(CheckListBox1);
    CheckListBox1->clear();
    for (const QString& name : excluded) {
        if (!name.isEmpty() && !HasDevice(name)) {
            AddEntry(name, false);
        }
    }
}

void THelpFrame::LoadExclusions() {
    if (prefs::SourcesExclues != nullptr) {
        FillExclusions(SplitExclusions(prefs::SourcesExclues->Value));
    }
}

bool THelpFrame::AddDevice(const QString& name) {
    if (name.isEmpty() || HasDevice(name)) {
        return false;
    }
    const QSignalBlocker quiet(CheckListBox1);
    AddEntry(name, true);
    return true;
}

bool THelpFrame::HasDevice(const QString& name) const {
    return !CheckListBox1->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty();
}

bool THelpFrame::IsExcluded(const QString& name) const {
    for (const QListWidgetItem* item :
         CheckListBox1->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive)) {
        if (item->checkState() != Qt::Checked) {
            return true;
        }
    }
    return false;
}

QStringList THelpFrame::ExcludedNames() const {
    QStringList names;
    for (int i = 0; i < CheckListBox1->count(); ++i) {
        const QListWidgetItem* item = CheckListBox1->item(i);
        if (item->checkState() != Qt::Checked) {
            names << item->text();
        }
    }
    return names;
}

QStringList THelpFrame::SplitExclusions(const std::string& stored) {
    QStringList names;
    for (const QString& line : QString::fromStdString(stored).split(QLatin1Char('\n'))) {
        QString name = line;
        if (name.endsWith(QLatin1Char('\r'))) {
            name.chop(1);
        }
        if (!name.isEmpty()) {
            names << name;
        }
    }
    return names;
}

std::string THelpFrame::JoinExclusions(const QStringList& names) {
    std::string text;
    for (const QString& name : names) {
        text += name.toStdString() + "\r\n";
    }
    return text;
}

const TTextTable& THelpFrame::Texts() const {
    return HelpFrameTexts();
}

} // namespace vidorel

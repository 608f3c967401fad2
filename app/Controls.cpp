#include "app/Controls.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTabWidget>

namespace vidorel {

QWidget* MakePage(QTabWidget* tabs, const char* name) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromUtf8(name));
    tabs->addTab(page, QString());
    return page;
}

TClickLabel::TClickLabel(const char* name, QWidget* parent, std::function<void()>* target)
    : QLabel(parent), target_(target) {
    setObjectName(QString::fromUtf8(name));
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && *target_) {
        (*target_)();
    }
    QLabel::mouseReleaseEvent(e);
}

TRadioGroup::TRadioGroup(const char* objectName, QWidget* parent, int columns)
    : QGroupBox(parent), group_(new QButtonGroup(this)), columns_(columns < 1 ? 1 : columns) {
    setObjectName(QString::fromUtf8(objectName));
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setVerticalSpacing(1);
    QObject::connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        if (OnClick) {
            OnClick(id);
        }
    });
}

void TRadioGroup::SetItems(const std::vector<QString>& items) {
    const int kept = ItemIndex();
    for (auto* b : buttons_) {
        group_->removeButton(b);
        delete b;
    }
    buttons_.clear();
    auto* grid = static_cast<QGridLayout*>(layout());
    const int rows = (static_cast<int>(items.size()) + columns_ - 1) / columns_;
    for (size_t i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(objectName() + QStringLiteral("_%1").arg(i));
        b->setAccessibleName(items[i]);
        group_->addButton(b, static_cast<int>(i));
        const int n = static_cast<int>(i);
        grid->addWidget(b, rows > 0 ? n % rows : 0, rows > 0 ? n / rows : 0);
        buttons_.push_back(b);
    }
    SetItemIndex(kept);
}

QString TRadioGroup::Item(int i) const {
    return i >= 0 && i < Count() ? buttons_[static_cast<size_t>(i)]->text() : QString();
}

int TRadioGroup::ItemIndex() const {
    return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int i) {
    if (i >= 0 && i < Count()) {
        buttons_[static_cast<size_t>(i)]->setChecked(true);
        return;
    }
    // Unchecking needs an exclusive group to let go for a moment.
    if (auto* b = group_->checkedButton()) {
        group_->setExclusive(false);
        b->setChecked(false);
        group_->setExclusive(true);
    }
}

QRadioButton* TRadioGroup::Button(int i) const {
    return i >= 0 && i < Count() ? buttons_[static_cast<size_t>(i)] : nullptr;
}

} // namespace vidorel

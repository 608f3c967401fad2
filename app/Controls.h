#pragma once

// Small composite controls the forms are made of, over plain Qt widgets.

#include <QGroupBox>

#include <functional>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace vidorel {

// A titled group of radio buttons with an item index, -1 when none is chosen.
class TRadioGroup : public QGroupBox {
public:
    explicit TRadioGroup(const char* objectName, QWidget* parent = nullptr, int columns = 1);

    void SetItems(const std::vector<QString>& items);
    int Count() const { return static_cast<int>(buttons_.size()); }
    QString Item(int i) const;
    int ItemIndex() const;
    // Selects item i (none for an index out of range) without calling OnClick.
    void SetItemIndex(int i);
    // Called when the user picks an item (not when the program sets one).
    std::function<void(int)> OnClick;
    QRadioButton* Button(int i) const;

private:
    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
    int columns_;
};

} // namespace vidorel

#pragma once

// Small composite controls the forms are made of, over plain Qt widgets.

#include <QGroupBox>
#include <QLabel>

#include <functional>
#include <vector>

class QButtonGroup;
class QRadioButton;
class QTabWidget;

namespace vidorel {

// A control of a form, made with its object name (by which its texts find it).
template <class W> W* Make(const char* name, QWidget* parent) {
    auto* w = new W(parent);
    w->setObjectName(QString::fromUtf8(name));
    return w;
}

// The same, at its place in its parent, as a form designer puts it.
template <class W> W* Make(const char* name, QWidget* parent, int x, int y, int w, int h) {
    W* widget = Make<W>(name, parent);
    widget->setGeometry(x, y, w, h);
    return widget;
}

// A page of a page control, named.
QWidget* MakePage(QTabWidget* tabs, const char* name);

// A bold label that reports a left click: the next-name labels that lead to another panel.
class TClickLabel : public QLabel {
public:
    // `target` is read at each click, so it may be set after the label is made.
    TClickLabel(const char* name, QWidget* parent, std::function<void()>* target);

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    std::function<void()>* target_;
};

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

#pragma once

// The main window's status bar: four panels of 175 pixels whose texts are drawn centred. The
// first panel's colour shows whether the intervalometer runs; the second panel draws its extra
// text (the preview-only effects) in red after the mode.

#include <QColor>
#include <QString>
#include <QWidget>

namespace vidorel {

class TStatusBar : public QWidget {
public:
    static constexpr int kPanelWidth = 175;
    static constexpr int kHeight = 20;

    explicit TStatusBar(QWidget* parent = nullptr);

    QString StatusInterval;
    QColor IntervalColor = Qt::black;
    QString StatusMode;
    QString StatusModeExtra;
    QString StatusCapture;
    QString StatusInfo;

    // Repaints and gives each panel its text as accessible description.
    void Refresh();

protected:
    void paintEvent(QPaintEvent* e) override;
};

} // namespace vidorel

#include "app/StatusBar.h"

#include <QPainter>
#include <QStyleOption>

namespace vidorel {

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setFixedHeight(kHeight);
}

void TStatusBar::Refresh() {
    setAccessibleDescription(
        QStringList{StatusInterval, StatusMode + StatusModeExtra, StatusCapture, StatusInfo}.join(
            QStringLiteral(" | ")));
    update();
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.window());
    const QFontMetrics fm(font());
    for (int i = 0; i < 4; ++i) {
        const QRect r(i * kPanelWidth + 1, 1, kPanelWidth - 3, height() - 2);
        // Sunken panels, as a status bar draws them.
        p.setPen(pal.color(QPalette::Mid));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        const QRect inner = r.adjusted(2, 1, -2, -1);
        p.setClipRect(inner);
        const int baseline = inner.top() + (inner.height() - fm.height()) / 2 + fm.ascent();
        if (i == 1) {
            const int w1 = fm.horizontalAdvance(StatusMode);
            const int w2 =
                StatusModeExtra.isEmpty() ? 0 : fm.horizontalAdvance(StatusModeExtra) + 3;
            int x = inner.left() + (inner.width() - (w1 + w2)) / 2;
            p.setPen(Qt::black);
            p.drawText(x, baseline, StatusMode);
            if (!StatusModeExtra.isEmpty()) {
                p.setPen(Qt::red);
                p.drawText(x + w1 + 3, baseline, StatusModeExtra);
            }
        } else {
            const QString& text = i == 0 ? StatusInterval : (i == 2 ? StatusCapture : StatusInfo);
            p.setPen(i == 0 ? IntervalColor : QColor(Qt::black));
            const int x = inner.left() + (inner.width() - fm.horizontalAdvance(text)) / 2;
            p.drawText(x, baseline, text);
        }
        p.setClipping(false);
    }
}

} // namespace vidorel

#include "app/Icons.h"

#include "app/Actions.h"

#include <QAction>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include <functional>
#include <tuple>

namespace vidorel {

QIcon GlyphIcon(const QString& glyph, const QColor& colour) {
    QIcon icon;
    for (int size : {16, 20, 24, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        QFont f = p.font();
        f.setBold(true);
        // Short glyphs large, longer ones (a ratio) smaller, so each fills its square.
        f.setPixelSize(glyph.size() <= 1 ? size * 3 / 4
                                         : (glyph.size() == 2 ? size / 2 : size * 3 / 8));
        p.setFont(f);
        p.setPen(colour);
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, glyph);
        icon.addPixmap(pm);
    }
    return icon;
}

namespace {

// Drawn icons for what the glyph fonts may lack.
QIcon Drawn(const std::function<void(QPainter&, int)>& draw) {
    QIcon icon;
    for (int size : {16, 20, 24, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p, size);
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon PadlockIcon() {
    return Drawn([](QPainter& p, int s) {
        const qreal u = s / 16.0;
        p.setPen(QPen(Qt::black, 1.6 * u));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4.5 * u, 1.5 * u, 7 * u, 9 * u), 0, 180 * 16);
        p.drawLine(QPointF(4.5 * u, 6 * u), QPointF(4.5 * u, 8 * u));
        p.drawLine(QPointF(11.5 * u, 6 * u), QPointF(11.5 * u, 8 * u));
        p.setBrush(QColor(0xc0, 0x90, 0x20));
        p.drawRoundedRect(QRectF(3 * u, 7.5 * u, 10 * u, 7 * u), u, u);
    });
}

QIcon ClockIcon() {
    return Drawn([](QPainter& p, int s) {
        const qreal u = s / 16.0;
        p.setPen(QPen(Qt::black, 1.4 * u));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(1.5 * u, 1.5 * u, 13 * u, 13 * u));
        p.drawLine(QPointF(8 * u, 8 * u), QPointF(8 * u, 4 * u));
        p.drawLine(QPointF(8 * u, 8 * u), QPointF(11 * u, 9.5 * u));
    });
}

QIcon FullScreenIcon() {
    return Drawn([](QPainter& p, int s) {
        const qreal u = s / 16.0;
        p.setPen(QPen(Qt::black, 1.6 * u));
        const qreal a = 2 * u, b = 14 * u, l = 4 * u;
        for (auto [x, y, dx, dy] : {std::tuple{a, a, 1, 1}, std::tuple{b, a, -1, 1},
                                    std::tuple{a, b, 1, -1}, std::tuple{b, b, -1, -1}}) {
            p.drawLine(QPointF(x, y), QPointF(x + dx * l, y));
            p.drawLine(QPointF(x, y), QPointF(x, y + dy * l));
        }
        p.setBrush(QColor(0x40, 0x40, 0x40));
        p.drawRect(QRectF(5 * u, 5.5 * u, 6 * u, 5 * u));
    });
}

} // namespace

QIcon MuteIcon(bool muted, QStyle* style) {
    return style->standardIcon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume);
}

QIcon WideScreenIcon(bool wide, QStyle*) {
    return GlyphIcon(wide ? QStringLiteral("16:9") : QStringLiteral("4:3"));
}

void SetActionIcons(TActions& a, QStyle* style) {
    const auto std = [style](QStyle::StandardPixmap sp) { return style->standardIcon(sp); };
    a.acCapturerBascule->setIcon(GlyphIcon(QStringLiteral("\u25cf"), Qt::red));
    a.acCouper->setIcon(GlyphIcon(QStringLiteral("\u2702")));
    a.acGrab->setIcon(GlyphIcon(QStringLiteral("\u25a3"), QColor(0x20, 0x50, 0xa0)));
    a.acfullscreen->setIcon(FullScreenIcon());
    a.acMute->setIcon(MuteIcon(false, style));
    a.acIncruster->setIcon(GlyphIcon(QStringLiteral("T")));
    a.acElargir->setIcon(GlyphIcon(QStringLiteral("\u2194")));
    a.acWideScreen->setIcon(WideScreenIcon(true, style));
    a.acVertFlip->setIcon(GlyphIcon(QStringLiteral("\u21c5")));
    a.acHorzFlip->setIcon(GlyphIcon(QStringLiteral("\u21c4")));
    a.acDesentrelacer->setIcon(GlyphIcon(QStringLiteral("\u2261")));
    a.acLockPreview->setIcon(PadlockIcon());
    a.acSourcesFrame->setIcon(std(QStyle::SP_ComputerIcon));
    a.acDossiersFrame->setIcon(std(QStyle::SP_DirIcon));
    a.acProgrammerFrame->setIcon(ClockIcon());
    a.acExtraireFrame->setIcon(GlyphIcon(QStringLiteral("\u25a3")));
    a.acIncrusterFrame->setIcon(GlyphIcon(QStringLiteral("Tt")));
    a.acOptionsFrame->setIcon(GlyphIcon(QStringLiteral("\u2699")));
    a.acHelp->setIcon(std(QStyle::SP_DialogHelpButton));
    a.acApropos->setIcon(std(QStyle::SP_MessageBoxInformation));
    a.acQuitter->setIcon(std(QStyle::SP_DialogCloseButton));
    a.acTapelog->setIcon(std(QStyle::SP_DirOpenIcon));
    a.camPlayPause->setIcon(std(QStyle::SP_MediaPlay));
    a.camStop->setIcon(std(QStyle::SP_MediaStop));
    // The Sources panel's buttons take these actions: without an icon they would show the
    // action's long text clipped to the button.
    a.acShowVideoPilotDV->setIcon(std(QStyle::SP_MediaPlay));
    a.acShowAudioPilotDV->setIcon(std(QStyle::SP_MediaPlay));
}

} // namespace vidorel

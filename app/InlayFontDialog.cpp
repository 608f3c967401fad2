#include "app/InlayFontDialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QPushButton>
#include <QVBoxLayout>

namespace vidorel {

namespace {

QColor FromBgr(uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

uint32_t ToBgr(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
           (static_cast<uint32_t>(c.blue()) << 16);
}

} // namespace

QFont ToQFont(const TFont& font) {
    QFont f(QString::fromStdString(font.Name));
    f.setPointSize(font.Size > 0 ? font.Size : 21);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    f.setStrikeOut(font.StrikeOut);
    return f;
}

TFont FromQFont(const QFont& font, uint32_t colour) {
    TFont f;
    f.Name = font.family().toStdString();
    f.Size = font.pointSize() > 0 ? font.pointSize() : 21;
    f.Color = colour & 0xFFFFFF;
    f.Bold = font.bold();
    f.Italic = font.italic();
    f.Underline = font.underline();
    f.StrikeOut = font.strikeOut();
    return f;
}

TInlayFontDialog::TInlayFontDialog(const TFont& font, QWidget* parent)
    : QDialog(parent), colour_(font.Color & 0xFFFFFF) {
    setObjectName(QStringLiteral("FontDialog"));
    setWindowTitle(QStringLiteral("Font"));
    // The chooser lives inside this dialog, without its own buttons.
    FontDialog1 = new QFontDialog(ToQFont(font), this);
    FontDialog1->setObjectName(QStringLiteral("FontDialog1"));
    FontDialog1->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    FontDialog1->setWindowFlags(Qt::Widget);
    ColourBtn = new QPushButton(this);
    ColourBtn->setObjectName(QStringLiteral("ColourBtn"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FontDialog1);
    layout->addWidget(ColourBtn, 0, Qt::AlignLeft);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ColourBtn, &QPushButton::clicked, this, [this] {
        const QColor c = QColorDialog::getColor(FromBgr(colour_), this, QStringLiteral("Colour"));
        if (c.isValid()) {
            SetColour(ToBgr(c));
        }
    });
    ShowColour();
}

TFont TInlayFontDialog::Chosen() const {
    return FromQFont(FontDialog1->currentFont(), colour_);
}

void TInlayFontDialog::SetColour(uint32_t bgr) {
    colour_ = bgr & 0xFFFFFF;
    ShowColour();
}

void TInlayFontDialog::ShowColour() {
    const QColor c = FromBgr(colour_);
    ColourBtn->setText(QStringLiteral("Colour %1").arg(c.name()));
    QPixmap swatch(16, 16);
    swatch.fill(c);
    ColourBtn->setIcon(QIcon(swatch));
}

} // namespace vidorel

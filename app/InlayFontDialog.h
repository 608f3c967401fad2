#pragma once

// The inlay's font: the desktop's font chooser with a colour button beside it, since the text
// is drawn in one colour chosen with the face.

#include "settings/Parameters.h"

#include <QDialog>
#include <QFont>

class QFontDialog;
class QPushButton;

namespace vidorel {

// The stored font as Qt's (size in points) and back; the colour is not part of a QFont.
QFont ToQFont(const TFont& font);
TFont FromQFont(const QFont& font, uint32_t colour);

class TInlayFontDialog : public QDialog {
public:
    TInlayFontDialog(const TFont& font, QWidget* parent = nullptr);
    // What the user chose (meaningful after OK).
    TFont Chosen() const;
    void SetColour(uint32_t bgr);

    QFontDialog* FontDialog1;
    QPushButton* ColourBtn;

private:
    void ShowColour();
    uint32_t colour_;
};

} // namespace vidorel

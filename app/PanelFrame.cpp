#include "app/PanelFrame.h"

namespace vidorel {

TPanelFrame::TPanelFrame(const char* objectName, QWidget* parent) : QWidget(parent) {
    setObjectName(QString::fromUtf8(objectName));
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    hide();
}

void TPanelFrame::ApplyEnglishTexts() {
    ApplyTexts(this, Texts());
}

} // namespace vidorel

#include "app/ExtraireFrame.h"

#include "app/Controls.h"

#include "settings/Preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

namespace vidorel {

namespace {

const TTextEntry* EntryFor(const TTextTable& table, const char* control) {
    for (const TTextEntry& e : table) {
        if (qstrcmp(e.control, control) == 0) {
            return &e;
        }
    }
    return nullptr;
}

} // namespace

TExtraireFrame::TExtraireFrame(QWidget* parent) : TPanelFrame("ExtraireFrame", parent) {
    gbExtraire = Make<QGroupBox>("gbExtraire", this, 0, 0, kWidth, kHeight);

    const int pictureTop = kPictureBottom - kPictureHeight;
    Image =
        Make<QLabel>("Image", gbExtraire, kPictureLeft, pictureTop, kPictureWidth, kPictureHeight);
    Image->setScaledContents(true);
    Image->setAutoFillBackground(true);
    Image->setBackgroundRole(QPalette::Dark);
    // Drawn over the picture's edge; hovering it while it shows names the saved picture.
    Bevel3 =
        Make<QFrame>("Bevel3", gbExtraire, kPictureLeft, pictureTop, kPictureWidth, kPictureHeight);
    Bevel3->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel3->raise();

    gbIntervallo = Make<QGroupBox>("gbIntervallo", gbExtraire, 8, 176, 259, 100);
    RxSpinEdit7 = Make<QSpinBox>("RxSpinEdit7", gbIntervallo, 10, 26, 96, 26);
    RxSpinEdit7->setRange(0, 999999);
    RxSpinEdit7->setAlignment(Qt::AlignRight);
    cbUnites = Make<QComboBox>("cbUnites", gbIntervallo, 112, 26, 96, 26);
    RxSwitch1 = Make<QToolButton>("RxSwitch1", gbIntervallo, 216, 24, 34, 30);
    RxSwitch1->setCheckable(true);
    RxSwitch1->setIconSize(QSize(20, 20));
    cbBeeps = Make<QCheckBox>("cbBeeps", gbIntervallo, 10, 64, 120, 22);
    chronoLab = Make<QLabel>("chronoLab", gbIntervallo, 140, 58, 110, 32);
    chronoLab->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont big = chronoLab->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    chronoLab->setFont(big);

    gbNextImage = Make<QGroupBox>("gbNextImage", gbExtraire, 8, 290, 259, 56);
    destlabel = new TClickLabel("destlabel", gbNextImage, &OnDestLabelClick);
    destlabel->setGeometry(10, 26, 239, 20);

    connect(RxSwitch1, &QToolButton::toggled, this, [this](bool on) { SwitchChanged(on); });
    SwitchChanged(false);
}

const TTextTable& TExtraireFrame::Texts() const {
    return ExtraireTexts();
}

void TExtraireFrame::ApplyEnglishTexts() {
    TPanelFrame::ApplyEnglishTexts();
    // The unit box is a pick list: its caption is the item it starts on, and it is named by
    // its hint rather than by that item.
    if (const TTextEntry* units = EntryFor(Texts(), "cbUnites")) {
        const QSignalBlocker quiet(cbUnites);
        cbUnites->setCurrentIndex(cbUnites->findText(QString::fromUtf8(units->caption)));
        cbUnites->setAccessibleName(HintText(units->hint));
    }
}

void TExtraireFrame::SwitchChanged(bool on) {
    chronoLab->clear();
    chronoLab->setVisible(on);
    RxSpinEdit7->setEnabled(!on);
    cbUnites->setEnabled(!on);
    RxSwitch1->setIcon(style()->standardIcon(on ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
}

void TExtraireFrame::ShowCountdown(int seconds) {
    chronoLab->setNum(seconds);
}

void TExtraireFrame::ShowPicture(const QImage& picture) {
    int w = picture.width();
    int h = picture.height();
    if (w <= 0) {
        w = 640;
    }
    if (h <= 0) {
        h = 480;
    }
    int shownW = kPictureWidth;
    int shownH = kPictureHeight;
    if (w * kPictureHeight < h * kPictureWidth) {
        shownW = w * kPictureHeight / h;
    } else {
        shownH = h * kPictureWidth / w;
    }
    const QRect box(kPictureLeft + (kPictureWidth - shownW) / 2, kPictureBottom - shownH, shownW,
                    shownH);
    Image->setGeometry(box);
    Image->setPixmap(QPixmap::fromImage(picture));
    Bevel3->setGeometry(box);
}

void TExtraireFrame::LoadPreferences() {
    const QSignalBlocker q1(RxSpinEdit7), q2(cbUnites), q3(cbBeeps);
    RxSpinEdit7->setValue(prefs::ValeurIntervallometre->Value);
    const int unit = prefs::UnitesIntervallometre->Value;
    // A unit the list does not hold selects none rather than a wrong one.
    cbUnites->setCurrentIndex(unit >= 0 && unit < cbUnites->count() ? unit : -1);
    cbBeeps->setChecked(prefs::Beeps->Value);
}

void TExtraireFrame::StorePreferences() {
    prefs::ValeurIntervallometre->Value = RxSpinEdit7->value();
    if (cbUnites->currentIndex() >= 0) {
        prefs::UnitesIntervallometre->Value = cbUnites->currentIndex();
    }
    prefs::Beeps->Value = cbBeeps->isChecked();
}

} // namespace vidorel

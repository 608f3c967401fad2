#include "app/ExtraireFrame.h"
#include "settings/Preferences.h"
#include "tests/app/QtTestApp.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

using namespace vidorel;

namespace {

class ExtraireFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::TestApp();
        CreatePreferenceList(RegistryFile(""));
        CreatePreferences();
        frame = std::make_unique<TExtraireFrame>();
        frame->ApplyEnglishTexts();
    }
    std::unique_ptr<TExtraireFrame> frame;
};

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

} // namespace

TEST_F(ExtraireFrameTest, everyTextNamesAControlOfThePanel) {
    EXPECT_TRUE(ApplyTexts(frame.get(), ExtraireTexts()).empty());
    EXPECT_EQ(frame->objectName(), "ExtraireFrame");
}

TEST_F(ExtraireFrameTest, captionsHintsAndUnitsAreTheEnglishOnes) {
    EXPECT_EQ(frame->gbExtraire->title(), "Grab images (F5)");
    EXPECT_EQ(frame->gbIntervallo->title(), "Intervalometer");
    EXPECT_EQ(frame->gbNextImage->title(), "Next image");
    EXPECT_EQ(frame->cbBeeps->text(), "Beeps");
    EXPECT_EQ(frame->destlabel->text(), "destlabel");
    EXPECT_EQ(Items(frame->cbUnites), QStringList({"seconds", "frames", "minutes", "hours"}));
    // The box starts on the item its caption names.
    EXPECT_EQ(frame->cbUnites->currentText(), "seconds");
    EXPECT_EQ(frame->destlabel->toolTip(), "Name of the file for the next grabbed picture.\n"
                                           "Click on it to change the folder.");
    EXPECT_EQ(frame->cbBeeps->toolTip(),
              "Enable sound  beeps, warning of an imminent image capture.");
    EXPECT_EQ(frame->Image->toolTip(), "Last grabbed image");
    EXPECT_EQ(frame->Bevel3->toolTip(), "Last grabbed and saved image");
    EXPECT_EQ(frame->chronoLab->toolTip(), "Delay in seconds till the next snapshot.");
    EXPECT_EQ(frame->RxSpinEdit7->toolTip(), "Values for the time interval");
}

TEST_F(ExtraireFrameTest, controlsAreNamedForAScreenReader) {
    EXPECT_EQ(frame->cbUnites->accessibleName(), "Units for the time interval");
    EXPECT_EQ(frame->RxSwitch1->accessibleName(), "Toggle intervalometer.");
    EXPECT_EQ(frame->RxSpinEdit7->accessibleName(), "Values for the time interval");
    EXPECT_EQ(frame->cbBeeps->accessibleName(), "Beeps");
}

TEST_F(ExtraireFrameTest, loadPutsEachPreferenceIntoItsControlWithoutFiringHandlers) {
    prefs::ValeurIntervallometre->Value = 250;
    prefs::UnitesIntervallometre->Value = 2;
    prefs::Beeps->Value = true;
    QSignalSpy units(frame->cbUnites, &QComboBox::currentIndexChanged);
    QSignalSpy beeps(frame->cbBeeps, &QCheckBox::toggled);

    frame->LoadPreferences();

    EXPECT_EQ(frame->RxSpinEdit7->value(), 250);
    EXPECT_EQ(frame->cbUnites->currentText(), "minutes");
    EXPECT_TRUE(frame->cbBeeps->isChecked());
    EXPECT_EQ(units.count(), 0);
    EXPECT_EQ(beeps.count(), 0);
    EXPECT_EQ(frame->RxSpinEdit7->maximum(), 999999);
    EXPECT_EQ(frame->RxSpinEdit7->minimum(), 0);
}

TEST_F(ExtraireFrameTest, storeCopiesEachControlIntoItsPreference) {
    frame->LoadPreferences();
    frame->RxSpinEdit7->setValue(12345);
    frame->cbUnites->setCurrentIndex(3);
    frame->cbBeeps->setChecked(true);
    frame->StorePreferences();
    EXPECT_EQ(prefs::ValeurIntervallometre->Value, 12345);
    EXPECT_EQ(prefs::UnitesIntervallometre->Value, 3);
    EXPECT_TRUE(prefs::Beeps->Value);

    frame->cbUnites->setCurrentIndex(1);
    frame->cbBeeps->setChecked(false);
    frame->StorePreferences();
    EXPECT_EQ(prefs::UnitesIntervallometre->Value, 1);
    EXPECT_FALSE(prefs::Beeps->Value);
}

TEST_F(ExtraireFrameTest, aUnitBeyondTheListSelectsNoneAndIsKept) {
    prefs::UnitesIntervallometre->Value = 4;
    frame->LoadPreferences();
    EXPECT_EQ(frame->cbUnites->currentIndex(), -1);
    frame->StorePreferences();
    EXPECT_EQ(prefs::UnitesIntervallometre->Value, 4);
}

TEST_F(ExtraireFrameTest, theSwitchLocksThePeriodAndShowsTheCountdown) {
    frame->show();
    EXPECT_FALSE(frame->chronoLab->isVisible());
    EXPECT_TRUE(frame->RxSpinEdit7->isEnabled());

    QTest::mouseClick(frame->RxSwitch1, Qt::LeftButton);
    EXPECT_TRUE(frame->RxSwitch1->isChecked());
    EXPECT_FALSE(frame->RxSpinEdit7->isEnabled());
    EXPECT_FALSE(frame->cbUnites->isEnabled());
    EXPECT_TRUE(frame->chronoLab->isVisible());
    EXPECT_TRUE(frame->chronoLab->text().isEmpty());
    frame->ShowCountdown(4);
    EXPECT_EQ(frame->chronoLab->text(), "4");

    QTest::mouseClick(frame->RxSwitch1, Qt::LeftButton);
    EXPECT_FALSE(frame->RxSwitch1->isChecked());
    EXPECT_TRUE(frame->RxSpinEdit7->isEnabled());
    EXPECT_TRUE(frame->cbUnites->isEnabled());
    EXPECT_FALSE(frame->chronoLab->isVisible());
    EXPECT_TRUE(frame->cbBeeps->isEnabled());
}

TEST_F(ExtraireFrameTest, pictureFitsTheBoxStandingOnItsBottomAndCentred) {
    // 5:4 is narrower than the box: full height, centred across.
    frame->ShowPicture(QImage(720, 576, QImage::Format_RGB888));
    EXPECT_EQ(frame->Image->geometry(), QRect(38, 19, 180, 144));
    EXPECT_EQ(frame->Bevel3->geometry(), QRect(38, 19, 180, 144));
    // 16:9 is wider: full width, standing on the bottom edge.
    frame->ShowPicture(QImage(720, 405, QImage::Format_RGB888));
    EXPECT_EQ(frame->Image->geometry(), QRect(32, 55, 192, 108));
    EXPECT_EQ(frame->Bevel3->geometry(), QRect(32, 55, 192, 108));
    // A tall picture.
    frame->ShowPicture(QImage(100, 400, QImage::Format_RGB888));
    EXPECT_EQ(frame->Image->geometry(), QRect(32 + (192 - 36) / 2, 19, 36, 144));
    // No picture at all counts as 640 x 480.
    frame->ShowPicture(QImage());
    EXPECT_EQ(frame->Image->geometry(), QRect(32, 19, 192, 144));
}

TEST_F(ExtraireFrameTest, nextImageNameReportsItsClick) {
    int clicks = 0;
    frame->OnDestLabelClick = [&] { ++clicks; };
    frame->show();
    QTest::mouseClick(frame->destlabel, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ExtraireFrameTest, shownPanelIsSavedForALook) {
    frame->LoadPreferences();
    QImage picture(720, 576, QImage::Format_RGB888);
    QPainter p(&picture);
    QLinearGradient sky(0, 0, 0, 576);
    sky.setColorAt(0, QColor(40, 90, 200));
    sky.setColorAt(1, QColor(220, 180, 90));
    p.fillRect(picture.rect(), sky);
    p.end();
    frame->ShowPicture(picture);
    frame->destlabel->setText("Image_081106_143005_00007.jpg");
    frame->show();
    QTest::mouseClick(frame->RxSwitch1, Qt::LeftButton);
    frame->ShowCountdown(7);
    EXPECT_TRUE(frame->grab().save("ExtraireFrame.png"));
}

// The time-difference dialog and the inlay font dialog.
#include "app/DecalageForm.h"
#include "app/InlayFontDialog.h"
#include "tests/app/QtTestApp.h"

#include <gtest/gtest.h>

#include <QDateEdit>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

using namespace vidorel;

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s) {
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s);
}

} // namespace

TEST(DecalageForm, fillsBothGroupsAndComputesTheDifferenceToTheSecond) {
    test::TestApp();
    TDecalageForm form;
    EXPECT_EQ(form.windowTitle(), "Fix a time difference");
    EXPECT_EQ(form.gbDebut->title(), "Original");
    EXPECT_EQ(form.gbFin->title(), "Fixed");
    EXPECT_EQ(form.gbCalcul->title(), "Calculate the difference between two times");
    EXPECT_EQ(form.bbOK->toolTip(), "Apply the modification and close the window");

    // Across the leap day of 2000.
    form.SetTimes(At(2000, 2, 28, 23, 0, 0), At(2000, 3, 1, 1, 30, 15));
    EXPECT_EQ(form.DateEdit1->date(), QDate(2000, 2, 28));
    EXPECT_EQ(form.RxSpinEdit1->value(), 23);
    EXPECT_EQ(form.DateEdit2->date(), QDate(2000, 3, 1));
    EXPECT_EQ(form.RxSpinEdit4->value(), 1);
    EXPECT_EQ(form.RxSpinEdit5->value(), 30);
    EXPECT_EQ(form.RxSpinEdit6->value(), 15);
    EXPECT_EQ(form.LabResultat->text(), "1 days 2h 30m 15s"); // 0 days were 2000 not leap
    EXPECT_DOUBLE_EQ(form.TimeDifference(), 1 + (2 * 3600 + 30 * 60 + 15) / 86400.0);
    // The tape's own time cannot be edited.
    EXPECT_FALSE(form.RxSpinEdit1->isEnabled());
    EXPECT_FALSE(form.DateEdit1->isEnabled());

    // Every change of a fixed field computes again; earlier than the tape counts negative.
    form.DateEdit2->setDate(QDate(2000, 2, 28));
    form.RxSpinEdit4->setValue(20);
    form.RxSpinEdit5->setValue(0);
    form.RxSpinEdit6->setValue(0);
    EXPECT_EQ(form.LabResultat->text(), "0 days -3h 0m 0s");
    EXPECT_DOUBLE_EQ(form.TimeDifference(), -3 / 24.0);

    // The button puts the fixed time back on the tape's, to type a difference from zero.
    form.NowBtn->click();
    EXPECT_EQ(form.RxSpinEdit4->value(), 23);
    EXPECT_EQ(form.LabResultat->text(), "0 days 0h 0m 0s");
    EXPECT_EQ(form.TimeDifference(), 0.0);
}

TEST(DecalageForm, aTapeWithoutADateStartsFromTheEpochOfTheDates) {
    test::TestApp();
    TDecalageForm form;
    form.SetTimes(0, -1.0 / 24.0);
    EXPECT_EQ(form.DateEdit1->date(), QDate(1899, 12, 30));
    EXPECT_EQ(form.DateEdit2->date(), QDate(1899, 12, 29));
    EXPECT_EQ(form.RxSpinEdit4->value(), 23);
    EXPECT_DOUBLE_EQ(form.TimeDifference(), -1.0 / 24.0);
}

TEST(InlayFontDialog, givesTheChosenFaceStylesAndColour) {
    test::TestApp();
    TFont font;
    font.Name = "Liberation Serif";
    font.Size = 30;
    font.Color = 0x0000FF; // red, as 0x00BBGGRR
    font.Bold = true;
    TInlayFontDialog dialog(font);
    EXPECT_EQ(dialog.FontDialog1->currentFont().family(), "Liberation Serif");
    EXPECT_EQ(dialog.FontDialog1->currentFont().pointSize(), 30);
    EXPECT_TRUE(dialog.ColourBtn->text().contains("#ff0000"))
        << dialog.ColourBtn->text().toStdString();
    QFont other(QStringLiteral("Liberation Sans"));
    other.setPointSize(12);
    other.setItalic(true);
    other.setStrikeOut(true);
    dialog.FontDialog1->setCurrentFont(other);
    dialog.SetColour(0x00FF00);
    const TFont chosen = dialog.Chosen();
    EXPECT_EQ(chosen.Name, "Liberation Sans");
    EXPECT_EQ(chosen.Size, 12);
    EXPECT_EQ(chosen.Color, 0x00FF00u);
    EXPECT_FALSE(chosen.Bold);
    EXPECT_TRUE(chosen.Italic);
    EXPECT_FALSE(chosen.Underline);
    EXPECT_TRUE(chosen.StrikeOut);
}

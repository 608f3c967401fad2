#include "app/IncrusterFrame.h"
#include "app/Controls.h"
#include "settings/Preferences.h"
#include "tests/app/QtTestApp.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

using namespace vidorel;

namespace {

class IncrusterFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::TestApp();
        CreatePreferenceList(RegistryFile(""));
        CreatePreferences();
        frame = std::make_unique<TIncrusterFrame>();
        frame->ApplyEnglishTexts();
    }
    std::unique_ptr<TIncrusterFrame> frame;
};

QStringList Items(const TRadioGroup* group) {
    QStringList items;
    for (int i = 0; i < group->Count(); ++i) {
        items << group->Item(i);
    }
    return items;
}

double Days(int h, int m, int s) {
    return (h * 3600 + m * 60 + s) / 86400.0;
}

} // namespace

TEST_F(IncrusterFrameTest, everyTextNamesAControlOfThePanel) {
    EXPECT_TRUE(ApplyTexts(frame.get(), IncrusterTexts()).empty());
    EXPECT_EQ(frame->objectName(), "IncrusterFrame");
}

TEST_F(IncrusterFrameTest, captionsAndHintsAreTheEnglishOnes) {
    EXPECT_EQ(frame->gbIncruster->title(), "Inlay (Alt+I)");
    EXPECT_EQ(frame->IncrusterBtn->text(), "Inlay");
    EXPECT_EQ(frame->IncrusterBtn->toolTip(), "Start inlay");
    EXPECT_EQ(frame->labDuree->text(), "Duration in seconds");
    EXPECT_EQ(frame->gbDecalage->title(), "Time difference");
    EXPECT_EQ(frame->cbAvance->text(), "Advanced");
    EXPECT_EQ(frame->labFormat1->text(), "Format date 1");
    EXPECT_EQ(frame->labFormat2->text(), "Format date 2");
    EXPECT_EQ(frame->labFont->text(), "Font");
    EXPECT_EQ(frame->cbAutoFontSize->text(), "Automatic size");
    EXPECT_EQ(frame->rgAlign->title(), "Alignment");
    EXPECT_EQ(frame->rgMode->toolTip(),
              "Choose automatic or manual inlays. \n"
              "In Automatic mode, if the video source is a DV device in VCR mode, \n"
              "then the inlay is enabled at each scene change,\n"
              "else there will be a unique inlay, or a daily repeated inlay, with the given "
              "duration.");
    EXPECT_EQ(frame->rgWhen->toolTip(), "Inlay may be set automatically to display once, \n"
                                        " at each new scene or each new day.");
    EXPECT_EQ(frame->edFormat1->toolTip(),
              "Format for inlaying the datecode into the video\n"
              "for example ddddd  to put the date. A line may be kept empty or contain text.");
    EXPECT_EQ(frame->edFormat2->toolTip(), "Format for inlaying the datecode into the video\n"
                                           "for example  tt to set standard time.");
    EXPECT_EQ(frame->RxDecalage->toolTip(),
              "Add or substract some hours to the datecode beeing inlayed.\n"
              "Useful to fix a time difference or a summer/winter time change\n"
              "that was missed in the camera internal clock.");
    EXPECT_EQ(frame->SpeedButton4->toolTip(),
              "Choose the font of inlay. Caution: the default font\n"
              "in white color seems to give the best results.");
}

TEST_F(IncrusterFrameTest, radioGroupsOfferTheirStartUpItems) {
    EXPECT_EQ(Items(frame->rgMode), QStringList({"Manual", "Auto"}));
    EXPECT_EQ(Items(frame->rgWhat), QStringList({"Real date"}));
    EXPECT_EQ(Items(frame->rgWhen), QStringList({"Unique", "Scene"}));
    EXPECT_EQ(Items(frame->rgAlign), QStringList({"Left", "Centered", "Right"}));
}

TEST_F(IncrusterFrameTest, controlsAreNamedForAScreenReader) {
    EXPECT_EQ(frame->edFormat1->accessibleName(), "Format date 1");
    EXPECT_EQ(frame->edFormat2->accessibleName(), "Format date 2");
    EXPECT_EQ(frame->RxSpinEdit1->accessibleName(), "Duration in seconds");
    EXPECT_EQ(frame->SpeedButton4->text(), "...");
    EXPECT_EQ(frame->SpeedButton4->accessibleName(),
              "Choose the font of inlay. Caution: the default font");
    EXPECT_EQ(frame->sbDecalageAvance->accessibleName(),
              "Click to open the form for advanced fixing of time difference");
    EXPECT_EQ(frame->rgAlign->accessibleName(), "Alignment");
    EXPECT_EQ(frame->rgAlign->Button(1)->accessibleName(), "Centered");
}

TEST_F(IncrusterFrameTest, loadPutsEachPreferenceIntoItsControlWithoutFiringHandlers) {
    prefs::FormatDatecode1->Value = "dd/mm/yyyy";
    prefs::FormatDatecode2->Value = "hh:nn:ss";
    prefs::ModeIncruster->Value = 1;
    prefs::DureeIncruster->Value = 17;
    prefs::DecalageHoraire->Value = 5 / 24.0;
    prefs::DecalageAvance->Value = false;
    prefs::Alignement->Value = 0;
    prefs::WhatIncrust->Value = 0;
    prefs::WhenIncrust->Value = 1;
    prefs::TailleAutomatique->Value = false;
    QSignalSpy hours(frame->RxDecalage, &QSpinBox::valueChanged);
    QSignalSpy format(frame->edFormat1, &QLineEdit::textChanged);

    frame->LoadPreferences();

    EXPECT_EQ(frame->edFormat1->text(), "dd/mm/yyyy");
    EXPECT_EQ(frame->edFormat2->text(), "hh:nn:ss");
    EXPECT_EQ(frame->rgMode->ItemIndex(), 1);
    EXPECT_FALSE(frame->gbDuree->isHidden()); // Auto shows the duration
    EXPECT_EQ(frame->RxSpinEdit1->value(), 17);
    EXPECT_EQ(frame->RxDecalage->value(), 5);
    EXPECT_FALSE(frame->cbAvance->isChecked());
    EXPECT_FALSE(frame->RxDecalage->isHidden());
    EXPECT_TRUE(frame->LabDecalage->isHidden());
    EXPECT_EQ(frame->rgAlign->ItemIndex(), 0);
    EXPECT_EQ(frame->rgWhat->ItemIndex(), 0);
    EXPECT_EQ(frame->rgWhen->ItemIndex(), 1);
    EXPECT_FALSE(frame->cbAutoFontSize->isChecked());
    EXPECT_EQ(hours.count(), 0);
    EXPECT_EQ(format.count(), 0);
    // Loading changed none of the preferences.
    EXPECT_EQ(prefs::DecalageHoraire->Value, 5 / 24.0);
    EXPECT_EQ(prefs::WhenIncrust->Value, 1);

    prefs::ModeIncruster->Value = 0;
    prefs::Alignement->Value = 2;
    frame->LoadPreferences();
    EXPECT_TRUE(frame->gbDuree->isHidden());
    EXPECT_EQ(frame->rgAlign->ItemIndex(), 2);
}

TEST_F(IncrusterFrameTest, storeCopiesEachControlIntoItsPreference) {
    frame->LoadPreferences();
    frame->RebuildInlayChoices(true);
    frame->edFormat1->setText("dddd");
    frame->edFormat2->setText("tt");
    frame->rgMode->SetItemIndex(1);
    frame->RxSpinEdit1->setValue(42);
    frame->rgWhat->SetItemIndex(2);
    frame->RxDecalage->setValue(-4);
    frame->cbAvance->setChecked(true);
    frame->rgAlign->SetItemIndex(1);
    frame->rgWhen->SetItemIndex(0);
    frame->cbAutoFontSize->setChecked(false);

    frame->StorePreferences();

    EXPECT_EQ(prefs::FormatDatecode1->Value, "dddd");
    EXPECT_EQ(prefs::FormatDatecode2->Value, "tt");
    EXPECT_EQ(prefs::ModeIncruster->Value, 1);
    EXPECT_EQ(prefs::DureeIncruster->Value, 42);
    EXPECT_EQ(prefs::WhatIncrust->Value, 2);
    EXPECT_DOUBLE_EQ(prefs::DecalageHoraire->Value, -4 / 24.0);
    EXPECT_TRUE(prefs::DecalageAvance->Value);
    EXPECT_EQ(prefs::Alignement->Value, 1);
    EXPECT_EQ(prefs::WhenIncrust->Value, 0);
    EXPECT_FALSE(prefs::TailleAutomatique->Value);
}

TEST_F(IncrusterFrameTest, aStoredChoiceTheGroupDoesNotHoldSelectsNoneAndIsKept) {
    // At start the repetition group holds Unique and Scene only, the content group one item.
    prefs::WhenIncrust->Value = 2;
    prefs::WhatIncrust->Value = 1;
    frame->LoadPreferences();
    EXPECT_EQ(frame->rgWhen->ItemIndex(), -1);
    EXPECT_EQ(frame->rgWhat->ItemIndex(), -1);
    EXPECT_TRUE(frame->gbDecalage->isHidden());
    frame->StorePreferences();
    EXPECT_EQ(prefs::WhenIncrust->Value, 2);
    EXPECT_EQ(prefs::WhatIncrust->Value, 1);

    // A DV source then offers them, and the stored choices come back.
    frame->RebuildInlayChoices(true);
    EXPECT_EQ(frame->rgWhen->Item(frame->rgWhen->ItemIndex()), "Scene");
    EXPECT_EQ(frame->rgWhat->Item(frame->rgWhat->ItemIndex()), "DV datecode");
    EXPECT_FALSE(frame->gbDecalage->isHidden());
}

TEST_F(IncrusterFrameTest, sourceChoicesFollowTheKindOfSource) {
    frame->LoadPreferences();
    frame->RebuildInlayChoices(true);
    EXPECT_EQ(Items(frame->rgWhat), QStringList({"Real date and time", "DV datecode", "Timecode"}));
    EXPECT_EQ(Items(frame->rgWhen), QStringList({"Unique", "Daily", "Scene"}));
    frame->rgWhen->SetItemIndex(2);
    frame->rgWhat->SetItemIndex(2);

    // A non-DV source: only the real time, once or daily; Scene falls back on Daily.
    frame->RebuildInlayChoices(false);
    EXPECT_EQ(Items(frame->rgWhat), QStringList({"Real date and time"}));
    EXPECT_EQ(Items(frame->rgWhen), QStringList({"Unique", "Daily"}));
    EXPECT_EQ(frame->rgWhen->ItemIndex(), 1);
    EXPECT_EQ(frame->rgWhat->ItemIndex(), 0);
    EXPECT_TRUE(frame->gbDecalage->isHidden());
    EXPECT_FALSE(frame->rgMode->isHidden());

    // Back to DV: the full lists, Daily still chosen.
    frame->RebuildInlayChoices(true);
    EXPECT_EQ(frame->rgWhen->Count(), 3);
    EXPECT_EQ(frame->rgWhen->ItemIndex(), 1);
    EXPECT_EQ(frame->rgWhat->ItemIndex(), 0);
}

TEST_F(IncrusterFrameTest, pickingModeOrContentShowsItsGroupAndReachesTheWindow) {
    std::vector<int> modes, whats;
    frame->OnModeClick = [&](int i) { modes.push_back(i); };
    frame->OnWhatClick = [&](int i) { whats.push_back(i); };
    frame->LoadPreferences();
    frame->RebuildInlayChoices(true);
    frame->show();

    QTest::mouseClick(frame->rgMode->Button(1), Qt::LeftButton);
    EXPECT_TRUE(frame->gbDuree->isVisible());
    QTest::mouseClick(frame->rgMode->Button(0), Qt::LeftButton);
    EXPECT_FALSE(frame->gbDuree->isVisible());
    EXPECT_EQ(modes, (std::vector<int>{1, 0}));

    QTest::mouseClick(frame->rgWhat->Button(1), Qt::LeftButton);
    EXPECT_TRUE(frame->gbDecalage->isVisible());
    QTest::mouseClick(frame->rgWhat->Button(2), Qt::LeftButton);
    EXPECT_FALSE(frame->gbDecalage->isVisible());
    EXPECT_EQ(whats, (std::vector<int>{1, 2}));
}

TEST_F(IncrusterFrameTest, anEmptiedFormatLineKeepsOneBlank) {
    prefs::FormatDatecode2->Value = "";
    frame->LoadPreferences();
    EXPECT_EQ(frame->edFormat2->text(), " ");
    frame->show();
    frame->edFormat1->setFocus();
    frame->edFormat1->selectAll();
    QTest::keyClick(frame->edFormat1, Qt::Key_Backspace);
    EXPECT_EQ(frame->edFormat1->text(), " ");
    frame->StorePreferences();
    EXPECT_EQ(prefs::FormatDatecode1->Value, " ");
}

TEST_F(IncrusterFrameTest, advancedShowsTheExactDifferenceInsteadOfTheHours) {
    prefs::WhatIncrust->Value = 1; // the DV datecode, whose group this is
    frame->LoadPreferences();
    frame->RebuildInlayChoices(true);
    frame->show();
    prefs::DecalageHoraire->Value = Days(2, 30, 15);
    QTest::mouseClick(frame->cbAvance, Qt::LeftButton);
    EXPECT_TRUE(frame->cbAvance->isChecked());
    EXPECT_TRUE(frame->LabDecalage->isVisible());
    EXPECT_TRUE(frame->sbDecalageAvance->isVisible());
    EXPECT_FALSE(frame->RxDecalage->isVisible());
    EXPECT_EQ(frame->LabDecalage->text(), "0 days 2h 30m 15s");

    // Unticked: the whole hours again, and through the box the difference becomes them.
    QTest::mouseClick(frame->cbAvance, Qt::LeftButton);
    EXPECT_FALSE(frame->LabDecalage->isVisible());
    EXPECT_FALSE(frame->sbDecalageAvance->isVisible());
    EXPECT_TRUE(frame->RxDecalage->isVisible());
    EXPECT_EQ(frame->RxDecalage->value(), 2);
    EXPECT_DOUBLE_EQ(prefs::DecalageHoraire->Value, 2 / 24.0);
}

TEST_F(IncrusterFrameTest, differenceTextCountsDaysHoursMinutesAndSecondsTowardZero) {
    EXPECT_EQ(TimeDifferenceText(Days(2, 30, 15)), "0 days 2h 30m 15s");
    EXPECT_EQ(TimeDifferenceText(-Days(1, 30, 0)), "0 days -1h -30m 0s");
    EXPECT_EQ(TimeDifferenceText(1.0 + Days(3, 4, 5)), "1 days 3h 4m 5s");
    EXPECT_EQ(TimeDifferenceText(0.0), "0 days 0h 0m 0s");
    // To the nearest second.
    EXPECT_EQ(TimeDifferenceText(Days(0, 0, 59) + 0.6 / 86400), "0 days 0h 1m 0s");
}

TEST_F(IncrusterFrameTest, wholeHoursSurviveTheirTripThroughDays) {
    for (int h = -23; h <= 23; ++h) {
        EXPECT_EQ(TIncrusterFrame::WholeHours(h / 24.0), h) << h;
    }
    EXPECT_EQ(TIncrusterFrame::WholeHours(Days(2, 30, 0)), 2);
    EXPECT_EQ(TIncrusterFrame::WholeHours(-Days(2, 30, 0)), -2);
    EXPECT_EQ(TIncrusterFrame::WholeHours(Days(0, 30, 0)), 0);
    // The time-difference dialog subtracts two date-times of the same day.
    const double tape = 39000.0;
    EXPECT_EQ(TIncrusterFrame::WholeHours((tape + 4 / 24.0) - tape), 4);
    EXPECT_EQ(TIncrusterFrame::WholeHours(tape - (tape + 7 / 24.0)), -7);
}

TEST_F(IncrusterFrameTest, durationHoursAndAutomaticSizeAreStoredAsTheyChange) {
    frame->LoadPreferences();
    frame->RxSpinEdit1->setValue(33);
    EXPECT_EQ(prefs::DureeIncruster->Value, 33);
    frame->RxDecalage->setValue(-7);
    EXPECT_DOUBLE_EQ(prefs::DecalageHoraire->Value, -7 / 24.0);
    const bool automatic = prefs::TailleAutomatique->Value;
    frame->cbAutoFontSize->setChecked(!automatic);
    EXPECT_EQ(prefs::TailleAutomatique->Value, !automatic);
    EXPECT_EQ(frame->RxSpinEdit1->maximum(), 99);
    EXPECT_EQ(frame->RxDecalage->minimum(), -23);
    EXPECT_EQ(frame->RxDecalage->maximum(), 23);
}

TEST_F(IncrusterFrameTest, shownPanelIsSavedForALook) {
    prefs::ModeIncruster->Value = 1;
    prefs::WhatIncrust->Value = 1;
    prefs::DecalageHoraire->Value = 1 / 24.0;
    frame->LoadPreferences();
    frame->RebuildInlayChoices(true);
    frame->show();
    EXPECT_TRUE(frame->grab().save("IncrusterFrame.png"));
    prefs::DecalageHoraire->Value = -Days(10, 23, 59) - 3;
    frame->cbAvance->setChecked(true);
    EXPECT_TRUE(frame->grab().save("IncrusterFrameAdvanced.png"));
}

#include "app/ProgrammerFrame.h"
#include "tests/app/QtTestApp.h"

#include <gtest/gtest.h>

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

using namespace vidorel;

namespace {

class ProgrammerFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::TestApp();
        frame = std::make_unique<TProgrammerFrame>();
        frame->ApplyEnglishTexts();
    }
    void setStart(QDate d, int h, int m, int s) {
        frame->DateEdit1->setDate(d);
        frame->RxSpinEdit1->setValue(h);
        frame->RxSpinEdit2->setValue(m);
        frame->RxSpinEdit3->setValue(s);
    }
    void setEnd(QDate d, int h, int m, int s) {
        frame->DateEdit2->setDate(d);
        frame->RxSpinEdit4->setValue(h);
        frame->RxSpinEdit5->setValue(m);
        frame->RxSpinEdit6->setValue(s);
    }
    std::unique_ptr<TProgrammerFrame> frame;
};

} // namespace

TEST_F(ProgrammerFrameTest, everyTextNamesAControlOfThePanel) {
    EXPECT_TRUE(ApplyTexts(frame.get(), ProgrammerTexts()).empty());
    EXPECT_EQ(frame->objectName(), "ProgrammerFrame");
}

TEST_F(ProgrammerFrameTest, captionsAndHintsAreTheEnglishOnes) {
    EXPECT_EQ(frame->gbProgrammer->title(), "Schedule (Alt+P)");
    EXPECT_EQ(frame->gbDebut->title(), "Start");
    EXPECT_EQ(frame->gbFin->title(), "End");
    EXPECT_EQ(frame->ProgBtn->text(), "Schedule");
    EXPECT_EQ(frame->NowBtn->toolTip(),
              "Set date and time of end equal to date and time of start.\n"
              "Makes it easy to add two hours or so");
    EXPECT_EQ(frame->gbFin->toolTip(), "Date and time of End of scheduled capturet");
    EXPECT_EQ(frame->RxSpinEdit5->toolTip(),
              "Set the minutes in the end time of the scheduled capture.");
    EXPECT_EQ(frame->DateEdit1->toolTip(), "Set the Date of Start of the scheduled capture");
    EXPECT_EQ(frame->RxClock2->toolTip(), "real time from computer");
    // Fields without a caption are named by their hint for a screen reader.
    EXPECT_EQ(frame->RxSpinEdit3->accessibleName(),
              "Set the seconds in the start time of the scheduled capture.");
    EXPECT_EQ(frame->NowBtn->accessibleName(),
              "Set date and time of end equal to date and time of start.");
    EXPECT_EQ(frame->ProgBtn->accessibleName(), "Schedule");
}

TEST_F(ProgrammerFrameTest, timeFieldsHoldOnlyHoursMinutesAndSeconds) {
    for (QSpinBox* hours : {frame->RxSpinEdit1, frame->RxSpinEdit4}) {
        EXPECT_EQ(hours->minimum(), 0);
        EXPECT_EQ(hours->maximum(), 23);
    }
    for (QSpinBox* sixty :
         {frame->RxSpinEdit2, frame->RxSpinEdit3, frame->RxSpinEdit5, frame->RxSpinEdit6}) {
        EXPECT_EQ(sixty->minimum(), 0);
        EXPECT_EQ(sixty->maximum(), 59);
    }
}

TEST_F(ProgrammerFrameTest, prefillStartsInOneMinuteAndEndsThirtyMinutesLater) {
    frame->PrefillTimes(QDateTime(QDate(2006, 11, 8), QTime(14, 30, 5)));
    EXPECT_EQ(frame->StartDateTime(), QDateTime(QDate(2006, 11, 8), QTime(14, 31, 0)));
    EXPECT_EQ(frame->EndDateTime(), QDateTime(QDate(2006, 11, 8), QTime(15, 1, 0)));
    // Shown as a clock shows them.
    EXPECT_EQ(frame->RxSpinEdit5->text(), "01");
    EXPECT_EQ(frame->RxSpinEdit6->text(), "00");

    // Near midnight each date follows its own time.
    frame->PrefillTimes(QDateTime(QDate(2006, 12, 31), QTime(23, 45, 59)));
    EXPECT_EQ(frame->StartDateTime(), QDateTime(QDate(2006, 12, 31), QTime(23, 46, 0)));
    EXPECT_EQ(frame->EndDateTime(), QDateTime(QDate(2007, 1, 1), QTime(0, 16, 0)));
    frame->PrefillTimes(QDateTime(QDate(2007, 1, 1), QTime(23, 59, 10)));
    EXPECT_EQ(frame->StartDateTime(), QDateTime(QDate(2007, 1, 2), QTime(0, 0, 0)));
}

TEST_F(ProgrammerFrameTest, showingThePanelKeepsArmedTimesAndPrefillsOtherwise) {
    bool armed = true;
    frame->TimesArmed = [&] { return armed; };
    setStart(QDate(2030, 5, 6), 7, 8, 9);
    setEnd(QDate(2030, 5, 7), 10, 11, 12);
    frame->PanelShown();
    EXPECT_EQ(frame->StartDateTime(), QDateTime(QDate(2030, 5, 6), QTime(7, 8, 9)));
    EXPECT_EQ(frame->EndDateTime(), QDateTime(QDate(2030, 5, 7), QTime(10, 11, 12)));

    armed = false;
    const QDateTime before = QDateTime::currentDateTime();
    frame->PanelShown();
    const QDateTime after = QDateTime::currentDateTime();
    // On the whole minute after "now", and 30 minutes before the end.
    EXPECT_EQ(frame->RxSpinEdit3->value(), 0);
    EXPECT_GT(frame->StartDateTime(), before.addSecs(0));
    EXPECT_LE(frame->StartDateTime(), after.addSecs(60));
    EXPECT_EQ(frame->StartDateTime().secsTo(frame->EndDateTime()), 30 * 60);
}

TEST_F(ProgrammerFrameTest, nowButtonCopiesTheStartIntoTheEndThroughItsHandlers) {
    setStart(QDate(2031, 2, 3), 4, 5, 6);
    setEnd(QDate(2032, 9, 10), 21, 22, 23);
    QSignalSpy endMinutes(frame->RxSpinEdit5, &QSpinBox::valueChanged);
    frame->show();
    QTest::mouseClick(frame->NowBtn, Qt::LeftButton);
    EXPECT_EQ(frame->EndDateTime(), QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6)));
    // The start is left as it was.
    EXPECT_EQ(frame->StartDateTime(), QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6)));
    // In ScheduledCapturing the end-field handlers move the alarm, so they must hear of it.
    EXPECT_EQ(endMinutes.count(), 1);
}

TEST_F(ProgrammerFrameTest, startAndEndAreReadFromTheirOwnFields) {
    setStart(QDate(2031, 1, 2), 3, 4, 5);
    setEnd(QDate(2033, 6, 7), 8, 9, 10);
    EXPECT_EQ(frame->StartDateTime(), QDateTime(QDate(2031, 1, 2), QTime(3, 4, 5)));
    EXPECT_EQ(frame->EndDateTime(), QDateTime(QDate(2033, 6, 7), QTime(8, 9, 10)));
}

TEST_F(ProgrammerFrameTest, clockShowsHoursMinutesAndSeconds) {
    frame->ShowClock(QTime(9, 5, 7));
    EXPECT_EQ(frame->RxClock2->text(), "09:05:07");
    frame->ShowClock(QTime(23, 59, 59));
    EXPECT_EQ(frame->RxClock2->text(), "23:59:59");
}

TEST_F(ProgrammerFrameTest, shownPanelIsSavedForALook) {
    frame->PrefillTimes(QDateTime(QDate(2006, 11, 8), QTime(14, 30, 5)));
    frame->ShowClock(QTime(14, 30, 5));
    frame->show();
    EXPECT_TRUE(frame->grab().save("ProgrammerFrame.png"));
}

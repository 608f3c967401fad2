#include "app/ErreurFrame.h"
#include "tests/app/PanelChecks.h"
#include "tests/app/QtTestApp.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

#include <optional>

using namespace vidorel;
using vidorel::test::Joined;

namespace {

const char* const kAdvice =
    "You should send me an e-mail about this problem, and indicate please which program you "
    "are using, under which operating system , what kind of video stream is currently working "
    ", its codec...\r\nTo get help about Vidorel, informations, or updates, please visit my web "
    "site.";

class ErreurFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(700, 459);
        frame_->ApplyEnglishTexts();
    }
    QApplication& app_ = test::TestApp(); // before any widget
    QWidget window_;
    TErreurFrame* frame_ = new TErreurFrame(&window_);
};

} // namespace

TEST_F(ErreurFrameTest, textsReachEveryControl) {
    EXPECT_TRUE(ApplyTexts(frame_, ErreurFrameTexts()).empty())
        << Joined(ApplyTexts(frame_, ErreurFrameTexts())).toStdString();
    EXPECT_EQ(frame_->FermerErreurBtn->text(), "Close");
    EXPECT_EQ(frame_->size(), QSize(320, 446));
}

TEST_F(ErreurFrameTest, fatalReportSaysSoAndListsTheProblems) {
    frame_->ShowErrorReport("Impossible to load the Video sources\r\n\r\n", true, QSize(700, 459));
    EXPECT_EQ(frame_->ErreurTitre->text(), "Marlott is sorry:");
    EXPECT_EQ(frame_->ErreurMemo->toPlainText().toStdString(),
              QString(QStringLiteral("Vidorel has encountered a fatal error on your system:\n\n"
                                     "Impossible to load the Video sources\n\n\n") +
                      QString::fromLatin1(kAdvice).replace("\r\n", "\n"))
                  .toStdString());
    EXPECT_EQ(ErreurReportText("Impossible to load the Video sources\r\n", true),
              QStringLiteral("Vidorel has encountered a fatal error on your system:\r\n\r\n"
                             "Impossible to load the Video sources\r\n\r\n") +
                  QString::fromLatin1(kAdvice));
    EXPECT_TRUE(frame_->Fatal());
    EXPECT_EQ(frame_->WindowSizeBefore(), QSize(700, 459));
    EXPECT_TRUE(frame_->isVisibleTo(&window_));
    EXPECT_EQ(frame_->pos(), QPoint(0, 0));
}

TEST_F(ErreurFrameTest, nonFatalReportSpeaksOfPotentialProblems) {
    frame_->ShowErrorReport("No audio source", false);
    EXPECT_FALSE(frame_->Fatal());
    EXPECT_EQ(ErreurReportText("No audio source", false),
              QStringLiteral("Vidorel has found potential problems on your system:\r\n\r\n"
                             "No audio source\r\n") +
                  QString::fromLatin1(kAdvice));
}

TEST_F(ErreurFrameTest, closeHidesThePanelAndTellsWhetherTheReportWasFatal) {
    std::optional<bool> closed;
    frame_->OnClose = [&](bool fatal) { closed = fatal; };
    frame_->ShowErrorReport("x", true, QSize(700, 459));
    frame_->FermerErreurBtn->click();
    EXPECT_FALSE(frame_->isVisibleTo(&window_));
    ASSERT_TRUE(closed.has_value());
    EXPECT_TRUE(*closed);

    closed.reset();
    frame_->ShowErrorReport("x", false, QSize(700, 459));
    frame_->FermerErreurBtn->click();
    ASSERT_TRUE(closed.has_value());
    EXPECT_FALSE(*closed);
}

TEST_F(ErreurFrameTest, mailLinkCarriesTheReportSubjectAndBody) {
    EXPECT_EQ(ErreurMailSubject(), "Error report of Vidorel 5.1.7");
    frame_->SetMailBody("Impossible to load the Video sources\r\n\n\r\nLinux 100%");
    EXPECT_EQ(frame_->MailUrl().toEncoded(),
              "mailto:support@vidorel.example.org?subject=Error%20report%20of%20Vidorel%205.1.7"
              "&body=Impossible%20to%20load%20the%20Video%20sources%0D%0A%0A%0D%0ALinux%20100%25");
    EXPECT_TRUE(frame_->lienMailErreur->text().contains(
        "href=\"mailto:support@vidorel.example.org?subject=Error%20report"));
    EXPECT_TRUE(frame_->lienMailErreur->text().contains(">Send this error report by e-mail</a>"));
}

TEST_F(ErreurFrameTest, layoutReadsCleanly) {
    frame_->ShowErrorReport("Impossible to load the Video sources\r\n", true, QSize(700, 459));
    frame_->SetMailBody("Impossible to load the Video sources");
    EXPECT_TRUE(test::LayoutProblems(frame_).empty())
        << Joined(test::LayoutProblems(frame_)).toStdString();
    test::SavePictures(frame_, "ErreurFrame");
}

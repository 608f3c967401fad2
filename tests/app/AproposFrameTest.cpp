#include "app/AproposFrame.h"
#include "tests/app/PanelChecks.h"
#include "tests/app/QtTestApp.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLocale>
#include <QTextEdit>
#include <QToolButton>

using namespace vidorel;
using vidorel::test::Joined;

namespace {

// Sets the default locale for one test and puts the previous one back.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(kept_); }

private:
    QLocale kept_;
};

class AproposFrameTest : public ::testing::Test {
protected:
    void SetUp() override { frame_.ApplyEnglishTexts(); }
    QApplication& app_ = test::TestApp(); // before any widget
    TAproposFrame frame_;
};

} // namespace

TEST_F(AproposFrameTest, textsReachEveryControl) {
    EXPECT_TRUE(ApplyTexts(&frame_, AproposFrameTexts()).empty())
        << Joined(ApplyTexts(&frame_, AproposFrameTexts())).toStdString();
    EXPECT_EQ(frame_.imgTapelog->toolTip(), "Click to open the captured clips with Tapelog.");
    EXPECT_FALSE(frame_.imgTapelog->icon().isNull());
    EXPECT_TRUE(frame_.AproposRichEdit->isReadOnly());
}

TEST_F(AproposFrameTest, titleNamesProductVersionAndLanguageWhenShown) {
    EXPECT_TRUE(frame_.AproposTitre->text().isEmpty());
    frame_.PanelShown();
    EXPECT_EQ(frame_.AproposTitre->text(), "Vidorel 5.1.7 En");
}

TEST_F(AproposFrameTest, descriptionNamesTheMakerTheComponentsAndTheLastUpdate) {
    const QString text = frame_.AproposRichEdit->toPlainText();
    EXPECT_TRUE(text.contains("Vidorel version 5.1.7, language En, by Marlott"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Qt ") + qVersion())) << text.toStdString();
    EXPECT_TRUE(text.contains("GStreamer 1.")) << text.toStdString();
    EXPECT_TRUE(text.contains("libjpeg")) << text.toStdString();
    EXPECT_EQ(frame_.AproposRichEdit->font().family(), "Arial");
    EXPECT_EQ(frame_.AproposRichEdit->font().pointSize(), 8);
}

TEST_F(AproposFrameTest, lastUpdateIsWrittenInTheUsersLongDateForm) {
    {
        const LocaleScope british(QLocale(QLocale::English, QLocale::UnitedKingdom));
        EXPECT_TRUE(AproposDescription("Qt").contains(
            "Its last update was made on Wednesday, 8 November 2006."));
    }
    {
        const LocaleScope american(QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_TRUE(AproposDescription("Qt").contains(
            "Its last update was made on Wednesday, November 8, 2006."));
    }
}

TEST_F(AproposFrameTest, mailLinkCarriesTheSubjectWithTwoBlanksAndTheReport) {
    frame_.SetMailBody("Linux - kernel 6.1.\r\nSources: Cam & Mic +");
    EXPECT_EQ(frame_.MailUrl().toEncoded(),
              "mailto:support@vidorel.example.org?subject=About%20%20Vidorel%205.1.7%20En"
              "&body=Linux%20-%20kernel%206.1.%0D%0ASources%3A%20Cam%20%26%20Mic%20%2B");
    // The label links there, its ampersands written for HTML.
    EXPECT_TRUE(frame_.lienMail->text().contains(
        "href=\"mailto:support@vidorel.example.org?subject=About%20%20Vidorel%205.1.7%20En"
        "&amp;body=Linux"))
        << frame_.lienMail->text().toStdString();
    EXPECT_TRUE(frame_.lienMail->text().contains(">support@vidorel.example.org</a>"));
    EXPECT_TRUE(frame_.lienSiteWeb->text().contains("href=\"https://vidorel.example.org\""));
    EXPECT_TRUE(frame_.lienMail->openExternalLinks());
}

TEST_F(AproposFrameTest, layoutReadsCleanly) {
    frame_.PanelShown();
    EXPECT_TRUE(test::LayoutProblems(&frame_).empty())
        << Joined(test::LayoutProblems(&frame_)).toStdString();
    test::SavePictures(&frame_, "AproposFrame");
}

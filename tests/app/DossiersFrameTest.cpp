#include "app/DossiersFrame.h"
#include "settings/Preferences.h"
#include "tests/app/QtTestApp.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace vidorel;

namespace {

class RecordingPrompt : public IUserPrompt {
public:
    PromptAnswer Show(PromptKind kind, const std::string& text, PromptButtons buttons) override {
        shown.push_back({kind, text, buttons});
        return PromptAnswer::Ok;
    }
    struct Shown {
        PromptKind kind;
        std::string text;
        PromptButtons buttons;
    };
    std::vector<Shown> shown;
};

class DossiersFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::TestApp();
        // A store with no place: defaults, never written.
        CreatePreferenceList(RegistryFile(""));
        CreatePreferences();
        frame = std::make_unique<TDossiersFrame>();
        frame->ApplyEnglishTexts();
    }
    std::unique_ptr<TDossiersFrame> frame;
};

} // namespace

TEST_F(DossiersFrameTest, everyTextNamesAControlOfThePanel) {
    EXPECT_TRUE(ApplyTexts(frame.get(), DossiersTexts()).empty());
    EXPECT_EQ(frame->objectName(), "DossiersFrame");
    EXPECT_EQ(frame->size(), QSize(275, 400));
}

TEST_F(DossiersFrameTest, captionsAndHintsAreTheEnglishOnes) {
    EXPECT_EQ(frame->gbDossiers->title(), "Directories (Alt+D)");
    EXPECT_EQ(frame->gbFichier->title(), "Video Files");
    EXPECT_EQ(frame->gbFichierImages->title(), "Image Files");
    EXPECT_EQ(frame->labTapelog->text(), "Tapelog");
    EXPECT_EQ(frame->labPlugin->text(), "Plug-ins");
    EXPECT_EQ(frame->LabelVideo->text(), "LabelVideo");
    EXPECT_EQ(frame->LabelImage->text(), "LabelImage");
    EXPECT_EQ(frame->VideoRacineEdit->text(), "Video");
    EXPECT_EQ(frame->ImageRacineEdit->text(), "Image");
    EXPECT_EQ(frame->cbVideoDate->text(), "Include date");
    EXPECT_EQ(frame->cbImageDate->text(), "Include date");
    EXPECT_EQ(frame->LabelVideo->toolTip(), "Indicates the next name for capture,\n"
                                            "or the current name if capture is beeing processed.\n"
                                            "Click here to go to the Sources panel.");
    EXPECT_EQ(frame->feTapelog->toolTip(),
              "Browse your harddisk, and indicate here the path to the exefile Tapelog.\n"
              "Then you will be able to open the captured AVI clips with Tapelog by clicking on "
              "F8\nor on an icon at the bottom of the \"Sources panel\" (F2).");
    EXPECT_EQ(frame->cbImageDate->toolTip(), "Add or remove the date to the image filename");
    EXPECT_EQ(frame->sbImage->toolTip(), "Open the folder where the images are saved.");
    EXPECT_EQ(frame->dePlugin->toolTip(), "Folder where to look for plug-ins (*.pzv files)");
    EXPECT_EQ(frame->gbFichier->toolTip(), "Define the avi file for capture");
}

TEST_F(DossiersFrameTest, controlsWithoutCaptionAreNamedByTheirHint) {
    EXPECT_EQ(frame->cbVideoDate->accessibleName(), "Include date");
    EXPECT_EQ(frame->sbVideo->accessibleName(),
              "Open the folder where the videos or audios are saved");
    EXPECT_EQ(frame->VideoDirEdit->accessibleName(),
              "Choose the directory into which the captured videos or audios will be saved.");
    // The browse buttons read "..." but are named after what they choose.
    EXPECT_EQ(frame->ImageDirBtn->text(), "...");
    EXPECT_EQ(frame->ImageDirBtn->accessibleName(), "Directory in which the images are saved");
    // Boxes under a label are named by it.
    EXPECT_EQ(frame->feTapelog->accessibleName(), "Tapelog");
    EXPECT_EQ(frame->dePlugin->accessibleName(), "Plug-ins");
    EXPECT_EQ(frame->feTapelogBtn->accessibleName(),
              "Browse your harddisk, and indicate here the path to the exefile Tapelog.");
}

TEST_F(DossiersFrameTest, loadPutsEachPreferenceIntoItsControlWithoutFiringHandlers) {
    prefs::Tapelog->Value = "/opt/tapelog/tapelog";
    prefs::PluginsDir->Value = "/usr/lib/vidorel/plugins/";
    prefs::VideoDirectory->Value = "/home/ann/Clips/";
    prefs::VideoRacine->Value = "Wedding";
    prefs::VideoDate->Value = false;
    prefs::ImageDirectory->Value = "/home/ann/Stills/";
    prefs::ImageRacine->Value = "Still";
    prefs::ImageDate->Value = true;
    QSignalSpy videoDirChanged(frame->VideoDirEdit, &QLineEdit::textChanged);
    QSignalSpy imageDateClicked(frame->cbImageDate, &QCheckBox::toggled);

    frame->LoadPreferences();

    EXPECT_EQ(frame->feTapelog->text(), "/opt/tapelog/tapelog");
    EXPECT_EQ(frame->dePlugin->text(), "/usr/lib/vidorel/plugins/");
    EXPECT_EQ(frame->VideoDirEdit->text(), "/home/ann/Clips/");
    EXPECT_EQ(frame->VideoRacineEdit->text(), "Wedding");
    EXPECT_FALSE(frame->cbVideoDate->isChecked());
    EXPECT_EQ(frame->ImageDirEdit->text(), "/home/ann/Stills/");
    EXPECT_EQ(frame->ImageRacineEdit->text(), "Still");
    EXPECT_TRUE(frame->cbImageDate->isChecked());
    EXPECT_EQ(videoDirChanged.count(), 0);
    EXPECT_EQ(imageDateClicked.count(), 0);
}

TEST_F(DossiersFrameTest, storeCopiesEachControlIntoItsPreference) {
    frame->LoadPreferences();
    frame->feTapelog->setText("/a/tapelog");
    frame->dePlugin->setText("/b/plugins/");
    frame->VideoDirEdit->setText("/c/videos/");
    frame->VideoRacineEdit->setText("Clip");
    frame->cbVideoDate->setChecked(false);
    frame->ImageDirEdit->setText("/d/images/");
    frame->ImageRacineEdit->setText("Shot");
    frame->cbImageDate->setChecked(true);

    frame->StorePreferences();

    EXPECT_EQ(prefs::Tapelog->Value, "/a/tapelog");
    EXPECT_EQ(prefs::PluginsDir->Value, "/b/plugins/");
    EXPECT_EQ(prefs::VideoDirectory->Value, "/c/videos/");
    EXPECT_EQ(prefs::VideoRacine->Value, "Clip");
    EXPECT_FALSE(prefs::VideoDate->Value);
    EXPECT_EQ(prefs::ImageDirectory->Value, "/d/images/");
    EXPECT_EQ(prefs::ImageRacine->Value, "Shot");
    EXPECT_TRUE(prefs::ImageDate->Value);
}

TEST_F(DossiersFrameTest, folderBoxesTakeNoTypingButTakeTheFolderPicked) {
    frame->LoadPreferences();
    frame->show();
    EXPECT_TRUE(frame->VideoDirEdit->isReadOnly());
    EXPECT_TRUE(frame->ImageDirEdit->isReadOnly());
    EXPECT_TRUE(frame->dePlugin->isReadOnly());
    EXPECT_FALSE(frame->feTapelog->isReadOnly());

    QString askedTitle, askedStart;
    QString answer = "/media/disk/clips";
    frame->ChooseFolder = [&](const QString& title, const QString& start) {
        askedTitle = title;
        askedStart = start;
        return answer;
    };
    frame->VideoDirEdit->setText("/old/");
    QSignalSpy changed(frame->VideoDirEdit, &QLineEdit::textChanged);
    QTest::mouseClick(frame->VideoDirBtn, Qt::LeftButton);
    EXPECT_EQ(askedStart, "/old/");
    EXPECT_EQ(askedTitle,
              "Choose the directory into which the captured videos or audios will be saved.");
    EXPECT_EQ(frame->VideoDirEdit->text(), "/media/disk/clips/");
    EXPECT_EQ(changed.count(), 1);

    // A cancelled dialog leaves the folder alone; the image button fills only the image box.
    answer.clear();
    QTest::mouseClick(frame->VideoDirBtn, Qt::LeftButton);
    EXPECT_EQ(frame->VideoDirEdit->text(), "/media/disk/clips/");
    answer = "/media/disk/stills/";
    QTest::mouseClick(frame->ImageDirBtn, Qt::LeftButton);
    EXPECT_EQ(frame->ImageDirEdit->text(), "/media/disk/stills/");
    EXPECT_EQ(frame->VideoDirEdit->text(), "/media/disk/clips/");
}

TEST_F(DossiersFrameTest, tapelogNameReachesItsPreferenceWhenTypedOrPicked) {
    frame->LoadPreferences();
    frame->show();
    frame->feTapelog->clear();
    QTest::keyClicks(frame->feTapelog, "/opt/tl");
    EXPECT_EQ(prefs::Tapelog->Value, "/opt/tl");

    frame->ChooseFile = [](const QString&, const QString&) { return QString("/usr/bin/tapelog"); };
    QTest::mouseClick(frame->feTapelogBtn, Qt::LeftButton);
    EXPECT_EQ(frame->feTapelog->text(), "/usr/bin/tapelog");
    EXPECT_EQ(prefs::Tapelog->Value, "/usr/bin/tapelog");

    // The English texts put a placeholder into the box; that is no file name to keep.
    frame->ApplyEnglishTexts();
    EXPECT_EQ(frame->feTapelog->text(), "feTapelog");
    EXPECT_EQ(prefs::Tapelog->Value, "/usr/bin/tapelog");
}

TEST_F(DossiersFrameTest, anotherPluginFolderIsStoredAndTheUserToldToRestart) {
    RecordingPrompt prompt;
    frame->Prompt = &prompt;
    prefs::PluginsDir->Value = "/usr/lib/vidorel/";
    frame->LoadPreferences();

    // The same folder, picked without its trailing separator, is no change.
    frame->PluginFolderChosen("/usr/lib/vidorel");
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(prefs::PluginsDir->Value, "/usr/lib/vidorel/");

    frame->ChooseFolder = [](const QString&, const QString&) { return QString("/srv/pzv"); };
    frame->show();
    QTest::mouseClick(frame->dePluginBtn, Qt::LeftButton);
    EXPECT_EQ(prefs::PluginsDir->Value, "/srv/pzv/");
    EXPECT_EQ(frame->dePlugin->text(), "/srv/pzv/");
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].kind, PromptKind::Information);
    EXPECT_EQ(prompt.shown[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(prompt.shown[0].text, "The plug-ins found in the folder /srv/pzv/\r\n"
                                    "will only be activated on next start of Vidorel\r\n\r\n"
                                    "You should restart it now.");
}

TEST_F(DossiersFrameTest, nextNameLabelsReportTheirClick) {
    int video = 0, image = 0;
    frame->OnLabelVideoClick = [&] { ++video; };
    frame->OnLabelImageClick = [&] { ++image; };
    frame->show();
    QTest::mouseClick(frame->LabelImage, Qt::LeftButton);
    EXPECT_EQ(video, 0);
    EXPECT_EQ(image, 1);
    QTest::mouseClick(frame->LabelVideo, Qt::LeftButton);
    EXPECT_EQ(video, 1);
    EXPECT_EQ(image, 1);
}

TEST_F(DossiersFrameTest, shownPanelIsSavedForALook) {
    prefs::VideoDirectory->Value = "/home/ann/Videos/";
    prefs::ImageDirectory->Value = "/home/ann/Pictures/";
    prefs::Tapelog->Value = "/opt/tapelog/bin/tapelog";
    prefs::PluginsDir->Value = "/usr/lib/vidorel/plugins/";
    frame->LoadPreferences();
    frame->LabelVideo->setText("Video_081106_143005_0.avi");
    frame->LabelImage->setText("Image_00000.bmp");
    frame->show();
    EXPECT_TRUE(frame->grab().save("DossiersFrame.png"));
}

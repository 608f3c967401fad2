// Still grabs on the real window and engine: pictures shown and saved as BMP and JPEG under
// the next names, the replacement question, the intervalometer with its countdown and beeps,
// and image-by-image captures.
#include "app/Actions.h"
#include "app/DossiersFrame.h"
#include "app/ExtraireFrame.h"
#include "app/OptionsFrame.h"
#include "app/StatusBar.h"
#include "graph/CaptureRun.h"
#include "tests/app/WindowRecorder.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include <filesystem>

using namespace vidorel;
using namespace vidorel::test;

namespace {

// The test pattern (720 x 576 at 25 fps, a ball on black) without sound, grabbing into
// FOLDER/images/.
struct Grabber : Recorder {
    explicit Grabber(std::vector<std::pair<std::string, uint32_t>> numbers = {})
        : Recorder({{"Source video", "Vidorel Test Pattern"}, {"Source Audio", "No Audio Stream"}},
                   WithImageDefaults(std::move(numbers))) {
        static_cast<TDossiersFrame*>(form.Panel(1))
            ->ImageDirEdit->setText(folder.path() + "/images/");
        QDir().mkpath(folder.path() + "/images");
    }
    static std::vector<std::pair<std::string, uint32_t>>
    WithImageDefaults(std::vector<std::pair<std::string, uint32_t>> numbers) {
        numbers.push_back({"Image date", 0});
        return numbers;
    }
    std::string Image(const std::string& file) const {
        return folder.path().toStdString() + "/images/" + file;
    }
    // F5, then the picture on the disk.
    bool Grab() {
        const QImage before = form.GrabSaved();
        Key(Qt::Key_F5);
        return WaitFor([&] { return form.GrabSaved().cacheKey() != before.cacheKey(); }) &&
               form.WaitForImageWrites(10000);
    }
    TOptionsFrame* Options() const { return static_cast<TOptionsFrame*>(form.Panel(5)); }
};

uint32_t Le32(const QByteArray& b, int at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    }
    return v;
}

QByteArray Slurp(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(ImageGrab, F5ShowsThePictureAndSavesItAsBmpThenJpegUnderTheNextNames) {
    // The preview stretched to 16:9: a 720 x 576 frame is saved as 720 x 405.
    Grabber g({{"Elargir", 1}, {"Want Elargir", 1}, {"WideScreen", 1}, {"Want Widescreen", 1}});
    TCaptureForm& form = g.form;
    ASSERT_TRUE(form.Actions().acGrab->isEnabled());
    EXPECT_EQ(form.NextImageName(), g.Image("Image_00000.bmp"));
    ASSERT_TRUE(g.Grab());
    EXPECT_EQ(form.ActivePanel(), 3);
    EXPECT_EQ(form.GrabSaved().size(), QSize(720, 405));
    // Shown fitted into 192 x 144, standing on y = 163, centred from x = 32.
    TExtraireFrame* panel = form.ExtraireFrame();
    EXPECT_EQ(panel->Image->geometry(), QRect(32, 55, 192, 108));
    EXPECT_TRUE(panel->Bevel3->isVisibleTo(panel));

    const QByteArray bmp = Slurp(g.Image("Image_00000.bmp"));
    ASSERT_GE(bmp.size(), 54);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(Le32(bmp, 18), 720u);
    EXPECT_EQ(Le32(bmp, 22), 405u);
    EXPECT_EQ(static_cast<uint8_t>(bmp[28]), 24);
    // Rows of 720 × 3 bytes need no padding: the whole picture follows the 54-byte header.
    EXPECT_EQ(bmp.size(), 54 + 720 * 3 * 405);
    const QImage saved(QString::fromStdString(g.Image("Image_00000.bmp")));
    EXPECT_EQ(saved.pixel(4, 4), qRgb(0, 0, 0)); // the pattern's black ground
    EXPECT_EQ(form.NextImageName(), g.Image("Image_00001.bmp"));
    EXPECT_EQ(panel->destlabel->text(), "Image_00001.bmp");
    form.grab().save(QStringLiteral("window-grab.png")); // for a look by eye

    // JPEG, at the two ends of the quality range.
    g.Options()->rgExtension->SetItemIndex(1);
    g.Options()->rgExtension->OnClick(1);
    EXPECT_EQ(form.NextImageName(), g.Image("Image_00001.jpg"));
    EXPECT_EQ(form.StatusBar()->StatusInterval, "JPG - Intervalometer Off");
    g.Options()->TrackBar1->setValue(100);
    ASSERT_TRUE(g.Grab());
    g.Options()->TrackBar1->setValue(1);
    ASSERT_TRUE(g.Grab());
    for (const char* file : {"Image_00001.jpg", "Image_00002.jpg"}) {
        QImageReader reader(QString::fromStdString(g.Image(file)));
        EXPECT_EQ(reader.format(), "jpeg") << file;
        const QImage back = reader.read();
        ASSERT_EQ(back.size(), QSize(720, 405)) << file;
        EXPECT_LT(qRed(back.pixel(4, 4)), 24) << file;
    }
    // The quality reached the encoder: on this mostly black picture the one at 1 takes half
    // the bytes of the one at 100.
    EXPECT_LT(Slurp(g.Image("Image_00002.jpg")).size() * 3 / 2,
              Slurp(g.Image("Image_00001.jpg")).size());
    EXPECT_TRUE(g.prompt.shown.empty());
}

TEST(ImageGrab, theReplacementQuestionKeepsDeclinesOrStopsAsking) {
    Grabber g({{"Confirmer Image", 1}, {"Elargir", 0}, {"Want Elargir", 0}});
    TCaptureForm& form = g.form;
    const auto put = [&](const std::string& file) {
        QFile f(QString::fromStdString(g.Image(file)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    };
    put("Image_00000.bmp");
    // No: the picture is lost and the name stays.
    g.prompt.answers = {PromptAnswer::No};
    ASSERT_TRUE(g.Grab());
    ASSERT_EQ(g.prompt.shown.size(), 1u);
    EXPECT_EQ(g.prompt.shown[0],
              "The image Image_00000.bmp exists already. Do you want to replace it?\r\n"
              "If you click on \"All\", then you will no more be prompted for confirmation");
    EXPECT_EQ(Slurp(g.Image("Image_00000.bmp")), QByteArray("old"));
    EXPECT_EQ(form.NextImageName(), g.Image("Image_00000.bmp"));
    // Not stretched: saved as grabbed.
    EXPECT_EQ(form.GrabSaved().size(), QSize(720, 576));

    // Yes: replaced, and on to the next name.
    g.prompt.answers = {PromptAnswer::Yes};
    ASSERT_TRUE(g.Grab());
    EXPECT_EQ(Slurp(g.Image("Image_00000.bmp")).size(), 54 + 720 * 3 * 576);
    EXPECT_EQ(form.NextImageName(), g.Image("Image_00001.bmp"));

    // All: replaced, and never asked again.
    put("Image_00001.bmp");
    put("Image_00002.bmp");
    g.prompt.answers = {PromptAnswer::All};
    ASSERT_TRUE(g.Grab());
    EXPECT_FALSE(g.Options()->cbConfirmerImage->isChecked());
    EXPECT_FALSE(prefs::ConfirmerImage->Value);
    ASSERT_TRUE(g.Grab());
    EXPECT_EQ(g.prompt.shown.size(), 3u);
    EXPECT_EQ(Slurp(g.Image("Image_00002.bmp")).size(), 54 + 720 * 3 * 576);
}

TEST(ImageGrab, aFolderThatIsNotThereIsToldAndTheWindowGoesOn) {
    Grabber g;
    TCaptureForm& form = g.form;
    static_cast<TDossiersFrame*>(form.Panel(1))->ImageDirEdit->setText(g.folder.path() + "/none/");
    ASSERT_TRUE(g.Grab());
    Settle(100);
    ASSERT_EQ(g.prompt.shown.size(), 1u);
    EXPECT_NE(g.prompt.shown[0].find("could not be saved"), std::string::npos) << g.prompt.shown[0];
    // Told once, not at every grab that fails the same way.
    ASSERT_TRUE(g.Grab());
    Settle(100);
    EXPECT_EQ(g.prompt.shown.size(), 1u);
    EXPECT_TRUE(form.isVisible());
}

TEST(ImageGrab, theIntervalometerCountsDownBeepsGrabsAndRefusesLessThanAFrame) {
    Grabber g({{"Beeps", 1}, {"Valeur Intervallomètre", 5}, {"Unités Intervallomètre", 0}});
    TCaptureForm& form = g.form;
    TExtraireFrame* panel = form.ExtraireFrame();
    std::vector<int> beeps;
    form.Beep = [&](int seconds) { beeps.push_back(seconds); };
    panel->RxSwitch1->click();
    ASSERT_TRUE(panel->RxSwitch1->isChecked());
    EXPECT_FALSE(panel->RxSpinEdit7->isEnabled());
    EXPECT_FALSE(panel->cbUnites->isEnabled());
    EXPECT_EQ(form.StatusBar()->StatusInterval, "BMP - every 5 seconds");
    EXPECT_EQ(form.StatusBar()->IntervalColor, QColor(Qt::red));
    // 125 frames at 25 fps: the first picture after five seconds, warned at 4, 3, 2, 1.
    ASSERT_TRUE(WaitFor(
        [&] { return QFileInfo::exists(QString::fromStdString(g.Image("Image_00000.bmp"))); },
        9000));
    Settle(200);
    ASSERT_GE(beeps.size(), 5u);
    const std::vector<int> last(beeps.end() - 5, beeps.end());
    EXPECT_EQ(last, (std::vector<int>{4, 3, 2, 1, 0}));
    EXPECT_EQ(panel->chronoLab->text(), "0");
    EXPECT_TRUE(panel->chronoLab->isVisibleTo(panel));

    // The intervalometer stays on without video, its switch out of reach until video returns.
    form.SourcesFrame()->cboxvideo->setCurrentText("No video stream");
    form.cboxVideoChange();
    Settle(200);
    EXPECT_FALSE(form.Actions().acGrab->isEnabled());
    EXPECT_TRUE(panel->RxSwitch1->isChecked());
    EXPECT_FALSE(panel->RxSwitch1->isEnabled());
    form.SourcesFrame()->cboxvideo->setCurrentText("Vidorel Test Pattern");
    form.cboxVideoChange();
    Settle(200);
    EXPECT_TRUE(panel->RxSwitch1->isEnabled());
    EXPECT_TRUE(form.Actions().acGrab->isEnabled());

    panel->RxSwitch1->click();
    EXPECT_FALSE(panel->RxSwitch1->isChecked());
    EXPECT_TRUE(panel->RxSpinEdit7->isEnabled());
    EXPECT_EQ(form.StatusBar()->StatusInterval, "BMP - Intervalometer Off");

    // A period of 0 is refused with a message instead of a switch that never grabs.
    panel->RxSpinEdit7->setValue(0);
    panel->RxSwitch1->click();
    EXPECT_FALSE(panel->RxSwitch1->isChecked());
    ASSERT_FALSE(g.prompt.shown.empty());
    EXPECT_EQ(g.prompt.shown.back(), "The intervalometer needs a time interval above 0.");
    EXPECT_EQ(form.StatusBar()->StatusInterval, "BMP - Intervalometer Off");
}

TEST(ImageGrab, aPictureAtEveryFrameIsSavedInOrderWithoutStallingTheWindow) {
    Grabber g({{"Valeur Intervallomètre", 1}, {"Unités Intervallomètre", 1}});
    TCaptureForm& form = g.form;
    form.ExtraireFrame()->RxSwitch1->click();
    Settle(1000);
    form.ExtraireFrame()->RxSwitch1->click();
    ASSERT_TRUE(form.WaitForImageWrites(20000));
    Settle(100);
    // About 25 pictures in that second; slots still busy make the overlay skip frames, never
    // a name.
    const int next = std::stoi(form.NextImageName().substr(g.Image("Image_").size(), 5));
    EXPECT_GE(next, 8);
    for (int n = 0; n < next; ++n) {
        EXPECT_EQ(Slurp(g.Image(QString::asprintf("Image_%05d.bmp", n).toStdString())).size(),
                  54 + 720 * 3 * 576)
            << n;
    }
    EXPECT_TRUE(g.prompt.shown.empty());
}

TEST(ImageGrab, anImageByImageCaptureOfThreeGrabsIsAnAviOfThreeFramesAtTheChosenRate) {
    Grabber g;
    TCaptureForm& form = g.form;
    prefs::Framerate->Value = 12.5;
    g.Format("Image/image");
    g.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing)
        << (g.prompt.shown.empty() ? "" : g.prompt.shown.back());
    ASSERT_TRUE(form.ImageByImageActive());
    EXPECT_EQ(form.ExtraireFrame()->destlabel->text(), "Capture Image by Image to a video");
    const std::string clip = form.Run()->CurrentFile();
    for (int n = 0; n < 3; ++n) {
        g.Key(Qt::Key_F5);
        Settle(400);
    }
    form.DroppedActionTimer();
    EXPECT_EQ(form.StatusBar()->StatusInfo, "Image by Image: 3 frames");
    g.Key(Qt::Key_Space);
    ASSERT_TRUE(g.Stopped());
    EXPECT_FALSE(form.ImageByImageActive());
    // No image file: the frames went into the video.
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(g.Image("Image_00000.bmp"))));
    EXPECT_EQ(form.ExtraireFrame()->destlabel->text(), "Image_00000.bmp");
    const QJsonObject info = ffprobe(clip);
    ASSERT_FALSE(info.isEmpty()) << clip;
    const QJsonObject video = info["streams"].toArray()[0].toObject();
    EXPECT_EQ(video["codec_name"].toString(), "dvvideo");
    EXPECT_EQ(video["nb_read_frames"].toString(), "3");
    EXPECT_EQ(video["r_frame_rate"].toString(), "25/2");
}

// A grabbed picture's shape, and its BMP and JPEG files byte by byte.
#include "app/GrabbedImage.h"
#include "app/GrabWriter.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <vector>

using namespace vidorel;

namespace {

uint32_t Le32(const QByteArray& b, int at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    }
    return v;
}

} // namespace

TEST(GrabbedImage, theSavedShapeCutsTheLongerSide) {
    EXPECT_EQ(AspectCorrectedSize({720, 576}, 2), QSize(720, 405)); // 16:9 by the height
    EXPECT_EQ(AspectCorrectedSize({720, 576}, 1), QSize(720, 540));
    EXPECT_EQ(AspectCorrectedSize({720, 576}, 0), QSize(720, 576));
    EXPECT_EQ(AspectCorrectedSize({1920, 1080}, 1), QSize(1440, 1080)); // 4:3 by the width
    EXPECT_EQ(AspectCorrectedSize({1920, 1080}, 2), QSize(1920, 1080)); // already 16:9
    EXPECT_EQ(AspectCorrectedSize({0, -5}, 0), QSize(640, 480));
    EXPECT_EQ(AspectCorrectedSize({640, 480}, 1), QSize(640, 480)); // exactly 4:3
}

TEST(GrabbedImage, bmpIs24BitsBottomUpWithRowsPaddedToFourBytes) {
    QTemporaryDir dir;
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(0x11, 0x22, 0x33)); // top left
    picture.setPixel(1, 0, qRgb(0x44, 0x55, 0x66));
    picture.setPixel(2, 0, qRgb(0x77, 0x88, 0x99));
    picture.setPixel(0, 1, qRgb(0xaa, 0xbb, 0xcc)); // bottom left
    picture.setPixel(1, 1, qRgb(0, 0, 0));
    picture.setPixel(2, 1, qRgb(0xff, 0xfe, 0xfd));
    const std::string path = (dir.path() + "/Image_00000.bmp").toStdString();
    std::string why;
    ASSERT_TRUE(SaveBmp24(picture, path, &why)) << why;
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray b = f.readAll();
    // Rows of 3 pixels: 9 bytes padded to 12; two rows.
    ASSERT_EQ(b.size(), 54 + 24);
    EXPECT_EQ(b.left(2), QByteArray("BM"));
    EXPECT_EQ(Le32(b, 2), 78u);
    EXPECT_EQ(Le32(b, 10), 54u);
    EXPECT_EQ(Le32(b, 14), 40u);
    EXPECT_EQ(Le32(b, 18), 3u);
    EXPECT_EQ(Le32(b, 22), 2u);
    EXPECT_EQ(static_cast<uint8_t>(b[28]), 24);
    EXPECT_EQ(Le32(b, 34), 24u);
    // The first row in the file is the bottom one, each pixel blue, green, red.
    EXPECT_EQ(b.mid(54, 12), QByteArray::fromHex("ccbbaa000000fdfeff000000"));
    EXPECT_EQ(b.mid(66, 12), QByteArray::fromHex("332211665544998877000000"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path + ".part")));
}

TEST(GrabbedImage, jpegAtTheExtremeQualities_readsBackAtItsSize) {
    QTemporaryDir dir;
    QImage picture(720, 405, QImage::Format_RGB32);
    picture.fill(qRgb(200, 40, 40));
    std::string why;
    for (int quality : {1, 100}) {
        const std::string path =
            (dir.path() + QStringLiteral("/q%1.jpg").arg(quality)).toStdString();
        ASSERT_TRUE(SaveJpeg(picture, path, quality, &why)) << why;
        QImageReader reader(QString::fromStdString(path));
        EXPECT_EQ(reader.format(), "jpeg");
        EXPECT_EQ(reader.size(), QSize(720, 405));
    }
    EXPECT_LT(std::filesystem::file_size((dir.path() + "/q1.jpg").toStdString()),
              std::filesystem::file_size((dir.path() + "/q100.jpg").toStdString()));
}

TEST(GrabbedImage, aFolderThatIsNotThereIsToldAndLeavesNothing) {
    QTemporaryDir dir;
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::white);
    // A plain file where a folder should be.
    QFile blocker(dir.path() + "/plain");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString& p :
         {dir.path() + "/missing/Image_00000.bmp", dir.path() + "/plain/x.jpg"}) {
        std::string why;
        const bool ok = p.endsWith(".bmp") ? SaveBmp24(picture, p.toStdString(), &why)
                                           : SaveJpeg(picture, p.toStdString(), 50, &why);
        EXPECT_FALSE(ok) << p.toStdString();
        EXPECT_FALSE(why.empty());
        EXPECT_FALSE(QFile::exists(p));
    }
    std::string why;
    EXPECT_FALSE(SaveBmp24(QImage(), (dir.path() + "/n.bmp").toStdString(), &why));
}

TEST(GrabWriter, writesInGrabOrderAndTellsEachResult) {
    QTemporaryDir dir;
    std::mutex lock;
    std::vector<TGrabWriter::Result> results;
    TGrabWriter writer([&](const TGrabWriter::Result& r) {
        std::lock_guard g(lock);
        results.push_back(r);
    });
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int n = 0; n < 5; ++n) {
        picture.fill(qRgb(n * 50, 0, 0));
        const bool jpeg = n % 2 == 1;
        const QString name = QStringLiteral("/Image_%1.%2").arg(n).arg(jpeg ? "jpg" : "bmp");
        ASSERT_TRUE(writer.Save({picture, (dir.path() + name).toStdString(), jpeg, 90}));
    }
    // The folder that is not there: told, the others unharmed.
    ASSERT_TRUE(writer.Save({picture, (dir.path() + "/gone/Image_5.bmp").toStdString()}));
    ASSERT_TRUE(writer.WaitIdle(10000));
    EXPECT_EQ(writer.Pending(), 0u);
    ASSERT_EQ(results.size(), 6u);
    for (int n = 0; n < 5; ++n) {
        EXPECT_TRUE(results[n].Ok) << results[n].Why;
        EXPECT_NE(results[n].Path.find("Image_" + std::to_string(n) + "."), std::string::npos);
        const QImage back(QString::fromStdString(results[n].Path));
        ASSERT_EQ(back.size(), QSize(64, 48)) << n;
        EXPECT_NEAR(qRed(back.pixel(32, 24)), n * 50, 3) << n;
    }
    EXPECT_FALSE(results[5].Ok);
    EXPECT_FALSE(results[5].Why.empty());
}

TEST(GrabWriter, refusesPicturesBeyondItsBoundWhileTheDiskLagsBehind) {
    QTemporaryDir dir;
    std::mutex gate;
    gate.lock(); // the first picture's report waits here: the writer is held up
    TGrabWriter writer([&](const TGrabWriter::Result&) { std::lock_guard g(gate); }, 3);
    const QImage picture(16, 16, QImage::Format_RGB32);
    const auto path = [&](int n) { return (dir.path() + QString("/%1.bmp").arg(n)).toStdString(); };
    EXPECT_TRUE(writer.Save({picture, path(0)}));
    EXPECT_TRUE(writer.Save({picture, path(1)}));
    EXPECT_TRUE(writer.Save({picture, path(2)}));
    EXPECT_FALSE(writer.Save({picture, path(3)}));
    EXPECT_EQ(writer.Pending(), 3u);
    gate.unlock();
    ASSERT_TRUE(writer.WaitIdle(10000));
    EXPECT_TRUE(std::filesystem::exists(path(2)));
    EXPECT_FALSE(std::filesystem::exists(path(3)));
    EXPECT_TRUE(writer.Save({picture, path(3)}));
}

TEST(GrabbedImage, theCombIsTakenOutOnlyWhenAsked) {
    // Interlaced motion: even rows white, odd rows black, in the overlay's 32-bit format.
    QImage frame(16, 8, QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            frame.setPixel(x, y, y % 2 == 0 ? qRgb(250, 250, 250) : qRgb(0, 0, 0));
        }
    }
    DeinterlaceScratch scratch;
    const QImage kept = GrabbedPicture(frame, false, scratch);
    ASSERT_EQ(kept.format(), QImage::Format_RGB888);
    EXPECT_EQ(kept.pixel(5, 3), qRgb(0, 0, 0));
    const QImage smooth = GrabbedPicture(frame, true, scratch);
    ASSERT_EQ(smooth.size(), QSize(16, 8));
    EXPECT_EQ(qRed(smooth.pixel(5, 3)), 250); // the mean of the rows above and below
    EXPECT_EQ(qRed(smooth.pixel(5, 2)), 250); // even rows are left as they are
    EXPECT_EQ(qRed(smooth.pixel(5, 7)), 0);   // the last row has nothing below it
    // The copy is the program's own: the frame can go back to the overlay.
    frame.fill(Qt::red);
    EXPECT_EQ(kept.pixel(5, 2), qRgb(250, 250, 250));
}

TEST(GrabbedImage, aPictureIsStretchedToTheShapeOfItsMode) {
    QImage picture(720, 576, QImage::Format_RGB888);
    picture.fill(Qt::green);
    EXPECT_EQ(ShapedPicture(picture, 2).size(), QSize(720, 405));
    EXPECT_EQ(ShapedPicture(picture, 1).size(), QSize(720, 540));
    EXPECT_EQ(ShapedPicture(picture, 0).size(), QSize(720, 576));
    EXPECT_EQ(ShapedPicture(picture, 2).pixel(360, 200), QColor(Qt::green).rgb());
}

// A grabbed picture's shape, and its BMP and JPEG files byte by byte.
#include "app/GrabbedImage.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstdint>
#include <filesystem>

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

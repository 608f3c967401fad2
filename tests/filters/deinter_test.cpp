#include "filters/deinter.h"

#include <gtest/gtest.h>

#include <vector>

namespace vidorel {
namespace {

struct Picture {
    int width;
    int height;
    int bpp;
    std::vector<uint8_t> bytes;
    Picture(int w, int h, int bitsPerPixel = 24, uint8_t fill = 0)
        : width(w), height(h), bpp(bitsPerPixel),
          bytes(static_cast<std::size_t>(w * h * bitsPerPixel / 8 + 16), fill) {}
    BitmapView view() {
        const std::ptrdiff_t stride = width * bpp / 8;
        return BitmapView{bytes.data(), width, height, stride, bpp};
    }
    // The picture without the guard bytes after it.
    std::vector<uint8_t> pixels() const {
        return {bytes.begin(), bytes.begin() + width * height * bpp / 8};
    }
    uint8_t* px(int x, int y) { return bytes.data() + (y * width + x) * (bpp / 8); }
    void setRow(int y, uint8_t v) {
        for (int x = 0; x < width; ++x) {
            px(x, y)[0] = px(x, y)[1] = px(x, y)[2] = v;
        }
    }
};

TEST(Deinterlace, fullComb_turnsEveryOddLineButTheLastWhite) {
    Picture src(16, 7);
    for (int y = 0; y < 7; y += 2) {
        src.setRow(y, 255);
    }
    Picture dst(16, 7);
    DeinterlaceScratch scratch;
    ASSERT_TRUE(DeinterlaceBitmap(src.view(), dst.view(), scratch));
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(dst.px(x, y)[1], 255) << x << "," << y;
        }
    }

    Picture evenHeight(4, 6);
    for (int y = 0; y < 6; y += 2) {
        evenHeight.setRow(y, 255);
    }
    Picture out(4, 6);
    ASSERT_TRUE(DeinterlaceBitmap(evenHeight.view(), out.view(), scratch));
    EXPECT_EQ(out.px(2, 3)[0], 255);
    EXPECT_EQ(out.px(2, 5)[0], 0) << "the last row has no line below and is kept";
}

TEST(Deinterlace, loneCombedPixel_isLeftAlone_butAPairIsRepaired) {
    Picture src(9, 3, 24, 100);
    src.px(4, 1)[1] = 0; // green dip: 6 * 100 * 100 > threshold
    Picture dst(9, 3);
    DeinterlaceScratch scratch;
    ASSERT_TRUE(DeinterlaceBitmap(src.view(), dst.view(), scratch));
    EXPECT_EQ(dst.pixels(), src.pixels());

    src.px(5, 1)[1] = 0;
    ASSERT_TRUE(DeinterlaceBitmap(src.view(), dst.view(), scratch));
    EXPECT_EQ(dst.px(4, 1)[1], 100);
    EXPECT_EQ(dst.px(5, 1)[1], 100);
}

TEST(Deinterlace, repair_isTheTruncatedMeanOfTheSourceNeighbours) {
    Picture src(2, 3);
    src.setRow(0, 201);
    src.setRow(1, 0);
    src.setRow(2, 100);
    Picture dst(2, 3);
    DeinterlaceScratch scratch;
    ASSERT_TRUE(DeinterlaceBitmap(src.view(), dst.view(), scratch));
    EXPECT_EQ(dst.px(0, 1)[0], 150);
    EXPECT_EQ(dst.px(1, 1)[2], 150);
}

TEST(Deinterlace, uniformPictureHeightTwoAndOtherDepths_areCopiedUnchanged) {
    DeinterlaceScratch scratch;
    Picture uniform(32, 8, 24, 77);
    Picture out(32, 8);
    ASSERT_TRUE(DeinterlaceBitmap(uniform.view(), out.view(), scratch));
    EXPECT_EQ(out.pixels(), uniform.pixels());

    Picture two(8, 2);
    two.setRow(0, 255);
    Picture outTwo(8, 2);
    ASSERT_TRUE(DeinterlaceBitmap(two.view(), outTwo.view(), scratch));
    EXPECT_EQ(outTwo.pixels(), two.pixels());

    Picture gray(8, 5, 8);
    for (int y = 0; y < 5; y += 2) {
        std::fill_n(gray.px(0, y), 8, 255);
    }
    Picture outGray(8, 5, 8);
    ASSERT_TRUE(DeinterlaceBitmap(gray.view(), outGray.view(), scratch));
    EXPECT_EQ(outGray.pixels(), gray.pixels());
}

TEST(Deinterlace, mismatchedDestination_isRefusedUntouched) {
    Picture src(8, 4);
    Picture dst(8, 3, 24, 9);
    DeinterlaceScratch scratch;
    EXPECT_FALSE(DeinterlaceBitmap(src.view(), dst.view(), scratch));
    EXPECT_EQ(dst.bytes, std::vector<uint8_t>(dst.bytes.size(), 9));
}

TEST(Mirror, mirrorCopyAndInPlaceMirror_swapColumns) {
    Picture src(3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            src.px(x, y)[0] = static_cast<uint8_t>(10 * y + x);
        }
    }
    Picture dst(3, 2);
    ASSERT_TRUE(MirrorCopyBitmap(src.view(), dst.view()));
    EXPECT_EQ(dst.px(0, 1)[0], 12);
    EXPECT_EQ(dst.px(1, 1)[0], 11);
    EXPECT_EQ(dst.px(2, 0)[0], 0);

    MirrorBitmap(src.view());
    EXPECT_EQ(src.pixels(), dst.pixels());

    Picture copy(3, 2);
    ASSERT_TRUE(CopyBitmapPixels(src.view(), copy.view()));
    EXPECT_EQ(copy.pixels(), src.pixels());
}

TEST(Mirror, mirrorCopyIntoANarrowerPicture_dropsWhatFallsOutside) {
    Picture src(4, 1);
    for (int x = 0; x < 4; ++x) {
        src.px(x, 0)[0] = static_cast<uint8_t>(x + 1);
    }
    Picture dst(2, 1);
    ASSERT_TRUE(MirrorCopyBitmap(src.view(), dst.view()));
    EXPECT_EQ(dst.px(0, 0)[0], 2);
    EXPECT_EQ(dst.px(1, 0)[0], 1);
    EXPECT_EQ(dst.bytes[6], 0) << "nothing written past the destination";
}

} // namespace
} // namespace vidorel

#include "filters/deinter.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vidorel {
namespace {

struct Picture {
    int width;
    int height;
    int bpp;
    int pad; // bytes after each row, inside the stride
    std::vector<uint8_t> bytes;
    Picture(int w, int h, int bitsPerPixel = 24, uint8_t fill = 0, int rowPad = 0)
        : width(w), height(h), bpp(bitsPerPixel), pad(rowPad),
          bytes(static_cast<std::size_t>(h * (w * bitsPerPixel / 8 + rowPad) + 16), fill) {}
    std::ptrdiff_t stride() const { return width * bpp / 8 + pad; }
    BitmapView view() { return BitmapView{bytes.data(), width, height, stride(), bpp}; }
    // The picture without the padding and the guard bytes after it.
    std::vector<uint8_t> pixels() const {
        std::vector<uint8_t> out;
        for (int y = 0; y < height; ++y) {
            const auto row = bytes.begin() + y * stride();
            out.insert(out.end(), row, row + width * bpp / 8);
        }
        return out;
    }
    uint8_t* px(int x, int y) { return bytes.data() + y * stride() + x * (bpp / 8); }
    const uint8_t* px(int x, int y) const { return bytes.data() + y * stride() + x * (bpp / 8); }
    void setRow(int y, uint8_t v) {
        for (int x = 0; x < width; ++x) {
            px(x, y)[0] = px(x, y)[1] = px(x, y)[2] = v;
        }
    }
};

// The rule written out pixel by pixel: weighted products 1 (blue), 6 (green), 3 (red) summed
// above 2000 mark a pixel, a marked pixel next to another marked one gets the mean of the pixels
// above and below, rounded down.
std::vector<uint8_t> referenceDeinterlace(const Picture& src) {
    Picture out = src;
    const int weights[3] = {1, 6, 3};
    for (int y = 1; y + 1 < src.height; y += 2) {
        std::vector<bool> combed(src.width);
        for (int x = 0; x < src.width; ++x) {
            int sum = 0;
            for (int k = 0; k < 3; ++k) {
                const int above = src.px(x, y - 1)[k];
                const int line = src.px(x, y)[k];
                const int below = src.px(x, y + 1)[k];
                sum += weights[k] * (above - line) * (below - line);
            }
            combed[x] = sum > 2000;
        }
        for (int x = 0; x < src.width; ++x) {
            const bool left = x > 0 && combed[x - 1];
            const bool right = x < src.width - 1 && combed[x + 1];
            if (combed[x] && (left || right)) {
                for (int k = 0; k < 3; ++k) {
                    out.px(x, y)[k] =
                        static_cast<uint8_t>((src.px(x, y - 1)[k] + src.px(x, y + 1)[k]) / 2);
                }
            }
        }
    }
    return out.pixels();
}

enum class Content { Noise, FewLevels, Fields };

// Noise combs a good share of the pixels at random; a handful of levels gives many equal bytes and
// products close to the threshold; fields are bright and dark lines with random patches where
// the odd line follows its neighbours, the way a moving edge looks.
void fill(Picture& pic, Content content, std::mt19937& rng) {
    static const uint8_t levels[] = {0, 23, 40, 87, 100, 101, 123, 140, 150, 187, 255};
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> level(0, sizeof levels - 1);
    std::uniform_int_distribution<int> small(-6, 6);
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const bool follows = byte(rng) < 96;
            for (int k = 0; k < pic.bpp / 8; ++k) {
                uint8_t& v = pic.px(x, y)[k];
                switch (content) {
                case Content::Noise:
                    v = static_cast<uint8_t>(byte(rng));
                    break;
                case Content::FewLevels:
                    v = levels[level(rng)];
                    break;
                case Content::Fields:
                    if (y % 2 == 0) {
                        v = static_cast<uint8_t>(200 + small(rng));
                    } else {
                        v = static_cast<uint8_t>(follows ? 200 + small(rng) : 40 + small(rng));
                    }
                    break;
                }
            }
        }
    }
}

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

// The bytes of the picture's buffer that are not pixels: row padding and the guard after it.
std::vector<uint8_t> outside(const Picture& pic) {
    std::vector<uint8_t> out;
    for (int y = 0; y < pic.height; ++y) {
        const auto rowEnd = pic.bytes.begin() + y * pic.stride() + pic.width * pic.bpp / 8;
        out.insert(out.end(), rowEnd, rowEnd + pic.pad);
    }
    out.insert(out.end(), pic.bytes.end() - 16, pic.bytes.end());
    return out;
}

TEST(Deinterlace, randomAndPatternedPictures_matchTheReference_outOfPlaceAndInPlace) {
    std::mt19937 rng(20240611);
    // One scratch for all: a narrower picture after a wider one finds the wider rows in it.
    DeinterlaceScratch scratch;
    const int widths[] = {37, 1, 2, 3, 4, 5, 7, 16, 17, 2, 31, 64, 1, 100, 3};
    const int heights[] = {1, 2, 3, 4, 5, 8, 9};
    int changed = 0;
    for (int bpp : {24, 32}) {
        for (int w : widths) {
            for (int h : heights) {
                for (Content content : {Content::Noise, Content::FewLevels, Content::Fields}) {
                    for (int pad : {0, 3}) {
                        SCOPED_TRACE(::testing::Message()
                                     << bpp << " bits, " << w << "x" << h << ", content "
                                     << static_cast<int>(content) << ", pad " << pad);
                        Picture src(w, h, bpp, 0, pad);
                        fill(src, content, rng);
                        const std::vector<uint8_t> expected = referenceDeinterlace(src);
                        changed += expected != src.pixels();

                        Picture dst(w, h, bpp, 0xAB, pad);
                        ASSERT_TRUE(DeinterlaceBitmap(src.view(), dst.view(), scratch));
                        EXPECT_EQ(dst.pixels(), expected);
                        EXPECT_EQ(outside(dst), std::vector<uint8_t>(outside(dst).size(), 0xAB));

                        Picture same = src;
                        ASSERT_TRUE(DeinterlaceBitmap(same.view(), same.view(), scratch));
                        EXPECT_EQ(same.pixels(), expected);
                        EXPECT_EQ(outside(same), outside(src));
                    }
                }
            }
        }
    }
    EXPECT_GT(changed, 200) << "the pictures must give the repair something to do";
}

TEST(Deinterlace, upsideDownView_matchesTheReferenceOfTheFlippedPicture) {
    std::mt19937 rng(7);
    Picture src(23, 7, 24, 0, 2);
    fill(src, Content::Noise, rng);
    Picture flipped(23, 7, 24, 0, 2);
    for (int y = 0; y < 7; ++y) {
        std::copy_n(src.px(0, 6 - y), 23 * 3, flipped.px(0, y));
    }
    const std::vector<uint8_t> expected = referenceDeinterlace(flipped);

    // The last row first, with a negative stride.
    BitmapView view = src.view();
    view.bits += 6 * view.stride;
    view.stride = -view.stride;
    Picture dst(23, 7);
    DeinterlaceScratch scratch;
    ASSERT_TRUE(DeinterlaceBitmap(view, dst.view(), scratch));
    EXPECT_EQ(dst.pixels(), expected);

    ASSERT_TRUE(DeinterlaceBitmap(view, view, scratch));
    for (int y = 0; y < 7; ++y) {
        EXPECT_TRUE(std::equal(src.px(0, 6 - y), src.px(0, 6 - y) + 23 * 3, dst.px(0, y))) << y;
    }
}

// Two equal pixels per row, so the isolation filter keeps whatever the comb test marks. The
// channels are blue, green, red.
struct ThresholdCase {
    uint8_t above[3];
    uint8_t line[3];
    uint8_t below[3];
    int sum; // 1 * blue + 6 * green + 3 * red product
};

TEST(Deinterlace, weightedSumOf2000_isNotCombed_2001_is) {
    const ThresholdCase cases[] = {
        // blue 40 * 50
        {{140, 100, 100}, {100, 100, 100}, {150, 100, 100}, 2000},
        // blue 23 * 87
        {{123, 100, 100}, {100, 100, 100}, {187, 100, 100}, 2001},
        // green 6 * 9 * 37 and blue 1 * 2, then 1 * 3
        {{101, 109, 100}, {100, 100, 100}, {102, 137, 100}, 2000},
        {{101, 109, 100}, {100, 100, 100}, {103, 137, 100}, 2001},
        // red 3 * 18 * 37 and blue 1 * 2, then 1 * 3
        {{101, 100, 118}, {100, 100, 100}, {102, 100, 137}, 2000},
        {{101, 100, 118}, {100, 100, 100}, {103, 100, 137}, 2001},
        // green 6 * 20 * 20 against blue 20 * -20, then 21 * -19
        {{120, 120, 100}, {100, 100, 100}, {80, 120, 100}, 2000},
        {{121, 120, 100}, {100, 100, 100}, {81, 120, 100}, 2001},
        // red 3 * 155 * 155 against green 6 * 146 * -80 (far beyond 16 bits), blue 1 * 5, 2 * 3
        {{101, 246, 255}, {100, 100, 100}, {105, 20, 255}, 2000},
        {{102, 246, 255}, {100, 100, 100}, {103, 20, 255}, 2001},
    };
    DeinterlaceScratch scratch;
    for (const ThresholdCase& c : cases) {
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(::testing::Message()
                         << "sum " << c.sum << ", " << bpp << " bits, above " << int(c.above[0])
                         << "," << int(c.above[1]) << "," << int(c.above[2]));
            Picture src(2, 3, bpp, 0x5A);
            for (int x = 0; x < 2; ++x) {
                std::copy_n(c.above, 3, src.px(x, 0));
                std::copy_n(c.line, 3, src.px(x, 1));
                std::copy_n(c.below, 3, src.px(x, 2));
            }
            Picture dst(2, 3, bpp);
            ASSERT_TRUE(DeinterlaceBitmap(src.view(), dst.view(), scratch));
            for (int x = 0; x < 2; ++x) {
                for (int k = 0; k < 3; ++k) {
                    const int mean = (c.above[k] + c.below[k]) / 2;
                    EXPECT_EQ(dst.px(x, 1)[k], c.sum > 2000 ? mean : c.line[k]) << x << "," << k;
                }
                if (bpp == 32) {
                    EXPECT_EQ(dst.px(x, 1)[3], 0x5A);
                }
            }
        }
    }
}

TEST(Deinterlace, isolation_needsACombedLeftOrRightNeighbour_alsoAtTheRowEnds) {
    // Each string is one line of five pixels: '#' combed (green 0 between two 100s), '.' flat.
    const struct {
        const char* line;
        const char* repaired;
    } cases[] = {
        {"#....", "....."}, {"##...", "##..."}, {"....#", "....."}, {"...##", "...##"},
        {"#.#.#", "....."}, {"###..", "###.."}, {".#.##", "...##"}, {"#####", "#####"},
    };
    DeinterlaceScratch scratch;
    for (const auto& c : cases) {
        Picture src(5, 3, 24, 100);
        for (int x = 0; x < 5; ++x) {
            if (c.line[x] == '#') {
                src.px(x, 1)[1] = 0;
            }
        }
        Picture dst(5, 3);
        ASSERT_TRUE(DeinterlaceBitmap(src.view(), dst.view(), scratch));
        for (int x = 0; x < 5; ++x) {
            const bool repaired = c.repaired[x] == '#';
            EXPECT_EQ(dst.px(x, 1)[1], repaired ? 100 : src.px(x, 1)[1]) << c.line << " at " << x;
        }
    }
}

TEST(Deinterlace, bgrxPixels_giveTheBgrResult_andKeepTheFourthByte) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> byte(0, 255);
    DeinterlaceScratch scratch;
    for (const auto& [w, h] : {std::pair{17, 9}, {2, 3}, {1, 5}, {64, 8}, {3, 3}}) {
        SCOPED_TRACE(::testing::Message() << w << "x" << h);
        Picture bgr(w, h, 24);
        fill(bgr, Content::FewLevels, rng);
        Picture bgrx(w, h, 32);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                std::copy_n(bgr.px(x, y), 3, bgrx.px(x, y));
                bgrx.px(x, y)[3] = static_cast<uint8_t>(byte(rng));
            }
        }
        Picture outBgr(w, h, 24);
        ASSERT_TRUE(DeinterlaceBitmap(bgr.view(), outBgr.view(), scratch));
        if (w >= 17) {
            EXPECT_NE(outBgr.pixels(), bgr.pixels()) << "something must have been repaired";
        }
        Picture outBgrx(w, h, 32, 0xAB);
        ASSERT_TRUE(DeinterlaceBitmap(bgrx.view(), outBgrx.view(), scratch));
        Picture inPlace = bgrx;
        ASSERT_TRUE(DeinterlaceBitmap(inPlace.view(), inPlace.view(), scratch));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                for (int k = 0; k < 3; ++k) {
                    EXPECT_EQ(outBgrx.px(x, y)[k], outBgr.px(x, y)[k]) << x << "," << y;
                    EXPECT_EQ(inPlace.px(x, y)[k], outBgr.px(x, y)[k]) << x << "," << y;
                }
                EXPECT_EQ(outBgrx.px(x, y)[3], bgrx.px(x, y)[3]) << x << "," << y;
                EXPECT_EQ(inPlace.px(x, y)[3], bgrx.px(x, y)[3]) << x << "," << y;
            }
        }
    }
}

TEST(Deinterlace, emptyPictures_areAcceptedAndNothingIsWritten) {
    for (int bpp : {24, 32}) {
        for (const auto& [w, h] : {std::pair{0, 5}, {7, 0}, {0, 0}}) {
            SCOPED_TRACE(::testing::Message() << bpp << " bits, " << w << "x" << h);
            Picture src(w, h, bpp, 1);
            Picture dst(w, h, bpp, 9);
            DeinterlaceScratch fresh;
            EXPECT_TRUE(DeinterlaceBitmap(src.view(), dst.view(), fresh));
            EXPECT_TRUE(DeinterlaceBitmap(dst.view(), dst.view(), fresh));
            EXPECT_EQ(dst.bytes, std::vector<uint8_t>(dst.bytes.size(), 9));
        }
    }
}

TEST(Deinterlace, otherDepthsInPlace_areLeftAsTheyAre) {
    Picture wide(6, 5, 16);
    for (int y = 0; y < 5; y += 2) {
        std::fill_n(wide.px(0, y), 12, 255);
    }
    const std::vector<uint8_t> before = wide.bytes;
    DeinterlaceScratch scratch;
    ASSERT_TRUE(DeinterlaceBitmap(wide.view(), wide.view(), scratch));
    EXPECT_EQ(wide.bytes, before);

    Picture out(6, 5, 16, 9);
    ASSERT_TRUE(DeinterlaceBitmap(wide.view(), out.view(), scratch));
    EXPECT_EQ(out.pixels(), wide.pixels());
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

// A value per byte position that differs between neighbouring pixels, rows and channels.
uint8_t marker(int x, int y, int k) {
    return static_cast<uint8_t>(1 + 5 * x + 67 * y + 17 * k + (x >> 6));
}

void mark(Picture& pic) {
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            for (int k = 0; k < pic.bpp / 8; ++k) {
                pic.px(x, y)[k] = marker(x, y, k);
            }
        }
    }
}

TEST(Mirror, inPlaceMirror_movesEveryPixelToItsMirrorColumn) {
    for (int bpp : {8, 16, 24, 32, 48}) {
        for (int w : {1, 2, 3, 4, 5, 8, 9, 40}) {
            for (int h : {1, 2, 3}) {
                SCOPED_TRACE(::testing::Message() << bpp << " bits, " << w << "x" << h);
                Picture pic(w, h, bpp, 0xCD, 3);
                mark(pic);
                MirrorBitmap(pic.view());
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        for (int k = 0; k < bpp / 8; ++k) {
                            ASSERT_EQ(pic.px(x, y)[k], marker(w - 1 - x, y, k))
                                << x << "," << y << "," << k;
                        }
                    }
                }
                EXPECT_EQ(outside(pic), std::vector<uint8_t>(outside(pic).size(), 0xCD));
            }
        }
    }
}

TEST(Flip, flipBitmap_movesEveryRowToItsMirrorRow) {
    // 1500 pixels of 32 bits make rows longer than the piece the rows are exchanged through.
    for (int bpp : {24, 32}) {
        for (int w : {1, 2, 3, 5, 1500}) {
            for (int h : {1, 2, 3, 4, 5}) {
                SCOPED_TRACE(::testing::Message() << bpp << " bits, " << w << "x" << h);
                Picture pic(w, h, bpp, 0xCD, 3);
                mark(pic);
                FlipBitmap(pic.view());
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        for (int k = 0; k < bpp / 8; ++k) {
                            ASSERT_EQ(pic.px(x, y)[k], marker(x, h - 1 - y, k))
                                << x << "," << y << "," << k;
                        }
                    }
                }
                EXPECT_EQ(outside(pic), std::vector<uint8_t>(outside(pic).size(), 0xCD));
            }
        }
    }
}

} // namespace
} // namespace vidorel

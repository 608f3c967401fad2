#include "filters/deinter.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vidorel {

namespace {

// A line that differs from both neighbours in the same direction makes every product
// positive; green weighs most because the eye is most sensitive to it.
constexpr int kCombThreshold = 2000;
constexpr int16_t kBlueWeight = 1;
constexpr int16_t kGreenWeight = 6;
constexpr int16_t kRedWeight = 3;

// The widest pixel the deinterlacer works on: blue, green, red and an unused byte.
constexpr std::size_t kMaxPixelBytes = 4;
// The 32-bit word whose first three bytes in memory are 0xFF and the fourth 0.
constexpr uint32_t kColourBytes =
    std::endian::native == std::endian::little ? 0x00FFFFFFu : 0xFFFFFF00u;

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
// The frame loop is built for three instruction sets and the widest one the processor has is
// chosen when the program loads: with the wider vectors and their byte shuffles a frame takes
// half the time or less; the baseline build still runs on every 64-bit x86 processor.
#define VIDOREL_VECTOR_CLONES                                                                      \
    __attribute__((target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")))
#else
#define VIDOREL_VECTOR_CLONES
#endif

bool sameShape(const BitmapView& a, const BitmapView& b) {
    return a.bits && b.bits && a.width == b.width && a.height == b.height &&
           a.bitsPerPixel == b.bitsPerPixel && a.width >= 0 && a.height >= 0;
}

bool samePixels(const BitmapView& a, const BitmapView& b) {
    return a.bits == b.bits && a.stride == b.stride;
}

void copyRows(const BitmapView& src, const BitmapView& dst, int width, int height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * (src.bitsPerPixel / 8);
    for (int y = 0; y < height; ++y) {
        std::memmove(dst.row(y), src.row(y), bytes);
    }
}

struct RowScratch {
    uint8_t* mask;     // kMaxPixelBytes zero bytes, the row's mask, kMaxPixelBytes zero bytes
    int32_t* products; // per byte of the row
    int16_t* weights;  // per byte of the row
};

// The stages below are written as plain loops over the row so that the compiler vectorises
// them; they are inlined into each instruction-set build of the frame loop.

// products[i] := weight of byte i * (above[i] - line[i]) * (below[i] - line[i]). Over the
// flat row, because taking three-byte pixels apart costs more than the multiplications; the
// weight goes into a 16-bit factor (at most 6 * 255) so that one widening multiply remains.
[[gnu::always_inline]] inline void
weighProducts(const uint8_t* __restrict above, const uint8_t* __restrict line,
              const uint8_t* __restrict below, const int16_t* __restrict weights,
              int32_t* __restrict products, std::size_t rowBytes) {
    for (std::size_t i = 0; i < rowBytes; ++i) {
        const auto up = static_cast<int16_t>(weights[i] * (above[i] - line[i]));
        const auto down = static_cast<int16_t>(below[i] - line[i]);
        products[i] = int32_t(up) * down;
    }
}

// mask := 0xFF for the three colour bytes of every combed pixel, 0 for the others and for the
// fourth byte of a 32-bit pixel, so that the repair leaves that byte as it is. A mask per byte
// rather than per pixel lets the repair run over the flat row.
template <int Bpp>
[[gnu::always_inline]] inline void markCombed(const int32_t* __restrict products,
                                              uint8_t* __restrict mask, int width) {
    for (int x = 0; x < width; ++x) {
        const int32_t* p = products + Bpp * x;
        const bool combed = p[0] + p[1] + p[2] > kCombThreshold;
        if constexpr (Bpp == 4) {
            // One word per pixel: four separate byte stores would not vectorise as well.
            const uint32_t word = combed ? kColourBytes : 0;
            std::memcpy(mask + Bpp * x, &word, sizeof word);
        } else {
            const uint8_t byte = combed ? 0xFF : 0;
            mask[Bpp * x] = byte;
            mask[Bpp * x + 1] = byte;
            mask[Bpp * x + 2] = byte;
        }
    }
}

// out := the line with each combed pixel that has a combed left or right neighbour replaced by
// the truncated mean of the pixels above and below; a lone combed pixel is more likely detail
// than comb. The zero bytes around the mask stand for the missing neighbours at the edges.
// out may be the line itself: each byte is read before it is written, and only there.
template <int Bpp>
[[gnu::always_inline]] inline void repairCombed(const uint8_t* above, const uint8_t* line,
                                                const uint8_t* below, const uint8_t* mask,
                                                uint8_t* out, std::size_t rowBytes) {
#pragma GCC ivdep
    for (std::size_t i = 0; i < rowBytes; ++i) {
        const uint8_t repair = mask[i] & (mask[i - Bpp] | mask[i + Bpp]);
        // (above + below) >> 1 without leaving 8 bits.
        const uint8_t mean = (above[i] & below[i]) + ((above[i] ^ below[i]) >> 1);
        out[i] = (mean & repair) | (line[i] & ~repair);
    }
}

template <int Bpp>
[[gnu::always_inline]] inline void deinterlaceRows(const BitmapView& src, const BitmapView& dst,
                                                   const RowScratch& scratch) {
    const std::size_t rowBytes = src.rowBytes();
    const bool inPlace = samePixels(src, dst);
    const int16_t pattern[4] = {kBlueWeight, kGreenWeight, kRedWeight, 0};
    for (std::size_t i = 0; i < rowBytes; ++i) {
        scratch.weights[i] = pattern[i % Bpp];
    }
    // Nothing writes the bytes before the row, but those after it may still hold a wider row.
    uint8_t* mask = scratch.mask + kMaxPixelBytes;
    std::fill_n(mask + rowBytes, kMaxPixelBytes, 0);

    // Each odd row but the last depends only on its own neighbours in the source, and the even
    // rows are never changed, so one pass over the rows also works in place.
    for (int y = 0; y < src.height; ++y) {
        if (y % 2 == 1 && y + 1 < src.height) {
            const uint8_t* above = src.row(y - 1);
            const uint8_t* line = src.row(y);
            const uint8_t* below = src.row(y + 1);
            weighProducts(above, line, below, scratch.weights, scratch.products, rowBytes);
            markCombed<Bpp>(scratch.products, mask, src.width);
            repairCombed<Bpp>(above, line, below, mask, dst.row(y), rowBytes);
        } else if (!inPlace) {
            std::memcpy(dst.row(y), src.row(y), rowBytes);
        }
    }
}

VIDOREL_VECTOR_CLONES void deinterlaceFrame(const BitmapView& src, const BitmapView& dst,
                                            const RowScratch& scratch) {
    if (src.bitsPerPixel == 24) {
        deinterlaceRows<3>(src, dst, scratch);
    } else {
        deinterlaceRows<4>(src, dst, scratch);
    }
}

} // namespace

void DeinterlaceScratch::reserve(int width) {
    const std::size_t rowBytes = static_cast<std::size_t>(std::max(width, 0)) * kMaxPixelBytes;
    // The zero bytes around the mask are needed even for an empty row.
    if (combMask_.size() < rowBytes + 2 * kMaxPixelBytes) {
        combMask_.resize(rowBytes + 2 * kMaxPixelBytes);
        products_.resize(rowBytes);
        weights_.resize(rowBytes);
    }
}

bool DeinterlaceBitmap(const BitmapView& src, const BitmapView& dst, DeinterlaceScratch& scratch) {
    if (!sameShape(src, dst)) {
        return false;
    }
    if (src.bitsPerPixel == 24 || src.bitsPerPixel == 32) {
        scratch.reserve(src.width);
        deinterlaceFrame(src, dst,
                         RowScratch{scratch.combMask_.data(), scratch.products_.data(),
                                    scratch.weights_.data()});
    } else if (!samePixels(src, dst)) {
        copyRows(src, dst, src.width, src.height);
    }
    return true;
}

bool CopyBitmapPixels(const BitmapView& src, const BitmapView& dst) {
    if (!src.bits || !dst.bits || src.bitsPerPixel != dst.bitsPerPixel) {
        return false;
    }
    copyRows(src, dst, std::min(src.width, dst.width), std::min(src.height, dst.height));
    return true;
}

namespace {

// One row mirrored with the pixel size known at compile time, so the moves stay at memory speed.
template <int Bpp> void mirrorRow(const uint8_t* in, uint8_t* lastOut, int width) {
    uint8_t* out = lastOut;
    for (int x = 0; x < width; ++x, in += Bpp, out -= Bpp) {
        for (int k = 0; k < Bpp; ++k) {
            out[k] = in[k];
        }
    }
}

// Swaps the pixels of one row end for end; with the size fixed, each swap is a few whole-pixel
// moves rather than a loop over bytes.
template <int Bpp> void mirrorRowInPlace(uint8_t* row, int width) {
    uint8_t* left = row;
    uint8_t* right = row + static_cast<std::ptrdiff_t>(width - 1) * Bpp;
    for (; left < right; left += Bpp, right -= Bpp) {
        uint8_t held[Bpp];
        std::memcpy(held, left, Bpp);
        std::memcpy(left, right, Bpp);
        std::memcpy(right, held, Bpp);
    }
}

} // namespace

bool MirrorCopyBitmap(const BitmapView& src, const BitmapView& dst) {
    if (!src.bits || !dst.bits || src.bitsPerPixel != dst.bitsPerPixel || src.bits == dst.bits) {
        return false;
    }
    const int bpp = src.bitsPerPixel / 8;
    const int height = std::min(src.height, dst.height);
    const int width = std::min(src.width, dst.width);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = src.row(y);
        uint8_t* last = dst.row(y) + (dst.width - 1) * bpp;
        switch (bpp) {
        case 3:
            mirrorRow<3>(in, last, width);
            break;
        case 4:
            mirrorRow<4>(in, last, width);
            break;
        case 1:
            mirrorRow<1>(in, last, width);
            break;
        default:
            for (int x = 0; x < width; ++x) {
                std::memcpy(last - x * bpp, in + x * bpp, bpp);
            }
            break;
        }
    }
    return true;
}

void MirrorBitmap(const BitmapView& pic) {
    if (!pic.bits || pic.width < 2) {
        return;
    }
    const int bpp = pic.bitsPerPixel / 8;
    for (int y = 0; y < pic.height; ++y) {
        uint8_t* row = pic.row(y);
        switch (bpp) {
        case 4:
            mirrorRowInPlace<4>(row, pic.width);
            break;
        case 3:
            mirrorRowInPlace<3>(row, pic.width);
            break;
        case 2:
            mirrorRowInPlace<2>(row, pic.width);
            break;
        case 1:
            mirrorRowInPlace<1>(row, pic.width);
            break;
        default:
            for (int x = 0; x < pic.width / 2; ++x) {
                std::swap_ranges(row + x * bpp, row + (x + 1) * bpp,
                                 row + (pic.width - 1 - x) * bpp);
            }
            break;
        }
    }
}

void FlipBitmap(const BitmapView& pic) {
    if (!pic.bits) {
        return;
    }
    const std::size_t rowBytes = pic.rowBytes();
    // Rows are exchanged through a small buffer on the stack, a piece at a time, so a picture of
    // any width flips without allocating.
    uint8_t held[4096];
    for (int top = 0, bottom = pic.height - 1; top < bottom; ++top, --bottom) {
        uint8_t* up = pic.row(top);
        uint8_t* down = pic.row(bottom);
        for (std::size_t done = 0; done < rowBytes; done += sizeof held) {
            const std::size_t n = std::min(sizeof held, rowBytes - done);
            std::memcpy(held, up + done, n);
            std::memcpy(up + done, down + done, n);
            std::memcpy(down + done, held, n);
        }
    }
}

} // namespace vidorel

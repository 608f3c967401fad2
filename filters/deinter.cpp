#include "filters/deinter.h"

#include <algorithm>
#include <cstring>

namespace vidorel {

namespace {

// A line that differs from both neighbours in the same direction makes every product
// positive; green weighs most because the eye is most sensitive to it.
constexpr int kCombThreshold = 2000;

bool sameShape(const BitmapView& a, const BitmapView& b) {
    return a.bits && b.bits && a.width == b.width && a.height == b.height &&
           a.bitsPerPixel == b.bitsPerPixel && a.width >= 0 && a.height >= 0;
}

void copyRows(const BitmapView& src, const BitmapView& dst, int width, int height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * (src.bitsPerPixel / 8);
    for (int y = 0; y < height; ++y) {
        std::memmove(dst.row(y), src.row(y), bytes);
    }
}

} // namespace

void DeinterlaceScratch::reserve(int width) {
    const auto w = static_cast<std::size_t>(std::max(width, 0));
    if (combMask_.size() < w) {
        combMask_.resize(w);
        combMaskFiltered_.resize(w);
        products_.resize(3 * w);
    }
}

bool DeinterlaceBitmap(const BitmapView& src, const BitmapView& dst, DeinterlaceScratch& scratch) {
    if (!sameShape(src, dst)) {
        return false;
    }
    copyRows(src, dst, src.width, src.height);
    if (src.bitsPerPixel != 24) {
        return true;
    }
    const int w = src.width;
    scratch.reserve(w);
    uint8_t* comb = scratch.combMask_.data();
    uint8_t* filtered = scratch.combMaskFiltered_.data();

    // Each odd row only looks at its own neighbours, so the detection, isolation filter and
    // repair run row by row on two row-sized masks.
    for (int y = 1; y < src.height - 1; y += 2) {
        const uint8_t* a = src.row(y - 1);
        const uint8_t* c = src.row(y);
        const uint8_t* b = src.row(y + 1);
        // The channel products over the flat row first (a loop the compiler vectorises), then
        // the weighted sum per pixel.
        int32_t* prod = scratch.products_.data();
        for (int i = 0; i < 3 * w; ++i) {
            prod[i] = (int32_t(a[i]) - c[i]) * (int32_t(b[i]) - c[i]);
        }
        for (int x = 0; x < w; ++x) {
            const int32_t* p = prod + 3 * x;
            comb[x] = 3 * p[2] + 6 * p[1] + p[0] > kCombThreshold ? 1 : 0;
        }
        for (int x = 0; x < w; ++x) {
            const bool left = x > 0 && comb[x - 1];
            const bool right = x + 1 < w && comb[x + 1];
            filtered[x] = comb[x] && (left || right) ? 1 : 0;
        }
        uint8_t* out = dst.row(y);
        for (int x = 0; x < w; ++x) {
            if (filtered[x]) {
                const int i = 3 * x;
                out[i] = static_cast<uint8_t>((a[i] + b[i]) >> 1);
                out[i + 1] = static_cast<uint8_t>((a[i + 1] + b[i + 1]) >> 1);
                out[i + 2] = static_cast<uint8_t>((a[i + 2] + b[i + 2]) >> 1);
            }
        }
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
    if (!pic.bits) {
        return;
    }
    const int bpp = pic.bitsPerPixel / 8;
    for (int y = 0; y < pic.height; ++y) {
        uint8_t* row = pic.row(y);
        for (int x = 0; x < pic.width / 2; ++x) {
            std::swap_ranges(row + x * bpp, row + (x + 1) * bpp, row + (pic.width - 1 - x) * bpp);
        }
    }
}

} // namespace vidorel

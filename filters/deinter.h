#pragma once

// Comb removal for still pictures and preview frames, plus the pixel copy, left-right mirror
// and upside-down flip routines of the overlay.
//
// Pictures are caller-owned memory described by a BitmapView: rows from the top, pixels of
// 24 bits (blue, green, red) or 32 bits (blue, green, red, unused); the deinterlacer only copies
// other depths. The scratch rows live in a DeinterlaceScratch that each caller owns, so the
// streaming thread and the UI thread never share them; it grows only when the picture gets
// wider, so a steady stream allocates nothing.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vidorel {

struct BitmapView {
    uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one row to the next
    int bitsPerPixel = 24;

    std::size_t rowBytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel / 8);
    }
    uint8_t* row(int y) const { return bits + y * stride; }
};

class DeinterlaceScratch {
public:
    // Makes room for rows of `width` pixels; allocates only when the width grows.
    void reserve(int width);

private:
    friend bool DeinterlaceBitmap(const BitmapView&, const BitmapView&, DeinterlaceScratch&);
    std::vector<uint8_t> combMask_; // per byte of one row, with zero bytes at either end
    std::vector<int32_t> products_; // per byte of one row
    std::vector<int16_t> weights_;  // per byte of one row
};

// destination := source with the combed pixels of each odd row (but the last) replaced by the
// mean of the pixels above and below; the unused byte of 32-bit pixels is copied as it is.
// source and destination may be the very same picture (same bits and stride) but must not
// overlap otherwise. Answers false, touching nothing, when the two pictures differ in size or
// depth.
bool DeinterlaceBitmap(const BitmapView& source, const BitmapView& destination,
                       DeinterlaceScratch& scratch);

// Copies the source's pixels to the same positions of the destination (clipped to it).
bool CopyBitmapPixels(const BitmapView& source, const BitmapView& destination);

// destination (Wd - 1 - x, y) := source (x, y); pixels that fall outside the destination are
// dropped.
bool MirrorCopyBitmap(const BitmapView& source, const BitmapView& destination);

// Swaps columns x and W - 1 - x in place.
void MirrorBitmap(const BitmapView& picture);

// Swaps rows y and H - 1 - y in place.
void FlipBitmap(const BitmapView& picture);

} // namespace vidorel

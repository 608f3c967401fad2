#pragma once

// Comb removal for still pictures and preview frames, plus the pixel copy and left-right
// mirror routines of the overlay.
//
// Pictures are caller-owned memory described by a BitmapView: rows from the top, 24-bit pixels
// in the order blue, green, red (other depths are only copied). The scratch rows live in a
// DeinterlaceScratch that each caller owns, so the streaming thread and the UI thread never
// share them; it grows only when the picture gets wider, so a steady stream allocates nothing.

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
    std::vector<uint8_t> combMask_;
    std::vector<uint8_t> combMaskFiltered_;
    std::vector<int32_t> products_; // per channel byte of one row
};

// destination := source with the combed pixels of each odd row (but the last) replaced by the
// mean of the pixels above and below. Answers false, touching nothing, when the two pictures
// differ in size or depth.
bool DeinterlaceBitmap(const BitmapView& source, const BitmapView& destination,
                       DeinterlaceScratch& scratch);

// Copies the source's pixels to the same positions of the destination (clipped to it).
bool CopyBitmapPixels(const BitmapView& source, const BitmapView& destination);

// destination (Wd - 1 - x, y) := source (x, y); pixels that fall outside the destination are
// dropped.
bool MirrorCopyBitmap(const BitmapView& source, const BitmapView& destination);

// Swaps columns x and W - 1 - x in place.
void MirrorBitmap(const BitmapView& picture);

} // namespace vidorel

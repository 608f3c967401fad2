#pragma once

// The in-place frame-rate patch of image-by-image AVI files: the video stream header's scale and
// rate are rewritten so the pictures play at the rate the user chose. Nothing else in the file
// changes (the main header and the index keep their values).

#include "files/RiffScanner.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vidorel {

// The AVI structure a scan sees: the absolute offset of dwScale in the last video ("vids") or
// interleaved DV ("iavs") stream header at least 28 bytes long.
std::optional<uint64_t> ScanAviChunks(const RiffScanner& scanner);
std::optional<uint64_t> ScanAviChunks(const std::string& fileName);

// dwScale for a rate, with dwRate = 1 000 000; none for a rate that is not a positive finite
// number or gives a scale outside 1..2^32-1.
std::optional<uint32_t> AviScaleForFrameRate(double fps);

// Answers true when the file was patched; false leaves it untouched (no file, not an AVI, no
// video stream header, impossible rate, I/O error).
bool PatchAviFrameRate(const std::string& fileName, double fps);

} // namespace vidorel

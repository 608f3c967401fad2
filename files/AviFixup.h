#pragma once

// The header fix-ups of finished AVI captures: what the stock multiplexer writes differently
// from what players and editors expect of these files. DV video is tagged with the lower-case
// handler and compression "dvsd" of DV type-2 files; MPEG-4 video is tagged "XVID".

#include "files/RiffScanner.h"

#include <string>

namespace vidorel {

enum class TAviFixup { DvsdHandler, XvidFourcc };

// Rewrites the fccHandler of every video stream header and the biCompression of its format
// that carry the codec (DV: "dvsd" in any case; MPEG-4: "DIVX", "FMP4", "XVID", "DX50",
// "MP4V" in any case) with the tag of `fix`. Nothing else changes. Answers the number of
// fields rewritten; -1 when the file cannot be read or written or is not an AVI.
int ApplyAviFixup(const std::string& fileName, TAviFixup fix);

} // namespace vidorel

#pragma once

// The names of the files a capture run writes: folder, root, the date and time the program
// started (when asked), a counter that never goes back while the program runs, and the
// extension of the capture format ("/home/me/Videos/Video_081106_143005_0.avi").

#include "platform/DateTime.h"
#include "platform/SharedTypes.h"

#include <string>

namespace vidorel {

// "ddmmyy_hhnnss_": each field as two digits (the year 2006 gives 06).
std::string DateTimeNamePart(TDateTime startup);

// The video (or sound) file name for `counter`: folder (a "/" added when it has none at its
// end), root, "_", the date part when `withDate`, the counter, the format's extension.
std::string VideoFileName(const std::string& folder, const std::string& root, bool withDate,
                          TDateTime startup, int counter, TCaptureFormat format);

// The still picture's name for `counter`: folder, root, "_", the date part when `withDate`,
// the counter as its last five digits, ".jpg" or ".bmp".
std::string ImageFileName(const std::string& folder, const std::string& root, bool withDate,
                          TDateTime startup, int counter, bool jpeg);

// The k-th piece (k >= 2) of a capture written to a name the user gave: "DIR/NAME-k.EXT".
std::string PieceFileName(const std::string& given, int k);

} // namespace vidorel

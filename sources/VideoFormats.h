#pragma once

// The sizes and rates a video device offers, and the one the user chose for it (its capture
// pin's page): a device without a choice delivers its first format.

#include <gst/gst.h>

#include <string>
#include <vector>

namespace vidorel {

struct TVideoFormat {
    std::string media; // "video/x-raw", "image/jpeg"
    int width = 0;
    int height = 0;
    int rateNum = 0;
    int rateDen = 1;
    // "720x576 - 25 fps" (rates that are not whole to two decimals).
    std::string Text() const;
    // The caps that ask a source for this format.
    std::string Caps() const;
    friend bool operator==(const TVideoFormat&, const TVideoFormat&) = default;
};

// The distinct fixed sizes and rates of `caps`, in their order; a list of rates gives one
// format per rate. Sizes or rates given as ranges are left out.
std::vector<TVideoFormat> VideoFormatsOf(const GstCaps* caps);

} // namespace vidorel

#include "sources/VideoFormats.h"

#include <algorithm>
#include <cstdio>

namespace vidorel {

std::string TVideoFormat::Text() const {
    char text[64];
    if (rateDen > 0 && rateNum % rateDen == 0) {
        std::snprintf(text, sizeof text, "%dx%d - %d fps", width, height, rateNum / rateDen);
    } else {
        std::snprintf(text, sizeof text, "%dx%d - %.2f fps", width, height,
                      rateDen > 0 ? static_cast<double>(rateNum) / rateDen : 0.0);
    }
    return text;
}

std::string TVideoFormat::Caps() const {
    return media + ", width=(int)" + std::to_string(width) + ", height=(int)" +
           std::to_string(height) + ", framerate=(fraction)" + std::to_string(rateNum) + "/" +
           std::to_string(rateDen);
}

std::vector<TVideoFormat> VideoFormatsOf(const GstCaps* caps) {
    std::vector<TVideoFormat> formats;
    if (caps == nullptr || gst_caps_is_any(caps)) {
        return formats;
    }
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        TVideoFormat f;
        f.media = gst_structure_get_name(s);
        if (!gst_structure_get_int(s, "width", &f.width) ||
            !gst_structure_get_int(s, "height", &f.height)) {
            continue;
        }
        const GValue* rate = gst_structure_get_value(s, "framerate");
        std::vector<std::pair<int, int>> rates;
        if (rate != nullptr && GST_VALUE_HOLDS_FRACTION(rate)) {
            rates.emplace_back(gst_value_get_fraction_numerator(rate),
                               gst_value_get_fraction_denominator(rate));
        } else if (rate != nullptr && GST_VALUE_HOLDS_LIST(rate)) {
            for (guint k = 0; k < gst_value_list_get_size(rate); ++k) {
                const GValue* r = gst_value_list_get_value(rate, k);
                if (GST_VALUE_HOLDS_FRACTION(r)) {
                    rates.emplace_back(gst_value_get_fraction_numerator(r),
                                       gst_value_get_fraction_denominator(r));
                }
            }
        }
        for (const auto& [num, den] : rates) {
            if (num <= 0 || den <= 0) {
                continue;
            }
            f.rateNum = num;
            f.rateDen = den;
            if (std::find(formats.begin(), formats.end(), f) == formats.end()) {
                formats.push_back(f);
            }
        }
    }
    return formats;
}

} // namespace vidorel

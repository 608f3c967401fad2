// zv_resizer: scales 24-bit RGB down to a size of at most 288 lines, or copies it unchanged.
//
//     gst-launch-1.0 videotestsrc num-buffers=50 ! video/x-raw,format=BGR,width=720,height=576 !
//         zv_resizer ratio=2 ! fakesink          (GST_PLUGIN_PATH=<build>/gst-plugins)

#include "filters/zv_resizer.h"

#include <algorithm>
#include <cstdint>

namespace vidorel {

VIDOREL_DEFINE_FILTER(TZV_Resizer, "zv_resizer", "Marlott Resizer", "Filter/Effect/Video/Scaler",
                      "Scales 24-bit RGB video to at most 288 lines in a native, 4:3 or 16:9 shape",
                      GST_VIDEO_CAPS_MAKE("BGR"), GST_VIDEO_CAPS_MAKE("BGR"))

namespace {

enum { PROP_0, PROP_RATIO };

constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 240;
constexpr int kSmallest = 2;

// The shape modes: the height limit and the shape's own width and height steps.
struct Shape {
    std::int64_t maxHeight;
    std::int64_t w;
    std::int64_t h;
};
constexpr Shape k4x3{288, 4, 3};
constexpr Shape k16x9{216, 16, 9};

bool IsBgr(const GstCaps* caps, GstVideoInfo& info) {
    if (caps == nullptr || !gst_caps_is_fixed(caps) || gst_caps_get_size(caps) != 1) {
        return false;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    if (!gst_structure_has_name(s, "video/x-raw")) {
        return false;
    }
    return gst_video_info_from_caps(&info, caps) &&
           GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_BGR &&
           GST_VIDEO_INFO_WIDTH(&info) > 0 && GST_VIDEO_INFO_HEIGHT(&info) > 0;
}

} // namespace

ResizerSize ResizerOutputSize(int width, int height, bool ratioSet, int mode) {
    if (!ratioSet) {
        return {kDefaultWidth, kDefaultHeight};
    }
    // 64 bits: the products below must not overflow for the largest widths caps allow.
    std::int64_t w = width;
    std::int64_t h = height;
    if (mode == TZV_Resizer::kRatio4x3 || mode == TZV_Resizer::kRatio16x9) {
        const Shape& s = mode == TZV_Resizer::kRatio4x3 ? k4x3 : k16x9;
        if (h > s.maxHeight) {
            h = s.maxHeight;
        }
        if (h * s.w < w * s.h) {
            w = h * s.w / s.h;
        } else {
            h = w * s.h / s.w;
        }
        if (h % 2 != 0) {
            h -= s.h;
            w -= s.w;
        }
    } else {
        if (height > 288) {
            w /= 2;
            h /= 2;
        }
        if (h % 2 != 0) {
            h -= 1;
        }
    }
    // The odd-height step can eat the whole of a tiny picture; a frame of no pixels (or of a
    // negative size) cannot be negotiated, so such inputs get the smallest even frame.
    if (w <= 0 || h <= 0) {
        return {kSmallest, kSmallest};
    }
    return {static_cast<int>(w), static_cast<int>(h)};
}

TZV_Resizer::TZV_Resizer() : TBCTransformFilter("Marlott Resizer") {
    gst_video_info_init(&m_inInfo);
    gst_video_info_init(&m_outInfo);
}

// --- properties ---

void TZV_Resizer::ClassInit(GObjectClass* klass) {
    g_object_class_install_property(
        klass, PROP_RATIO,
        g_param_spec_int("ratio", "Ratio",
                         "Output shape: -1 = 320x240 whatever the input, 0 = native (halved above "
                         "288 lines), 1 = 4:3 and 2 = 16:9 (at most 288 and 216 lines)",
                         kRatioNotSet, kRatio16x9, kRatioNotSet,
                         static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                  GST_PARAM_MUTABLE_PLAYING)));
}

void TZV_Resizer::SetProperty(guint id, const GValue* value, GParamSpec* pspec) {
    if (id != PROP_RATIO) {
        TBCTransformFilter::SetProperty(id, value, pspec);
        return;
    }
    const int mode = g_value_get_int(value);
    if (mode == kRatioNotSet) {
        StoreRatio(kRatioNotSet);
    } else {
        SetRatio(mode);
    }
}

void TZV_Resizer::GetProperty(guint id, GValue* value, GParamSpec* pspec) {
    if (id != PROP_RATIO) {
        TBCTransformFilter::GetProperty(id, value, pspec);
        return;
    }
    g_value_set_int(value, Ratio());
}

void TZV_Resizer::SetRatio(int mode) {
    StoreRatio((mode == kRatio4x3 || mode == kRatio16x9) ? mode : kRatioNative);
}

void TZV_Resizer::StoreRatio(int ratio) {
    {
        TBCSettingsLock lock(*this);
        m_ratio = ratio;
    }
    // A running stream takes the new size at its next buffer.
    gst_base_transform_reconfigure_src(BaseTransform());
}

int TZV_Resizer::Ratio() const {
    TBCSettingsLock lock(*this);
    return m_ratio;
}

ResizerSize TZV_Resizer::OutputSizeFor(int width, int height) const {
    const int ratio = Ratio();
    return ResizerOutputSize(width, height, ratio != kRatioNotSet, ratio);
}

// --- caps ---

HRESULT TZV_Resizer::CheckInputType(const GstCaps* caps) {
    GstVideoInfo info;
    return IsBgr(caps, info) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TZV_Resizer::CheckTransform(const GstCaps* in, const GstCaps* out) {
    GstVideoInfo i, o;
    if (!IsBgr(in, i) || !IsBgr(out, o)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const ResizerSize want = OutputSizeFor(GST_VIDEO_INFO_WIDTH(&i), GST_VIDEO_INFO_HEIGHT(&i));
    if (GST_VIDEO_INFO_WIDTH(&o) != want.width || GST_VIDEO_INFO_HEIGHT(&o) != want.height ||
        GST_VIDEO_INFO_FPS_N(&o) != GST_VIDEO_INFO_FPS_N(&i) ||
        GST_VIDEO_INFO_FPS_D(&o) != GST_VIDEO_INFO_FPS_D(&i)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT TZV_Resizer::GetMediaType(int position, const GstCaps* in, GstCapsRef& out) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0 || in == nullptr || gst_caps_get_size(in) == 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    out = GstCapsRef::adopt(gst_caps_copy_nth(in, 0));
    GstStructure* s = gst_caps_get_structure(out.get(), 0);
    gst_structure_set(s, "format", G_TYPE_STRING, "BGR", nullptr);

    const int ratio = Ratio();
    int width = 0, height = 0;
    const bool fixedSize =
        gst_structure_get_int(s, "width", &width) && gst_structure_get_int(s, "height", &height);
    if (fixedSize || ratio == kRatioNotSet) {
        const ResizerSize size = ResizerOutputSize(width, height, ratio != kRatioNotSet, ratio);
        gst_structure_set(s, "width", G_TYPE_INT, size.width, "height", G_TYPE_INT, size.height,
                          nullptr);
    } else {
        // Sizes still open while negotiating: any output size may follow.
        gst_structure_set(s, "width", GST_TYPE_INT_RANGE, 1, G_MAXINT, "height", GST_TYPE_INT_RANGE,
                          1, G_MAXINT, nullptr);
    }
    // Halving keeps the pixel shape; the other modes fill a 4:3 or 16:9 frame with square pixels.
    if (ratio != kRatioNative) {
        gst_structure_set(s, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    }
    return S_OK;
}

HRESULT TZV_Resizer::SetMediaType(PinDirection direction, const GstCaps* caps) {
    GstVideoInfo info;
    if (!IsBgr(caps, info)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (direction == PinDirection::Input) {
        m_inInfo = info;
        return S_OK;
    }
    m_outInfo = info;
    m_resizeActive = GST_VIDEO_INFO_WIDTH(&m_outInfo) != GST_VIDEO_INFO_WIDTH(&m_inInfo) ||
                     GST_VIDEO_INFO_HEIGHT(&m_outInfo) != GST_VIDEO_INFO_HEIGHT(&m_inInfo);
    m_converter.reset();
    if (m_resizeActive) {
        // Whole input onto whole output, with the resampler's filtered (cubic) kernel.
        m_converter.reset(gst_video_converter_new(&m_inInfo, &m_outInfo, nullptr));
        if (!m_converter) {
            GST_CAT_WARNING_OBJECT(
                DebugCategory(), Element(), "no converter for %dx%d -> %dx%d",
                GST_VIDEO_INFO_WIDTH(&m_inInfo), GST_VIDEO_INFO_HEIGHT(&m_inInfo),
                GST_VIDEO_INFO_WIDTH(&m_outInfo), GST_VIDEO_INFO_HEIGHT(&m_outInfo));
            return E_FAIL;
        }
    }
    GST_CAT_DEBUG_OBJECT(DebugCategory(), Element(), "%dx%d -> %dx%d (%s)",
                         GST_VIDEO_INFO_WIDTH(&m_inInfo), GST_VIDEO_INFO_HEIGHT(&m_inInfo),
                         GST_VIDEO_INFO_WIDTH(&m_outInfo), GST_VIDEO_INFO_HEIGHT(&m_outInfo),
                         m_resizeActive ? "scaled" : "copied");
    return S_OK;
}

HRESULT TZV_Resizer::DecideBufferSize(const GstCaps* out, TBufferProps& props) {
    GstVideoInfo info;
    if (!IsBgr(out, info)) {
        return E_FAIL;
    }
    props.size = static_cast<guint>(GST_VIDEO_INFO_SIZE(&info));
    props.buffers = std::max(props.buffers, 1u);
    props.align = std::max(props.align, 1u);
    return S_OK;
}

// --- transform ---

HRESULT TZV_Resizer::Transform(GstBuffer* in, GstBuffer* out) {
    GstVideoFrame src;
    GstVideoFrame dst;
    if (!gst_video_frame_map(&src, &m_inInfo, in, GST_MAP_READ)) {
        GST_CAT_LOG_OBJECT(DebugCategory(), Element(),
                           "input frame of %" G_GSIZE_FORMAT " bytes does not map: dropped",
                           gst_buffer_get_size(in));
        return S_FALSE;
    }
    if (!gst_video_frame_map(&dst, &m_outInfo, out, GST_MAP_WRITE)) {
        gst_video_frame_unmap(&src);
        GST_CAT_LOG_OBJECT(DebugCategory(), Element(), "output frame does not map: dropped");
        return S_FALSE;
    }
    bool ok = true;
    if (!m_resizeActive) {
        ok = gst_video_frame_copy(&dst, &src) == TRUE;
    } else if (m_converter) {
        gst_video_converter_frame(m_converter.get(), &src, &dst);
    } else {
        ok = false;
    }
    gst_video_frame_unmap(&dst);
    gst_video_frame_unmap(&src);
    return ok ? S_OK : S_FALSE;
}

// --- stop ---

HRESULT TZV_Resizer::StopStreaming() {
    // The next run negotiates again; its converter is made then.
    m_converter.reset();
    return S_OK;
}

} // namespace vidorel

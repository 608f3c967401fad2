#pragma once

// Scales 24-bit RGB video down before the MPEG-4 encoder of the "Divx" capture format.
//
//     gst-launch-1.0 videotestsrc ! video/x-raw,format=BGR,width=720,height=576 !
//         zv_resizer ratio=1 ! videoconvert ! avenc_mpeg4 ! fakesink
//
// The output size follows from the input size and the ratio chosen (ResizerOutputSize); when it
// equals the input size, frames are copied unchanged. GStreamer's top-down BGR stands for the
// 24-bit DIB of the capture side.

#include "filters/BaseClass.h"

#include <gst/video/video.h>

#include <memory>

namespace vidorel {

struct ResizerSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const ResizerSize&, const ResizerSize&) = default;
};

// The output size for a `width` × `height` input. Without a ratio every input becomes 320 × 240.
// Mode 1 (4:3) and mode 2 (16:9) cut the picture to that shape at most 288 (4:3) or 216 (16:9)
// lines high; any other mode (native) halves inputs above 288 lines. An odd height is then made
// even by taking off one step of the shape (3 × 4, 9 × 16; one line in native mode). Integer
// division truncates toward zero. Tiny inputs, whose size would become zero or negative, get
// the smallest even size, 2 × 2.
ResizerSize ResizerOutputSize(int width, int height, bool ratioSet, int mode);

class TZV_Resizer : public TBCTransformFilter {
public:
    static constexpr int kRatioNotSet = -1;
    static constexpr int kRatioNative = 0;
    static constexpr int kRatio4x3 = 1;
    static constexpr int kRatio16x9 = 2;

    TZV_Resizer();
    static const FilterDescriptor& Descriptor();
    static void ClassInit(GObjectClass* klass);

    // Chooses the output shape: kRatioNative, kRatio4x3 or kRatio16x9 (any other value counts
    // as native). The graph builder calls it before linking; while streaming it renegotiates.
    void SetRatio(int mode);
    // The mode chosen, or kRatioNotSet.
    int Ratio() const;

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT CheckTransform(const GstCaps* in, const GstCaps* out) override;
    HRESULT DecideBufferSize(const GstCaps* out, TBufferProps& props) override;
    HRESULT GetMediaType(int position, const GstCaps* in, GstCapsRef& out) override;
    HRESULT SetMediaType(PinDirection direction, const GstCaps* caps) override;
    HRESULT Transform(GstBuffer* in, GstBuffer* out) override;
    HRESULT StopStreaming() override;

    void SetProperty(guint id, const GValue* value, GParamSpec* pspec) override;
    void GetProperty(guint id, GValue* value, GParamSpec* pspec) override;

    // Whether the negotiated caps scale (false: frames are copied). Receive lock.
    bool ResizeActive() const { return m_resizeActive; }

private:
    struct ConverterFree {
        void operator()(GstVideoConverter* c) const { gst_video_converter_free(c); }
    };

    void StoreRatio(int ratio);
    ResizerSize OutputSizeFor(int width, int height) const;

    // Written by the application thread, read by caps negotiation: under the object lock.
    int m_ratio = kRatioNotSet;
    // Negotiated state, under the receive lock; the converter is made once per caps.
    GstVideoInfo m_inInfo;
    GstVideoInfo m_outInfo;
    bool m_resizeActive = true;
    std::unique_ptr<GstVideoConverter, ConverterFree> m_converter;
};

} // namespace vidorel

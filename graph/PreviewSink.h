#pragma once

// The end of the preview's video chain: an appsink taking 32-bit RGB frames (BGRx in memory,
// QImage::Format_RGB32) and handing the newest one to a receiver, which a Qt widget implements.
//
// The streaming thread never waits for the user interface: each frame replaces the one waiting
// (which counts as dropped), and the receiver is told only when a frame arrives while none was
// waiting, so a slow window sees one notice per frame it actually fetches. Keeping the aspect
// or stretching, and full screen, are the widget's business; the frame gives its size and pixel
// aspect.

#include "platform/GstRef.h"

#include <QImage>
#include <QSize>

#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdint>
#include <memory>

namespace vidorel {

// Told on the streaming thread that a frame is waiting; fetch it with TPreviewSink::TakeFrame
// on any thread. Must not block (the widget posts itself an event).
class IFrameReceiver {
public:
    virtual void FrameAvailable() = 0;

protected:
    ~IFrameReceiver() = default;
};

// One delivered frame, mapped for reading for as long as the object lives. Move-only.
class TPreviewFrame {
public:
    TPreviewFrame() = default;
    explicit TPreviewFrame(GstRef<GstSample> sample);
    ~TPreviewFrame();
    TPreviewFrame(TPreviewFrame&& other) noexcept;
    TPreviewFrame& operator=(TPreviewFrame&& other) noexcept;
    TPreviewFrame(const TPreviewFrame&) = delete;
    TPreviewFrame& operator=(const TPreviewFrame&) = delete;

    bool IsValid() const { return m_mapped; }
    int Width() const;
    int Height() const;
    int Stride() const;
    const uint8_t* Bits() const;
    // Pixel aspect ratio (width of a pixel over its height), 1 when the caps give none.
    double PixelAspect() const;
    // The picture's display aspect: width × pixel aspect / height.
    double DisplayAspect() const;
    GstClockTime Pts() const;
    // Wraps the frame's memory without copying; valid while this frame lives.
    QImage Image() const;

private:
    GstRef<GstSample> m_sample;
    GstVideoFrame m_frame{};
    bool m_mapped = false;
};

class TPreviewSink {
public:
    explicit TPreviewSink(const char* name = "previewsink");
    ~TPreviewSink();
    TPreviewSink(const TPreviewSink&) = delete;
    TPreviewSink& operator=(const TPreviewSink&) = delete;

    // The appsink, to add to the pipeline and link after the last converter.
    GstElement* Element() const { return m_sink.get(); }

    // Any thread; after SetReceiver(nullptr) returns, the old receiver is never called again.
    void SetReceiver(IFrameReceiver* receiver);
    // The waiting frame (invalid when none is), leaving the sink empty.
    TPreviewFrame TakeFrame();

    // Size and pixel aspect of the current caps (0 × 0 and 1 before the first caps).
    QSize FrameSize() const;
    double PixelAspect() const;

    uint64_t FramesReceived() const;
    uint64_t FramesDropped() const;

    // Shared with the appsink's callbacks (opaque outside PreviewSink.cpp).
    struct State;

private:
    GstElementRef m_sink;
    std::shared_ptr<State> m_state;
};

} // namespace vidorel

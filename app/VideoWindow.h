#pragma once

#include "graph/PreviewSink.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace vidorel {

// The preview window: shows the newest frame of the preview sink, keeping the picture's aspect
// (black bars) or stretched over the whole widget.
class TVideoWindow : public QWidget, public IFrameReceiver {
public:
    explicit TVideoWindow(QWidget* parent = nullptr);
    ~TVideoWindow() override;

    // Starts showing the frames of `sink` (none: stops). The sink must outlive the window or be
    // detached first.
    void Attach(TPreviewSink* sink);
    void SetKeepAspect(bool keep);
    bool KeepAspect() const { return keepAspect_; }
    // Frames shown since the window was created.
    uint64_t FramesShown() const { return shown_; }
    // The picture on screen (null before the first frame), sharing the frame's memory: copy it
    // to keep it past the next frame.
    QImage CurrentFrame() const { return frame_.Image(); }

    // Streaming thread: only posts a fetch to the UI thread.
    void FrameAvailable() override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void Fetch();

    TPreviewSink* sink_ = nullptr;
    // The newest frame, mapped: painted from the pipeline's own memory, without a copy.
    TPreviewFrame frame_;
    double displayAspect_ = 4.0 / 3.0;
    bool keepAspect_ = true;
    uint64_t shown_ = 0;
    bool firstPainted_ = false;
    bool smooth_ = true;
    QTimer settle_;
};

} // namespace vidorel

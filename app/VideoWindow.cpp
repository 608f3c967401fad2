#include "app/VideoWindow.h"

#include "app/StartupTrace.h"

#include <QMetaObject>
#include <QPainter>

namespace vidorel {

TVideoWindow::TVideoWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("vwEcran"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A picture that stays (a still tape, a paused source) is painted again with smooth
    // scaling once no new frame has come for a little while.
    settle_.setSingleShot(true);
    settle_.setInterval(150);
    connect(&settle_, &QTimer::timeout, this, [this] {
        smooth_ = true;
        update();
    });
}

TVideoWindow::~TVideoWindow() {
    Attach(nullptr);
}

void TVideoWindow::Attach(TPreviewSink* sink) {
    if (sink_ != nullptr) {
        sink_->SetReceiver(nullptr);
    }
    sink_ = sink;
    if (sink_ != nullptr) {
        sink_->SetReceiver(this);
    }
}

void TVideoWindow::SetKeepAspect(bool keep) {
    keepAspect_ = keep;
    update();
}

void TVideoWindow::FrameAvailable() {
    // Queued on the window: dropped by Qt if the window is gone by then.
    QMetaObject::invokeMethod(
        this, [this] { Fetch(); }, Qt::QueuedConnection);
}

void TVideoWindow::Fetch() {
    if (sink_ == nullptr) {
        return;
    }
    TPreviewFrame frame = sink_->TakeFrame();
    if (!frame.IsValid()) {
        return;
    }
    // The previous frame's buffer goes back to the pipeline here; this one stays mapped until
    // the next one replaces it.
    displayAspect_ = frame.DisplayAspect() > 0 ? frame.DisplayAspect() : 4.0 / 3.0;
    frame_ = std::move(frame);
    ++shown_;
    // Moving pictures are scaled the fast way: at 25 frames a second the eye does not see the
    // difference, and smooth scaling would cost as much as the whole rest of the preview.
    smooth_ = false;
    settle_.start();
    update();
}

void TVideoWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!frame_.IsValid()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    QRect target = rect();
    if (keepAspect_) {
        const double wanted = displayAspect_;
        const double have = static_cast<double>(width()) / std::max(1, height());
        if (have > wanted) {
            const int w = static_cast<int>(height() * wanted + 0.5);
            target = QRect((width() - w) / 2, 0, w, height());
        } else {
            const int h = static_cast<int>(width() / wanted + 0.5);
            target = QRect(0, (height() - h) / 2, width(), h);
        }
    }
    // Only the bars around the picture are filled: the picture covers the rest.
    const QRegion bars = QRegion(rect()).subtracted(QRegion(target));
    for (const QRect& r : bars) {
        p.fillRect(r, Qt::black);
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform, smooth_);
    p.drawImage(target, frame_.Image());
    if (!firstPainted_) {
        firstPainted_ = true;
        TraceStartup("first preview frame painted");
    }
}

} // namespace vidorel

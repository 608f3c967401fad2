#include "app/VideoWindow.h"

#include <QMetaObject>
#include <QPainter>

namespace vidorel {

TVideoWindow::TVideoWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("vwEcran"));
    setAttribute(Qt::WA_OpaquePaintEvent);
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
    // A copy: the sample goes back to the pipeline at once.
    frame_ = frame.Image().copy();
    displayAspect_ = frame.DisplayAspect() > 0 ? frame.DisplayAspect() : 4.0 / 3.0;
    ++shown_;
    update();
}

void TVideoWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (frame_.isNull()) {
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
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, frame_);
}

} // namespace vidorel

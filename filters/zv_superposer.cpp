#include "filters/zv_superposer.h"

#include "filters/DVFrameMeta.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#define GST_CAT_DEFAULT (DebugCategory())

namespace vidorel {

namespace {

// BGRx first: a converter before the overlay then picks the preview window's own format, and
// the converter after it has nothing to do.
constexpr const char* kCaps = "video/x-raw, format=(string){ BGRx, BGR }, "
                              "width=(int)[1, 16384], height=(int)[1, 16384], "
                              "framerate=(fraction)[0/1, 2147483647/1]";

constexpr double kTwoSeconds = 2.0 / 86400.0;

// The mapped picture as the pixel routines see it.
BitmapView ViewOf(const GstVideoFrame& f) {
    BitmapView v;
    v.width = GST_VIDEO_FRAME_WIDTH(&f);
    v.height = GST_VIDEO_FRAME_HEIGHT(&f);
    v.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0);
    v.bits = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0));
    v.bitsPerPixel = GST_VIDEO_FRAME_COMP_PSTRIDE(&f, 0) * 8;
    return v;
}

BitmapView ViewOf(QImage& image) {
    BitmapView v;
    v.width = image.width();
    v.height = image.height();
    v.stride = image.bytesPerLine();
    v.bits = image.bits();
    v.bitsPerPixel = image.depth();
    return v;
}

bool SameDay(double a, double b) {
    return DecodeDateTime(a).day == DecodeDateTime(b).day;
}

// Text painting needs Qt's font database, which exists only with a QGuiApplication.
bool HaveGui() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// BGRx is blue, green, red, unused in memory: Qt's 0xffRRGGBB words on a little-endian machine.
QImage::Format ImageFormatOf(GstVideoFormat format) {
    return format == GST_VIDEO_FORMAT_BGR ? QImage::Format_BGR888 : QImage::Format_RGB32;
}

} // namespace

int InlayAutoCellHeight(int frameWidth) {
    return std::max(16, frameWidth * 28 / 720);
}

TInlayOrigins InlayOrigins(int width, int height, int posX, int posY, int alignment, int cellHeight,
                           int width1, int width2) {
    const int x = width * posX / 1000;
    const int y = height * posY / 1000;
    TInlayOrigins o{x, y - cellHeight, x, y};
    if (alignment == 1) {
        o.x1 = x - width1 / 2;
        o.x2 = x - width2 / 2;
    } else if (alignment == 2) {
        o.x1 = x - width1;
        o.x2 = x - width2;
    }
    return o;
}

VIDOREL_DEFINE_FILTER(Tzv_Superposer, "zv_superposer", "Marlott zv_Superposer",
                      "Filter/Effect/Video",
                      "Inlays date, time or timecode, flips, mirrors and deinterlaces the picture "
                      "and keeps still pictures",
                      kCaps, kCaps)

Tzv_Superposer::Tzv_Superposer()
    : TBCTransInPlaceFilter("Marlott zv_Superposer", true), m_text(std::make_shared<TInlayText>()) {
    gst_video_info_init(&m_info);
    for (auto& taken : m_snapshotTaken) {
        taken.store(false);
    }
}

Tzv_Superposer::~Tzv_Superposer() = default;

// ---- caps ----

// Called for caps queries without the receive lock: it reads nothing but its argument.
HRESULT Tzv_Superposer::CheckInputType(const GstCaps* caps) {
    GstVideoInfo info;
    if (caps == nullptr || !gst_video_info_from_caps(&info, caps)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info);
    return format == GST_VIDEO_FORMAT_BGRx || format == GST_VIDEO_FORMAT_BGR
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Tzv_Superposer::SetMediaType(PinDirection direction, const GstCaps* caps) {
    if (direction != PinDirection::Input) {
        return S_OK;
    }
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, caps)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const int w = GST_VIDEO_INFO_WIDTH(&info);
    const int h = GST_VIDEO_INFO_HEIGHT(&info);
    const QImage::Format format = ImageFormatOf(GST_VIDEO_INFO_FORMAT(&info));
    m_info = info;
    m_haveInfo = true;
    m_imageFormat = format;
    // Slots and scratch rows are sized here, once per caps; Transform only writes into them.
    m_scratch.reserve(w);
    for (int i = 0; i < kSnapshotSlots; ++i) {
        // A slot the UI still holds keeps its picture; it is resized when next filled.
        const QImage& slot = m_snapshots[i];
        if (!m_snapshotTaken[i].load(std::memory_order_acquire) &&
            (slot.width() != w || slot.height() != h || slot.format() != format)) {
            m_snapshots[i] = QImage(w, h, format);
            if (m_snapshots[i].isNull()) {
                return E_OUTOFMEMORY;
            }
        }
    }
    m_fontFor.reset(); // the automatic font size follows the width
    return S_OK;
}

HRESULT Tzv_Superposer::StartStreaming() {
    if (m_durationMode.load() == 1) {
        m_countdown = m_duration.load() - 1;
    }
    m_countdownRestart = false;
    return S_OK;
}

// ---- settings ----

template <class Change> void Tzv_Superposer::ChangeText(Change&& change) {
    std::lock_guard lock(m_snapshotLock);
    auto next = std::make_shared<TInlayText>(*m_text);
    change(*next);
    m_text = std::move(next);
}

std::shared_ptr<const TInlayText> Tzv_Superposer::TextSnapshot() const {
    std::lock_guard lock(m_snapshotLock);
    return m_text;
}

void Tzv_Superposer::SetDateTimeFormats(const std::string& dateFormat,
                                        const std::string& timeFormat) {
    ChangeText([&](TInlayText& t) {
        t.DateFormat = dateFormat;
        t.TimeFormat = timeFormat;
    });
}

void Tzv_Superposer::SetNoDatecodeText(const std::string& text) {
    ChangeText([&](TInlayText& t) { t.NoDatecode = text; });
}

void Tzv_Superposer::SetInlayDuration(double seconds) {
    m_duration = static_cast<int>(Round(seconds * FrameRate()));
    m_countdownRestart = true;
}

void Tzv_Superposer::SetAlignment(int alignment) {
    ChangeText([&](TInlayText& t) { t.Alignment = alignment; });
}

void Tzv_Superposer::SetTextPosition(int x, int y, int alignment) {
    ChangeText([&](TInlayText& t) {
        t.PosX = std::clamp(x, 0, 1000);
        t.PosY = std::clamp(y, 0, 1000);
        t.Alignment = alignment;
    });
}

void Tzv_Superposer::SetAutoFontSize(bool on) {
    ChangeText([&](TInlayText& t) { t.AutoFontSize = on; });
}

void Tzv_Superposer::SetFontSize(int points) {
    ChangeText([&](TInlayText& t) { t.Font.Points = points; });
}

void Tzv_Superposer::SetFontName(const std::string& name) {
    // The face name of a font record holds at most 255 characters.
    ChangeText([&](TInlayText& t) { t.Font.Name = name.substr(0, 255); });
}

void Tzv_Superposer::SetFontColor(uint32_t bgr) {
    ChangeText([&](TInlayText& t) { t.Font.Color = bgr & 0xFFFFFF; });
}

void Tzv_Superposer::SetFontBold(bool on) {
    ChangeText([&](TInlayText& t) { t.Font.Bold = on; });
}

void Tzv_Superposer::SetFontItalic(bool on) {
    ChangeText([&](TInlayText& t) { t.Font.Italic = on; });
}

void Tzv_Superposer::SetFontUnderline(bool on) {
    ChangeText([&](TInlayText& t) { t.Font.Underline = on; });
}

void Tzv_Superposer::SetFontStrikeOut(bool on) {
    ChangeText([&](TInlayText& t) { t.Font.StrikeOut = on; });
}

void Tzv_Superposer::SetFrameDuration(int64_t hundredNs) {
    m_frameDuration = hundredNs < 1000 ? 400000 : hundredNs;
}

double Tzv_Superposer::FrameRate() const {
    return 10000000.0 / static_cast<double>(m_frameDuration.load());
}

void Tzv_Superposer::StartIntervalometer(int frames) {
    m_interval = frames;
    m_intervalometerRestart = true;
    m_intervalometerOn = true;
}

QImage Tzv_Superposer::Snapshot(int slot) const {
    if (slot < 0 || slot >= kSnapshotSlots ||
        !m_snapshotTaken[slot].load(std::memory_order_acquire)) {
        return {};
    }
    return m_snapshots[slot];
}

bool Tzv_Superposer::SnapshotTaken(int slot) const {
    return slot >= 0 && slot < kSnapshotSlots &&
           m_snapshotTaken[slot].load(std::memory_order_acquire);
}

void Tzv_Superposer::ReleaseSnapshot(int slot) {
    if (slot >= 0 && slot < kSnapshotSlots) {
        m_snapshotTaken[slot].store(false, std::memory_order_release);
    }
}

// ---- the frame ----

HRESULT Tzv_Superposer::Transform(GstBuffer* buffer) {
    if (m_intervalometerRestart.exchange(false)) {
        m_frameCounter = 0;
        m_secondsCountdown = static_cast<int>(Round(FrameRate()));
    }
    if (m_countdownRestart.exchange(false)) {
        m_countdown = m_duration.load() - 1;
    }

    const bool effects = m_effectsEnabled.load();
    bool flip = false, mirror = false, deinterlace = false, inlay = false;
    double recDateTime = 0;
    std::shared_ptr<const TInlayText> text;
    Record rec;
    double now = 0;
    if (effects) {
        bool haveRecord = false;
        rec = RecordOf(buffer, haveRecord);
        now = m_now.load()();
        UpdateCountdown(rec, haveRecord, now);
        recDateTime = haveRecord ? rec.RecDateTime : now;
        flip = m_flipVertical.load();
        mirror = m_mirror.load();
        deinterlace = m_deinterlace.load();
        inlay =
            m_inlayEnabled.load() && (m_durationMode.load() != 1 || m_countdown > 0) && HaveGui();
        if (inlay) {
            text = TextSnapshot();
        } else if (m_inlayEnabled.load() && !HaveGui() && !m_warnedNoGui) {
            m_warnedNoGui = true;
            GST_WARNING_OBJECT(Element(), "no QGuiApplication in this process: no inlay text");
        }
    } else {
        flip = m_flipOnCopy.load();
    }

    HRESULT hr = S_OK;
    GstVideoFrame frame;
    bool mapped = false;
    if (flip || mirror || deinterlace || inlay) {
        // Without a ref on the buffer: a ref would make it read-only while it is mapped.
        const auto flags = static_cast<GstMapFlags>(
            GST_MAP_READWRITE | static_cast<int>(GST_VIDEO_FRAME_MAP_FLAG_NO_REF));
        mapped = m_haveInfo && gst_video_frame_map(&frame, &m_info, buffer, flags);
        if (mapped) {
            const BitmapView picture = ViewOf(frame);
            if (flip) {
                FlipBitmap(picture);
            }
            if (deinterlace) {
                DeinterlaceBitmap(picture, picture, m_scratch);
            }
            if (mirror) {
                MirrorBitmap(picture);
            }
            if (inlay) {
                try {
                    // The text goes straight into the frame: no work surface, no copy back.
                    QImage canvas(picture.bits, picture.width, picture.height, picture.stride,
                                  m_imageFormat);
                    DrawText(canvas, text, rec, now);
                } catch (...) {
                    // A failed inlay leaves the frame as far as it was composed.
                    GST_WARNING_OBJECT(Element(), "drawing the inlay failed");
                }
            }
        } else {
            GST_WARNING_OBJECT(Element(), "a frame could not be composed (buffer too small?)");
            hr = E_FAIL;
        }
    }

    ServeGrabs(Succeeded(hr) ? buffer : nullptr, mapped ? &frame : nullptr);
    m_lastRecDateTime = recDateTime;

    if (mapped) {
        gst_video_frame_unmap(&frame);
    }
    return hr;
}

Tzv_Superposer::Record Tzv_Superposer::RecordOf(GstBuffer* buffer, bool& haveRecord) {
    Record r;
    const TDVFrameMeta* meta = GetDVFrameMeta(buffer);
    haveRecord = meta != nullptr;
    if (meta == nullptr) {
        return r;
    }
    const TDVFrameInfo& info = meta->Record.Info;
    r.RecDateTime = info.RecDateTime;
    // A timecode field that never held a decoded timecode prints as 0:00:00:00.
    if (info.Timecode.Hours < 128) {
        r.HasTimecode = true;
        r.Hours = info.Timecode.Hours;
        r.Minutes = info.Timecode.Minutes;
        r.Seconds = info.Timecode.Seconds;
        r.Frames = info.Timecode.Frames;
    }
    return r;
}

void Tzv_Superposer::UpdateCountdown(const Record& rec, bool haveRecord, double computerNow) {
    if (!m_inlayEnabled.load() || m_durationMode.load() != 1) {
        return;
    }
    if (m_countdown > 0) {
        --m_countdown;
        return;
    }
    // Without DV records the computer's date stands for the recording date, so a daily
    // inlay comes back every day on any source.
    const double current = haveRecord ? rec.RecDateTime : computerNow;
    if (current == 0) {
        return;
    }
    const double last = m_lastRecDateTime;
    bool restart = false;
    switch (m_restartMode.load()) {
    case 2:
        restart = current - last > kTwoSeconds || current < last;
        break;
    case 1:
        restart = !SameDay(current, last) || std::fabs(current - last) > 1.0;
        break;
    default:
        break;
    }
    if (restart) {
        m_countdown = m_duration.load() - 1;
    }
}

void Tzv_Superposer::PrepareFont(const std::shared_ptr<const TInlayText>& snapshot,
                                 int frameWidth) {
    if (m_fontFor == snapshot && m_fontWidth == frameWidth) {
        return;
    }
    const TInlayText& text = *snapshot;
    const TInlayFont& f = text.Font;
    QString face = QString::fromStdString(f.Name);
    if (face.isEmpty() || face.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0) {
        face = QStringLiteral("Liberation Sans");
    }
    QFont font(face);
    font.setBold(f.Bold);
    font.setItalic(f.Italic);
    font.setUnderline(f.Underline);
    font.setStrikeOut(f.StrikeOut);
    font.setStyleStrategy(QFont::PreferAntialias);
    if (text.AutoFontSize) {
        // The cell height (ascent + descent) is what is fixed: take the largest pixel size
        // whose cell fits it.
        const int cell = InlayAutoCellHeight(frameWidth);
        int px = cell;
        font.setPixelSize(px);
        while (px > 1 && QFontMetrics(font).height() > cell) {
            --px;
            font.setPixelSize(px);
        }
        m_cellHeight = cell;
    } else {
        // Points at 96 dots per inch, the character height (21 points: 28 pixels).
        font.setPixelSize(std::max(1, static_cast<int>(Round(std::abs(f.Points) * 96.0 / 72.0))));
        m_cellHeight = QFontMetrics(font).height();
    }
    m_ascent = QFontMetrics(font).ascent();
    m_font = font;
    m_fontFor = snapshot;
    m_fontWidth = frameWidth;
    m_linesValid = false; // the lines and their widths depend on the snapshot and the font
}

void Tzv_Superposer::DrawText(QImage& canvas, const std::shared_ptr<const TInlayText>& snapshot,
                              const Record& rec, double computerNow) {
    PrepareFont(snapshot, canvas.width());
    const TInlayText& text = *snapshot;

    const int source = m_textSource.load();
    QString line1, line2;
    if (source == 2) {
        char tc[32];
        std::snprintf(tc, sizeof tc, "%d:%.2d:%.2d:%.2d", rec.Hours, rec.Minutes, rec.Seconds,
                      rec.Frames);
        line2 = QString::fromLatin1(tc);
        m_linesSecond = INT64_MIN;
    } else if (source == 1 && rec.RecDateTime == 0) {
        line2 = QString::fromStdString(text.NoDatecode);
        m_linesSecond = INT64_MIN;
    } else {
        const double t = source == 1 ? rec.RecDateTime + m_timeDifference.load() : computerNow;
        // The format language goes down to seconds: format again only when the second changes.
        const int64_t second = Round(t * kMillisecondsPerDay) / 1000;
        if (m_linesValid && m_linesSource == source && m_linesSecond == second) {
            line1 = m_line1;
            line2 = m_line2;
        } else {
            line1 = QString::fromStdString(FormatDateTime(text.DateFormat, t));
            line2 = QString::fromStdString(FormatDateTime(text.TimeFormat, t));
        }
        m_linesSecond = second;
    }
    if (!m_linesValid || line1 != m_line1 || line2 != m_line2) {
        const QFontMetrics metrics(m_font);
        m_width1 = metrics.horizontalAdvance(line1);
        m_width2 = metrics.horizontalAdvance(line2);
        m_line1 = line1;
        m_line2 = line2;
    }
    m_linesValid = true;
    m_linesSource = source;

    const TInlayOrigins o = InlayOrigins(canvas.width(), canvas.height(), text.PosX, text.PosY,
                                         text.Alignment, m_cellHeight, m_width1, m_width2);
    const uint32_t c = text.Font.Color;
    QPainter painter(&canvas);
    painter.setFont(m_font);
    painter.setPen(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    if (!m_line1.isEmpty()) {
        painter.drawText(o.x1, o.y1 + m_ascent, m_line1);
    }
    if (!m_line2.isEmpty()) {
        painter.drawText(o.x2, o.y2 + m_ascent, m_line2);
    }
    m_lastCellHeight = m_cellHeight;
}

// ---- grabs ----

void Tzv_Superposer::Post(bool grabbed, int value) {
    m_receiver.Call([grabbed, value](ISuperposerReceiver& r) {
        if (grabbed) {
            r.PostImageGrabbed(value);
        } else {
            r.PostGrabCountdown(value);
        }
    });
}

bool Tzv_Superposer::FillNextSlot(GstBuffer* buffer, const GstVideoFrame* mapped, int& slot) {
    m_snapshotSlot = (m_snapshotSlot + 1) % kSnapshotSlots;
    slot = m_snapshotSlot;
    if (m_snapshotTaken[slot].load(std::memory_order_acquire) || buffer == nullptr || !m_haveInfo) {
        // The UI has not fetched this slot yet: the grab is dropped, never overwritten.
        return false;
    }
    // A frame no effect touched was not mapped: read it now, for this copy only.
    GstVideoFrame readOnly;
    const GstVideoFrame* frame = mapped;
    if (frame == nullptr) {
        const auto flags = static_cast<GstMapFlags>(
            GST_MAP_READ | static_cast<int>(GST_VIDEO_FRAME_MAP_FLAG_NO_REF));
        if (!gst_video_frame_map(&readOnly, &m_info, buffer, flags)) {
            return false;
        }
        frame = &readOnly;
    }
    QImage& image = m_snapshots[slot];
    const int w = GST_VIDEO_FRAME_WIDTH(frame);
    const int h = GST_VIDEO_FRAME_HEIGHT(frame);
    if (image.width() != w || image.height() != h || image.format() != m_imageFormat) {
        image = QImage(w, h, m_imageFormat); // only after a caps change
    }
    const bool copied = !image.isNull() && CopyBitmapPixels(ViewOf(*frame), ViewOf(image));
    if (frame == &readOnly) {
        gst_video_frame_unmap(&readOnly);
    }
    if (!copied) {
        return false;
    }
    m_snapshotTaken[slot].store(true, std::memory_order_release);
    return true;
}

void Tzv_Superposer::ServeGrabs(GstBuffer* buffer, const GstVideoFrame* mapped) {
    if (m_intervalometerOn.load()) {
        ++m_frameCounter;
        const int interval = m_interval.load();
        if (m_frameCounter == interval) {
            m_frameCounter = 0;
            int slot = 0;
            if (FillNextSlot(buffer, mapped, slot)) {
                m_grabRequest = false;
                m_secondsCountdown = static_cast<int>(Trunc(FrameRate())) + 1;
                Post(false, 0);
                Post(true, slot);
            }
        }
        if (--m_secondsCountdown <= 0) {
            const int64_t left =
                static_cast<int64_t>(interval - m_frameCounter) * m_frameDuration.load();
            Post(false, static_cast<int>(Round(static_cast<double>(left) / 10000000.0)));
            m_secondsCountdown = static_cast<int>(Trunc(FrameRate()));
        }
    }
    if (m_grabRequest.exchange(false)) {
        int slot = 0;
        if (FillNextSlot(buffer, mapped, slot)) {
            Post(true, slot);
        }
    }
}

} // namespace vidorel

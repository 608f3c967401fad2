#include "filters/zv_superposer.h"

#include "filters/zv_scenedetect.h"

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

constexpr const char* kCaps = "video/x-raw, format=(string)BGR, width=(int)[1, 16384], "
                              "height=(int)[1, 16384], framerate=(fraction)[0/1, 2147483647/1]";

constexpr double kTwoSeconds = 2.0 / 86400.0;

// A row-addressed view of a mapped 24-bit frame; upside down when `flipped` (the last row
// first, with a negative stride).
BitmapView ViewOf(const GstVideoFrame& f, bool flipped = false) {
    BitmapView v;
    v.width = GST_VIDEO_FRAME_WIDTH(&f);
    v.height = GST_VIDEO_FRAME_HEIGHT(&f);
    v.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0);
    v.bits = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0));
    if (flipped && v.height > 0) {
        v.bits += (v.height - 1) * v.stride;
        v.stride = -v.stride;
    }
    return v;
}

BitmapView ViewOf(QImage& image) {
    BitmapView v;
    v.width = image.width();
    v.height = image.height();
    v.stride = image.bytesPerLine();
    v.bits = image.bits();
    return v;
}

bool SameDay(double a, double b) {
    return DecodeDateTime(a).day == DecodeDateTime(b).day;
}

// Text painting needs Qt's font database, which exists only with a QGuiApplication.
bool HaveGui() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

struct Tzv_Superposer::SceneSource {
    GstElementRef element;
    TSceneDetector* detector = nullptr;
};

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
    : TBCTransformFilter("Marlott zv_Superposer"), m_text(std::make_shared<TInlayText>()) {
    gst_video_info_init(&m_info);
    for (auto& taken : m_snapshotTaken) {
        taken.store(false);
    }
}

Tzv_Superposer::~Tzv_Superposer() = default;

// ---- caps ----

HRESULT Tzv_Superposer::CheckInputType(const GstCaps* caps) {
    GstVideoInfo info;
    if (caps == nullptr || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT Tzv_Superposer::CheckTransform(const GstCaps* in, const GstCaps* out) {
    GstVideoInfo a, b;
    if (!gst_video_info_from_caps(&a, in) || !gst_video_info_from_caps(&b, out) ||
        GST_VIDEO_INFO_FORMAT(&a) != GST_VIDEO_INFO_FORMAT(&b) ||
        GST_VIDEO_INFO_WIDTH(&a) != GST_VIDEO_INFO_WIDTH(&b) ||
        GST_VIDEO_INFO_HEIGHT(&a) != GST_VIDEO_INFO_HEIGHT(&b)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT Tzv_Superposer::DecideBufferSize(const GstCaps* out, TBufferProps& props) {
    GstVideoInfo info;
    if (out != nullptr && gst_video_info_from_caps(&info, out)) {
        props.size = std::max<guint>(props.size, static_cast<guint>(GST_VIDEO_INFO_SIZE(&info)));
    }
    props.buffers = std::max<guint>(props.buffers, 1);
    return S_OK;
}

HRESULT Tzv_Superposer::GetMediaType(int position, const GstCaps* in, GstCapsRef& out) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    out = GstCapsRef::adopt(gst_caps_copy(in));
    return S_OK;
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
    m_info = info;
    m_haveInfo = true;
    // Surfaces are sized here, once per caps; Transform only writes into them.
    if (m_work.width() != w || m_work.height() != h) {
        m_work = QImage(w, h, QImage::Format_BGR888);
        m_flip = QImage(w, h, QImage::Format_BGR888);
        if (m_work.isNull() || m_flip.isNull()) {
            return E_OUTOFMEMORY;
        }
    }
    m_scratch.reserve(w);
    for (int i = 0; i < kSnapshotSlots; ++i) {
        // A slot the UI still holds keeps its picture; it is resized when next filled.
        if (!m_snapshotTaken[i].load(std::memory_order_acquire) &&
            (m_snapshots[i].width() != w || m_snapshots[i].height() != h)) {
            m_snapshots[i] = QImage(w, h, QImage::Format_BGR888);
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

std::shared_ptr<const Tzv_Superposer::SceneSource> Tzv_Superposer::SceneSnapshot() const {
    std::lock_guard lock(m_snapshotLock);
    return m_scene;
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

void Tzv_Superposer::SetSceneSource(GstElement* sceneDetect) {
    std::shared_ptr<const SceneSource> next;
    if (auto* f = FilterCast<Tzv_SceneDetect>(sceneDetect)) {
        next = std::make_shared<SceneSource>(
            SceneSource{GstElementRef::ref(sceneDetect), &f->Detector()});
    } else if (sceneDetect != nullptr) {
        GST_WARNING_OBJECT(Element(), "%s is not a scene detector; no DV metadata",
                           GST_OBJECT_NAME(sceneDetect));
    }
    // The old source is released outside the lock (a frame may still hold it).
    std::shared_ptr<const SceneSource> old;
    {
        std::lock_guard lock(m_snapshotLock);
        old = std::exchange(m_scene, std::move(next));
    }
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

HRESULT Tzv_Superposer::Transform(GstBuffer* inBuf, GstBuffer* outBuf) {
    if (m_intervalometerRestart.exchange(false)) {
        m_frameCounter = 0;
        m_secondsCountdown = static_cast<int>(Round(FrameRate()));
    }
    if (m_countdownRestart.exchange(false)) {
        m_countdown = m_duration.load() - 1;
    }

    // Without a ref on the buffers: a ref would make `out` read-only for the plain copy below.
    GstVideoFrame in, out;
    const auto noRef = static_cast<GstMapFlags>(GST_VIDEO_FRAME_MAP_FLAG_NO_REF);
    const bool haveIn =
        m_haveInfo &&
        gst_video_frame_map(&in, &m_info, inBuf, static_cast<GstMapFlags>(GST_MAP_READ | noRef));
    const bool haveOut =
        m_haveInfo &&
        gst_video_frame_map(&out, &m_info, outBuf, static_cast<GstMapFlags>(GST_MAP_WRITE | noRef));

    const bool effects = m_effectsEnabled.load();
    HRESULT hr = S_OK;
    double recDateTime = 0;
    if (effects) {
        const auto text = TextSnapshot();
        const auto scene = SceneSnapshot();
        const double now = m_now.load()();
        const Record rec = LookUpRecord(scene.get(), GST_BUFFER_PTS(inBuf));
        UpdateCountdown(rec, scene != nullptr, now);
        recDateTime = scene ? rec.RecDateTime : now;
        if (!haveIn || !haveOut || !Compose(in, out, text, rec, now)) {
            GST_WARNING_OBJECT(Element(), "a frame could not be composed (buffer too small?)");
            hr = E_FAIL;
        }
    } else if (!CopyUnchanged(inBuf, outBuf, haveIn ? &in : nullptr, haveOut ? &out : nullptr)) {
        hr = E_FAIL;
    }

    ServeGrabs(Succeeded(hr) && haveOut ? &out : nullptr);
    m_lastRecDateTime = recDateTime;

    if (haveOut) {
        gst_video_frame_unmap(&out);
    }
    if (haveIn) {
        gst_video_frame_unmap(&in);
    }
    return hr;
}

Tzv_Superposer::Record Tzv_Superposer::LookUpRecord(const SceneSource* scene, GstClockTime pts) {
    Record r;
    if (scene == nullptr || scene->detector == nullptr) {
        return r;
    }
    const int64_t start = GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<int64_t>(pts) : -1;
    const int32_t index = scene->detector->FindRingEntry(start);
    const TDVFrameInfo& info = scene->detector->FrameInfoRing(index);
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

void Tzv_Superposer::UpdateCountdown(const Record& rec, bool haveScene, double computerNow) {
    if (!m_inlayEnabled.load() || m_durationMode.load() != 1) {
        return;
    }
    if (m_countdown > 0) {
        --m_countdown;
        return;
    }
    // Without DV records the computer's date stands for the recording date, so a daily
    // inlay comes back every day on any source.
    const double current = haveScene ? rec.RecDateTime : computerNow;
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

bool Tzv_Superposer::Compose(const GstVideoFrame& in, const GstVideoFrame& out,
                             const std::shared_ptr<const TInlayText>& text, const Record& rec,
                             double computerNow) {
    const BitmapView src = ViewOf(in, m_flipVertical.load());
    const BitmapView work = ViewOf(m_work);
    if (work.bits == nullptr || src.width != work.width || src.height != work.height) {
        return false;
    }
    const bool mirror = m_mirror.load();
    if (m_deinterlace.load()) {
        // Deinterlaced into the second surface when a mirrored copy has to follow.
        const BitmapView flip = ViewOf(m_flip);
        if (!DeinterlaceBitmap(src, mirror ? flip : work, m_scratch)) {
            return false;
        }
        if (mirror) {
            MirrorCopyBitmap(flip, work);
        }
    } else if (mirror) {
        MirrorCopyBitmap(src, work);
    } else {
        CopyBitmapPixels(src, work);
    }

    if (m_inlayEnabled.load() && (m_durationMode.load() != 1 || m_countdown > 0)) {
        try {
            DrawText(text, rec, computerNow);
        } catch (...) {
            // A failed inlay leaves the frame as far as it was composed.
            GST_WARNING_OBJECT(Element(), "drawing the inlay failed");
        }
    }

    CopyBitmapPixels(work, ViewOf(out));
    return true;
}

void Tzv_Superposer::PrepareFont(const std::shared_ptr<const TInlayText>& snapshot) {
    if (m_fontFor == snapshot && m_fontWidth == m_work.width()) {
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
        const int cell = InlayAutoCellHeight(m_work.width());
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
    m_fontWidth = m_work.width();
    m_linesValid = false; // the lines and their widths depend on the snapshot and the font
}

void Tzv_Superposer::DrawText(const std::shared_ptr<const TInlayText>& snapshot, const Record& rec,
                              double computerNow) {
    if (!HaveGui()) {
        if (!m_warnedNoGui) {
            m_warnedNoGui = true;
            GST_WARNING_OBJECT(Element(), "no QGuiApplication in this process: no inlay text");
        }
        return;
    }
    PrepareFont(snapshot);
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

    const TInlayOrigins o = InlayOrigins(m_work.width(), m_work.height(), text.PosX, text.PosY,
                                         text.Alignment, m_cellHeight, m_width1, m_width2);
    const uint32_t c = text.Font.Color;
    QPainter painter(&m_work);
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

bool Tzv_Superposer::CopyUnchanged(GstBuffer* inBuf, GstBuffer* outBuf, const GstVideoFrame* in,
                                   const GstVideoFrame* out) {
    if (m_flipOnCopy.load()) {
        if (in == nullptr || out == nullptr) {
            return false;
        }
        CopyBitmapPixels(ViewOf(*in, true), ViewOf(*out));
        return true;
    }
    // The input's data as it stands, bounded by the output buffer.
    GstMapInfo mi, mo;
    if (!gst_buffer_map(inBuf, &mi, GST_MAP_READ)) {
        return false;
    }
    if (!gst_buffer_map(outBuf, &mo, GST_MAP_WRITE)) {
        gst_buffer_unmap(inBuf, &mi);
        return false;
    }
    const gsize n = std::min(mi.size, mo.size);
    std::memcpy(mo.data, mi.data, n);
    gst_buffer_unmap(outBuf, &mo);
    gst_buffer_unmap(inBuf, &mi);
    if (n < gst_buffer_get_size(outBuf)) {
        gst_buffer_resize(outBuf, 0, static_cast<gssize>(n));
    }
    return true;
}

// ---- grabs ----

void Tzv_Superposer::Post(bool grabbed, int value) {
    if (ISuperposerReceiver* r = m_receiver.load()) {
        if (grabbed) {
            r->PostImageGrabbed(value);
        } else {
            r->PostGrabCountdown(value);
        }
    }
}

bool Tzv_Superposer::FillNextSlot(const GstVideoFrame* out, int& slot) {
    m_snapshotSlot = (m_snapshotSlot + 1) % kSnapshotSlots;
    slot = m_snapshotSlot;
    if (m_snapshotTaken[slot].load(std::memory_order_acquire) || out == nullptr) {
        // The UI has not fetched this slot yet: the grab is dropped, never overwritten.
        return false;
    }
    QImage& image = m_snapshots[slot];
    const int w = GST_VIDEO_FRAME_WIDTH(out);
    const int h = GST_VIDEO_FRAME_HEIGHT(out);
    if (image.width() != w || image.height() != h) {
        image = QImage(w, h, QImage::Format_BGR888); // only after a caps change
    }
    if (image.isNull()) {
        return false;
    }
    CopyBitmapPixels(ViewOf(*out), ViewOf(image));
    m_snapshotTaken[slot].store(true, std::memory_order_release);
    return true;
}

void Tzv_Superposer::ServeGrabs(const GstVideoFrame* out) {
    if (m_intervalometerOn.load()) {
        ++m_frameCounter;
        const int interval = m_interval.load();
        if (m_frameCounter == interval) {
            m_frameCounter = 0;
            int slot = 0;
            if (FillNextSlot(out, slot)) {
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
        if (FillNextSlot(out, slot)) {
            Post(true, slot);
        }
    }
}

} // namespace vidorel

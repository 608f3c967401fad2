#pragma once

// The video effects filter of the preview and capture path.
//
//     gst-launch-1.0 videotestsrc ! videoconvert ! zv_superposer ! videoconvert ! ximagesink
//
// Per frame it inlays two lines of text (computer date and time, DV recording date and time, or
// DV timecode), flips the picture upside down, mirrors it, deinterlaces it, and keeps still
// pictures in 20 snapshot slots on request or every n frames. With the effects switched off it
// passes frames unchanged and only serves grabs.
//
// It works in place on the frame in the preview's own format: 32-bit BGRx (offered first, so the
// converter before it picks the format the preview window paints and the converter after it
// passes through) or 24-bit BGR, top-down as every GStreamer frame, each with its real stride.
// A frame that no effect changes is neither mapped for writing nor copied; it is read only when
// a grab copies it into a snapshot slot. The recording date and timecode come from the frame's
// own DV record (TDVFrameMeta), so a queue before the overlay cannot pair a picture with another
// frame's record. The snapshot slots are sized when the caps are set, so a steady stream
// allocates no picture memory.
//
// Threads: Transform runs on the streaming thread; every setter may be called from any thread
// (in practice the UI thread) while streaming and takes effect on the next frame. Numbers and
// flags are atomics; the text settings (formats, "No Datecode" text, font, size mode, position
// and alignment) form one immutable snapshot that a setter replaces as a whole, so a frame never
// sees half of a change nor a string being rewritten.

#include "filters/BaseClass.h"
#include "filters/deinter.h"
#include "platform/DateTime.h"
#include "platform/ReceiverSlot.h"

#include <gst/video/video.h>

#include <QFont>
#include <QImage>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vidorel {

// Told about finished grabs and the intervalometer's countdown, on the streaming thread. The
// main window implements it by posting events: type User+1 with the slot (image grabbed) and
// User+2 with the whole seconds left (countdown). Must not block.
class ISuperposerReceiver {
public:
    virtual void PostImageGrabbed(int slot) = 0;
    virtual void PostGrabCountdown(int secondsLeft) = 0;

protected:
    ~ISuperposerReceiver() = default;
};

// The inlay font, with the colour as 0x00BBGGRR. "Arial" and an empty name stand for Liberation
// Sans, which has Arial's metrics.
struct TInlayFont {
    std::string Name = "Arial";
    int Points = 21; // size in points at 96 dots per inch when the size is not automatic
    uint32_t Color = 0xFFFFFF;
    bool Bold = true;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
};

// The text settings, replaced as a whole by every setter that touches one of them.
struct TInlayText {
    std::string DateFormat = "ddddd";
    std::string TimeFormat = "hh:nn:ss";
    std::string NoDatecode = "N/A";
    TInlayFont Font;
    bool AutoFontSize = true;
    int PosX = 900;    // thousandths of the width, from the left, 0..1000
    int PosY = 900;    // thousandths of the height, from the top, 0..1000
    int Alignment = 2; // 0 left, 1 centre, 2 right
};

// Font cell height in automatic mode: width × 28 div 720, at least 16 pixels.
int InlayAutoCellHeight(int frameWidth);

// Top-left corners of the two lines for a frame of `width` × `height`, the anchor in thousandths,
// the alignment, the cell height and the widths of the two texts.
struct TInlayOrigins {
    int x1, y1, x2, y2;
};
TInlayOrigins InlayOrigins(int width, int height, int posX, int posY, int alignment, int cellHeight,
                           int width1, int width2);

class Tzv_Superposer : public TBCTransInPlaceFilter {
public:
    static constexpr int kSnapshotSlots = 20;

    Tzv_Superposer();
    ~Tzv_Superposer() override;
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT SetMediaType(PinDirection direction, const GstCaps* caps) override;
    HRESULT StartStreaming() override;
    HRESULT Transform(GstBuffer* buffer) override;

    // --- settings (any thread, next frame) ---
    void SetInlayEnabled(bool on) { m_inlayEnabled = on; }
    // 0 computer clock, 1 DV recording date and time, 2 DV timecode.
    void SetTextSource(int source) { m_textSource = source; }
    void SetDateTimeFormats(const std::string& dateFormat, const std::string& timeFormat);
    // The text shown instead of a missing DV recording date ("No Datecode").
    void SetNoDatecodeText(const std::string& text);
    // Days added to the DV recording date and time.
    void SetTimeDifference(double days) { m_timeDifference = days; }
    // 1 limited duration, anything else permanent.
    void SetDurationMode(int mode) { m_durationMode = mode; }
    // Duration := Round(seconds × frame rate); the current period restarts.
    void SetInlayDuration(double seconds);
    // 1 restarts a limited inlay on a new day, 2 on a jump of the recording time, others never.
    void SetRestartMode(int mode) { m_restartMode = mode; }
    void SetAlignment(int alignment);
    // x and y are clamped to 0..1000.
    void SetTextPosition(int x, int y, int alignment);
    void SetAutoFontSize(bool on);
    void SetFontSize(int points);
    void SetFontName(const std::string& name);
    void SetFontColor(uint32_t bgr);
    void SetFontBold(bool on);
    void SetFontItalic(bool on);
    void SetFontUnderline(bool on);
    void SetFontStrikeOut(bool on);
    void SetFlipVertical(bool on) { m_flipVertical = on; }
    void SetMirror(bool on) { m_mirror = on; }
    // "Activer Superposition": inlay, flip, mirror and deinterlace only while on.
    void SetEffectsEnabled(bool on) { m_effectsEnabled = on; }
    // "Deinterlacer On".
    void SetDeinterlace(bool on) { m_deinterlace = on; }
    // Whether frames leave different from how they came (an effect on, or the copy's flip).
    bool ChangesPicture() const {
        return m_flipOnCopy || (m_effectsEnabled &&
                                (m_inlayEnabled || m_flipVertical || m_mirror || m_deinterlace));
    }
    // The stream's frame duration in 100 ns units; below 1000 counts as 400000 (25 fps).
    void SetFrameDuration(int64_t hundredNs);
    double FrameRate() const;
    // Turn frames upside down while the effects are off (a plug-in source with bottom-up
    // pictures sets it, possibly through the flag's address; the branch builder clears it).
    void SetFlipOnCopy(bool on) { m_flipOnCopy = on; }
    std::atomic<bool>& FlipOnCopyFlag() { return m_flipOnCopy; }
    // Any thread; after SetReceiver(nullptr) returns the old receiver is never called again and
    // may be destroyed.
    void SetReceiver(ISuperposerReceiver* receiver) { m_receiver.Set(receiver); }
    // The clock of the computer date and time (tests put a controlled one).
    void SetClock(TDateTime (*now)()) { m_now = now ? now : &Now; }

    void StartIntervalometer(int frames);
    void StopIntervalometer() { m_intervalometerOn = false; }
    void GrabNow() { m_grabRequest = true; }

    // --- the snapshot hand-over (UI thread) ---
    // The picture of a slot announced by PostImageGrabbed, in the negotiated format
    // (QImage::Format_RGB32 for BGRx, Format_BGR888 for BGR); valid until ReleaseSnapshot. The
    // returned image shares the slot's memory: copy it (or keep the shallow copy, which the
    // filter detaches from on its next write) before releasing.
    QImage Snapshot(int slot) const;
    bool SnapshotTaken(int slot) const;
    void ReleaseSnapshot(int slot);

    // What the last drawn inlay showed: its font cell height and its two lines. Read them
    // between frames (tests, diagnostics).
    int LastCellHeight() const { return m_lastCellHeight; }
    QString LastLine1() const { return m_line1; }
    QString LastLine2() const { return m_line2; }

private:
    struct Record {
        double RecDateTime = 0;
        bool HasTimecode = false;
        int Hours = 0, Minutes = 0, Seconds = 0, Frames = 0;
    };

    template <class Change> void ChangeText(Change&& change);
    std::shared_ptr<const TInlayText> TextSnapshot() const;

    static Record RecordOf(GstBuffer* buffer, bool& haveRecord);
    void UpdateCountdown(const Record& rec, bool haveRecord, double computerNow);
    void DrawText(QImage& canvas, const std::shared_ptr<const TInlayText>& text, const Record& rec,
                  double computerNow);
    void PrepareFont(const std::shared_ptr<const TInlayText>& text, int frameWidth);
    void ServeGrabs(GstBuffer* buffer, const GstVideoFrame* mapped);
    bool FillNextSlot(GstBuffer* buffer, const GstVideoFrame* mapped, int& slot);
    void Post(bool grabbed, int value);

    // Settings written from any thread.
    std::atomic<bool> m_inlayEnabled{true};
    std::atomic<bool> m_grabRequest{false};
    std::atomic<bool> m_flipOnCopy{false};
    std::atomic<double> m_timeDifference{0};
    std::atomic<bool> m_flipVertical{false};
    std::atomic<bool> m_mirror{false};
    std::atomic<bool> m_effectsEnabled{true};
    std::atomic<bool> m_deinterlace{false};
    std::atomic<bool> m_intervalometerOn{false};
    std::atomic<int> m_interval{0};
    std::atomic<bool> m_intervalometerRestart{false}; // StartIntervalometer → streaming thread
    std::atomic<int> m_restartMode{2};
    std::atomic<int> m_textSource{0};
    std::atomic<int> m_durationMode{0};
    std::atomic<int> m_duration{125};
    std::atomic<bool> m_countdownRestart{false}; // SetInlayDuration → streaming thread
    std::atomic<int64_t> m_frameDuration{400000};
    std::atomic<TDateTime (*)()> m_now{&Now};
    std::atomic<int> m_lastCellHeight{0};
    // Set from the UI thread, called on the streaming thread; its own lock.
    TReceiverSlot<ISuperposerReceiver> m_receiver;

    // The text snapshot, guarded by m_snapshotLock (held only to copy or swap the pointer).
    mutable std::mutex m_snapshotLock;
    std::shared_ptr<const TInlayText> m_text;

    // The snapshot ring: a slot is written by the streaming thread only while its flag is
    // false, then the flag is set (release); the UI reads it after the message and clears the
    // flag. m_snapshots[i] is reassigned (resized) only while its flag is false.
    std::array<QImage, kSnapshotSlots> m_snapshots;
    std::array<std::atomic<bool>, kSnapshotSlots> m_snapshotTaken{};

    // Streaming-thread state (and caps time, which never overlaps Transform).
    GstVideoInfo m_info;
    bool m_haveInfo = false;
    QImage::Format m_imageFormat = QImage::Format_RGB32; // the negotiated format as Qt's
    DeinterlaceScratch m_scratch;
    int m_snapshotSlot = 0;
    int m_frameCounter = 0;
    int m_secondsCountdown = 0;
    int m_countdown = 0;
    double m_lastRecDateTime = 0;
    // Font and lines prepared for this text snapshot and frame width (rebuilt only when either
    // changes). Holding the snapshot keeps its address from being reused by a newer one.
    std::shared_ptr<const TInlayText> m_fontFor;
    int m_fontWidth = -1;
    QFont m_font;
    int m_cellHeight = 0;
    int m_ascent = 0;
    // The lines of the previous frame, reformatted only when their inputs change.
    int m_linesSource = -1;
    int64_t m_linesSecond = INT64_MIN;
    bool m_linesValid = false;
    QString m_line1, m_line2;
    int m_width1 = 0, m_width2 = 0;
    bool m_warnedNoGui = false;
};

} // namespace vidorel

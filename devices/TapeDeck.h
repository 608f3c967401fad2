#pragma once

// The virtual deck's tape: a frame source (the recorded frames, by index) behind a transport
// that moves a tape position frame period by frame period, the way a real deck's head moves
// over the tape. The streaming thread calls Tick once per frame period; the UI thread sets the
// mode and reads the timecode.

#include "devices/Transport.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vidorel::devices {

// The recorded frames of a tape. All frames have the same size and system.
class TFrameSource {
public:
    virtual ~TFrameSource() = default;
    virtual int64_t FrameCount() const = 0;
    virtual size_t FrameSize() const = 0;
    // 25 for 625-line tapes, 30 for 525-line ones (timecode frames per second).
    virtual int FramesPerSecond() const = 0;
    // The frame's nominal duration in nanoseconds (40 ms, or 1001/30 ms).
    virtual uint64_t FrameDurationNs() const = 0;
    // Copies frame `index` (0 <= index < FrameCount) into dst (FrameSize bytes), between Load
    // and Unload.
    virtual bool ReadFrame(int64_t index, uint8_t* dst) = 0;
    // A deck that starts playing loads its tape, and unloads it when it stops: a tape keeps
    // what it needs (a file descriptor) only while played. Loads are counted. False, with the
    // cause in *why, when the tape cannot be played now.
    virtual bool Load(std::string* why);
    virtual void Unload() {}
    // The timecode recorded with frame `index` as packed BCD; by default the tape position.
    virtual uint32_t TimecodeBcd(int64_t index) const;
};

class TTapeDeck final : public TTapeTransport {
public:
    // Tape speeds in tenths of a frame per frame period.
    static constexpr int kPlaySpeed = 10;
    static constexpr int kSlowestSpeed = 2;   // one fifth of normal play
    static constexpr int kFastestSpeed = 100; // shuttle, ten times normal play
    static constexpr int kWindSpeed = 300;    // winding, thirty times, no picture

    explicit TTapeDeck(std::shared_ptr<TFrameSource> tape);

    // One frame period passes: returns the frame the head reads and sends, or -1 when this
    // period sends nothing (stopped, winding, past either end of the tape). Reaching an end
    // of the tape while moving stops the transport there.
    int64_t Tick();

    // The frame under the head (0 .. FrameCount; FrameCount is the end of the tape).
    int64_t Position() const;
    // Puts the head on a frame (clamped to the tape); for cueing.
    void Cue(int64_t frame);

    TFrameSource& Tape() const { return *tape_; }

    bool SetMode(int edMode) override;
    int Mode() override;
    bool Timecode(uint32_t& bcd) override;
    int DeviceType() override { return deviceType_.load(); }
    // The mode dial of a camcorder: VCR (the default, a deck) or camera, which has no tape to
    // drive.
    void SetDeviceType(int type) { deviceType_ = type; }

private:
    const std::shared_ptr<TFrameSource> tape_;
    mutable std::mutex mutex_;
    int mode_ = ED_MODE_STOP; // guarded by mutex_
    int64_t tenths_ = 0;      // guarded by mutex_; head position in tenths of a frame
    std::atomic<int> deviceType_{ED_DEVTYPE_VCR};
};

// The packed BCD timecode of a frame index at the given frames per second.
uint32_t FrameIndexToBcd(int64_t index, int framesPerSecond);

} // namespace vidorel::devices

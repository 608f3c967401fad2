#include "devices/TapeDeck.h"

#include <algorithm>

namespace vidorel::devices {

namespace {

struct Motion {
    int speed; // tenths of a frame per period, signed
    bool sends;
};

Motion MotionOf(int mode) {
    switch (mode) {
    case ED_MODE_PLAY:
        return {TTapeDeck::kPlaySpeed, true};
    case ED_MODE_FREEZE:
        return {0, true};
    case ED_MODE_FF:
        return {TTapeDeck::kWindSpeed, false};
    case ED_MODE_REW:
        return {-TTapeDeck::kWindSpeed, false};
    case ED_MODE_PLAY_FASTEST_FWD:
        return {TTapeDeck::kFastestSpeed, true};
    case ED_MODE_PLAY_FASTEST_REV:
        return {-TTapeDeck::kFastestSpeed, true};
    case ED_MODE_PLAY_SLOWEST_FWD:
        return {TTapeDeck::kSlowestSpeed, true};
    case ED_MODE_PLAY_SLOWEST_REV:
        return {-TTapeDeck::kSlowestSpeed, true};
    default:
        return {0, false};
    }
}

} // namespace

uint32_t FrameIndexToBcd(int64_t index, int framesPerSecond) {
    if (index < 0 || framesPerSecond <= 0) {
        return 0;
    }
    const int64_t f = index % framesPerSecond;
    const int64_t totalSeconds = index / framesPerSecond;
    const int64_t s = totalSeconds % 60;
    const int64_t m = (totalSeconds / 60) % 60;
    const int64_t h = (totalSeconds / 3600) % 24;
    return PackBcdTimecode(static_cast<int>(h), static_cast<int>(m), static_cast<int>(s),
                           static_cast<int>(f));
}

bool TFrameSource::Load(std::string*) {
    return true;
}

uint32_t TFrameSource::TimecodeBcd(int64_t index) const {
    return FrameIndexToBcd(index, FramesPerSecond());
}

TTapeDeck::TTapeDeck(std::shared_ptr<TFrameSource> tape) : tape_(std::move(tape)) {}

int64_t TTapeDeck::Tick() {
    std::lock_guard lock(mutex_);
    const Motion motion = MotionOf(mode_);
    const int64_t end = tape_->FrameCount() * 10;
    const int64_t frame = tenths_ / 10;
    const bool onTape = frame < tape_->FrameCount();
    const int64_t sent = motion.sends && onTape ? frame : -1;
    if (motion.speed > 0) {
        tenths_ += motion.speed;
        if (tenths_ >= end || !onTape) {
            tenths_ = end;
            mode_ = ED_MODE_STOP;
        }
    } else if (motion.speed < 0) {
        if (tenths_ == 0) {
            mode_ = ED_MODE_STOP;
        }
        tenths_ = std::max<int64_t>(0, tenths_ + motion.speed);
    }
    return sent;
}

int64_t TTapeDeck::Position() const {
    std::lock_guard lock(mutex_);
    return tenths_ / 10;
}

void TTapeDeck::Cue(int64_t frame) {
    std::lock_guard lock(mutex_);
    tenths_ = std::clamp<int64_t>(frame, 0, tape_->FrameCount()) * 10;
}

bool TTapeDeck::SetMode(int edMode) {
    switch (edMode) {
    case ED_MODE_PLAY:
    case ED_MODE_STOP:
    case ED_MODE_FREEZE:
    case ED_MODE_FF:
    case ED_MODE_REW:
    case ED_MODE_PLAY_FASTEST_FWD:
    case ED_MODE_PLAY_SLOWEST_FWD:
    case ED_MODE_PLAY_FASTEST_REV:
    case ED_MODE_PLAY_SLOWEST_REV:
        break;
    default:
        // The test deck has no recording head.
        return false;
    }
    std::lock_guard lock(mutex_);
    mode_ = edMode;
    return true;
}

int TTapeDeck::Mode() {
    std::lock_guard lock(mutex_);
    return mode_;
}

bool TTapeDeck::Timecode(uint32_t& bcd) {
    std::lock_guard lock(mutex_);
    const int64_t count = tape_->FrameCount();
    if (count <= 0) {
        return false;
    }
    // Past the last frame the head reads blank tape; the counter stays on the last frame.
    bcd = tape_->TimecodeBcd(std::min(tenths_ / 10, count - 1));
    return true;
}

} // namespace vidorel::devices

#pragma once

// Raw DV files ("*.dv", a plain sequence of DIF frames) as tapes for the virtual decks.

#include "devices/TapeDeck.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vidorel::devices {

inline constexpr size_t kDvFrameSize625 = 144000; // 12 DIF sequences
inline constexpr size_t kDvFrameSize525 = 120000; // 10 DIF sequences
inline constexpr size_t kDifBlockSize = 80;

// The frame size a DIF frame announces in its first blocks (header section of sequence 0,
// then a subcode block); 0 when the bytes do not start a DV frame. Needs two DIF blocks.
size_t DvFrameSizeFromHeader(const uint8_t* bytes, size_t length);

class TDvFileTape final : public TFrameSource {
public:
    // Opens a raw DV file; null (with the reason in *why) when it is not DV, is damaged where
    // sampled, or is shorter than one frame. A trailing partial frame is not part of the tape.
    static std::shared_ptr<TDvFileTape> Open(const std::string& path, std::string* why);
    ~TDvFileTape() override;

    int64_t FrameCount() const override { return frames_; }
    size_t FrameSize() const override { return frameSize_; }
    int FramesPerSecond() const override { return frameSize_ == kDvFrameSize625 ? 25 : 30; }
    uint64_t FrameDurationNs() const override;
    bool ReadFrame(int64_t index, uint8_t* dst) override;

private:
    TDvFileTape(int fd, size_t frameSize, int64_t frames)
        : fd_(fd), frameSize_(frameSize), frames_(frames) {}
    int fd_;
    size_t frameSize_;
    int64_t frames_;
};

} // namespace vidorel::devices

#pragma once

// Raw DV files ("*.dv", a plain sequence of DIF frames) as tapes for the virtual decks.

#include "devices/TapeDeck.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vidorel::devices {

inline constexpr size_t kDvFrameSize625 = 144000; // 12 DIF sequences
inline constexpr size_t kDvFrameSize525 = 120000; // 10 DIF sequences
inline constexpr size_t kDifBlockSize = 80;

// The frame size a DIF frame announces in its first blocks (header section of sequence 0,
// then a subcode block); 0 when the bytes do not start a DV frame. Needs two DIF blocks.
size_t DvFrameSizeFromHeader(const uint8_t* bytes, size_t length);

// Whether an open() failed for want of a resource (descriptors, memory): such a failure says
// nothing about the file and must be told, not taken for a bad tape.
bool IsResourceShortage(int error);

class TDvFileTape final : public TFrameSource {
public:
    // Checks a raw DV file; null (with the reason in *why, and the errno of a failed open in
    // *error) when it is not a regular file, not DV, damaged where sampled, or shorter than one
    // frame. A trailing partial frame is not part of the tape. Never blocks on a FIFO or a
    // device, and keeps no descriptor: the file is opened again while its deck plays.
    static std::shared_ptr<TDvFileTape> Open(const std::string& path, std::string* why,
                                             int* error = nullptr);
    ~TDvFileTape() override;

    int64_t FrameCount() const override { return frames_; }
    size_t FrameSize() const override { return frameSize_; }
    int FramesPerSecond() const override { return frameSize_ == kDvFrameSize625 ? 25 : 30; }
    uint64_t FrameDurationNs() const override;
    bool ReadFrame(int64_t index, uint8_t* dst) override;
    bool Load(std::string* why) override;
    void Unload() override;
    // Whether the file is open now (a deck plays it).
    bool Loaded() const;

private:
    TDvFileTape(std::string path, size_t frameSize, int64_t frames)
        : path_(std::move(path)), frameSize_(frameSize), frames_(frames) {}
    const std::string path_;
    const size_t frameSize_;
    const int64_t frames_;
    mutable std::mutex mutex_;
    int fd_ = -1;   // guarded by mutex_
    int loads_ = 0; // guarded by mutex_
};

} // namespace vidorel::devices

#pragma once

// Generated DV test material: a tape described as a list of recordings becomes real DV frames
// (libavcodec's DV encoder with 48 kHz stereo audio embedded by libavformat's DV muxer), stamped
// frame by frame, in every DIF sequence, with a continuous timecode, each recording's date and
// time (or none), its 16:9 marking and the AAUX source pack.
//
// A few base frames per video system are encoded once per process and shared; rendering a frame
// is then one copy plus the stamping, cheap enough for a virtual deck playing in real time.
// DvTape is immutable after construction and may be read from several threads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vidorel::dvtape {

enum class DvSystem { Pal625, Ntsc525 };

struct CivilDateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const CivilDateTime&, const CivilDateTime&) = default;
};

struct Recording {
    std::optional<CivilDateTime> start; // none: the frames carry no recording date
    uint32_t frames = 0;
    bool wide = false;     // 16:9 marking in the VAUX source control pack
    bool audioPack = true; // false: the AAUX source packs are wiped (a damaged recording)
};

struct TapeDescription {
    DvSystem system = DvSystem::Pal625;
    std::vector<Recording> recordings;
    uint32_t startTimecodeFrame = 0; // timecode of the first frame, counted in frames
};

struct Timecode {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int frames = 0;
    friend bool operator==(const Timecode&, const Timecode&) = default;
};

// What a frame of the tape says, for checks against decoders.
struct FrameFacts {
    std::size_t recording = 0;
    std::optional<CivilDateTime> date;
    Timecode timecode;
    bool wide = false;
    bool audioPack = true;
};

class BaseFrames;
struct SystemParams;

class DvTape {
public:
    // The frames are encoded when the first one is rendered; that throws std::runtime_error
    // when the DV encoder or muxer is unavailable.
    explicit DvTape(TapeDescription description);
    ~DvTape();
    DvTape(const DvTape&) = delete;
    DvTape& operator=(const DvTape&) = delete;

    const TapeDescription& description() const { return description_; }
    std::size_t frameBytes() const;
    uint64_t frameCount() const { return frameCount_; }
    // 25/1 or 30000/1001.
    int fpsNumerator() const;
    int fpsDenominator() const;

    FrameFacts facts(uint64_t index) const;
    // Writes frame `index` into `out`, which must hold frameBytes() bytes; answers false (writing
    // nothing) when it does not or the index is past the end of the tape.
    bool renderFrame(uint64_t index, std::span<uint8_t> out) const;
    std::vector<uint8_t> frame(uint64_t index) const;
    // Writes the whole tape as a raw DV file; false when the file cannot be written.
    bool writeRawDv(const std::string& path) const;

private:
    const BaseFrames& base() const;

    TapeDescription description_;
    const SystemParams* params_;
    mutable std::once_flag baseOnce_;
    mutable std::shared_ptr<const BaseFrames> base_;
    std::vector<uint64_t> recordingStarts_;
    uint64_t frameCount_ = 0;
};

} // namespace vidorel::dvtape

#pragma once

// Readers of the metadata a DV camcorder stores inside every frame (recording date and time,
// tape timecode, audio format, video system, 16:9 marking) and the 16:9 writer.
//
// All offsets are fixed positions inside DIF sequences 0 to 9. A frame handed in as a span
// shorter than ten sequences (120 000 bytes) carries no metadata: every reader then answers
// "absent" instead of reading past the buffer, so a truncated or damaged sample can never take
// the capture down.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace vidorel {

inline constexpr std::size_t kDifBlockBytes = 80;
inline constexpr std::size_t kDifSequenceBytes = 12000;
inline constexpr int kDvMetadataSequences = 10;
inline constexpr std::size_t kDvMetadataBytes = kDifSequenceBytes * kDvMetadataSequences;
inline constexpr std::size_t kDv625FrameBytes = kDifSequenceBytes * 12;
inline constexpr std::size_t kDv525FrameBytes = kDifSequenceBytes * 10;

struct TDVRecDateTime {
    int32_t Year = -1; // -1: this sequence carries no recording date
    uint8_t Month = 0;
    uint8_t Day = 0;
    uint8_t Hour = 0;
    uint8_t Minute = 0;
    uint8_t Second = 0;
};

struct TDVTimecode {
    uint8_t Hours = 255; // 255: no timecode, the other fields are then undefined
    uint8_t Minutes = 0;
    uint8_t Seconds = 0;
    uint8_t Frames = 0;
};
static_assert(sizeof(TDVTimecode) == 4);

// The description of one frame, as the scene detector records it.
struct TDVFrameInfo {
    uint32_t FrameNumber = 0; // since the detector last stopped, from 0
    bool DateValid = false;
    bool TimecodeValid = false;
    bool InfoComplete = false; // timecode, VAUX source control and AAUX source all present
    double RecDateTime = 0;    // days since 1899-12-30, time as fraction; 0 when undated
    TDVTimecode Timecode;
    bool Is16x9 = false;
    uint8_t VideoSystem = 2; // 0 = 625/50, 1 = 525/60, 2 = neither
    int32_t AudioRate = -1;
    int32_t AudioBits = -1;
    int64_t FrameNumber64 = 0;
};

// Called with the record of a scene's first frame and the record of the frame after its last.
using TSceneCallback = std::function<void(const TDVFrameInfo& start, const TDVFrameInfo& next)>;

using DvFrame = std::span<const uint8_t>;
using DvMutableFrame = std::span<uint8_t>;

// True when the buffer is long enough for the fixed metadata offsets.
inline bool DvFrameHasMetadata(DvFrame frame) {
    return frame.size() >= kDvMetadataBytes;
}

// Fills `out` from sequence `sequence` (0..9); Year = -1 when the packs are absent. The fields are
// not range-checked: see DVRecDateTimeToDays.
void GetDVRecDateTime(DvFrame frame, int sequence, TDVRecDateTime& out);
TDVTimecode GetDVTimecode(DvFrame frame, int sequence);
bool HasDVVideoControl(DvFrame frame);
// 0 = 625/50, 1 = 525/60, 2 = neither (or a frame too short to tell).
uint8_t GetDVSystem(DvFrame frame);
// 48000, 44100, 32000; 0 for another code; -1 when there is no AAUX source pack.
int32_t GetDVAudioRate(DvFrame frame);
// 16, 12; 0 for another code; -1 when there is no AAUX source pack.
int32_t GetDVAudioBits(DvFrame frame);
bool IsDV16x9(DvFrame frame);
// Marks sequence `sequence` as 16:9. Answers false (and writes nothing) when the frame is too
// short or the sequence is outside 0..9.
bool SetDV16x9(DvMutableFrame frame, int sequence);

// Turns decoded fields into a day count since 1899-12-30 with the time as fraction. Answers
// false for an absent or impossible date or time (month 0, 31 April, hour 25, ...).
bool DVRecDateTimeToDays(const TDVRecDateTime& rec, double& days);

// The inverse, rounded to the nearest second, for printing.
struct DvCivilTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
DvCivilTime DaysToCivilTime(double days);

} // namespace vidorel

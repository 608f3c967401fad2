#pragma once

// The DV type-1 AVI format: one interleaved stream ("iavs", handler "dvsd") whose chunks are the
// camcorder's frames unchanged, audio included, so nothing is decoded or re-multiplexed while
// recording.
//
// Layout written (OpenDML, so files grow past 1 GB):
//
//     RIFF 'AVI '  LIST 'hdrl' { avih, LIST 'strl' { strh, strf (DVINFO), indx }, LIST 'odml'
//     {dmlh}}
//                  LIST 'movi' { 00db ... ix00 }
//                  idx1                                 (for players that know no OpenDML)
//     RIFF 'AVIX'  LIST 'movi' { 00db ... ix00 }        (as many as needed)
//
// The header is written as a placeholder with the first frame and rewritten by Finish(); each
// RIFF part is closed (its index written, its sizes set) when the next one starts. A file that
// never saw Finish() keeps the placeholder: first RIFF and its movi list sized 0 ("up to the end
// of the file"), every frame count 0, no index in the last part. Its frames are all there, in
// order, for a repair tool.
//
// A write that fails (a full disk) need not lose the recording: Salvage() cuts the file after
// its last whole frame and rewrites the sizes and counts in place, which needs no new space.
// The part that was open keeps no index; players find its frames by reading it through.
//
// The writer only knows a byte sink: the file's life (opening, buffering, errors) belongs to the
// sink, so the layout is testable in memory. Nothing is allocated per frame: the index tables
// are sized from the RIFF limit when the first frame fixes the frame size.

#include "filters/dvcodes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace vidorel {

// Where the writer's bytes go. Append writes at the end; Overwrite rewrites bytes already
// appended (headers, sizes). Both answer false when the bytes could not all be written.
class TByteSink {
public:
    virtual ~TByteSink() = default;
    virtual bool Append(std::span<const uint8_t> bytes) = 0;
    virtual bool Overwrite(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    // After a failed append: how many bytes really are in the sink (the rest of what was
    // appended got lost), and dropping everything after `size`. A sink that cannot tell
    // answers UINT64_MAX and false: nothing can be salvaged from it.
    virtual uint64_t Committed() { return UINT64_MAX; }
    virtual bool Truncate(uint64_t) { return false; }
};

// A file written through a stdio buffer; header rewrites flush and then pwrite.
class TFileByteSink : public TByteSink {
public:
    TFileByteSink() = default;
    ~TFileByteSink() override;
    TFileByteSink(const TFileByteSink&) = delete;
    TFileByteSink& operator=(const TFileByteSink&) = delete;

    // Creates or truncates the file; false with Errno() set when it cannot.
    bool Open(const std::string& path);
    bool Append(std::span<const uint8_t> bytes) override;
    bool Overwrite(uint64_t offset, std::span<const uint8_t> bytes) override;
    // The file's size on disk; what the buffer still holds is dropped (it could not be
    // written).
    uint64_t Committed() override;
    bool Truncate(uint64_t size) override;
    // Flushes and closes; false when the last bytes could not be written. Idempotent.
    bool Close();
    bool IsOpen() const { return file_ != nullptr; }
    // errno of the first failure (0: none).
    int Errno() const { return errno_; }

private:
    bool fail();
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    int errno_ = 0;
};

enum class DvAviSystem { Pal625, Ntsc525 };

// The DVINFO structure of the stream format: the AAUX source and source-control packs of both
// audio channels' sequences and the VAUX source and source-control packs, each as the pack's
// four data bytes (PC1 in the low byte), the two reserved words zero. A pack the frame does not
// carry stays zero.
std::array<uint8_t, 32> DVInfoFromFrame(DvFrame frame);

class TDVType1AviWriter {
public:
    // Every RIFF part stays below this (the OpenDML convention, and what old players accept for
    // the first part).
    static constexpr uint64_t kDefaultRiffLimit = uint64_t{1} << 30;
    // Entries of the super index reserved in the header: one per RIFF part, so 256 GiB of DV
    // (about 19 hours) with the default limit.
    static constexpr uint32_t kDefaultSuperIndexEntries = 256;

    enum class Result {
        Ok,
        WriteFailed,    // the sink refused bytes; the writer takes nothing more
        WrongFrameSize, // not the size of the first frame (or of any DV system); frame skipped
        FileFull,       // the super index is full; no more frames fit in this file
        Finished,       // Finish() was already called
    };

    // `riffLimit` is clamped to 2^32 - 2 (32-bit sizes inside each part).
    explicit TDVType1AviWriter(TByteSink& sink, uint64_t riffLimit = kDefaultRiffLimit,
                               uint32_t superIndexEntries = kDefaultSuperIndexEntries);

    // The system a file with no frame at all declares (from the caps); the first frame decides
    // otherwise.
    void SetDefaultSystem(DvAviSystem system) { system_ = system; }

    Result WriteFrame(DvFrame frame);
    // Closes the last part and rewrites the header with the counts and indexes.
    Result Finish();
    // After a failed write: keeps the whole frames the sink holds, cuts the rest and rewrites
    // the sizes and counts so the file plays (the open part without an index). Ok when the
    // file was saved this way; the writer is finished then.
    Result Salvage();

    uint64_t FramesWritten() const { return totalFrames_; }
    uint64_t BytesWritten() const { return position_; }
    std::size_t RiffParts() const { return parts_.size() + (partOpen_ ? 1 : 0); }
    bool Failed() const { return failed_; }
    bool IsFinished() const { return finished_; }

    static constexpr std::size_t FrameBytes(DvAviSystem s) {
        return s == DvAviSystem::Pal625 ? kDv625FrameBytes : kDv525FrameBytes;
    }

private:
    struct Part {
        uint64_t ixOffset = 0; // of the ix00 chunk header
        uint32_t ixBytes = 0;  // ix00 chunk, header included
        uint32_t frames = 0;
        uint32_t riffBytes = 0; // as in the RIFF size field
        uint32_t moviBytes = 0; // as in the movi LIST size field
    };

    bool start(DvFrame first);
    bool openPart();
    bool closePart();
    std::size_t headerBytes() const;
    void buildHeader(std::vector<uint8_t>& out) const;
    uint64_t partBytesWith(std::size_t frames) const;
    bool append(std::span<const uint8_t> bytes);
    bool overwrite32(uint64_t offset, uint32_t value);
    Result fail();

    TByteSink& sink_;
    uint64_t riffLimit_;
    uint32_t superEntries_;
    DvAviSystem system_ = DvAviSystem::Pal625;
    std::size_t frameBytes_ = 0; // 0 until the first frame
    std::array<uint8_t, 32> dvinfo_{};

    uint64_t position_ = 0;
    uint64_t totalFrames_ = 0;
    bool failed_ = false;
    bool finished_ = false;

    // The open part: offsets of its RIFF and movi LIST headers and its frames' data offsets
    // relative to the movi LIST header (ix00 adds 8 to point at the data, idx1 wants the chunk).
    bool partOpen_ = false;
    uint64_t riffOffset_ = 0;
    uint64_t moviOffset_ = 0;
    std::vector<uint32_t> frameOffsets_;
    std::vector<Part> parts_;
    std::vector<uint8_t> scratch_;
    // The first part as Salvage() left it (no index), when it never closed.
    bool firstSalvaged_ = false;
    Part salvagedFirst_;
};

} // namespace vidorel

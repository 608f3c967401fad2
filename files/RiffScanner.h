#pragma once

// A bounded walk over the chunks of a RIFF file (AVI, WAV), shared by the frame-rate patch and
// the AVI header fix-ups. It never trusts a size: a chunk running past its list or the file is
// cut to what remains, offsets are 64-bit so files beyond 4 GB are walked correctly, and a list
// too short to hold its type ends the walk.

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

namespace vidorel {

using FourCC = std::array<char, 4>;

inline bool IsFourCC(const FourCC& f, std::string_view s) {
    return s.size() == 4 && std::string_view(f.data(), 4) == s;
}

struct RiffChunk {
    FourCC id{};
    uint32_t declaredSize = 0; // as written in the file
    uint64_t headerOffset = 0; // of the FOURCC
    uint64_t dataOffset = 0;   // headerOffset + 8
    uint64_t dataBytes = 0;    // declared size, padded to even and cut to its container
    bool isList = false;       // "RIFF" or "LIST"
    FourCC listType{};         // when isList
    int depth = 0;             // 0 for top-level chunks
};

enum class RiffVisit {
    Descend, // lists: walk the sub-chunks; other chunks: same as Skip
    Skip,    // go on after this chunk
    Stop,    // end the walk
};

class RiffScanner {
public:
    // Reads `size` bytes at `offset` into `out`; false when they cannot all be read.
    using ReadAt = std::function<bool(uint64_t offset, void* out, std::size_t size)>;

    RiffScanner(ReadAt read, uint64_t fileSize) : read_(std::move(read)), fileSize_(fileSize) {}

    // Walks the file. The walk ends at once when the first chunk is not "RIFF". Answers false
    // when it ended on malformed data (the visitor has then seen everything before it).
    bool Walk(const std::function<RiffVisit(const RiffChunk&)>& visit) const;

    // Reads chunk data, clipped to the chunk; answers the number of bytes read.
    std::size_t ReadData(const RiffChunk& chunk, uint64_t from, void* out, std::size_t size) const;

private:
    enum class Result { Continue, Stop, Malformed };
    Result walkRange(uint64_t begin, uint64_t end, int depth,
                     const std::function<RiffVisit(const RiffChunk&)>& visit) const;

    ReadAt read_;
    uint64_t fileSize_;
};

// A reader over a file descriptor (pread).
RiffScanner::ReadAt FileReader(int fd);

} // namespace vidorel

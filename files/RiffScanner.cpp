#include "files/RiffScanner.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace vidorel {

namespace {

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

bool RiffScanner::Walk(const std::function<RiffVisit(const RiffChunk&)>& visit) const {
    uint8_t magic[4];
    if (fileSize_ < 8 || !read_(0, magic, 4) || std::memcmp(magic, "RIFF", 4) != 0) {
        return false;
    }
    return walkRange(0, fileSize_, 0, visit) != Result::Malformed;
}

RiffScanner::Result
RiffScanner::walkRange(uint64_t begin, uint64_t end, int depth,
                       const std::function<RiffVisit(const RiffChunk&)>& visit) const {
    uint64_t pos = begin;
    // A chunk header needs 8 bytes; anything shorter at the end of a list is padding.
    while (end > pos && end - pos > 7) {
        uint8_t header[8];
        if (!read_(pos, header, sizeof header)) {
            return Result::Malformed;
        }
        RiffChunk c;
        std::memcpy(c.id.data(), header, 4);
        c.declaredSize = le32(header + 4);
        c.headerOffset = pos;
        c.dataOffset = pos + 8;
        const uint64_t padded = uint64_t(c.declaredSize) + (c.declaredSize & 1);
        c.dataBytes = std::min(padded, end - c.dataOffset);
        c.depth = depth;
        c.isList = IsFourCC(c.id, "RIFF") || IsFourCC(c.id, "LIST");
        if (c.isList) {
            if (c.dataBytes < 4 || !read_(c.dataOffset, c.listType.data(), 4)) {
                return Result::Malformed;
            }
        }
        const RiffVisit v = visit(c);
        if (v == RiffVisit::Stop) {
            return Result::Stop;
        }
        if (c.isList && v == RiffVisit::Descend) {
            const Result r =
                walkRange(c.dataOffset + 4, c.dataOffset + c.dataBytes, depth + 1, visit);
            if (r != Result::Continue) {
                return r;
            }
        }
        pos = c.dataOffset + c.dataBytes;
    }
    return Result::Continue;
}

std::size_t RiffScanner::ReadData(const RiffChunk& chunk, uint64_t from, void* out,
                                  std::size_t size) const {
    if (from >= chunk.dataBytes) {
        return 0;
    }
    const auto n = static_cast<std::size_t>(std::min<uint64_t>(size, chunk.dataBytes - from));
    return read_(chunk.dataOffset + from, out, n) ? n : 0;
}

RiffScanner::ReadAt FileReader(int fd) {
    return [fd](uint64_t offset, void* out, std::size_t size) {
        auto* p = static_cast<uint8_t*>(out);
        while (size > 0) {
            const ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
            if (n <= 0) {
                return false;
            }
            p += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<uint64_t>(n);
        }
        return true;
    };
}

} // namespace vidorel

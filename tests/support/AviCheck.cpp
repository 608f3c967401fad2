#include "tests/support/AviCheck.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace vidorel::test {

namespace {

uint32_t U32(const std::vector<uint8_t>& d, uint64_t at) {
    if (at + 4 > d.size()) {
        return 0;
    }
    return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 |
           uint32_t(d[at + 3]) << 24;
}

std::string Id(const std::vector<uint8_t>& d, uint64_t at) {
    if (at + 4 > d.size()) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(&d[at]), 4);
}

struct Walker {
    const std::vector<uint8_t>& d;
    AviSummary& s;
    const VideoChunkVisitor* onVideo = nullptr;
    bool sawVideoStrh = false;

    // Walks the chunks in [begin, end).
    bool Walk(uint64_t begin, uint64_t end) {
        uint64_t at = begin;
        while (at + 8 <= end) {
            const std::string id = Id(d, at);
            const uint64_t size = U32(d, at + 4);
            const uint64_t data = at + 8;
            if (data + size > end) {
                return false; // a chunk running past its list
            }
            if (id == "LIST") {
                if (size < 4) {
                    return false;
                }
                const std::string type = Id(d, data);
                if (!Walk(data + 4, data + size)) {
                    return false;
                }
                (void)type;
            } else if (id == "avih" && size >= 40) {
                s.hasIndexFlag = (U32(d, data + 12) & 0x10) != 0;
                s.avihTotalFrames = U32(d, data + 16);
            } else if (id == "strh" && size >= 36 && !sawVideoStrh) {
                const std::string type = Id(d, data);
                if (type == "vids" || type == "iavs") {
                    sawVideoStrh = true;
                    s.handler = Id(d, data + 4);
                    s.strhLength = U32(d, data + 32);
                }
            } else if (id == "dmlh" && size >= 4) {
                s.dmlhTotalFrames = U32(d, data);
            } else if (id == "idx1") {
                s.idx1Entries += size / 16;
            } else if (id.size() == 4 &&
                       (id.compare(2, 2, "db") == 0 || id.compare(2, 2, "dc") == 0)) {
                ++s.videoChunks;
                if (onVideo != nullptr && *onVideo) {
                    (*onVideo)(&d[data], size);
                }
            } else if (id.size() == 4 && id.compare(2, 2, "wb") == 0) {
                ++s.audioChunks;
            }
            at = data + size + (size & 1);
        }
        return true;
    }
};

} // namespace

AviSummary ReadAvi(const std::string& path, const VideoChunkVisitor& onVideo) {
    AviSummary s;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return s;
    }
    const std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    s.fileSize = d.size();
    Walker w{d, s, &onVideo};
    uint64_t at = 0;
    bool consistent = true;
    bool whole = true;
    while (at + 12 <= d.size() && Id(d, at) == "RIFF") {
        const uint64_t size = U32(d, at + 4);
        const std::string type = Id(d, at + 8);
        if ((s.riffParts == 0 && type != "AVI ") || (s.riffParts > 0 && type != "AVIX")) {
            whole = false;
            break;
        }
        ++s.riffParts;
        uint64_t end = at + 8 + size;
        if (end > d.size()) {
            consistent = false;
            end = d.size();
        }
        if (!w.Walk(at + 12, end)) {
            whole = false;
        }
        at = end + (size & 1);
    }
    s.readable = whole && s.riffParts > 0;
    s.sizesConsistent = consistent && at == d.size();
    return s;
}

} // namespace vidorel::test

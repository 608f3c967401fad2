#pragma once

// Reading and little-endian helpers shared by the AVI and WAV repair plans.

#include "files/CaptureRepair.h"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace vidorel::repair {

// Reads through pread and remembers the first failure, so a plan can read freely and check
// once whether what it saw is what is on disk.
class TReader {
public:
    TReader(int fd, uint64_t size) : fd_(fd), size_(size) {}

    uint64_t Size() const { return size_; }
    bool Failed() const { return failed_; }

    // False (and zeros in `out`) when the range is not all in the file or cannot be read.
    bool Read(uint64_t offset, void* out, std::size_t n) {
        std::memset(out, 0, n);
        if (offset > size_ || n > size_ - offset) {
            return false;
        }
        auto* p = static_cast<uint8_t*>(out);
        while (n > 0) {
            const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
            if (got <= 0) {
                failed_ = true;
                return false;
            }
            p += got;
            n -= static_cast<std::size_t>(got);
            offset += static_cast<uint64_t>(got);
        }
        return true;
    }
    uint32_t U32(uint64_t offset) {
        uint8_t b[4];
        Read(offset, b, 4);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    uint16_t U16(uint64_t offset) {
        uint8_t b[2];
        Read(offset, b, 2);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    std::array<char, 4> Id(uint64_t offset) {
        std::array<char, 4> id{};
        Read(offset, id.data(), 4);
        return id;
    }

private:
    int fd_;
    uint64_t size_;
    bool failed_ = false;
};

inline bool Is(const std::array<char, 4>& id, std::string_view s) {
    return std::string_view(id.data(), 4) == s;
}

inline void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}
inline void Put64(std::vector<uint8_t>& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}
inline void PutId(std::vector<uint8_t>& out, std::string_view id) {
    out.insert(out.end(), id.begin(), id.begin() + 4);
}

inline void Patch32(TRepairPlan& plan, uint64_t offset, uint32_t v) {
    std::vector<uint8_t> b;
    Put32(b, v);
    plan.patches.emplace_back(offset, std::move(b));
}

inline TRepairPlan Refuse(std::string why) {
    TRepairPlan plan;
    plan.verdict = TRepairPlan::Verdict::Refused;
    plan.why = std::move(why);
    return plan;
}

inline TRepairPlan ReadError() {
    TRepairPlan plan;
    plan.verdict = TRepairPlan::Verdict::IoError;
    plan.why = "cannot read the file";
    return plan;
}

} // namespace vidorel::repair

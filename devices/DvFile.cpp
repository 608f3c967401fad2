#include "devices/DvFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace vidorel::devices {

size_t DvFrameSizeFromHeader(const uint8_t* b, size_t length) {
    if (b == nullptr || length < 2 * kDifBlockSize) {
        return 0;
    }
    // Block 0: section type 0 (header), DIF sequence 0, block number 0.
    if ((b[0] & 0xE0) != 0x00 || (b[1] >> 4) != 0 || b[2] != 0) {
        return 0;
    }
    // Block 1: section type 1 (subcode) of the same sequence.
    if ((b[kDifBlockSize] & 0xE0) != 0x20 || (b[kDifBlockSize + 1] >> 4) != 0) {
        return 0;
    }
    return (b[3] & 0x80) ? kDvFrameSize625 : kDvFrameSize525;
}

std::shared_ptr<TDvFileTape> TDvFileTape::Open(const std::string& path, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why) {
            *why = reason;
        }
        return std::shared_ptr<TDvFileTape>();
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(std::string("cannot open: ") + std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("not a regular file");
    }
    std::array<uint8_t, 2 * kDifBlockSize> head{};
    if (::pread(fd, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) {
        ::close(fd);
        return fail("shorter than one DV frame");
    }
    const size_t frameSize = DvFrameSizeFromHeader(head.data(), head.size());
    if (frameSize == 0) {
        ::close(fd);
        return fail("not a DV file");
    }
    const int64_t frames = static_cast<int64_t>(st.st_size) / static_cast<int64_t>(frameSize);
    if (frames < 1) {
        ::close(fd);
        return fail("shorter than one DV frame");
    }
    // A damaged file usually shows at its middle or its end; sample both besides the start.
    for (const int64_t probe : {frames / 2, frames - 1}) {
        if (::pread(fd, head.data(), head.size(), probe * static_cast<int64_t>(frameSize)) !=
                static_cast<ssize_t>(head.size()) ||
            DvFrameSizeFromHeader(head.data(), head.size()) != frameSize) {
            ::close(fd);
            return fail("damaged DV frames");
        }
    }
    return std::shared_ptr<TDvFileTape>(new TDvFileTape(fd, frameSize, frames));
}

TDvFileTape::~TDvFileTape() {
    ::close(fd_);
}

uint64_t TDvFileTape::FrameDurationNs() const {
    return frameSize_ == kDvFrameSize625 ? 40'000'000ULL : 1'001'000'000ULL / 30;
}

bool TDvFileTape::ReadFrame(int64_t index, uint8_t* dst) {
    if (index < 0 || index >= frames_) {
        return false;
    }
    size_t done = 0;
    const off_t base = static_cast<off_t>(index) * static_cast<off_t>(frameSize_);
    while (done < frameSize_) {
        const ssize_t n = ::pread(fd_, dst + done, frameSize_ - done, base + done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace vidorel::devices

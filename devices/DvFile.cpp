#include "devices/DvFile.h"

#include "platform/SafeOpen.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

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

bool IsResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

namespace {

// Opens a tape for reading without ever blocking (a FIFO without a writer, a device); only a
// regular file is a tape. -1 with errno set (EINVAL for another kind of file).
int OpenTapeFile(const std::string& path, struct stat& st) {
    UniqueFd fd(OpenRegularFile(path, O_RDONLY | O_NOCTTY, 0, TLinks::Follow));
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return -1;
    }
    return fd.release();
}

} // namespace

std::shared_ptr<TDvFileTape> TDvFileTape::Open(const std::string& path, std::string* why,
                                               int* error) {
    auto fail = [&](const std::string& reason, int err = 0) {
        if (why) {
            *why = reason;
        }
        if (error) {
            *error = err;
        }
        return std::shared_ptr<TDvFileTape>();
    };
    struct stat st {};
    UniqueFd fd(OpenTapeFile(path, st));
    if (fd.get() < 0) {
        const int err = errno;
        return fail(err == EINVAL ? "not a regular file"
                                  : std::string("cannot open: ") + std::strerror(err),
                    err);
    }
    std::array<uint8_t, 2 * kDifBlockSize> head{};
    if (::pread(fd.get(), head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) {
        return fail("shorter than one DV frame");
    }
    const size_t frameSize = DvFrameSizeFromHeader(head.data(), head.size());
    if (frameSize == 0) {
        return fail("not a DV file");
    }
    const int64_t frames = static_cast<int64_t>(st.st_size) / static_cast<int64_t>(frameSize);
    if (frames < 1) {
        return fail("shorter than one DV frame");
    }
    // A damaged file usually shows at its middle or its end; sample both besides the start.
    for (const int64_t probe : {frames / 2, frames - 1}) {
        if (::pread(fd.get(), head.data(), head.size(), probe * static_cast<int64_t>(frameSize)) !=
                static_cast<ssize_t>(head.size()) ||
            DvFrameSizeFromHeader(head.data(), head.size()) != frameSize) {
            return fail("damaged DV frames");
        }
    }
    return std::shared_ptr<TDvFileTape>(new TDvFileTape(path, frameSize, frames));
}

TDvFileTape::~TDvFileTape() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TDvFileTape::Load(std::string* why) {
    std::lock_guard lock(mutex_);
    if (loads_ == 0) {
        struct stat st {};
        const int fd = OpenTapeFile(path_, st);
        if (fd < 0) {
            if (why) {
                *why = errno == EINVAL ? std::string("not a regular file any more")
                                       : std::string("cannot open: ") + std::strerror(errno);
            }
            return false;
        }
        fd_ = fd;
    }
    ++loads_;
    return true;
}

void TDvFileTape::Unload() {
    std::lock_guard lock(mutex_);
    if (loads_ > 0 && --loads_ == 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool TDvFileTape::Loaded() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

uint64_t TDvFileTape::FrameDurationNs() const {
    return frameSize_ == kDvFrameSize625 ? 40'000'000ULL : 1'001'000'000ULL / 30;
}

bool TDvFileTape::ReadFrame(int64_t index, uint8_t* dst) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= frames_ || fd_ < 0) {
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

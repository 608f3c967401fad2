#pragma once

// Opening the files the program writes and patches (captures, scene files) so that a hostile or
// unlucky name cannot hang it or redirect it: never blocking on a FIFO or a device, never
// following a symbolic link in the file's own name, and only ever a regular file.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vidorel {

enum class TLinks { Refuse, Follow };

// Opens `path` with `flags` (O_RDONLY, O_WRONLY | O_CREAT | O_TRUNC, ...) plus O_NONBLOCK and
// O_CLOEXEC (and O_NOFOLLOW unless links are followed: files the program writes; a settings
// file it only reads may well be a link), checks that it is a regular file, and clears
// O_NONBLOCK again. -1 with errno set (ELOOP for a refused link, EINVAL for another kind of
// file) when it cannot.
inline int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0644,
                           TLinks links = TLinks::Refuse) {
    const int fd =
        ::open(path.c_str(),
               flags | O_NONBLOCK | O_CLOEXEC | (links == TLinks::Refuse ? O_NOFOLLOW : 0), mode);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) {
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    }
    return fd;
}

// The whole content of a small regular file (at most `limit` bytes are read), or nothing
// when it cannot be opened as one. Never blocks on a FIFO or a device.
inline bool ReadSmallRegularFile(const std::string& path, std::string& out,
                                 size_t limit = 1 << 20) {
    const int fd = OpenRegularFile(path, O_RDONLY, 0, TLinks::Follow);
    if (fd < 0) {
        return false;
    }
    out.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        out.append(buffer, static_cast<size_t>(n));
        if (out.size() >= limit) {
            out.resize(limit);
            break;
        }
    }
    ::close(fd);
    return true;
}

} // namespace vidorel

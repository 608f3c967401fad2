#include "files/CaptureRepair.h"

#include "files/RepairIo.h"
#include "platform/SafeOpen.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vidorel {

namespace {

std::string Errno(int err) {
    return std::strerror(err);
}

std::string Seconds(double s) {
    char b[64];
    std::snprintf(b, sizeof b, "%.2f s", s);
    return b;
}

bool WriteAll(int fd, const uint8_t* p, std::size_t n, uint64_t at) {
    while (n > 0) {
        const ssize_t done = ::pwrite(fd, p, n, static_cast<off_t>(at));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            if (done == 0) {
                errno = EIO;
            }
            return false;
        }
        p += done;
        n -= static_cast<std::size_t>(done);
        at += static_cast<uint64_t>(done);
    }
    return true;
}

// Copies [begin, end) of `from` to the same offsets of `to`: in the kernel when it can,
// through a buffer when the file systems do not allow that.
bool CopyRange(int from, int to, uint64_t begin, uint64_t end) {
    uint64_t done = begin;
    while (done < end) {
        loff_t in = static_cast<loff_t>(done);
        loff_t out = static_cast<loff_t>(done);
        const ssize_t n = ::copy_file_range(
            from, &in, to, &out,
            static_cast<std::size_t>(std::min<uint64_t>(end - done, uint64_t{1} << 30)), 0);
        if (n > 0) {
            done += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
            break;
        }
        return false;
    }
    std::vector<uint8_t> buffer(std::size_t{1} << 20);
    while (done < end) {
        const ssize_t n =
            ::pread(from, buffer.data(),
                    static_cast<std::size_t>(std::min<uint64_t>(end - done, buffer.size())),
                    static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO; // the file shrank under us
            }
            return false;
        }
        if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(n), done)) {
            return false;
        }
        done += static_cast<uint64_t>(n);
    }
    return true;
}

// The whole file; holes (a file system that never got the data, a sparse copy) stay holes.
bool CopyAll(int from, int to, uint64_t size) {
    uint64_t pos = 0;
    while (pos < size) {
        const off_t data = ::lseek(from, static_cast<off_t>(pos), SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                break; // a hole up to the end
            }
            return CopyRange(from, to, pos, size) && ::ftruncate(to, static_cast<off_t>(size)) == 0;
        }
        const off_t hole = ::lseek(from, data, SEEK_HOLE);
        const uint64_t end =
            hole < 0 ? size : std::min<uint64_t>(size, static_cast<uint64_t>(hole));
        if (!CopyRange(from, to, static_cast<uint64_t>(data), end)) {
            return false;
        }
        pos = end;
    }
    return ::ftruncate(to, static_cast<off_t>(size)) == 0;
}

void SyncDirectoryOf(const std::string& path) {
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty()) {
        dir = ".";
    }
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

TRepairReport Report(int status, std::string message) {
    TRepairReport r;
    r.ExitStatus = status;
    r.Message = std::move(message);
    return r;
}

// A full, synced copy of the file under a name that did not exist before; the backup path or
// an empty string with errno set.
std::string WriteBackup(const std::string& path, int fd, uint64_t size, mode_t mode) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = NextBackupPath(path);
        // O_EXCL: a backup appearing meanwhile is never overwritten; the next name is tried.
        UniqueFd out(OpenRegularFile(name, O_WRONLY | O_CREAT | O_EXCL, mode & 0666));
        if (!out.valid()) {
            if (errno == EEXIST) {
                continue;
            }
            return {};
        }
        if (!CopyAll(fd, out.get(), size) || ::fsync(out.get()) != 0 || out.close() != 0) {
            const int err = errno;
            ::unlink(name.c_str());
            errno = err;
            return {};
        }
        SyncDirectoryOf(name);
        return name;
    }
    errno = EEXIST;
    return {};
}

} // namespace

TRepairPlan PlanCaptureRepair(int fd, uint64_t fileSize) {
    repair::TReader r(fd, fileSize);
    if (fileSize == 0) {
        return repair::Refuse("the file is empty");
    }
    if (fileSize >= 12 && repair::Is(r.Id(0), "RIFF")) {
        if (repair::Is(r.Id(8), "AVI ")) {
            return PlanAviRepair(fd, fileSize);
        }
        if (repair::Is(r.Id(8), "WAVE")) {
            return PlanWavRepair(fd, fileSize);
        }
    }
    return r.Failed() ? repair::ReadError() : repair::Refuse("not an AVI or WAV file");
}

std::string NextBackupPath(const std::string& path) {
    std::string name = path + ".bak";
    struct stat st {};
    for (int i = 1; ::lstat(name.c_str(), &st) == 0 || errno != ENOENT; ++i) {
        name = path + ".bak." + std::to_string(i);
    }
    return name;
}

TRepairReport RepairCapture(const std::string& path, bool backup) {
    UniqueFd fd(OpenRegularFile(path, O_RDONLY));
    if (!fd.valid()) {
        const int err = errno;
        if (err == EINVAL || err == ELOOP) {
            return Report(1, "cannot repair " + path + ": not a regular file; left untouched");
        }
        return Report(2, "cannot open " + path + ": " + Errno(err));
    }
    struct stat before {};
    if (::fstat(fd.get(), &before) != 0) {
        return Report(2, "cannot read " + path + ": " + Errno(errno));
    }
    const auto size = static_cast<uint64_t>(before.st_size);
    const TRepairPlan plan = PlanCaptureRepair(fd.get(), size);
    switch (plan.verdict) {
    case TRepairPlan::Verdict::Healthy:
        return Report(0, path + " is complete; nothing to repair");
    case TRepairPlan::Verdict::Refused:
        return Report(1, "cannot repair " + path + ": " + plan.why + "; left untouched");
    case TRepairPlan::Verdict::IoError:
        return Report(2, "cannot read " + path + ": " + plan.why);
    case TRepairPlan::Verdict::Repair:
        break;
    }

    // The file being written that failed (a full disk) has nothing older to keep, and there
    // may be no room for a copy.
    const std::string backupPath =
        backup ? WriteBackup(path, fd.get(), size, before.st_mode) : std::string();
    if (backup && backupPath.empty()) {
        return Report(2, "cannot write a backup of " + path + ": " + Errno(errno) +
                             "; left untouched");
    }
    const std::string saved = backup ? ", backup " + backupPath : std::string();
    TRepairReport done;
    done.BackupPath = backupPath;
    UniqueFd rw(OpenRegularFile(path, O_RDWR));
    struct stat now {};
    if (!rw.valid() || ::fstat(rw.get(), &now) != 0) {
        done.ExitStatus = 2;
        done.Message =
            "cannot open " + path + " for writing: " + Errno(errno) + "; left untouched" + saved;
        return done;
    }
    // A file still growing (a capture still running) or replaced meanwhile is not what was
    // planned for.
    if (now.st_dev != before.st_dev || now.st_ino != before.st_ino ||
        static_cast<uint64_t>(now.st_size) != size) {
        done.ExitStatus = 2;
        done.Message = path + " changed while it was read; left untouched" + saved;
        return done;
    }
    // The data end first, the header last: a repair that stops half-way leaves a file that
    // still looks unfinished and is repaired again the same way.
    bool ok =
        plan.keepBytes >= size || ::ftruncate(rw.get(), static_cast<off_t>(plan.keepBytes)) == 0;
    ok = ok && WriteAll(rw.get(), plan.tail.data(), plan.tail.size(), plan.keepBytes);
    ok = ok && ::fsync(rw.get()) == 0;
    for (const auto& [at, bytes] : plan.patches) {
        ok = ok && WriteAll(rw.get(), bytes.data(), bytes.size(), at);
    }
    ok = ok && ::fsync(rw.get()) == 0;
    const int err = errno;
    ok = rw.close() == 0 && ok;
    done.Changed = true;
    if (!ok) {
        done.ExitStatus = 2;
        done.Message = "repair of " + path + " failed: " + Errno(err) +
                       (backup ? "; the original is in " + backupPath : std::string());
        return done;
    }
    done.ExitStatus = 0;
    done.Message = "repaired " + path + ": kept " +
                   (plan.isAvi ? std::to_string(plan.keptFrames) + " frames (" +
                                     Seconds(plan.keptSeconds) + ")"
                               : Seconds(plan.keptSeconds)) +
                   saved;
    return done;
}

int RunRepair(const std::string& path, std::FILE* out, std::FILE* err) {
    const TRepairReport r = RepairCapture(path);
    if (r.ExitStatus == 0) {
        std::fprintf(out, "%s\n", r.Message.c_str());
        std::fflush(out);
    } else {
        std::fprintf(err, "vidorel-capture: %s\n", r.Message.c_str());
        std::fflush(err);
    }
    return r.ExitStatus;
}

} // namespace vidorel

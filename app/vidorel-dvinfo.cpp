// vidorel-dvinfo [--frames] [--scn OUT.scn] FILE
//
// Lists the scenes of a raw DV file or a DV AVI (type 1 or 2) as the capture's scene detector
// finds them, optionally every frame's record, and optionally writes the scene index file a
// capture of that material would have written. The file runs through GStreamer:
//     appsrc (raw DV, one whole frame per buffer) ! zv_scenedetect ! fakesink
//     filesrc (an AVI file) or appsrc (an AVI from a pipe) ! avidemux ! zv_scenedetect ! fakesink
//
// The input is opened once, and a pipe is read once, in order: the format is told from the first
// bytes, which then go on to the pipeline. A run that stops moving ends after kStallSeconds. The
// scene file is written only once the run has succeeded, and it replaces the old one in one step.

#include "files/ecrire_scnUnit.h"
#include "filters/DVFrameMeta.h"
#include "filters/Registration.h"
#include "filters/zv_scenedetect.h"
#include "platform/GstRef.h"
#include "platform/Version.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <span>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

using namespace vidorel;

namespace {

// A run in which no byte arrives and nothing moves for this long has stalled: a pipe whose writer
// neither writes nor closes, a FIFO nobody opens, a pipeline left waiting for data.
constexpr int kStallSeconds = 10;
constexpr std::size_t kSniffBytes = 12;
// What an AVI from a pipe is read in; avidemux puts the chunks back together.
constexpr std::size_t kAviReadBytes = 64 * 1024;

struct Options {
    bool frames = false;
    std::string scn;
    std::string file;
};

constexpr const char* kHelp =
    "usage: vidorel-dvinfo [--frames] [--scn OUT.scn] FILE\n"
    "\n"
    "Lists the scenes (camcorder recordings) of a raw DV file or a DV AVI (type 1 or 2), as\n"
    "a capture's scene detector finds them: one line per scene, then the frame count.\n"
    "FILE may be a pipe (/dev/stdin, a FIFO).\n"
    "\n"
    "  --frames       one more line per frame: its recording date, timecode, 16:9 and system\n"
    "  --scn OUT.scn  write the scene index file of those scenes once the whole file is read\n"
    "  --help         this text\n"
    "  --version      the version\n"
    "\n"
    "Exit status: 0 done, 1 the file cannot be read or holds no whole DV frame (or the\n"
    "output cannot be written), 2 a usage error.\n";

int usage(const char* message) {
    std::fprintf(stderr,
                 "vidorel-dvinfo: %s\nusage: vidorel-dvinfo [--frames] [--scn OUT.scn] FILE\n",
                 message);
    return 2;
}

// Safe on any thread, unlike strerror.
std::string errorText(int error) {
    return std::generic_category().message(error);
}

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept {
        Reset();
        m_fd = std::exchange(other.m_fd, -1);
        return *this;
    }
    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void Reset() {
        if (m_fd >= 0) {
            ::close(std::exchange(m_fd, -1));
        }
    }
    // Closes now and answers close's result (a delayed write error may only show there).
    int Close() { return ::close(std::exchange(m_fd, -1)); }

private:
    int m_fd = -1;
};

// The folder part of a path ("." for a bare name).
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The input, opened once. Reads wait for data with poll, so a FIFO that nobody opens or writes to
// can be given up on (after a timeout, or by Cancel from another thread) instead of blocking.
class Input {
public:
    enum class Status { Data, End, Cancelled, TimedOut, Failed };

    // Empty when the file is open, else why it cannot be read.
    std::string Open(const std::string& path) {
        // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
        m_fd = Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (!m_fd) {
            return errorText(errno);
        }
        if (::fstat(m_fd.Get(), &m_stat) != 0) {
            return errorText(errno);
        }
        if (S_ISDIR(m_stat.st_mode)) {
            return "it is a folder";
        }
        // A terminal or a device such as /dev/zero would be read forever or waited on.
        if (!S_ISREG(m_stat.st_mode) && !S_ISFIFO(m_stat.st_mode)) {
            return "it is neither a regular file nor a pipe";
        }
        m_wake = Fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!m_wake) {
            return errorText(errno);
        }
        return {};
    }

    bool Regular() const { return S_ISREG(m_stat.st_mode); }
    const struct stat& Stat() const { return m_stat; }
    // Bytes handed out so far (read by the thread that reads, or after it stopped).
    uint64_t Delivered() const { return m_delivered; }

    // Fills `dst` unless the input ends first (End, with `got` < its size). Each wait for data
    // lasts at most `timeoutMs` (-1: until Cancel).
    Status ReadFull(std::span<uint8_t> dst, int timeoutMs, std::size_t& got, std::string& error) {
        got = 0;
        while (got < dst.size()) {
            std::size_t n = 0;
            const Status status = ReadSome(dst.subspan(got), timeoutMs, n, error);
            got += n;
            if (status != Status::Data) {
                return status;
            }
        }
        return Status::Data;
    }

    // Reads at least one byte (Data), or answers why not (End: the input has ended).
    Status ReadSome(std::span<uint8_t> dst, int timeoutMs, std::size_t& got, std::string& error) {
        got = 0;
        if (!m_back.empty()) {
            got = std::min(dst.size(), m_back.size());
            std::memcpy(dst.data(), m_back.data(), got);
            m_back.erase(m_back.begin(), m_back.begin() + static_cast<std::ptrdiff_t>(got));
            m_delivered += got;
            return Status::Data;
        }
        for (;;) {
            const Status ready = Wait(timeoutMs, error);
            if (ready != Status::Data) {
                return ready;
            }
            const ssize_t n = ::read(m_fd.Get(), dst.data(), dst.size());
            if (n > 0) {
                got = static_cast<std::size_t>(n);
                m_delivered += got;
                return Status::Data;
            }
            if (n == 0) {
                return Status::End;
            }
            if (errno != EAGAIN && errno != EINTR) {
                error = errorText(errno);
                return Status::Failed;
            }
        }
    }

    // Bytes read ahead to tell the format are handed out again first.
    void PutBack(std::span<const uint8_t> bytes) {
        m_back.insert(m_back.begin(), bytes.begin(), bytes.end());
        m_delivered -= bytes.size();
    }

    // Ends the wait in progress and every later one (any thread).
    void Cancel() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake.Get(), &one, sizeof one);
    }

private:
    Status Wait(int timeoutMs, std::string& error) {
        pollfd fds[2] = {{m_fd.Get(), POLLIN, 0}, {m_wake.Get(), POLLIN, 0}};
        for (;;) {
            const int n = ::poll(fds, 2, timeoutMs);
            if (n > 0) {
                // Readable, hung up or failed: the read tells which.
                return fds[1].revents != 0 ? Status::Cancelled : Status::Data;
            }
            if (n == 0) {
                return Status::TimedOut;
            }
            if (errno != EINTR) {
                error = errorText(errno);
                return Status::Failed;
            }
        }
    }

    Fd m_fd;
    Fd m_wake; // an eventfd, written once by Cancel
    struct stat m_stat {};
    std::vector<uint8_t> m_back;
    uint64_t m_delivered = 0;
};

enum class Container { RawDv625, RawDv525, Avi, Unknown };

Container sniff(std::span<const uint8_t> head) {
    if (std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "AVI ", 4) == 0) {
        return Container::Avi;
    }
    // A DIF header block: section type 0 in the top bits of the first byte, DSF in bit 7 of the
    // fourth.
    if ((head[0] & 0xE0) == 0x00 && head[1] == 0x07) {
        return (head[3] & 0x80) ? Container::RawDv625 : Container::RawDv525;
    }
    return Container::Unknown;
}

std::string dateText(const TDVFrameInfo& f) {
    if (!f.DateValid) {
        return "none";
    }
    const DvCivilTime t = DaysToCivilTime(f.RecDateTime);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

std::string timecodeText(const TDVFrameInfo& f) {
    if (!f.TimecodeValid) {
        return "none";
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d:%02d", f.Timecode.Hours, f.Timecode.Minutes,
                  f.Timecode.Seconds, f.Timecode.Frames);
    return buf;
}

const char* systemText(const TDVFrameInfo& f) {
    switch (f.VideoSystem) {
    case 0:
        return "625/50";
    case 1:
        return "525/60";
    default:
        return "unknown";
    }
}

// When the run last moved: a buffer out of the source or a frame through the detector. Time spent
// writing the output does not count: a slow reader of the output is not a stalled input.
class Progress {
public:
    void Mark() { m_last = nowNs(); }
    bool StalledFor(int64_t ns) const {
        return m_writing.load() == 0 && nowNs() - m_last.load() > ns;
    }
    void BeginWriting() { ++m_writing; }
    void EndWriting() {
        Mark();
        --m_writing;
    }

private:
    std::atomic<int64_t> m_last{nowNs()};
    std::atomic<int> m_writing{0};
};

GstElementRef makeElement(const char* factory, const char* name = nullptr) {
    GstElement* e = gst_element_factory_make(factory, name);
    return e != nullptr ? GstElementRef::adopt(GST_ELEMENT_CAST(gst_object_ref_sink(e)))
                        : GstElementRef();
}

const char* const kNoDvStream = "vidorel-dvinfo-no-dv-stream";

// What the streaming threads share with the main thread. The atomics are written while the
// pipeline runs; the rest is read by the main thread once the pipeline has stopped.
struct Run {
    Options options;
    GstElement* pipeline = nullptr;        // owned by main()
    GstElement* detectorElement = nullptr; // owned by the pipeline
    Tzv_SceneDetect* detector = nullptr;   // inside detectorElement
    Input* input = nullptr;                // owned by main()
    std::size_t frameBytes = 0;            // raw DV: the size of every frame
    bool linked = false;                   // avidemux's streaming thread only
    std::mutex otherLock;
    std::vector<std::string> otherStreams; // guarded by otherLock
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> shortChunks{0};
    std::atomic<int> outputError{0};
    Progress progress;
};

GstPadProbeReturn onSourceBuffer(GstPad*, GstPadProbeInfo*, gpointer data) {
    static_cast<Run*>(data)->progress.Mark();
    return GST_PAD_PROBE_OK;
}

// An AVI chunk shorter than the frame its header announces is a torn fragment, not a frame: it
// would count as a frame and open a scene of its own.
GstPadProbeReturn onDvChunk(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* run = static_cast<Run*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    guint8 head[4] = {};
    const gsize size = gst_buffer_get_size(buffer);
    const bool have = gst_buffer_extract(buffer, 0, head, sizeof head) == sizeof head;
    const std::size_t whole = have && (head[3] & 0x80) ? kDv625FrameBytes : kDv525FrameBytes;
    if (!have || size < whole) {
        run->shortChunks += 1;
        return GST_PAD_PROBE_DROP;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn onFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* run = static_cast<Run*>(data);
    run->frames += 1;
    run->progress.Mark();
    if (run->options.frames) {
        // The record the detector attached to this frame (its number already advanced). Without
        // one, the detector's latest record is the same: this probe runs on the streaming thread
        // right after the detector's Transform.
        const TDVFrameMeta* meta = GetDVFrameMeta(GST_PAD_PROBE_INFO_BUFFER(info));
        const TDVFrameInfo f = meta != nullptr ? meta->Record.Info : run->detector->Current();
        run->progress.BeginWriting();
        const int written = std::printf(
            "frame %u: date %s, timecode %s, 16:9 %s, system %s\n", f.FrameNumber - 1,
            dateText(f).c_str(), timecodeText(f).c_str(), f.Is16x9 ? "yes" : "no", systemText(f));
        if (written < 0 && run->outputError.load() == 0) {
            run->outputError = errno;
        }
        run->progress.EndWriting();
    }
    return GST_PAD_PROBE_OK;
}

// avidemux makes its pads once it has read the header: the first DV stream goes to the detector,
// every other pad into a sink of its own (an unlinked pad would stop the demuxer).
void onDemuxPad(GstElement*, GstPad* pad, gpointer data) {
    auto* run = static_cast<Run*>(data);
    auto caps = GstCapsRef::adopt(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s =
        caps && gst_caps_get_size(caps.get()) > 0 ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    const bool dv = s != nullptr && gst_structure_has_name(s, "video/x-dv");
    if (dv && !run->linked) {
        auto sink = GstPadRef::adopt(gst_element_get_static_pad(run->detectorElement, "sink"));
        run->linked = gst_pad_link(pad, sink.get()) == GST_PAD_LINK_OK;
        if (run->linked) {
            return;
        }
    }
    {
        std::lock_guard lock(run->otherLock);
        run->otherStreams.push_back(s != nullptr ? gst_structure_get_name(s) : "unknown");
    }
    GstElementRef other = makeElement("fakesink");
    if (!other) {
        return;
    }
    g_object_set(other.get(), "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(run->pipeline), other.get());
    gst_element_sync_state_with_parent(other.get());
    auto sink = GstPadRef::adopt(gst_element_get_static_pad(other.get(), "sink"));
    gst_pad_link(pad, sink.get());
}

// Without a DV stream nothing reaches the detector's sink, which would wait for ever: tell the
// main thread instead.
void onNoMorePads(GstElement* demux, gpointer data) {
    auto* run = static_cast<Run*>(data);
    if (!run->linked) {
        gst_element_post_message(demux,
                                 gst_message_new_application(GST_OBJECT_CAST(demux),
                                                             gst_structure_new_empty(kNoDvStream)));
    }
}

// Feeds appsrc from the input on appsrc's own thread: a whole frame per buffer for raw DV (a
// trailing piece shorter than a frame is not a frame and is left out), what the pipe gives for
// an AVI.
void onNeedData(GstAppSrc* src, guint, gpointer data) {
    auto* run = static_cast<Run*>(data);
    const bool wholeFrames = run->frameBytes > 0;
    const std::size_t size = wholeFrames ? run->frameBytes : kAviReadBytes;
    auto buffer = GstBufferRef::adopt(gst_buffer_new_allocate(nullptr, size, nullptr));
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer.get(), &map, GST_MAP_WRITE)) {
        GST_ELEMENT_ERROR(src, RESOURCE, READ, ("Out of memory."), (nullptr));
        return;
    }
    std::size_t got = 0;
    std::string error;
    const std::span<uint8_t> into(map.data, map.size);
    const Input::Status status = wholeFrames ? run->input->ReadFull(into, -1, got, error)
                                             : run->input->ReadSome(into, -1, got, error);
    gst_buffer_unmap(buffer.get(), &map);
    switch (status) {
    case Input::Status::Data:
        gst_buffer_set_size(buffer.get(), got);
        gst_app_src_push_buffer(src, buffer.release());
        return;
    case Input::Status::End:
        gst_app_src_end_of_stream(src);
        return;
    case Input::Status::Failed:
        GST_ELEMENT_ERROR(src, RESOURCE, READ, ("%s", error.c_str()), (nullptr));
        return;
    case Input::Status::Cancelled:
    case Input::Status::TimedOut:
        return; // the main thread is stopping the run
    }
}

struct SceneLine {
    TDVFrameInfo start;
    uint32_t next; // number of the frame after the scene
};

// The bytes TSceneFileWriter writes for these scenes (the same blocks and the same cap on the
// count), built in memory so that nothing reaches the disk before the run has succeeded.
std::vector<uint8_t> sceneFileBytes(const std::string& name, const std::vector<SceneLine>& scenes) {
    std::vector<uint8_t> bytes = SceneFileHeader(name);
    uint32_t count = 0;
    for (const SceneLine& s : scenes) {
        if (count >= kMaxScenes) {
            break;
        }
        count += 1;
        const uint32_t first = s.start.FrameNumber + 1;
        const uint32_t following = s.next + 1;
        const std::vector<uint8_t> block = count == 1
                                               ? FirstSceneBlock(name, following)
                                               : FurtherSceneBlock(first, following - first + 1);
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    const std::size_t at = SceneCountPosition(name);
    bytes[at] = static_cast<uint8_t>(count);
    bytes[at + 1] = static_cast<uint8_t>(count >> 8);
    return bytes;
}

// Where the scene file named `name` goes: the file a symbolic link leads to, else the name.
struct SceneTarget {
    std::string path;
    bool exists = false;
    mode_t mode = 0;
};

// 0 when the scene file can be written; else the exit code (2: it names the input) with
// `problem` saying why not. Checked before the run, so that nothing is read in vain.
int checkSceneTarget(const std::string& name, const struct stat& input, SceneTarget& target,
                     std::string& problem) {
    if (name.size() > kMaxSceneFileNameBytes) {
        problem = "its name is longer than " + std::to_string(kMaxSceneFileNameBytes) + " bytes";
        return 1;
    }
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
        if (st.st_dev == input.st_dev && st.st_ino == input.st_ino) {
            return 2;
        }
        if (S_ISDIR(st.st_mode)) {
            problem = "it is a folder";
            return 1;
        }
        if (!S_ISREG(st.st_mode)) {
            problem = "it is not a regular file";
            return 1;
        }
        // Through a link, the file it leads to is replaced, as writing through the link did.
        char* resolved = ::realpath(name.c_str(), nullptr);
        if (resolved == nullptr) {
            problem = errorText(errno);
            return 1;
        }
        target.path = resolved;
        ::free(resolved);
        target.exists = true;
        target.mode = st.st_mode & 07777;
    } else {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && ::lstat(name.c_str(), &link) == 0) {
            problem = "it is a symbolic link to nothing";
            return 1;
        }
        if (error != ENOENT) {
            problem = errorText(error);
            return 1;
        }
        target.path = name;
    }
    // The file is made next to its final place and renamed: the folder must take a new file.
    if (::faccessat(AT_FDCWD, folderOf(target.path).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        problem = errorText(errno);
        return 1;
    }
    return 0;
}

// Writes `bytes` into a new file in the target's folder and renames it over the target, so the
// target holds either all of its old content or all of the new. Empty on success, else why not.
std::string replaceFile(const SceneTarget& target, const std::vector<uint8_t>& bytes) {
    std::string temp = folderOf(target.path) + "/.vidorel-dvinfo-XXXXXX";
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) {
        return errorText(errno);
    }
    struct Remove {
        const std::string* path;
        ~Remove() {
            if (path != nullptr) {
                ::unlink(path->c_str());
            }
        }
    } remove{&temp};
    mode_t mode = target.mode;
    if (!target.exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd.Get(), mode) != 0) {
        return errorText(errno);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return errorText(n < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.Get()) != 0 || fd.Close() != 0) {
        return errorText(errno);
    }
    if (::rename(temp.c_str(), target.path.c_str()) != 0) {
        return errorText(errno);
    }
    remove.path = nullptr;
    return {};
}

int cannotRead(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "vidorel-dvinfo: cannot read %s: %s\n", file.c_str(), why.c_str());
    return 1;
}

int noFrames(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "vidorel-dvinfo: no DV frames in %s: %s\n", file.c_str(), why.c_str());
    return 1;
}

int cannotWriteOutput(int error) {
    std::fprintf(stderr, "vidorel-dvinfo: cannot write the output: %s\n", errorText(error).c_str());
    return 1;
}

std::string stallText() {
    return "no data for " + std::to_string(kStallSeconds) + " seconds";
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    bool scnGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf("%s", kHelp);
            return 0;
        }
        if (a == "--version") {
            std::printf("vidorel-dvinfo %s\n", VIDOREL_VERSION);
            return 0;
        }
        if (a == "--frames") {
            options.frames = true;
        } else if (a == "--scn") {
            if (++i >= argc || argv[i][0] == '\0') {
                return usage("--scn needs a file name");
            }
            options.scn = argv[i];
            scnGiven = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage(("unknown option " + a).c_str());
        } else if (options.file.empty()) {
            options.file = a;
        } else {
            return usage("only one FILE");
        }
    }
    if (options.file.empty()) {
        return usage("no FILE given");
    }

    Input input;
    if (const std::string problem = input.Open(options.file); !problem.empty()) {
        return cannotRead(options.file, problem);
    }
    SceneTarget target;
    if (scnGiven) {
        std::string problem;
        const int refused = checkSceneTarget(options.scn, input.Stat(), target, problem);
        if (refused == 2) {
            std::fprintf(stderr, "vidorel-dvinfo: the scene file %s is the input file itself\n",
                         options.scn.c_str());
            return 2;
        }
        if (refused != 0) {
            std::fprintf(stderr, "vidorel-dvinfo: cannot write the scene file %s: %s\n",
                         options.scn.c_str(), problem.c_str());
            return 1;
        }
    }

    uint8_t head[kSniffBytes] = {};
    std::size_t got = 0;
    std::string readError;
    switch (input.ReadFull(head, kStallSeconds * 1000, got, readError)) {
    case Input::Status::Data:
        break;
    case Input::Status::End:
        return cannotRead(options.file,
                          "the file is too short to hold DV (" + std::to_string(got) + " bytes)");
    case Input::Status::TimedOut:
    case Input::Status::Cancelled:
        return cannotRead(options.file, stallText());
    case Input::Status::Failed:
        return cannotRead(options.file, readError);
    }
    input.PutBack(head);
    const Container container = sniff(head);
    if (container == Container::Unknown) {
        return cannotRead(options.file, "neither raw DV nor an AVI file");
    }

    gst_init(nullptr, nullptr);
    RegisterVidorelElements();

    Run run;
    run.options = options;
    run.input = &input;
    auto pipeline =
        GstElementRef::adopt(GST_ELEMENT_CAST(gst_object_ref_sink(gst_pipeline_new("dvinfo"))));
    run.pipeline = pipeline.get();
    // A pipe, and raw DV (which needs whole frames), are read here; an AVI file by filesrc, which
    // lets avidemux read its index.
    const bool fromFilesrc = container == Container::Avi && input.Regular();
    GstElementRef src = makeElement(fromFilesrc ? "filesrc" : "appsrc");
    GstElementRef detector = makeElement("zv_scenedetect", "sd");
    GstElementRef sink = makeElement("fakesink");
    GstElementRef demux = container == Container::Avi ? makeElement("avidemux") : GstElementRef();
    for (const auto& [element, name] :
         {std::pair{&src, fromFilesrc ? "filesrc" : "appsrc"},
          std::pair{&detector, "zv_scenedetect"}, std::pair{&sink, "fakesink"}}) {
        if (!*element) {
            return cannotRead(options.file,
                              std::string("the GStreamer element ") + name + " is missing");
        }
    }
    if (container == Container::Avi && !demux) {
        return cannotRead(options.file, "the GStreamer element avidemux is missing");
    }
    run.detectorElement = detector.get();
    run.detector = FilterCast<Tzv_SceneDetect>(detector.get());
    g_object_set(sink.get(), "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), src.get(), detector.get(), sink.get(), nullptr);
    gst_element_link(detector.get(), sink.get());

    if (fromFilesrc) {
        g_object_set(src.get(), "location", options.file.c_str(), nullptr);
    } else {
        const bool raw = container != Container::Avi;
        run.frameBytes = !raw                               ? 0
                         : container == Container::RawDv625 ? kDv625FrameBytes
                                                            : kDv525FrameBytes;
        auto caps = GstCapsRef::adopt(gst_caps_from_string(
            raw ? "video/x-dv, systemstream=(boolean)true" : "video/x-msvideo"));
        g_object_set(src.get(), "caps", caps.get(), "format", GST_FORMAT_BYTES, "stream-type",
                     GST_APP_STREAM_TYPE_STREAM, nullptr);
        GstAppSrcCallbacks callbacks{};
        callbacks.need_data = onNeedData;
        gst_app_src_set_callbacks(GST_APP_SRC(src.get()), &callbacks, &run, nullptr);
    }
    if (container == Container::Avi) {
        gst_bin_add(GST_BIN(pipeline.get()), demux.get());
        gst_element_link(src.get(), demux.get());
        g_signal_connect(demux.get(), "pad-added", G_CALLBACK(onDemuxPad), &run);
        g_signal_connect(demux.get(), "no-more-pads", G_CALLBACK(onNoMorePads), &run);
        auto in = GstPadRef::adopt(gst_element_get_static_pad(detector.get(), "sink"));
        gst_pad_add_probe(in.get(), GST_PAD_PROBE_TYPE_BUFFER, onDvChunk, &run, nullptr);
    } else {
        gst_element_link(src.get(), detector.get());
    }
    auto srcOut = GstPadRef::adopt(gst_element_get_static_pad(src.get(), "src"));
    // Pushed (appsrc, filesrc to a demuxer in push mode) or pulled (avidemux reading a file).
    gst_pad_add_probe(srcOut.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_PUSH |
                                                   GST_PAD_PROBE_TYPE_PULL),
                      onSourceBuffer, &run, nullptr);
    auto detectorOut = GstPadRef::adopt(gst_element_get_static_pad(detector.get(), "src"));
    gst_pad_add_probe(detectorOut.get(), GST_PAD_PROBE_TYPE_BUFFER, onFrame, &run, nullptr);

    std::vector<SceneLine> scenes;
    run.detector->SetSceneCallback([&](const TDVFrameInfo& start, const TDVFrameInfo& next) {
        scenes.push_back({start, next.FrameNumber});
    });

    std::string error;
    bool stalled = false;
    bool noDvStream = false;
    auto bus = GstBusRef::adopt(gst_element_get_bus(pipeline.get()));
    run.progress.Mark();
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = "the GStreamer pipeline would not start";
    }
    const auto wanted =
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION);
    for (;;) {
        auto msg =
            GstMessageRef::adopt(gst_bus_timed_pop_filtered(bus.get(), 200 * GST_MSECOND, wanted));
        if (!msg) {
            if (!error.empty()) {
                break; // a start that failed without telling why
            }
            if (run.progress.StalledFor(int64_t(kStallSeconds) * GST_SECOND)) {
                stalled = true;
                break;
            }
            continue;
        }
        if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_ERROR) {
            GErrorRef err;
            GCharRef debug;
            gst_message_parse_error(msg.get(), &err.out(), &debug.out());
            error = err ? err->message : "unknown error";
            break;
        }
        if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_APPLICATION) {
            const GstStructure* s = gst_message_get_structure(msg.get());
            if (s == nullptr || !gst_structure_has_name(s, kNoDvStream)) {
                continue;
            }
            noDvStream = true;
        }
        break; // end of stream, or no DV stream
    }
    // A read waiting for data must end before the pipeline can stop; stopping the detector then
    // reports the last scene.
    input.Cancel();
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    run.detector->SetSceneCallback(nullptr);

    if (!error.empty()) {
        return cannotRead(options.file, error);
    }
    if (stalled) {
        return cannotRead(options.file, stallText());
    }
    if (noDvStream) {
        std::string streams;
        std::lock_guard lock(run.otherLock);
        for (const std::string& s : run.otherStreams) {
            streams += (streams.empty() ? "" : ", ") + s;
        }
        return noFrames(options.file, streams.empty()
                                          ? "the AVI file has no DV stream"
                                          : "the AVI file has no DV stream, only " + streams);
    }
    if (run.frames == 0) {
        if (run.frameBytes > 0) {
            return noFrames(options.file, "it holds " + std::to_string(input.Delivered()) +
                                              " bytes, less than one frame (" +
                                              std::to_string(run.frameBytes) + " bytes)");
        }
        return noFrames(options.file, run.shortChunks > 0
                                          ? "no chunk of its DV stream holds a whole frame"
                                          : "its DV stream is empty");
    }
    // Frame lines that could not be written fail the run before the scene file is touched.
    int outputError = run.outputError.load();
    if (std::fflush(stdout) != 0 && outputError == 0) {
        outputError = errno;
    }
    if (outputError != 0) {
        return cannotWriteOutput(outputError);
    }
    if (scnGiven) {
        const std::string problem = replaceFile(target, sceneFileBytes(options.scn, scenes));
        if (!problem.empty()) {
            std::fprintf(stderr, "vidorel-dvinfo: cannot write the scene file %s: %s\n",
                         options.scn.c_str(), problem.c_str());
            return 1;
        }
    }
    errno = 0;
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        const TDVFrameInfo& s = scenes[i].start;
        // The first scene's record is taken once the first frame is numbered; it starts the clip.
        const uint32_t first = i == 0 ? 0 : s.FrameNumber;
        std::printf("scene %zu: first %u, frames %u, date %s, timecode %s, 16:9 %s\n", i + 1, first,
                    scenes[i].next - first, dateText(s).c_str(), timecodeText(s).c_str(),
                    s.Is16x9 ? "yes" : "no");
    }
    std::printf("frames: %llu\n", static_cast<unsigned long long>(run.frames.load()));
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return cannotWriteOutput(errno != 0 ? errno : EIO);
    }
    return 0;
}

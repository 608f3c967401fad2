// vidorel-dvinfo run as a process, as a user's script runs it: exact output lines and exit codes,
// the bytes of the input and of scene files before and after. Every run is bounded: a tool that
// hangs is killed and the test fails.

#include "devices/dvtape/DvTape.h"
#include "files/ecrire_scnUnit.h"
#include "filters/Registration.h"
#include "filters/dvcodes.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vidorel {
namespace {

using Bytes = std::vector<uint8_t>;

// Far above the tool's own stall limit (10 s): reaching it means the tool hung.
constexpr auto kRunLimit = std::chrono::seconds(30);

struct Result {
    int status = -1; // exit code; -1 when the process was killed
    bool hung = false;
    std::string out;
    std::string err;
};

void writeAll(int fd, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // the reader went away
        }
        done += static_cast<std::size_t>(n);
    }
}

// Runs `program` (searched on PATH) to its end, killing it when it outlives kRunLimit. `input`
// is written into its standard input (a pipe) from a thread, then closed; with `stdoutFile` its
// standard output goes to that file instead of being collected.
Result runProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::optional<Bytes>& input = std::nullopt,
                  const std::string& stdoutFile = {}) {
    Result r;
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    int out[2], err[2], in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
        (input && ::pipe2(in, O_CLOEXEC) != 0)) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return r;
    }
    const int inFd = input ? in[0] : ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int outFd =
        stdoutFile.empty() ? out[1] : ::open(stdoutFile.c_str(), O_WRONLY | O_CLOEXEC);
    if (inFd < 0 || outFd < 0) {
        ADD_FAILURE() << "open: " << std::strerror(errno);
        return r;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        return r;
    }
    if (pid == 0) {
        ::dup2(inFd, 0);
        ::dup2(outFd, 1);
        ::dup2(err[1], 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(inFd);
    ::close(err[1]);
    ::close(out[1]);
    if (outFd != out[1]) {
        ::close(outFd);
    }
    std::thread feeder;
    if (input) {
        feeder = std::thread([fd = in[1], &bytes = *input] {
            writeAll(fd, bytes);
            ::close(fd);
        });
    }

    const auto until = std::chrono::steady_clock::now() + kRunLimit;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&r.out, &r.err};
    int wait = -1;
    bool exited = false;
    while (!exited || fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (std::chrono::steady_clock::now() > until) {
            // Only a process not yet waited for may be killed: its id is still its own.
            r.hung = !exited;
            if (!exited) {
                ::kill(pid, SIGKILL);
            }
            break;
        }
        ::poll(fds, 2, 50);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents != 0) {
                char buf[4096];
                const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    into[i]->append(buf, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                }
            }
        }
        if (!exited && ::waitpid(pid, &wait, WNOHANG) == pid) {
            exited = true;
        }
    }
    if (!exited) {
        ::waitpid(pid, &wait, 0);
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0) {
            ::close(p.fd);
        }
    }
    if (feeder.joinable()) {
        feeder.join();
    }
    r.status = !r.hung && WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    return r;
}

Result dvinfo(const std::vector<std::string>& args,
              const std::optional<Bytes>& input = std::nullopt,
              const std::string& stdoutFile = {}) {
    return runProcess(VIDOREL_DVINFO_PATH, args, input, stdoutFile);
}

std::string sandbox(const std::string& name) {
    return test::sandboxRoot() + "/" + name;
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Dated 4:3, a long undated stretch, then a dated 16:9 recording.
dvtape::TapeDescription threeScenes() {
    dvtape::TapeDescription t;
    t.recordings = {{dvtape::CivilDateTime{2005, 7, 14, 10, 0, 0}, 30, false, true},
                    {std::nullopt, 20, false, true},
                    {dvtape::CivilDateTime{2005, 7, 14, 12, 30, 0}, 25, true, true}};
    return t;
}

const char* const kThreeScenes =
    "scene 1: first 0, frames 30, date 2005-07-14 10:00:00, timecode 0:00:00:00, 16:9 no\n"
    "scene 2: first 30, frames 20, date none, timecode 0:00:01:05, 16:9 no\n"
    "scene 3: first 50, frames 25, date 2005-07-14 12:30:00, timecode 0:00:02:00, 16:9 yes\n"
    "frames: 75\n";

const char* const kFirstFrameOnly =
    "scene 1: first 0, frames 1, date 2005-07-14 10:00:00, timecode 0:00:00:00, 16:9 no\n"
    "frames: 1\n";

const char* const kUsage = "usage: vidorel-dvinfo [--frames] [--scn OUT.scn] FILE\n";

// The scene file a capture of the three-scene tape writes under `name`.
Bytes threeScenesFile(const std::string& name) {
    Bytes expected = SceneFileHeader(name);
    for (const auto& block :
         {FirstSceneBlock(name, 31), FurtherSceneBlock(31, 21), FurtherSceneBlock(51, 26)}) {
        expected.insert(expected.end(), block.begin(), block.end());
    }
    expected[SceneCountPosition(name)] = 3;
    return expected;
}

// Writes into a FIFO once the tool has opened it (never blocking the test on a reader that does
// not come), then keeps it open without writing until Release(): a writer that stalls.
class FifoWriter {
public:
    FifoWriter(std::string path, Bytes bytes, bool holdOpen)
        : m_thread([this, path = std::move(path), bytes = std::move(bytes), holdOpen] {
              const auto until = std::chrono::steady_clock::now() + kRunLimit;
              int fd = -1;
              while (fd < 0 && !m_release && std::chrono::steady_clock::now() < until) {
                  fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd < 0) {
                      std::this_thread::sleep_for(std::chrono::milliseconds(5));
                  }
              }
              if (fd < 0) {
                  return;
              }
              ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
              writeAll(fd, bytes);
              while (holdOpen && !m_release) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
              ::close(fd);
          }) {}
    ~FifoWriter() {
        m_release = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_release{false};
    std::thread m_thread;
};

class DvInfo : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        // A tool that stops reading its input must not kill the test with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
    }

    // The three-scene tape as a raw DV file (written once per test).
    std::string Tape(const std::string& name = "tape.dv") {
        const std::string path = sandbox(name);
        EXPECT_TRUE(dvtape::DvTape(threeScenes()).writeRawDv(path));
        return path;
    }
    // The tape through avimux: a type-2 AVI (video and audio streams).
    std::string TypeTwoAvi() {
        const std::string dv = Tape("tape2.dv");
        const std::string avi = sandbox("tape2.avi");
        // Pads named explicitly: avimux would otherwise offer its audio pad to the video.
        const test::GstRunResult mux =
            test::runPipeline("filesrc location=" + dv +
                              " ! dvdemux name=d avimux name=m ! filesink location=" + avi +
                              " d.video ! queue ! m.video_0 d.audio ! queue ! m.audio_0");
        EXPECT_TRUE(mux.reachedEos) << mux.error;
        return avi;
    }
    std::string TypeOneAvi() {
        const std::string dv = Tape("tape1.dv");
        const std::string avi = sandbox("tape1.avi");
        RegisterVidorelElements();
        const test::GstRunResult rec = test::runPipeline(
            "filesrc location=" + dv +
            " blocksize=144000 ! video/x-dv,systemstream=true ! zv_dvtype1sink location=" + avi);
        EXPECT_TRUE(rec.reachedEos) << rec.error;
        return avi;
    }
    // An AVI whose DV chunks are the pieces of `dv` of at most one frame each: a short last piece
    // becomes a short chunk.
    std::string ChunkedAvi(const std::string& dv, const std::string& avi) {
        const Result mux = runProcess(
            "gst-launch-1.0", {"-q", "filesrc", "location=" + dv, "blocksize=144000", "!",
                               "video/x-dv,systemstream=false,width=720,height=576,framerate=25/1",
                               "!", "avimux", "!", "filesink", "location=" + avi});
        EXPECT_EQ(mux.status, 0) << mux.err;
        return avi;
    }
};

// ---- what the tool prints ----

TEST_F(DvInfo, rawDvTape_printsItsScenes) {
    const Result r = dvinfo({Tape()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kThreeScenes);
    EXPECT_EQ(r.err, "");
}

TEST_F(DvInfo, typeTwoAviMadeByAvimux_printsTheSameScenes) {
    const Result r = dvinfo({TypeTwoAvi()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kThreeScenes);
}

TEST_F(DvInfo, typeOneAviOfTheOwnWriter_printsTheSameScenes) {
    const Result r = dvinfo({TypeOneAvi()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kThreeScenes);
}

TEST_F(DvInfo, framesAndScn_listEveryFrameAndWriteTheSceneFile) {
    const std::string dv = Tape();
    const std::string scn = sandbox("tape3.scn");
    const Result r = dvinfo({"--frames", "--scn", scn, dv});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frame 0: date 2005-07-14 10:00:00, timecode 0:00:00:00, 16:9 no, "
                         "system 625/50\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("frame 49: date none, timecode 0:00:01:24, 16:9 no, system 625/50\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("frame 74: date 2005-07-14 12:30:00, timecode 0:00:02:24, 16:9 yes, "
                         "system 625/50\nscene 1:"),
              std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 75 + 4);
    EXPECT_EQ(readFile(scn), threeScenesFile(scn));
}

TEST_F(DvInfo, ntscTape_isReadWithItsFrameSize) {
    dvtape::TapeDescription t;
    t.system = dvtape::DvSystem::Ntsc525;
    t.recordings = {{dvtape::CivilDateTime{1999, 12, 31, 23, 59, 59}, 45, false, true}};
    const std::string dv = sandbox("ntsc.dv");
    ASSERT_TRUE(dvtape::DvTape(t).writeRawDv(dv));
    const Result r = dvinfo({dv});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "scene 1: first 0, frames 45, date 1999-12-31 23:59:59, timecode 0:00:00:00, "
                     "16:9 no\nframes: 45\n");
}

// ---- what the tool refuses, and why ----

TEST_F(DvInfo, unreadableInput_failsWithTheCause) {
    const std::string text = sandbox("notes.txt");
    std::ofstream(text) << "these are not video frames at all";
    Result r = dvinfo({text});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: cannot read " + text + ": neither raw DV nor an AVI file\n");
    EXPECT_EQ(r.out, "");

    r = dvinfo({sandbox("absent.dv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: cannot read " + sandbox("absent.dv") +
                         ": No such file or directory\n");

    r = dvinfo({});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("vidorel-dvinfo: no FILE given\n") + kUsage);
}

TEST_F(DvInfo, folderOrDeviceAsInput_saysWhatItIs) {
    const std::string folder = sandbox("a folder");
    std::filesystem::create_directory(folder);
    Result r = dvinfo({folder});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: cannot read " + folder + ": it is a folder\n");

    // A device could be read for ever (/dev/zero) or wait for a typist (a terminal).
    r = dvinfo({"/dev/null"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "vidorel-dvinfo: cannot read /dev/null: it is neither a regular file nor a pipe\n");
}

// ---- an AVI without DV, and input that never ends ----

TEST_F(DvInfo, mjpegAvi_hasNoDvFrames_insteadOfHanging) {
    const std::string avi = sandbox("mjpeg.avi");
    const test::GstRunResult mux =
        test::runPipeline("videotestsrc num-buffers=5 ! video/x-raw,width=64,height=48 ! jpegenc "
                          "! avimux ! filesink location=" +
                          avi);
    ASSERT_TRUE(mux.reachedEos) << mux.error;
    const Result r = dvinfo({avi});
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: no DV frames in " + avi +
                         ": the AVI file has no DV stream, only image/jpeg\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(DvInfo, audioOnlyAvi_hasNoDvFrames_alsoThroughAPipe) {
    const std::string avi = sandbox("audio.avi");
    const test::GstRunResult mux = test::runPipeline(
        "audiotestsrc num-buffers=5 ! audio/x-raw,format=S16LE,rate=48000,channels=2 ! avimux ! "
        "filesink location=" +
        avi);
    ASSERT_TRUE(mux.reachedEos) << mux.error;
    Result r = dvinfo({avi});
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: no DV frames in " + avi +
                         ": the AVI file has no DV stream, only audio/x-raw\n");

    // Read from a pipe, avidemux works in push mode: the same end.
    r = dvinfo({"/dev/stdin"}, readFile(avi));
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: no DV frames in /dev/stdin: the AVI file has no DV stream, "
                     "only audio/x-raw\n");
}

TEST_F(DvInfo, fifoThatNobodyOpens_endsAtTheStallLimit) {
    const std::string fifo = sandbox("nobody.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Result r = dvinfo({fifo});
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: cannot read " + fifo + ": no data for 10 seconds\n");
}

TEST_F(DvInfo, writerThatStallsMidStream_endsAtTheStallLimit_withoutAResult) {
    const std::string fifo = sandbox("stall.fifo");
    const std::string scn = sandbox("stall.scn");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Bytes twoFrames = readFile(Tape());
    twoFrames.resize(2 * kDv625FrameBytes);
    Result r;
    {
        FifoWriter writer(fifo, twoFrames, /*holdOpen=*/true);
        r = dvinfo({"--scn", scn, fifo});
    }
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: cannot read " + fifo + ": no data for 10 seconds\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(scn));
}

// ---- the scene file ----

TEST_F(DvInfo, scnNamingTheInput_isRefused_evenThroughALinkOrAHardLink_andTheInputStays) {
    const std::string dv = Tape();
    const Bytes before = readFile(dv);
    const std::string symlink = sandbox("symlink.scn");
    const std::string hardlink = sandbox("hardlink.scn");
    ASSERT_EQ(::symlink(dv.c_str(), symlink.c_str()), 0);
    ASSERT_EQ(::link(dv.c_str(), hardlink.c_str()), 0);
    for (const std::string& scn : {dv, symlink, hardlink}) {
        const Result r = dvinfo({"--scn", scn, dv});
        EXPECT_EQ(r.status, 2) << scn;
        EXPECT_EQ(r.err, "vidorel-dvinfo: the scene file " + scn + " is the input file itself\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(readFile(dv), before) << scn;
    }
    // Through a pipe the input has no name of its own, but the same check holds.
    const std::string fifo = sandbox("in.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Result r = dvinfo({"--scn", fifo, fifo});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "vidorel-dvinfo: the scene file " + fifo + " is the input file itself\n");
}

TEST_F(DvInfo, failedRun_leavesAnExistingSceneFileAsItWas) {
    const std::string dv = Tape();
    const std::string scn = sandbox("kept.scn");
    ASSERT_EQ(dvinfo({"--scn", scn, dv}).status, 0);
    const Bytes good = readFile(scn);
    ASSERT_EQ(good, threeScenesFile(scn));
    const std::vector<std::string> names = namesIn(test::sandboxRoot());

    const std::string tiny = sandbox("tiny.dv");
    const Bytes tape = readFile(dv);
    writeFile(tiny, Bytes(tape.begin(), tape.begin() + 12));
    const std::string text = sandbox("text.dv");
    std::ofstream(text) << "not a video file at all";
    for (const std::string& input : {tiny, text}) {
        const Result r = dvinfo({"--scn", scn, input});
        EXPECT_EQ(r.status, 1) << input;
        EXPECT_EQ(readFile(scn), good) << input;
    }
    std::vector<std::string> expected = names;
    expected.push_back("text.dv");
    expected.push_back("tiny.dv");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(test::sandboxRoot()), expected) << "nothing left behind";
}

TEST_F(DvInfo, successfulRun_replacesAnExistingSceneFile_keepingItsMode_leavingNothingBehind) {
    const std::string dv = Tape();
    const std::string scn = sandbox("old.scn");
    writeFile(scn, Bytes(5000, 0x55));
    ASSERT_EQ(::chmod(scn.c_str(), 0640), 0);
    const std::vector<std::string> names = namesIn(test::sandboxRoot());
    const Result r = dvinfo({"--scn", scn, dv});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kThreeScenes);
    EXPECT_EQ(readFile(scn), threeScenesFile(scn));
    struct stat st {};
    ASSERT_EQ(::stat(scn.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(namesIn(test::sandboxRoot()), names);
}

TEST_F(DvInfo, scnThroughASymbolicLink_replacesTheFileItLeadsTo) {
    const std::string dv = Tape();
    const std::string real = sandbox("real.scn");
    const std::string link = sandbox("link.scn");
    writeFile(real, Bytes(10, 1));
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    ASSERT_EQ(dvinfo({"--scn", link, dv}).status, 0);
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // The name written inside is the one given, as a capture writes it.
    EXPECT_EQ(readFile(real), threeScenesFile(link));
}

TEST_F(DvInfo, sceneFileThatCannotBeWritten_failsBeforeReadingWithTheCause) {
    const std::string dv = Tape();
    const auto refused = [&](const std::string& scn, const std::string& why) {
        const Result r = dvinfo({"--scn", scn, dv});
        EXPECT_EQ(r.status, 1) << scn;
        EXPECT_EQ(r.err, "vidorel-dvinfo: cannot write the scene file " + scn + ": " + why + "\n");
        EXPECT_EQ(r.out, "");
    };
    refused(sandbox("no/such/dir/x.scn"), "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(sandbox("no")));
    const std::string folder = sandbox("scenes");
    std::filesystem::create_directory(folder);
    refused(folder, "it is a folder");
    refused("/dev/null", "it is not a regular file");
    const std::string dangling = sandbox("dangling.scn");
    ASSERT_EQ(::symlink(sandbox("nowhere.scn").c_str(), dangling.c_str()), 0);
    refused(dangling, "it is a symbolic link to nothing");
    EXPECT_FALSE(std::filesystem::exists(sandbox("nowhere.scn")));
    // The name is stored in one byte; 255 bytes still fit.
    const std::string longest = sandbox("");
    refused(longest + std::string(256 - longest.size(), 'n'), "its name is longer than 255 bytes");
    const std::string fits = longest + std::string(255 - longest.size(), 'n');
    EXPECT_EQ(dvinfo({"--scn", fits, dv}).status, 0);
    EXPECT_EQ(readFile(fits), threeScenesFile(fits));

    const Result r = dvinfo({"--scn", "", dv});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("vidorel-dvinfo: --scn needs a file name\n") + kUsage);
}

TEST_F(DvInfo, outputThatCannotBeWritten_failsWithTheCause_andWritesNoSceneFile) {
    const std::string dv = Tape();
    const std::string scn = sandbox("full.scn");
    Result r = dvinfo({"--frames", "--scn", scn, dv}, std::nullopt, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: cannot write the output: No space left on device\n");
    EXPECT_FALSE(std::filesystem::exists(scn));
    r = dvinfo({dv}, std::nullopt, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: cannot write the output: No space left on device\n");
}

// ---- input that cannot be read twice ----

TEST_F(DvInfo, rawDvThroughAPipe_readsAsTheFileByName) {
    const std::string dv = Tape();
    const Result byName = dvinfo({"--frames", dv});
    ASSERT_EQ(byName.status, 0) << byName.err;
    const Result piped = dvinfo({"--frames", "/dev/stdin"}, readFile(dv));
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, byName.out);
    EXPECT_NE(piped.out.find(kThreeScenes), std::string::npos);
}

TEST_F(DvInfo, avisThroughAPipe_readAsTheFilesByName) {
    for (const std::string& avi : {TypeOneAvi(), TypeTwoAvi()}) {
        const Result r = dvinfo({"/dev/stdin"}, readFile(avi));
        EXPECT_EQ(r.status, 0) << avi << ": " << r.err;
        EXPECT_EQ(r.out, kThreeScenes) << avi;
    }
}

TEST_F(DvInfo, rawDvThroughAFifo_readsAsTheFileByName_andWritesTheSameSceneFile) {
    const std::string fifo = sandbox("tape.fifo");
    const std::string scn = sandbox("fifo.scn");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Result r;
    {
        FifoWriter writer(fifo, readFile(Tape()), /*holdOpen=*/false);
        r = dvinfo({"--scn", scn, fifo});
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kThreeScenes);
    EXPECT_EQ(readFile(scn), threeScenesFile(scn));
}

// ---- whole frames only ----

TEST_F(DvInfo, rawDvOfExactlyOneFrame_isOneFrame_andOneByteLessIsNone) {
    const Bytes tape = readFile(Tape());
    const std::string one = sandbox("one.dv");
    writeFile(one, Bytes(tape.begin(), tape.begin() + kDv625FrameBytes));
    Result r = dvinfo({one});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kFirstFrameOnly);

    const std::string less = sandbox("less.dv");
    writeFile(less, Bytes(tape.begin(), tape.begin() + kDv625FrameBytes - 1));
    r = dvinfo({less});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vidorel-dvinfo: no DV frames in " + less +
                         ": it holds 143999 bytes, less than one frame (144000 bytes)\n");

    const std::string twelve = sandbox("twelve.dv");
    writeFile(twelve, Bytes(tape.begin(), tape.begin() + 12));
    r = dvinfo({twelve});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: no DV frames in " + twelve +
                         ": it holds 12 bytes, less than one frame (144000 bytes)\n");

    const std::string eleven = sandbox("eleven.dv");
    writeFile(eleven, Bytes(tape.begin(), tape.begin() + 11));
    r = dvinfo({eleven});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: cannot read " + eleven +
                         ": the file is too short to hold DV (11 bytes)\n");
}

TEST_F(DvInfo, ntscRawDvOfExactlyOneFrame_isOneFrame_andOneByteLessIsNone) {
    dvtape::TapeDescription t;
    t.system = dvtape::DvSystem::Ntsc525;
    t.recordings = {{dvtape::CivilDateTime{1999, 12, 31, 23, 59, 59}, 2, false, true}};
    const Bytes frame = dvtape::DvTape(t).frame(0);
    ASSERT_EQ(frame.size(), kDv525FrameBytes);
    const std::string one = sandbox("one-ntsc.dv");
    writeFile(one, frame);
    Result r = dvinfo({one});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "scene 1: first 0, frames 1, date 1999-12-31 23:59:59, timecode 0:00:00:00, "
                     "16:9 no\nframes: 1\n");
    const std::string less = sandbox("less-ntsc.dv");
    writeFile(less, Bytes(frame.begin(), frame.end() - 1));
    r = dvinfo({less});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vidorel-dvinfo: no DV frames in " + less +
                         ": it holds 119999 bytes, less than one frame (120000 bytes)\n");
}

TEST_F(DvInfo, partialLastFrame_isLeftOut_fromAFileAndFromAPipe) {
    Bytes tape = readFile(Tape());
    tape.insert(tape.end(), tape.begin(), tape.begin() + 100000);
    const std::string dv = sandbox("torn.dv");
    writeFile(dv, tape);
    Result r = dvinfo({dv});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kThreeScenes);
    r = dvinfo({"/dev/stdin"}, tape);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kThreeScenes);

    const std::string onePlus = sandbox("one-plus.dv");
    writeFile(onePlus, Bytes(tape.begin(), tape.begin() + kDv625FrameBytes + 1));
    r = dvinfo({onePlus});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kFirstFrameOnly);
}

TEST_F(DvInfo, aviChunkShorterThanAFrame_isNotAFrame) {
    const Bytes tape = readFile(Tape());
    // Chunks of 144000, 144000 and 143999 bytes.
    const std::string dv = sandbox("chunks.dv");
    writeFile(dv, Bytes(tape.begin(), tape.begin() + 3 * kDv625FrameBytes - 1));
    const std::string avi = ChunkedAvi(dv, sandbox("chunks.avi"));
    Result r = dvinfo({avi});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "scene 1: first 0, frames 2, date 2005-07-14 10:00:00, timecode 0:00:00:00, "
                     "16:9 no\nframes: 2\n");

    const std::string piece = sandbox("piece.dv");
    writeFile(piece, Bytes(tape.begin(), tape.begin() + 50000));
    const std::string torn = ChunkedAvi(piece, sandbox("piece.avi"));
    r = dvinfo({torn});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vidorel-dvinfo: no DV frames in " + torn +
                         ": no chunk of its DV stream holds a whole frame\n");
}

} // namespace
} // namespace vidorel

// Repair of unfinished captures: files as a kill leaves them (our type-1 writer without
// Finish(), avimux with the placeholders it writes at the start, WAV with sizes 0), cut at many
// points, repaired, then read back with an independent walker and with ffprobe.

#include "files/CaptureRepair.h"
#include "files/RiffScanner.h"
#include "filters/DVType1Avi.h"

#include "devices/dvtape/DvTape.h"
#include "tests/files/AviBuilder.h"
#include "tests/support/AviCheck.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace vidorel {
namespace {

using test::append32;
using test::Bytes;
using test::read32;

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string sandboxPath(const std::string& name) {
    return test::sandboxRoot() + "/" + name;
}

void put32(Bytes& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

struct TRun {
    int status = -1;
    std::string out;
    std::string err;
};

TRun repair(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::tmpfile(), std::fclose);
    std::unique_ptr<FILE, int (*)(FILE*)> err(std::tmpfile(), std::fclose);
    TRun r;
    r.status = RunRepair(path, out.get(), err.get());
    for (auto [f, s] : {std::pair{out.get(), &r.out}, std::pair{err.get(), &r.err}}) {
        std::rewind(f);
        char buf[512];
        while (std::fgets(buf, sizeof buf, f) != nullptr) {
            *s += buf;
        }
    }
    return r;
}

struct TProbe {
    bool silent = false; // nothing on stderr with -v error, and ffprobe succeeded
    int videoFrames = -1;
    double seconds = -1; // of the file
    int audioFrames = -1;
};

// ffprobe -v error: everything it says is an error, so its stderr must stay empty.
TProbe probe(const std::string& path, bool decode = true) {
    const std::string errPath = path + ".ffprobe-err";
    const std::string cmd =
        std::string("ffprobe -v error ") + (decode ? "-count_frames" : "-count_packets") +
        " -show_streams -show_format -of json '" + path + "' 2>'" + errPath + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    QByteArray json;
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe.get())) > 0) {
        json.append(buf, static_cast<qsizetype>(n));
    }
    TProbe p;
    const int rc = pclose(pipe.release());
    const Bytes err = readFile(errPath);
    std::filesystem::remove(errPath);
    p.silent = rc == 0 && err.empty();
    const char* count = decode ? "nb_read_frames" : "nb_read_packets";
    const QJsonObject doc = QJsonDocument::fromJson(json).object();
    p.seconds = doc["format"].toObject()["duration"].toString().toDouble();
    for (const auto& v : doc["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        if (s["codec_type"].toString() == "video") {
            p.videoFrames = s[count].toString().toInt();
        } else if (s["codec_type"].toString() == "audio") {
            p.audioFrames = s[count].toString().toInt();
        }
    }
    return p;
}

bool gstLaunch(const std::string& line) {
    return std::system(("gst-launch-1.0 -q " + line + " >/dev/null 2>&1").c_str()) == 0;
}

const dvtape::DvTape& Tape() {
    static const dvtape::DvTape pal([] {
        dvtape::TapeDescription t;
        t.system = dvtape::DvSystem::Pal625;
        t.recordings = {{dvtape::CivilDateTime{2006, 3, 4, 5, 6, 7}, 12, false, true}};
        return t;
    }());
    return pal;
}

// ---- DV type 1, our writer ----

// Two frames per RIFF part, so a few frames make an OpenDML file of several parts.
constexpr uint64_t kSmallRiffLimit = 2 * 144008 + 8192;
constexpr uint32_t kFrames = 7;

struct TType1Files {
    std::string killed;   // written without Finish()
    std::string finished; // the same frames, finished
    std::vector<uint64_t> frameEnds;
};

TType1Files writeType1(const std::string& name) {
    TType1Files f{sandboxPath(name + "-killed.avi"), sandboxPath(name + "-finished.avi"), {}};
    for (const std::string& path : {f.killed, f.finished}) {
        TFileByteSink sink;
        EXPECT_TRUE(sink.Open(path));
        TDVType1AviWriter writer(sink, kSmallRiffLimit);
        f.frameEnds.clear();
        for (uint32_t i = 0; i < kFrames; ++i) {
            EXPECT_EQ(writer.WriteFrame(Tape().frame(i)), TDVType1AviWriter::Result::Ok);
            f.frameEnds.push_back(writer.BytesWritten());
        }
        if (path == f.finished) {
            EXPECT_EQ(writer.Finish(), TDVType1AviWriter::Result::Ok);
        }
        EXPECT_TRUE(sink.Close());
    }
    return f;
}

std::vector<uint64_t> find(const Bytes& b, const std::string& what) {
    std::vector<uint64_t> at;
    for (auto it = b.begin(); (it = std::search(it, b.end(), what.begin(), what.end())) != b.end();
         ++it) {
        at.push_back(static_cast<uint64_t>(it - b.begin()));
    }
    return at;
}

TEST(RepairType1, anUncutKilledFile_becomesByteForByteWhatFinishWrites) {
    const TType1Files f = writeType1("whole");
    const Bytes killed = readFile(f.killed);
    ASSERT_EQ(read32(killed, 4), 0u); // the unfinished mark

    const TRun r = repair(f.killed);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "repaired " + f.killed + ": kept 7 frames (0.28 s), backup " + f.killed + ".bak\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(f.killed), readFile(f.finished));
    EXPECT_EQ(readFile(f.killed + ".bak"), killed);

    const TProbe p = probe(f.killed);
    EXPECT_TRUE(p.silent);
    EXPECT_EQ(p.videoFrames, 7);
    EXPECT_NEAR(p.seconds, 0.28, 1e-6);

    // Repaired once is healthy: a second run changes nothing and makes no backup.
    const TRun again = repair(f.killed);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, f.killed + " is complete; nothing to repair\n");
    EXPECT_FALSE(std::filesystem::exists(f.killed + ".bak.1"));
}

struct TCut {
    const char* name;
    // The cut, from the file's frame ends and its AVIX headers.
    uint64_t (*at)(const TType1Files&, const Bytes&);
    uint32_t framesKept;
    uint32_t parts;
};

class RepairType1Cut : public ::testing::TestWithParam<TCut> {};

TEST_P(RepairType1Cut, keepsTheWholeFramesBeforeTheCut_inAFileFfprobeReadsSilently) {
    const TType1Files f = writeType1(GetParam().name);
    Bytes bytes = readFile(f.killed);
    const uint64_t cut = GetParam().at(f, bytes);
    ASSERT_LE(cut, bytes.size());
    bytes.resize(cut);
    writeFile(f.killed, bytes);

    const TRun r = repair(f.killed);
    ASSERT_EQ(r.status, 0) << r.err;
    const uint32_t n = GetParam().framesKept;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", n * 0.04);
    EXPECT_EQ(r.out, "repaired " + f.killed + ": kept " + std::to_string(n) + " frames (" +
                         seconds + "), backup " + f.killed + ".bak\n");
    EXPECT_EQ(readFile(f.killed + ".bak"), bytes);

    const test::AviSummary s = test::ReadAvi(f.killed);
    EXPECT_TRUE(s.readable);
    EXPECT_TRUE(s.sizesConsistent);
    EXPECT_EQ(s.riffParts, static_cast<int>(GetParam().parts));
    EXPECT_EQ(s.videoChunks, n);
    EXPECT_EQ(s.strhLength, n);
    EXPECT_EQ(s.dmlhTotalFrames, n);
    EXPECT_EQ(s.avihTotalFrames, std::min(n, 2u));
    EXPECT_EQ(s.idx1Entries, std::min(n, 2u));
    EXPECT_TRUE(s.hasIndexFlag);
    EXPECT_EQ(s.handler, "dvsd");

    // The super index names one ix00 per part, each counting its part's frames.
    const Bytes out = readFile(f.killed);
    const uint64_t indx = find(out, "indx").front();
    ASSERT_EQ(read32(out, indx + 12), GetParam().parts);
    uint32_t total = 0;
    for (uint32_t p = 0; p < GetParam().parts; ++p) {
        const uint64_t entry = indx + 32 + 16 * p;
        const uint64_t ix = read32(out, entry);
        EXPECT_EQ(std::string(out.begin() + static_cast<long>(ix),
                              out.begin() + static_cast<long>(ix) + 4),
                  "ix00");
        EXPECT_EQ(read32(out, entry + 8), 8 + read32(out, ix + 4));
        EXPECT_EQ(read32(out, entry + 12), read32(out, ix + 12));
        total += read32(out, entry + 12);
    }
    EXPECT_EQ(total, n);
    // Entries past the parts in use stay zero.
    EXPECT_EQ(read32(out, indx + 32 + 16 * GetParam().parts), 0u);

    const TProbe p = probe(f.killed);
    EXPECT_TRUE(p.silent);
    EXPECT_EQ(p.videoFrames, static_cast<int>(n));
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, RepairType1Cut,
    ::testing::Values(
        // Parts hold frames {0,1} {2,3} {4,5} {6}.
        TCut{"midFrame", [](const TType1Files& f, const Bytes&) { return f.frameEnds[6] - 1000; },
             6, 3},
        TCut{"onAChunkBoundary", [](const TType1Files& f, const Bytes&) { return f.frameEnds[4]; },
             5, 3},
        TCut{"oneByteShortOfAFrame",
             [](const TType1Files& f, const Bytes&) { return f.frameEnds[4] - 1; }, 4, 2},
        TCut{"insideAnAvixHeader",
             [](const TType1Files&, const Bytes& b) { return find(b, "AVIX")[1] - 2; }, 4, 2},
        TCut{"rightAfterAnAvixHeader",
             [](const TType1Files&, const Bytes& b) { return find(b, "AVIX")[1] + 16; }, 4, 2},
        TCut{"insideAClosedPartsIndex",
             [](const TType1Files&, const Bytes& b) { return find(b, "ix00")[1] + 20; }, 4, 2},
        TCut{"inTheFirstPartsLegacyIndex",
             [](const TType1Files&, const Bytes& b) { return find(b, "idx1")[0] + 12; }, 2, 1},
        TCut{"midFirstFrame", [](const TType1Files& f, const Bytes&) { return f.frameEnds[0] - 9; },
             0, 1},
        TCut{"justAfterTheHeader",
             [](const TType1Files&, const Bytes& b) { return find(b, "movi")[0] + 4; }, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RepairType1, aFileCutInsideItsHeader_isRefusedAndLeftUntouched) {
    const TType1Files f = writeType1("header");
    Bytes bytes = readFile(f.killed);
    for (const uint64_t cut : {uint64_t{4}, uint64_t{11}, uint64_t{200}, find(bytes, "movi")[0] - 4,
                               find(bytes, "movi")[0] + 2}) {
        const Bytes cutBytes(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        writeFile(f.killed, cutBytes);
        const TRun r = repair(f.killed);
        EXPECT_EQ(r.status, 1) << cut;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("vidorel-capture: cannot repair " + f.killed + ": "),
                  std::string::npos)
            << cut;
        EXPECT_EQ(readFile(f.killed), cutBytes);
        EXPECT_FALSE(std::filesystem::exists(f.killed + ".bak"));
    }
    writeFile(f.killed, Bytes(bytes.begin(), bytes.begin() + 200));
    EXPECT_EQ(repair(f.killed).err, "vidorel-capture: cannot repair " + f.killed +
                                        ": the file is cut inside its header; left untouched\n");
}

// ---- OpenDML past 1 GiB ----

// Frames become holes: a file of more than 1 GiB costs neither the time nor the disk. Headers
// and indexes are real bytes.
class SparseFileSink : public TByteSink {
public:
    explicit SparseFileSink(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {}
    ~SparseFileSink() override { ::close(fd_); }
    bool Append(std::span<const uint8_t> b) override {
        if (b.size() != kDv625FrameBytes &&
            ::pwrite(fd_, b.data(), b.size(), static_cast<off_t>(size_)) !=
                static_cast<ssize_t>(b.size())) {
            return false;
        }
        size_ += b.size();
        return ::ftruncate(fd_, static_cast<off_t>(size_)) == 0;
    }
    bool Overwrite(uint64_t at, std::span<const uint8_t> b) override {
        return ::pwrite(fd_, b.data(), b.size(), static_cast<off_t>(at)) ==
               static_cast<ssize_t>(b.size());
    }

private:
    int fd_;
    uint64_t size_ = 0;
};

uint32_t pread32(int fd, uint64_t at) {
    uint8_t b[4] = {};
    EXPECT_EQ(::pread(fd, b, 4, static_cast<off_t>(at)), 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

TEST(RepairOpenDml, aType1FileKilledPastOneGibibyte_getsEveryPartSizedAndIndexed) {
    const std::string path = sandboxPath("big.avi");
    const uint32_t frames = 7600; // 1.09 GB: a second part
    uint64_t frameEnd = 0;
    {
        SparseFileSink sink(path);
        TDVType1AviWriter writer(sink);
        const auto frame = Tape().frame(0);
        for (uint32_t i = 0; i < frames; ++i) {
            ASSERT_EQ(writer.WriteFrame(frame), TDVType1AviWriter::Result::Ok);
        }
        frameEnd = writer.BytesWritten();
        ASSERT_EQ(writer.RiffParts(), 2u);
    }
    // Cut inside the last frame, in the AVIX part.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(frameEnd - 77)), 0);

    const TRun r = repair(path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "repaired " + path + ": kept 7599 frames (303.96 s), backup " + path + ".bak\n");
    std::filesystem::remove(path + ".bak");

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    const auto size = static_cast<uint64_t>(st.st_size);
    const uint64_t firstPart = 8 + pread32(fd, 4);
    EXPECT_LT(firstPart, uint64_t{1} << 30);
    char id[4];
    ASSERT_EQ(::pread(fd, id, 4, static_cast<off_t>(firstPart + 8)), 4);
    EXPECT_EQ(std::string(id, 4), "AVIX");
    EXPECT_EQ(firstPart + 8 + pread32(fd, firstPart + 4), size);

    // Super index: two parts whose counts add up; dmlh and strh the whole; avih the first part.
    const RiffScanner scanner(FileReader(fd), size);
    uint64_t indx = 0, avih = 0, strh = 0, dmlh = 0;
    scanner.Walk([&](const RiffChunk& c) {
        if (c.isList) {
            return IsFourCC(c.listType, "movi") ? RiffVisit::Skip : RiffVisit::Descend;
        }
        for (auto [name, at] : {std::pair{"indx", &indx}, std::pair{"avih", &avih},
                                std::pair{"strh", &strh}, std::pair{"dmlh", &dmlh}}) {
            if (IsFourCC(c.id, name)) {
                *at = c.dataOffset;
            }
        }
        return RiffVisit::Skip;
    });
    ASSERT_NE(indx, 0u);
    EXPECT_EQ(pread32(fd, indx + 4), 2u);
    const uint32_t first = pread32(fd, indx + 36);
    EXPECT_EQ(first + pread32(fd, indx + 52), 7599u);
    EXPECT_EQ(pread32(fd, avih + 16), first);
    EXPECT_EQ(pread32(fd, strh + 32), 7599u);
    EXPECT_EQ(pread32(fd, dmlh), 7599u);
    const uint64_t ix = pread32(fd, indx + 40);
    ASSERT_EQ(::pread(fd, id, 4, static_cast<off_t>(ix)), 4);
    EXPECT_EQ(std::string(id, 4), "ix00");
    EXPECT_EQ(pread32(fd, ix + 12), 7599u - first);
    ::close(fd);

    // The frames are holes: count packets, do not decode.
    const TProbe p = probe(path, /*decode=*/false);
    EXPECT_TRUE(p.silent);
    EXPECT_EQ(p.videoFrames, 7599);
    std::filesystem::remove(path);
}

} // namespace
} // namespace vidorel

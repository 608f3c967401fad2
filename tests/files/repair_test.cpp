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

// mediainfo's frame count of the video stream ("" when it cannot read the file).
std::string mediainfoFrames(const std::string& path) {
    const std::string cmd = "mediainfo --Inform='Video;%FrameCount%' '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    char buf[64] = {};
    std::string out = std::fgets(buf, sizeof buf, pipe.get()) != nullptr ? buf : "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
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
    EXPECT_EQ(mediainfoFrames(f.killed), "7");

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

// ---- avimux ----

// The offsets of a finished avimux file's header fields, found with the scanner.
struct TAvimuxLayout {
    uint64_t avih = 0, dmlh = 0, movi = 0, idx1 = 0;
    std::vector<uint64_t> strh, strf, junk;
};

TAvimuxLayout layoutOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    ::fstat(fd, &st);
    TAvimuxLayout l;
    RiffScanner(FileReader(fd), static_cast<uint64_t>(st.st_size)).Walk([&](const RiffChunk& c) {
        if (c.isList) {
            if (IsFourCC(c.listType, "movi")) {
                l.movi = c.headerOffset;
                return RiffVisit::Skip;
            }
            return RiffVisit::Descend;
        }
        if (IsFourCC(c.id, "avih")) {
            l.avih = c.dataOffset;
        } else if (IsFourCC(c.id, "dmlh")) {
            l.dmlh = c.dataOffset;
        } else if (IsFourCC(c.id, "idx1")) {
            l.idx1 = c.headerOffset;
        } else if (IsFourCC(c.id, "strh")) {
            l.strh.push_back(c.dataOffset);
        } else if (IsFourCC(c.id, "strf")) {
            l.strf.push_back(c.dataOffset);
        } else if (IsFourCC(c.id, "JUNK") && c.depth > 1) {
            l.junk.push_back(c.headerOffset);
        }
        return RiffVisit::Skip;
    });
    ::close(fd);
    return l;
}

// The file as avimux leaves it when killed before end-of-stream, made from its finished file:
// no idx1, and the header fields as avimux writes them at the start (read from SIGKILLed
// recordings): RIFF = header - 8, movi = 4, flags and counts 0, 10 MB/s, audio buffer size 0,
// MP3 as one byte per sample at rate 0.
Bytes killedAvimux(const Bytes& finished, const TAvimuxLayout& l, bool mp3) {
    Bytes b(finished.begin(), finished.begin() + static_cast<long>(l.idx1));
    put32(b, 4, static_cast<uint32_t>(l.movi + 12 - 8));
    put32(b, l.movi + 4, 4);
    put32(b, l.avih + 4, 10000000);
    put32(b, l.avih + 12, 0);
    put32(b, l.avih + 16, 0);
    put32(b, l.dmlh, 0);
    for (uint64_t strh : l.strh) {
        put32(b, strh + 32, 0);
    }
    put32(b, l.strh[1] + 36, 0);
    if (mp3) {
        put32(b, l.strh[1] + 20, 1);
        put32(b, l.strh[1] + 24, 0);
        put32(b, l.strh[1] + 44, 1);
        put32(b, l.strf[1] + 8, 0);
        b[l.strf[1] + 12] = 1;
        b[l.strf[1] + 13] = 0;
    }
    return b;
}

struct TAvimuxCase {
    const char* name;
    const char* pipeline; // up to avimux
    bool mp3;
    int frames;
};

class RepairAvimux : public ::testing::TestWithParam<TAvimuxCase> {};

TEST_P(RepairAvimux, aKilledRecording_comesBackAsAvimuxFinishesIt_andCutsKeepWholeChunks) {
    const std::string finished = sandboxPath(std::string(GetParam().name) + "-finished.avi");
    ASSERT_TRUE(gstLaunch(std::string(GetParam().pipeline) +
                          " avimux name=mux ! filesink location=" + finished));
    const Bytes done = readFile(finished);
    const TAvimuxLayout l = layoutOf(finished);
    ASSERT_NE(l.idx1, 0u);
    ASSERT_EQ(l.strh.size(), 2u);
    ASSERT_EQ(l.junk.size(), 2u);

    // Uncut: the finished file again, but for the data rate avimux only knows at the end (and,
    // for MP3, the average byte rate and the frame count it takes from timestamps).
    const std::string path = sandboxPath(std::string(GetParam().name) + ".avi");
    writeFile(path, killedAvimux(done, l, GetParam().mp3));
    const TRun r = repair(path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(": kept " + std::to_string(GetParam().frames) + " frames ("),
              std::string::npos)
        << r.out;
    Bytes repaired = readFile(path);
    ASSERT_EQ(repaired.size(), done.size());
    put32(repaired, l.avih + 4, read32(done, l.avih + 4));
    if (GetParam().mp3) {
        put32(repaired, l.strf[1] + 8, read32(done, l.strf[1] + 8));
        put32(repaired, l.strh[1] + 32, read32(done, l.strh[1] + 32));
    }
    EXPECT_EQ(repaired, done);
    TProbe p = probe(path);
    EXPECT_TRUE(p.silent);
    EXPECT_EQ(p.videoFrames, GetParam().frames);
    EXPECT_EQ(mediainfoFrames(path), std::to_string(GetParam().frames));

    // Cuts: avimux's own idx1 says where each chunk ends.
    const uint32_t entries = read32(done, l.idx1 + 4) / 16;
    std::vector<std::pair<uint64_t, bool>> ends; // chunk end, video
    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t e = l.idx1 + 8 + 16 * i;
        ends.emplace_back(read32(done, e + 8) + 8 + read32(done, e + 12), done[e + 2] == 'd');
    }
    for (const std::size_t chunk :
         {std::size_t{0}, std::size_t{7}, ends.size() / 2, ends.size() - 2}) {
        for (const int delta : {0, -1, 5}) {
            const uint64_t cut = ends[chunk].first + static_cast<uint64_t>(delta);
            int video = 0;
            for (const auto& [end, isVideo] : ends) {
                video += end <= cut && isVideo ? 1 : 0;
            }
            const Bytes killed = killedAvimux(done, l, GetParam().mp3);
            writeFile(path, Bytes(killed.begin(), killed.begin() + static_cast<long>(cut)));
            std::filesystem::remove(path + ".bak");
            const TRun rc = repair(path);
            ASSERT_EQ(rc.status, 0) << rc.err;
            EXPECT_NE(rc.out.find(": kept " + std::to_string(video) + " frames ("),
                      std::string::npos)
                << cut << " " << rc.out;
            const test::AviSummary s = test::ReadAvi(path);
            EXPECT_TRUE(s.sizesConsistent) << cut;
            EXPECT_EQ(s.strhLength, static_cast<uint32_t>(video));
            EXPECT_EQ(s.dmlhTotalFrames, static_cast<uint32_t>(video));
            EXPECT_EQ(s.idx1Entries, s.videoChunks + s.audioChunks);
            p = probe(path);
            EXPECT_TRUE(p.silent) << cut;
            EXPECT_EQ(p.videoFrames, video) << cut;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, RepairAvimux,
    ::testing::Values(
        TAvimuxCase{"dvType2",
                    "videotestsrc num-buffers=20 ! "
                    "video/x-raw,format=I420,width=720,height=576,framerate=25/1 ! "
                    "avenc_dvvideo ! queue ! mux. audiotestsrc num-buffers=40 "
                    "samplesperbuffer=960 ! audio/x-raw,format=S16LE,rate=48000,channels=2 ! "
                    "queue ! mux.",
                    false, 20},
        TAvimuxCase{"mpeg4Mp3",
                    "videotestsrc num-buffers=40 ! video/x-raw,width=320,height=240,"
                    "framerate=25/1 ! avenc_mpeg4 gop-size=12 ! queue ! mux. audiotestsrc "
                    "num-buffers=40 ! audio/x-raw,rate=44100,channels=2 ! lamemp3enc ! "
                    "mpegaudioparse ! queue ! mux.",
                    true, 40},
        TAvimuxCase{"mpeg4Pcm",
                    "videotestsrc num-buffers=30 ! video/x-raw,width=320,height=240,"
                    "framerate=25/1 ! avenc_mpeg4 gop-size=10 ! queue ! mux. audiotestsrc "
                    "num-buffers=30 ! audio/x-raw,format=S16LE,rate=48000,channels=2 ! queue ! "
                    "mux.",
                    false, 30}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RepairAvimuxKill, aRecordingStoppedWithoutEndOfStream_isRepairedWithKeyFramesMarked) {
    // identity fails the pipeline after some buffers: avimux never sees end-of-stream, as if
    // killed, and filesink closes what was written.
    const std::string path = sandboxPath("stopped.avi");
    gstLaunch("videotestsrc num-buffers=200 ! video/x-raw,width=320,height=240,framerate=25/1 ! "
              "avenc_mpeg4 gop-size=12 ! queue ! mux. audiotestsrc num-buffers=200 ! "
              "audio/x-raw,rate=44100,channels=2 ! lamemp3enc ! mpegaudioparse ! queue ! mux. "
              "avimux name=mux ! identity error-after=500 ! filesink location=" +
              path);
    const Bytes killed = readFile(path);
    ASSERT_GT(killed.size(), 20000u);
    ASSERT_EQ(read32(killed, 4) + 8, layoutOf(path).movi + 12); // avimux's placeholder

    const TRun r = repair(path);
    ASSERT_EQ(r.status, 0) << r.err;
    const test::AviSummary s = test::ReadAvi(path);
    ASSERT_GT(s.videoChunks, 12u);
    EXPECT_EQ(s.strhLength, s.videoChunks);
    const TProbe p = probe(path);
    EXPECT_TRUE(p.silent);
    EXPECT_EQ(p.videoFrames, static_cast<int>(s.videoChunks));
    // One key frame every 12 pictures; avimux's idx1 flags: 0x12 key, 0x02 other video.
    const Bytes out = readFile(path);
    const uint64_t idx1 = find(out, "idx1").back();
    int video = 0;
    for (uint64_t e = idx1 + 8; e + 16 <= out.size(); e += 16) {
        if (out[e + 2] == 'd') {
            EXPECT_EQ(read32(out, e + 4), video % 12 == 0 ? 0x12u : 0x02u) << video;
            ++video;
        }
    }
    EXPECT_EQ(video, static_cast<int>(s.videoChunks));
}

// ---- WAV ----

Bytes wavHeader(bool mp3) {
    Bytes h = {'R', 'I', 'F', 'F'};
    append32(h, mp3 ? 50 : 38); // header - 8: what a killed recording keeps
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    if (mp3) {
        append32(h, 30);
        h.insert(h.end(), {0x55, 0, 2, 0});
        append32(h, 48000);
        append32(h, 16000);
        h.insert(h.end(), {1, 0, 0, 0, 12, 0, 1, 0});
        append32(h, 2);
        h.insert(h.end(), {0x80, 0x01, 1, 0, 0x71, 0x05});
    } else {
        append32(h, 18);
        h.insert(h.end(), {1, 0, 2, 0});
        append32(h, 48000);
        append32(h, 192000);
        h.insert(h.end(), {4, 0, 16, 0, 0, 0});
    }
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    append32(h, 0);
    return h;
}

TEST(RepairWav, pcmKilledMidSample_keepsWholeBlocks_andSetsBothSizes) {
    const std::string path = sandboxPath("tone.wav");
    Bytes b = wavHeader(false);
    ASSERT_EQ(b.size(), 46u);
    for (int i = 0; i < 96003; ++i) { // 0.5 s and 3 bytes
        b.push_back(static_cast<uint8_t>(i * 7));
    }
    writeFile(path, b);
    const TRun r = repair(path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "repaired " + path + ": kept 0.50 s, backup " + path + ".bak\n");
    const Bytes out = readFile(path);
    ASSERT_EQ(out.size(), 46u + 96000);
    EXPECT_EQ(read32(out, 4), 46u + 96000 - 8);
    EXPECT_EQ(read32(out, 42), 96000u);
    EXPECT_TRUE(std::equal(out.begin() + 8, out.begin() + 42, b.begin() + 8));
    EXPECT_TRUE(std::equal(out.begin() + 46, out.end(), b.begin() + 46));
    EXPECT_EQ(readFile(path + ".bak"), b);
    EXPECT_TRUE(probe(path).silent);
    EXPECT_NEAR(probe(path).seconds, 0.5, 1e-6);
}

TEST(RepairWav, mp3KilledMidFrame_keepsWholeFrames_withAPadByteForAnOddSize) {
    const std::string mp3 = sandboxPath("tone.mp3.raw");
    // CBR 128 kbit/s at 48 kHz: every frame is 384 bytes.
    ASSERT_TRUE(gstLaunch("audiotestsrc num-buffers=50 ! audio/x-raw,rate=48000,channels=2 ! "
                          "lamemp3enc target=bitrate bitrate=128 cbr=true ! mpegaudioparse ! "
                          "filesink location=" +
                          mp3));
    const Bytes frames = readFile(mp3);
    ASSERT_GE(frames.size(), 384u * 20);
    const std::string path = sandboxPath("tone.mp3");
    Bytes b = wavHeader(true);
    ASSERT_EQ(b.size(), 58u);
    b.insert(b.end(), frames.begin(), frames.begin() + 384 * 20 + 200);
    writeFile(path, b);
    TRun r = repair(path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "repaired " + path + ": kept 0.48 s, backup " + path + ".bak\n");
    Bytes out = readFile(path);
    ASSERT_EQ(out.size(), 58u + 384 * 20);
    EXPECT_EQ(read32(out, 4), 50u + 384 * 20);
    EXPECT_EQ(read32(out, 54), 384u * 20);
    TProbe p = probe(path);
    EXPECT_TRUE(p.silent);
    EXPECT_EQ(p.audioFrames, 20);

    // A frame header with its padding bit gives an odd data size: the RIFF pad byte follows.
    b.resize(58 + 384 * 3);
    const Bytes frame(frames.begin(), frames.begin() + 384);
    Bytes padded = frame;
    padded[2] |= 0x02;
    padded.push_back(0);
    b.insert(b.end(), padded.begin(), padded.end());
    b.insert(b.end(), frame.begin(), frame.begin() + 100);
    writeFile(path, b);
    std::filesystem::remove(path + ".bak");
    r = repair(path);
    ASSERT_EQ(r.status, 0) << r.err;
    out = readFile(path);
    ASSERT_EQ(out.size(), 58u + 384 * 4 + 1 + 1);
    EXPECT_EQ(read32(out, 54), 384u * 4 + 1);
    EXPECT_EQ(read32(out, 4), out.size() - 8);
    EXPECT_EQ(out.back(), 0);
}

TEST(RepairWav, headerCutOrEmptyData_isRefusedOrHealthy) {
    const std::string path = sandboxPath("short.wav");
    const Bytes h = wavHeader(false);
    writeFile(path, Bytes(h.begin(), h.begin() + 40));
    EXPECT_EQ(repair(path).err, "vidorel-capture: cannot repair " + path +
                                    ": the file is cut inside its header; left untouched\n");
    // Killed before any sample: the header alone is a valid empty WAV.
    writeFile(path, h);
    const TRun r = repair(path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, path + " is complete; nothing to repair\n");
    EXPECT_EQ(readFile(path), h);
}

// ---- healthy, foreign, backups ----

TEST(RepairFiles, healthyFiles_areLeftUntouched_withoutBackup) {
    const TType1Files f = writeType1("healthy");
    const std::string wav = sandboxPath("healthy.wav");
    Bytes w = wavHeader(false);
    w.resize(46 + 4000, 9);
    put32(w, 4, 46 + 4000 - 8);
    put32(w, 42, 4000);
    writeFile(wav, w);
    for (const std::string& path : {f.finished, wav}) {
        const Bytes before = readFile(path);
        struct stat st1 {};
        ASSERT_EQ(::stat(path.c_str(), &st1), 0);
        const TRun r = repair(path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, path + " is complete; nothing to repair\n");
        EXPECT_EQ(r.err, "");
        struct stat st2 {};
        ASSERT_EQ(::stat(path.c_str(), &st2), 0);
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(st1.st_mtim.tv_sec, st2.st_mtim.tv_sec);
        EXPECT_EQ(st1.st_mtim.tv_nsec, st2.st_mtim.tv_nsec);
        EXPECT_FALSE(std::filesystem::exists(path + ".bak"));
    }
}

TEST(RepairFiles, filesNotOurs_areRefusedUntouched) {
    Bytes floatWav = wavHeader(false);
    floatWav[20] = 3; // IEEE float: never written
    floatWav.resize(200, 1);
    Bytes mjpeg = test::typicalAvi();
    const auto strf = find(mjpeg, "strf")[0];
    std::copy_n("MJPG", 4, mjpeg.begin() + static_cast<long>(strf + 8 + 16));
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"empty.avi", {}},
        {"text.avi", Bytes(300, 'x')},
        {"float.wav", floatWav},
        {"mjpeg.avi", mjpeg},
        {"riff-other.avi", test::list("RIFF", "RMID", {test::chunk("data", Bytes(40, 1))})},
    };
    for (const auto& [name, bytes] : files) {
        const std::string path = sandboxPath(name);
        writeFile(path, bytes);
        const TRun r = repair(path);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("vidorel-capture: cannot repair " + path + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("; left untouched\n"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(path), bytes);
        EXPECT_FALSE(std::filesystem::exists(path + ".bak"));
    }
    EXPECT_EQ(repair(sandboxPath("empty.avi")).err, "vidorel-capture: cannot repair " +
                                                        sandboxPath("empty.avi") +
                                                        ": the file is empty; left untouched\n");
    const TRun missing = repair(sandboxPath("missing.avi"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "vidorel-capture: cannot open " + sandboxPath("missing.avi") +
                               ": No such file or directory\n");
}

TEST(RepairFiles, existingBackups_areNeverOverwritten_theNextFreeNameIsUsed) {
    const TType1Files f = writeType1("backups");
    const Bytes killed = readFile(f.killed);
    writeFile(f.killed + ".bak", Bytes{1, 2, 3});
    writeFile(f.killed + ".bak.1", Bytes{4, 5});
    EXPECT_EQ(NextBackupPath(f.killed), f.killed + ".bak.2");
    const TRun r = repair(f.killed);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "repaired " + f.killed + ": kept 7 frames (0.28 s), backup " + f.killed + ".bak.2\n");
    EXPECT_EQ(readFile(f.killed + ".bak"), (Bytes{1, 2, 3}));
    EXPECT_EQ(readFile(f.killed + ".bak.1"), (Bytes{4, 5}));
    EXPECT_EQ(readFile(f.killed + ".bak.2"), killed);
}

} // namespace
} // namespace vidorel

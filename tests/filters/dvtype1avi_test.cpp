// The DV type-1 AVI layout, written into memory and walked with the RIFF scanner the header
// fix-ups use.

#include "filters/DVType1Avi.h"

#include "devices/dvtape/DvTape.h"
#include "files/RiffScanner.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <QJsonArray>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace vidorel;

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Le64(const uint8_t* p) {
    return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32;
}

// Keeps every byte; can refuse bytes past a given size, like a full disk.
class MemorySink : public TByteSink {
public:
    std::vector<uint8_t> bytes;
    uint64_t capacity = UINT64_MAX;

    bool Append(std::span<const uint8_t> b) override {
        if (bytes.size() + b.size() > capacity) {
            return false;
        }
        bytes.insert(bytes.end(), b.begin(), b.end());
        return true;
    }
    bool Overwrite(uint64_t offset, std::span<const uint8_t> b) override {
        if (offset + b.size() > bytes.size()) {
            return false;
        }
        std::copy(b.begin(), b.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return true;
    }
    uint64_t Committed() override { return bytes.size(); }
    bool Truncate(uint64_t size) override {
        if (size > bytes.size()) {
            return false;
        }
        bytes.resize(size);
        return true;
    }
    RiffScanner Scanner() const {
        return RiffScanner(
            [this](uint64_t at, void* out, std::size_t n) {
                if (at + n > bytes.size()) {
                    return false;
                }
                std::memcpy(out, bytes.data() + at, n);
                return true;
            },
            bytes.size());
    }
};

// Counts frame bytes without keeping them and keeps everything else (headers, indexes), so a
// file of more than 1 GiB is laid out without the memory or the disk.
class SparseSink : public TByteSink {
public:
    uint64_t size = 0;
    std::map<uint64_t, std::vector<uint8_t>> kept;

    bool Append(std::span<const uint8_t> b) override {
        if (b.size() != kDv625FrameBytes) {
            kept[size].assign(b.begin(), b.end());
        }
        size += b.size();
        return true;
    }
    bool Overwrite(uint64_t offset, std::span<const uint8_t> b) override {
        for (std::size_t i = 0; i < b.size(); ++i) {
            auto it = kept.upper_bound(offset + i);
            if (it == kept.begin()) {
                return false;
            }
            --it;
            if (offset + i >= it->first + it->second.size()) {
                return false;
            }
            it->second[offset + i - it->first] = b[i];
        }
        return true;
    }
    bool Read(uint64_t at, void* out, std::size_t n) const {
        auto* o = static_cast<uint8_t*>(out);
        for (std::size_t i = 0; i < n; ++i) {
            auto it = kept.upper_bound(at + i);
            o[i] = 0;
            if (it != kept.begin()) {
                --it;
                if (at + i < it->first + it->second.size()) {
                    o[i] = it->second[at + i - it->first];
                }
            }
        }
        return at + n <= size;
    }
};

struct Chunk {
    std::string path; // "RIFF:AVI /LIST:hdrl/avih"
    RiffChunk c;
};

std::string Id(const FourCC& f) {
    return std::string(f.data(), 4);
}

std::vector<Chunk> Walk(const RiffScanner& scanner, bool intoMovi = true) {
    std::vector<Chunk> out;
    std::vector<std::string> stack;
    EXPECT_TRUE(scanner.Walk([&](const RiffChunk& c) {
        stack.resize(static_cast<std::size_t>(c.depth));
        std::string name = Id(c.id) + (c.isList ? ":" + Id(c.listType) : "");
        std::string path;
        for (const auto& s : stack) {
            path += s + "/";
        }
        out.push_back({path + name, c});
        stack.push_back(name);
        if (c.isList && !intoMovi && Id(c.listType) == "movi") {
            return RiffVisit::Skip;
        }
        return RiffVisit::Descend;
    }));
    return out;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const std::string& path, int nth = 0) {
    for (const auto& c : chunks) {
        if (c.path == path && nth-- == 0) {
            return &c;
        }
    }
    return nullptr;
}

std::vector<uint8_t> Data(const MemorySink& sink, const Chunk* c) {
    EXPECT_NE(c, nullptr);
    if (c == nullptr) {
        return {};
    }
    const auto at = static_cast<std::ptrdiff_t>(c->c.dataOffset);
    return {sink.bytes.begin() + at, sink.bytes.begin() + at + c->c.declaredSize};
}

const dvtape::DvTape& Tape(dvtape::DvSystem system) {
    auto make = [](dvtape::DvSystem s) {
        dvtape::TapeDescription t;
        t.system = s;
        t.recordings = {{dvtape::CivilDateTime{2006, 3, 4, 5, 6, 7}, 4, false, true},
                        {std::nullopt, 3, true, false}};
        return t;
    };
    static const dvtape::DvTape pal(make(dvtape::DvSystem::Pal625));
    static const dvtape::DvTape ntsc(make(dvtape::DvSystem::Ntsc525));
    return system == dvtape::DvSystem::Pal625 ? pal : ntsc;
}

struct Expected {
    dvtape::DvSystem system;
    uint32_t frameBytes, scale, rate, usPerFrame, height;
};

class Type1Layout : public ::testing::TestWithParam<Expected> {};

} // namespace

TEST_P(Type1Layout, fewFrames_giveOneIavsStreamWithBothIndexesAndTheCounts) {
    const Expected e = GetParam();
    const auto& tape = Tape(e.system);
    MemorySink sink;
    TDVType1AviWriter writer(sink);
    std::vector<std::vector<uint8_t>> frames;
    for (uint64_t i = 0; i < 3; ++i) {
        frames.push_back(tape.frame(i));
        ASSERT_EQ(writer.WriteFrame(frames.back()), TDVType1AviWriter::Result::Ok);
    }
    ASSERT_EQ(writer.Finish(), TDVType1AviWriter::Result::Ok);
    EXPECT_EQ(writer.Finish(), TDVType1AviWriter::Result::Finished);

    const auto chunks = Walk(sink.Scanner());
    std::vector<std::string> paths;
    for (const auto& c : chunks) {
        paths.push_back(c.path);
    }
    const std::string h = "RIFF:AVI /LIST:hdrl/";
    const std::string m = "RIFF:AVI /LIST:movi/";
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "RIFF:AVI ", h.substr(0, h.size() - 1), h + "avih", h + "LIST:strl",
                         h + "LIST:strl/strh", h + "LIST:strl/strf", h + "LIST:strl/indx",
                         h + "LIST:odml", h + "LIST:odml/dmlh", m.substr(0, m.size() - 1),
                         m + "00db", m + "00db", m + "00db", m + "ix00", "RIFF:AVI /idx1"}));
    EXPECT_EQ(Le32(&sink.bytes[4]), sink.bytes.size() - 8);

    const auto avih = Data(sink, Find(chunks, h + "avih"));
    ASSERT_EQ(avih.size(), 56u);
    EXPECT_EQ(Le32(&avih[0]), e.usPerFrame);
    EXPECT_EQ(Le32(&avih[12]) & 0x10, 0x10u); // has an index
    EXPECT_EQ(Le32(&avih[16]), 3u);
    EXPECT_EQ(Le32(&avih[24]), 1u);
    EXPECT_EQ(Le32(&avih[32]), 720u);
    EXPECT_EQ(Le32(&avih[36]), e.height);

    const auto strh = Data(sink, Find(chunks, h + "LIST:strl/strh"));
    ASSERT_EQ(strh.size(), 56u);
    EXPECT_EQ(std::string(strh.begin(), strh.begin() + 8), "iavsdvsd");
    EXPECT_EQ(Le32(&strh[20]), e.scale);
    EXPECT_EQ(Le32(&strh[24]), e.rate);
    EXPECT_EQ(Le32(&strh[32]), 3u);

    const auto strf = Data(sink, Find(chunks, h + "LIST:strl/strf"));
    const auto dvinfo = DVInfoFromFrame(frames[0]);
    EXPECT_EQ(strf, std::vector<uint8_t>(dvinfo.begin(), dvinfo.end()));

    const auto dmlh = Data(sink, Find(chunks, h + "LIST:odml/dmlh"));
    ASSERT_EQ(dmlh.size(), 248u);
    EXPECT_EQ(Le32(&dmlh[0]), 3u);

    // Both indexes lead to the frames, unchanged.
    const Chunk* movi = Find(chunks, m.substr(0, m.size() - 1));
    const auto idx1 = Data(sink, Find(chunks, "RIFF:AVI /idx1"));
    ASSERT_EQ(idx1.size(), 3u * 16);
    const auto ix = Data(sink, Find(chunks, m + "ix00"));
    ASSERT_EQ(ix.size(), 24u + 3 * 8);
    EXPECT_EQ(Le32(&ix[4]), 3u);
    EXPECT_EQ(Le64(&ix[12]), movi->c.headerOffset);
    for (std::size_t i = 0; i < 3; ++i) {
        const Chunk* frame = Find(chunks, m + "00db", static_cast<int>(i));
        EXPECT_EQ(std::string(idx1.begin() + 16 * i, idx1.begin() + 16 * i + 4), "00db");
        EXPECT_EQ(Le32(&idx1[16 * i + 8]) + movi->c.dataOffset, frame->c.headerOffset);
        EXPECT_EQ(Le32(&idx1[16 * i + 12]), e.frameBytes);
        EXPECT_EQ(Le32(&ix[24 + 8 * i]) + movi->c.headerOffset, frame->c.dataOffset);
        EXPECT_EQ(Le32(&ix[28 + 8 * i]), e.frameBytes); // key frame: bit 31 clear
        EXPECT_EQ(Data(sink, frame), frames[i]);
    }
    const auto indx = Data(sink, Find(chunks, h + "LIST:strl/indx"));
    EXPECT_EQ(Le32(&indx[4]), 1u);
    EXPECT_EQ(Le64(&indx[24]), Find(chunks, m + "ix00")->c.headerOffset);
    EXPECT_EQ(Le32(&indx[36]), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, Type1Layout,
    ::testing::Values(Expected{dvtape::DvSystem::Pal625, 144000, 1, 25, 40000, 576},
                      Expected{dvtape::DvSystem::Ntsc525, 120000, 1001, 30000, 33367, 480}));

TEST(DVType1Avi, dvinfo_holdsTheFramesSourcePacks_andZerosForAbsentOnes) {
    const auto& tape = Tape(dvtape::DvSystem::Pal625);
    const auto withAudio = tape.frame(0);
    const auto info = DVInfoFromFrame(withAudio);
    // AAUX source of the first channel: the pack at 4323, its four data bytes.
    ASSERT_EQ(withAudio[4323], 0x50);
    EXPECT_TRUE(std::equal(info.begin(), info.begin() + 4, withAudio.begin() + 4324));
    // VAUX source control: the pack at 453.
    ASSERT_EQ(withAudio[453], 0x61);
    EXPECT_TRUE(std::equal(info.begin() + 20, info.begin() + 24, withAudio.begin() + 454));
    EXPECT_TRUE(std::all_of(info.begin() + 24, info.end(), [](uint8_t b) { return b == 0; }));

    const auto damaged = tape.frame(5); // recording without AAUX source packs
    const auto noAudio = DVInfoFromFrame(damaged);
    EXPECT_TRUE(
        std::all_of(noAudio.begin(), noAudio.begin() + 4, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(DVInfoFromFrame(std::span<const uint8_t>(withAudio.data(), 1000)),
              (std::array<uint8_t, 32>{}));
}

TEST(DVType1Avi, aLoweredRiffLimit_givesAvixPartsThatFfprobeReadsWhole) {
    const auto& tape = Tape(dvtape::DvSystem::Pal625);
    // Room for two frames per part.
    const uint64_t limit = 2 * 144008 + 8192;
    const std::string path = test::sandboxRoot() + "/parts.avi";
    {
        TFileByteSink file;
        ASSERT_TRUE(file.Open(path));
        TDVType1AviWriter writer(file, limit);
        for (uint64_t i = 0; i < 7; ++i) {
            ASSERT_EQ(writer.WriteFrame(tape.frame(i)), TDVType1AviWriter::Result::Ok);
        }
        ASSERT_EQ(writer.Finish(), TDVType1AviWriter::Result::Ok);
        EXPECT_EQ(writer.RiffParts(), 4u);
        ASSERT_TRUE(file.Close());
    }
    const QJsonObject probe = test::ffprobe(path);
    const QJsonArray streams = probe["streams"].toArray();
    ASSERT_EQ(streams.size(), 2) << path;
    EXPECT_EQ(streams[0].toObject()["codec_name"].toString(), "dvvideo");
    EXPECT_EQ(streams[0].toObject()["nb_read_frames"].toString(), "7");
    EXPECT_EQ(streams[1].toObject()["codec_type"].toString(), "audio");
}

TEST(DVType1Avi, morethanOneGibibyte_isSplitIntoRiffPartsBelowTheLimit_withOneIndexEach) {
    const auto frame = Tape(dvtape::DvSystem::Pal625).frame(0);
    SparseSink sink;
    TDVType1AviWriter writer(sink);
    const uint64_t frames = 8000; // 1.15 GB
    for (uint64_t i = 0; i < frames; ++i) {
        ASSERT_EQ(writer.WriteFrame(frame), TDVType1AviWriter::Result::Ok) << i;
    }
    ASSERT_EQ(writer.Finish(), TDVType1AviWriter::Result::Ok);
    EXPECT_GT(sink.size, uint64_t{1} << 30);

    const RiffScanner scanner(
        [&sink](uint64_t at, void* out, std::size_t n) { return sink.Read(at, out, n); },
        sink.size);
    const auto chunks = Walk(scanner, /*intoMovi=*/false);
    std::vector<const Chunk*> riffs;
    for (const auto& c : chunks) {
        if (c.c.depth == 0) {
            riffs.push_back(&c);
            EXPECT_LE(c.c.declaredSize + 8ull, TDVType1AviWriter::kDefaultRiffLimit);
        }
    }
    ASSERT_EQ(riffs.size(), 2u);
    EXPECT_EQ(Id(riffs[0]->c.listType), "AVI ");
    EXPECT_EQ(Id(riffs[1]->c.listType), "AVIX");
    EXPECT_EQ(riffs[1]->c.headerOffset + riffs[1]->c.declaredSize + 8, sink.size);

    uint8_t b[64];
    const Chunk* indx = Find(chunks, "RIFF:AVI /LIST:hdrl/LIST:strl/indx");
    ASSERT_TRUE(sink.Read(indx->c.dataOffset, b, 56));
    ASSERT_EQ(Le32(&b[4]), 2u);
    const uint32_t firstPart = Le32(&b[36]);
    EXPECT_EQ(firstPart + Le32(&b[52]), frames);
    // Each super index entry names an ix00 chunk of its part.
    for (int part = 0; part < 2; ++part) {
        const uint64_t ixAt = Le64(&b[24 + 16 * part]);
        EXPECT_GT(ixAt, riffs[static_cast<std::size_t>(part)]->c.headerOffset);
        uint8_t ix[32];
        ASSERT_TRUE(sink.Read(ixAt, ix, 32));
        EXPECT_EQ(std::string(ix, ix + 4), "ix00");
        EXPECT_EQ(Le32(&ix[12]), Le32(&b[36 + 16 * part]));
    }
    const Chunk* avih = Find(chunks, "RIFF:AVI /LIST:hdrl/avih");
    ASSERT_TRUE(sink.Read(avih->c.dataOffset, b, 20));
    EXPECT_EQ(Le32(&b[16]), firstPart);
    const Chunk* dmlh = Find(chunks, "RIFF:AVI /LIST:hdrl/LIST:odml/dmlh");
    ASSERT_TRUE(sink.Read(dmlh->c.dataOffset, b, 4));
    EXPECT_EQ(Le32(b), frames);
    EXPECT_NE(Find(chunks, "RIFF:AVI /idx1"), nullptr);
}

TEST(DVType1Avi, withoutFinish_theFileKeepsItsUnfinishedMark_andEveryFrame) {
    const auto& tape = Tape(dvtape::DvSystem::Ntsc525);
    MemorySink sink;
    {
        TDVType1AviWriter writer(sink, 2 * 120008 + 8192);
        for (uint64_t i = 0; i < 5; ++i) {
            ASSERT_EQ(writer.WriteFrame(tape.frame(i)), TDVType1AviWriter::Result::Ok);
        }
    }
    // The placeholder: RIFF size 0 (a walk stops there), avih frame count 0, no index flag.
    ASSERT_GT(sink.bytes.size(), 64u);
    EXPECT_EQ(std::string(sink.bytes.begin() + 24, sink.bytes.begin() + 28), "avih");
    EXPECT_EQ(Le32(&sink.bytes[4]), 0u);
    EXPECT_EQ(Le32(&sink.bytes[32 + 12]) & 0x10, 0u);
    EXPECT_EQ(Le32(&sink.bytes[32 + 16]), 0u);
    std::size_t frames = 0;
    for (std::size_t at = 0; at + 8 <= sink.bytes.size(); ++at) {
        if (std::memcmp(&sink.bytes[at], "00db", 4) == 0 && Le32(&sink.bytes[at + 4]) == 120000) {
            ++frames;
            at += 120000;
        }
    }
    EXPECT_EQ(frames, 5u);
}

TEST(DVType1Avi, badFramesAndFullIndexAndFailedWrites_areRefusedWithoutCorruptingTheFile) {
    const auto& tape = Tape(dvtape::DvSystem::Pal625);
    const auto frame = tape.frame(0);
    using R = TDVType1AviWriter::Result;
    {
        MemorySink sink;
        TDVType1AviWriter writer(sink, 2 * 144008 + 8192, /*superIndexEntries=*/2);
        EXPECT_EQ(writer.WriteFrame(std::span<const uint8_t>(frame.data(), 100)),
                  R::WrongFrameSize);
        EXPECT_TRUE(sink.bytes.empty());
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(writer.WriteFrame(frame), R::Ok);
        }
        // NTSC-sized frame in a PAL file.
        EXPECT_EQ(writer.WriteFrame(std::span<const uint8_t>(frame.data(), 120000)),
                  R::WrongFrameSize);
        EXPECT_EQ(writer.WriteFrame(frame), R::FileFull);
        ASSERT_EQ(writer.Finish(), R::Ok);
        EXPECT_EQ(writer.FramesWritten(), 4u);
        EXPECT_EQ(writer.RiffParts(), 2u);
        const auto chunks = Walk(sink.Scanner(), /*intoMovi=*/false);
        const Chunk* avix = Find(chunks, "RIFF:AVIX");
        ASSERT_NE(avix, nullptr);
        EXPECT_EQ(Le32(&sink.bytes[4]) + 8u, avix->c.headerOffset);
        EXPECT_EQ(avix->c.dataOffset + avix->c.declaredSize, sink.bytes.size());
    }
    {
        MemorySink sink;
        sink.capacity = 3 * 144008;
        TDVType1AviWriter writer(sink);
        R r = R::Ok;
        int written = 0;
        while ((r = writer.WriteFrame(frame)) == R::Ok) {
            ++written;
        }
        EXPECT_EQ(r, R::WriteFailed);
        EXPECT_EQ(written, 2);
        EXPECT_TRUE(writer.Failed());
        EXPECT_EQ(writer.WriteFrame(frame), R::WriteFailed);
        EXPECT_EQ(writer.Finish(), R::WriteFailed);
    }
}

TEST(DVType1Avi, aFileWithoutFrames_isStillAValidAviOfTheDefaultSystem) {
    MemorySink sink;
    TDVType1AviWriter writer(sink);
    writer.SetDefaultSystem(DvAviSystem::Ntsc525);
    ASSERT_EQ(writer.Finish(), TDVType1AviWriter::Result::Ok);
    const auto chunks = Walk(sink.Scanner());
    const auto strh = Data(sink, Find(chunks, "RIFF:AVI /LIST:hdrl/LIST:strl/strh"));
    EXPECT_EQ(Le32(&strh[24]), 30000u);
    EXPECT_EQ(Le32(&strh[32]), 0u);
    EXPECT_NE(Find(chunks, "RIFF:AVI /idx1"), nullptr);
}

TEST(DVType1Avi, aDiskThatFillsUp_leavesAFileOfTheWholeFramesThatPlays) {
    const auto& tape = Tape(dvtape::DvSystem::Pal625);
    using R = TDVType1AviWriter::Result;
    MemorySink sink;
    TDVType1AviWriter probe(sink);
    ASSERT_EQ(probe.WriteFrame(tape.frame(0)), R::Ok);
    const uint64_t header = sink.bytes.size() - 144008;
    sink.bytes.clear();
    // Room for the header, five frames and half of the sixth.
    sink.capacity = header + 5 * 144008 + 72000;
    TDVType1AviWriter writer(sink);
    R r = R::Ok;
    for (uint64_t i = 0; r == R::Ok; ++i) {
        r = writer.WriteFrame(tape.frame(i % tape.frameCount()));
    }
    ASSERT_EQ(r, R::WriteFailed);
    ASSERT_EQ(writer.Salvage(), R::Ok);
    EXPECT_TRUE(writer.IsFinished());
    EXPECT_EQ(writer.FramesWritten(), 5u);
    EXPECT_EQ(writer.Salvage(), R::Finished);
    EXPECT_EQ(sink.bytes.size(), header + 5 * 144008) << "the torn frame is cut off";

    const auto chunks = Walk(sink.Scanner());
    EXPECT_EQ(Le32(&sink.bytes[4]) + 8u, sink.bytes.size());
    const Chunk* movi = Find(chunks, "RIFF:AVI /LIST:movi");
    ASSERT_NE(movi, nullptr);
    EXPECT_EQ(movi->c.dataOffset + movi->c.declaredSize, sink.bytes.size());
    EXPECT_EQ(Find(chunks, "RIFF:AVI /LIST:movi/00db", 4) != nullptr, true);
    EXPECT_EQ(Find(chunks, "RIFF:AVI /LIST:movi/00db", 5), nullptr);
    EXPECT_EQ(Find(chunks, "RIFF:AVI /idx1"), nullptr) << "no room was taken for an index";
    const auto avih = Data(sink, Find(chunks, "RIFF:AVI /LIST:hdrl/avih"));
    EXPECT_EQ(Le32(&avih[12]) & 0x10, 0u) << "no index announced";
    EXPECT_EQ(Le32(&avih[16]), 5u);
    const auto strh = Data(sink, Find(chunks, "RIFF:AVI /LIST:hdrl/LIST:strl/strh"));
    EXPECT_EQ(Le32(&strh[32]), 5u);
    const auto dmlh = Data(sink, Find(chunks, "RIFF:AVI /LIST:hdrl/LIST:odml/dmlh"));
    EXPECT_EQ(Le32(&dmlh[0]), 5u);

    const std::string file = test::sandboxRoot() + "/salvaged.avi";
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(sink.bytes.data(), 1, sink.bytes.size(), f);
    std::fclose(f);
    const QJsonArray streams = test::ffprobe(file)["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0]["codec_name"].toString(), "dvvideo");
    EXPECT_EQ(streams[0]["nb_read_frames"].toString(), "5");
}

TEST(DVType1Avi, aDiskThatFillsUpInALaterPart_keepsTheClosedPartsIndexed) {
    const auto& tape = Tape(dvtape::DvSystem::Pal625);
    using R = TDVType1AviWriter::Result;
    MemorySink sink;
    // Two frames a part; the disk fills in the middle of the second part's second frame.
    TDVType1AviWriter writer(sink, 2 * 144008 + 8192);
    for (uint64_t i = 0; i < 3; ++i) {
        ASSERT_EQ(writer.WriteFrame(tape.frame(i)), R::Ok);
    }
    sink.capacity = sink.bytes.size() + 8 + 1000;
    ASSERT_EQ(writer.WriteFrame(tape.frame(3)), R::WriteFailed);
    ASSERT_EQ(writer.Salvage(), R::Ok);
    EXPECT_EQ(writer.FramesWritten(), 3u);
    const auto chunks = Walk(sink.Scanner(), /*intoMovi=*/false);
    const Chunk* avix = Find(chunks, "RIFF:AVIX");
    ASSERT_NE(avix, nullptr);
    EXPECT_EQ(avix->c.dataOffset + avix->c.declaredSize, sink.bytes.size());
    EXPECT_EQ(Le32(&sink.bytes[4]) + 8u, avix->c.headerOffset);
    EXPECT_NE(Find(chunks, "RIFF:AVI /idx1"), nullptr) << "the first part closed normally";
    const auto avih = Data(sink, Find(chunks, "RIFF:AVI /LIST:hdrl/avih"));
    EXPECT_EQ(Le32(&avih[12]) & 0x10, 0x10u);
    EXPECT_EQ(Le32(&avih[16]), 2u);
    const auto strh = Data(sink, Find(chunks, "RIFF:AVI /LIST:hdrl/LIST:strl/strh"));
    EXPECT_EQ(Le32(&strh[32]), 3u);
    const auto indx = Data(sink, Find(chunks, "RIFF:AVI /LIST:hdrl/LIST:strl/indx"));
    EXPECT_EQ(Le32(&indx[4]), 1u) << "only the closed part has an index";
}

TEST(DVType1Avi, aFifoOrALinkWithTheCapturesName_isNotOpened) {
    const std::string fifo = test::sandboxRoot() + "/capture.avi";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TFileByteSink sink;
    // Without a reader, opening a FIFO for writing would block the state change for ever.
    EXPECT_FALSE(sink.Open(fifo));
    EXPECT_NE(sink.Errno(), 0);

    const std::string target = test::sandboxRoot() + "/precious.txt";
    {
        std::FILE* f = std::fopen(target.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("keep", f);
        std::fclose(f);
    }
    const std::string link = test::sandboxRoot() + "/linked.avi";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    TFileByteSink other;
    EXPECT_FALSE(other.Open(link));
    EXPECT_EQ(other.Errno(), ELOOP);
    EXPECT_EQ(std::filesystem::file_size(target), 4u) << "the link's target was truncated";
}

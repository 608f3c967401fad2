#include "files/ecrire_scnUnit.h"
#include "files/fpsunit.h"

#include "tests/files/AviBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <random>

namespace vidorel {
namespace {

using test::Bytes;

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

TDVFrameInfo frameNumbered(uint32_t n) {
    TDVFrameInfo f;
    f.FrameNumber = n;
    return f;
}

Bytes expectedScn(const std::string& name, std::initializer_list<uint32_t> starts, uint32_t total) {
    Bytes out = SceneFileHeader(name);
    std::vector<uint32_t> s(starts);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const uint32_t next = (i + 1 < s.size() ? s[i + 1] : total) + 1;
        const Bytes block = i == 0 ? FirstSceneBlock(name, next)
                                   : FurtherSceneBlock(s[i] + 1, next - (s[i] + 1) + 1);
        out.insert(out.end(), block.begin(), block.end());
    }
    out[SceneCountPosition(name)] = static_cast<uint8_t>(s.size());
    return out;
}

// ---- scene index file ----

TEST(SceneFile, headerAndFirstBlock_haveTheFixedLayout) {
    const std::string name(40, 'n');
    const Bytes header = SceneFileHeader(name);
    ASSERT_EQ(header.size(), 105u);
    const Bytes start = {0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF,
                         0xFF, 0x03, 0x00, 0x0A, 0x00, 'S',  'o',  'u',  'r',
                         'c',  'e',  'T',  'a',  'p',  'e',  40};
    EXPECT_EQ(Bytes(header.begin(), header.begin() + 25), start);
    const Bytes tail = {0,    0,    0,   0,   0,   0,   0,   0, 0, 0, 0xFF, 0xFF, 0x01, 0x00,
                        0x04, 0x00, 'C', 'l', 'i', 'p', 'P', 0, 0, 0, 0xFF, 0xFF, 0x01, 0x00,
                        0x05, 0x00, 'S', 'c', 'e', 'n', 'e', 0, 0, 0, 0,    0};
    EXPECT_EQ(Bytes(header.begin() + 65, header.end()), tail);
    EXPECT_EQ(SceneCountPosition(name), 73u);

    const Bytes first = FirstSceneBlock(name, 251);
    ASSERT_EQ(first.size(), 63u);
    EXPECT_EQ(test::read32(first, 0), 251u);
    EXPECT_EQ(Bytes(first.begin() + 4, first.begin() + 11), (Bytes{0, 0, 0, 0, 0x01, 0x80, 40}));
    EXPECT_EQ(test::read32(first, 59), 251u);

    const Bytes further = FurtherSceneBlock(251, 151);
    ASSERT_EQ(further.size(), 35u);
    EXPECT_EQ(Bytes(further.begin(), further.begin() + 9),
              (Bytes{0x03, 0x80, 0xF0, 0, 0, 0, 0x05, 0x80, 0}));
    EXPECT_EQ(test::read32(further, 9), 251u);
    EXPECT_EQ(test::read32(further, 13), 151u);
    EXPECT_EQ(Bytes(further.begin() + 17, further.begin() + 23), (Bytes{0, 0, 0, 0, 0x07, 0}));
    EXPECT_EQ(test::read32(further, 23), 251u);
    EXPECT_EQ(test::read32(further, 27), 151u);
    EXPECT_EQ(test::read32(further, 31), 251u);
}

TEST(SceneFile, oneAndThreeScenes_areWrittenByteForByte) {
    const std::string one = sandboxPath("one.scn");
    TSceneFileWriter w;
    ASSERT_TRUE(w.OpenSceneFile(one));
    EXPECT_TRUE(w.SceneFileOpen());
    w.WriteScene(frameNumbered(0), frameNumbered(250));
    w.CloseSceneFile();
    EXPECT_FALSE(w.SceneFileOpen());
    EXPECT_EQ(readFile(one), expectedScn(one, {0}, 250));

    const std::string three = sandboxPath("three.scn");
    ASSERT_TRUE(w.OpenSceneFile(three));
    TSceneCallback callback = w.SceneCallback();
    callback(frameNumbered(0), frameNumbered(250));
    callback(frameNumbered(250), frameNumbered(400));
    callback(frameNumbered(400), frameNumbered(500));
    w.CloseSceneFile();
    const Bytes bytes = readFile(three);
    EXPECT_EQ(bytes, expectedScn(three, {0, 250, 400}, 500));
    const std::size_t further = SceneFileHeader(three).size() + FirstSceneBlock(three, 0).size();
    EXPECT_EQ(test::read32(bytes, further + 9), 251u);
    EXPECT_EQ(test::read32(bytes, further + 13), 151u);
    EXPECT_EQ(test::read32(bytes, further + 35 + 13), 101u);
}

TEST(SceneFile, unclosedFile_keepsAZeroCountButItsScenes) {
    const std::string path = sandboxPath("open.scn");
    auto w = std::make_unique<TSceneFileWriter>();
    ASSERT_TRUE(w->OpenSceneFile(path));
    w->WriteScene(frameNumbered(0), frameNumbered(10));
    const Bytes whileOpen = readFile(path);
    EXPECT_EQ(whileOpen.size(), SceneFileHeader(path).size() + FirstSceneBlock(path, 0).size());
    EXPECT_EQ(whileOpen[SceneCountPosition(path)], 0);
}

TEST(SceneFile, sceneBeyond32768_isDroppedAndTheCountStaysAt0x8000) {
    const std::string path = sandboxPath("many.scn");
    TSceneFileWriter w;
    ASSERT_TRUE(w.OpenSceneFile(path));
    for (uint32_t i = 0; i < 32769; ++i) {
        w.WriteScene(frameNumbered(i * 2), frameNumbered(i * 2 + 2));
    }
    EXPECT_EQ(w.SceneCount(), 32768u);
    w.CloseSceneFile();
    const Bytes bytes = readFile(path);
    EXPECT_EQ(bytes.size(),
              SceneFileHeader(path).size() + FirstSceneBlock(path, 0).size() + 32767u * 35u);
    EXPECT_EQ(bytes[SceneCountPosition(path)], 0x00);
    EXPECT_EQ(bytes[SceneCountPosition(path) + 1], 0x80);
    EXPECT_EQ(test::read32(bytes, bytes.size() - 4), 32767u * 2 + 1) << "last block: scene 32768";
}

TEST(SceneFile, pathOf256BytesOrMore_isRefusedWithoutAFile) {
    const std::string dir = sandboxPath("");
    const std::string fits = dir + std::string(255 - dir.size() - 4, 'a') + ".scn";
    ASSERT_EQ(fits.size(), 255u);
    TSceneFileWriter w;
    ASSERT_TRUE(w.OpenSceneFile(fits));
    w.CloseSceneFile();
    EXPECT_EQ(readFile(fits)[24], 255);

    const std::string tooLong = dir + std::string(256 - dir.size() - 4, 'b') + ".scn";
    ASSERT_EQ(tooLong.size(), 256u);
    EXPECT_FALSE(w.OpenSceneFile(tooLong));
    EXPECT_FALSE(w.SceneFileOpen());
    w.WriteScene(frameNumbered(0), frameNumbered(5));
    w.CloseSceneFile();
    EXPECT_FALSE(std::filesystem::exists(tooLong));
}

TEST(SceneFile, unwritableFolderOrDevice_answersFalseAndLaterCallsDoNothing) {
    const std::string dir = sandboxPath("readonly");
    std::filesystem::create_directory(dir);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read |
                                          std::filesystem::perms::owner_exec);
    TSceneFileWriter w;
    if (::geteuid() != 0) {
        EXPECT_FALSE(w.OpenSceneFile(dir + "/x.scn"));
        EXPECT_FALSE(std::filesystem::exists(dir + "/x.scn"));
    }
    EXPECT_FALSE(w.OpenSceneFile(sandboxPath("missing/x.scn")));
    EXPECT_NO_THROW(w.WriteScene(frameNumbered(0), frameNumbered(5)));
    EXPECT_EQ(w.SceneCount(), 0u);
    w.CloseSceneFile();

    // A full disk: the header cannot be written, and the device is left where it is.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(w.OpenSceneFile("/dev/full"));
        EXPECT_TRUE(std::filesystem::exists("/dev/full"));
    }
}

// Runs `f` on its own thread; false when it did not return within ten seconds (it blocked).
template <class F> bool ReturnsPromptly(F f) {
    auto pending = std::async(std::launch::async, std::move(f));
    const bool ready = pending.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!ready) {
        // The blocked call keeps its thread; the test has failed anyway.
        new auto(std::move(pending));
    }
    return ready;
}

TEST(SceneFile, aFifoOrALinkWithTheScenesName_isRefusedWithoutBlockingOrWritingThrough) {
    const std::string fifo = sandboxPath("clip.scn");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    bool opened = true;
    ASSERT_TRUE(ReturnsPromptly([&] {
        TSceneFileWriter w;
        opened = w.OpenSceneFile(fifo);
    })) << "opening a FIFO as the scene file blocked";
    EXPECT_FALSE(opened);

    // A link planted under the scene file's name would have the index overwrite its target.
    const std::string target = sandboxPath("precious.txt");
    writeFile(target, Bytes{'k', 'e', 'e', 'p'});
    const std::string link = sandboxPath("linked.scn");
    std::filesystem::create_symlink(target, link);
    TSceneFileWriter w;
    EXPECT_FALSE(w.OpenSceneFile(link));
    EXPECT_EQ(readFile(target), (Bytes{'k', 'e', 'e', 'p'}));
}

// ---- AVI frame-rate patch ----

TEST(AviFrameRate, scaleTable_roundsHalfToEvenAndRefusesImpossibleRates) {
    EXPECT_EQ(AviScaleForFrameRate(18), 55556u);
    EXPECT_EQ(AviScaleForFrameRate(25), 40000u);
    EXPECT_EQ(AviScaleForFrameRate(30), 33333u);
    EXPECT_EQ(AviScaleForFrameRate(0.5), 2000000u);
    EXPECT_EQ(AviScaleForFrameRate(400000), 2u) << "2.5 rounds to the even 2";
    EXPECT_EQ(AviScaleForFrameRate(80000), 12u) << "12.5 rounds to the even 12";
    for (double bad : std::initializer_list<double>{0.0, -25.0, NAN, INFINITY, 1e-7, 1e7}) {
        EXPECT_FALSE(AviScaleForFrameRate(bad)) << bad;
    }
}

class AviFileTest : public ::testing::Test {
protected:
    std::string path = sandboxPath("clip.avi");
    // The offset of dwScale of the video stream in typicalAvi().
    static std::size_t videoScaleOffset(const Bytes& avi) {
        for (std::size_t i = 0; i + 8 <= avi.size(); ++i) {
            if (std::equal(avi.begin() + i, avi.begin() + i + 4, "strh") &&
                std::equal(avi.begin() + i + 8, avi.begin() + i + 12, "vids")) {
                return i + 8 + 20;
            }
        }
        return 0;
    }
};

TEST_F(AviFileTest, videoStreamHeader_alone_getsTheNewScaleAndRate) {
    const Bytes avi = test::typicalAvi();
    writeFile(path, avi);
    ASSERT_TRUE(PatchAviFrameRate(path, 18));
    Bytes expected = avi;
    const std::size_t at = videoScaleOffset(avi);
    Bytes fields;
    test::append32(fields, 55556);
    test::append32(fields, 1000000);
    std::copy(fields.begin(), fields.end(), expected.begin() + at);
    EXPECT_EQ(readFile(path), expected) << "the audio header, avih and idx1 are untouched";
}

TEST_F(AviFileTest, firstChunkNotRiffOrBadRate_leavesTheFileUntouched) {
    Bytes avi = test::typicalAvi();
    avi[0] = 'R';
    avi[3] = 'X';
    writeFile(path, avi);
    EXPECT_FALSE(PatchAviFrameRate(path, 25));
    EXPECT_EQ(readFile(path), avi);

    writeFile(path, test::typicalAvi());
    EXPECT_FALSE(PatchAviFrameRate(path, 0));
    EXPECT_FALSE(PatchAviFrameRate(path, NAN));
    EXPECT_EQ(readFile(path), test::typicalAvi());
    EXPECT_FALSE(PatchAviFrameRate(sandboxPath("absent.avi"), 25));
    EXPECT_FALSE(std::filesystem::exists(sandboxPath("absent.avi")));
}

TEST_F(AviFileTest, aFifoOrALinkWithTheCapturesName_isLeftAlone) {
    const std::string fifo = sandboxPath("images.avi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    bool patched = true;
    ASSERT_TRUE(ReturnsPromptly([&] { patched = PatchAviFrameRate(fifo, 25); }))
        << "patching a FIFO blocked";
    EXPECT_FALSE(patched);

    writeFile(path, test::typicalAvi());
    const std::string link = sandboxPath("link.avi");
    std::filesystem::create_symlink(path, link);
    EXPECT_FALSE(PatchAviFrameRate(link, 18)) << "the patch followed a link";
    EXPECT_EQ(readFile(path), test::typicalAvi());
}

TEST_F(AviFileTest, severalRiffChunksAndOddSizes_areWalkedThrough) {
    using namespace test;
    // An odd-sized chunk before the stream list: its pad byte must be skipped.
    const Bytes first = list("RIFF", "AVI ",
                             {chunk("JUNK", Bytes(5, 1)),
                              list("LIST", "hdrl", {list("LIST", "strl", {strh("vids", 1, 25)})}),
                              list("LIST", "movi", {chunk("00dc", Bytes(9, 2))})});
    const Bytes extension =
        list("RIFF", "AVIX", {list("LIST", "movi", {chunk("00dc", Bytes(9, 2))})});
    // A non-standard second header in the extension shows that every RIFF chunk is scanned.
    const Bytes second = list("RIFF", "AVIX", {list("LIST", "strl", {strh("iavs", 1, 25)})});
    const Bytes file = concat({first, extension, second});
    writeFile(path, file);
    const auto offset = ScanAviChunks(path);
    ASSERT_TRUE(offset);
    EXPECT_EQ(*offset, first.size() + extension.size() + 12 + 8 + 4 + 8 + 20);

    writeFile(path, concat({first, extension}));
    EXPECT_EQ(ScanAviChunks(path), std::optional<uint64_t>(12 + 14 + 12 + 12 + 8 + 20));
}

TEST_F(AviFileTest, shortStreamHeaderShortListAndZeroSizeChunk_areHandledSafely) {
    using namespace test;
    writeFile(path, list("RIFF", "AVI ", {list("LIST", "strl", {strh("vids", 1, 25, 24)})}));
    EXPECT_FALSE(ScanAviChunks(path)) << "a 24-byte header has no room for the rate";

    // A zero-size chunk is stepped over; the header after it is found.
    writeFile(path, list("RIFF", "AVI ",
                         {chunk("JUNK", {}), list("LIST", "strl", {strh("vids", 1, 25)})}));
    EXPECT_TRUE(ScanAviChunks(path));

    // A list too short for its type ends the scan.
    Bytes shortList = {'L', 'I', 'S', 'T', 2, 0, 0, 0, 's', 't'};
    writeFile(path, list("RIFF", "AVI ", {shortList, list("LIST", "strl", {strh("vids", 1, 25)})}));
    EXPECT_FALSE(ScanAviChunks(path));
}

TEST_F(AviFileTest, fileTruncatedAnywhere_isNeverWrittenPastItsEndNorOutsideTheHeader) {
    const Bytes avi = test::typicalAvi();
    const std::size_t at = videoScaleOffset(avi);
    for (std::size_t len = 0; len < avi.size(); ++len) {
        const Bytes cut(avi.begin(), avi.begin() + len);
        writeFile(path, cut);
        const bool patched = PatchAviFrameRate(path, 30);
        const Bytes after = readFile(path);
        ASSERT_EQ(after.size(), len);
        EXPECT_EQ(patched, len >= at + 8) << len;
        for (std::size_t i = 0; i < len; ++i) {
            if (i < at || i >= at + 8) {
                ASSERT_EQ(after[i], cut[i]) << "byte " << i << " of a file cut at " << len;
            }
        }
    }
}

// An in-memory file with holes: offsets beyond 4 GB without writing gigabytes.
struct SparseFile {
    std::map<uint64_t, Bytes> pieces;
    uint64_t size = 0;
    RiffScanner::ReadAt reader() const {
        return [this](uint64_t off, void* out, std::size_t n) {
            if (off + n > size) {
                return false;
            }
            auto* p = static_cast<uint8_t*>(out);
            std::fill_n(p, n, 0);
            for (const auto& [start, b] : pieces) {
                for (std::size_t i = 0; i < b.size(); ++i) {
                    if (start + i >= off && start + i < off + n) {
                        p[start + i - off] = b[i];
                    }
                }
            }
            return true;
        };
    }
};

TEST(RiffScanner, offsetsBeyondFourGigabytes_areExact) {
    using namespace test;
    SparseFile f;
    // Two RIFF chunks of nearly 4 GB of media data each; the third starts near 8 GB.
    const uint32_t bigSize = 0xFFFFFFF0u;
    uint64_t at = 0;
    for (const char* type : {"AVI ", "AVIX"}) {
        Bytes head = {'R', 'I', 'F', 'F'};
        append32(head, bigSize);
        head.insert(head.end(), type, type + 4);
        head.insert(head.end(), {'L', 'I', 'S', 'T'});
        append32(head, bigSize - 12);
        head.insert(head.end(), {'m', 'o', 'v', 'i'});
        f.pieces[at] = head;
        at += 8ull + bigSize;
    }
    const uint64_t second = at;
    f.pieces[second] = list("RIFF", "AVIX", {list("LIST", "strl", {strh("vids", 1, 25)})});
    f.size = second + f.pieces[second].size();
    const auto offset = ScanAviChunks(RiffScanner(f.reader(), f.size));
    ASSERT_TRUE(offset);
    EXPECT_EQ(*offset, second + 12 + 12 + 8 + 20);
    EXPECT_GT(*offset, 0x1FFFFFFF0ull);
}

TEST(RiffScanner, randomMutations_neverReadOutsideTheFileNorPointPastIt) {
    const Bytes original =
        test::concat({test::typicalAvi(),
                      test::list("RIFF", "AVIX", {test::chunk("JUNK", test::Bytes(11, 9))})});
    std::mt19937 rng(20240604);
    int found = 0;
    for (int run = 0; run < 3000; ++run) {
        Bytes b = original;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            b[rng() % b.size()] = static_cast<uint8_t>(rng());
        }
        if (rng() % 4 == 0) {
            b.resize(rng() % b.size());
        }
        bool outOfBounds = false;
        const RiffScanner scanner(
            [&](uint64_t off, void* out, std::size_t n) {
                if (off > b.size() || n > b.size() - off) {
                    outOfBounds = true;
                    return false;
                }
                std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(off), n,
                            static_cast<uint8_t*>(out));
                return true;
            },
            b.size());
        const auto offset = ScanAviChunks(scanner);
        ASSERT_FALSE(outOfBounds) << "run " << run;
        if (offset) {
            ASSERT_LE(*offset + 8, b.size()) << "run " << run;
            ++found;
        }
    }
    EXPECT_GT(found, 0) << "the mutations should leave many files patchable";
}

} // namespace
} // namespace vidorel

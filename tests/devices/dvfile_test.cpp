// Tape files for the virtual decks: what is not a regular DV file is refused without ever
// blocking, and a tape holds a file descriptor only while a deck plays it.

#include "devices/DvDeckSrc.h"
#include "devices/DvFile.h"
#include "devices/TapeDeck.h"
#include "devices/dvtape/DvTape.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

namespace vidorel::devices {
namespace {

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) {
            ++n;
        }
        closedir(d);
    }
    return n;
}

std::string WriteTape(const std::string& name, uint32_t frames) {
    dvtape::TapeDescription d;
    d.system = dvtape::DvSystem::Ntsc525;
    d.recordings = {{dvtape::CivilDateTime{2000, 2, 29, 12, 0, 0}, frames, false, true}};
    const std::string path = test::sandboxRoot() + "/" + name;
    EXPECT_TRUE(dvtape::DvTape(d).writeRawDv(path));
    return path;
}

TEST(DvFileTapeFile, aFifoOrAFolderNamedLikeATape_isRefusedAtOnce_withTheCause) {
    const std::string fifo = test::sandboxRoot() + "/blocking.dv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO without a writer for reading would wait for ever: the check must not.
    auto pending = std::async(std::launch::async, [&] {
        std::string why;
        const bool refused = TDvFileTape::Open(fifo, &why) == nullptr;
        return std::make_pair(refused, why);
    });
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "opening a FIFO blocked";
    const auto [refused, why] = pending.get();
    EXPECT_TRUE(refused);
    EXPECT_EQ(why, "not a regular file");

    const std::string folder = test::sandboxRoot() + "/folder.dv";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    std::string folderWhy;
    EXPECT_EQ(TDvFileTape::Open(folder, &folderWhy), nullptr);
    EXPECT_EQ(folderWhy, "not a regular file");

    std::string missingWhy;
    int error = 0;
    EXPECT_EQ(TDvFileTape::Open(test::sandboxRoot() + "/missing.dv", &missingWhy, &error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(missingWhy, "cannot open: No such file or directory");
    EXPECT_FALSE(IsResourceShortage(ENOENT));
    EXPECT_TRUE(IsResourceShortage(EMFILE));
}

TEST(DvFileTapeFile, holdsADescriptorOnlyWhileLoaded_andReadsOnlyThen) {
    const std::string path = WriteTape("three.dv", 3);
    const int before = OpenDescriptors();
    auto tape = TDvFileTape::Open(path, nullptr);
    ASSERT_TRUE(tape);
    EXPECT_EQ(tape->FrameCount(), 3);
    EXPECT_EQ(OpenDescriptors(), before) << "an offered tape keeps no descriptor";
    std::vector<uint8_t> frame(tape->FrameSize());
    EXPECT_FALSE(tape->ReadFrame(0, frame.data())) << "not loaded";

    ASSERT_TRUE(tape->Load(nullptr));
    ASSERT_TRUE(tape->Load(nullptr)); // two decks' elements, one descriptor
    EXPECT_EQ(OpenDescriptors(), before + 1);
    EXPECT_TRUE(tape->ReadFrame(2, frame.data()));
    EXPECT_FALSE(tape->ReadFrame(3, frame.data())) << "past the end";
    tape->Unload();
    EXPECT_TRUE(tape->Loaded()) << "one load is left";
    tape->Unload();
    EXPECT_FALSE(tape->Loaded());
    EXPECT_EQ(OpenDescriptors(), before);
    tape->Unload(); // an extra unload changes nothing
    EXPECT_EQ(OpenDescriptors(), before);

    // A file replaced by a FIFO between the check and the play is refused, not waited on.
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::string why;
    EXPECT_FALSE(tape->Load(&why));
    EXPECT_EQ(why, "not a regular file any more");
}

TEST(DvFileTapeFile, aDeckElementLoadsItsTapeWhilePlaying_only) {
    gst_init(nullptr, nullptr);
    RegisterDvDeckSrc();
    const std::string path = WriteTape("played.dv", 2);
    auto tape = TDvFileTape::Open(path, nullptr);
    ASSERT_TRUE(tape);
    auto deck = std::make_shared<TTapeDeck>(tape);
    GstElement* src = CreateDvDeckSrc(deck);
    ASSERT_NE(src, nullptr);
    gst_object_ref_sink(src);
    EXPECT_FALSE(tape->Loaded());
    ASSERT_NE(gst_element_set_state(src, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    EXPECT_TRUE(tape->Loaded());
    gst_element_set_state(src, GST_STATE_NULL);
    EXPECT_FALSE(tape->Loaded());
    gst_object_unref(src);
}

} // namespace
} // namespace vidorel::devices

#include "platform/RegistryStore.h"
#include "settings/Preferences.h"

#include <gtest/gtest.h>

#include "devices/dvtape/DvTape.h"
#include "tests/support/TestEnv.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

using namespace vidorel;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs the tool through the shell; `prefix` runs before it there (a `ulimit`), and a tool that
// hangs is ended after a while.
ToolRun RunTool(const std::string& args, const std::string& prefix = {},
                const std::string& errors = "/dev/null") {
    ToolRun r;
    const std::string cmd = prefix + " timeout -s KILL 60 " + std::string(VIDOREL_CAPTURE_EXE) +
                            " " + args + " 2>" + errors;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return r;
    }
    char buf[512];
    while (std::fgets(buf, sizeof buf, p) != nullptr) {
        r.out += buf;
    }
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

} // namespace

TEST(CaptureTool, list_printsEveryStream_minusTheSourcesExcludedInTheStore) {
    // Real devices of the machine, if any, come first; the virtual ones follow in this order.
    const ToolRun all = RunTool("--list");
    ASSERT_EQ(all.status, 0);
    const size_t pattern = all.out.find("video: Vidorel Test Pattern\n");
    const size_t dvVideo = all.out.find("video: DV Source - Video\n");
    const size_t dvAudio = all.out.find("audio: DV Source - Audio\n");
    const size_t tone = all.out.find("audio: Vidorel Test Tone\n");
    ASSERT_NE(tone, std::string::npos) << all.out;
    EXPECT_LT(pattern, dvVideo);
    EXPECT_LT(dvVideo, dvAudio);
    EXPECT_LT(dvAudio, tone);

    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), true));
    reg.WriteString("Sources Exclues", "Vidorel Test Tone\r\nVidorel DV Test Deck\r\n");
    ASSERT_TRUE(reg.Commit());
    const ToolRun some = RunTool("--list");
    ASSERT_EQ(some.status, 0);
    EXPECT_NE(some.out.find("video: Vidorel Test Pattern\n"), std::string::npos);
    EXPECT_EQ(some.out.find("Vidorel Test Tone"), std::string::npos);
    EXPECT_EQ(some.out.find("DV Source"), std::string::npos) << some.out;
}

TEST(CaptureTool, unknownArguments_areRefusedWithAUsageLine) {
    EXPECT_NE(RunTool("--bogus").status, 0);
    EXPECT_NE(RunTool("").status, 0);
}

TEST(CaptureTool, aFifoNamedLikeATape_neitherHangsTheListNorIsOffered) {
    const std::string tapes = std::string(std::getenv("XDG_DATA_HOME")) + "/vidorel/tapes";
    std::filesystem::create_directories(tapes);
    ASSERT_EQ(mkfifo((tapes + "/waiting.dv").c_str(), 0600), 0);
    const ToolRun r = RunTool("--list");
    ASSERT_EQ(r.status, 0) << "the list hung or failed:\n" << r.out;
    EXPECT_NE(r.out.find("video: Vidorel Test Pattern\n"), std::string::npos);
    EXPECT_EQ(r.out.find("waiting"), std::string::npos);
    std::filesystem::remove(tapes + "/waiting.dv");
}

TEST(CaptureTool, moreTapesThanTheProcessMayOpenFiles_areAllOffered) {
    // 150 tapes under a limit of 100 open files: an offered tape must not hold one.
    const std::string tapes = std::string(std::getenv("XDG_DATA_HOME")) + "/vidorel/tapes";
    std::filesystem::create_directories(tapes);
    dvtape::TapeDescription d;
    d.system = dvtape::DvSystem::Ntsc525;
    d.recordings = {{dvtape::CivilDateTime{2000, 2, 29, 0, 0, 0}, 1, false, true}};
    const std::string first = tapes + "/t000.dv";
    ASSERT_TRUE(dvtape::DvTape(d).writeRawDv(first));
    for (int i = 1; i < 150; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/t%03d.dv", i);
        ASSERT_EQ(link(first.c_str(), (tapes + name).c_str()), 0);
    }
    const ToolRun r = RunTool("--list", "ulimit -n 100;");
    EXPECT_EQ(r.status, 0) << r.out;
    int decks = 0;
    for (size_t at = r.out.find("video: DV Source #"); at != std::string::npos;
         at = r.out.find("video: DV Source #", at + 1)) {
        ++decks;
    }
    // The test deck is "DV Source"; the 150 tapes are "DV Source #2" to "#151".
    EXPECT_EQ(decks, 150) << r.out.substr(0, 400);
    EXPECT_NE(r.out.find("video: DV Source #151 - Video\n"), std::string::npos);
    std::filesystem::remove_all(tapes);
}

TEST(CaptureTool, aPreferencesFileThatCannotBeRead_isSaidOnce_andTheListStillComes) {
    const std::filesystem::path path = RegistryFile::DefaultPath();
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const std::string errors = test::sandboxRoot() + "/list-errors.txt";
    const ToolRun r = RunTool("--list", {}, errors);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("video: Vidorel Test Pattern\n"), std::string::npos);
    std::ifstream in(errors);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(said.rfind("vidorel-capture: The preferences file " + path.string(), 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_TRUE(std::filesystem::is_fifo(path));
    std::filesystem::remove(path);
}

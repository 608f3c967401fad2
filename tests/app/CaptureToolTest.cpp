#include "platform/RegistryStore.h"
#include "settings/Preferences.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <sys/wait.h>

using namespace vidorel;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun RunTool(const std::string& args) {
    ToolRun r;
    const std::string cmd = std::string(VIDOREL_CAPTURE_EXE) + " " + args + " 2>/dev/null";
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

#include "devices/dvtape/DvTape.h"
#include "files/ecrire_scnUnit.h"
#include "filters/Registration.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sys/wait.h>

namespace vidorel {
namespace {

struct Result {
    int status = -1;
    std::string out;
};

Result dvinfo(const std::string& args) {
    const std::string cmd = std::string(VIDOREL_DVINFO_PATH) + " " + args + " 2>&1";
    Result r;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) {
        return r;
    }
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) {
        r.out.append(buf, n);
    }
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

std::string sandbox(const std::string& name) {
    return test::sandboxRoot() + "/" + name;
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

class DvInfo : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_F(DvInfo, rawDvTape_printsItsScenes) {
    const std::string dv = sandbox("tape.dv");
    ASSERT_TRUE(dvtape::DvTape(threeScenes()).writeRawDv(dv));
    const Result r = dvinfo("'" + dv + "'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, kThreeScenes);
}

TEST_F(DvInfo, typeTwoAviMadeByAvimux_printsTheSameScenes) {
    const std::string dv = sandbox("tape2.dv");
    const std::string avi = sandbox("tape2.avi");
    ASSERT_TRUE(dvtape::DvTape(threeScenes()).writeRawDv(dv));
    // Pads named explicitly: avimux would otherwise offer its audio pad to the video.
    const test::GstRunResult mux = test::runPipeline(
        "filesrc location=" + dv + " ! dvdemux name=d avimux name=m ! filesink location=" + avi +
        " d.video ! queue ! m.video_0 d.audio ! queue ! m.audio_0");
    ASSERT_TRUE(mux.reachedEos) << mux.error;
    const Result r = dvinfo(avi);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, kThreeScenes);
}

TEST_F(DvInfo, typeOneAviOfTheOwnWriter_printsTheSameScenes) {
    RegisterVidorelElements();
    const std::string dv = sandbox("tape1.dv");
    const std::string avi = sandbox("tape1.avi");
    ASSERT_TRUE(dvtape::DvTape(threeScenes()).writeRawDv(dv));
    const test::GstRunResult rec =
        test::runPipeline("filesrc location=" + dv +
                          " blocksize=144000 ! video/x-dv,systemstream=true ! "
                          "zv_dvtype1sink location=" +
                          avi);
    ASSERT_TRUE(rec.reachedEos) << rec.error;
    const Result r = dvinfo(avi);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, kThreeScenes);
}

TEST_F(DvInfo, framesAndScn_listEveryFrameAndWriteTheSceneFile) {
    const std::string dv = sandbox("tape3.dv");
    const std::string scn = sandbox("tape3.scn");
    ASSERT_TRUE(dvtape::DvTape(threeScenes()).writeRawDv(dv));
    const Result r = dvinfo("--frames --scn " + scn + " " + dv);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("frame 0: date 2005-07-14 10:00:00, timecode 0:00:00:00, 16:9 no, "
                         "system 625/50\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("frame 49: date none, timecode 0:00:01:24, 16:9 no, system 625/50\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("frame 74: date 2005-07-14 12:30:00, timecode 0:00:02:24, 16:9 yes, "
                         "system 625/50\nscene 1:"),
              std::string::npos);

    std::vector<uint8_t> expected = SceneFileHeader(scn);
    for (const auto& block :
         {FirstSceneBlock(scn, 31), FurtherSceneBlock(31, 21), FurtherSceneBlock(51, 26)}) {
        expected.insert(expected.end(), block.begin(), block.end());
    }
    expected[SceneCountPosition(scn)] = 3;
    std::ifstream f(scn, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)),
                                     std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, expected);
}

TEST_F(DvInfo, ntscTape_isReadWithItsFrameSize) {
    dvtape::TapeDescription t;
    t.system = dvtape::DvSystem::Ntsc525;
    t.recordings = {{dvtape::CivilDateTime{1999, 12, 31, 23, 59, 59}, 45, false, true}};
    const std::string dv = sandbox("ntsc.dv");
    ASSERT_TRUE(dvtape::DvTape(t).writeRawDv(dv));
    const Result r = dvinfo(dv);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "scene 1: first 0, frames 45, date 1999-12-31 23:59:59, timecode 0:00:00:00, "
                     "16:9 no\nframes: 45\n");
}

TEST_F(DvInfo, unreadableInput_failsWithAMessage) {
    const std::string text = sandbox("notes.txt");
    std::ofstream(text) << "these are not video frames at all";
    Result r = dvinfo(text);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("cannot read"), std::string::npos) << r.out;

    r = dvinfo(sandbox("absent.dv"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("cannot read"), std::string::npos) << r.out;

    r = dvinfo("");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("usage:"), std::string::npos);

    const std::string dv = sandbox("ok.dv");
    ASSERT_TRUE(dvtape::DvTape(threeScenes()).writeRawDv(dv));
    r = dvinfo("--scn " + sandbox("no/such/dir/x.scn") + " " + dv);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("scene file"), std::string::npos);
}

} // namespace
} // namespace vidorel

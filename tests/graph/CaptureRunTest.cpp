// Capture runs on the playing graph of the virtual devices: a plan that cannot be built leaves
// nothing behind and the preview running; a WAV file that reaches its size limit ends the run
// with a complete file; an image-by-image run keeps one picture per request; the preview goes
// on through a start and a stop.

#include "graph/CaptureRun.h"
#include "graph/RunGraph.h"
#include "graph/SourceBranches.h"
#include "settings/Preferences.h"

#include <gtest/gtest.h>

#include "tests/support/EventLoop.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace vidorel {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct CountingReceiver : IFrameReceiver {
    TPreviewSink* sink = nullptr;
    std::atomic<int> frames{0};
    void FrameAvailable() override {
        if (sink->TakeFrame().IsValid()) {
            ++frames;
        }
    }
};

struct Events : IGraphEvents {
    TCaptureRun* run = nullptr;
    void GraphEvent(const TGraphEvent& e) override {
        if (run != nullptr) {
            run->GraphEvent(e);
        }
    }
};

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

uint32_t U32(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

class CaptureRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        test::EnsureCoreApplication();
    }

    void SetUp() override {
        dir = fs::temp_directory_path().string() + "/capture-run-" + std::to_string(::getpid());
        fs::create_directories(dir);
        ASSERT_TRUE(monitor.Start(nullptr));
        ASSERT_TRUE(RefreshSourceLists(lists, monitor));
        receiver.sink = &dm.vwEcran;
        dm.vwEcran.SetReceiver(&receiver);
        dm.fg().SetEventReceiver(&events);
        for (const auto& s : lists.VideoStreams) {
            if (s->DisplayName == "Vidorel Test Pattern") {
                ASSERT_TRUE(OpenVideoBranch(dm, s));
            }
        }
        for (const auto& s : lists.AudioStreams) {
            if (s->DisplayName == "Vidorel Test Tone") {
                ASSERT_TRUE(OpenAudioBranch(dm, s));
            }
        }
        ASSERT_TRUE(RunGraph(dm));
        ASSERT_TRUE(test::SpinUntil([&] {
            RefreshStreamFacts(dm);
            return receiver.frames > 2 && dm.Facts.AudioRate > 0;
        }));
    }

    void TearDown() override {
        events.run = nullptr;
        dm.fg().SetEventReceiver(nullptr);
        dm.vwEcran.SetReceiver(nullptr);
        dm.DataModuleDestroy();
        fs::remove_all(dir);
    }

    bool PreviewRuns() {
        const int before = receiver.frames;
        return test::SpinUntil([&] { return receiver.frames >= before + 3; }, 4000ms);
    }

    bool CaptureElementsInGraph() {
        for (int i = 1; i < 10; ++i) {
            if (dm.fg().FindFilter("Capture" + std::to_string(i))) {
                return true;
            }
        }
        return false;
    }

    TCaptureOutcome StopAndWait(TCaptureRun& run) {
        TCaptureOutcome outcome;
        bool done = false;
        run.Stop([&](const TCaptureOutcome& o) {
            outcome = o;
            done = true;
        });
        EXPECT_TRUE(test::SpinUntil([&] { return done; }));
        return outcome;
    }

    std::string dir;
    devices::TDeviceMonitor monitor;
    Tdm dm{TEngineOptions{true, false}};
    TSourceLists lists;
    CountingReceiver receiver;
    Events events;
};

TEST_F(CaptureRunTest, aMissingEncoder_startsNothing_leavesNoFile_andThePreviewRuns) {
    TMoniker missing;
    missing.factory = "no_such_mpeg4_encoder";
    dm.divx.SetMoniker(missing);
    TCaptureRun run(dm, CaptureFormat::Divx, TCaptureSettings{});
    std::string why;
    const std::string file = dir + "/divx.avi";
    EXPECT_FALSE(run.Start(file, &why));
    EXPECT_NE(why.find("no_such_mpeg4_encoder"), std::string::npos) << why;
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(CaptureElementsInGraph());
    EXPECT_TRUE(PreviewRuns());
    // The same run can be tried again once the encoder is there.
    dm.divx.SetMoniker(TMoniker{"avenc_mpeg4", {}, {}, {}});
    ASSERT_TRUE(run.Start(file, &why)) << why;
    EXPECT_TRUE(test::SpinUntil([&] { return run.Frames() >= 5; }));
    const TCaptureOutcome outcome = StopAndWait(run);
    ASSERT_EQ(outcome.Pieces.size(), 1u);
    EXPECT_TRUE(outcome.Pieces[0].Finished);
    EXPECT_FALSE(outcome.Failed);
    EXPECT_FALSE(CaptureElementsInGraph());
    EXPECT_TRUE(PreviewRuns());
}

TEST_F(CaptureRunTest, formatsThatNeedWhatIsNotThere_areRefused) {
    // The test pattern's device has no native DV stream of its own to record as type 1.
    TCaptureRun type1(dm, CaptureFormat::DVType1Native, TCaptureSettings{});
    std::string why;
    EXPECT_FALSE(type1.Start(dir + "/t1.avi", &why));
    EXPECT_FALSE(why.empty());
    // Formats that record nothing.
    for (TCaptureFormat f : {CaptureFormat::None, CaptureFormat::DefaultOld, CaptureFormat::Default,
                             TCaptureFormat(13)}) {
        TCaptureRun none(dm, f, TCaptureSettings{});
        EXPECT_FALSE(none.Start(dir + "/none.avi", &why)) << int(f);
    }
    // Sound formats without a sound stream.
    CloseAudioBranch(dm, dm.CurrentAudio, true);
    ASSERT_TRUE(RunGraph(dm));
    TCaptureRun wav(dm, CaptureFormat::Wav, TCaptureSettings{});
    EXPECT_FALSE(wav.Start(dir + "/s.wav", &why));
    EXPECT_FALSE(fs::exists(dir + "/s.wav"));
    EXPECT_FALSE(CaptureElementsInGraph());
    EXPECT_TRUE(PreviewRuns());
}

TEST_F(CaptureRunTest, aWavFileAtItsSizeLimit_endsTheRun_withAFileWhoseHeaderIsComplete) {
    TCaptureSettings settings;
    settings.FrequenceDVNative = false;
    settings.FrequenceDV = 2;
    TCaptureRun run(dm, CaptureFormat::Wav, settings);
    std::string ended;
    run.SetOnEnded([&](const std::string& reason) { ended = reason; });
    events.run = &run;
    const std::string file = dir + "/limit.wav";
    std::string why;
    ASSERT_TRUE(run.Start(file, &why)) << why;
    // Two seconds of sound at most: the limit stands for the format's 4 GB.
    auto writer = GstElementRef::adopt(gst_bin_get_by_name(dm.fg().Bin(), "Capture1_Wave Dest"));
    ASSERT_TRUE(writer);
    const guint64 limit = 46 + 2 * 44100 * 4;
    g_object_set(writer.get(), "max-bytes", limit, nullptr);
    ASSERT_TRUE(test::SpinUntil([&] { return !ended.empty(); }, 8000ms));
    EXPECT_NE(ended.find("size limit"), std::string::npos) << ended;
    const TCaptureOutcome outcome = StopAndWait(run);
    ASSERT_EQ(outcome.Pieces.size(), 1u);
    EXPECT_TRUE(outcome.Pieces[0].Finished);
    const std::string bytes = Slurp(file);
    ASSERT_GT(bytes.size(), 46u);
    EXPECT_LE(bytes.size(), limit);
    EXPECT_EQ(U32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(U32(bytes, 42), bytes.size() - 46);
    EXPECT_EQ(U32(bytes, 24), 44100u); // the setting's rate: the tone's 48000 is converted
    EXPECT_TRUE(PreviewRuns());
}

TEST_F(CaptureRunTest, imageByImage_keepsOnePicturePerRequest_andPatchesTheRate) {
    TCaptureSettings settings;
    settings.Framerate = 5;
    TCaptureRun run(dm, CaptureFormat::ImageByImage, settings);
    events.run = &run;
    const std::string file = dir + "/images.avi";
    std::string why;
    ASSERT_TRUE(run.Start(file, &why)) << why;
    test::Spin(300ms);
    EXPECT_EQ(run.Frames(), 0u);
    for (uint64_t n = 1; n <= 4; ++n) {
        run.RequestImage();
        ASSERT_TRUE(test::SpinUntil([&] { return run.Frames() >= n; }));
    }
    test::Spin(300ms);
    EXPECT_EQ(run.Frames(), 4u);
    const TCaptureOutcome outcome = StopAndWait(run);
    ASSERT_EQ(outcome.Pieces.size(), 1u);
    EXPECT_EQ(outcome.Pieces[0].Frames, 4u);
    const std::string bytes = Slurp(file);
    const size_t strh = bytes.find("strh");
    ASSERT_NE(strh, std::string::npos);
    ASSERT_EQ(bytes.substr(strh + 8, 4), "vids");
    // dwScale / dwRate = 200000 / 1000000: five pictures a second.
    EXPECT_EQ(U32(bytes, strh + 8 + 20), 200000u);
    EXPECT_EQ(U32(bytes, strh + 8 + 24), 1000000u);
}

} // namespace
} // namespace vidorel

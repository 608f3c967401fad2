// The rules of the source branches that need no pipeline: stream facts, stream kind, crossbar
// routing of "Video Input Select" and the choice of camcorder windows.

#include "graph/CrossBar.h"
#include "graph/SourceBranches.h"
#include "sources/CamcorderBinding.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <vector>

namespace vidorel {
namespace {

// A capture card's inputs as its driver would list them.
struct FakeInputs : IVideoInputs {
    std::vector<TVideoInput> inputs;
    std::vector<int> selected; // every Select, in order
    bool refuse = false;
    std::vector<TVideoInput> Enumerate() override { return inputs; }
    bool Select(int index) override {
        selected.push_back(index);
        return !refuse;
    }
};

std::shared_ptr<FakeInputs> CaptureCard() {
    auto card = std::make_shared<FakeInputs>();
    card->inputs = {{0, "Television", true}, {1, "Composite1", false}, {2, "S-Video", false}};
    return card;
}

TEST(StreamFactsTest, zeroFrameDuration_becomes25FramesPerSecond) {
    TPublishedFacts published;
    TStreamFacts facts;
    facts.mediaType = "video/x-raw";
    facts.width = 640;
    facts.height = 480;
    facts.frameDuration = 0;
    PublishVideoFacts(published, facts);
    EXPECT_EQ(published.FrameWidth, 640);
    EXPECT_EQ(published.FrameHeight, 480);
    EXPECT_EQ(published.FrameDuration, 400000u);
    EXPECT_DOUBLE_EQ(published.FrameRate, 25.0);

    facts.frameDuration = 999;
    PublishVideoFacts(published, facts);
    EXPECT_EQ(published.FrameDuration, 400000u);

    facts.frameDuration = 333667;
    PublishVideoFacts(published, facts);
    EXPECT_EQ(published.FrameDuration, 333667u);
    EXPECT_NEAR(published.FrameRate, 29.97, 0.001);
}

TEST(StreamFactsTest, linkWithoutVideo_keepsThePreviousPictureFacts) {
    TPublishedFacts published;
    TStreamFacts facts;
    facts.mediaType = "video/x-raw";
    facts.width = 720;
    facts.height = 576;
    facts.frameDuration = 400000;
    PublishVideoFacts(published, facts);
    PublishVideoFacts(published, TStreamFacts{});
    EXPECT_EQ(published.FrameWidth, 720);
    EXPECT_EQ(published.FrameHeight, 576);
    EXPECT_EQ(published.FrameDuration, 400000u);

    TStreamFacts audio;
    audio.mediaType = "audio/x-raw";
    audio.audioRate = 32000;
    audio.audioBits = 16;
    audio.audioChannels = 4;
    PublishAudioFacts(published, audio);
    PublishAudioFacts(published, facts); // video facts say nothing about audio
    EXPECT_EQ(published.AudioRate, 32000);
    EXPECT_EQ(published.AudioBits, 16);
    EXPECT_EQ(published.AudioChannels, 4);
}

TEST(StreamKindTest, nativeMpegStreams_areTold_andEverythingElseIsPlainVideo) {
    gst_init(nullptr, nullptr);
    auto caps = [](const char* s) { return GstCapsRef::adopt(gst_caps_from_string(s)); };
    EXPECT_EQ(StreamKindFromNativeCaps(caps("video/mpeg, mpegversion=(int)2").get()), 4);
    EXPECT_EQ(StreamKindFromNativeCaps(
                  caps("video/mpeg, mpegversion=(int)1, systemstream=(boolean)false").get()),
              3);
    EXPECT_EQ(StreamKindFromNativeCaps(caps("video/mpeg, mpegversion=(int)4").get()), 2);
    EXPECT_EQ(StreamKindFromNativeCaps(caps("image/jpeg, width=(int)640").get()), 2);
    EXPECT_EQ(StreamKindFromNativeCaps(nullptr), 2);
}

TEST(CrossbarTest, captureCard_givesOneRoutePerInput_withConnectorTypes) {
    TCrossbar crossbar(CaptureCard());
    ASSERT_EQ(crossbar.InputCount(), 3);
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        std::string name;
        ASSERT_EQ(crossbar.InputName(i, name), S_OK);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Video Tuner", "Video Composite", "Video SVideo"}));
    int type = 0;
    EXPECT_EQ(crossbar.InputType(3, type), E_FAIL);
    EXPECT_EQ(crossbar.InputType(-1, type), E_FAIL);
    std::string driverName;
    ASSERT_EQ(crossbar.DriverName(2, driverName), S_OK);
    EXPECT_EQ(driverName, "S-Video");
    EXPECT_EQ(PinTypeName(4097), "Audio Line");
    EXPECT_EQ(PinTypeName(15), "Unknown");
}

TEST(CrossbarTest, videoInputSelect_outsideTheInputs_leavesTheRoutingUnchanged) {
    auto card = CaptureCard();
    TCrossbar crossbar(card);
    EXPECT_FALSE(RouteVideoInputSelect(&crossbar, -1));
    EXPECT_FALSE(RouteVideoInputSelect(&crossbar, 3));
    EXPECT_TRUE(card->selected.empty());
    EXPECT_EQ(crossbar.CurrentInput(), -1);

    EXPECT_TRUE(RouteVideoInputSelect(&crossbar, 2));
    EXPECT_EQ(card->selected, std::vector<int>{2});
    EXPECT_EQ(crossbar.CurrentInput(), 2);
    EXPECT_FALSE(RouteVideoInputSelect(nullptr, 0));
}

TEST(CrossbarTest, refusedRoute_failsButIsRemembered_andNoDeviceGivesNoRoutes) {
    auto card = CaptureCard();
    card->refuse = true;
    TCrossbar crossbar(card);
    EXPECT_EQ(crossbar.RouteInput(1), E_FAIL);
    EXPECT_EQ(crossbar.CurrentInput(), 1);

    TCrossbar none(nullptr);
    EXPECT_EQ(none.InputCount(), 0);
    EXPECT_EQ(none.RouteInput(0), E_FAIL);
}

TEST(CrossbarTest, webcamSingleCamera_isNoCrossbar_butATunerAloneIs) {
    EXPECT_FALSE(HasCrossbar({{0, "Camera 1", false}}));
    EXPECT_TRUE(HasCrossbar({{0, "Television", true}}));
    EXPECT_TRUE(HasCrossbar({{0, "Composite", false}, {1, "S-Video", false}}));
    EXPECT_FALSE(HasCrossbar({}));
    EXPECT_EQ(ConnectorTypeOf({0, "S-Video over Composite", false}), connector::kVideoSVideo);
}

// A camcorder window as the branches drive it.
struct FakeCamWindow : ICamcorderWindow {
    std::string caption = "camForm";
    bool wanted = true;
    bool shown = false;
    bool stopWhenQuit = false;
    bool marker = false;
    int stops = 0;
    std::shared_ptr<devices::TTapeTransport> transport, reader;
    void SetCaption(const std::string& c) override { caption = c; }
    bool ShowWanted() const override { return wanted; }
    void SetShown(bool s) override { shown = s; }
    void SetTransport(std::shared_ptr<devices::TTapeTransport> t,
                      std::shared_ptr<devices::TTapeTransport> r) override {
        transport = std::move(t);
        reader = std::move(r);
    }
    void ClearTransport() override {
        transport.reset();
        reader.reset();
    }
    bool TransportAvailable() const override { return transport != nullptr; }
    bool StopWhenQuit() const override { return stopWhenQuit; }
    void RunStopAction() override {
        ++stops;
        if (transport) {
            transport->SetMode(devices::ED_MODE_STOP);
        }
    }
    void ShowCurrentMarker(bool s) override { marker = s; }
};

struct FakeTransport : devices::TTapeTransport {
    int mode = devices::ED_MODE_PLAY;
    bool SetMode(int m) override {
        mode = m;
        return true;
    }
    int Mode() override { return mode; }
    bool Timecode(uint32_t& bcd) override {
        bcd = 0;
        return true;
    }
    int DeviceType() override { return devices::ED_DEVTYPE_CAMERA; }
};

struct FakeDevice : TCaptureDevice {
    explicit FakeDevice(const std::string& name) : TCaptureDevice(devices::DeviceEntry{}, 1, 1) {
        DisplayName = name;
    }
    TVideoStreamPads OpenVideoStream(int, bool) override { return {}; }
    GstPadRef OpenAudioStream(int) override { return {}; }
    void CloseVideoStream() override {}
    void CloseAudioStream() override {}
    GstElement* AttachSource(TFilterGraph&) override { return nullptr; }
    void DetachSource() override {}
};

class CamcorderWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        windows.SetWindows(&w1, &w2);
        w2.wanted = false;
    }
    FakeCamWindow w1, w2;
    TCamcorderWindows windows;
    std::shared_ptr<TCaptureDevice> deckA = std::make_shared<FakeDevice>("DV Source");
    std::shared_ptr<TCaptureDevice> deckB = std::make_shared<FakeDevice>("DV Source #2");
};

TEST_F(CamcorderWindowsTest, videoAndAudioOfTwoCamcorders_useWindowsOneAndTwo) {
    auto tA = std::make_shared<FakeTransport>();
    auto tB = std::make_shared<FakeTransport>();
    TVideoSource video(deckA, 1);
    TAudioSource audio(deckB, 1);
    windows.Bind(video, nullptr, tA);
    video.Opened = true;
    windows.Bind(audio, &video, tB);
    EXPECT_EQ(video.CamForm, &w1);
    EXPECT_EQ(audio.CamForm, &w2);
    EXPECT_EQ(w1.caption, "DV Source");
    EXPECT_EQ(w2.caption, "DV Source #2");
    EXPECT_TRUE(w1.shown);
    EXPECT_FALSE(w2.shown); // its ShowWanted is off
    EXPECT_EQ(w2.reader, tB);
    EXPECT_TRUE(audio.HasTransport);
}

TEST_F(CamcorderWindowsTest, secondStreamOfTheSameCamcorder_reusesItsWindow) {
    auto t = std::make_shared<FakeTransport>();
    TVideoSource video(deckA, 1);
    TAudioSource audio(deckA, 1);
    windows.Bind(audio, nullptr, t);
    audio.Opened = true;
    windows.Bind(video, &audio, t);
    EXPECT_EQ(video.CamForm, &w1);
    EXPECT_EQ(audio.CamForm, &w1);
    EXPECT_FALSE(w2.TransportAvailable());
}

TEST_F(CamcorderWindowsTest, unbinding_stopsTheTapeOnlyWhenAsked_andPassesTheCurrentMark) {
    auto t = std::make_shared<FakeTransport>();
    TVideoSource video(deckA, 1);
    windows.Bind(video, nullptr, t);
    ASSERT_EQ(windows.CurrentCamForm, &w1);
    windows.Unbind(video);
    EXPECT_EQ(t->mode, devices::ED_MODE_PLAY); // "Stop when quit" unchecked: the tape runs on
    EXPECT_FALSE(w1.TransportAvailable());
    EXPECT_FALSE(w1.shown);
    EXPECT_EQ(windows.CurrentCamForm, &w2);
    EXPECT_TRUE(w2.marker);
    EXPECT_FALSE(w1.marker);
    EXPECT_EQ(video.CamForm, nullptr);
    EXPECT_FALSE(video.HasTransport);

    w1.stopWhenQuit = true;
    windows.Bind(video, nullptr, t);
    windows.Unbind(video);
    EXPECT_EQ(t->mode, devices::ED_MODE_STOP);
    EXPECT_EQ(w1.stops, 1);
}

TEST_F(CamcorderWindowsTest, streamWithoutTransport_getsNoWindow) {
    TVideoSource video(deckA, 1);
    windows.Bind(video, nullptr, nullptr);
    EXPECT_FALSE(video.HasTransport);
    EXPECT_EQ(video.CamForm, nullptr);
    EXPECT_EQ(w1.caption, "camForm");

    TCamcorderWindows noWindows; // a program without windows still learns of the transport
    noWindows.Bind(video, nullptr, std::make_shared<FakeTransport>());
    EXPECT_TRUE(video.HasTransport);
    EXPECT_EQ(video.CamForm, nullptr);
}

} // namespace
} // namespace vidorel

// The source branches in real pipelines on the virtual devices: frames reach the preview, sound
// reaches the audio output, the facts are published, branches close and open again, two
// devices run together, a DV deck binds one camcorder window for both its streams, and a
// source that cannot start leaves the graph usable.

#include "graph/SourceBranches.h"
#include "devices/DeviceKind.h"
#include "devices/VirtualDevices.h"
#include "filters/zv_superposer.h"
#include "graph/RunGraph.h"
#include "settings/Preferences.h"
#include "sources/CamcorderBinding.h"
#include "sources/SourceGraph.h"
#include "tests/support/EventLoop.h"

#include "tests/support/CardInputs.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace vidorel {
namespace {

using namespace std::chrono_literals;

// Waits while the graph's thread (this one) handles what the graph posts to it.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 4000ms) {
    return test::SpinUntil(done, limit);
}

// Takes every frame as it comes, the way the preview widget does.
struct CountingReceiver : IFrameReceiver {
    TPreviewSink* sink = nullptr;
    std::atomic<int> frames{0};
    std::atomic<int> width{0};
    void FrameAvailable() override {
        TPreviewFrame frame = sink->TakeFrame();
        if (frame.IsValid()) {
            width = frame.Width();
            ++frames;
        }
    }
};

// A camcorder window that records what the branches did to it.
struct RecordingCamWindow : ICamcorderWindow {
    std::string caption = "camForm";
    bool wanted = true;
    bool shown = false;
    bool stopWhenQuit = false;
    bool marker = false;
    std::shared_ptr<devices::TTapeTransport> transport;
    void SetCaption(const std::string& c) override { caption = c; }
    bool ShowWanted() const override { return wanted; }
    void SetShown(bool s) override { shown = s; }
    void SetTransport(std::shared_ptr<devices::TTapeTransport> t,
                      std::shared_ptr<devices::TTapeTransport>) override {
        transport = std::move(t);
    }
    void ClearTransport() override { transport.reset(); }
    bool TransportAvailable() const override { return transport != nullptr; }
    bool StopWhenQuit() const override { return stopWhenQuit; }
    void RunStopAction() override {
        if (transport) {
            transport->SetMode(devices::ED_MODE_STOP);
        }
    }
    void ShowCurrentMarker(bool s) override { marker = s; }
};

// A video device whose source fails when the graph starts: its file is missing.
class BrokenVideoDevice final : public TCaptureDevice {
public:
    BrokenVideoDevice() : TCaptureDevice(devices::DeviceEntry{}, 1, devices::kKindVideo) {
        VideoStreamCount = 1;
        Valid = true;
    }
    ~BrokenVideoDevice() override { DetachSource(); }
    GstElement* AttachSource(TFilterGraph& graph) override {
        if (!sourcegraph::InGraph(&graph, SourceFilter)) {
            GErrorRef err;
            GstElement* bin = gst_parse_bin_from_description(
                "filesrc location=/nonexistent/tape.yuv ! rawvideoparse width=720 height=576 "
                "format=i420 framerate=25/1",
                TRUE, &err.out());
            SourceFilter = GstElementRef::adopt(GST_ELEMENT(gst_object_ref_sink(bin)));
            sourcegraph::Add(graph, SourceFilter);
            graph_ = &graph;
        }
        return SourceFilter.get();
    }
    void DetachSource() override {
        sourcegraph::Remove(graph_, SourceFilter);
        graph_ = nullptr;
    }
    TVideoStreamPads OpenVideoStream(int, bool) override {
        return {FindPad(SourceFilter.get(), PinDirection::Output, 0), {}};
    }
    void CloseVideoStream() override {}
    GstPadRef OpenAudioStream(int) override { return {}; }
    void CloseAudioStream() override {}
};

class SourceBranchesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        static int argc = 1;
        static char name[] = "branches";
        static char* argv[] = {name, nullptr};
        // The overlay draws its text only in a process with a GUI application (offscreen here).
        if (!QCoreApplication::instance()) {
            new QGuiApplication(argc, argv);
        }
    }

    void SetUp() override {
        ASSERT_TRUE(monitor.Start(nullptr));
        ASSERT_TRUE(RefreshSourceLists(lists, monitor));
        receiver.sink = &dm.vwEcran;
        dm.vwEcran.SetReceiver(&receiver);
        auto sinkPad = FindPad(dm.audiorender.Element(), PinDirection::Input, 0);
        gst_pad_add_probe(
            sinkPad.get(), GST_PAD_PROBE_TYPE_BUFFER,
            +[](GstPad*, GstPadProbeInfo*, gpointer count) {
                ++*static_cast<std::atomic<int>*>(count);
                return GST_PAD_PROBE_OK;
            },
            &audioBuffers, nullptr);
        dm.SeparateAudio = false;
    }

    void TearDown() override {
        if (dm.CurrentVideo) {
            CloseVideoBranch(dm, dm.CurrentVideo, true);
        }
        if (dm.CurrentAudio) {
            CloseAudioBranch(dm, dm.CurrentAudio, true);
        }
        dm.vwEcran.SetReceiver(nullptr);
        dm.CamcorderWindows.SetWindows(nullptr, nullptr);
        SetVideoInputsFinder(nullptr);
    }

    template <class S>
    static std::shared_ptr<S> Named(const std::vector<std::shared_ptr<S>>& streams,
                                    const std::string& name) {
        for (const auto& s : streams) {
            if (s->DisplayName == name) {
                return s;
            }
        }
        return nullptr;
    }
    std::shared_ptr<TVideoSource> Video(const std::string& n) {
        return Named(lists.VideoStreams, n);
    }
    std::shared_ptr<TAudioSource> Audio(const std::string& n) {
        return Named(lists.AudioStreams, n);
    }

    bool FramesFlow() {
        const int before = receiver.frames;
        return WaitFor([&] { return receiver.frames >= before + 3; });
    }
    bool SoundFlows() {
        const int before = audioBuffers;
        return WaitFor([&] { return audioBuffers >= before + 3; });
    }
    bool InGraph(const char* name) { return static_cast<bool>(dm.fg().FindFilter(name)); }

    devices::TDeviceMonitor monitor;
    Tdm dm;
    TSourceLists lists;
    CountingReceiver receiver;
    std::atomic<int> audioBuffers{0};
};

TEST_F(SourceBranchesTest, testPattern_reachesThePreview_withItsFactsPublished_andReopens) {
    auto pattern = Video("Vidorel Test Pattern");
    ASSERT_TRUE(pattern);
    dm.Facts.FrameWidth = dm.Facts.FrameHeight = 0;
    dm.Facts.FrameDuration = 1;

    ASSERT_TRUE(OpenVideoBranch(dm, pattern)) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
    EXPECT_EQ(receiver.width, 720);
    EXPECT_EQ(dm.Facts.FrameWidth, 720);
    EXPECT_EQ(dm.Facts.FrameHeight, 576);
    EXPECT_EQ(dm.Facts.FrameDuration, 400000u);
    EXPECT_DOUBLE_EQ(dm.Facts.FrameRate, 25.0);
    EXPECT_EQ(dm.CurrentVideo, pattern);
    EXPECT_TRUE(pattern->Opened);
    EXPECT_EQ(pattern->StreamKind, 2);
    EXPECT_FALSE(pattern->HasTransport);
    EXPECT_FALSE(pattern->VcrMode || pattern->CameraMode);
    EXPECT_TRUE(InGraph("Superposer") && InGraph("Timestamper Video") && InGraph("color1"));
    EXPECT_EQ(dm.VideoSourceFilter, pattern->Device->SourceFilter);
    EXPECT_TRUE(dm.VideoStreamConfig);
    EXPECT_FALSE(dm.VideoCrossbar); // the test pattern has no inputs to choose

    ASSERT_TRUE(CloseVideoBranch(dm, pattern, true));
    EXPECT_FALSE(dm.CurrentVideo);
    EXPECT_FALSE(pattern->Opened);
    EXPECT_FALSE(InGraph("Superposer") || InGraph("infdecvideo") || InGraph("color3"));
    EXPECT_FALSE(pattern->Device->SourceAttached());
    EXPECT_FALSE(CloseVideoBranch(dm, pattern, true)); // not open any more

    ASSERT_TRUE(OpenVideoBranch(dm, pattern)) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
}

TEST_F(SourceBranchesTest, testTone_reachesTheAudioOutput_withItsFormatPublished_andReopens) {
    auto tone = Audio("Vidorel Test Tone");
    ASSERT_TRUE(tone);
    dm.Facts.AudioRate = dm.Facts.AudioBits = dm.Facts.AudioChannels = 0;

    ASSERT_TRUE(OpenAudioBranch(dm, tone)) << dm.fg().LastError();
    EXPECT_TRUE(SoundFlows());
    EXPECT_EQ(dm.Facts.AudioRate, 48000);
    EXPECT_EQ(dm.Facts.AudioBits, 16);
    EXPECT_EQ(dm.Facts.AudioChannels, 2);
    EXPECT_EQ(dm.CurrentAudio, tone);
    EXPECT_TRUE(InGraph("Timestamper Audio") && InGraph("acm") && InGraph("infdecaudio"));
    EXPECT_EQ(dm.AudioSourceFilter, tone->Device->SourceFilter);

    ASSERT_TRUE(CloseAudioBranch(dm, tone, true));
    EXPECT_FALSE(dm.CurrentAudio);
    EXPECT_FALSE(InGraph("Timestamper Audio") || InGraph("acm") || InGraph("infdecaudio"));

    ASSERT_TRUE(OpenAudioBranch(dm, tone)) << dm.fg().LastError();
    EXPECT_TRUE(SoundFlows());
}

TEST_F(SourceBranchesTest, videoAndAudioOfTwoDevices_runTogether_andOneOutlivesTheOther) {
    auto pattern = Video("Vidorel Test Pattern");
    auto tone = Audio("Vidorel Test Tone");
    ASSERT_TRUE(OpenVideoBranch(dm, pattern)) << dm.fg().LastError();
    ASSERT_TRUE(OpenAudioBranch(dm, tone)) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
    EXPECT_TRUE(SoundFlows());

    // A capture of the two devices paces the graph by the audio output; without a sound card
    // that output has no clock and the default one stays.
    dm.SeparateAudio = true;
    dm.fg().Stop();
    ASSERT_TRUE(RunGraph(dm)) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
    dm.SeparateAudio = false;

    ASSERT_TRUE(CloseVideoBranch(dm, pattern, true));
    EXPECT_EQ(dm.CurrentAudio, tone);
    EXPECT_TRUE(tone->Device->SourceAttached());
    ASSERT_TRUE(RunGraph(dm)) << dm.fg().LastError();
    EXPECT_TRUE(SoundFlows());
}

TEST_F(SourceBranchesTest, dvDeck_videoAndAudio_shareOneCamcorderWindow_untilBothClose) {
    RecordingCamWindow w1, w2;
    w1.stopWhenQuit = true;
    dm.CamcorderWindows.SetWindows(&w1, &w2);
    auto video = Video("DV Source - Video");
    auto audio = Audio("DV Source - Audio");
    ASSERT_TRUE(video && audio);
    auto transport = video->Device->Transport();
    ASSERT_TRUE(transport);
    transport->SetMode(devices::ED_MODE_PLAY);
    dm.Facts.FrameWidth = 0;

    // Ten seconds into the tape, so the overlay's timecode can only come from the tape.
    auto deck = std::dynamic_pointer_cast<devices::TTapeDeck>(transport);
    ASSERT_TRUE(deck);
    deck->Cue(250);
    dm.Superposer().SetTextSource(2);

    ASSERT_TRUE(OpenVideoBranch(dm, video)) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
    EXPECT_EQ(dm.Facts.FrameWidth, 720);
    EXPECT_EQ(dm.Facts.FrameHeight, 576);
    EXPECT_EQ(dm.Facts.FrameDuration, 400000u);
    EXPECT_EQ(video->StreamKind, 5);
    // The overlay reads the records of this deck's scene detector.
    EXPECT_EQ(dm.Superposer().LastLine2().left(6).toStdString(), "0:00:1");
    EXPECT_TRUE(video->HasTransport);
    EXPECT_TRUE(video->VcrMode);
    EXPECT_FALSE(video->CameraMode);
    EXPECT_EQ(video->CamForm, &w1);
    EXPECT_EQ(w1.caption, "DV Source");
    EXPECT_TRUE(w1.shown);

    ASSERT_TRUE(OpenAudioBranch(dm, audio)) << dm.fg().LastError();
    EXPECT_TRUE(SoundFlows());
    EXPECT_TRUE(FramesFlow());
    EXPECT_EQ(dm.Facts.AudioRate, 48000);
    EXPECT_EQ(dm.Facts.AudioBits, 16);
    EXPECT_EQ(dm.Facts.AudioChannels, 2);
    EXPECT_EQ(audio->CamForm, &w1);
    EXPECT_TRUE(audio->VcrMode);
    EXPECT_FALSE(w2.TransportAvailable());

    // Closing one of the two keeps the camcorder's source and window.
    ASSERT_TRUE(CloseVideoBranch(dm, video, true));
    EXPECT_TRUE(w1.TransportAvailable());
    EXPECT_TRUE(audio->Device->SourceAttached());
    EXPECT_EQ(transport->Mode(), devices::ED_MODE_PLAY);
    ASSERT_TRUE(RunGraph(dm)) << dm.fg().LastError();
    EXPECT_TRUE(SoundFlows());

    // The second one gives both back; "Stop when quit" stops the tape.
    ASSERT_TRUE(CloseAudioBranch(dm, audio, true));
    EXPECT_FALSE(w1.TransportAvailable());
    EXPECT_FALSE(w1.shown);
    EXPECT_EQ(transport->Mode(), devices::ED_MODE_STOP);
    EXPECT_FALSE(audio->Device->SourceAttached());
    EXPECT_EQ(dm.CamcorderWindows.CurrentCamForm, &w2);
}

TEST_F(SourceBranchesTest, sourceThatFailsToStart_givesFalse_andTheGraphStaysUsable) {
    auto broken = std::make_shared<TVideoSource>(std::make_shared<BrokenVideoDevice>(), 1);
    broken->DisplayName = "Broken";
    auto tone = Audio("Vidorel Test Tone");
    ASSERT_TRUE(OpenAudioBranch(dm, tone));

    EXPECT_FALSE(OpenVideoBranch(dm, broken));
    EXPECT_FALSE(dm.CurrentVideo);
    EXPECT_FALSE(broken->Opened);
    EXPECT_FALSE(InGraph("Superposer"));
    EXPECT_FALSE(broken->Device->SourceAttached());
    EXPECT_EQ(dm.fg().State(), GST_STATE_NULL);

    // The audio branch still runs, and another video source opens.
    ASSERT_TRUE(RunGraph(dm)) << dm.fg().LastError();
    EXPECT_TRUE(SoundFlows());
    ASSERT_TRUE(OpenVideoBranch(dm, Video("Vidorel Test Pattern"))) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
    EXPECT_TRUE(SoundFlows());
}

TEST_F(SourceBranchesTest, videoOfOneDeck_andAudioOfAnother_useCamcorderWindowsOneAndTwo) {
    const std::string id = devices::AddVirtualDevice("Second Deck", devices::VirtualKind::DvDeck);
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    RecordingCamWindow w1, w2;
    dm.CamcorderWindows.SetWindows(&w1, &w2);
    auto video = Video("DV Source - Video");
    auto audio = Audio("DV Source #2 - Audio");
    ASSERT_TRUE(video && audio);
    video->Device->Transport()->SetMode(devices::ED_MODE_PLAY);
    audio->Device->Transport()->SetMode(devices::ED_MODE_PLAY);

    ASSERT_TRUE(OpenVideoBranch(dm, video)) << dm.fg().LastError();
    ASSERT_TRUE(OpenAudioBranch(dm, audio)) << dm.fg().LastError();
    EXPECT_EQ(video->CamForm, &w1);
    EXPECT_EQ(audio->CamForm, &w2);
    EXPECT_EQ(w2.caption, "DV Source #2");
    EXPECT_TRUE(FramesFlow());
    EXPECT_TRUE(SoundFlows());
    CloseAudioBranch(dm, audio, true);
    CloseVideoBranch(dm, video, true);
    devices::RemoveVirtualDevice(id);
}

TEST_F(SourceBranchesTest, deckThatVanishesWhileShown_takesItsBranchesAndWindowWithIt) {
    const std::string id = devices::AddVirtualDevice("Portable Deck", devices::VirtualKind::DvDeck);
    CloseBranchesOnDeviceRemoval(dm, lists);
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    RecordingCamWindow w1, w2;
    dm.CamcorderWindows.SetWindows(&w1, &w2);
    auto video = Video("DV Source #2 - Video");
    auto audio = Audio("DV Source #2 - Audio");
    ASSERT_TRUE(video && audio);
    video->Device->Transport()->SetMode(devices::ED_MODE_PLAY);
    ASSERT_TRUE(OpenVideoBranch(dm, video)) << dm.fg().LastError();
    ASSERT_TRUE(OpenAudioBranch(dm, audio)) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
    EXPECT_TRUE(w1.TransportAvailable());

    devices::RemoveVirtualDevice(id);
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    EXPECT_FALSE(dm.CurrentVideo || dm.CurrentAudio);
    EXPECT_FALSE(InGraph("Superposer") || InGraph("infdecvideo") || InGraph("acm"));
    EXPECT_FALSE(video->Device->SourceAttached());
    EXPECT_FALSE(w1.TransportAvailable());
    EXPECT_FALSE(w1.shown);

    // The remaining sources open as before.
    ASSERT_TRUE(OpenVideoBranch(dm, Video("Vidorel Test Pattern"))) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
}

TEST_F(SourceBranchesTest, dvDeckWithItsTapeStopped_opens_andTellsItsFactsOncePlayed) {
    auto video = Video("DV Source - Video");
    auto transport = video->Device->Transport();
    transport->SetMode(devices::ED_MODE_STOP);
    dm.Facts.FrameWidth = dm.Facts.FrameHeight = 0;
    ASSERT_TRUE(OpenVideoBranch(dm, video)) << dm.fg().LastError();
    EXPECT_EQ(dm.Facts.FrameWidth, 0); // nothing came from the tape yet

    transport->SetMode(devices::ED_MODE_PLAY);
    EXPECT_TRUE(FramesFlow());
    RefreshStreamFacts(dm);
    EXPECT_EQ(dm.Facts.FrameWidth, 720);
    EXPECT_EQ(dm.Facts.FrameHeight, 576);
    transport->SetMode(devices::ED_MODE_STOP);
}

TEST_F(SourceBranchesTest, sourceTheConverterRefuses_goesStraightIntoTheOverlay) {
    // A converter that takes no raw video stands for one that refuses the source's frames.
    TMoniker refusing;
    refusing.factory = "jpegdec";
    dm.color1.SetMoniker(refusing);
    ASSERT_TRUE(OpenVideoBranch(dm, Video("Vidorel Test Pattern"))) << dm.fg().LastError();
    EXPECT_FALSE(InGraph("color1"));
    EXPECT_TRUE(FramesFlow());
    EXPECT_EQ(dm.Facts.FrameWidth, 720);
}

TEST_F(SourceBranchesTest, branchThatCannotBeLinked_leavesNothingBehind_forTheNextOpen) {
    auto pattern = Video("Vidorel Test Pattern");
    TMoniker unusable;
    unusable.factory = "jpegdec"; // takes no raw video: the link into it fails
    dm.color3.SetMoniker(unusable);
    EXPECT_FALSE(OpenVideoBranch(dm, pattern));
    EXPECT_FALSE(dm.CurrentVideo);
    EXPECT_FALSE(InGraph("Superposer") || InGraph("color1") || InGraph("infdecvideo"));

    TMoniker converter;
    converter.factory = "videoconvert";
    dm.color3.SetMoniker(converter);
    ASSERT_TRUE(OpenVideoBranch(dm, pattern)) << dm.fg().LastError();
    EXPECT_TRUE(FramesFlow());
}

using CardInputs = test::TCardInputs;

TEST_F(SourceBranchesTest, openingAVideoBranch_routesTheSavedInput_ofASourceWithInputs) {
    CreatePreferenceList();
    CreatePreferences();
    auto card = std::make_shared<CardInputs>();
    SetVideoInputsFinder([card](GstElement*) { return card; });
    auto pattern = Video("Vidorel Test Pattern");

    prefs::VideoInputSelect->Value = 1;
    ASSERT_TRUE(OpenVideoBranch(dm, pattern)) << dm.fg().LastError();
    ASSERT_TRUE(dm.VideoCrossbar);
    EXPECT_EQ(dm.VideoCrossbar->InputCount(), 3);
    EXPECT_EQ(card->selected, std::vector<int>{1});

    prefs::VideoInputSelect->Value = -1;
    ASSERT_TRUE(OpenVideoBranch(dm, pattern)) << dm.fg().LastError();
    EXPECT_EQ(card->selected, std::vector<int>{1});
    EXPECT_TRUE(FramesFlow());
}

} // namespace
} // namespace vidorel

#include "devices/VirtualDevices.h"
#include "sources/CaptureSources.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace vidorel {
namespace {

class CaptureSourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        static int argc = 1;
        static char name[] = "sources";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) {
            new QCoreApplication(argc, argv);
        }
    }
    void SetUp() override { ASSERT_TRUE(monitor.Start(nullptr)); }
    void TearDown() override {
        CurrentVideo.reset();
        CurrentAudio.reset();
        SourceGraph = nullptr;
    }

    template <typename S>
    static std::vector<std::string> Names(const std::vector<std::shared_ptr<S>>& streams) {
        std::vector<std::string> names;
        for (const auto& s : streams) {
            names.push_back(s->DisplayName);
        }
        return names;
    }

    devices::TDeviceMonitor monitor;
};

TEST_F(CaptureSourcesTest, virtualDevices_giveTheirStreams_andTwoDecksGetDistinctNames) {
    const std::string id = AddVirtualDevice("Second Deck", devices::VirtualKind::DvDeck, "");
    TSourceLists lists;
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    EXPECT_EQ(Names(lists.VideoStreams),
              (std::vector<std::string>{"Vidorel Test Pattern", "DV Source - Video",
                                        "DV Source #2 - Video"}));
    EXPECT_EQ(Names(lists.AudioStreams),
              (std::vector<std::string>{"DV Source - Audio", "DV Source #2 - Audio",
                                        "Vidorel Test Tone"}));
    EXPECT_EQ(lists.VideoStreams[1]->StreamKind, 5);
    EXPECT_EQ(lists.AudioStreams[0]->StreamKind, 4);
    EXPECT_EQ(lists.AudioStreams[2]->StreamKind, 3);
    devices::RemoveVirtualDevice(id);
}

TEST_F(CaptureSourcesTest, excludedNames_offerNoStreams_butStayListedAndKnown) {
    TSourceLists lists;
    lists.Exclusions = LoadExclusions("Vidorel Test Pattern\r\nVidorel Test Tone\r\n");
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    EXPECT_EQ(Names(lists.VideoStreams), (std::vector<std::string>{"DV Source - Video"}));
    EXPECT_EQ(Names(lists.AudioStreams), (std::vector<std::string>{"DV Source - Audio"}));
    EXPECT_EQ(lists.VideoDevices.Count(), 2);
    EXPECT_EQ(SaveExclusions(lists.Exclusions), "Vidorel Test Pattern\r\nVidorel Test Tone\r\n");
    EXPECT_EQ(lists.Exclusions.back(), std::make_pair(std::string("Vidorel DV Test Deck"), true));
}

TEST_F(CaptureSourcesTest, refresh_numbersSameNames_andReusesAFreedNumber) {
    TSourceLists lists;
    const std::string a = AddVirtualDevice("Cam", devices::VirtualKind::TestPattern);
    const std::string b = AddVirtualDevice("Cam", devices::VirtualKind::TestPattern);
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    auto names = Names(lists.VideoStreams);
    EXPECT_NE(std::find(names.begin(), names.end(), "Cam"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Cam #2"), names.end());
    devices::RemoveVirtualDevice(a);
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    names = Names(lists.VideoStreams);
    EXPECT_EQ(std::find(names.begin(), names.end(), "Cam"), names.end());
    const std::string c = AddVirtualDevice("Cam", devices::VirtualKind::TestPattern);
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    names = Names(lists.VideoStreams);
    EXPECT_NE(std::find(names.begin(), names.end(), "Cam"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Cam #2"), names.end());
    devices::RemoveVirtualDevice(b);
    devices::RemoveVirtualDevice(c);
}

TEST_F(CaptureSourcesTest, openVideoStream_ofTestPattern_publishesDecodedPinAndTee) {
    TFilterGraph graph("test");
    SourceGraph = &graph;
    TSourceLists lists;
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    auto stream = lists.VideoStreams[0];
    ASSERT_TRUE(stream->Device->AttachSource());
    ASSERT_TRUE(stream->Device->OpenVideoStream(1));
    ASSERT_TRUE(VideoPin);
    ASSERT_TRUE(NativeTee);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    gst_bin_add(graph.Bin(), sink);
    auto sinkPad = GstPadRef::adopt(gst_element_get_static_pad(sink, "sink"));
    ASSERT_EQ(gst_pad_link(VideoPin.get(), sinkPad.get()), GST_PAD_LINK_OK);
    gst_element_set_state(graph.Element(), GST_STATE_PLAYING);
    gst_element_get_state(graph.Element(), nullptr, nullptr, 5 * GST_SECOND);
    auto caps = GstCapsRef::adopt(gst_pad_get_current_caps(VideoPin.get()));
    ASSERT_TRUE(caps);
    int w = 0;
    gst_structure_get_int(gst_caps_get_structure(caps.get(), 0), "width", &w);
    EXPECT_EQ(w, 720);
    gst_element_set_state(graph.Element(), GST_STATE_NULL);
    stream->Device->CloseVideoStream();
    EXPECT_FALSE(VideoPin);
    EXPECT_FALSE(NativeTee);
    stream->Device->DetachSource();
}

TEST_F(CaptureSourcesTest, vanishingDevice_withOpenStreams_isClosedBeforeRemoval) {
    TFilterGraph graph("test");
    SourceGraph = &graph;
    const std::string id = AddVirtualDevice("Portable Deck", devices::VirtualKind::DvDeck, "");
    TSourceLists lists;
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    auto video = lists.VideoStreams.back();
    ASSERT_EQ(video->DisplayName, "DV Source #2 - Video");
    ASSERT_TRUE(video->Device->AttachSource());
    ASSERT_TRUE(video->Device->OpenVideoStream(1));
    ASSERT_TRUE(video->Device->OpenAudioStream(1));
    EXPECT_TRUE(VideoPin && AudioPin && NativeTee);
    CurrentVideo = video;
    video->Opened = true;
    CurrentAudio = lists.AudioStreams[1];
    CurrentAudio->Opened = true;
    gst_element_set_state(graph.Element(), GST_STATE_PLAYING);
    devices::RemoveVirtualDevice(id);
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    EXPECT_FALSE(CurrentVideo);
    EXPECT_FALSE(CurrentAudio);
    EXPECT_FALSE(VideoPin || AudioPin || NativeTee);
    EXPECT_FALSE(video->Opened);
    // The stream object itself stays usable while someone holds it.
    EXPECT_EQ(video->DisplayName, "DV Source #2 - Video");
    EXPECT_EQ(Names(lists.VideoStreams),
              (std::vector<std::string>{"Vidorel Test Pattern", "DV Source - Video"}));
    gst_element_set_state(graph.Element(), GST_STATE_NULL);
}

TEST_F(CaptureSourcesTest, nativeCapture_ofTheDeck_recordsAFileEveryPlayerOpens_andLeavesNoTrace) {
    TFilterGraph graph("test");
    SourceGraph = &graph;
    TSourceLists lists;
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    auto video = lists.VideoStreams[1];
    ASSERT_EQ(video->DisplayName, "DV Source - Video");
    auto device = video->Device;
    ASSERT_TRUE(device->AttachSource());
    ASSERT_TRUE(device->OpenVideoStream(1));
    auto preview = MakeElement("fakesink");
    g_object_set(preview.get(), "sync", FALSE, nullptr);
    graph.AddFilter(preview.get());
    graph.Connect(VideoPin.get(), Pad(preview.get(), PinDirection::Input, 0).get());
    const size_t elementsBefore = GST_BIN_NUMCHILDREN(graph.Bin());

    const std::string file = test::sandboxRoot() + "/native.avi";
    ASSERT_TRUE(device->Transport());
    ASSERT_TRUE(device->Transport()->SetMode(devices::ED_MODE_PLAY));
    device->StartNativeCapture(file);
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(graph.Stop()); // finishes the file before stopping
    device->StopNativeCapture();
    EXPECT_EQ(GST_BIN_NUMCHILDREN(graph.Bin()), elementsBefore);

    // One interleaved stream: the camcorder's own frames (a type-1 file).
    {
        std::ifstream in(file, std::ios::binary);
        std::string head(4096, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        EXPECT_NE(head.find("iavsdvsd"), std::string::npos);
        EXPECT_EQ(head.find("auds"), std::string::npos);
    }
    const QJsonArray streams = test::ffprobe(file)["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0]["codec_name"].toString(), "dvvideo");
    EXPECT_EQ(streams[0]["width"].toInt(), 720);
    EXPECT_EQ(streams[0]["height"].toInt(), 576);
    EXPECT_GE(streams[0]["nb_read_frames"].toString().toInt(), 10);
    EXPECT_EQ(streams[1]["codec_name"].toString(), "pcm_s16le");
    EXPECT_EQ(streams[1]["sample_rate"].toString(), "48000");

    // The preview still runs without the recording chain.
    ASSERT_TRUE(graph.Run());
    graph.Stop();
    device->CloseVideoStream();
    device->DetachSource();
}

TEST_F(CaptureSourcesTest, nativeCapture_intoAFolderThatCannotBeWritten_failsTheRun_notTheProgram) {
    TFilterGraph graph("test");
    SourceGraph = &graph;
    TSourceLists lists;
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    auto device = lists.VideoStreams[1]->Device;
    ASSERT_TRUE(device->AttachSource());
    ASSERT_TRUE(device->OpenVideoStream(1));
    auto preview = MakeElement("fakesink");
    graph.AddFilter(preview.get());
    graph.Connect(VideoPin.get(), Pad(preview.get(), PinDirection::Input, 0).get());
    device->StartNativeCapture("/no/such/folder/native.avi");
    EXPECT_FALSE(graph.Run());
    device->StopNativeCapture();
    EXPECT_TRUE(graph.Run()); // usable again once the recording chain is gone
    graph.Stop();
    device->CloseVideoStream();
    device->DetachSource();
}

} // namespace
} // namespace vidorel

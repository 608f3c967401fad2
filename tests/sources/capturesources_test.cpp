#include "devices/TapeDeck.h"
#include "devices/VirtualDevices.h"
#include "devices/dvtape/DvTape.h"
#include "sources/CaptureSources.h"
#include "tests/support/AviCheck.h"
#include "tests/support/EventLoop.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <sys/resource.h>

#include <csignal>
#include <optional>

#include <QJsonArray>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace vidorel {
namespace {

class CaptureSourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        test::EnsureCoreApplication();
    }
    void SetUp() override { ASSERT_TRUE(monitor.Start(nullptr)); }

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

TEST_F(CaptureSourcesTest, openVideoStream_ofTestPattern_handsBackItsDecodedPinAndTee) {
    TFilterGraph graph("test");
    TSourceLists lists;
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    auto stream = lists.VideoStreams[0];
    ASSERT_TRUE(stream->Device->AttachSource(graph));
    EXPECT_EQ(stream->Device->Graph(), &graph);
    TVideoStreamPads pads = stream->Device->OpenVideoStream(1, false);
    ASSERT_TRUE(pads.Pin);
    ASSERT_TRUE(pads.NativeTee);
    EXPECT_TRUE(graph.Contains(pads.NativeTee.get()));
    EXPECT_FALSE(stream->Device->OpenVideoStream(2, false).Pin) << "the device has one stream";
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    gst_bin_add(graph.Bin(), sink);
    auto sinkPad = GstPadRef::adopt(gst_element_get_static_pad(sink, "sink"));
    ASSERT_EQ(gst_pad_link(pads.Pin.get(), sinkPad.get()), GST_PAD_LINK_OK);
    gst_element_set_state(graph.Element(), GST_STATE_PLAYING);
    gst_element_get_state(graph.Element(), nullptr, nullptr, 5 * GST_SECOND);
    auto caps = GstCapsRef::adopt(gst_pad_get_current_caps(pads.Pin.get()));
    ASSERT_TRUE(caps);
    int w = 0;
    gst_structure_get_int(gst_caps_get_structure(caps.get(), 0), "width", &w);
    EXPECT_EQ(w, 720);
    gst_element_set_state(graph.Element(), GST_STATE_NULL);
    stream->Device->CloseVideoStream();
    EXPECT_FALSE(graph.Contains(pads.NativeTee.get()));
    stream->Device->DetachSource();
    EXPECT_FALSE(stream->Device->SourceAttached());
    EXPECT_EQ(stream->Device->Graph(), nullptr);
}

TEST_F(CaptureSourcesTest, dvDeckOpenedAtHalfSize_decodesHalfTheWidth) {
    TFilterGraph graph("test");
    TSourceLists lists;
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    auto device = lists.VideoStreams[1]->Device;
    ASSERT_TRUE(device->AttachSource(graph));
    ASSERT_TRUE(device->Transport()->SetMode(devices::ED_MODE_PLAY));
    TVideoStreamPads pads = device->OpenVideoStream(1, true);
    ASSERT_TRUE(pads.Pin);
    auto sink = MakeElement("fakesink");
    graph.AddFilter(sink.get());
    graph.Connect(pads.Pin.get(), Pad(sink.get(), PinDirection::Input, 0).get());
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    std::optional<TStreamFacts> facts;
    graph.WhenCaps(pads.Pin.get(), [&](const GstCapsRef& c) { facts = FactsFromCaps(c.get()); });
    ASSERT_TRUE(test::SpinUntil([&] { return facts.has_value(); }));
    EXPECT_EQ(facts->width, 360);
    graph.Stop();
    device->Transport()->SetMode(devices::ED_MODE_STOP);
    device->DetachSource();
}

TEST_F(CaptureSourcesTest, vanishingDevice_withOpenStreams_isClosedBeforeRemoval) {
    TFilterGraph graph("test");
    const std::string id = AddVirtualDevice("Portable Deck", devices::VirtualKind::DvDeck, "");
    TSourceLists lists;
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    auto video = lists.VideoStreams.back();
    ASSERT_EQ(video->DisplayName, "DV Source #2 - Video");
    ASSERT_TRUE(video->Device->AttachSource(graph));
    auto vpads = video->Device->OpenVideoStream(1, false);
    auto apad = video->Device->OpenAudioStream(1);
    EXPECT_TRUE(vpads.Pin && apad && vpads.NativeTee);
    video->Opened = true;
    std::shared_ptr<TCaptureDevice> seen;
    lists.BeforeDeviceRemoval = [&](const std::shared_ptr<TCaptureDevice>& d) {
        seen = d;
        // What the branches do: the open streams close, the source stays for the list.
        video->Opened = false;
        EXPECT_TRUE(d->SourceAttached()) << "the device is still whole when told";
    };
    gst_element_set_state(graph.Element(), GST_STATE_PLAYING);
    devices::RemoveVirtualDevice(id);
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    EXPECT_EQ(seen, video->Device);
    EXPECT_FALSE(video->Device->SourceAttached());
    EXPECT_FALSE(graph.Contains(vpads.NativeTee.get()));
    EXPECT_EQ(GST_BIN_NUMCHILDREN(graph.Bin()), 0) << "nothing of the device is left";
    // The stream object itself stays usable while someone holds it.
    EXPECT_EQ(video->DisplayName, "DV Source #2 - Video");
    EXPECT_EQ(Names(lists.VideoStreams),
              (std::vector<std::string>{"Vidorel Test Pattern", "DV Source - Video"}));
    gst_element_set_state(graph.Element(), GST_STATE_NULL);
}

// The DV deck previewed, as the window does it, with native recordings on its interleaved tee.
class NativeCaptureTest : public CaptureSourcesTest {
protected:
    void SetUp() override {
        CaptureSourcesTest::SetUp();
        ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    }
    void TearDown() override {
        graph.Stop();
        if (device) {
            device->Transport()->SetMode(devices::ED_MODE_STOP);
            device->CloseVideoStream();
            device->DetachSource();
        }
    }

    // Opens the video of the deck named `stream` behind a preview that counts its frames.
    void Preview(const std::string& stream) {
        for (const auto& s : lists.VideoStreams) {
            if (s->DisplayName == stream) {
                device = s->Device;
            }
        }
        ASSERT_TRUE(device) << stream;
        ASSERT_TRUE(device->AttachSource(graph));
        auto pads = device->OpenVideoStream(1, false);
        ASSERT_TRUE(pads.Pin);
        auto sink = MakeElement("fakesink");
        g_object_set(sink.get(), "sync", FALSE, "async", FALSE, nullptr);
        graph.AddFilter(sink.get());
        auto in = Pad(sink.get(), PinDirection::Input, 0);
        graph.Connect(pads.Pin.get(), in.get());
        gst_pad_add_probe(
            in.get(), GST_PAD_PROBE_TYPE_BUFFER,
            +[](GstPad*, GstPadProbeInfo*, gpointer n) {
                ++*static_cast<std::atomic<int>*>(n);
                return GST_PAD_PROBE_OK;
            },
            &previewFrames, nullptr);
    }

    bool PreviewMoves() {
        const int from = previewFrames.load();
        return test::SpinUntil([&] { return previewFrames.load() > from; }, 2000ms);
    }

    // Stops the native recording and waits for its result.
    TRecordingResult StopRecording() {
        std::optional<TRecordingResult> result;
        device->StopNativeCapture([&](const TRecordingResult& r) { result = r; });
        EXPECT_TRUE(test::SpinUntil([&] { return result.has_value(); }));
        return result.value_or(TRecordingResult{});
    }

    // The type-1 file holds exactly `frames` camcorder frames, indexed, with finished headers.
    static void ExpectType1(const std::string& file, uint64_t frames) {
        const test::AviSummary s = test::ReadAvi(file);
        EXPECT_TRUE(s.readable) << file;
        EXPECT_TRUE(s.sizesConsistent) << file;
        EXPECT_EQ(s.handler, "dvsd") << file;
        EXPECT_EQ(s.videoChunks, frames) << file;
        EXPECT_EQ(s.strhLength, frames) << file;
        EXPECT_EQ(s.dmlhTotalFrames, frames) << file;
        EXPECT_EQ(s.idx1Entries, frames) << file;
        EXPECT_EQ(s.hasIndexFlag, true) << file;
    }

    std::string File(int n) const {
        return test::sandboxRoot() + "/native" + std::to_string(n) + ".avi";
    }

    // The recording of piece n, on the deck's interleaved tee, as a cut will attach it.
    std::shared_ptr<TRecordingBranch> Piece(int n) {
        auto branch = TRecordingBranch::Create("piece" + std::to_string(n));
        auto from = branch->AddInput(TInputRole::Native, graph.FindFilter("dv_muxinfinite").get());
        GstElement* sink = branch->Make("zv_dvtype1sink");
        g_object_set(sink, "location", File(n).c_str(), nullptr);
        branch->Link(from.get(), Pad(sink, PinDirection::Input, 0).get());
        return branch;
    }

    TFilterGraph graph{"test"};
    TSourceLists lists;
    std::shared_ptr<TCaptureDevice> device;
    std::atomic<int> previewFrames{0};
};

TEST_F(NativeCaptureTest, startedAndStopped200Times_duringThePreview_givesComplete_files) {
    Preview("DV Source - Video");
    ASSERT_TRUE(device->Transport()->SetMode(devices::ED_MODE_PLAY));
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    ASSERT_TRUE(PreviewMoves());
    const size_t elements = GST_BIN_NUMCHILDREN(graph.Bin());
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(device->StartNativeCapture(File(i % 3))) << "cycle " << i;
        auto recording = graph.Recordings();
        ASSERT_EQ(recording.size(), 1u);
        ASSERT_TRUE(test::SpinUntil([&] { return recording[0]->Buffers(TInputRole::Native) >= 1; }))
            << "cycle " << i;
        const TRecordingResult r = StopRecording();
        ASSERT_TRUE(r.Finished) << "cycle " << i << ": " << r.Error;
        ExpectType1(File(i % 3), r.Buffers[int(TInputRole::Native)]);
        if (i % 100 == 0) {
            const QJsonArray streams = test::ffprobe(File(i % 3))["streams"].toArray();
            ASSERT_EQ(streams.size(), 2);
            EXPECT_EQ(streams[0]["codec_name"].toString(), "dvvideo");
            EXPECT_EQ(streams[0]["nb_read_frames"].toString().toULongLong(),
                      r.Buffers[int(TInputRole::Native)]);
            EXPECT_EQ(streams[1]["codec_name"].toString(), "pcm_s16le");
        }
        EXPECT_EQ(GST_BIN_NUMCHILDREN(graph.Bin()), elements) << "cycle " << i;
        ASSERT_TRUE(PreviewMoves()) << "the preview froze after cycle " << i;
    }
    EXPECT_TRUE(graph.Running());
}

TEST_F(NativeCaptureTest, cut200Times_duringThePreview_keepsEveryFrameInExactlyOneFile) {
    Preview("DV Source - Video");
    ASSERT_TRUE(device->Transport()->SetMode(devices::ED_MODE_PLAY));
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    constexpr int kPieces = 201;
    std::vector<std::optional<TRecordingResult>> results(kPieces);
    // The recording branch of the device, cut to new files by hand as the capture controller
    // will: the device records the first piece, the cuts are the graph layer's.
    ASSERT_TRUE(device->StartNativeCapture(File(0)));
    auto current = graph.Recordings().at(0);
    for (int i = 1; i < kPieces; ++i) {
        ASSERT_TRUE(test::SpinUntil([&] { return current->Buffers(TInputRole::Native) >= 1; }))
            << "piece " << i - 1;
        auto next = Piece(i);
        current->CutTo(next, [&results, i](const TRecordingResult& r) { results[i - 1] = r; });
        current = next;
        ASSERT_TRUE(PreviewMoves()) << "the preview froze at cut " << i;
    }
    ASSERT_TRUE(test::SpinUntil([&] { return current->Buffers(TInputRole::Native) >= 1; }));
    current->Finish([&](const TRecordingResult& r) { results[kPieces - 1] = r; });
    ASSERT_TRUE(test::SpinUntil([&] {
        return std::all_of(results.begin(), results.end(), [](const auto& r) { return r; });
    }));
    device->StopNativeCapture(); // the device's own branch is the first piece, already done
    for (int i = 0; i < kPieces; ++i) {
        ASSERT_TRUE(results[i]->Finished) << "piece " << i << ": " << results[i]->Error;
        ExpectType1(File(i), results[i]->Buffers[int(TInputRole::Native)]);
    }
}

TEST_F(NativeCaptureTest, aTapeCut20Times_givesPiecesWhoseFramesAddUpToTheTape) {
    // A 150-frame tape in the tapes folder is a deck of its own.
    dvtape::TapeDescription d;
    d.recordings = {{dvtape::CivilDateTime{2004, 2, 29, 23, 59, 50}, 150, false, true}};
    const std::string tapes = std::string(std::getenv("XDG_DATA_HOME")) + "/vidorel/tapes";
    std::filesystem::create_directories(tapes);
    ASSERT_TRUE(dvtape::DvTape(d).writeRawDv(tapes + "/leap.dv"));
    ASSERT_TRUE(RefreshSourceLists(lists, monitor));
    Preview("DV Source #2 - Video");
    auto deck = std::dynamic_pointer_cast<devices::TTapeDeck>(device->Transport());
    ASSERT_TRUE(deck);
    ASSERT_TRUE(graph.Run()) << graph.LastError();

    // Recording waits on the stopped tape; the tape then plays to its end.
    ASSERT_TRUE(device->StartNativeCapture(File(0)));
    auto current = graph.Recordings().at(0);
    std::vector<std::shared_ptr<TRecordingBranch>> pieces{current};
    ASSERT_TRUE(deck->SetMode(devices::ED_MODE_PLAY));
    constexpr int kPieces = 21;
    std::vector<std::optional<TRecordingResult>> results(kPieces);
    for (int i = 1; i < kPieces; ++i) {
        ASSERT_TRUE(test::SpinUntil([&] { return current->Buffers(TInputRole::Native) >= 5; }));
        auto next = Piece(i);
        current->CutTo(next, [&results, i](const TRecordingResult& r) { results[i - 1] = r; });
        current = next;
        pieces.push_back(current);
    }
    // The deck stops by itself at the end of the tape; its last frame may still be on its way
    // to the tee then. What the pieces took is awaited (a frame lost on the way never comes,
    // and the count below says so).
    ASSERT_TRUE(test::SpinUntil([&] { return deck->Mode() == devices::ED_MODE_STOP; }, 15000ms));
    test::SpinUntil(
        [&] {
            uint64_t taken = 0;
            for (const auto& p : pieces) {
                taken += p->Buffers(TInputRole::Native);
            }
            return taken >= 150;
        },
        5000ms);
    current->Finish([&](const TRecordingResult& r) { results[kPieces - 1] = r; });
    ASSERT_TRUE(test::SpinUntil([&] {
        return std::all_of(results.begin(), results.end(), [](const auto& r) { return r; });
    }));
    device->StopNativeCapture();
    uint64_t total = 0;
    for (int i = 0; i < kPieces; ++i) {
        ASSERT_TRUE(results[i]->Finished) << "piece " << i << ": " << results[i]->Error;
        const uint64_t frames = results[i]->Buffers[int(TInputRole::Native)];
        ExpectType1(File(i), frames);
        total += test::ReadAvi(File(i)).videoChunks;
    }
    EXPECT_EQ(total, 150u);
}

TEST_F(NativeCaptureTest, aDiskThatFillsUp_endsTheRecordingWithAPlayableFile_andThePreviewGoesOn) {
    struct Events : IGraphEvents {
        std::vector<TGraphEvent> got;
        void GraphEvent(const TGraphEvent& e) override { got.push_back(e); }
    } events;
    graph.SetEventReceiver(&events);
    Preview("DV Source - Video");
    ASSERT_TRUE(device->Transport()->SetMode(devices::ED_MODE_PLAY));
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    // Files of this process may not grow past 2 MB (about 14 frames), as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 2'000'000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(device->StartNativeCapture(File(0)));
    auto failed = [&] {
        return std::any_of(events.got.begin(), events.got.end(), [](const TGraphEvent& e) {
            return e.Kind == TGraphEventKind::RecordingDone;
        });
    };
    const bool ended = test::SpinUntil(failed, 10000ms);
    setrlimit(RLIMIT_FSIZE, &before);
    ASSERT_TRUE(ended);
    const TRecordingResult r = StopRecording();
    EXPECT_FALSE(r.Finished);
    const auto error = std::find_if(events.got.begin(), events.got.end(), [](const TGraphEvent& e) {
        return e.Kind == TGraphEventKind::RecordingError;
    });
    ASSERT_NE(error, events.got.end());
    EXPECT_EQ(error->Domain, GST_RESOURCE_ERROR);
    EXPECT_FALSE(graph.Failed());
    EXPECT_TRUE(PreviewMoves());
    // What was written plays: every whole frame, with headers that say so.
    const test::AviSummary s = test::ReadAvi(File(0));
    EXPECT_TRUE(s.readable);
    EXPECT_TRUE(s.sizesConsistent);
    EXPECT_GT(s.videoChunks, 5u);
    EXPECT_EQ(s.strhLength, s.videoChunks);
    const QJsonArray streams = test::ffprobe(File(0))["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0]["nb_read_frames"].toString().toULongLong(), s.videoChunks);
    graph.SetEventReceiver(nullptr);
}

TEST_F(NativeCaptureTest, aFolderThatCannotBeWritten_failsTheRecording_notThePreview) {
    Preview("DV Source - Video");
    ASSERT_TRUE(device->Transport()->SetMode(devices::ED_MODE_PLAY));
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    EXPECT_FALSE(device->StartNativeCapture("/no/such/folder/native.avi"))
        << "the writer refuses to start";
    EXPECT_TRUE(graph.Recordings().empty());
    EXPECT_TRUE(graph.Running());
    EXPECT_TRUE(PreviewMoves());
    const TRecordingResult r = StopRecording();
    EXPECT_FALSE(r.Finished) << "nothing was recording";
}

} // namespace
} // namespace vidorel

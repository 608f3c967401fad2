// Recording branches on a playing graph: started, finished and cut while a live preview runs,
// failing alone, and the graph's events on the graph's thread.

#include "graph/RecordingBranch.h"
#include "tests/support/AviCheck.h"
#include "tests/support/EventLoop.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/Probes.h"
#include "tests/support/TestEnv.h"

#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include <QJsonArray>

#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace vidorel;
using namespace std::chrono_literals;

namespace {

using Counter = test::BufferCounter;

// The offsets of the buffers one input let in: videotestsrc numbers its frames and
// audiotestsrc its samples, so a hand-over that loses or doubles anything shows as a gap.
struct OffsetLog {
    std::mutex lock;
    uint64_t first = GST_BUFFER_OFFSET_NONE;
    uint64_t lastEnd = GST_BUFFER_OFFSET_NONE; // offset-end of the last buffer
    uint64_t count = 0;
    bool contiguous = true;
    void Watch(GstPad* pad) {
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo* info, gpointer data) {
                auto& log = *static_cast<OffsetLog*>(data);
                GstBuffer* b = GST_PAD_PROBE_INFO_BUFFER(info);
                std::lock_guard lock(log.lock);
                if (log.count == 0) {
                    log.first = GST_BUFFER_OFFSET(b);
                } else if (GST_BUFFER_OFFSET(b) != log.lastEnd) {
                    log.contiguous = false;
                }
                log.lastEnd = GST_BUFFER_OFFSET_END(b);
                ++log.count;
                return GST_PAD_PROBE_OK;
            },
            this, nullptr);
    }
};

struct EventLog : IGraphEvents {
    std::vector<TGraphEvent> events;
    std::thread::id thread;
    bool otherThread = false;
    void GraphEvent(const TGraphEvent& e) override {
        if (std::this_thread::get_id() != thread) {
            otherThread = true;
        }
        events.push_back(e);
    }
    int Count(TGraphEventKind kind) const {
        int n = 0;
        for (const auto& e : events) {
            n += e.Kind == kind ? 1 : 0;
        }
        return n;
    }
    const TGraphEvent* First(TGraphEventKind kind) const {
        for (const auto& e : events) {
            if (e.Kind == kind) {
                return &e;
            }
        }
        return nullptr;
    }
};

class RecordingBranchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        test::EnsureCoreApplication();
    }

    void SetUp() override {
        events.thread = std::this_thread::get_id();
        graph.SetEventReceiver(&events);
    }

    void TearDown() override {
        graph.Stop();
        graph.SetEventReceiver(nullptr);
    }

    GstElement* Add(const char* factory, const char* name,
                    std::initializer_list<std::pair<const char*, const char*>> props = {}) {
        auto e = MakeElement(factory, name);
        for (const auto& [k, v] : props) {
            gst_util_set_object_arg(G_OBJECT(e.get()), k, v);
        }
        graph.AddFilter(e.get());
        return e.get();
    }

    // A live picture (numbered frames at 50 per second) and a live tone, each ending in a tee
    // with a preview behind it that paces itself on the clock, as the window's does.
    void BuildPreview(bool withAudio) {
        GstElement* v = Add("videotestsrc", "v", {{"is-live", "true"}, {"pattern", "ball"}});
        GstElement* vcaps = Add("capsfilter", "vcaps");
        auto caps = GstCapsRef::adopt(
            gst_caps_from_string("video/x-raw,format=I420,width=160,height=120,framerate=50/1"));
        g_object_set(vcaps, "caps", caps.get(), nullptr);
        vtee = Add("tee", "infdecvideo");
        // Paced by the clock and never prerolling, as the window's sink.
        GstElement* vsink = Add("fakesink", "vpreview", {{"sync", "true"}, {"async", "false"}});
        graph.Connect(v, vcaps);
        graph.Connect(vcaps, vtee);
        graph.Connect(graph.TapTee(vtee).get(), Pad(vsink, PinDirection::Input, 0).get());
        preview.Watch(Pad(vsink, PinDirection::Input, 0).get());
        if (withAudio) {
            GstElement* a =
                Add("audiotestsrc", "a", {{"is-live", "true"}, {"samplesperbuffer", "960"}});
            atee = Add("tee", "infdecaudio");
            GstElement* asink = Add("fakesink", "apreview", {{"sync", "true"}, {"async", "false"}});
            graph.Connect(a, atee);
            graph.Connect(graph.TapTee(atee).get(), Pad(asink, PinDirection::Input, 0).get());
        }
    }

    // A recording of the picture (and the tone) into a motion-JPEG AVI.
    std::shared_ptr<TRecordingBranch> MakeRecording(const std::string& name,
                                                    const std::string& file, bool withAudio,
                                                    OffsetLog* videoLog = nullptr,
                                                    OffsetLog* audioLog = nullptr) {
        auto r = TRecordingBranch::Create(name);
        auto vin = r->AddInput(TInputRole::Video, vtee);
        if (videoLog != nullptr) {
            videoLog->Watch(vin.get());
        }
        GstElement* enc = r->Make("jpegenc");
        GstElement* mux = r->Make("avimux");
        GstElement* sink = r->Make("filesink");
        g_object_set(sink, "location", file.c_str(), nullptr);
        r->Link(vin.get(), Pad(enc, PinDirection::Input, 0).get());
        r->Link({enc, mux});
        if (withAudio) {
            auto ain = r->AddInput(TInputRole::Audio, atee);
            if (audioLog != nullptr) {
                audioLog->Watch(ain.get());
            }
            GstElement* conv = r->Make("audioconvert");
            r->Link(ain.get(), Pad(conv, PinDirection::Input, 0).get());
            r->Link({conv, mux});
        }
        r->Link({mux, sink});
        return r;
    }

    // The preview shows at least `frames` more frames within a second.
    bool PreviewMoves(int frames = 2) {
        const int from = preview.buffers.load();
        return test::SpinUntil([&] { return preview.buffers.load() >= from + frames; }, 2000ms);
    }

    std::string File(int n) { return test::sandboxRoot() + "/piece" + std::to_string(n) + ".avi"; }

    TFilterGraph graph{"rec"};
    EventLog events;
    Counter preview;
    GstElement* vtee = nullptr;
    GstElement* atee = nullptr;
};

// The file holds exactly the frames the branch let in, its headers say so, and it is indexed.
void ExpectComplete(const std::string& file, uint64_t videoFrames, uint64_t audioBuffers = 0) {
    const test::AviSummary s = test::ReadAvi(file);
    EXPECT_TRUE(s.readable) << file;
    EXPECT_TRUE(s.sizesConsistent) << file;
    // (The muxer marks an index only when there is something to index.)
    EXPECT_EQ(s.hasIndexFlag, videoFrames + audioBuffers > 0) << file;
    EXPECT_EQ(s.videoChunks, videoFrames) << file;
    EXPECT_EQ(s.avihTotalFrames, videoFrames) << file;
    EXPECT_EQ(s.audioChunks, audioBuffers) << file;
    EXPECT_EQ(s.idx1Entries, videoFrames + audioBuffers) << file;
}

} // namespace

TEST_F(RecordingBranchTest, startAndFinish200Times_whileThePreviewPlays_giveComplete_files) {
    BuildPreview(false);
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    ASSERT_TRUE(PreviewMoves());
    const size_t elements = GST_BIN_NUMCHILDREN(graph.Bin());
    for (int i = 0; i < 200; ++i) {
        auto r = MakeRecording("rec", File(i % 4), false);
        r->Attach(graph);
        ASSERT_TRUE(test::SpinUntil([&] { return r->Buffers(TInputRole::Video) >= 2; }))
            << "cycle " << i;
        std::optional<TRecordingResult> result;
        r->Finish([&](const TRecordingResult& res) { result = res; });
        ASSERT_TRUE(test::SpinUntil([&] { return result.has_value(); })) << "cycle " << i;
        ASSERT_TRUE(result->Finished) << "cycle " << i << ": " << result->Error;
        EXPECT_EQ(result->Buffers[int(TInputRole::Video)], r->Buffers(TInputRole::Video));
        ExpectComplete(File(i % 4), result->Buffers[int(TInputRole::Video)]);
        if (i % 50 == 0) {
            // What a player sees agrees.
            const QJsonArray streams = test::ffprobe(File(i % 4))["streams"].toArray();
            ASSERT_EQ(streams.size(), 1);
            EXPECT_EQ(streams[0]["nb_read_frames"].toString().toULongLong(),
                      result->Buffers[int(TInputRole::Video)]);
        }
        EXPECT_EQ(r->GetState(), TRecordingBranch::State::Done);
        EXPECT_EQ(GST_BIN_NUMCHILDREN(graph.Bin()), elements) << "cycle " << i;
        ASSERT_TRUE(PreviewMoves()) << "the preview froze after cycle " << i;
    }
    EXPECT_TRUE(graph.Running());
    EXPECT_EQ(events.Count(TGraphEventKind::RecordingDone), 200);
    EXPECT_EQ(events.Count(TGraphEventKind::Error), 0);
    EXPECT_FALSE(events.otherThread);
}

TEST_F(RecordingBranchTest, cut200Times_handsOverAtOneFrame_soEveryFrameIsInExactlyOneFile) {
    BuildPreview(false);
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    constexpr int kPieces = 201;
    std::vector<std::unique_ptr<OffsetLog>> logs;
    std::vector<std::optional<TRecordingResult>> results(kPieces);
    logs.push_back(std::make_unique<OffsetLog>());
    auto current = MakeRecording("piece0", File(0), false, logs.back().get());
    current->Attach(graph);
    for (int i = 1; i < kPieces; ++i) {
        ASSERT_TRUE(test::SpinUntil([&] { return current->Buffers(TInputRole::Video) >= 3; }))
            << "piece " << i - 1;
        logs.push_back(std::make_unique<OffsetLog>());
        auto next = MakeRecording("piece" + std::to_string(i), File(i), false, logs.back().get());
        current->CutTo(next, [&results, i](const TRecordingResult& r) { results[i - 1] = r; });
        current = next;
        ASSERT_TRUE(PreviewMoves(1)) << "the preview froze at cut " << i;
    }
    ASSERT_TRUE(test::SpinUntil([&] { return current->Buffers(TInputRole::Video) >= 3; }));
    current->Finish([&](const TRecordingResult& r) { results[kPieces - 1] = r; });
    ASSERT_TRUE(test::SpinUntil([&] {
        for (const auto& r : results) {
            if (!r) {
                return false;
            }
        }
        return true;
    }));
    for (int i = 0; i < kPieces; ++i) {
        SCOPED_TRACE("piece " + std::to_string(i));
        ASSERT_TRUE(results[i]->Finished) << results[i]->Error;
        const OffsetLog& log = *logs[i];
        EXPECT_TRUE(log.contiguous);
        EXPECT_EQ(log.count, results[i]->Buffers[int(TInputRole::Video)]);
        if (i > 0) {
            // The next file starts with the frame right after the last one of this file.
            EXPECT_EQ(log.first, logs[i - 1]->lastEnd);
        }
        ExpectComplete(File(i), log.count);
    }
    EXPECT_TRUE(graph.Running());
}

TEST_F(RecordingBranchTest, cutOfPictureAndSound_losesAndDoublesNoSample) {
    BuildPreview(true);
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    constexpr int kPieces = 41;
    std::vector<std::unique_ptr<OffsetLog>> video, audio;
    std::vector<std::optional<TRecordingResult>> results(kPieces);
    video.push_back(std::make_unique<OffsetLog>());
    audio.push_back(std::make_unique<OffsetLog>());
    auto current = MakeRecording("piece0", File(0), true, video.back().get(), audio.back().get());
    current->Attach(graph);
    for (int i = 1; i < kPieces; ++i) {
        ASSERT_TRUE(test::SpinUntil([&] {
            return current->Buffers(TInputRole::Video) >= 5 &&
                   current->Buffers(TInputRole::Audio) >= 3;
        }));
        video.push_back(std::make_unique<OffsetLog>());
        audio.push_back(std::make_unique<OffsetLog>());
        auto next = MakeRecording("piece" + std::to_string(i), File(i), true, video.back().get(),
                                  audio.back().get());
        current->CutTo(next, [&results, i](const TRecordingResult& r) { results[i - 1] = r; });
        current = next;
    }
    ASSERT_TRUE(test::SpinUntil([&] { return current->Buffers(TInputRole::Audio) >= 3; }));
    current->Finish([&](const TRecordingResult& r) { results[kPieces - 1] = r; });
    ASSERT_TRUE(test::SpinUntil([&] {
        return std::all_of(results.begin(), results.end(), [](const auto& r) { return r; });
    }));
    for (int i = 0; i < kPieces; ++i) {
        SCOPED_TRACE("piece " + std::to_string(i));
        ASSERT_TRUE(results[i]->Finished) << results[i]->Error;
        EXPECT_TRUE(video[i]->contiguous);
        EXPECT_TRUE(audio[i]->contiguous);
        if (i > 0) {
            EXPECT_EQ(video[i]->first, video[i - 1]->lastEnd);
            EXPECT_EQ(audio[i]->first, audio[i - 1]->lastEnd) << "samples lost or doubled";
        }
        ExpectComplete(File(i), video[i]->count, audio[i]->count);
    }
}

TEST_F(RecordingBranchTest, aWriterThatFails_endsItsRecordingAlone_andThePreviewGoesOn) {
    BuildPreview(false);
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    auto r = TRecordingBranch::Create("full");
    auto vin = r->AddInput(TInputRole::Video, vtee);
    GstElement* sink = r->Make("filesink");
    // Every write fails with "no space left".
    g_object_set(sink, "location", "/dev/full", "buffer-mode", 2 /* unbuffered */, nullptr);
    r->Link(vin.get(), Pad(sink, PinDirection::Input, 0).get());
    std::optional<TRecordingResult> result;
    r->Attach(graph);
    ASSERT_TRUE(test::SpinUntil([&] { return events.Count(TGraphEventKind::RecordingDone) > 0; }));
    r->Finish([&](const TRecordingResult& res) { result = res; });
    ASSERT_TRUE(result.has_value()) << "a finished branch answers at once";
    EXPECT_FALSE(result->Finished);
    EXPECT_FALSE(result->Error.empty());

    const TGraphEvent* error = events.First(TGraphEventKind::RecordingError);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->Branch, "full");
    EXPECT_EQ(error->Domain, GST_RESOURCE_ERROR);
    EXPECT_EQ(error->Code, GST_RESOURCE_ERROR_NO_SPACE_LEFT);
    const TGraphEvent* done = events.First(TGraphEventKind::RecordingDone);
    ASSERT_NE(done, nullptr);
    EXPECT_FALSE(done->Finished);
    EXPECT_EQ(events.Count(TGraphEventKind::Error), 0) << "the preview did not fail";
    EXPECT_FALSE(graph.Failed());
    EXPECT_TRUE(graph.Running());
    EXPECT_TRUE(graph.LastError().empty());
    EXPECT_TRUE(PreviewMoves(10));
    EXPECT_FALSE(events.otherThread);
}

TEST_F(RecordingBranchTest, aSourceWithNothingToSend_finishesAndCutsWithoutWaitingForData) {
    // A camcorder with its tape stopped: a live source that sends nothing.
    GstElement* src = Add("appsrc", "src", {{"is-live", "true"}, {"format", "time"}});
    auto caps = GstCapsRef::adopt(
        gst_caps_from_string("video/x-raw,format=GRAY8,width=16,height=16,framerate=25/1"));
    g_object_set(src, "caps", caps.get(), nullptr);
    vtee = Add("tee", "tee");
    GstElement* sink = Add("fakesink", "preview", {{"async", "false"}});
    graph.Connect(src, vtee);
    graph.Connect(graph.TapTee(vtee).get(), Pad(sink, PinDirection::Input, 0).get());
    ASSERT_TRUE(graph.Run());

    auto first = MakeRecording("first", File(0), false);
    first->Attach(graph);
    std::optional<TRecordingResult> firstDone, secondDone;
    auto second = MakeRecording("second", File(1), false);
    first->CutTo(second, [&](const TRecordingResult& r) { firstDone = r; });
    ASSERT_TRUE(test::SpinUntil([&] { return firstDone.has_value(); }, 5000ms));
    EXPECT_TRUE(firstDone->Finished) << firstDone->Error;
    const auto start = std::chrono::steady_clock::now();
    second->Finish([&](const TRecordingResult& r) { secondDone = r; });
    ASSERT_TRUE(test::SpinUntil([&] { return secondDone.has_value(); }, 5000ms));
    EXPECT_TRUE(secondDone->Finished) << secondDone->Error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the finish waited for data";
    ExpectComplete(File(0), 0);
    ExpectComplete(File(1), 0);
}

TEST_F(RecordingBranchTest, runOnARunningGraph_leavesItPlaying_withItsBaseTimeAndClock) {
    BuildPreview(false);
    std::atomic<int> pipelineChanges{0};
    GstElement* pipeline = graph.Element();
    graph.SetMessageHandler([&](GstMessage* m) {
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_STATE_CHANGED &&
            GST_MESSAGE_SRC(m) == GST_OBJECT_CAST(pipeline)) {
            ++pipelineChanges;
        }
    });
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(PreviewMoves());
    const GstClockTime base = gst_element_get_base_time(pipeline);
    auto clock = GstClockRef::adopt(gst_element_get_clock(pipeline));
    const int changes = pipelineChanges.load();
    graph.UseDefaultClock(); // a clock choice applies to the next run only
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(graph.Run());
    }
    ASSERT_TRUE(PreviewMoves());
    EXPECT_EQ(pipelineChanges.load(), changes) << "the running graph changed state";
    EXPECT_EQ(gst_element_get_base_time(pipeline), base);
    auto clockAfter = GstClockRef::adopt(gst_element_get_clock(pipeline));
    EXPECT_EQ(clockAfter.get(), clock.get());
    graph.SetMessageHandler(nullptr);
}

TEST_F(RecordingBranchTest, aPreviewElementThatFailsLater_reachesTheReceiver_andTheGraphSaysSo) {
    const std::string file = test::sandboxRoot() + "/broken.jpg";
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 4096; ++i) {
            out.put(static_cast<char>(i * 7 & 0xff));
        }
    }
    GstElement* src = Add("filesrc", "src", {{"location", file.c_str()}});
    GstElement* dec = Add("jpegdec", "dec");
    GstElement* sink = Add("fakesink", "sink");
    graph.Connect(src, dec);
    graph.Connect(dec, sink);
    // Starting is fine: the fault shows only once data flows, and Run does not wait for it.
    ASSERT_TRUE(graph.Run()) << graph.LastError();
    ASSERT_TRUE(test::SpinUntil([&] { return events.Count(TGraphEventKind::Error) > 0; }));
    EXPECT_TRUE(graph.Failed());
    EXPECT_FALSE(graph.Running());
    EXPECT_EQ(graph.LastError(), "No valid frames decoded before end of stream");
    EXPECT_EQ(events.First(TGraphEventKind::Error)->Source, "dec");
    EXPECT_EQ(events.First(TGraphEventKind::Error)->Domain, GST_STREAM_ERROR);
    EXPECT_FALSE(events.otherThread);
    // Once the controller has stopped it and mended the cause, the graph runs again.
    graph.Stop();
    const std::string good = test::sandboxRoot() + "/good.jpg";
    ASSERT_TRUE(
        test::runPipeline("videotestsrc num-buffers=1 ! jpegenc ! filesink location=" + good)
            .reachedEos);
    g_object_set(src, "location", good.c_str(), nullptr);
    const int errors = events.Count(TGraphEventKind::Error);
    EXPECT_TRUE(graph.Run()) << graph.LastError();
    EXPECT_FALSE(graph.Failed());
    EXPECT_TRUE(graph.LastError().empty());
    ASSERT_TRUE(test::SpinUntil([&] { return events.Count(TGraphEventKind::EndOfStream) > 0; }));
    EXPECT_EQ(events.Count(TGraphEventKind::Error), errors);
}

TEST_F(RecordingBranchTest, capsWatch_answersOnTheGraphsThread_onceTheFirstCapsPass) {
    BuildPreview(false);
    auto vpin = Pad(graph.FindFilter("vcaps").get(), PinDirection::Output, 0);
    std::optional<TStreamFacts> facts;
    std::thread::id where;
    graph.WhenCaps(vpin.get(), [&](const GstCapsRef& caps) {
        facts = FactsFromCaps(caps.get());
        where = std::this_thread::get_id();
    });
    EXPECT_FALSE(facts.has_value()) << "nothing flows yet";
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(test::SpinUntil([&] { return facts.has_value(); }));
    EXPECT_EQ(facts->width, 160);
    EXPECT_EQ(facts->height, 120);
    EXPECT_EQ(facts->frameDuration, 200000u);
    EXPECT_EQ(where, std::this_thread::get_id());
    // Known caps answer at once.
    bool now = false;
    graph.WhenCaps(vpin.get(), [&](const GstCapsRef&) { now = true; });
    EXPECT_TRUE(now);
}

TEST_F(RecordingBranchTest, attachingToATeeOutsideTheGraph_failsAndLeavesTheGraphAsItWas) {
    BuildPreview(false);
    ASSERT_TRUE(graph.Run());
    auto stray = MakeElement("tee", "stray");
    auto r = TRecordingBranch::Create("stray");
    auto in = r->AddInput(TInputRole::Video, stray.get());
    GstElement* sink = r->Make("fakesink");
    r->Link(in.get(), Pad(sink, PinDirection::Input, 0).get());
    const size_t elements = GST_BIN_NUMCHILDREN(graph.Bin());
    try {
        r->Attach(graph);
        FAIL() << "attached to a tee outside the graph";
    } catch (const EGraphError& e) {
        EXPECT_EQ(e.Code(), graph_error::kNotInGraph);
    }
    EXPECT_EQ(GST_BIN_NUMCHILDREN(graph.Bin()), elements);
    EXPECT_TRUE(graph.Recordings().empty());
    EXPECT_THROW(r->AddInput(TInputRole::Video, vtee), EGraphError) << "one input per role";
    EXPECT_TRUE(PreviewMoves());
}

TEST_F(RecordingBranchTest, stoppingTheGraph_finishesItsRecordingsFirst) {
    BuildPreview(true);
    ASSERT_TRUE(graph.Run());
    auto r = MakeRecording("rec", File(0), true);
    r->Attach(graph);
    ASSERT_TRUE(test::SpinUntil([&] { return r->Buffers(TInputRole::Video) >= 10; }));
    std::optional<TRecordingResult> result;
    r->Finish([&](const TRecordingResult& res) { result = res; });
    // The window closes before the finish completed: Stop waits for it.
    EXPECT_TRUE(graph.Stop());
    EXPECT_EQ(graph.State(), GST_STATE_NULL);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->Finished);
    ExpectComplete(File(0), result->Buffers[int(TInputRole::Video)],
                   result->Buffers[int(TInputRole::Audio)]);
}

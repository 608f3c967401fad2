// Recording branches leave nothing behind: after many starts, finishes and cuts on a live graph,
// the "leaks" tracer counts no more pads, elements, buffers or messages alive than before.

#include "graph/RecordingBranch.h"
#include "tests/support/EventLoop.h"
#include "tests/support/LeakCheck.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <optional>

using namespace vidorel;
using namespace std::chrono_literals;

namespace {

class RecordingLeakTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        test::EnsureCoreApplication();
    }

    void SetUp() override {
        if (!test::LeakTracerActive()) {
            GTEST_SKIP() << "needs GST_TRACERS=leaks (set by the test's CTest environment)";
        }
    }

    void BuildPreview() {
        for (const char* f : {"videotestsrc", "capsfilter", "tee", "queue", "fakesink"}) {
            auto e = MakeElement(f, f);
            graph.AddFilter(e.get());
        }
        GstElement* src = graph.FindFilter("videotestsrc").get();
        g_object_set(src, "is-live", TRUE, nullptr);
        g_object_set(graph.FindFilter("fakesink").get(), "async", FALSE, nullptr);
        auto caps = GstCapsRef::adopt(
            gst_caps_from_string("video/x-raw,format=I420,width=64,height=48,framerate=50/1"));
        g_object_set(graph.FindFilter("capsfilter").get(), "caps", caps.get(), nullptr);
        tee = graph.FindFilter("tee").get();
        graph.Connect(src, graph.FindFilter("capsfilter").get());
        graph.Connect(graph.FindFilter("capsfilter").get(), tee);
        graph.Connect(graph.TapTee(tee).get(),
                      Pad(graph.FindFilter("fakesink").get(), PinDirection::Input, 0).get());
    }

    std::shared_ptr<TRecordingBranch> Recording(int n) {
        auto r = TRecordingBranch::Create("rec" + std::to_string(n));
        auto in = r->AddInput(TInputRole::Video, tee);
        GstElement* enc = r->Make("jpegenc");
        GstElement* mux = r->Make("avimux");
        GstElement* sink = r->Make("filesink");
        const std::string file = test::sandboxRoot() + "/leak" + std::to_string(n % 2) + ".avi";
        g_object_set(sink, "location", file.c_str(), nullptr);
        r->Link(in.get(), Pad(enc, PinDirection::Input, 0).get());
        r->Link({enc, mux, sink});
        return r;
    }

    // Starts and finishes one recording, then cuts a second one into a third.
    void Cycle(int n) {
        auto r = Recording(n);
        r->Attach(graph);
        ASSERT_TRUE(test::SpinUntil([&] { return r->Buffers(TInputRole::Video) >= 2; }));
        std::optional<TRecordingResult> a, b;
        auto next = Recording(n + 1);
        r->CutTo(next, [&](const TRecordingResult& res) { a = res; });
        ASSERT_TRUE(test::SpinUntil([&] { return next->Buffers(TInputRole::Video) >= 2; }));
        next->Finish([&](const TRecordingResult& res) { b = res; });
        ASSERT_TRUE(test::SpinUntil([&] { return a && b; }));
        ASSERT_TRUE(a->Finished && b->Finished);
    }

    TFilterGraph graph{"leaks"};
    GstElement* tee = nullptr;
};

TEST_F(RecordingLeakTest, manyRecordingsAndCuts_leaveNoObjectAlive) {
    BuildPreview();
    ASSERT_TRUE(graph.Run());
    // One round first: caches and pools that live for the whole program are made now.
    Cycle(0);
    test::Spin(200ms);
    test::StartLeakTracking();
    for (int i = 1; i <= 30; ++i) {
        Cycle(2 * i);
    }
    // Pending completions and probe data go once the loop has run.
    test::Spin(300ms);
    const auto left = test::ObjectsLeftSinceStart();
    // Buffers, events and caps in flight in the preview come and go; what a branch is made of
    // must all be gone.
    for (const char* type : {"GstBin", "GstPad", "GstGhostPad", "GstProxyPad", "GstQueue",
                             "GstMessage", "GstFileSink", "GstAviMux", "GstJpegEnc", "GstQuery"}) {
        EXPECT_EQ(left.count(type), 0u) << type << " left behind:\n" << test::Describe(left);
    }
}

} // namespace

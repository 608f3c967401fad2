// The graph layer on real elements.

#include "filters/Registration.h"
#include "graph/FilterGraph.h"
#include "tests/support/EventLoop.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/Probes.h"
#include "tests/support/TestEnv.h"

#include <gst/app/gstappsrc.h>
#include <gst/video/colorbalance.h>
#include <gtest/gtest.h>

#include <QJsonArray>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace vidorel;

namespace {

class FilterGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        RegisterVidorelElements();
    }

    // Creates and adds an element from a factory with optional "name=value" properties.
    GstElement* Add(const char* factory, const char* name,
                    std::initializer_list<std::pair<const char*, const char*>> props = {}) {
        auto e = MakeElement(factory, name);
        for (const auto& [k, v] : props) {
            gst_util_set_object_arg(G_OBJECT(e.get()), k, v);
        }
        dm.fg().AddFilter(e.get());
        return e.get(); // the graph holds it
    }
    GstPadRef In(GstElement* e, int i = 0) { return Pad(e, PinDirection::Input, i); }
    GstPadRef Out(GstElement* e, int i = 0) { return Pad(e, PinDirection::Output, i); }

    // The graph as the data module holds it.
    struct {
        TFilterGraph graph{"fg"};
        TFilterGraph& fg() { return graph; }
    } dm;
};

using Counter = test::BufferCounter;

std::string What(const std::function<void()>& f) {
    try {
        f();
    } catch (const EGraphError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST_F(FilterGraphTest, errorText_isGStreamersTextFollowedByTheCode) {
    EGraphError e("no common format", 0x80040207);
    EXPECT_STREQ(e.what(), "no common format ($80040207).");
    EXPECT_EQ(e.Text(), "no common format");
    EXPECT_EQ(e.Code(), 0x80040207u);
}

TEST_F(FilterGraphTest, linkingPadsWhoseCapsCannotMeet_raisesTheGraphError) {
    GstElement* src = Add("audiotestsrc", "asrc");
    GstElement* conv = Add("videoconvert", "vconv");
    EXPECT_EQ(What([&] { dm.fg().Connect(src, conv); }),
              "could not link asrc:src to vconv:sink: no common format ($80040207).");
    // The graph stays usable: a good link still works.
    GstElement* sink = Add("fakesink", "sink");
    EXPECT_NO_THROW(dm.fg().Connect(src, sink));
    EXPECT_EQ(What([&] { dm.fg().Connect(src, conv); }),
              "could not link asrc:src to vconv:sink: was linked ($80040204).");
}

TEST_F(FilterGraphTest, missingFactory_andBadPadIndex_raiseTheGraphError) {
    TFilter filter("divx");
    filter.SetMoniker({"vidorel_no_such_element", {}, {}, {}});
    EXPECT_EQ(What([&] { filter.Attach(dm.fg()); }),
              "no element \"vidorel_no_such_element\" ($80040154).");
    EXPECT_FALSE(filter.Attached());

    GstElement* conv = Add("videoconvert", "vconv");
    EXPECT_EQ(What([&] { Pad(conv, PinDirection::Input, 1); }),
              "no input pad 1 on element vconv ($80040216).");
    EXPECT_FALSE(FindPad(conv, PinDirection::Output, 1));

    TFilter empty("test");
    EXPECT_EQ(What([&] { empty.Attach(dm.fg()); }), "no filter chosen for test ($80070057).");
}

TEST_F(FilterGraphTest, filter_attachesWithItsProperties_andDetachDropsItsLinks) {
    GstElement* src = Add("videotestsrc", "src");
    TFilter color1("color1");
    color1.SetMoniker({"videoconvert", {{"qos", "false"}}, {}, {}});
    color1.Attach(dm.fg());
    ASSERT_TRUE(color1.Attached());
    EXPECT_EQ(dm.fg().FindFilter("color1").get(), color1.Element());
    gboolean qos = TRUE;
    g_object_get(color1.Element(), "qos", &qos, nullptr);
    EXPECT_FALSE(qos);
    dm.fg().Connect(src, color1.Element());
    color1.Detach();
    EXPECT_FALSE(dm.fg().FindFilter("color1"));
    EXPECT_FALSE(gst_pad_is_linked(Out(src).get()));
    // Attached again under the same name.
    color1.Attach(dm.fg());
    EXPECT_TRUE(dm.fg().FindFilter("color1"));

    auto dup = MakeElement("identity", nullptr);
    EXPECT_EQ(What([&] { dm.fg().AddFilter(dup.get(), "color1"); }),
              "name \"color1\" is not unique in bin \"fg\" ($8004025e).");
}

TEST_F(FilterGraphTest, tappedTee_feedsEveryBranch_andRemovingABranchGivesTheOutputBack) {
    GstElement* src = Add("videotestsrc", "src", {{"is-live", "true"}});
    GstElement* tee = Add("tee", "infdecvideo");
    GstElement* preview = Add("fakesink", "preview", {{"sync", "false"}});
    dm.fg().Connect(src, tee);
    dm.fg().Connect(dm.fg().TapTee(tee).get(), In(preview).get());
    auto tap = dm.fg().TapTee(tee);
    GstElement* capture = Add("fakesink", "capture", {{"sync", "false"}});
    dm.fg().Connect(tap.get(), In(capture).get());
    EXPECT_EQ(Pads(tee, PinDirection::Output).size(), 2u);

    Counter a, b;
    a.Watch(In(preview).get());
    b.Watch(In(capture).get());
    ASSERT_TRUE(dm.fg().Run()) << dm.fg().LastError();
    for (int i = 0; i < 200 && (a.buffers < 5 || b.buffers < 5); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(dm.fg().Stop());
    EXPECT_GE(a.buffers, 5);
    EXPECT_GE(b.buffers, 5);

    auto queue = PadOwner(tap.get());
    dm.fg().RemoveFilter(capture);
    dm.fg().RemoveFilter(queue.get());
    EXPECT_EQ(Pads(tee, PinDirection::Output).size(), 1u);
    EXPECT_TRUE(dm.fg().Run()) << dm.fg().LastError();
    EXPECT_TRUE(dm.fg().Stop());
}

TEST_F(FilterGraphTest, muxerInputs_areRequestedByRole) {
    GstElement* mux = Add("avimux", "mux");
    auto video = dm.fg().RequestMuxerPad(mux, StreamRole::Video);
    auto audio = dm.fg().RequestMuxerPad(mux, StreamRole::Audio);
    EXPECT_TRUE(g_str_has_prefix(GST_PAD_NAME(video.get()), "video_"));
    EXPECT_TRUE(g_str_has_prefix(GST_PAD_NAME(audio.get()), "audio_"));
    GstElement* sink = Add("fakesink", "sink");
    EXPECT_EQ(What([&] { dm.fg().RequestMuxerPad(sink, StreamRole::Video); }),
              "element \"sink\" has no video input ($80040216).");
}

TEST_F(FilterGraphTest, linkFacts_comeFromTheNegotiatedCaps) {
    GstElement* v = Add("videotestsrc", "v", {{"is-live", "true"}});
    GstElement* vcaps = Add("capsfilter", "vcaps");
    auto caps = GstCapsRef::adopt(
        gst_caps_from_string("video/x-raw,format=I420,width=320,height=240,framerate=25/1"));
    g_object_set(vcaps, "caps", caps.get(), nullptr);
    GstElement* vsink = Add("fakesink", "vsink", {{"sync", "false"}});
    GstElement* a = Add("audiotestsrc", "a", {{"is-live", "true"}});
    GstElement* acaps = Add("capsfilter", "acaps");
    auto ac = GstCapsRef::adopt(
        gst_caps_from_string("audio/x-raw,format=S16LE,rate=48000,channels=2,layout=interleaved"));
    g_object_set(acaps, "caps", ac.get(), nullptr);
    GstElement* asink = Add("fakesink", "asink", {{"sync", "false"}});
    dm.fg().Connect(v, vcaps);
    dm.fg().Connect(vcaps, vsink);
    dm.fg().Connect(a, acaps);
    dm.fg().Connect(acaps, asink);

    // Before the run the fixed caps that the output offers already tell.
    TStreamFacts before = dm.fg().LinkFacts(Out(vcaps).get());
    EXPECT_EQ(before.width, 320);

    ASSERT_TRUE(dm.fg().Run()) << dm.fg().LastError();
    // Once data flows, the negotiated caps.
    ASSERT_TRUE(test::SpinUntil([&] {
        auto v = GstCapsRef::adopt(gst_pad_get_current_caps(In(vsink).get()));
        auto a = GstCapsRef::adopt(gst_pad_get_current_caps(Out(acaps).get()));
        return v && a;
    }));
    TStreamFacts video = dm.fg().LinkFacts(In(vsink).get());
    TStreamFacts audio = dm.fg().LinkFacts(Out(acaps).get());
    dm.fg().Stop();
    EXPECT_TRUE(video.IsVideo());
    EXPECT_EQ(video.width, 320);
    EXPECT_EQ(video.height, 240);
    EXPECT_EQ(video.frameDuration, 400000u);
    EXPECT_DOUBLE_EQ(video.frameRate, 25.0);
    EXPECT_TRUE(audio.IsAudio());
    EXPECT_EQ(audio.audioRate, 48000);
    EXPECT_EQ(audio.audioBits, 16);
    EXPECT_EQ(audio.audioChannels, 2);

    GstElement* lone = Add("identity", "lone");
    EXPECT_EQ(What([&] { dm.fg().LinkFacts(In(lone).get()); }),
              "pad lone:sink is not linked ($80040209).");
}

TEST_F(FilterGraphTest, upstreamSearch_findsElementsAndInterfaces) {
    GstElement* src = Add("videotestsrc", "src");
    GstElement* balance = Add("videobalance", "balance");
    GstElement* sink = Add("fakesink", "sink");
    dm.fg().Connect(src, balance);
    dm.fg().Connect(balance, sink);
    EXPECT_EQ(dm.fg().FindInterfaceUpstream(In(sink).get(), GST_TYPE_COLOR_BALANCE).get(), balance);
    auto found = dm.fg().FindUpstream(In(sink).get(), [](GstElement* e) {
        return g_str_equal(GST_OBJECT_NAME(gst_element_get_factory(e)), "videotestsrc");
    });
    EXPECT_EQ(found.get(), src);
    EXPECT_FALSE(dm.fg().FindInterfaceUpstream(Out(src).get(), GST_TYPE_COLOR_BALANCE));
}

TEST_F(FilterGraphTest, runAnswersFalse_whenAnElementFailsWhileStarting_andTheGraphStaysUsable) {
    GstElement* src = Add("filesrc", "src", {{"location", "/nonexistent/vidorel.avi"}});
    GstElement* sink = Add("fakesink", "sink");
    dm.fg().Connect(src, sink);
    EXPECT_FALSE(dm.fg().Run());
    EXPECT_EQ(dm.fg().LastError(), "Resource not found.");
    EXPECT_EQ(dm.fg().State(), GST_STATE_NULL);

    g_object_set(src, "location", "/dev/null", nullptr);
    EXPECT_TRUE(dm.fg().Run()) << dm.fg().LastError();
    EXPECT_TRUE(dm.fg().LastError().empty());
    dm.fg().Stop();
}

TEST_F(FilterGraphTest, liveGraph_whoseDeviceSendsNothingYet_runs_andPlaysOnceDataComes) {
    // A camcorder with its tape stopped: a live source that has nothing to give.
    GstElement* src = Add("appsrc", "src", {{"is-live", "true"}, {"format", "time"}});
    auto caps = GstCapsRef::adopt(gst_caps_from_string("video/x-raw,format=GRAY8,width=4,"
                                                       "height=4,framerate=25/1"));
    g_object_set(src, "caps", caps.get(), nullptr);
    GstElement* sink = Add("fakesink", "sink");
    dm.fg().Connect(src, sink);
    ASSERT_TRUE(dm.fg().Run()) << dm.fg().LastError();
    GstBuffer* frame = gst_buffer_new_allocate(nullptr, 16, nullptr);
    gst_buffer_memset(frame, 0, 0x80, 16);
    ASSERT_EQ(gst_app_src_push_buffer(GST_APP_SRC(src), frame), GST_FLOW_OK);
    GstState state = GST_STATE_VOID_PENDING;
    gst_element_get_state(dm.fg().Element(), &state, nullptr, 5 * GST_SECOND);
    EXPECT_EQ(state, GST_STATE_PLAYING);
    dm.fg().Stop();
}

TEST_F(FilterGraphTest, elementClock_fallsBackToTheDefault_whenTheElementHasNone) {
    GstElement* src = Add("videotestsrc", "src", {{"is-live", "true"}});
    GstElement* sink = Add("fakesink", "sink");
    dm.fg().Connect(src, sink);
    dm.fg().UseClockOf(sink);
    EXPECT_TRUE(dm.fg().Run());
    EXPECT_FALSE(dm.fg().ClockFromElement());
    dm.fg().Stop();
    dm.fg().UseDefaultClock();
    EXPECT_TRUE(dm.fg().Run());
    dm.fg().Stop();
}

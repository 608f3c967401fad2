// The own-filter framework's contract, checked on two small filters through GstHarness.

#include "filters/BaseClass.h"

#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include "tests/support/Probes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace vidorel;

namespace {

constexpr const char* kGrayCaps =
    "video/x-raw, format=GRAY8, width=(int)[1, 1000], height=(int)[1, 1000], "
    "framerate=(fraction)[0/1, 1000/1]";

// Copying filter: inverts the bytes; drops while `drop` is set; throws while `boom` is set.
// Refuses frames wider than 640 (a type check the template alone does not make).
class TestCopy : public TBCTransformFilter {
public:
    TestCopy() : TBCTransformFilter("Test Copy") {}
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps* caps) override {
        gint width = 0;
        gst_structure_get_int(gst_caps_get_structure(caps, 0), "width", &width);
        return width <= 640 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const GstCaps* in, const GstCaps* out) override {
        return gst_caps_is_equal(in, out) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DecideBufferSize(const GstCaps*, TBufferProps& props) override {
        decidedSize = props.size;
        props.buffers = 2;
        return S_OK;
    }
    HRESULT GetMediaType(int position, const GstCaps* in, GstCapsRef& out) override {
        if (position > 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        out = GstCapsRef::adopt(gst_caps_copy(in));
        return S_OK;
    }
    HRESULT Transform(GstBuffer* in, GstBuffer* out) override {
        if (boom) {
            throw std::runtime_error("boom");
        }
        if (drop) {
            return S_FALSE;
        }
        GstMapInfo mi, mo;
        gst_buffer_map(in, &mi, GST_MAP_READ);
        gst_buffer_map(out, &mo, GST_MAP_WRITE);
        for (gsize i = 0; i < mi.size && i < mo.size; ++i) {
            mo.data[i] = static_cast<guint8>(255 - mi.data[i]);
        }
        gst_buffer_unmap(out, &mo);
        gst_buffer_unmap(in, &mi);
        return failWith;
    }

    std::atomic<bool> drop{false};
    std::atomic<bool> boom{false};
    HRESULT failWith = S_OK;
    guint decidedSize = 0;
};
VIDOREL_DEFINE_FILTER(TestCopy, "vidoreltest_copy", "Marlott Test Copy", "Filter/Video", "test",
                      kGrayCaps, kGrayCaps)

// In-place filter: adds one to every byte; counts its hooks; drops while `drop` is set.
// `slowTransform` makes every Transform last a while to let a stop race it.
class TestInPlace : public TBCTransInPlaceFilter {
public:
    TestInPlace() : TBCTransInPlaceFilter("Test InPlace", true) {}
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps*) override {
        return refuseCaps ? VFW_E_TYPE_NOT_ACCEPTED : S_OK;
    }
    HRESULT StartStreaming() override {
        ++starts;
        return startResult;
    }
    HRESULT StopStreaming() override {
        ++stops;
        if (inTransform) {
            overlapped = true;
        }
        return S_OK;
    }
    HRESULT Stop() override {
        ++stopOverrides;
        return TBCTransInPlaceFilter::Stop();
    }
    HRESULT Transform(GstBuffer* buffer) override {
        inTransform = true;
        if (slowTransform) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        lastSeen = buffer;
        HRESULT hr = S_OK;
        if (drop) {
            hr = S_FALSE;
        } else {
            GstMapInfo m;
            gst_buffer_map(buffer, &m, GST_MAP_READWRITE);
            for (gsize i = 0; i < m.size; ++i) {
                ++m.data[i];
            }
            gst_buffer_unmap(buffer, &m);
        }
        inTransform = false;
        return hr;
    }

    std::atomic<int> starts{0}, stops{0}, stopOverrides{0};
    std::atomic<bool> drop{false}, slowTransform{false}, inTransform{false}, overlapped{false};
    std::atomic<bool> refuseCaps{false};
    HRESULT startResult = S_OK;
    GstBuffer* lastSeen = nullptr;
};
VIDOREL_DEFINE_FILTER(TestInPlace, "vidoreltest_inplace", "Marlott Test InPlace", "Filter", "test",
                      "ANY", "ANY")

// The same in-place filter with a template that names a format.
class TestInPlaceGray : public TestInPlace {
public:
    static const FilterDescriptor& Descriptor();
};
VIDOREL_DEFINE_FILTER(TestInPlaceGray, "vidoreltest_inplace_gray", "Marlott Test InPlace Gray",
                      "Filter", "test", kGrayCaps, kGrayCaps)

// Copying filter (so caps queries go through GetMediaType) that writes a buffer of its own:
// one 0xAB byte before each output while `extra` is set, and a 4-byte 0x4E ("header") at the end
// of the stream, as a file writer rewrites its header.
class TestWriter : public TBCTransformFilter {
public:
    TestWriter() : TBCTransformFilter("Test Writer") {}
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps*) override { return S_OK; }
    HRESULT CheckTransform(const GstCaps*, const GstCaps*) override { return S_OK; }
    HRESULT DecideBufferSize(const GstCaps*, TBufferProps&) override { return S_OK; }
    HRESULT GetMediaType(int position, const GstCaps* in, GstCapsRef& out) override {
        if (position > 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        out = GstCapsRef::adopt(gst_caps_copy(in));
        return S_OK;
    }
    HRESULT Transform(GstBuffer* in, GstBuffer* out) override {
        if (extra) {
            GstBuffer* b = gst_buffer_new_allocate(nullptr, 1, nullptr);
            gst_buffer_memset(b, 0, 0xAB, 1);
            transformDelivered = Deliver(b);
        }
        GstMapInfo mi, mo;
        gst_buffer_map(in, &mi, GST_MAP_READ);
        gst_buffer_map(out, &mo, GST_MAP_WRITE);
        std::memcpy(mo.data, mi.data, std::min(mi.size, mo.size));
        gst_buffer_unmap(out, &mo);
        gst_buffer_unmap(in, &mi);
        return S_OK;
    }
    HRESULT EndOfStream() override {
        inEndOfStream = true;
        GstBuffer* header = gst_buffer_new_allocate(nullptr, 4, nullptr);
        gst_buffer_memset(header, 0, 0x4E, 4);
        endDelivered = Deliver(header);
        return S_OK;
    }

    std::atomic<bool> extra{false};
    std::atomic<bool> inEndOfStream{false};
    std::atomic<GstFlowReturn> transformDelivered{GST_FLOW_CUSTOM_ERROR};
    std::atomic<GstFlowReturn> endDelivered{GST_FLOW_CUSTOM_ERROR};
};
VIDOREL_DEFINE_FILTER(TestWriter, "vidoreltest_writer", "Marlott Test Writer", "Filter/Video",
                      "test", kGrayCaps, kGrayCaps)

// Runs `fn` on a thread of its own and answers whether it returned within `limit`. A call that
// never returns is left behind, so a deadlock fails the test instead of hanging it.
bool ReturnsWithin(std::chrono::seconds limit, std::function<void()> fn) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([fn = std::move(fn), done] {
        fn();
        done->set_value();
    }).detach();
    return finished.wait_for(limit) == std::future_status::ready;
}

// Polls `condition` until it holds, for at most `limit`.
bool BecomesTrue(std::chrono::seconds limit, const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class FrameworkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(RegisterFilter<TestCopy>(nullptr));
        ASSERT_TRUE(RegisterFilter<TestInPlace>(nullptr));
        ASSERT_TRUE(RegisterFilter<TestInPlaceGray>(nullptr));
        ASSERT_TRUE(RegisterFilter<TestWriter>(nullptr));
    }

    void Open(const char* factory,
              const char* caps = "video/x-raw, format=GRAY8, width=4, height=2, "
                                 "framerate=25/1") {
        h = gst_harness_new(factory);
        bus = GstBusRef::adopt(gst_bus_new());
        gst_element_set_bus(h->element, bus.get());
        if (caps != nullptr) {
            gst_harness_set_src_caps_str(h, caps);
        }
    }
    void TearDown() override {
        // Queued messages hold the element, which holds the bus: flush to break the cycle.
        if (bus) {
            gst_bus_set_flushing(bus.get(), TRUE);
        }
        if (h != nullptr) {
            gst_harness_teardown(h);
        }
    }

    GstBuffer* Frame(guint8 value, GstClockTime pts) {
        GstBuffer* b = gst_buffer_new_allocate(nullptr, 8, nullptr);
        gst_buffer_memset(b, 0, value, 8);
        GST_BUFFER_PTS(b) = pts;
        GST_BUFFER_DURATION(b) = 40 * GST_MSECOND;
        return b;
    }
    int CountMessages(GstMessageType type) {
        int n = 0;
        while (auto m = GstMessageRef::adopt(gst_bus_pop_filtered(bus.get(), type))) {
            ++n;
        }
        return n;
    }
    // A new streaming run: READY and back to PLAYING, with the stream's sticky events again.
    void Restart() {
        ASSERT_EQ(gst_element_set_state(h->element, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
        gst_harness_play(h);
        gst_harness_push_event(h, gst_event_new_stream_start("again"));
        gst_harness_set_src_caps_str(
            h, "video/x-raw, format=GRAY8, width=4, height=2, framerate=25/1");
    }
    template <class T> T* Filter() { return FilterCast<T>(h->element); }
    // What filesrc sends before its data: a stream start and a byte segment, no caps.
    void StartWithoutCaps() {
        gst_harness_push_event(h, gst_event_new_stream_start("capsless"));
        GstSegment bytes;
        gst_segment_init(&bytes, GST_FORMAT_BYTES);
        gst_harness_push_event(h, gst_event_new_segment(&bytes));
    }

    GstHarness* h = nullptr;
    GstBusRef bus;
};

guint8 FirstByte(GstBuffer* b) {
    guint8 v = 0;
    gst_buffer_extract(b, 0, &v, 1);
    return v;
}

} // namespace

TEST_F(FrameworkTest, copyingFilter_fillsANewBuffer_keepingTimesAndInput) {
    Open("vidoreltest_copy");
    GstBuffer* in = Frame(10, 2 * GST_SECOND);
    gst_buffer_ref(in);
    ASSERT_EQ(gst_harness_push(h, in), GST_FLOW_OK);
    auto out = GstBufferRef::adopt(gst_harness_pull(h));
    ASSERT_TRUE(out);
    EXPECT_NE(out.get(), in);
    EXPECT_EQ(FirstByte(out.get()), 245);
    EXPECT_EQ(FirstByte(in), 10);
    EXPECT_EQ(GST_BUFFER_PTS(out.get()), 2 * GST_SECOND);
    EXPECT_EQ(GST_BUFFER_DURATION(out.get()), 40 * GST_MSECOND);
    // The framework proposed the raw frame size (4 × 2 GRAY8, rows padded to 4 bytes).
    EXPECT_EQ(Filter<TestCopy>()->decidedSize, 8u);
    gst_buffer_unref(in);
}

TEST_F(FrameworkTest, checkInputType_refusesCaps_theTemplateAllows) {
    Open("vidoreltest_copy", "video/x-raw, format=GRAY8, width=800, height=2, framerate=25/1");
    EXPECT_EQ(gst_harness_push(h, Frame(1, 0)), GST_FLOW_NOT_NEGOTIATED);
    EXPECT_EQ(gst_harness_buffers_received(h), 0u);
}

TEST_F(FrameworkTest, copyingFilter_offersOnlyWhatGetMediaTypeGives) {
    Open("vidoreltest_copy", nullptr);
    auto caps =
        GstCapsRef::adopt(gst_caps_from_string("video/x-raw, format=GRAY8, width=320, height=240"));
    auto src = GstPadRef::adopt(gst_element_get_static_pad(h->element, "src"));
    auto sink = GstPadRef::adopt(gst_element_get_static_pad(h->element, "sink"));
    // Query what the src pad can produce given fixed input caps upstream.
    auto out = GstCapsRef::adopt(gst_pad_query_caps(src.get(), nullptr));
    EXPECT_FALSE(gst_caps_is_empty(out.get()));
    EXPECT_TRUE(gst_pad_query_accept_caps(sink.get(), caps.get()));
    auto wide =
        GstCapsRef::adopt(gst_caps_from_string("video/x-raw, format=GRAY8, width=800, height=2, "
                                               "framerate=25/1"));
    EXPECT_FALSE(gst_pad_query_accept_caps(sink.get(), wide.get()));
}

TEST_F(FrameworkTest, sFalse_dropsEverySample_andPostsOneQualityNoticePerRun) {
    Open("vidoreltest_copy");
    auto* f = Filter<TestCopy>();
    ASSERT_NE(f, nullptr);
    f->drop = true;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(gst_harness_push(h, Frame(1, i * 40 * GST_MSECOND)), GST_FLOW_OK);
    }
    EXPECT_EQ(gst_harness_buffers_received(h), 0u);
    EXPECT_EQ(f->SamplesDropped(), 5u);
    EXPECT_EQ(CountMessages(GST_MESSAGE_QOS), 1);

    // The next delivered sample follows a gap: it is marked DISCONT.
    f->drop = false;
    ASSERT_EQ(gst_harness_push(h, Frame(1, GST_SECOND)), GST_FLOW_OK);
    auto out = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(out.get(), GST_BUFFER_FLAG_DISCONT));

    Restart();
    f->drop = true;
    for (int i = 0; i < 3; ++i) {
        gst_harness_push(h, Frame(1, i * 40 * GST_MSECOND));
    }
    EXPECT_EQ(CountMessages(GST_MESSAGE_QOS), 1);
}

TEST_F(FrameworkTest, inPlace_transformsTheWritableUpstreamBuffer_withoutACopy) {
    Open("vidoreltest_inplace");
    GstBuffer* in = Frame(7, 0);
    ASSERT_EQ(gst_harness_push(h, in), GST_FLOW_OK);
    auto out = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_EQ(out.get(), in);
    EXPECT_EQ(FirstByte(out.get()), 8);
}

TEST_F(FrameworkTest, inPlace_copiesASharedBuffer_beforeChangingIt) {
    Open("vidoreltest_inplace");
    GstBuffer* in = Frame(7, 0);
    gst_buffer_ref(in); // upstream keeps a reference: not writable
    ASSERT_EQ(gst_harness_push(h, in), GST_FLOW_OK);
    auto out = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_NE(out.get(), in);
    EXPECT_EQ(FirstByte(out.get()), 8);
    EXPECT_EQ(FirstByte(in), 7);
    gst_buffer_unref(in);
}

TEST_F(FrameworkTest, startAndStopHooks_runOncePerRun_throughTheStopOverride) {
    Open("vidoreltest_inplace");
    auto* f = Filter<TestInPlace>();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->starts, 1);
    EXPECT_EQ(f->stops, 0);
    Restart();
    EXPECT_EQ(f->starts, 2);
    EXPECT_EQ(f->stops, 1);
    EXPECT_EQ(f->stopOverrides, 1);
}

TEST_F(FrameworkTest, failedStartStreaming_failsTheStateChange) {
    Open("vidoreltest_inplace");
    auto* f = Filter<TestInPlace>();
    ASSERT_EQ(gst_element_set_state(h->element, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
    f->startResult = E_FAIL;
    EXPECT_EQ(gst_element_set_state(h->element, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    EXPECT_EQ(CountMessages(GST_MESSAGE_ERROR), 1);
}

TEST_F(FrameworkTest, stop_neverRunsWhileTransformDoes) {
    Open("vidoreltest_inplace");
    auto* f = Filter<TestInPlace>();
    f->slowTransform = true;
    std::atomic<bool> done{false};
    std::thread pusher([&] {
        for (int i = 0; i < 20 && !done; ++i) {
            if (gst_harness_push(h, Frame(1, i * GST_MSECOND)) != GST_FLOW_OK) {
                break;
            }
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gst_element_set_state(h->element, GST_STATE_READY);
    done = true;
    pusher.join();
    EXPECT_GE(f->stops, 1);
    EXPECT_FALSE(f->overlapped);
}

TEST_F(FrameworkTest, exceptionInTransform_becomesAnElementError) {
    Open("vidoreltest_copy");
    Filter<TestCopy>()->boom = true;
    EXPECT_EQ(gst_harness_push(h, Frame(1, 0)), GST_FLOW_ERROR);
    auto msg = GstMessageRef::adopt(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    ASSERT_TRUE(msg);
    GErrorRef err;
    GCharRef debug;
    gst_message_parse_error(msg.get(), &err.out(), &debug.out());
    EXPECT_NE(std::strstr(debug.get(), "boom"), nullptr);
}

TEST_F(FrameworkTest, failureCode_fromTransform_isAnErrorNotADrop) {
    Open("vidoreltest_copy");
    Filter<TestCopy>()->failWith = E_FAIL;
    EXPECT_EQ(gst_harness_push(h, Frame(1, 0)), GST_FLOW_ERROR);
    EXPECT_EQ(CountMessages(GST_MESSAGE_ERROR), 1);
    EXPECT_EQ(CountMessages(GST_MESSAGE_QOS), 0);
}

TEST_F(FrameworkTest, filterCast_findsTheObject_onlyForItsOwnClass) {
    Open("vidoreltest_inplace");
    EXPECT_NE(FilterCast<TestInPlace>(h->element), nullptr);
    EXPECT_EQ(FilterCast<TestCopy>(h->element), nullptr);
    EXPECT_NE(FilterObject(h->element), nullptr);
    auto identity = GstElementRef::adopt(
        GST_ELEMENT_CAST(gst_object_ref_sink(gst_element_factory_make("identity", nullptr))));
    EXPECT_EQ(FilterCast<TestInPlace>(identity.get()), nullptr);
    EXPECT_STREQ(FilterCast<TestInPlace>(h->element)->Name(), "Test InPlace");
}

// ---- the receive lock and pushes ----

// What reached the harness's sink pad, in order: "B<first byte>" for buffers, event names;
// and for each, whether another thread could take the filter's receive lock meanwhile.
struct Arrivals {
    TBCTransformFilter* filter = nullptr;
    std::mutex lock;
    std::vector<std::string> items;
    int pushedUnderLock = 0;
    static GstPadProbeReturn Record(GstPad*, GstPadProbeInfo* info, gpointer data) {
        auto* self = static_cast<Arrivals*>(data);
        std::string item;
        if (GST_IS_BUFFER(GST_PAD_PROBE_INFO_DATA(info))) {
            item = "B" + std::to_string(FirstByte(GST_PAD_PROBE_INFO_BUFFER(info)));
        } else if (GST_IS_EVENT(GST_PAD_PROBE_INFO_DATA(info))) {
            item = GST_EVENT_TYPE_NAME(GST_PAD_PROBE_INFO_EVENT(info));
        }
        bool free = false;
        std::thread([&] {
            free = self->filter->ReceiveLock().try_lock();
            if (free) {
                self->filter->ReceiveLock().unlock();
            }
        }).join();
        std::lock_guard l(self->lock);
        self->items.push_back(item);
        self->pushedUnderLock += free ? 0 : 1;
        return GST_PAD_PROBE_OK;
    }
};

TEST_F(FrameworkTest, buffersDeliveredFromHooks_goDownstreamFirst_inOrder) {
    Open("vidoreltest_writer");
    auto* f = Filter<TestWriter>();
    ASSERT_NE(f, nullptr);
    Arrivals arrivals;
    arrivals.filter = f;
    gst_pad_add_probe(h->sinkpad,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &Arrivals::Record, &arrivals, nullptr);
    f->extra = true;
    ASSERT_EQ(gst_harness_push(h, Frame(7, 0)), GST_FLOW_OK);
    EXPECT_EQ(f->transformDelivered.load(), GST_FLOW_OK) << "queued until the lock is released";
    f->extra = false;
    ASSERT_EQ(gst_harness_push(h, Frame(8, 40 * GST_MSECOND)), GST_FLOW_OK);
    ASSERT_TRUE(gst_harness_push_event(h, gst_event_new_eos()));
    EXPECT_EQ(f->endDelivered.load(), GST_FLOW_OK);
    std::lock_guard l(arrivals.lock);
    EXPECT_EQ(arrivals.items, (std::vector<std::string>{"B171", "B7", "B8", "B78", "eos"}));
    EXPECT_EQ(arrivals.pushedUnderLock, 0);
}

TEST_F(FrameworkTest, failedDelivery_fromTransform_isTheFlowUpstreamHears) {
    Open("vidoreltest_writer");
    auto* f = Filter<TestWriter>();
    // Downstream answers end-of-stream to every buffer from now on.
    gst_pad_add_probe(
        h->sinkpad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, gpointer) {
            gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
            GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_EOS;
            return GST_PAD_PROBE_HANDLED;
        },
        nullptr, nullptr);
    f->extra = true;
    EXPECT_EQ(gst_harness_push(h, Frame(7, 0)), GST_FLOW_EOS);
    EXPECT_EQ(f->transformDelivered.load(), GST_FLOW_OK) << "the filter heard of it later";
}

// A file writer's end-of-stream rewrite pushes into a full queue while another thread asks
// for caps, and a flush is what ends the wait: none of that may wait for the receive lock.
TEST_F(FrameworkTest, endOfStreamPushIntoAFullQueue_blocksNeitherCapsQueriesNorTheFlush) {
    h = gst_harness_new_parse("vidoreltest_writer name=writer ! queue name=q max-size-buffers=1 "
                              "max-size-bytes=0 max-size-time=0 ! fakesink name=sink sync=false");
    ASSERT_NE(h, nullptr);
    gst_harness_set_src_caps_str(h, "video/x-raw, format=GRAY8, width=4, height=2, framerate=25/1");
    auto writer = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(h->element), "writer"));
    auto sink = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(h->element), "sink"));
    auto* f = FilterCast<TestWriter>(writer.get());
    ASSERT_NE(f, nullptr);
    // The sink never takes a buffer: the queue's thread waits with the first one, the queue
    // holds the second, and the third push (the header) waits for room.
    auto sinkPad = GstPadRef::adopt(gst_element_get_static_pad(sink.get(), "sink"));
    const gulong block = gst_pad_add_probe(
        sinkPad.get(),
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        [](GstPad*, GstPadProbeInfo*, gpointer) { return GST_PAD_PROBE_OK; }, nullptr, nullptr);
    ASSERT_EQ(gst_harness_push(h, Frame(1, 0)), GST_FLOW_OK);
    ASSERT_EQ(gst_harness_push(h, Frame(2, 40 * GST_MSECOND)), GST_FLOW_OK);

    std::atomic<bool> eosReturned{false};
    GstHarness* harness = h;
    std::thread streaming([harness, &eosReturned] {
        gst_harness_push_event(harness, gst_event_new_eos());
        eosReturned = true;
    });
    ASSERT_TRUE(BecomesTrue(std::chrono::seconds(10), [&] { return f->inEndOfStream.load(); }));

    auto src = GstPadRef::adopt(gst_element_get_static_pad(writer.get(), "src"));
    auto in = GstPadRef::adopt(gst_element_get_static_pad(writer.get(), "sink"));
    const bool answered = ReturnsWithin(std::chrono::seconds(10), [&] {
        auto caps = GstCapsRef::adopt(
            gst_caps_from_string("video/x-raw, format=GRAY8, width=4, height=2, framerate=25/1"));
        auto srcCaps = GstCapsRef::adopt(gst_pad_query_caps(src.get(), nullptr));
        auto sinkCaps = GstCapsRef::adopt(gst_pad_query_caps(in.get(), nullptr));
        gst_pad_query_accept_caps(in.get(), caps.get());
    });
    if (!answered) {
        streaming.detach();
        h = nullptr; // stuck for good: left behind rather than torn down
        FAIL() << "a caps query waited for the receive lock while the header push was blocked";
    }
    EXPECT_FALSE(eosReturned.load()) << "the header push is still waiting for room";

    const bool flushed = ReturnsWithin(std::chrono::seconds(10), [harness] {
        gst_harness_push_event(harness, gst_event_new_flush_start());
    });
    const bool unblocked =
        flushed && BecomesTrue(std::chrono::seconds(10), [&] { return eosReturned.load(); });
    if (!unblocked) {
        streaming.detach();
        h = nullptr;
        FAIL() << (flushed ? "the flush did not end the blocked push"
                           : "the flush waited for the receive lock");
    }
    streaming.join();
    EXPECT_EQ(f->endDelivered.load(), GST_FLOW_OK);
    gst_harness_push_event(h, gst_event_new_flush_stop(TRUE));
    gst_pad_remove_probe(sinkPad.get(), block);
}

// ---- streams without caps ----

TEST_F(FrameworkTest, inPlaceFilterWithAnyTemplate_takesAStreamWithoutCaps_asIdentityDoes) {
    Open("vidoreltest_inplace", nullptr);
    StartWithoutCaps();
    auto* f = Filter<TestInPlace>();
    GstBuffer* in = Frame(7, GST_CLOCK_TIME_NONE);
    ASSERT_EQ(gst_harness_push(h, in), GST_FLOW_OK);
    auto out = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_EQ(out.get(), in) << "the writable buffer itself, in place";
    EXPECT_EQ(FirstByte(out.get()), 8);
    EXPECT_EQ(f->SamplesProcessed(), 1u);

    // A shared buffer is copied before the change, as with caps.
    GstBuffer* shared = Frame(20, GST_CLOCK_TIME_NONE);
    gst_buffer_ref(shared);
    ASSERT_EQ(gst_harness_push(h, shared), GST_FLOW_OK);
    out = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_NE(out.get(), shared);
    EXPECT_EQ(FirstByte(out.get()), 21);
    EXPECT_EQ(FirstByte(shared), 20);
    gst_buffer_unref(shared);

    // S_FALSE drops, with one quality notice; the next buffer that goes is DISCONT.
    f->drop = true;
    EXPECT_EQ(gst_harness_push(h, Frame(1, GST_CLOCK_TIME_NONE)), GST_FLOW_OK);
    EXPECT_EQ(gst_harness_push(h, Frame(1, GST_CLOCK_TIME_NONE)), GST_FLOW_OK);
    EXPECT_EQ(gst_harness_buffers_received(h), 2u);
    EXPECT_EQ(CountMessages(GST_MESSAGE_QOS), 1);
    f->drop = false;
    ASSERT_EQ(gst_harness_push(h, Frame(30, GST_CLOCK_TIME_NONE)), GST_FLOW_OK);
    out = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_EQ(FirstByte(out.get()), 31);
    EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(out.get(), GST_BUFFER_FLAG_DISCONT));
    EXPECT_EQ(CountMessages(GST_MESSAGE_ERROR), 0);
}

TEST_F(FrameworkTest, streamWithoutCaps_isRefused_byFiltersWhoseTemplateNamesAFormat) {
    for (const char* factory : {"vidoreltest_copy", "vidoreltest_inplace_gray"}) {
        Open(factory, nullptr);
        StartWithoutCaps();
        EXPECT_EQ(gst_harness_push(h, Frame(1, 0)), GST_FLOW_NOT_NEGOTIATED) << factory;
        EXPECT_EQ(gst_harness_buffers_received(h), 0u) << factory;
        gst_bus_set_flushing(bus.get(), TRUE);
        gst_harness_teardown(h);
        h = nullptr;
        bus = GstBusRef();
    }
}

TEST_F(FrameworkTest, anyTemplateFilter_thatRefusedTheCaps_refusesTheirBuffers) {
    Open("vidoreltest_inplace", nullptr);
    Filter<TestInPlace>()->refuseCaps = true;
    gst_harness_set_src_caps_str(h, "video/x-raw, format=GRAY8, width=4, height=2, "
                                    "framerate=25/1");
    EXPECT_EQ(gst_harness_push(h, Frame(1, 0)), GST_FLOW_NOT_NEGOTIATED);
    EXPECT_EQ(gst_harness_buffers_received(h), 0u);

    // What a run saw ends with it: in the next one, without caps, the stream goes through. (The
    // harness would send its caps again: they are taken off its pad.)
    ASSERT_EQ(gst_element_set_state(h->element, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
    test::ForgetStickyCaps(h->srcpad);
    gst_harness_play(h);
    StartWithoutCaps();
    EXPECT_EQ(gst_harness_push(h, Frame(1, 0)), GST_FLOW_OK);
    EXPECT_EQ(gst_harness_buffers_received(h), 1u);
}

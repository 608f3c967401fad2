// The resizer: its size rule, negotiation in a real pipeline, and the pictures it makes.

#include "filters/Registration.h"
#include "filters/zv_resizer.h"

#include <gst/app/gstappsink.h>
#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>

using namespace vidorel;

namespace {

constexpr int kNative = TZV_Resizer::kRatioNative;
constexpr int k4x3 = TZV_Resizer::kRatio4x3;
constexpr int k16x9 = TZV_Resizer::kRatio16x9;

ResizerSize Out(int w, int h, int mode) {
    return ResizerOutputSize(w, h, true, mode);
}

class ResizerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        RegisterVidorelElements();
    }
};

std::string BgrCaps(int w, int h) {
    return "video/x-raw, format=BGR, width=" + std::to_string(w) + ", height=" + std::to_string(h) +
           ", framerate=25/1, pixel-aspect-ratio=1/1";
}

// A BGR frame laid out as GStreamer lays it out (rows padded to 4 bytes), filled by `pixel`.
template <class F> GstBuffer* MakeFrame(int w, int h, F pixel) {
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGR, w, h);
    GstBuffer* b = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstMapInfo map;
    gst_buffer_map(b, &map, GST_MAP_WRITE);
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t v = pixel(x, y);
            std::uint8_t* p = map.data + y * stride + x * 3;
            p[0] = p[1] = p[2] = v;
        }
    }
    gst_buffer_unmap(b, &map);
    return b;
}

// Grey value (blue byte) of pixel x, y of a BGR frame of width w.
std::uint8_t At(const GstMapInfo& map, int w, int x, int y) {
    const int stride = (w * 3 + 3) & ~3;
    return map.data[y * stride + x * 3];
}

struct Negotiated {
    int width = 0;
    int height = 0;
    gsize bytes = 0;
    int frames = 0;
};

// videotestsrc at the given size through the resizer into an appsink.
Negotiated RunPipeline(int w, int h, const char* ratio) {
    Negotiated result;
    const std::string launch = "videotestsrc num-buffers=3 ! " + BgrCaps(w, h) + " ! zv_resizer " +
                               ratio + " ! appsink name=out sync=false";
    GErrorRef err;
    auto pipeline = GstElementRef::adopt(gst_parse_launch(launch.c_str(), &err.out()));
    EXPECT_FALSE(err) << (err ? err->message : "");
    if (!pipeline) {
        return result;
    }
    auto sink = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    while (auto sample = GstRef<GstSample>::adopt(
               gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 10 * GST_SECOND))) {
        const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
        gst_structure_get_int(s, "width", &result.width);
        gst_structure_get_int(s, "height", &result.height);
        result.bytes = gst_buffer_get_size(gst_sample_get_buffer(sample.get()));
        ++result.frames;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return result;
}

} // namespace

// --- the size rule ---

TEST(ResizerSizeRule, commonCaptureSizes_giveTheseOutputs) {
    EXPECT_EQ(Out(720, 576, kNative), (ResizerSize{360, 288}));
    EXPECT_EQ(Out(720, 576, k4x3), (ResizerSize{384, 288}));
    EXPECT_EQ(Out(720, 576, k16x9), (ResizerSize{384, 216}));
    EXPECT_EQ(Out(720, 480, kNative), (ResizerSize{360, 240}));
    EXPECT_EQ(Out(352, 288, k16x9), (ResizerSize{352, 198}));
    EXPECT_EQ(Out(176, 144, k16x9), (ResizerSize{160, 90})); // 176 x 99, 99 odd
    EXPECT_EQ(Out(320, 240, k4x3), (ResizerSize{320, 240}));
}

TEST(ResizerSizeRule, oversizedOrOddInputs_giveTheseOutputs) {
    EXPECT_EQ(Out(768, 576, k4x3), (ResizerSize{384, 288}));
    EXPECT_EQ(Out(352, 288, kNative), (ResizerSize{352, 288}));
    EXPECT_EQ(Out(640, 481, kNative), (ResizerSize{320, 240}));
}

TEST(ResizerSizeRule, withoutARatio_everyInputBecomes320x240) {
    EXPECT_EQ(ResizerOutputSize(720, 576, false, kNative), (ResizerSize{320, 240}));
    EXPECT_EQ(ResizerOutputSize(720, 576, false, k16x9), (ResizerSize{320, 240}));
    EXPECT_EQ(ResizerOutputSize(2, 2, false, kNative), (ResizerSize{320, 240}));
    EXPECT_EQ(ResizerOutputSize(320, 240, false, k4x3), (ResizerSize{320, 240}));
}

TEST(ResizerSizeRule, heightLimits_holdExactlyAtTheBoundary) {
    // Native halves only above 288 lines; an odd half loses one line.
    EXPECT_EQ(Out(720, 288, kNative), (ResizerSize{720, 288}));
    EXPECT_EQ(Out(720, 289, kNative), (ResizerSize{360, 144}));
    EXPECT_EQ(Out(720, 291, kNative), (ResizerSize{360, 144})); // 145 odd
    EXPECT_EQ(Out(720, 287, kNative), (ResizerSize{720, 286}));
    // 4:3 caps the height at 288, 16:9 at 216.
    EXPECT_EQ(Out(1024, 288, k4x3), (ResizerSize{384, 288}));
    EXPECT_EQ(Out(1024, 289, k4x3), (ResizerSize{384, 288}));
    EXPECT_EQ(Out(1024, 216, k16x9), (ResizerSize{384, 216}));
    EXPECT_EQ(Out(1024, 217, k16x9), (ResizerSize{384, 216}));
}

TEST(ResizerSizeRule, narrowInputs_keepTheirWidth_andLoseHeight) {
    // H x 4 == W x 3 is not "less": the height follows the width.
    EXPECT_EQ(Out(400, 300, k4x3), (ResizerSize{384, 288}));
    EXPECT_EQ(Out(200, 288, k4x3), (ResizerSize{200, 150}));
    EXPECT_EQ(Out(100, 288, k4x3), (ResizerSize{96, 72})); // 100 x 75, 75 odd
    EXPECT_EQ(Out(32, 18, k16x9), (ResizerSize{32, 18}));
    EXPECT_EQ(Out(100, 100, k16x9), (ResizerSize{100, 56}));
    EXPECT_EQ(Out(112, 200, k16x9), (ResizerSize{96, 54})); // 112 x 63, 63 odd
}

TEST(ResizerSizeRule, unknownModes_countAsNative) {
    EXPECT_EQ(Out(720, 576, 7), (ResizerSize{360, 288}));
    EXPECT_EQ(Out(720, 576, -3), (ResizerSize{360, 288}));
}

TEST(ResizerSizeRule, tinyInputs_getTheSmallestEvenSize_neverZeroOrNegative) {
    EXPECT_EQ(Out(2, 2, k4x3), (ResizerSize{2, 2}));    // 2 x 1 -> -2 x -2
    EXPECT_EQ(Out(4, 3, k4x3), (ResizerSize{2, 2}));    // 4 x 3 -> 0 x 0
    EXPECT_EQ(Out(1, 1, kNative), (ResizerSize{2, 2})); // 1 x 1 -> 1 x 0
    EXPECT_EQ(Out(16, 9, k16x9), (ResizerSize{2, 2}));  // 16 x 9 -> 0 x 0
    EXPECT_EQ(Out(1, 200, k16x9), (ResizerSize{2, 2})); // 1 x 0
    EXPECT_EQ(Out(8, 6, k4x3), (ResizerSize{8, 6}));    // the smallest 4:3 that survives
    EXPECT_EQ(Out(2, 2, kNative), (ResizerSize{2, 2}));
}

TEST(ResizerSizeRule, hugeInputs_doNotOverflow) {
    EXPECT_EQ(Out(G_MAXINT, 576, k16x9), (ResizerSize{384, 216}));
    EXPECT_EQ(Out(G_MAXINT, G_MAXINT, k4x3), (ResizerSize{384, 288}));
}

// --- the element ---

TEST_F(ResizerTest, ratio_defaultsToNotSet_andSetRatioIsTheProperty) {
    auto e = GstElementRef::adopt(gst_element_factory_make("zv_resizer", nullptr));
    ASSERT_TRUE(e);
    gint ratio = 0;
    g_object_get(e.get(), "ratio", &ratio, nullptr);
    EXPECT_EQ(ratio, TZV_Resizer::kRatioNotSet);
    auto* f = FilterCast<TZV_Resizer>(e);
    ASSERT_NE(f, nullptr);
    f->SetRatio(k16x9);
    g_object_get(e.get(), "ratio", &ratio, nullptr);
    EXPECT_EQ(ratio, k16x9);
    f->SetRatio(5);
    EXPECT_EQ(f->Ratio(), kNative);
    g_object_set(e.get(), "ratio", k4x3, nullptr);
    EXPECT_EQ(f->Ratio(), k4x3);
    g_object_set(e.get(), "ratio", -1, nullptr);
    EXPECT_EQ(f->Ratio(), TZV_Resizer::kRatioNotSet);
}

TEST_F(ResizerTest, pipeline_negotiatesTheRuleSizes) {
    struct Case {
        const char* ratio;
        int w, h;
    } cases[] = {
        {"", 320, 240}, {"ratio=0", 360, 288}, {"ratio=1", 384, 288}, {"ratio=2", 384, 216}};
    for (const Case& c : cases) {
        const Negotiated n = RunPipeline(720, 576, c.ratio);
        EXPECT_EQ(n.frames, 3) << c.ratio;
        EXPECT_EQ(n.width, c.w) << c.ratio;
        EXPECT_EQ(n.height, c.h) << c.ratio;
        EXPECT_EQ(n.bytes, gsize(c.w * 3 * c.h)) << c.ratio; // rows of these widths need no padding
    }
}

TEST_F(ResizerTest, pipeline_oddSizes_negotiateAndScale) {
    const Negotiated n = RunPipeline(641, 481, "ratio=0");
    EXPECT_EQ(n.frames, 3);
    EXPECT_EQ(n.width, 320);
    EXPECT_EQ(n.height, 240);
}

TEST_F(ResizerTest, sameSize_copiesEveryByteUnchanged) {
    for (const auto& [w, h, mode] : {std::tuple{320, 240, k4x3}, std::tuple{352, 288, kNative}}) {
        GstHarness* h_ = gst_harness_new("zv_resizer");
        FilterCast<TZV_Resizer>(h_->element)->SetRatio(mode);
        gst_harness_set_src_caps_str(h_, BgrCaps(w, h).c_str());
        GstBuffer* in = MakeFrame(w, h, [](int x, int y) { return std::uint8_t(x * 7 + y * 13); });
        auto expected = GstBufferRef::ref(in);
        auto out = GstBufferRef::adopt(gst_harness_push_and_pull(h_, in));
        ASSERT_TRUE(out);
        EXPECT_FALSE(FilterCast<TZV_Resizer>(h_->element)->ResizeActive());
        ASSERT_EQ(gst_buffer_get_size(out.get()), gst_buffer_get_size(expected.get()));
        GstMapInfo a, b;
        gst_buffer_map(out.get(), &a, GST_MAP_READ);
        gst_buffer_map(expected.get(), &b, GST_MAP_READ);
        EXPECT_EQ(std::memcmp(a.data, b.data, a.size), 0) << w << "x" << h;
        gst_buffer_unmap(out.get(), &a);
        gst_buffer_unmap(expected.get(), &b);
        gst_harness_teardown(h_);
    }
}

// The whole input is mapped onto the whole output: a black left half and a white right half
// stay halves, split at the middle column, in every row.
TEST_F(ResizerTest, scaledPicture_keepsTheLeftRightSplit) {
    struct Case {
        int mode;
        int outW, outH;
    } cases[] = {{kNative, 360, 288}, {k4x3, 384, 288}, {k16x9, 384, 216}};
    for (const Case& c : cases) {
        GstHarness* h = gst_harness_new("zv_resizer");
        FilterCast<TZV_Resizer>(h->element)->SetRatio(c.mode);
        gst_harness_set_src_caps_str(h, BgrCaps(720, 576).c_str());
        auto out = GstBufferRef::adopt(gst_harness_push_and_pull(
            h, MakeFrame(720, 576, [](int x, int) { return std::uint8_t(x < 360 ? 0 : 255); })));
        ASSERT_TRUE(out);
        auto caps = GstCapsRef::adopt(gst_pad_get_current_caps(h->sinkpad));
        const GstStructure* s = gst_caps_get_structure(caps.get(), 0);
        int w = 0, hh = 0;
        gst_structure_get_int(s, "width", &w);
        gst_structure_get_int(s, "height", &hh);
        ASSERT_EQ(w, c.outW);
        ASSERT_EQ(hh, c.outH);
        GstMapInfo map;
        gst_buffer_map(out.get(), &map, GST_MAP_READ);
        const int mid = c.outW / 2;
        int wrong = 0;
        for (int y = 0; y < c.outH; ++y) {
            for (int x = 0; x < c.outW; ++x) {
                const std::uint8_t v = At(map, c.outW, x, y);
                if ((x < mid - 4 && v != 0) || (x >= mid + 4 && v != 255) ||
                    (x == mid - 1 && v >= 128) || (x == mid && v < 128)) {
                    ++wrong;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "mode " << c.mode;
        gst_buffer_unmap(out.get(), &map);
        gst_harness_teardown(h);
    }
}

TEST_F(ResizerTest, scaledPicture_keepsTheTopBottomSplit) {
    GstHarness* h = gst_harness_new("zv_resizer");
    FilterCast<TZV_Resizer>(h->element)->SetRatio(kNative);
    gst_harness_set_src_caps_str(h, BgrCaps(720, 576).c_str());
    auto out = GstBufferRef::adopt(gst_harness_push_and_pull(
        h, MakeFrame(720, 576, [](int, int y) { return std::uint8_t(y < 288 ? 255 : 0); })));
    ASSERT_TRUE(out);
    GstMapInfo map;
    gst_buffer_map(out.get(), &map, GST_MAP_READ);
    for (int x = 0; x < 360; x += 37) {
        EXPECT_EQ(At(map, 360, x, 0), 255);
        EXPECT_EQ(At(map, 360, x, 139), 255);
        EXPECT_GE(At(map, 360, x, 143), 128);
        EXPECT_LT(At(map, 360, x, 144), 128);
        EXPECT_EQ(At(map, 360, x, 148), 0);
        EXPECT_EQ(At(map, 360, x, 287), 0);
    }
    gst_buffer_unmap(out.get(), &map);
    gst_harness_teardown(h);
}

// The ratio changed from another thread while frames flow: the next frame leaves at the new size.
TEST_F(ResizerTest, ratioChangedWhileStreaming_renegotiatesTheNextFrame) {
    GstHarness* h = gst_harness_new("zv_resizer");
    g_object_set(h->element, "ratio", kNative, nullptr);
    gst_harness_set_src_caps_str(h, BgrCaps(720, 576).c_str());
    auto first = GstBufferRef::adopt(
        gst_harness_push_and_pull(h, MakeFrame(720, 576, [](int, int) { return 50; })));
    ASSERT_TRUE(first);
    EXPECT_EQ(gst_buffer_get_size(first.get()), gsize(360 * 3 * 288));

    std::thread([&] { g_object_set(h->element, "ratio", k16x9, nullptr); }).join();
    auto second = GstBufferRef::adopt(
        gst_harness_push_and_pull(h, MakeFrame(720, 576, [](int, int) { return 50; })));
    ASSERT_TRUE(second);
    EXPECT_EQ(gst_buffer_get_size(second.get()), gsize(384 * 3 * 216));
    auto caps = GstCapsRef::adopt(gst_pad_get_current_caps(h->sinkpad));
    int w = 0, hh = 0;
    gst_structure_get_int(gst_caps_get_structure(caps.get(), 0), "width", &w);
    gst_structure_get_int(gst_caps_get_structure(caps.get(), 0), "height", &hh);
    EXPECT_EQ(w, 384);
    EXPECT_EQ(hh, 216);
    GstMapInfo map;
    gst_buffer_map(second.get(), &map, GST_MAP_READ);
    EXPECT_EQ(At(map, 384, 0, 0), 50);
    EXPECT_EQ(At(map, 384, 383, 215), 50);
    gst_buffer_unmap(second.get(), &map);
    gst_harness_teardown(h);
}

// A frame that cannot be scaled (too short for its caps) is dropped, the stream goes on and the
// next frame says there was a gap.
TEST_F(ResizerTest, frameThatCannotBeScaled_isDropped_andTheNextIsMarkedDiscont) {
    GstHarness* h = gst_harness_new("zv_resizer");
    FilterCast<TZV_Resizer>(h->element)->SetRatio(k4x3);
    gst_harness_set_src_caps_str(h, BgrCaps(720, 576).c_str());
    EXPECT_EQ(gst_harness_push(h, gst_buffer_new_allocate(nullptr, 100, nullptr)), GST_FLOW_OK);
    EXPECT_EQ(gst_harness_buffers_received(h), 0u);
    EXPECT_EQ(gst_harness_push(h, MakeFrame(720, 576, [](int, int) { return 9; })), GST_FLOW_OK);
    ASSERT_EQ(gst_harness_buffers_received(h), 1u);
    auto out = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(out.get(), GST_BUFFER_FLAG_DISCONT));
    EXPECT_EQ(gst_buffer_get_size(out.get()), gsize(384 * 3 * 288));
    EXPECT_EQ(FilterCast<TZV_Resizer>(h->element)->SamplesDropped(), 1u);
    gst_harness_teardown(h);
}

TEST_F(ResizerTest, otherFormats_areRefused) {
    auto e = GstElementRef::adopt(gst_element_factory_make("zv_resizer", nullptr));
    auto pad = GstPadRef::adopt(gst_element_get_static_pad(e.get(), "sink"));
    auto rgb = GstCapsRef::adopt(
        gst_caps_from_string("video/x-raw, format=RGB, width=320, height=240, framerate=25/1"));
    auto bgr = GstCapsRef::adopt(gst_caps_from_string(BgrCaps(320, 240).c_str()));
    EXPECT_FALSE(gst_pad_query_accept_caps(pad.get(), rgb.get()));
    EXPECT_TRUE(gst_pad_query_accept_caps(pad.get(), bgr.get()));
}

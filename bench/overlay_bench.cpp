// Per-frame cost of the overlay at 720x576 BGR, each against references measured in the same
// run on the same frames:
// - GStreamer's clockoverlay ! videoflip (horizontal) for the overlay with inlay and mirror
//   (and with deinterlacing too);
// - one plain copy of a frame for the overlay with every effect off.
// Every variant pushes a fresh writable copy of the frame through a harness on the calling
// thread (the in-place clockoverlay needs one); BM_HarnessCopyOnly measures that common part
// alone so it can be taken out of the ratios.

#include "filters/Registration.h"
#include "filters/zv_superposer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace vidorel;

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr const char* kCaps = "video/x-raw,format=BGR,width=720,height=576,framerate=25/1";

// A frame with picture-like content: gradients plus a moving bar that combs between fields.
GstBuffer* testFrame() {
    static GstBuffer* frame = [] {
        GstVideoInfo info;
        gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGR, kWidth, kHeight);
        GstBuffer* b = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
        GstMapInfo m;
        gst_buffer_map(b, &m, GST_MAP_WRITE);
        const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = m.data + y * stride;
            const int shift = (y % 2) * 24; // the odd field sees the bar elsewhere
            for (int x = 0; x < kWidth; ++x) {
                const bool bar = ((x + shift) / 48) % 5 == 0;
                row[3 * x] = static_cast<uint8_t>(bar ? 250 : x / 3);
                row[3 * x + 1] = static_cast<uint8_t>(bar ? 250 : y / 3);
                row[3 * x + 2] = static_cast<uint8_t>((x + y) / 6);
            }
        }
        gst_buffer_unmap(b, &m);
        // The text overlay drops frames without a time.
        GST_BUFFER_PTS(b) = 0;
        GST_BUFFER_DURATION(b) = 40 * GST_MSECOND;
        return b;
    }();
    return frame;
}

void run(benchmark::State& state, GstHarness* h) {
    gst_harness_set_src_caps_str(h, kCaps);
    for (auto _ : state) {
        GstBuffer* out = gst_harness_push_and_pull(h, gst_buffer_copy_deep(testFrame()));
        benchmark::DoNotOptimize(out);
        gst_buffer_unref(out);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FrameCopy(benchmark::State& state) {
    GstMapInfo m;
    gst_buffer_map(testFrame(), &m, GST_MAP_READ);
    std::vector<uint8_t> copy(m.size);
    for (auto _ : state) {
        std::memcpy(copy.data(), m.data, m.size);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    gst_buffer_unmap(testFrame(), &m);
}
BENCHMARK(BM_FrameCopy);

void BM_HarnessCopyOnly(benchmark::State& state) {
    GstHarness* h = gst_harness_new_parse("identity");
    run(state, h);
    gst_harness_teardown(h);
}
BENCHMARK(BM_HarnessCopyOnly);

void BM_ClockoverlayVideoflip(benchmark::State& state) {
    GstHarness* h = gst_harness_new_parse("clockoverlay ! videoflip name=flip");
    auto flip = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(h->element), "flip"));
    g_object_set(flip.get(), "video-direction", GST_VIDEO_ORIENTATION_HORIZ, nullptr);
    run(state, h);
    gst_harness_teardown(h);
}
BENCHMARK(BM_ClockoverlayVideoflip);

void overlay(benchmark::State& state, bool effects, bool inlay, bool mirror, bool deinterlace) {
    GstHarness* h = gst_harness_new("zv_superposer");
    auto* f = FilterCast<Tzv_Superposer>(h->element);
    f->SetEffectsEnabled(effects);
    f->SetInlayEnabled(inlay);
    f->SetMirror(mirror);
    f->SetDeinterlace(deinterlace);
    run(state, h);
    gst_harness_teardown(h);
}

void BM_OverlayAllOff(benchmark::State& state) {
    overlay(state, false, false, false, false);
}
BENCHMARK(BM_OverlayAllOff);

void BM_OverlayMirrorOnly(benchmark::State& state) {
    overlay(state, true, false, true, false);
}
BENCHMARK(BM_OverlayMirrorOnly);

void BM_OverlayInlayOnly(benchmark::State& state) {
    overlay(state, true, true, false, false);
}
BENCHMARK(BM_OverlayInlayOnly);

void BM_OverlayInlayMirror(benchmark::State& state) {
    overlay(state, true, true, true, false);
}
BENCHMARK(BM_OverlayInlayMirror);

void BM_OverlayInlayMirrorDeinterlace(benchmark::State& state) {
    overlay(state, true, true, true, true);
}
BENCHMARK(BM_OverlayInlayMirrorDeinterlace);

} // namespace

int main(int argc, char** argv) {
    // The inlay's text needs Qt's font database; no display is needed.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    gst_init(&argc, &argv);
    RegisterVidorelElements();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Per-frame costs of the DV work, each against a reference measured in the same run:
// - the scene detector's per-frame work vs one copy of a whole 144 000-byte PAL frame;
// - DeinterlaceBitmap on a 720x576 picture (24-bit into another picture, and 24-bit and 32-bit
//   in place, as the overlay calls it) vs GStreamer's deinterlace (linear, yadif) on the same
//   picture (I420, its own format), through a harness on the calling thread.

#include "devices/dvtape/DvTape.h"
#include "filters/DVFrameMeta.h"
#include "filters/deinter.h"
#include "filters/zv_scenedetect.h"

#include <benchmark/benchmark.h>
#include <gst/check/gstharness.h>
#include <gst/gst.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace vidorel;

namespace {

const std::vector<uint8_t>& palFrame() {
    static const std::vector<uint8_t> frame = [] {
        dvtape::TapeDescription t;
        t.recordings = {{dvtape::CivilDateTime{2005, 7, 14, 10, 0, 0}, 1, false, true}};
        return dvtape::DvTape(t).frame(0);
    }();
    return frame;
}

void BM_FrameCopyReference(benchmark::State& state) {
    const std::vector<uint8_t>& frame = palFrame();
    std::vector<uint8_t> copy(frame.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), frame.data(), frame.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameCopyReference);

void BM_SceneDetectorFrame(benchmark::State& state) {
    const std::vector<uint8_t>& frame = palFrame();
    auto detector = std::make_unique<TSceneDetector>();
    // With the record the element attaches to each frame.
    TDVFrameRecord record;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector->ProcessFrame(frame, &record));
    }
}
BENCHMARK(BM_SceneDetectorFrame);

constexpr int kW = 720;
constexpr int kH = 576;

// Moving-edge content: odd lines shifted, so about half the picture is combed.
uint8_t lumaAt(int x, int y) {
    const int shift = (y % 2) ? 24 : 0;
    return static_cast<uint8_t>(((x + shift) / 48) % 2 ? 200 : 40);
}

// The moving-edge picture with pixels of `bytesPerPixel` bytes, all channels equal.
std::vector<uint8_t> combedPicture(int bytesPerPixel) {
    std::vector<uint8_t> picture(static_cast<std::size_t>(kW * kH * bytesPerPixel));
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            std::memset(&picture[(y * kW + x) * bytesPerPixel], lumaAt(x, y), bytesPerPixel);
        }
    }
    return picture;
}

void BM_DeinterlaceBitmap(benchmark::State& state) {
    std::vector<uint8_t> src = combedPicture(3);
    std::vector<uint8_t> dst(src.size());
    const BitmapView in{src.data(), kW, kH, kW * 3, 24};
    const BitmapView out{dst.data(), kW, kH, kW * 3, 24};
    DeinterlaceScratch scratch;
    for (auto _ : state) {
        DeinterlaceBitmap(in, out, scratch);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DeinterlaceBitmap);

// In place the picture loses its comb after the first call; the loops do the same work
// whatever the pixels are, so the later calls cost the same.
void deinterlaceInPlace(benchmark::State& state, int bytesPerPixel) {
    std::vector<uint8_t> picture = combedPicture(bytesPerPixel);
    const BitmapView view{picture.data(), kW, kH, kW * bytesPerPixel, 8 * bytesPerPixel};
    DeinterlaceScratch scratch;
    for (auto _ : state) {
        DeinterlaceBitmap(view, view, scratch);
        benchmark::ClobberMemory();
    }
}

void BM_DeinterlaceBitmapInPlace(benchmark::State& state) {
    deinterlaceInPlace(state, 3);
}
BENCHMARK(BM_DeinterlaceBitmapInPlace);
void BM_DeinterlaceBitmapInPlace32(benchmark::State& state) {
    deinterlaceInPlace(state, 4);
}
BENCHMARK(BM_DeinterlaceBitmapInPlace32);

void gstDeinterlace(benchmark::State& state, const char* method) {
    gst_init(nullptr, nullptr);
    GstHarness* h = gst_harness_new("deinterlace");
    gst_util_set_object_arg(G_OBJECT(h->element), "method", method);
    gst_util_set_object_arg(G_OBJECT(h->element), "mode", "interlaced");
    gst_util_set_object_arg(G_OBJECT(h->element), "fields", "top");
    gst_harness_set_src_caps_str(h, "video/x-raw, format=I420, width=720, height=576, "
                                    "framerate=25/1, interlace-mode=interleaved");
    const gsize size = kW * kH * 3 / 2;
    GstBuffer* picture = gst_buffer_new_allocate(nullptr, size, nullptr);
    GstMapInfo map;
    gst_buffer_map(picture, &map, GST_MAP_WRITE);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            map.data[y * kW + x] = lumaAt(x, y);
        }
    }
    std::memset(map.data + kW * kH, 128, size - kW * kH);
    gst_buffer_unmap(picture, &map);

    GstClockTime pts = 0;
    auto push = [&] {
        GstBuffer* b = gst_buffer_copy(picture); // shares the memory: no copy of the pixels
        GST_BUFFER_PTS(b) = pts;
        GST_BUFFER_DURATION(b) = 40 * GST_MSECOND;
        pts += 40 * GST_MSECOND;
        gst_harness_push(h, b);
        while (GstBuffer* out = gst_harness_try_pull(h)) {
            gst_buffer_unref(out);
        }
    };
    for (int i = 0; i < 5; ++i) {
        push(); // fill the field history first
    }
    for (auto _ : state) {
        push();
    }
    gst_buffer_unref(picture);
    gst_harness_teardown(h);
}

void BM_GstDeinterlaceLinear(benchmark::State& state) {
    gstDeinterlace(state, "linear");
}
BENCHMARK(BM_GstDeinterlaceLinear);
void BM_GstDeinterlaceYadif(benchmark::State& state) {
    gstDeinterlace(state, "yadif");
}
BENCHMARK(BM_GstDeinterlaceYadif);

} // namespace

BENCHMARK_MAIN();

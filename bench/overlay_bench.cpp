// Per-frame cost of the overlay at 720x576, each against references measured in the same run on
// the same frames.
//
// The element alone, through a harness on the calling thread, in the preview's BGRx (and in BGR):
// - with every effect off, against the harness's own cost (BM_HarnessCopyOnly: `identity`, and
//   the fresh writable copy of the frame that every variant pushes) and one plain frame copy
//   (BM_FrameCopy): an unchanged frame is neither mapped for writing nor copied, so it should
//   cost about the harness;
// - with inlay and mirror (and with deinterlacing too), against GStreamer's
//   clockoverlay ! videoflip (horizontal), which is what the effects amount to.
//
// The whole preview chain, source to sink with the overlay in place, against the plain launch
// line with no own element (BM_PreviewPlain). The frames come from videotestsrc (a still
// pattern) in I420, as a capture card gives them; the chain runs 500 frames to end of stream,
// five times, and the counters give the wall and process CPU time per frame from the first
// frame at the sink to the end (medians: other work on the machine shows up as outliers).

#include "filters/Registration.h"
#include "filters/zv_superposer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using namespace vidorel;

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;

const char* CapsOf(GstVideoFormat format) {
    return format == GST_VIDEO_FORMAT_BGRx
               ? "video/x-raw,format=BGRx,width=720,height=576,framerate=25/1"
               : "video/x-raw,format=BGR,width=720,height=576,framerate=25/1";
}

// A frame with picture-like content: gradients plus a moving bar that combs between fields.
GstBuffer* makeFrame(GstVideoFormat format) {
    GstVideoInfo info;
    gst_video_info_set_format(&info, format, kWidth, kHeight);
    const int bpp = GST_VIDEO_INFO_COMP_PSTRIDE(&info, 0);
    GstBuffer* b = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstMapInfo m;
    gst_buffer_map(b, &m, GST_MAP_WRITE);
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = m.data + y * stride;
        const int shift = (y % 2) * 24; // the odd field sees the bar elsewhere
        for (int x = 0; x < kWidth; ++x) {
            const bool bar = ((x + shift) / 48) % 5 == 0;
            uint8_t* px = row + bpp * x;
            px[0] = static_cast<uint8_t>(bar ? 250 : x / 3);
            px[1] = static_cast<uint8_t>(bar ? 250 : y / 3);
            px[2] = static_cast<uint8_t>((x + y) / 6);
            if (bpp == 4) {
                px[3] = 0xFF;
            }
        }
    }
    gst_buffer_unmap(b, &m);
    // The text overlay drops frames without a time.
    GST_BUFFER_PTS(b) = 0;
    GST_BUFFER_DURATION(b) = 40 * GST_MSECOND;
    return b;
}

GstBuffer* testFrame(GstVideoFormat format) {
    static GstBuffer* bgrx = makeFrame(GST_VIDEO_FORMAT_BGRx);
    static GstBuffer* bgr = makeFrame(GST_VIDEO_FORMAT_BGR);
    return format == GST_VIDEO_FORMAT_BGRx ? bgrx : bgr;
}

void run(benchmark::State& state, GstHarness* h, GstVideoFormat format) {
    gst_harness_set_src_caps_str(h, CapsOf(format));
    for (auto _ : state) {
        GstBuffer* out = gst_harness_push_and_pull(h, gst_buffer_copy_deep(testFrame(format)));
        benchmark::DoNotOptimize(out);
        gst_buffer_unref(out);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FrameCopy(benchmark::State& state) {
    GstBuffer* frame = testFrame(GST_VIDEO_FORMAT_BGRx);
    GstMapInfo m;
    gst_buffer_map(frame, &m, GST_MAP_READ);
    std::vector<uint8_t> copy(m.size);
    for (auto _ : state) {
        std::memcpy(copy.data(), m.data, m.size);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    gst_buffer_unmap(frame, &m);
}
BENCHMARK(BM_FrameCopy);

void BM_HarnessCopyOnly(benchmark::State& state) {
    GstHarness* h = gst_harness_new_parse("identity");
    run(state, h, GST_VIDEO_FORMAT_BGRx);
    gst_harness_teardown(h);
}
BENCHMARK(BM_HarnessCopyOnly);

void BM_ClockoverlayVideoflip(benchmark::State& state) {
    GstHarness* h = gst_harness_new_parse("clockoverlay ! videoflip name=flip");
    auto flip = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(h->element), "flip"));
    g_object_set(flip.get(), "video-direction", GST_VIDEO_ORIENTATION_HORIZ, nullptr);
    run(state, h, GST_VIDEO_FORMAT_BGRx);
    gst_harness_teardown(h);
}
BENCHMARK(BM_ClockoverlayVideoflip);

void overlay(benchmark::State& state, GstVideoFormat format, bool effects, bool inlay, bool mirror,
             bool deinterlace) {
    GstHarness* h = gst_harness_new("zv_superposer");
    auto* f = FilterCast<Tzv_Superposer>(h->element);
    f->SetEffectsEnabled(effects);
    f->SetInlayEnabled(inlay);
    f->SetMirror(mirror);
    f->SetDeinterlace(deinterlace);
    run(state, h, format);
    gst_harness_teardown(h);
}

void BM_OverlayAllOff(benchmark::State& state) {
    overlay(state, GST_VIDEO_FORMAT_BGRx, false, false, false, false);
}
BENCHMARK(BM_OverlayAllOff);

void BM_OverlayMirrorOnly(benchmark::State& state) {
    overlay(state, GST_VIDEO_FORMAT_BGRx, true, false, true, false);
}
BENCHMARK(BM_OverlayMirrorOnly);

void BM_OverlayInlayOnly(benchmark::State& state) {
    overlay(state, GST_VIDEO_FORMAT_BGRx, true, true, false, false);
}
BENCHMARK(BM_OverlayInlayOnly);

void BM_OverlayInlayMirror(benchmark::State& state) {
    overlay(state, GST_VIDEO_FORMAT_BGRx, true, true, true, false);
}
BENCHMARK(BM_OverlayInlayMirror);

void BM_OverlayInlayMirrorDeinterlace(benchmark::State& state) {
    overlay(state, GST_VIDEO_FORMAT_BGRx, true, true, true, true);
}
BENCHMARK(BM_OverlayInlayMirrorDeinterlace);

void BM_OverlayBgrAllOff(benchmark::State& state) {
    overlay(state, GST_VIDEO_FORMAT_BGR, false, false, false, false);
}
BENCHMARK(BM_OverlayBgrAllOff);

void BM_OverlayBgrInlayMirror(benchmark::State& state) {
    overlay(state, GST_VIDEO_FORMAT_BGR, true, true, true, false);
}
BENCHMARK(BM_OverlayBgrInlayMirror);

// ---- the whole preview chain ----

constexpr int kChainFrames = 500;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// When the first frame reached the sink: the chain's set-up (threads, negotiation, pools) is
// left out of the per-frame figures.
struct FirstFrame {
    std::chrono::steady_clock::time_point wall;
    double cpu = 0;
    bool seen = false;
};

GstPadProbeReturn OnFirstFrame(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* first = static_cast<FirstFrame*>(data);
    first->wall = std::chrono::steady_clock::now();
    first->cpu = processCpuSeconds();
    first->seen = true;
    return GST_PAD_PROBE_REMOVE;
}

// Runs `middle` between the source and the preview's sink until the end of the stream.
void chain(benchmark::State& state, const std::string& middle, bool effects, bool inlay,
           bool mirror) {
    const std::string line = "videotestsrc num-buffers=" + std::to_string(kChainFrames) +
                             " pattern=smpte ! video/x-raw,format=I420,width=720,height=576,"
                             "framerate=25/1 ! " +
                             middle + " ! video/x-raw,format=BGRx ! fakesink name=sink sync=false";
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        GErrorRef error;
        auto pipeline = GstElementRef::adopt(gst_parse_launch(line.c_str(), &error.out()));
        if (!pipeline) {
            state.SkipWithError(error ? error->message : "launch line");
            return;
        }
        if (auto e =
                GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "overlay"))) {
            auto* f = FilterCast<Tzv_Superposer>(e.get());
            f->SetEffectsEnabled(effects);
            f->SetInlayEnabled(inlay);
            f->SetMirror(mirror);
        }
        FirstFrame first;
        auto sink = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
        auto sinkPad = GstPadRef::adopt(gst_element_get_static_pad(sink.get(), "sink"));
        gst_pad_add_probe(sinkPad.get(), GST_PAD_PROBE_TYPE_BUFFER, OnFirstFrame, &first, nullptr);
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        auto bus = GstBusRef::adopt(gst_element_get_bus(pipeline.get()));
        auto msg = GstMessageRef::adopt(gst_bus_timed_pop_filtered(
            bus.get(), 120 * GST_SECOND,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        const auto end = std::chrono::steady_clock::now();
        const double cpuEnd = processCpuSeconds();
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        if (!msg || GST_MESSAGE_TYPE(msg.get()) != GST_MESSAGE_EOS || !first.seen) {
            state.SkipWithError("the chain did not reach the end of the stream");
            return;
        }
        wall += std::chrono::duration<double>(end - first.wall).count();
        cpu += cpuEnd - first.cpu;
    }
    // The frames after the first one.
    const double frames = static_cast<double>(state.iterations()) * (kChainFrames - 1);
    state.counters["wall_us_per_frame"] = wall / frames * 1e6;
    state.counters["cpu_us_per_frame"] = cpu / frames * 1e6;
}

void BM_PreviewPlain(benchmark::State& state) {
    chain(state, "videoconvert", false, false, false);
}
BENCHMARK(BM_PreviewPlain)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

constexpr const char* kPreview = "videoconvert ! zv_superposer name=overlay ! tee ! queue ! "
                                 "zv_timestamper ! videoconvert";

void BM_PreviewEffectsOff(benchmark::State& state) {
    chain(state, kPreview, false, false, false);
}
BENCHMARK(BM_PreviewEffectsOff)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_PreviewInlayMirror(benchmark::State& state) {
    chain(state, kPreview, true, true, true);
}
BENCHMARK(BM_PreviewInlayMirror)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// The same chain with the overlay held to 24-bit BGR: two conversions per frame instead of one.
void BM_PreviewBgrInlayMirror(benchmark::State& state) {
    chain(state,
          "videoconvert ! video/x-raw,format=BGR ! zv_superposer name=overlay ! tee ! queue ! "
          "zv_timestamper ! videoconvert",
          true, true, true);
}
BENCHMARK(BM_PreviewBgrInlayMirror)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

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

// What starting, stopping and cutting a recording costs on a playing graph, beside a fresh
// gst-launch-1.0 of the same recording pipeline measured in the same run:
// - from the start request to the first frame in the file,
// - from the stop request to the finished file,
// - the longest interval between preview frames around a start, a stop and a cut, in frame
//   periods (the preview must not stall: at most two).
//
// Both files are watched the same way, by a thread that polls their size every millisecond.
// Medians of several rounds are printed, with the ratio to the reference.
//
//     build/bench/vidorel_recording_bench [rounds]

#include "graph/RecordingBranch.h"

#include <gst/gst.h>

#include <QCoreApplication>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace vidorel;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr const char* kSize = "width=720,height=576,framerate=25/1";
constexpr double kFramePeriodMs = 40.0;
// A file holds a frame once it is past the muxer's header and one motion-JPEG picture.
constexpr off_t kFirstFrameBytes = 12000;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

off_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

// Polls until the file holds a frame; answers when that was first seen.
std::optional<Clock::time_point> WaitForFirstFrame(const std::string& path,
                                                   std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (FileSize(path) >= kFirstFrameBytes) {
            return Clock::now();
        }
        std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
}

void Spin(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(200us);
    }
}

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The preview: a live picture into a tee, a clock-paced sink behind it whose frame arrivals
// are logged.
class Preview {
public:
    Preview() {
        auto src = MakeElement("videotestsrc", "src");
        g_object_set(src.get(), "is-live", TRUE, "pattern", 18 /* ball */, nullptr);
        auto caps = MakeElement("capsfilter", "caps");
        auto c = GstCapsRef::adopt(
            gst_caps_from_string((std::string("video/x-raw,format=I420,") + kSize).c_str()));
        g_object_set(caps.get(), "caps", c.get(), nullptr);
        auto tee = MakeElement("tee", "tee");
        auto sink = MakeElement("fakesink", "preview");
        g_object_set(sink.get(), "sync", TRUE, "async", FALSE, nullptr);
        for (auto* e : {src.get(), caps.get(), tee.get(), sink.get()}) {
            graph.AddFilter(e);
        }
        graph.Connect(src.get(), caps.get());
        graph.Connect(caps.get(), tee.get());
        graph.Connect(graph.TapTee(tee.get()).get(), Pad(sink.get(), PinDirection::Input, 0).get());
        gst_pad_add_probe(
            Pad(sink.get(), PinDirection::Input, 0).get(), GST_PAD_PROBE_TYPE_BUFFER,
            +[](GstPad*, GstPadProbeInfo*, gpointer self) {
                auto* p = static_cast<Preview*>(self);
                std::lock_guard lock(p->lock);
                p->arrivals.push_back(Clock::now());
                return GST_PAD_PROBE_OK;
            },
            this, nullptr);
        tee_ = tee.get();
    }

    // The longest interval between preview frames within [from, to], in frame periods.
    double LongestGap(Clock::time_point from, Clock::time_point to) {
        std::lock_guard l(lock);
        double longest = 0;
        for (size_t i = 1; i < arrivals.size(); ++i) {
            if (arrivals[i] < from || arrivals[i - 1] > to) {
                continue;
            }
            longest = std::max(longest, Ms(arrivals[i] - arrivals[i - 1]) / kFramePeriodMs);
        }
        return longest;
    }

    std::shared_ptr<TRecordingBranch> Recording(const std::string& name, const std::string& file) {
        auto r = TRecordingBranch::Create(name);
        auto in = r->AddInput(TInputRole::Video, tee_);
        GstElement* enc = r->Make("jpegenc");
        GstElement* mux = r->Make("avimux");
        GstElement* sink = r->Make("filesink");
        // Unbuffered, as in the reference: a frame is in the file when it was handed over.
        g_object_set(sink, "location", file.c_str(), "buffer-mode", 2, nullptr);
        r->Link(in.get(), Pad(enc, PinDirection::Input, 0).get());
        r->Link({enc, mux, sink});
        return r;
    }

    TFilterGraph graph{"bench"};
    std::mutex lock;
    std::vector<Clock::time_point> arrivals;

private:
    GstElement* tee_ = nullptr;
};

struct Timings {
    std::vector<double> start, stop;
};

// A fresh gst-launch-1.0 of the same recording: from its start to the first frame in the file,
// and from the interrupt (end-of-stream with -e) to the process's end, the file complete.
Timings Reference(int rounds, const std::string& file) {
    Timings t;
    const std::string line =
        std::string("exec gst-launch-1.0 -q -e videotestsrc is-live=true "
                    "pattern=ball ! video/x-raw,format=I420,") +
        kSize + " ! jpegenc ! avimux ! filesink buffer-mode=unbuffered location=" + file;
    for (int i = 0; i < rounds; ++i) {
        unlink(file.c_str());
        const auto begin = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto first = WaitForFirstFrame(file, 10s);
        if (!first) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            std::fprintf(stderr, "the reference recorded nothing\n");
            continue;
        }
        t.start.push_back(Ms(*first - begin));
        std::this_thread::sleep_for(1s);
        const auto stop = Clock::now();
        kill(pid, SIGINT);
        waitpid(pid, nullptr, 0);
        t.stop.push_back(Ms(Clock::now() - stop));
    }
    return t;
}

struct Ours {
    Timings t;
    std::vector<double> gapStart, gapStop, gapCut;
};

Ours Measure(int rounds, const std::string& dir) {
    Ours o;
    Preview p;
    if (!p.graph.Run()) {
        std::fprintf(stderr, "the preview does not start: %s\n", p.graph.LastError().c_str());
        return o;
    }
    Spin([] { return false; }, 1s);
    for (int i = 0; i < rounds; ++i) {
        const std::string file = dir + "/ours.avi";
        const std::string next = dir + "/ours-next.avi";
        unlink(file.c_str());
        unlink(next.c_str());
        auto r = p.Recording("rec" + std::to_string(i), file);
        const auto begin = Clock::now();
        r->Attach(p.graph);
        std::optional<Clock::time_point> first;
        Spin([&] {
            if (FileSize(file) >= kFirstFrameBytes) {
                first = Clock::now();
            }
            return first.has_value();
        });
        if (!first) {
            std::fprintf(stderr, "the recording recorded nothing\n");
            continue;
        }
        o.t.start.push_back(Ms(*first - begin));
        Spin([] { return false; }, 1s);
        o.gapStart.push_back(p.LongestGap(begin - 200ms, begin + 1s));

        // A cut into the next file.
        auto n = p.Recording("next" + std::to_string(i), next);
        bool cutDone = false;
        const auto cut = Clock::now();
        r->CutTo(n, [&](const TRecordingResult&) { cutDone = true; });
        Spin([&] { return cutDone; });
        Spin([] { return false; }, 1s);
        o.gapCut.push_back(p.LongestGap(cut - 200ms, cut + 1s));

        bool done = false;
        const auto stop = Clock::now();
        n->Finish([&](const TRecordingResult&) { done = true; });
        Spin([&] { return done; });
        o.t.stop.push_back(Ms(Clock::now() - stop));
        Spin([] { return false; }, 500ms);
        o.gapStop.push_back(p.LongestGap(stop - 200ms, stop + 500ms));
    }
    p.graph.Stop();
    return o;
}

} // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    char dirTemplate[] = "/tmp/vidorel-bench-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);

    const Ours ours = Measure(rounds, dir);
    const Timings ref = Reference(rounds, dir + "/reference.avi");

    const double startOurs = Median(ours.t.start), startRef = Median(ref.start);
    const double stopOurs = Median(ours.t.stop), stopRef = Median(ref.stop);
    std::printf("medians of %d rounds (720x576 at 25/s, motion JPEG in AVI)\n", rounds);
    std::printf("%-44s %9s %9s %7s\n", "", "branch", "gst-launch", "ratio");
    std::printf("%-44s %7.1f ms %7.1f ms %6.2fx\n", "start request -> first frame in the file",
                startOurs, startRef, startRef > 0 ? startOurs / startRef : 0);
    std::printf("%-44s %7.1f ms %7.1f ms %6.2fx\n", "stop request -> finished file", stopOurs,
                stopRef, stopRef > 0 ? stopOurs / stopRef : 0);
    auto worst = [](const std::vector<double>& v) {
        return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
    };
    std::printf("longest preview interval (frame periods; median / worst):\n");
    std::printf("  around a start %.2f / %.2f, a cut %.2f / %.2f, a stop %.2f / %.2f\n",
                Median(ours.gapStart), worst(ours.gapStart), Median(ours.gapCut),
                worst(ours.gapCut), Median(ours.gapStop), worst(ours.gapStop));
    std::string cleanup = "rm -rf '" + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}

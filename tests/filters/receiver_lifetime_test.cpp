// The receivers the UI hands the overlay (ISuperposerReceiver) and the scene detector
// (IDVAspectReceiver): cleared and destroyed while frames stream on another thread, a receiver
// is never called once SetReceiver(nullptr) / SetAspectReceiver(nullptr) has returned, as a
// window closing during a preview does. Also built with the address sanitizer
// (vidorel_receiver_asan_tests), where a call into a destroyed receiver stops the run.

#include "filters/dvcodes.h"
#include "filters/zv_scenedetect.h"
#include "filters/zv_superposer.h"

#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// GLib and GStreamer keep their type and registry data for the whole process.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
#endif

namespace vidorel {
namespace {

// Calls arrive on the streaming thread and last a little; the test clears the receiver while
// one is in progress. A call that starts after `retired` was set (right after the clearing call
// returned), or is still running then, is late.
class Lifetime {
public:
    void Enter() {
        if (retired.load()) {
            ++late;
        }
        inCall = true;
    }
    void Leave() {
        for (int i = 0; i < 4000; ++i) {
            spin.fetch_add(1, std::memory_order_relaxed);
        }
        if (retired.load()) {
            ++late;
        }
        ++calls;
        inCall = false;
    }
    std::atomic<bool> retired{false};
    std::atomic<bool> inCall{false};
    std::atomic<int> calls{0};
    std::atomic<int> late{0};
    std::atomic<int> spin{0};
};

struct GrabReceiver : ISuperposerReceiver, Lifetime {
    explicit GrabReceiver(Tzv_Superposer* f) : filter(f) {}
    void PostImageGrabbed(int slot) override {
        Enter();
        filter->ReleaseSnapshot(slot); // so that the next frame is grabbed too
        Leave();
    }
    void PostGrabCountdown(int) override {
        Enter();
        Leave();
    }
    Tzv_Superposer* filter;
};

struct AspectReceiver : IDVAspectReceiver, Lifetime {
    void PostDVAspect(int, int) override {
        Enter();
        Leave();
    }
};

// Waits until the receiver was called `n` times and is inside a call again.
bool InACallAfter(const Lifetime& receiver, int n) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (receiver.calls.load() < n || !receiver.inCall.load()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
    }
    return true;
}

// Lets a call that a broken clearing left running finish, so that it is counted as late.
void WaitOutOfCall(const Lifetime& receiver) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (receiver.inCall.load() && std::chrono::steady_clock::now() < until) {
    }
}

// Pushes `next()` frames through the harness on a thread of its own until destroyed.
class Streaming {
public:
    template <class Next>
    Streaming(GstHarness* h, Next next)
        : m_thread([this, h, next] {
              while (!m_stop.load()) {
                  GstBuffer* out = gst_harness_push_and_pull(h, next());
                  if (out == nullptr) {
                      ++m_failures;
                      return;
                  }
                  gst_buffer_unref(out);
              }
          }) {}
    ~Streaming() {
        m_stop = true;
        m_thread.join();
    }
    int Failures() const { return m_failures.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_failures{0};
    std::thread m_thread;
};

class ReceiverLifetime : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        // This file also runs in an executable of its own (the sanitizer build) that has only
        // these two filters.
        if (auto f = GstRef<GstElementFactory>::adopt(gst_element_factory_find("zv_superposer"));
            !f) {
            ASSERT_TRUE(RegisterFilter<Tzv_Superposer>(nullptr));
        }
        if (auto f = GstRef<GstElementFactory>::adopt(gst_element_factory_find("zv_scenedetect"));
            !f) {
            ASSERT_TRUE(RegisterFilter<Tzv_SceneDetect>(nullptr));
        }
    }
};

TEST_F(ReceiverLifetime, overlayReceiver_clearedThenDestroyed_whileFramesStream_isNeverCalledLate) {
    GstHarness* h = gst_harness_new("zv_superposer");
    ASSERT_NE(h, nullptr);
    auto* f = FilterCast<Tzv_Superposer>(h->element);
    ASSERT_NE(f, nullptr);
    gst_harness_set_src_caps_str(h, "video/x-raw,format=BGRx,width=16,height=16,framerate=25/1");
    f->SetEffectsEnabled(false);
    f->StartIntervalometer(1); // a grab and a message on every frame
    const gsize size = 16 * 16 * 4;
    int late = 0;
    int rounds = 0;
    {
        Streaming streaming(h, [size] {
            GstBuffer* b = gst_buffer_new_allocate(nullptr, size, nullptr);
            gst_buffer_memset(b, 0, 0x40, size);
            return b;
        });
        for (; rounds < 200; ++rounds) {
            for (int s = 0; s < Tzv_Superposer::kSnapshotSlots; ++s) {
                f->ReleaseSnapshot(s);
            }
            auto receiver = std::make_unique<GrabReceiver>(f);
            f->SetReceiver(receiver.get());
            ASSERT_TRUE(InACallAfter(*receiver, 2)) << rounds;
            f->SetReceiver(nullptr);
            receiver->retired = true;
            WaitOutOfCall(*receiver);
            late += receiver->late.load();
            receiver.reset(); // as the closing window does
        }
        EXPECT_EQ(streaming.Failures(), 0);
    }
    EXPECT_EQ(late, 0);
    EXPECT_EQ(rounds, 200);
    gst_harness_teardown(h);
}

// A PAL frame with only the VAUX source control pack the aspect reader looks at.
GstBuffer* AspectFrame(bool wide) {
    std::vector<uint8_t> f(kDv625FrameBytes, 0xFF);
    f[3] = 0xBF;
    f[453] = 0x61;
    f[455] = wide ? 0x02 : 0x00;
    return gst_buffer_new_memdup(f.data(), f.size());
}

TEST_F(ReceiverLifetime, aspectReceiver_clearedThenDestroyed_whileFramesStream_isNeverCalledLate) {
    GstHarness* h = gst_harness_new("zv_scenedetect");
    ASSERT_NE(h, nullptr);
    auto* f = FilterCast<Tzv_SceneDetect>(h->element);
    ASSERT_NE(f, nullptr);
    gst_harness_set_src_caps_str(h, "video/x-dv, systemstream=(boolean)true");
    int late = 0;
    int rounds = 0;
    {
        // Every frame turns the aspect: a message per frame.
        auto frames = std::make_shared<std::atomic<int>>(0);
        Streaming streaming(h, [frames] { return AspectFrame(frames->fetch_add(1) % 2 == 0); });
        for (; rounds < 200; ++rounds) {
            auto receiver = std::make_unique<AspectReceiver>();
            f->SetAspectReceiver(receiver.get());
            ASSERT_TRUE(InACallAfter(*receiver, 2)) << rounds;
            f->SetAspectReceiver(nullptr);
            receiver->retired = true;
            WaitOutOfCall(*receiver);
            late += receiver->late.load();
            receiver.reset();
        }
        EXPECT_EQ(streaming.Failures(), 0);
    }
    EXPECT_EQ(late, 0);
    EXPECT_EQ(rounds, 200);
    gst_harness_teardown(h);
}

} // namespace
} // namespace vidorel

// TReceiverSlot: a receiver cleared while another thread calls it is never called again once
// Set(nullptr) has returned, so it may be destroyed at once. Also built with the address
// sanitizer (vidorel_receiver_asan_tests), where a call into a destroyed receiver stops the
// run, and with the thread sanitizer (vidorel_receiverslot_tsan_tests).

#include "platform/ReceiverSlot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <thread>

namespace vidorel {
namespace {

// A receiver whose calls last a little, so that clearing the slot lands in the middle of many of
// them; a call still running when `retired` is set (right after Set(nullptr) returned) or
// starting after it counts as late.
struct Probe {
    explicit Probe(std::atomic<long>& total) : total(total) {}
    void Hit() {
        const bool lateAtStart = retired.load();
        for (int i = 0; i < 64; ++i) {
            spin.fetch_add(1, std::memory_order_relaxed);
        }
        if (lateAtStart || retired.load()) {
            ++lateCalls;
        }
        ++calls;
        ++total;
    }
    std::atomic<long>& total;
    std::atomic<bool> retired{false};
    std::atomic<int> calls{0};
    std::atomic<int> lateCalls{0};
    std::atomic<int> spin{0};
};

// Waits until `probe` was called `n` times (the streaming thread calls without pause).
bool CalledAtLeast(const Probe& probe, int n) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (probe.calls.load() < n) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

class StreamingCaller {
public:
    explicit StreamingCaller(TReceiverSlot<Probe>& slot)
        : m_thread([this, &slot] {
              while (!m_stop.load()) {
                  slot.Call([](Probe& p) { p.Hit(); });
              }
          }) {}
    ~StreamingCaller() {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(ReceiverSlot, clearedReceiver_isNeverInACall_onceSetNullReturns) {
    TReceiverSlot<Probe> slot;
    std::atomic<long> total{0};
    // Kept alive to the end, so a late call shows in the counters instead of touching freed
    // memory.
    std::deque<Probe> probes;
    {
        StreamingCaller streaming(slot);
        for (int round = 0; round < 300; ++round) {
            Probe& p = probes.emplace_back(total);
            slot.Set(&p);
            ASSERT_TRUE(CalledAtLeast(p, 2)) << round;
            slot.Set(nullptr);
            p.retired = true;
        }
    }
    int late = 0;
    for (const Probe& p : probes) {
        late += p.lateCalls.load();
    }
    EXPECT_EQ(late, 0);
    EXPECT_GE(total.load(), 600);
    EXPECT_FALSE(slot.IsSet());
}

TEST(ReceiverSlot, receiverDestroyedRightAfterSetNull_isNeverTouchedAgain) {
    TReceiverSlot<Probe> slot;
    std::atomic<long> total{0};
    {
        StreamingCaller streaming(slot);
        for (int round = 0; round < 300; ++round) {
            auto p = std::make_unique<Probe>(total);
            slot.Set(p.get());
            ASSERT_TRUE(CalledAtLeast(*p, 2)) << round;
            slot.Set(nullptr);
            EXPECT_EQ(p->lateCalls.load(), 0);
            p.reset(); // a call after this is a use after free (caught by the sanitizer build)
        }
    }
    EXPECT_GE(total.load(), 600);
}

TEST(ReceiverSlot, emptySlot_callsNothing_andAReceiverMayClearItsOwnSlot) {
    TReceiverSlot<Probe> slot;
    std::atomic<long> total{0};
    Probe p(total);
    int invoked = 0;
    EXPECT_FALSE(slot.Call([&](Probe&) { ++invoked; }));
    EXPECT_EQ(invoked, 0);

    slot.Set(&p);
    EXPECT_TRUE(slot.IsSet());
    // Clearing the slot from inside the call does not wait for that very call.
    EXPECT_TRUE(slot.Call([&](Probe& r) {
        r.Hit();
        slot.Set(nullptr);
    }));
    EXPECT_EQ(p.calls.load(), 1);
    EXPECT_FALSE(slot.Call([&](Probe& r) { r.Hit(); }));
    EXPECT_EQ(p.calls.load(), 1);
}

} // namespace
} // namespace vidorel

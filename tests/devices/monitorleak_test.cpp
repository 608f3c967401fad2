// The device monitor's bus handler keeps nothing: devices coming and going 20 times leave no
// message and no device object alive (the "leaks" tracer counts them).

#include "devices/DeviceMonitor.h"
#include "devices/VirtualDevices.h"
#include "tests/support/EventLoop.h"
#include "tests/support/LeakCheck.h"

#include <gtest/gtest.h>

#include <QObject>

namespace vidorel::devices {
namespace {

TEST(MonitorLeak, devicesThatComeAndGo_leaveNoMessageOrDeviceAlive) {
    gst_init(nullptr, nullptr);
    test::EnsureCoreApplication();
    if (!test::LeakTracerActive()) {
        GTEST_SKIP() << "needs GST_TRACERS=leaks (set by the test's CTest environment)";
    }
    int added = 0;
    int removed = 0;
    {
        QObject context;
        TDeviceMonitor monitor;
        ASSERT_TRUE(monitor.Start(nullptr));
        monitor.SetListener(&context, [&](TDeviceMonitor::Change c, const DeviceEntry&) {
            ++(c == TDeviceMonitor::Change::Added ? added : removed);
        });
        // Warm-up: the providers' first device and what they cache.
        RemoveVirtualDevice(AddVirtualDevice("Warm", VirtualKind::TestPattern));
        test::SpinUntil([&] { return removed >= 1; });
        test::StartLeakTracking();
        for (int i = 0; i < 20; ++i) {
            RemoveVirtualDevice(AddVirtualDevice("Passing", VirtualKind::TestPattern));
        }
        ASSERT_TRUE(test::SpinUntil([&] { return removed >= 21; }));
        test::Spin(std::chrono::milliseconds(100));
        const auto left = test::ObjectsLeftSinceStart();
        for (const char* type : {"GstMessage", "VidorelDevice"}) {
            EXPECT_EQ(left.count(type), 0u) << type << " objects left:\n" << test::Describe(left);
        }
    }
    EXPECT_EQ(added, 21);
}

} // namespace
} // namespace vidorel::devices

// Plug-in sources: the scan of the folder, the texts read from a plug-in, binding a device
// and the order of the calls, against small test modules built in several variants.
#include "sources/Plugin.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

using namespace vidorel;

namespace {

const std::string kDir = VIDOREL_TEST_PLUGIN_DIR;

std::string Module(const char* name) {
    return kDir + "/" + name + ".pzv";
}

// The call log of a module (the program's loaded copy shares it: the same file is loaded
// once per process).
struct Log {
    void* module;
    explicit Log(const char* name) : module(::dlopen(Module(name).c_str(), RTLD_NOW)) { Clear(); }
    ~Log() {
        if (module) {
            ::dlclose(module);
        }
    }
    std::string Text() const {
        auto f = reinterpret_cast<const char* (*)()>(::dlsym(module, "pzvtest_log"));
        return f ? f() : "";
    }
    void Clear() const {
        if (auto f = reinterpret_cast<void (*)()>(::dlsym(module, "pzvtest_clear"))) {
            f();
        }
    }
};

devices::DeviceEntry Entry(const std::string& name) {
    devices::DeviceEntry e;
    e.friendlyName = name;
    e.moniker = "test:" + name;
    return e;
}

} // namespace

TEST(Plugins, theScanListsEveryModuleByNameOrderAndSkipsWhatDoesNotLoad) {
    ScanPlugins(kDir);
    const auto& items = PluginList().Items;
    ASSERT_EQ(items.size(), 7u); // h_junk.pzv is not a module
    EXPECT_EQ(items[0].PluginPath, Module("a_card"));
    EXPECT_EQ(items[0].DriverName, "Test Card");
    EXPECT_TRUE(items[0].Enabled);
    // Two with one driver name: the first in the scan order is the one used.
    EXPECT_EQ(items[1].DriverName, "Test Card");
    EXPECT_EQ(PluginList().IndexOfDriver("Test Card"), 0);
    EXPECT_EQ(PluginList().IndexOfDriver("test card"), -1); // exact, case and all
    // 300 characters are cut to 255; a text without its NUL is read within its buffer.
    EXPECT_EQ(items[2].DriverName, std::string(255, 'x'));
    EXPECT_EQ(items[3].DriverName, std::string(255, 'y'));
    EXPECT_EQ(PluginList().IndexOfDriver(std::string(300, 'x')), -1);
    EXPECT_EQ(PluginList().IndexOfDriver(std::string(255, 'x')), 2);
    EXPECT_EQ(items[4].DriverName, "Bare Card");

    // A folder that is not there: an empty list, no error.
    ScanPlugins(kDir + "/none");
    EXPECT_EQ(PluginList().Count(), 0);
}

TEST(Plugins, pluginTextIsReadWithinItsBufferUpToItsFirstNul) {
    const char text[] = {'a', 'b', '\0', 'c'};
    EXPECT_EQ(PluginText(text, sizeof text), "ab");
    const char full[] = {'a', 'b', 'c'};
    EXPECT_EQ(PluginText(full, sizeof full), "abc");
    EXPECT_EQ(PluginText(full, 0), "");
}

TEST(Plugins, bindingCallsTheExportsInOrderAndEachDeviceHasItsOwnInstance) {
    Log log("a_card");
    {
        TPlugInCaptureDevice video(Entry("Test Card"), 1, Module("a_card"));
        ASSERT_TRUE(video.Valid);
        EXPECT_EQ(video.Kind, TPlugInCaptureDevice::kKindPlugin);
        EXPECT_EQ(video.DisplayName, "Test Card");
        EXPECT_EQ(video.FriendlyName, "Test Card");
        EXPECT_EQ(video.VideoStreamCount, 1);
        EXPECT_EQ(video.AudioStreamCount, 2);
        EXPECT_EQ(video.NativeFormat, 3); // the low byte of 0x103
        EXPECT_EQ(video.MuxedFormat, 2);
        EXPECT_EQ(log.Text(), "drivername friendlyname create sourcefilter nbfluxvideo "
                              "nbfluxaudio getformatnatif getformatmux ");
        // Listed as a video and as an audio device: bound twice, two instances.
        TPlugInCaptureDevice audio(Entry("Test Card"), 2, Module("a_card"));
        ASSERT_TRUE(audio.Valid);
        EXPECT_EQ(audio.DisplayName, "Test Card #2");
        log.Clear();
    }
    // Each instance goes back to the plug-in (the second device first: it went first).
    EXPECT_EQ(log.Text(), "destroy:101 destroy:100 ");
}

TEST(Plugins, aPluginThatDoesNotBindLeavesTheDeviceUnusable) {
    // Its driver is another device's.
    {
        Log log("a_card");
        TPlugInCaptureDevice other(Entry("Other Card"), 1, Module("a_card"));
        EXPECT_FALSE(other.Valid);
        EXPECT_EQ(log.Text(), "drivername "); // nothing more is asked of it
    }
    // No create export, or an instance of 0.
    EXPECT_FALSE(TPlugInCaptureDevice(Entry("Bare Card"), 1, Module("e_bare")).Valid);
    {
        Log log("f_zero");
        EXPECT_FALSE(TPlugInCaptureDevice(Entry("Zero Card"), 1, Module("f_zero")).Valid);
        EXPECT_EQ(log.Text(), "drivername friendlyname create "); // no destroy of 0
    }
    // Not a module at all.
    EXPECT_FALSE(TPlugInCaptureDevice(Entry("Test Card"), 1, kDir + "/h_junk.pzv").Valid);
    // Without the format exports: no native format is offered.
    TPlugInCaptureDevice plain(Entry("Plain Card"), 1, Module("g_noformats"));
    ASSERT_TRUE(plain.Valid);
    EXPECT_EQ(plain.NativeFormat, 0);
    EXPECT_EQ(plain.MuxedFormat, 0);
    // Without a graph nothing opens.
    EXPECT_FALSE(plain.OpenVideoStream(1, false).Pin);
}

// A plug-in device on the real window: one whose plug-in gives no picture is left out and the
// window goes on with another source; the sample card records its own stream from the window.
#include "devices/VirtualDevices.h"
#include "graph/CaptureRun.h"
#include "sources/Plugin.h"
#include "tests/app/WindowRecorder.h"

#include <QFileInfo>

using namespace vidorel;
using namespace vidorel::test;

TEST(PluginWindow, aPluginThatGivesNoPictureIsLeftOutAndTheWindowGoesOn) {
    TestApp();
    gst_init(nullptr, nullptr);
    // A device the test plug-in "Test Card" claims; the plug-in builds no stream at all.
    const std::string id =
        devices::AddVirtualDevice("Test Card", devices::VirtualKind::TestPattern);
    {
        Recorder r({{"Source video", "Test Card - Video"},
                    {"Source Audio", "No Audio Stream"},
                    {"Plugins Dir", VIDOREL_TEST_PLUGIN_DIR}});
        TCaptureForm& form = r.form;
        ASSERT_GE(PluginList().IndexOfDriver("Test Card"), 0);
        ASSERT_TRUE(WaitFor([&] { return r.dm.CurrentVideo != nullptr; }));
        EXPECT_NE(r.dm.CurrentVideo->DisplayName, "Test Card - Video");
        // Left out of the lists, and the preview runs on the source that took its place.
        bool excluded = false;
        for (const auto& [name, offered] : form.Sources().Exclusions) {
            excluded |= name == "Test Card" && !offered;
        }
        EXPECT_TRUE(excluded);
        const uint64_t frames = r.dm.vwEcran.FramesReceived();
        Settle(500);
        EXPECT_GT(r.dm.vwEcran.FramesReceived(), frames + 5);
    }
    devices::RemoveVirtualDevice(id);
}

TEST(PluginWindow, theSampleCardRecordsItsOwnStreamFromTheWindow) {
    Recorder r({{"Source video", "MPEG Encoder Card"},
                {"Source Audio", "No Audio Stream"},
                {"Plugins Dir", VIDOREL_SAMPLE_PLUGIN_DIR}},
               {{"Video Date", 0}});
    TCaptureForm& form = r.form;
    ASSERT_TRUE(r.dm.CurrentVideo);
    ASSERT_EQ(r.dm.CurrentVideo->DisplayName, "MPEG Encoder Card");
    r.Format("Native Mpeg Stream");
    EXPECT_EQ(form.NextVideoName(), Stem(r) + "0.mpg");
    r.Key(Qt::Key_Space);
    ASSERT_EQ(form.State(), CaptureState::Capturing)
        << (r.prompt.shown.empty() ? "" : r.prompt.shown.back());
    Settle(2000);
    r.Key(Qt::Key_Space);
    ASSERT_TRUE(r.Stopped());
    const TProbe probe = ProbeMedia(Stem(r) + "0.mpg");
    ASSERT_TRUE(probe.ok) << probe.errors;
    EXPECT_GT(probe.videoFrames, 25);
}

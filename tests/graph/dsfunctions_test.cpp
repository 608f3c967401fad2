// Graph and system routines.

#include "filters/Registration.h"
#include "graph/DSFunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace vidorel;

namespace {

class DSFunctionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        RegisterVidorelElements();
    }
    GstElement* Add(const char* factory, const char* name) {
        auto e = MakeElement(factory, name);
        dm.fg().AddFilter(e.get());
        return e.get();
    }
    bool Has(const char* name) { return static_cast<bool>(dm.fg().FindFilter(name)); }
    GstPadRef In(GstElement* e, int i = 0) { return Pad(e, PinDirection::Input, i); }

    struct {
        TFilterGraph graph{"fg"};
        TFilterGraph& fg() { return graph; }
    } dm;
};

} // namespace

TEST_F(DSFunctionsTest, removeUpstreamChain_removesTheBranchUpToTheStopFilter) {
    GstElement* src = Add("videotestsrc", "src");
    GstElement* tee = Add("tee", "infdecvideo");
    dm.fg().Connect(src, tee);
    auto tap = dm.fg().TapTee(tee);
    GstElement* conv = Add("videoconvert", "conv");
    GstElement* sink = Add("fakesink", "sink");
    dm.fg().Connect(tap.get(), In(conv).get());
    dm.fg().Connect(conv, sink);

    EXPECT_TRUE(RemoveUpstreamChain(dm.fg(), In(sink).get(), tee));
    EXPECT_FALSE(Has("sink"));
    EXPECT_FALSE(Has("conv"));
    EXPECT_FALSE(Has("infdecvideo_tap0"));
    EXPECT_TRUE(Has("infdecvideo"));
    EXPECT_TRUE(Has("src"));
    EXPECT_TRUE(Pads(tee, PinDirection::Output).empty()); // the tap's pad went back
}

TEST_F(DSFunctionsTest, removeUpstreamChain_keepsAnElementWithAnUnconnectedInput) {
    GstElement* conv = Add("videoconvert", "conv");
    GstElement* sink = Add("fakesink", "sink");
    dm.fg().Connect(conv, sink);
    EXPECT_TRUE(RemoveUpstreamChain(dm.fg(), In(sink).get(), nullptr));
    // conv has an unconnected input: it stays; sink had all its inputs handled: it goes.
    EXPECT_TRUE(Has("conv"));
    EXPECT_FALSE(Has("sink"));
}

TEST_F(DSFunctionsTest, removeUpstreamChain_followsEveryMuxerInput) {
    GstElement* v = Add("videotestsrc", "v");
    GstElement* enc = Add("avenc_mpeg4", "enc");
    GstElement* a = Add("audiotestsrc", "a");
    GstElement* mux = Add("avimux", "mux");
    GstElement* sink = Add("fakesink", "sink");
    dm.fg().Connect(v, enc);
    dm.fg().Connect(Pad(enc, PinDirection::Output, 0).get(),
                    dm.fg().RequestMuxerPad(mux, StreamRole::Video).get());
    dm.fg().Connect(Pad(a, PinDirection::Output, 0).get(),
                    dm.fg().RequestMuxerPad(mux, StreamRole::Audio).get());
    dm.fg().Connect(mux, sink);
    EXPECT_TRUE(RemoveUpstreamChain(dm.fg(), In(sink).get(), nullptr));
    for (const char* name : {"v", "enc", "a", "mux", "sink"}) {
        EXPECT_FALSE(Has(name)) << name;
    }
}

TEST_F(DSFunctionsTest, removeUpstreamChain_answersFalse_forAPadOutsideAnyElement) {
    auto pad = GstPadRef::adopt(GST_PAD(gst_object_ref_sink(gst_pad_new("lone", GST_PAD_SINK))));
    EXPECT_FALSE(RemoveUpstreamChain(dm.fg(), pad.get(), nullptr));
}

TEST_F(DSFunctionsTest, videoCompressors_listTheMpeg4EncoderUnderAnXvidName) {
    std::vector<std::string> list{"stale"};
    ASSERT_TRUE(ListVideoCompressors(list));
    EXPECT_EQ(std::count(list.begin(), list.end(), "stale"), 0);
    auto xvid = std::find_if(list.begin(), list.end(), [](const std::string& n) {
        std::string lower = n;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        return lower.find("xvid") != std::string::npos;
    });
    ASSERT_NE(xvid, list.end());

    TFilter divx("divx");
    ASSERT_TRUE(SelectFilterByName(kVideoCompressorCategory, *xvid, divx));
    EXPECT_EQ(divx.Moniker().factory, "avenc_mpeg4");
    divx.Attach(dm.fg());
    EXPECT_TRUE(Has("divx"));
}

TEST_F(DSFunctionsTest, selectByName_withAnUnknownName_answersFalse_andLeavesTheFilterDetached) {
    TFilter divx("divx");
    ASSERT_TRUE(SelectFilterByClassID(kVideoCompressorCategory, "avenc_mpeg4", divx));
    divx.Attach(dm.fg());
    EXPECT_FALSE(SelectFilterByName(kVideoCompressorCategory, "No Such Codec 9000", divx));
    EXPECT_FALSE(divx.Attached());
    EXPECT_FALSE(Has("divx"));
    EXPECT_EQ(divx.Moniker().factory, "avenc_mpeg4");
}

TEST_F(DSFunctionsTest, selectByClassId_findsTheMp3Encoder) {
    TFilter mp3("mp3");
    ASSERT_TRUE(SelectFilterByClassID(kAudioCompressorCategory, "lamemp3enc", mp3));
    EXPECT_FALSE(mp3.Moniker().displayName.empty());
    EXPECT_FALSE(
        SelectFilterByClassID(kAudioCompressorCategory, "avenc_mpeg4", mp3)); // wrong category
}

TEST_F(DSFunctionsTest, versionText_isGStreamersVersion_andItsNumbersParse) {
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    EXPECT_EQ(MediaFrameworkVersionText(), FormatVersionText(major, minor, micro, nano));
    EXPECT_EQ(FormatVersionText(1, 22, 0, 0), "1.22.0");
    EXPECT_EQ(FormatVersionText(1, 23, 1, 1), "1.23.1 (git)");
    EXPECT_EQ(MediaFrameworkMajorVersion(), static_cast<int>(major));
    EXPECT_EQ(MediaFrameworkMinorVersion(), static_cast<int>(minor));
    EXPECT_GE(MediaFrameworkVersionNumber(), 1020);
    EXPECT_EQ(VersionPart("1.18.4", 1), 18);
    EXPECT_EQ(VersionPart("Error", 0), 0);
    EXPECT_EQ(VersionPart("1", 1), 0);
}

TEST_F(DSFunctionsTest, beeps_playWithoutBlockingTheCaller_andFinishWithoutASoundCard) {
    PlayBeep1();
    PlayBeep0();
    EXPECT_FALSE(WaitForBeeps(0)); // still playing: the calls returned at once
    EXPECT_TRUE(WaitForBeeps(10000));
}

TEST_F(DSFunctionsTest, pluginPreload_loadsTheCodecPluginOnItsOwnThread_once) {
    EXPECT_TRUE(PluginsPreloaded()) << "nothing to wait for before it is started";
    StartPluginPreload();
    StartPluginPreload(); // a second start changes nothing
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!PluginsPreloaded() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(PluginsPreloaded());
    auto plugin = GstRef<GstPlugin>::adopt(gst_registry_find_plugin(gst_registry_get(), "libav"));
    ASSERT_TRUE(plugin);
    EXPECT_TRUE(gst_plugin_is_loaded(plugin.get())) << "the DV decoder's plug-in is in memory";
}

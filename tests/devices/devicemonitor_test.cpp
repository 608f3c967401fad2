#include "devices/DeviceKind.h"
#include "devices/DeviceMonitor.h"
#include "devices/DvDeckSrc.h"
#include "devices/VirtualDevices.h"
#include "devices/dvtape/DvTape.h"

#include <gst/app/gstappsink.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <filesystem>
#include <fstream>

namespace vidorel::devices {
namespace {

class DeviceMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        static int argc = 1;
        static char name[] = "devices";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) {
            new QCoreApplication(argc, argv);
        }
    }

    static std::vector<std::string> Names(const std::vector<DeviceEntry>& list) {
        std::vector<std::string> names;
        for (const auto& e : list) {
            names.push_back(e.friendlyName);
        }
        return names;
    }

    static const DeviceEntry* Find(const std::vector<DeviceEntry>& list, const std::string& n) {
        for (const auto& e : list) {
            if (e.friendlyName == n) {
                return &e;
            }
        }
        return nullptr;
    }

    template <typename Pred> static bool WaitFor(Pred pred, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!pred() && t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return pred();
    }

    // Pulls `count` buffers through an appsink after `element`; returns the caps seen.
    static GstRef<GstCaps> Pull(GstElement* source, const char* tail, int count,
                                std::vector<guint64>* offsets = nullptr) {
        auto pipeline =
            GstRef<GstElement>::adopt(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
        GErrorRef err;
        // The tail names its ends "first" and "last"; they are linked by hand because a demuxer
        // at the head of a parsed bin would not get the bin's sink pad.
        GstElement* rest = gst_parse_bin_from_description(tail, FALSE, &err.out());
        EXPECT_TRUE(rest) << (err ? err->message : "");
        GstElement* sink = gst_element_factory_make("appsink", "sink");
        g_object_set(sink, "sync", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline.get()), source, rest, sink, nullptr);
        auto first = GstRef<GstElement>::adopt(gst_bin_get_by_name(GST_BIN(rest), "first"));
        auto last = GstRef<GstElement>::adopt(gst_bin_get_by_name(GST_BIN(rest), "last"));
        EXPECT_TRUE(gst_element_link_pads(source, "src", first.get(), "sink"));
        EXPECT_TRUE(gst_element_link_pads(last.get(), "src", sink, "sink"));
        if (offsets) {
            auto pad = GstRef<GstPad>::adopt(gst_element_get_static_pad(source, "src"));
            gst_pad_add_probe(
                pad.get(), GST_PAD_PROBE_TYPE_BUFFER,
                [](GstPad*, GstPadProbeInfo* info, gpointer data) {
                    static_cast<std::vector<guint64>*>(data)->push_back(
                        GST_BUFFER_OFFSET(GST_PAD_PROBE_INFO_BUFFER(info)));
                    return GST_PAD_PROBE_OK;
                },
                offsets, nullptr);
        }
        EXPECT_NE(gst_element_set_state(pipeline.get(), GST_STATE_PLAYING),
                  GST_STATE_CHANGE_FAILURE);
        GstRef<GstCaps> caps;
        for (int i = 0; i < count; ++i) {
            auto sample = GstRef<GstSample>::adopt(
                gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND));
            if (!sample) {
                ADD_FAILURE() << "no sample " << i;
                break;
            }
            caps = GstRef<GstCaps>::ref(gst_sample_get_caps(sample.get()));
        }
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return caps;
    }
};

TEST_F(DeviceMonitorTest, virtualDevices_areListedByCategory_withTheirKinds) {
    TDeviceMonitor monitor;
    std::string error;
    ASSERT_TRUE(monitor.Start(&error)) << error;
    const auto video = monitor.Devices(DeviceCategory::Video);
    const auto audio = monitor.Devices(DeviceCategory::Audio);
    const auto* pattern = Find(video, kTestPatternName);
    const auto* deck = Find(video, kTestDeckName);
    const auto* tone = Find(audio, kTestToneName);
    ASSERT_TRUE(pattern && deck && tone);
    EXPECT_EQ(Find(audio, kTestPatternName), nullptr);
    EXPECT_LT(pattern - video.data(), deck - video.data());
    EXPECT_TRUE(pattern->isVirtual);
    EXPECT_EQ(KindFromCaps(pattern->caps.get()), kKindVideo);
    EXPECT_EQ(KindFromCaps(deck->caps.get()), kKindDV);
    EXPECT_EQ(KindFromCaps(tone->caps.get()), kKindAudio);
    // The same device keeps its identity across enumerations.
    EXPECT_EQ(Find(monitor.Devices(DeviceCategory::Video), kTestDeckName)->moniker, deck->moniker);
    EXPECT_NE(pattern->moniker, deck->moniker);
}

TEST_F(DeviceMonitorTest, comingAndGoingDevices_areNotifiedOnTheUiThread) {
    TDeviceMonitor monitor;
    ASSERT_TRUE(monitor.Start(nullptr));
    QObject context;
    std::vector<std::pair<TDeviceMonitor::Change, std::string>> events;
    bool offThread = false;
    monitor.SetListener(&context, [&](TDeviceMonitor::Change c, const DeviceEntry& e) {
        offThread |= QThread::currentThread() != context.thread();
        events.emplace_back(c, e.friendlyName);
    });
    const std::string id = AddVirtualDevice("Bench Camera", VirtualKind::TestPattern);
    ASSERT_TRUE(WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events[0],
              std::make_pair(TDeviceMonitor::Change::Added, std::string("Bench Camera")));
    EXPECT_TRUE(Find(monitor.Devices(DeviceCategory::Video), "Bench Camera"));
    RemoveVirtualDevice(id);
    ASSERT_TRUE(WaitFor([&] { return events.size() >= 2; }));
    EXPECT_EQ(events[1],
              std::make_pair(TDeviceMonitor::Change::Removed, std::string("Bench Camera")));
    EXPECT_FALSE(Find(monitor.Devices(DeviceCategory::Video), "Bench Camera"));
    EXPECT_FALSE(offThread);
}

TEST_F(DeviceMonitorTest, tapesFolder_offersOneDeckPerUsableDvFile) {
    namespace fs = std::filesystem;
    fs::create_directories(TapesFolder());
    dvtape::TapeDescription d;
    d.recordings = {{dvtape::CivilDateTime{2004, 7, 14, 10, 0, 0}, 5, false, true}};
    ASSERT_TRUE(dvtape::DvTape(d).writeRawDv(TapesFolder() + "/holiday.dv"));
    std::ofstream(TapesFolder() + "/notes.dv") << "not a tape at all";
    std::ofstream(TapesFolder() + "/empty.dv");
    fs::copy_file(TapesFolder() + "/holiday.dv", TapesFolder() + "/readme.txt");

    TDeviceMonitor monitor;
    ASSERT_TRUE(monitor.Start(nullptr));
    const auto video = monitor.Devices(DeviceCategory::Video);
    const auto* deck = Find(video, std::string(kTestDeckName) + " (holiday)");
    ASSERT_TRUE(deck);
    EXPECT_EQ(KindFromCaps(deck->caps.get()), kKindDV);
    EXPECT_FALSE(Find(video, std::string(kTestDeckName) + " (notes)"));
    EXPECT_FALSE(Find(video, std::string(kTestDeckName) + " (empty)"));
    EXPECT_FALSE(Find(video, std::string(kTestDeckName) + " (readme)"));

    // The file's deck plays that file.
    auto* src = gst_device_create_element(deck->device.get(), nullptr);
    auto transport = TransportOf(src);
    ASSERT_TRUE(transport);
    transport->SetMode(ED_MODE_PLAY);
    std::vector<guint64> offsets;
    Pull(src, "dvdemux name=first first.video ! queue ! avdec_dvvideo name=last", 3, &offsets);
    ASSERT_GE(offsets.size(), 3u);
    EXPECT_EQ(offsets[0], 0u);
    EXPECT_EQ(offsets[2], 2u);

    fs::remove(TapesFolder() + "/holiday.dv");
    EXPECT_FALSE(
        Find(monitor.Devices(DeviceCategory::Video), std::string(kTestDeckName) + " (holiday)"));
}

TEST_F(DeviceMonitorTest, testPatternAndTone_deliverTheirAnnouncedFormats) {
    TDeviceMonitor monitor;
    ASSERT_TRUE(monitor.Start(nullptr));
    const auto video = monitor.Devices(DeviceCategory::Video);
    const auto audio = monitor.Devices(DeviceCategory::Audio);
    const auto* pattern = Find(video, kTestPatternName);
    ASSERT_TRUE(pattern);
    auto caps = Pull(gst_device_create_element(pattern->device.get(), nullptr),
                     "identity name=first ! identity name=last", 2);
    ASSERT_TRUE(caps);
    const GstStructure* s = gst_caps_get_structure(caps.get(), 0);
    int w = 0, h = 0, n = 0, dd = 0;
    gst_structure_get_int(s, "width", &w);
    gst_structure_get_int(s, "height", &h);
    gst_structure_get_fraction(s, "framerate", &n, &dd);
    EXPECT_EQ(w, 720);
    EXPECT_EQ(h, 576);
    EXPECT_EQ(n * 1.0 / dd, 25.0);

    const auto* tone = Find(audio, kTestToneName);
    ASSERT_TRUE(tone);
    caps = Pull(gst_device_create_element(tone->device.get(), nullptr),
                "identity name=first ! identity name=last", 2);
    ASSERT_TRUE(caps);
    int rate = 0, channels = 0;
    gst_structure_get_int(gst_caps_get_structure(caps.get(), 0), "rate", &rate);
    gst_structure_get_int(gst_caps_get_structure(caps.get(), 0), "channels", &channels);
    EXPECT_EQ(rate, 48000);
    EXPECT_EQ(channels, 2);
}

TEST_F(DeviceMonitorTest, testDeck_playsDecodableDv_freezeRepeats_stopSendsNothing) {
    TDeviceMonitor monitor;
    ASSERT_TRUE(monitor.Start(nullptr));
    const auto video = monitor.Devices(DeviceCategory::Video);
    const auto* deck = Find(video, kTestDeckName);
    ASSERT_TRUE(deck);
    auto tape = DeckForDevice(std::string("vidorel:dv-test-deck"));
    ASSERT_TRUE(tape);
    tape->Cue(10);
    tape->SetMode(ED_MODE_PLAY);
    auto* src = gst_device_create_element(deck->device.get(), nullptr);
    EXPECT_EQ(TransportOf(src), tape);
    std::vector<guint64> offsets;
    auto caps =
        Pull(src, "dvdemux name=first first.video ! queue ! avdec_dvvideo name=last", 4, &offsets);
    ASSERT_TRUE(caps);
    int w = 0;
    gst_structure_get_int(gst_caps_get_structure(caps.get(), 0), "width", &w);
    EXPECT_EQ(w, 720);
    ASSERT_GE(offsets.size(), 4u);
    EXPECT_EQ(offsets[0], 10u);
    EXPECT_EQ(offsets[1], 11u);

    const int64_t at = tape->Position();
    tape->SetMode(ED_MODE_FREEZE);
    offsets.clear();
    Pull(gst_device_create_element(deck->device.get(), nullptr),
         "identity name=first ! identity name=last", 3, &offsets);
    ASSERT_GE(offsets.size(), 3u);
    EXPECT_EQ(offsets[0], static_cast<guint64>(at));
    EXPECT_EQ(offsets[2], static_cast<guint64>(at));

    // Stopped, the deck sends nothing: the pipeline still goes to PLAYING and back.
    tape->SetMode(ED_MODE_STOP);
    auto pipeline =
        GstRef<GstElement>::adopt(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    GstElement* s2 = gst_device_create_element(deck->device.get(), nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), s2, sink, nullptr);
    ASSERT_TRUE(gst_element_link(s2, sink));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    auto sample = GstRef<GstSample>::adopt(
        gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 300 * GST_MSECOND));
    EXPECT_FALSE(sample);
    EXPECT_EQ(gst_element_set_state(pipeline.get(), GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
}

} // namespace
} // namespace vidorel::devices

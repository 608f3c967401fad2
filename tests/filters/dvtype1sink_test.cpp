// zv_dvtype1sink: real recordings read back with ffprobe, and the file's life at its edges
// (end-of-stream, stop without it, a full disk).

#include "filters/Registration.h"
#include "filters/zv_dvtype1sink.h"

#include "devices/dvtape/DvTape.h"
#include "platform/GstRef.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <csignal>
#include <filesystem>
#include <gst/check/gstharness.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QJsonArray>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace vidorel;

namespace {

void InitOnce() {
    static const bool done = [] {
        gst_init(nullptr, nullptr);
        RegisterVidorelElements();
        return true;
    }();
    (void)done;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

dvtape::TapeDescription TapeOf(dvtape::DvSystem system, uint32_t frames) {
    dvtape::TapeDescription t;
    t.system = system;
    t.recordings = {{dvtape::CivilDateTime{2007, 8, 9, 10, 11, 12}, frames, false, true}};
    return t;
}

// A harness around the sink writing to `path`, with a bus to read what it posts.
struct SinkHarness {
    GstHarness* h;
    GstBusRef bus;
    explicit SinkHarness(const std::string& path, const char* caps)
        : h(nullptr), bus(GstBusRef::adopt(gst_bus_new())) {
        // Not prerolling asynchronously: the harness wants its state change done at once.
        auto sink = GstElementRef::adopt(GST_ELEMENT(
            gst_object_ref_sink(gst_element_factory_make(kDVType1SinkFactory, nullptr))));
        g_object_set(sink.get(), "location", path.c_str(), "async", FALSE, nullptr);
        gst_element_set_bus(sink.get(), bus.get());
        h = gst_harness_new_with_element(sink.get(), "sink", nullptr);
        gst_harness_set_src_caps_str(h, caps);
    }
    ~SinkHarness() { gst_harness_teardown(h); }
    GstFlowReturn push(const std::vector<uint8_t>& frame) {
        return gst_harness_push(h, gst_buffer_new_memdup(frame.data(), frame.size()));
    }
    // The first message of that type already posted, or null.
    GstMessageRef message(GstMessageType type) {
        return GstMessageRef::adopt(gst_bus_pop_filtered(bus.get(), type));
    }
};

struct Recorded {
    dvtape::DvSystem system;
    int height;
    const char* rate;
};

class DVType1Recording : public ::testing::TestWithParam<Recorded> {};

} // namespace

TEST_P(DVType1Recording, aRawTapeRecordedThroughTheSink_isReadByFfprobeAsDvWithItsAudio) {
    InitOnce();
    const Recorded r = GetParam();
    const dvtape::DvTape tape(TapeOf(r.system, 40));
    const std::string dir = test::sandboxRoot();
    const std::string raw = dir + "/tape.dv";
    const std::string avi = dir + "/tape.avi";
    ASSERT_TRUE(tape.writeRawDv(raw));

    const auto run = test::runPipeline(
        "filesrc location=" + raw + " blocksize=" + std::to_string(tape.frameBytes()) +
        " ! video/x-dv,systemstream=true ! zv_dvtype1sink location=" + avi);
    ASSERT_TRUE(run.reachedEos) << run.error;

    const QJsonArray streams = test::ffprobe(avi)["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    const QJsonObject video = streams[0].toObject();
    EXPECT_EQ(video["codec_name"].toString(), "dvvideo");
    EXPECT_EQ(video["width"].toInt(), 720);
    EXPECT_EQ(video["height"].toInt(), r.height);
    EXPECT_EQ(video["r_frame_rate"].toString(), r.rate);
    EXPECT_EQ(video["nb_read_frames"].toString(), "40");
    const QJsonObject audio = streams[1].toObject();
    EXPECT_EQ(audio["codec_type"].toString(), "audio");
    EXPECT_EQ(audio["sample_rate"].toString(), "48000");
    EXPECT_EQ(audio["channels"].toInt(), 2);
}

INSTANTIATE_TEST_SUITE_P(Systems, DVType1Recording,
                         ::testing::Values(Recorded{dvtape::DvSystem::Pal625, 576, "25/1"},
                                           Recorded{dvtape::DvSystem::Ntsc525, 480, "30000/1001"}));

TEST(DVType1Sink, isAFileSink_andEndOfStreamFinishesTheFileBeforeItGoesOn) {
    InitOnce();
    auto factory = GstRef<GstElementFactory>::adopt(gst_element_factory_find(kDVType1SinkFactory));
    ASSERT_TRUE(factory);
    EXPECT_NE(
        std::string(gst_element_factory_get_metadata(factory.get(), GST_ELEMENT_METADATA_KLASS))
            .find("Sink/File"),
        std::string::npos);

    const dvtape::DvTape tape(TapeOf(dvtape::DvSystem::Pal625, 3));
    const std::string path = test::sandboxRoot() + "/eos.avi";
    SinkHarness s(path, "video/x-dv, systemstream=(boolean)true, framerate=(fraction)25/1");
    for (uint64_t i = 0; i < 3; ++i) {
        ASSERT_EQ(s.push(tape.frame(i)), GST_FLOW_OK);
    }
    // A torn frame is left out with one warning; the recording goes on.
    ASSERT_EQ(s.push(std::vector<uint8_t>(5000, 0)), GST_FLOW_OK);
    EXPECT_TRUE(s.message(GST_MESSAGE_WARNING));
    ASSERT_TRUE(gst_harness_push_event(s.h, gst_event_new_eos()));
    const auto bytes = ReadFile(path);
    ASSERT_GT(bytes.size(), 3u * 144000);
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(Le32(bytes, 32 + 16), 3u); // avih frames
    EXPECT_FALSE(s.message(GST_MESSAGE_ERROR));
}

TEST(DVType1Sink, stoppedWithoutEndOfStream_warnsThatTheFileWasNotFinished) {
    InitOnce();
    const dvtape::DvTape tape(TapeOf(dvtape::DvSystem::Ntsc525, 2));
    const std::string path = test::sandboxRoot() + "/cut.avi";
    {
        SinkHarness s(path, "video/x-dv, systemstream=(boolean)true");
        for (uint64_t i = 0; i < 2; ++i) {
            ASSERT_EQ(s.push(tape.frame(i)), GST_FLOW_OK);
        }
        gst_element_set_state(s.h->element, GST_STATE_NULL);
        const auto warning = s.message(GST_MESSAGE_WARNING);
        ASSERT_TRUE(warning);
        GErrorRef err;
        gst_message_parse_warning(warning.get(), &err.out(), nullptr);
        EXPECT_NE(std::string(err->message).find("not finished"), std::string::npos);
    }
    const auto bytes = ReadFile(path);
    ASSERT_GT(bytes.size(), 2u * 120000);
    EXPECT_EQ(Le32(bytes, 4), 0u); // the placeholder's mark
}

TEST(DVType1Sink, aFileThatCannotGrow_isAnElementErrorThatSaysSo_andTheFramesStay) {
    InitOnce();
    const dvtape::DvTape tape(TapeOf(dvtape::DvSystem::Pal625, 1));
    const std::string path = test::sandboxRoot() + "/full.avi";
    // Files of this process may not grow past 1 MB, as on a disk that fills up.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 1'000'000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    GstFlowReturn ret = GST_FLOW_OK;
    GstMessageRef error, second;
    {
        SinkHarness s(path, "video/x-dv, systemstream=(boolean)true");
        const auto frame = tape.frame(0);
        // The stdio buffer holds the first frames; the failure shows when it is written out.
        for (int i = 0; i < 100 && ret == GST_FLOW_OK; ++i) {
            ret = s.push(frame);
        }
        if (ret == GST_FLOW_OK) {
            gst_harness_push_event(s.h, gst_event_new_eos());
        }
        error = s.message(GST_MESSAGE_ERROR);
        // One error for the user, not one per frame.
        second = s.message(GST_MESSAGE_ERROR);
    }
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_TRUE(ret == GST_FLOW_OK || ret == GST_FLOW_ERROR);
    ASSERT_TRUE(error);
    GErrorRef err;
    gst_message_parse_error(error.get(), &err.out(), nullptr);
    EXPECT_TRUE(g_error_matches(err.get(), GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NO_SPACE_LEFT))
        << err->message;
    EXPECT_NE(std::string(err->message).find("largest file"), std::string::npos) << err->message;
    EXPECT_FALSE(second);
    // Salvaged: six whole frames (header + 6 * 144008 < 1 MB), sizes and counts to match.
    const QJsonArray streams = test::ffprobe(path)["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0]["nb_read_frames"].toString(), "6");
}

TEST(DVType1Sink, aDeviceOrAFifoAsTheFile_isRefusedAtStart) {
    InitOnce();
    auto sink = GstElementRef::adopt(
        GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("zv_dvtype1sink", nullptr))));
    g_object_set(sink.get(), "location", "/dev/full", nullptr);
    EXPECT_EQ(gst_element_set_state(sink.get(), GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    gst_element_set_state(sink.get(), GST_STATE_NULL);
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// The WAV writer: headers pushed by the element, and real files written by filesink, read back
// byte by byte and with ffprobe.

#include "filters/Registration.h"
#include "filters/zv_wavedest.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include <QJsonArray>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace vidorel;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kPcmCaps =
    "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=2";

class WaveDestTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        RegisterVidorelElements();
    }
};

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
    return std::uint32_t(b.at(at)) | std::uint32_t(b.at(at + 1)) << 8 |
           std::uint32_t(b.at(at + 2)) << 16 | std::uint32_t(b.at(at + 3)) << 24;
}
std::uint16_t U16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
std::string Four(const Bytes& b, std::size_t at) {
    return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4);
}

Bytes BufferBytes(GstBuffer* buffer) {
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_READ);
    Bytes b(map.data, map.data + map.size);
    gst_buffer_unmap(buffer, &map);
    return b;
}

GstBuffer* Pattern(std::size_t n, std::uint8_t first) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>(first + i);
    }
    return gst_buffer_new_memdup(b.data(), b.size());
}

// The 46 header bytes of a 48 kHz stereo 16-bit file with `data` bytes of audio, written out
// by hand.
Bytes PcmHeader48kStereo(std::uint32_t data) {
    const auto b = [](std::uint32_t v, int byte) { return std::uint8_t(v >> (8 * byte)); };
    const std::uint32_t riff = data + 46 - 8;
    return {
        'R',        'I',        'F',        'F',        // RIFF
        b(riff, 0), b(riff, 1), b(riff, 2), b(riff, 3), // data + header - 8
        'W',        'A',        'V',        'E',        //
        'f',        'm',        't',        ' ',        //
        0x12,       0x00,       0x00,       0x00,       // cbFormat 18
        0x01,       0x00,       0x02,       0x00,       // PCM, 2 channels
        0x80,       0xBB,       0x00,       0x00,       // 48000 Hz
        0x00,       0xEE,       0x02,       0x00,       // 192000 bytes/s
        0x04,       0x00,       0x10,       0x00,       // align 4, 16 bits
        0x00,       0x00,                               // cbSize 0
        'd',        'a',        't',        'a',        //
        b(data, 0), b(data, 1), b(data, 2), b(data, 3), // data bytes
    };
}

// A file's RIFF and data sizes agree with its length.
void ExpectSizesMatchLength(const Bytes& file, std::uint32_t headerBytes) {
    ASSERT_GE(file.size(), headerBytes);
    EXPECT_EQ(Four(file, 0), "RIFF");
    EXPECT_EQ(U32(file, 4), file.size() - 8);
    EXPECT_EQ(Four(file, headerBytes - 8), "data");
    EXPECT_EQ(U32(file, headerBytes - 4), file.size() - headerBytes);
}

struct PlayResult {
    bool eos = false;
    std::string error;
    std::vector<GstRef<GstStructure>> limits; // "zv-wavedest-limit" messages
};

// Plays `pipeline` until end of stream or error; it stays in PLAYING.
PlayResult PlayToEnd(GstElement* pipeline) {
    PlayResult run;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    auto bus = GstBusRef::adopt(gst_element_get_bus(pipeline));
    for (;;) {
        auto msg = GstMessageRef::adopt(gst_bus_timed_pop_filtered(
            bus.get(), 30 * GST_SECOND,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR |
                                        GST_MESSAGE_ELEMENT)));
        if (!msg) {
            run.error = "timeout";
            break;
        }
        if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_ELEMENT) {
            const GstStructure* s = gst_message_get_structure(msg.get());
            if (gst_structure_has_name(s, Tzv_WaveDest::kLimitMessage)) {
                run.limits.push_back(GstRef<GstStructure>::adopt(gst_structure_copy(s)));
            }
            continue;
        }
        if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS) {
            run.eos = true;
        } else {
            GErrorRef e;
            GCharRef debug;
            gst_message_parse_error(msg.get(), &e.out(), &debug.out());
            run.error = std::string(e->message) + " / " + (debug ? debug.get() : "");
        }
        break;
    }
    return run;
}

PlayResult LaunchToEnd(const std::string& launch) {
    GErrorRef err;
    auto pipeline = GstElementRef::adopt(gst_parse_launch(launch.c_str(), &err.out()));
    if (!pipeline || err) {
        PlayResult run;
        run.error = err ? err->message : "cannot build the pipeline";
        return run;
    }
    PlayResult run = PlayToEnd(pipeline.get());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return run;
}

std::string Path(const char* name) {
    return test::sandboxRoot() + "/" + name;
}

QJsonObject FirstStream(const std::string& path) {
    const QJsonArray streams = test::ffprobe(path)["streams"].toArray();
    return streams.isEmpty() ? QJsonObject() : streams.first().toObject();
}

} // namespace

// --- in the harness: what the element pushes ---

TEST_F(WaveDestTest, pcm_headerFirstWithNoData_thenAudio_thenByteSegmentAndFinalHeader) {
    GstHarness* h = gst_harness_new("zv_wavedest");
    gst_harness_set_src_caps_str(h, kPcmCaps);
    ASSERT_EQ(gst_harness_push(h, Pattern(8, 1)), GST_FLOW_OK);
    ASSERT_EQ(gst_harness_push(h, Pattern(4, 100)), GST_FLOW_OK);
    ASSERT_TRUE(gst_harness_push_event(h, gst_event_new_eos()));

    auto first = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_EQ(BufferBytes(first.get()), PcmHeader48kStereo(0));
    auto a = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_EQ(BufferBytes(a.get()), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(GST_BUFFER_OFFSET(a.get()), 46u);
    EXPECT_EQ(GST_BUFFER_OFFSET_END(a.get()), 54u);
    auto b = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_EQ(BufferBytes(b.get()), (Bytes{100, 101, 102, 103}));
    EXPECT_EQ(GST_BUFFER_OFFSET(b.get()), 54u);
    auto last = GstBufferRef::adopt(gst_harness_pull(h));
    EXPECT_EQ(BufferBytes(last.get()), PcmHeader48kStereo(12));
    EXPECT_EQ(gst_harness_try_pull(h), nullptr);
    EXPECT_EQ(FilterCast<Tzv_WaveDest>(h->element)->WavDataBytes(), 12u);
    EXPECT_EQ(FilterCast<Tzv_WaveDest>(h->element)->HeaderBytes(), 46u);

    // Events as they left: the stream's own segment became bytes from 0, and the rewrite is a
    // second byte segment at 0 before the end of stream.
    std::vector<GstEventType> types;
    std::vector<guint64> segmentStarts;
    while (GstEvent* e = gst_harness_try_pull_event(h)) {
        types.push_back(GST_EVENT_TYPE(e));
        if (GST_EVENT_TYPE(e) == GST_EVENT_SEGMENT) {
            const GstSegment* s = nullptr;
            gst_event_parse_segment(e, &s);
            EXPECT_EQ(s->format, GST_FORMAT_BYTES);
            segmentStarts.push_back(s->start);
        } else if (GST_EVENT_TYPE(e) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(e, &caps);
            EXPECT_TRUE(gst_structure_has_name(gst_caps_get_structure(caps, 0), "audio/x-wav"));
        }
        gst_event_unref(e);
    }
    EXPECT_EQ(types,
              (std::vector<GstEventType>{GST_EVENT_STREAM_START, GST_EVENT_CAPS, GST_EVENT_SEGMENT,
                                         GST_EVENT_SEGMENT, GST_EVENT_EOS}));
    EXPECT_EQ(segmentStarts, (std::vector<guint64>{0, 0}));
    gst_harness_teardown(h);
}

// Bytes whose push failed downstream are not in the file, so they must not be in the header.
TEST_F(WaveDestTest, bufferRefusedDownstream_isNotCounted) {
    GstHarness* h = gst_harness_new("zv_wavedest");
    gst_harness_set_src_caps_str(h, kPcmCaps);
    ASSERT_EQ(gst_harness_push(h, Pattern(8, 0)), GST_FLOW_OK);
    gulong probe = gst_pad_add_probe(
        h->sinkpad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, gpointer) {
            gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
            GST_PAD_PROBE_INFO_DATA(info) = nullptr;
            GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_FLUSHING;
            return GST_PAD_PROBE_HANDLED;
        },
        nullptr, nullptr);
    EXPECT_EQ(gst_harness_push(h, Pattern(400, 0)), GST_FLOW_FLUSHING);
    gst_pad_remove_probe(h->sinkpad, probe);
    ASSERT_EQ(gst_harness_push(h, Pattern(4, 0)), GST_FLOW_OK);
    ASSERT_TRUE(gst_harness_push_event(h, gst_event_new_eos()));
    GstBuffer* last = nullptr;
    while (GstBuffer* b = gst_harness_try_pull(h)) {
        if (last != nullptr) {
            gst_buffer_unref(last);
        }
        last = b;
    }
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(BufferBytes(last), PcmHeader48kStereo(12));
    gst_buffer_unref(last);
    gst_harness_teardown(h);
}

// The file already says its format: a stream that changes it midway is refused, not written
// under the wrong header.
TEST_F(WaveDestTest, formatChangeAfterTheHeader_isRefused) {
    GstHarness* h = gst_harness_new("zv_wavedest");
    gst_harness_set_src_caps_str(h, kPcmCaps);
    ASSERT_EQ(gst_harness_push(h, Pattern(8, 0)), GST_FLOW_OK);
    gst_harness_set_src_caps_str(
        h, "audio/x-raw, format=S16LE, layout=interleaved, rate=44100, channels=2");
    EXPECT_EQ(gst_harness_push(h, Pattern(8, 0)), GST_FLOW_NOT_NEGOTIATED);
    gst_harness_teardown(h);
}

TEST_F(WaveDestTest, maxBytes_defaultsToTheRiffLimit) {
    auto e = GstElementRef::adopt(gst_element_factory_make("zv_wavedest", nullptr));
    ASSERT_TRUE(e);
    guint64 max = 0;
    g_object_get(e.get(), "max-bytes", &max, nullptr);
    EXPECT_EQ(max, 0xFFFFFFFFu);
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(e.get()), "max-bytes");
    ASSERT_NE(property, nullptr);
    EXPECT_EQ(G_PARAM_SPEC_UINT64(property)->maximum, 0xFFFFFFFFu);
    EXPECT_EQ(G_PARAM_SPEC_UINT64(property)->minimum, 58u);
}

// --- real files ---

TEST_F(WaveDestTest, pcm48kStereo_fileHasTheExactHeader_andFfprobeReadsIt) {
    const std::string file = Path("pcm.wav");
    const PlayResult run =
        LaunchToEnd("audiotestsrc num-buffers=10 samplesperbuffer=480 ! "
                    "audio/x-raw,format=S16LE,rate=48000,channels=2 ! zv_wavedest ! "
                    "filesink location=" +
                    file);
    ASSERT_TRUE(run.eos) << run.error;
    const Bytes bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 46u + 19200u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 46), PcmHeader48kStereo(19200));
    // Field by field, as a reader finds them.
    EXPECT_EQ(Four(bytes, 0), "RIFF");
    EXPECT_EQ(U32(bytes, 4), 19238u);
    EXPECT_EQ(Four(bytes, 8), "WAVE");
    EXPECT_EQ(Four(bytes, 12), "fmt ");
    EXPECT_EQ(U32(bytes, 16), 18u);
    EXPECT_EQ(U16(bytes, 20), 1);
    EXPECT_EQ(U16(bytes, 22), 2);
    EXPECT_EQ(U32(bytes, 24), 48000u);
    EXPECT_EQ(U32(bytes, 28), 192000u);
    EXPECT_EQ(U16(bytes, 32), 4);
    EXPECT_EQ(U16(bytes, 34), 16);
    EXPECT_EQ(U16(bytes, 36), 0);
    EXPECT_EQ(Four(bytes, 38), "data");
    EXPECT_EQ(U32(bytes, 42), 19200u);

    const QJsonObject s = FirstStream(file);
    EXPECT_EQ(s["codec_name"].toString(), "pcm_s16le");
    EXPECT_EQ(s["sample_rate"].toString(), "48000");
    EXPECT_EQ(s["channels"].toInt(), 2);
    EXPECT_NEAR(s["duration"].toString().toDouble(), 0.1, 1e-6);
}

TEST_F(WaveDestTest, stopWithoutAudio_leavesA46ByteFileWithDataSize0) {
    const std::string file = Path("empty.wav");
    GErrorRef err;
    auto pipeline = GstElementRef::adopt(gst_parse_launch(
        ("appsrc name=src format=time caps=\"audio/x-raw,format=S16LE,layout=interleaved,"
         "rate=48000,channels=2\" ! zv_wavedest ! filesink location=" +
         file)
            .c_str(),
        &err.out()));
    ASSERT_FALSE(err) << err->message;
    auto src = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
    GstFlowReturn flow = GST_FLOW_ERROR;
    g_signal_emit_by_name(src.get(), "end-of-stream", &flow);
    ASSERT_EQ(flow, GST_FLOW_OK);
    const PlayResult run = PlayToEnd(pipeline.get());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    ASSERT_TRUE(run.eos) << run.error;
    EXPECT_EQ(ReadFile(file), PcmHeader48kStereo(0));
}

TEST_F(WaveDestTest, twoRunsOfOneElement_intoTwoFiles_eachGetTheirOwnHeader) {
    GErrorRef err;
    auto pipeline = GstElementRef::adopt(gst_parse_launch(
        "audiotestsrc name=src num-buffers=5 samplesperbuffer=480 ! "
        "audio/x-raw,format=S16LE,rate=48000,channels=2 ! zv_wavedest ! filesink name=sink",
        &err.out()));
    ASSERT_FALSE(err) << err->message;
    auto src = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
    auto sink = GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));

    const std::string first = Path("run1.wav");
    const std::string second = Path("run2.wav");
    g_object_set(sink.get(), "location", first.c_str(), nullptr);
    PlayResult run = PlayToEnd(pipeline.get());
    ASSERT_TRUE(run.eos) << run.error;
    // The writer's run ends at READY; filesink keeps its file open until NULL.
    gst_element_set_state(pipeline.get(), GST_STATE_READY);
    gst_element_set_state(sink.get(), GST_STATE_NULL);

    g_object_set(sink.get(), "location", second.c_str(), nullptr);
    g_object_set(src.get(), "num-buffers", 3, nullptr);
    run = PlayToEnd(pipeline.get());
    ASSERT_TRUE(run.eos) << run.error;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);

    const Bytes a = ReadFile(first);
    const Bytes b = ReadFile(second);
    ASSERT_EQ(a.size(), 46u + 5 * 1920);
    ASSERT_EQ(b.size(), 46u + 3 * 1920);
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 46), PcmHeader48kStereo(5 * 1920));
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 46), PcmHeader48kStereo(3 * 1920));
}

// A run that never ends (the program was killed) still leaves a file that tells its format:
// the header is on disk before the first audio byte.
TEST_F(WaveDestTest, fileOfARunStillStreaming_alreadyHasItsFormat) {
    const std::string file = Path("killed.wav");
    GstHarness* h = gst_harness_new("zv_wavedest");
    gst_harness_add_sink_parse(h, ("filesink buffer-mode=unbuffered location=" + file).c_str());
    gst_harness_set_src_caps_str(h, kPcmCaps);
    ASSERT_EQ(gst_harness_push(h, Pattern(1920, 0)), GST_FLOW_OK);
    ASSERT_EQ(gst_harness_push_to_sink(h), GST_FLOW_OK); // the header
    ASSERT_EQ(gst_harness_push_to_sink(h), GST_FLOW_OK); // the audio

    const Bytes bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 46u + 1920u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 46), PcmHeader48kStereo(0));
    EXPECT_EQ(bytes[46], 0);
    EXPECT_EQ(bytes[47], 1);
    gst_harness_teardown(h);
}

TEST_F(WaveDestTest, mp3Cbr_isTag0x55WithBlockSizeAndBitrate_andFfprobeReadsMp3) {
    const std::string file = Path("cbr.wav");
    // 43 buffers of 1024 samples at 44.1 kHz: 0.9985 s.
    const PlayResult run = LaunchToEnd(
        "audiotestsrc num-buffers=43 ! audio/x-raw,rate=44100,channels=2 ! "
        "lamemp3enc target=bitrate cbr=true bitrate=128 ! mpegaudioparse ! zv_wavedest ! "
        "filesink location=" +
        file);
    ASSERT_TRUE(run.eos) << run.error;
    const Bytes bytes = ReadFile(file);
    ExpectSizesMatchLength(bytes, 58);
    EXPECT_EQ(U32(bytes, 16), 30u);
    const Bytes fmt(bytes.begin() + 20, bytes.begin() + 50);
    EXPECT_EQ(fmt, (Bytes{0x55, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x80, 0x3E,
                          0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x01, 0x00,
                          0x02, 0x00, 0x00, 0x00, 0xA1, 0x01, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(bytes.at(58), 0xFF); // the first frame's sync right after the header
    EXPECT_EQ(bytes.at(59) & 0xE0, 0xE0);

    const QJsonObject s = FirstStream(file);
    EXPECT_EQ(s["codec_name"].toString(), "mp3");
    EXPECT_EQ(s["sample_rate"].toString(), "44100");
    EXPECT_EQ(s["channels"].toInt(), 2);
    EXPECT_NEAR(s["duration"].toString().toDouble(), 43 * 1024 / 44100.0, 0.06);
}

// At a variable bitrate the first frame's bitrate says little; the final header takes the
// average from the bytes and the duration written.
TEST_F(WaveDestTest, mp3Vbr_averageComesFromBytesAndDuration) {
    const std::string file = Path("vbr.wav");
    const PlayResult run = LaunchToEnd(
        "audiotestsrc num-buffers=86 wave=white-noise ! audio/x-raw,rate=44100,channels=2 ! "
        "lamemp3enc target=quality quality=2 ! mpegaudioparse ! zv_wavedest ! "
        "filesink location=" +
        file);
    ASSERT_TRUE(run.eos) << run.error;
    const Bytes bytes = ReadFile(file);
    ExpectSizesMatchLength(bytes, 58);
    EXPECT_EQ(U16(bytes, 20), 0x55);
    const double seconds = 86 * 1024 / 44100.0;
    const double average = (bytes.size() - 58) / seconds;
    EXPECT_NEAR(U32(bytes, 28), average, average * 0.03);

    const QJsonObject s = FirstStream(file);
    EXPECT_EQ(s["codec_name"].toString(), "mp3");
    EXPECT_NEAR(s["duration"].toString().toDouble(), seconds, 0.1);
}

// --- the size limit ---

TEST_F(WaveDestTest, limit_fileEndsBeforeTheBufferThatWouldPassIt_exactlyAtTheLimit) {
    struct Case {
        guint64 maxBytes;
        std::uint32_t dataBytes;
    } cases[] = {{46 + 4000, 4000}, {46 + 3999, 3000}, {46 + 4001, 4000}};
    int i = 0;
    for (const Case& c : cases) {
        const std::string file = Path(("limit" + std::to_string(i++) + ".wav").c_str());
        // 1000-byte buffers: 250 stereo 16-bit samples.
        const PlayResult run =
            LaunchToEnd("audiotestsrc num-buffers=100 samplesperbuffer=250 ! "
                        "audio/x-raw,format=S16LE,rate=8000,channels=2 ! zv_wavedest max-bytes=" +
                        std::to_string(c.maxBytes) + " ! filesink location=" + file);
        ASSERT_TRUE(run.eos) << run.error;
        ASSERT_EQ(run.limits.size(), 1u) << c.maxBytes;
        guint64 reported = 0;
        EXPECT_TRUE(gst_structure_get_uint64(run.limits[0].get(), "data-bytes", &reported));
        EXPECT_EQ(reported, c.dataBytes);

        const Bytes bytes = ReadFile(file);
        EXPECT_LE(bytes.size(), c.maxBytes);
        ASSERT_EQ(bytes.size(), 46u + c.dataBytes) << c.maxBytes;
        ExpectSizesMatchLength(bytes, 46);
        EXPECT_EQ(U32(bytes, 24), 8000u);

        const QJsonObject s = FirstStream(file);
        EXPECT_EQ(s["codec_name"].toString(), "pcm_s16le") << c.maxBytes;
        EXPECT_NEAR(s["duration"].toString().toDouble(), c.dataBytes / 32000.0, 1e-6);
    }
}

TEST_F(WaveDestTest, limit_stopsTheMp3StreamCleanly) {
    const std::string file = Path("limit.mp3.wav");
    const PlayResult run =
        LaunchToEnd("audiotestsrc num-buffers=200 ! audio/x-raw,rate=44100,channels=2 ! "
                    "lamemp3enc target=bitrate cbr=true bitrate=128 ! mpegaudioparse ! "
                    "zv_wavedest max-bytes=10058 ! filesink location=" +
                    file);
    ASSERT_TRUE(run.eos) << run.error;
    ASSERT_EQ(run.limits.size(), 1u);
    const Bytes bytes = ReadFile(file);
    EXPECT_LE(bytes.size(), 10058u);
    EXPECT_GT(bytes.size(), 10058u - 420); // stopped at the last whole frame that fits
    ExpectSizesMatchLength(bytes, 58);
    EXPECT_EQ(FirstStream(file)["codec_name"].toString(), "mp3");
}

// Without a limit in reach nothing is reported.
TEST_F(WaveDestTest, limitNotReached_postsNoMessage) {
    const PlayResult run = LaunchToEnd("audiotestsrc num-buffers=4 samplesperbuffer=250 ! "
                                       "audio/x-raw,format=S16LE,rate=8000,channels=2 ! "
                                       "zv_wavedest max-bytes=4046 ! filesink location=" +
                                       Path("fits.wav"));
    ASSERT_TRUE(run.eos) << run.error;
    EXPECT_TRUE(run.limits.empty());
    EXPECT_EQ(ReadFile(Path("fits.wav")).size(), 4046u);
}

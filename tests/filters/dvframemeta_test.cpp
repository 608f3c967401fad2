// The DV record on the buffer (TDVFrameMeta): copies carry it, and it travels the program's DV
// paths with real elements, from the scene detector through the demuxer, decoder, converters,
// overlay, tees, queues and encoder to the DV header filter, each frame with its own record
// however many frames a queue holds. (gst_init, the element registration and the
// QGuiApplication the overlay's text needs come from superposer_test.cpp, in the same
// executable.)

#include "filters/DVFrameMeta.h"

#include "devices/dvtape/DvTape.h"
#include "filters/dvcodes.h"
#include "filters/zv_scenedetect.h"
#include "filters/zv_superposer.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vidorel {
namespace {

constexpr GstClockTime kFrame = 40 * GST_MSECOND;

// A tape whose frames all differ in their header blocks: one-frame recordings, each three
// seconds after the last, with a running timecode.
dvtape::TapeDescription distinctFrames(int frames) {
    dvtape::TapeDescription t;
    for (int i = 0; i < frames; ++i) {
        const int seconds = 3 * i;
        t.recordings.push_back({dvtape::CivilDateTime{2011, 3, 4, 9, seconds / 60, seconds % 60}, 1,
                                i % 7 == 3, true});
    }
    t.startTimecodeFrame = 1234;
    return t;
}

// The subcode and VAUX blocks of DIF sequences 0 to 9: what the DV header filter puts back
// (the DIF header block before them stays the encoder's).
std::vector<uint8_t> restoredBlocks(const uint8_t* frame) {
    std::vector<uint8_t> blocks;
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        const uint8_t* at = frame + n * kDifSequenceBytes;
        blocks.insert(blocks.end(), at + kDifBlockBytes, at + kDVHeaderBlockBytes);
    }
    return blocks;
}

// ---- the meta itself ----

TEST(DVFrameMeta, isRegisteredOnce_withoutTags) {
    EXPECT_EQ(DVFrameMetaApiType(), DVFrameMetaApiType());
    EXPECT_NE(DVFrameMetaApiType(), G_TYPE_INVALID);
    EXPECT_STREQ(g_type_name(DVFrameMetaApiType()), "VidorelDVFrameMetaAPI");
    const gchar* const* tags = gst_meta_api_type_get_tags(DVFrameMetaApiType());
    EXPECT_TRUE(tags == nullptr || tags[0] == nullptr) << "without tags, codecs copy it";
    ASSERT_NE(DVFrameMetaInfo(), nullptr);
    EXPECT_EQ(DVFrameMetaInfo()->api, DVFrameMetaApiType());
    EXPECT_EQ(DVFrameMetaInfo()->size, sizeof(TDVFrameMeta));
}

TEST(DVFrameMeta, addingTwice_givesTheSameRecord_andAReadOnlyBufferTakesNone) {
    GstBuffer* b = gst_buffer_new_allocate(nullptr, 16, nullptr);
    EXPECT_EQ(GetDVFrameMeta(b), nullptr);
    TDVFrameMeta* first = AddDVFrameMeta(b);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Record.HeaderSequences, 0);
    EXPECT_EQ(first->Record.FrameNumber, 0u);
    EXPECT_FALSE(first->Record.SceneStart);
    EXPECT_EQ(first->Record.Blocks[9][479], 0);
    EXPECT_EQ(AddDVFrameMeta(b), first);
    EXPECT_EQ(GetDVFrameMeta(b), first);
    gst_buffer_ref(b);
    EXPECT_EQ(AddDVFrameMeta(b), nullptr) << "a shared buffer is not writable";
    EXPECT_EQ(GetDVFrameMeta(b), first) << "but can be read";
    gst_buffer_unref(b);
    gst_buffer_unref(b);
    EXPECT_EQ(AddDVFrameMeta(nullptr), nullptr);
    EXPECT_EQ(GetDVFrameMeta(nullptr), nullptr);
}

TEST(DVFrameMeta, copiesOfTheBuffer_carryTheWholeRecord) {
    const dvtape::DvTape tape(distinctFrames(2));
    TSceneDetector detector;
    auto record = std::make_unique<TDVFrameRecord>();
    detector.ProcessFrame(tape.frame(0), record.get());
    detector.ProcessFrame(tape.frame(1), record.get());

    const std::vector<uint8_t> frame = tape.frame(1);
    GstBuffer* b = gst_buffer_new_memdup(frame.data(), frame.size());
    AddDVFrameMeta(b)->Record = *record;
    GstBuffer* copies[] = {gst_buffer_copy(b), gst_buffer_copy_deep(b),
                           gst_buffer_copy_region(b, GST_BUFFER_COPY_ALL, 0, frame.size())};
    for (GstBuffer* copy : copies) {
        const TDVFrameMeta* meta = GetDVFrameMeta(copy);
        ASSERT_NE(meta, nullptr);
        EXPECT_NE(meta, GetDVFrameMeta(b)) << "a meta of its own";
        EXPECT_EQ(std::memcmp(&meta->Record, record.get(), sizeof(TDVFrameRecord)), 0);
        EXPECT_EQ(meta->Record.FrameNumber, 1u);
        EXPECT_EQ(meta->Record.HeaderSequences, kDvMetadataSequences);
        EXPECT_EQ(std::memcmp(meta->Record.Blocks[9], frame.data() + 9 * kDifSequenceBytes,
                              kDVHeaderBlockBytes),
                  0);
        gst_buffer_unref(copy);
    }
    gst_buffer_unref(b);
}

// ---- real pipelines ----

// A launch line fed with the frames of a tape through an appsrc named "src". Probes count, per
// observed pad, the buffers and those with a record whose frame number matches the buffer's
// running time (encoders move the times and the segment together); a queue named "hold" can be
// held shut until it holds a number of frames.
class DvPipeline {
public:
    struct Seen {
        int buffers = 0;
        int ownRecord = 0; // buffers whose record is the one of their own frame
    };

    explicit DvPipeline(const std::string& line) {
        GErrorRef error;
        pipeline = GstElementRef::adopt(gst_parse_launch(line.c_str(), &error.out()));
        EXPECT_TRUE(pipeline) << (error ? error->message : "");
    }
    ~DvPipeline() {
        if (pipeline) {
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        }
    }
    GstElementRef element(const char* name) const {
        return GstElementRef::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), name));
    }

    // Counts what passes the pad `element`.`pad`; `onBuffer` (optional) sees each buffer too,
    // with its running time.
    void observe(const char* name, const char* padName,
                 std::function<void(GstBuffer*, GstClockTime)> onBuffer = nullptr) {
        auto e = element(name);
        ASSERT_TRUE(e) << name;
        auto pad = GstPadRef::adopt(gst_element_get_static_pad(e.get(), padName));
        ASSERT_TRUE(pad) << name << "." << padName;
        auto* watch = new Watch{this, std::string(name) + "." + padName, std::move(onBuffer)};
        gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &DvPipeline::OnBuffer, watch,
                          [](gpointer w) { delete static_cast<Watch*>(w); });
        order.push_back(watch->name);
    }

    // Shuts the src pad of the queue "hold" until it holds `frames` buffers.
    void holdUntilQueued(int frames) {
        auto queue = element("hold");
        ASSERT_TRUE(queue);
        auto pad = GstPadRef::adopt(gst_element_get_static_pad(queue.get(), "src"));
        holdProbe = gst_pad_add_probe(
            pad.get(),
            static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
            [](GstPad*, GstPadProbeInfo*, gpointer) { return GST_PAD_PROBE_OK; }, nullptr, nullptr);
        holdFrames = frames;
        holdPad = pad;
    }

    // Plays the tape through the pipeline to the end; false on an error or after 60 s.
    bool play(const dvtape::DvTape& tape) {
        auto src = element("src");
        if (!src) {
            return false;
        }
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        for (uint64_t i = 0; i < tape.frameCount(); ++i) {
            const std::vector<uint8_t> frame = tape.frame(i);
            GstBuffer* b = gst_buffer_new_memdup(frame.data(), frame.size());
            GST_BUFFER_PTS(b) = i * kFrame;
            GST_BUFFER_DURATION(b) = kFrame;
            gst_app_src_push_buffer(GST_APP_SRC(src.get()), b);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(src.get()));
        if (holdPad) {
            // The frames behind the first one pile up in the queue; the first waits at its exit.
            auto queue = element("hold");
            guint level = 0;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (level < static_cast<guint>(holdFrames) &&
                   std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                g_object_get(queue.get(), "current-level-buffers", &level, nullptr);
            }
            heldLevel = level;
            gst_pad_remove_probe(holdPad.get(), holdProbe);
        }
        auto bus = GstBusRef::adopt(gst_element_get_bus(pipeline.get()));
        auto msg = GstMessageRef::adopt(gst_bus_timed_pop_filtered(
            bus.get(), 60 * GST_SECOND,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_ERROR) {
            GErrorRef err;
            GCharRef debug;
            gst_message_parse_error(msg.get(), &err.out(), &debug.out());
            problem = std::string(err->message) + " (" + (debug ? debug.get() : "") + ")";
        }
        return msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS;
    }

    Seen seen(const std::string& pad) {
        std::lock_guard lock(seenLock);
        return counts[pad];
    }

    GstElementRef pipeline;
    std::vector<std::string> order;
    std::string problem;
    guint heldLevel = 0;

private:
    struct Watch {
        DvPipeline* self;
        std::string name;
        std::function<void(GstBuffer*, GstClockTime)> onBuffer;
    };

    static GstClockTime RunningTime(GstPad* pad, GstBuffer* b) {
        auto event = GstRef<GstEvent>::adopt(gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0));
        if (!event || !GST_BUFFER_PTS_IS_VALID(b)) {
            return GST_CLOCK_TIME_NONE;
        }
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event.get(), &segment);
        return gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(b));
    }

    static GstPadProbeReturn OnBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
        auto* w = static_cast<Watch*>(data);
        GstBuffer* b = GST_PAD_PROBE_INFO_BUFFER(info);
        const GstClockTime time = RunningTime(pad, b);
        const TDVFrameMeta* meta = GetDVFrameMeta(b);
        const bool own = meta != nullptr && GST_CLOCK_TIME_IS_VALID(time) &&
                         meta->Record.FrameNumber == time / kFrame;
        {
            std::lock_guard lock(w->self->seenLock);
            Seen& s = w->self->counts[w->name];
            ++s.buffers;
            s.ownRecord += own ? 1 : 0;
        }
        if (w->onBuffer) {
            w->onBuffer(b, time);
        }
        return GST_PAD_PROBE_OK;
    }

    std::mutex seenLock;
    std::map<std::string, Seen> counts;
    GstPadRef holdPad;
    gulong holdProbe = 0;
    int holdFrames = 0;
};

const char* const kSource =
    "appsrc name=src format=time caps=\"video/x-dv, systemstream=(boolean)true\" ";

// The DV device's chain of the preview and the re-encoding capture, as the program builds it:
// detector, interleaved tee, demuxer, native tee, decoder, converter, overlay, preview tee and
// the capture branch's converter, encoder and DV header filter.
TEST(DVFrameMetaPaths, record_travelsTheDvPreviewAndCapturePath_toTheDvHeaderFilter) {
    const int frames = 12;
    const dvtape::DvTape tape(distinctFrames(frames));
    for (const char* scale : {"", "videoscale name=half ! video/x-raw, width=360 ! "}) {
        SCOPED_TRACE(*scale ? "half size" : "full size");
        DvPipeline p(std::string(kSource) +
                     "! zv_scenedetect name=detect ! tee name=interleaved ! queue name=q1 ! "
                     "dvdemux name=demux demux.video ! queue name=q2 ! tee name=native ! "
                     "queue name=q3 ! avdec_dvvideo name=dec ! " +
                     scale +
                     "videoconvert name=conv1 ! zv_superposer name=overlay ! tee name=preview ! "
                     "queue name=q4 ! videoconvert name=conv2 ! videoscale ! "
                     "video/x-raw, width=720, height=576 ! avenc_dvvideo name=enc ! "
                     "zv_dvheader name=header ! fakesink name=sink "
                     "interleaved. ! queue ! fakesink native. ! queue ! fakesink "
                     "preview. ! queue ! fakesink demux.audio ! queue ! fakesink");
        ASSERT_TRUE(p.pipeline);
        std::map<GstClockTime, std::vector<uint8_t>> restored;
        std::mutex restoredLock;
        for (auto [name, pad] : {std::pair{"detect", "src"},
                                 {"q1", "src"},
                                 {"q2", "sink"},
                                 {"q3", "src"},
                                 {"dec", "src"},
                                 {"conv1", "src"},
                                 {"overlay", "src"},
                                 {"q4", "src"},
                                 {"conv2", "src"},
                                 {"enc", "src"}}) {
            p.observe(name, pad);
        }
        p.observe("header", "src", [&](GstBuffer* b, GstClockTime time) {
            GstMapInfo m;
            if (gst_buffer_map(b, &m, GST_MAP_READ)) {
                if (m.size >= kDvMetadataBytes) {
                    std::lock_guard lock(restoredLock);
                    restored[time] = restoredBlocks(m.data);
                }
                gst_buffer_unmap(b, &m);
            }
        });
        if (*scale) {
            p.observe("half", "src");
        }
        ASSERT_TRUE(p.play(tape)) << p.problem;
        for (const std::string& pad : p.order) {
            const DvPipeline::Seen s = p.seen(pad);
            EXPECT_EQ(s.buffers, frames) << pad;
            EXPECT_EQ(s.ownRecord, frames) << pad << ": buffers with their own frame's record";
        }
        ASSERT_EQ(restored.size(), static_cast<std::size_t>(frames));
        for (int i = 0; i < frames; ++i) {
            const std::vector<uint8_t> source = tape.frame(i);
            EXPECT_EQ(restored[i * kFrame], restoredBlocks(source.data())) << "frame " << i;
        }
    }
}

TEST(DVFrameMetaPaths, frameDelayedByAQueueOfFifty_getsItsOwnHeaderBlocks_byteForByte) {
    const int frames = 60;
    const dvtape::DvTape tape(distinctFrames(frames));
    DvPipeline p(std::string(kSource) +
                 "! zv_scenedetect ! queue name=hold max-size-buffers=50 max-size-bytes=0 "
                 "max-size-time=0 ! dvdemux name=demux demux.video ! avdec_dvvideo ! "
                 "videoconvert ! avenc_dvvideo ! zv_dvheader name=header ! fakesink "
                 "demux.audio ! queue ! fakesink");
    ASSERT_TRUE(p.pipeline);
    std::map<GstClockTime, std::vector<uint8_t>> restored;
    std::vector<GstClockTime> arrival;
    std::mutex restoredLock;
    p.observe("header", "src", [&](GstBuffer* b, GstClockTime time) {
        GstMapInfo m;
        ASSERT_TRUE(gst_buffer_map(b, &m, GST_MAP_READ));
        std::lock_guard lock(restoredLock);
        restored[time] = restoredBlocks(m.data);
        arrival.push_back(time);
        gst_buffer_unmap(b, &m);
    });
    p.holdUntilQueued(50);
    ASSERT_TRUE(p.play(tape)) << p.problem;
    EXPECT_EQ(p.heldLevel, 50u) << "the detector ran 50 frames ahead of the first one";
    ASSERT_EQ(restored.size(), static_cast<std::size_t>(frames));
    ASSERT_EQ(arrival.front(), 0u);
    for (int i = 0; i < frames; ++i) {
        const std::vector<uint8_t> source = tape.frame(i);
        const std::vector<uint8_t>& out = restored[i * kFrame];
        ASSERT_EQ(out.size(), kDvMetadataSequences * (kDVHeaderBlockBytes - kDifBlockBytes));
        EXPECT_EQ(out, restoredBlocks(source.data())) << "frame " << i;
        // Frames differ in date and timecode, so another frame's blocks could not pass.
        if (i > 0) {
            EXPECT_NE(out, restoredBlocks(tape.frame(i - 1).data()));
        }
    }
}

TEST(DVFrameMetaPaths, overlayBehindAQueue_inlaysEachFramesOwnRecordingTime) {
    const int frames = 60;
    const dvtape::DvTape tape(distinctFrames(frames));
    DvPipeline p(std::string(kSource) +
                 "! zv_scenedetect ! queue name=hold max-size-buffers=50 max-size-bytes=0 "
                 "max-size-time=0 ! dvdemux name=demux demux.video ! avdec_dvvideo ! "
                 "videoconvert ! zv_superposer name=overlay ! fakesink demux.audio ! queue ! "
                 "fakesink");
    ASSERT_TRUE(p.pipeline);
    auto* overlay = FilterCast<Tzv_Superposer>(p.element("overlay").get());
    ASSERT_NE(overlay, nullptr);
    overlay->SetTextSource(1);
    overlay->SetDateTimeFormats("yyyy-mm-dd", "hh:nn:ss");
    // The probe runs on the overlay's streaming thread right after it drew the frame.
    std::map<GstClockTime, std::string> inlaid;
    std::mutex inlaidLock;
    p.observe("overlay", "src", [&](GstBuffer*, GstClockTime time) {
        std::lock_guard lock(inlaidLock);
        inlaid[time] = (overlay->LastLine1() + " " + overlay->LastLine2()).toStdString();
    });
    p.holdUntilQueued(50);
    ASSERT_TRUE(p.play(tape)) << p.problem;
    EXPECT_EQ(p.heldLevel, 50u);
    ASSERT_EQ(inlaid.size(), static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const auto date = tape.facts(i).date;
        ASSERT_TRUE(date.has_value());
        char expected[32];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", date->year,
                      date->month, date->day, date->hour, date->minute, date->second);
        EXPECT_EQ(inlaid[i * kFrame], expected) << "frame " << i;
    }
    EXPECT_EQ(p.seen("overlay.src").ownRecord, frames);
}

} // namespace
} // namespace vidorel

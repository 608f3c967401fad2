// vidorel-dvinfo [--frames] [--scn OUT.scn] FILE
//
// Lists the scenes of a raw DV file or a DV AVI (type 1 or 2) as the capture's scene detector
// finds them, optionally every frame's record, and optionally writes the scene index file a
// capture of that material would have written. The file runs through GStreamer:
//     filesrc ! [avidemux !] zv_scenedetect ! fakesink

#include "files/ecrire_scnUnit.h"
#include "filters/DVFrameMeta.h"
#include "filters/Registration.h"
#include "filters/zv_scenedetect.h"
#include "platform/GstRef.h"

#include <gst/gst.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace vidorel;

namespace {

struct Options {
    bool frames = false;
    std::string scn;
    std::string file;
};

int usage(const char* message) {
    std::fprintf(stderr,
                 "vidorel-dvinfo: %s\nusage: vidorel-dvinfo [--frames] [--scn OUT.scn] FILE\n",
                 message);
    return 2;
}

enum class Container { RawDv625, RawDv525, Avi, Unknown };

Container sniff(const std::string& path, std::string& problem) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        problem = "cannot open the file";
        return Container::Unknown;
    }
    unsigned char head[12] = {};
    f.read(reinterpret_cast<char*>(head), sizeof head);
    if (f.gcount() < static_cast<std::streamsize>(sizeof head)) {
        problem = "the file is too short to hold DV";
        return Container::Unknown;
    }
    if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0) {
        return Container::Avi;
    }
    // A DIF header block: section type 0 in the top bits of the first byte, DSF in bit 7 of the
    // fourth.
    if ((head[0] & 0xE0) == 0x00 && head[1] == 0x07) {
        return (head[3] & 0x80) ? Container::RawDv625 : Container::RawDv525;
    }
    problem = "neither raw DV nor an AVI file";
    return Container::Unknown;
}

std::string dateText(const TDVFrameInfo& f) {
    if (!f.DateValid) {
        return "none";
    }
    const DvCivilTime t = DaysToCivilTime(f.RecDateTime);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

std::string timecodeText(const TDVFrameInfo& f) {
    if (!f.TimecodeValid) {
        return "none";
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d:%02d", f.Timecode.Hours, f.Timecode.Minutes,
                  f.Timecode.Seconds, f.Timecode.Frames);
    return buf;
}

const char* systemText(const TDVFrameInfo& f) {
    switch (f.VideoSystem) {
    case 0:
        return "625/50";
    case 1:
        return "525/60";
    default:
        return "unknown";
    }
}

struct Run {
    Options options;
    GstElement* detectorElement = nullptr;
    Tzv_SceneDetect* detector = nullptr;
    GstElement* pipeline = nullptr;
    bool linked = false;
    uint64_t frames = 0;
};

GstPadProbeReturn onFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* run = static_cast<Run*>(data);
    run->frames += 1;
    if (run->options.frames) {
        // The record the detector attached to this frame (its number already advanced). Without
        // one, the detector's latest record is the same: this probe runs on the streaming thread
        // right after the detector's Transform.
        const TDVFrameMeta* meta = GetDVFrameMeta(GST_PAD_PROBE_INFO_BUFFER(info));
        const TDVFrameInfo f = meta != nullptr ? meta->Record.Info : run->detector->Current();
        std::printf("frame %u: date %s, timecode %s, 16:9 %s, system %s\n", f.FrameNumber - 1,
                    dateText(f).c_str(), timecodeText(f).c_str(), f.Is16x9 ? "yes" : "no",
                    systemText(f));
    }
    return GST_PAD_PROBE_OK;
}

// avidemux makes its pads once it has read the header: the DV stream goes to the detector,
// anything else (the audio of a type-2 file) into a sink of its own.
void onDemuxPad(GstElement*, GstPad* pad, gpointer data) {
    auto* run = static_cast<Run*>(data);
    auto caps = GstRef<GstCaps>::adopt(gst_pad_query_caps(pad, nullptr));
    const bool dv = caps && gst_caps_get_size(caps.get()) > 0 &&
                    gst_structure_has_name(gst_caps_get_structure(caps.get(), 0), "video/x-dv");
    if (dv && !run->linked) {
        auto sink = GstRef<GstPad>::adopt(gst_element_get_static_pad(run->detectorElement, "sink"));
        run->linked = gst_pad_link(pad, sink.get()) == GST_PAD_LINK_OK;
        return;
    }
    GstElement* other = gst_element_factory_make("fakesink", nullptr);
    g_object_set(other, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(run->pipeline), other);
    gst_element_sync_state_with_parent(other);
    auto sink = GstRef<GstPad>::adopt(gst_element_get_static_pad(other, "sink"));
    gst_pad_link(pad, sink.get());
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames") {
            options.frames = true;
        } else if (a == "--scn") {
            if (++i >= argc) {
                return usage("--scn needs a file name");
            }
            options.scn = argv[i];
        } else if (a.size() > 1 && a[0] == '-') {
            return usage(("unknown option " + a).c_str());
        } else if (options.file.empty()) {
            options.file = a;
        } else {
            return usage("only one FILE");
        }
    }
    if (options.file.empty()) {
        return usage("no FILE given");
    }

    std::string problem;
    const Container container = sniff(options.file, problem);
    if (container == Container::Unknown) {
        std::fprintf(stderr, "vidorel-dvinfo: cannot read %s: %s\n", options.file.c_str(),
                     problem.c_str());
        return 1;
    }

    gst_init(&argc, &argv);
    RegisterVidorelElements();

    Run run;
    run.options = options;
    auto pipeline = GstRef<GstElement>::adopt(gst_pipeline_new("dvinfo"));
    run.pipeline = pipeline.get();
    GstElement* src = gst_element_factory_make("filesrc", nullptr);
    GstElement* detector = gst_element_factory_make("zv_scenedetect", "sd");
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!src || !detector || !sink) {
        std::fprintf(stderr, "vidorel-dvinfo: a GStreamer element is missing\n");
        return 1;
    }
    run.detectorElement = detector;
    run.detector = FilterCast<Tzv_SceneDetect>(detector);
    g_object_set(src, "location", options.file.c_str(), nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), src, detector, sink, nullptr);
    gst_element_link(detector, sink);

    if (container == Container::Avi) {
        GstElement* demux = gst_element_factory_make("avidemux", nullptr);
        gst_bin_add(GST_BIN(pipeline.get()), demux);
        gst_element_link(src, demux);
        g_signal_connect(demux, "pad-added", G_CALLBACK(onDemuxPad), &run);
    } else {
        // Raw DV has no framing of its own: read it a whole frame at a time.
        g_object_set(src, "blocksize",
                     container == Container::RawDv625 ? guint(kDv625FrameBytes)
                                                      : guint(kDv525FrameBytes),
                     nullptr);
        auto caps =
            GstRef<GstCaps>::adopt(gst_caps_from_string("video/x-dv, systemstream=(boolean)true"));
        gst_element_link_filtered(src, detector, caps.get());
    }
    auto srcPad = GstRef<GstPad>::adopt(gst_element_get_static_pad(detector, "src"));
    gst_pad_add_probe(srcPad.get(), GST_PAD_PROBE_TYPE_BUFFER, onFrame, &run, nullptr);

    TSceneFileWriter writer;
    if (!options.scn.empty() && !writer.OpenSceneFile(options.scn)) {
        std::fprintf(stderr, "vidorel-dvinfo: cannot write the scene file %s\n",
                     options.scn.c_str());
        return 1;
    }
    struct SceneLine {
        TDVFrameInfo start;
        uint32_t next;
    };
    std::vector<SceneLine> scenes;
    run.detector->SetSceneCallback([&](const TDVFrameInfo& start, const TDVFrameInfo& next) {
        scenes.push_back({start, next.FrameNumber});
        writer.WriteScene(start, next);
    });

    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    auto bus = GstRef<GstBus>::adopt(gst_element_get_bus(pipeline.get()));
    auto msg = GstRef<GstMessage>::adopt(gst_bus_timed_pop_filtered(
        bus.get(), GST_CLOCK_TIME_NONE,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    std::string error;
    if (msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_ERROR) {
        GErrorRef err;
        GCharRef debug;
        gst_message_parse_error(msg.get(), &err.out(), &debug.out());
        error = err ? err->message : "unknown error";
    }
    // Stopping the detector reports the last scene.
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    run.detector->SetSceneCallback(nullptr);
    writer.CloseSceneFile();

    if (!error.empty()) {
        std::fprintf(stderr, "vidorel-dvinfo: cannot read %s: %s\n", options.file.c_str(),
                     error.c_str());
        return 1;
    }
    if (run.frames == 0) {
        std::fprintf(stderr, "vidorel-dvinfo: no DV frames in %s\n", options.file.c_str());
        return 1;
    }
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        const TDVFrameInfo& s = scenes[i].start;
        // The first scene's record is taken once the first frame is numbered; it starts the clip.
        const uint32_t first = i == 0 ? 0 : s.FrameNumber;
        std::printf("scene %zu: first %u, frames %u, date %s, timecode %s, 16:9 %s\n", i + 1, first,
                    scenes[i].next - first, dateText(s).c_str(), timecodeText(s).c_str(),
                    s.Is16x9 ? "yes" : "no");
    }
    std::printf("frames: %llu\n", static_cast<unsigned long long>(run.frames));
    return 0;
}

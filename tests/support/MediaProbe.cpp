#include "tests/support/MediaProbe.h"

#include "platform/GstRef.h"

#include <QJsonDocument>

#include <cstdio>
#include <memory>

namespace vidorel::test {

QJsonObject ffprobe(const std::string& path) {
    const std::string cmd = "ffprobe -v error -show_streams -count_frames -of json '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    if (!pipe) {
        return {};
    }
    QByteArray out;
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe.get())) > 0) {
        out.append(buf, static_cast<qsizetype>(n));
    }
    if (pclose(pipe.release()) != 0) {
        return {};
    }
    return QJsonDocument::fromJson(out).object();
}

namespace {

GstPadProbeReturn countBuffer(GstPad*, GstPadProbeInfo*, gpointer counter) {
    g_atomic_int_inc(static_cast<gint*>(counter));
    return GST_PAD_PROBE_OK;
}

void countOn(GstElement* pipeline, const char* name, gint* counter) {
    auto sink = GstRef<GstElement>::adopt(gst_bin_get_by_name(GST_BIN(pipeline), name));
    if (!sink) {
        return;
    }
    auto pad = GstRef<GstPad>::adopt(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, countBuffer, counter, nullptr);
}

} // namespace

GstRunResult runPipeline(const std::string& launchLine, int timeoutSeconds) {
    GstRunResult result;
    GErrorRef err;
    auto pipeline = GstRef<GstElement>::adopt(gst_parse_launch(launchLine.c_str(), &err.out()));
    if (!pipeline || err) {
        result.error = err ? err->message : "cannot build the pipeline";
        return result;
    }
    gint video = 0;
    gint audio = 0;
    countOn(pipeline.get(), "vsink", &video);
    countOn(pipeline.get(), "asink", &audio);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    auto bus = GstRef<GstBus>::adopt(gst_element_get_bus(pipeline.get()));
    auto msg = GstRef<GstMessage>::adopt(gst_bus_timed_pop_filtered(
        bus.get(), static_cast<GstClockTime>(timeoutSeconds) * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    if (!msg) {
        result.error = "timeout";
    } else if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS) {
        result.reachedEos = true;
    } else {
        GErrorRef e;
        GCharRef debug;
        gst_message_parse_error(msg.get(), &e.out(), &debug.out());
        result.error = std::string(e->message) + " / " + (debug ? debug.get() : "");
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    result.videoBuffers = g_atomic_int_get(&video);
    result.audioBuffers = g_atomic_int_get(&audio);
    return result;
}

} // namespace vidorel::test

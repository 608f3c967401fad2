// Records interleaved DV into a DV type-1 AVI file, frames unchanged:
//
//     gst-launch-1.0 filesrc location=tape.dv blocksize=144000 !
//         video/x-dv,systemstream=true ! zv_dvtype1sink location=tape.avi
//
// The file is finished (index and counts written) at end-of-stream. Stopped without it, the file
// keeps its placeholder header, which marks it unfinished, and the element posts a warning that
// says so. A write failure (disk full) is an element error; the file is then cut after its last
// whole frame and its header rewritten in place, so what was recorded plays.

#include "filters/zv_dvtype1sink.h"

#include "filters/DVType1Avi.h"

#include <gst/base/gstbasesink.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string>

GST_DEBUG_CATEGORY_STATIC(zv_dvtype1sink_debug);
#define GST_CAT_DEFAULT zv_dvtype1sink_debug

namespace vidorel {
namespace {

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-dv, systemstream = (boolean) true"));

// Properties: "location" (string, default none): the file to write; taken when the element
// starts (READY → PAUSED), so it cannot change while a file is open.
enum { PROP_0, PROP_LOCATION };

// The C++ state, placement-constructed in the instance's private area.
struct Impl {
    std::string location; // guarded by the object lock
    // The rest belongs to the streaming thread between start and stop.
    std::string path;
    TFileByteSink file;
    std::optional<TDVType1AviWriter> writer;
    DvAviSystem capsSystem = DvAviSystem::Pal625;
    bool errorPosted = false;
    guint64 skippedFrames = 0;
};

} // namespace
} // namespace vidorel

struct VidorelDVType1Sink {
    GstBaseSink parent;
};
struct VidorelDVType1SinkClass {
    GstBaseSinkClass parent_class;
};
using VidorelDVType1SinkPrivate = vidorel::Impl;

G_DEFINE_TYPE_WITH_PRIVATE(VidorelDVType1Sink, vidorel_dv_type1_sink, GST_TYPE_BASE_SINK)

namespace vidorel {
namespace {

Impl& ImplOf(gpointer self) {
    return *static_cast<Impl*>(
        vidorel_dv_type1_sink_get_instance_private(static_cast<VidorelDVType1Sink*>(self)));
}

void PostWriteError(GstBaseSink* sink, Impl& impl) {
    if (impl.errorPosted) {
        return;
    }
    impl.errorPosted = true;
    const int err = impl.file.Errno();
    // What reached the disk is kept playable: a full disk must not cost the recording.
    if (impl.writer && impl.writer->Salvage() == TDVType1AviWriter::Result::Ok) {
        GST_WARNING_OBJECT(sink, "kept %" G_GUINT64_FORMAT " whole frames of %s",
                           impl.writer->FramesWritten(), impl.path.c_str());
    }
    if (err == ENOSPC || err == EDQUOT) {
        GST_ELEMENT_ERROR(sink, RESOURCE, NO_SPACE_LEFT,
                          ("The disk is full: the recording \"%s\" stopped.", impl.path.c_str()),
                          ("write failed: %s after %" G_GUINT64_FORMAT " frames", g_strerror(err),
                           impl.writer->FramesWritten()));
    } else if (err == EFBIG) {
        // The largest file the disk allows (4 GiB on FAT), or the process's file-size limit.
        GST_ELEMENT_ERROR(sink, RESOURCE, NO_SPACE_LEFT,
                          ("The recording \"%s\" reached the largest file this disk allows and "
                           "stopped.",
                           impl.path.c_str()),
                          ("write failed: %s after %" G_GUINT64_FORMAT " frames", g_strerror(err),
                           impl.writer->FramesWritten()));
    } else {
        GST_ELEMENT_ERROR(sink, RESOURCE, WRITE,
                          ("Could not write the recording \"%s\".", impl.path.c_str()),
                          ("write failed: %s after %" G_GUINT64_FORMAT " frames",
                           g_strerror(err != 0 ? err : EIO), impl.writer->FramesWritten()));
    }
}

// Finishes the file: index, header, close. Answers false after posting the error.
bool FinishFile(GstBaseSink* sink, Impl& impl) {
    if (!impl.writer || impl.writer->IsFinished()) {
        return true;
    }
    if (impl.writer->Finish() != TDVType1AviWriter::Result::Ok || !impl.file.Close()) {
        PostWriteError(sink, impl);
        return false;
    }
    GST_INFO_OBJECT(sink, "finished %s: %" G_GUINT64_FORMAT " frames in %zu RIFF parts",
                    impl.path.c_str(), impl.writer->FramesWritten(), impl.writer->RiffParts());
    return true;
}

gboolean Start(GstBaseSink* sink) {
    Impl& impl = ImplOf(sink);
    try {
        GST_OBJECT_LOCK(sink);
        impl.path = impl.location;
        GST_OBJECT_UNLOCK(sink);
        impl.errorPosted = false;
        impl.skippedFrames = 0;
        impl.capsSystem = DvAviSystem::Pal625;
        if (impl.path.empty()) {
            GST_ELEMENT_ERROR(sink, RESOURCE, NOT_FOUND,
                              ("No file name was given for the recording."),
                              ("the location property is not set"));
            return FALSE;
        }
        if (!impl.file.Open(impl.path)) {
            GST_ELEMENT_ERROR(sink, RESOURCE, OPEN_WRITE,
                              ("Could not create the recording \"%s\".", impl.path.c_str()),
                              ("fopen: %s", g_strerror(impl.file.Errno())));
            return FALSE;
        }
        impl.writer.emplace(impl.file);
        return TRUE;
    } catch (const std::exception& e) {
        GST_ELEMENT_ERROR(sink, CORE, FAILED, ("The recording could not start."), ("%s", e.what()));
        return FALSE;
    }
}

gboolean Stop(GstBaseSink* sink) {
    Impl& impl = ImplOf(sink);
    if (impl.writer && !impl.writer->IsFinished() && !impl.errorPosted) {
        GST_ELEMENT_WARNING(sink, RESOURCE, WRITE,
                            ("The recording \"%s\" was stopped before its end: the file was not "
                             "finished.",
                             impl.path.c_str()),
                            ("stopped without end-of-stream after %" G_GUINT64_FORMAT " frames",
                             impl.writer->FramesWritten()));
    }
    impl.writer.reset();
    impl.file.Close();
    return TRUE;
}

gboolean SetCaps(GstBaseSink* sink, GstCaps* caps) {
    Impl& impl = ImplOf(sink);
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    gint num = 0;
    gint den = 1;
    // Only a file without frames uses this: the first frame's size decides otherwise.
    if (gst_structure_get_fraction(s, "framerate", &num, &den) && den > 0 && num > 0) {
        impl.capsSystem = (num / den >= 29) ? DvAviSystem::Ntsc525 : DvAviSystem::Pal625;
    }
    if (impl.writer && impl.writer->FramesWritten() == 0) {
        impl.writer->SetDefaultSystem(impl.capsSystem);
    }
    return TRUE;
}

GstFlowReturn Render(GstBaseSink* sink, GstBuffer* buffer) {
    Impl& impl = ImplOf(sink);
    if (!impl.writer) {
        return GST_FLOW_ERROR;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        GST_ELEMENT_ERROR(sink, RESOURCE, READ, ("A DV frame could not be read."),
                          ("gst_buffer_map failed"));
        return GST_FLOW_ERROR;
    }
    const auto result = impl.writer->WriteFrame(DvFrame(map.data, map.size));
    gst_buffer_unmap(buffer, &map);

    using R = TDVType1AviWriter::Result;
    switch (result) {
    case R::Ok:
        GST_LOG_OBJECT(sink, "frame %" G_GUINT64_FORMAT, impl.writer->FramesWritten());
        return GST_FLOW_OK;
    case R::WrongFrameSize:
        // A torn frame from the bus would break every player's frame arithmetic: leave it out.
        if (impl.skippedFrames++ == 0) {
            GST_ELEMENT_WARNING(sink, STREAM, FORMAT,
                                ("A damaged DV frame was left out of the recording."),
                                ("frame of %" G_GSIZE_FORMAT " bytes", map.size));
        }
        return GST_FLOW_OK;
    case R::FileFull:
        GST_ELEMENT_WARNING(sink, RESOURCE, NO_SPACE_LEFT,
                            ("The recording \"%s\" reached the largest size its file can hold "
                             "and stopped.",
                             impl.path.c_str()),
                            ("%" G_GUINT64_FORMAT " frames", impl.writer->FramesWritten()));
        return FinishFile(sink, impl) ? GST_FLOW_EOS : GST_FLOW_ERROR;
    case R::Finished:
        return GST_FLOW_EOS;
    case R::WriteFailed:
        break;
    }
    PostWriteError(sink, impl);
    return GST_FLOW_ERROR;
}

gboolean Event(GstBaseSink* sink, GstEvent* event) {
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
        // Before the parent posts the EOS message: whoever waits for it finds a finished file.
        Impl& impl = ImplOf(sink);
        if (!impl.errorPosted && !FinishFile(sink, impl)) {
            gst_event_unref(event);
            return FALSE;
        }
    }
    return GST_BASE_SINK_CLASS(vidorel_dv_type1_sink_parent_class)->event(sink, event);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    Impl& impl = ImplOf(object);
    switch (id) {
    case PROP_LOCATION: {
        GST_OBJECT_LOCK(object);
        if (GST_STATE(object) > GST_STATE_READY) {
            GST_OBJECT_UNLOCK(object);
            g_warning("zv_dvtype1sink: the location cannot change while a file is open");
            return;
        }
        const gchar* s = g_value_get_string(value);
        impl.location = s != nullptr ? s : "";
        GST_OBJECT_UNLOCK(object);
        break;
    }
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    Impl& impl = ImplOf(object);
    switch (id) {
    case PROP_LOCATION:
        GST_OBJECT_LOCK(object);
        g_value_set_string(value, impl.location.empty() ? nullptr : impl.location.c_str());
        GST_OBJECT_UNLOCK(object);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void Finalize(GObject* object) {
    ImplOf(object).~Impl();
    G_OBJECT_CLASS(vidorel_dv_type1_sink_parent_class)->finalize(object);
}

} // namespace
} // namespace vidorel

static void vidorel_dv_type1_sink_class_init(VidorelDVType1SinkClass* klass) {
    using namespace vidorel;
    auto* gobject = G_OBJECT_CLASS(klass);
    auto* element = GST_ELEMENT_CLASS(klass);
    auto* base = GST_BASE_SINK_CLASS(klass);
    gobject->set_property = SetProperty;
    gobject->get_property = GetProperty;
    gobject->finalize = Finalize;
    g_object_class_install_property(
        gobject, PROP_LOCATION,
        g_param_spec_string("location", "File location", "The DV type-1 AVI file to write", nullptr,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    gst_element_class_set_static_metadata(
        element, "Marlott zv_DVType1Sink", "Sink/File",
        "Records interleaved DV into a DV type-1 AVI file (OpenDML)", "Vidorel");
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    base->start = Start;
    base->stop = Stop;
    base->set_caps = SetCaps;
    base->render = Render;
    base->event = Event;
    GST_DEBUG_CATEGORY_INIT(zv_dvtype1sink_debug, "zv_dvtype1sink", 0, "DV type-1 AVI writer");
}

static void vidorel_dv_type1_sink_init(VidorelDVType1Sink* self) {
    ::new (vidorel_dv_type1_sink_get_instance_private(self)) vidorel::Impl();
    // A file is written as fast as frames come; the clock has nothing to say.
    gst_base_sink_set_sync(GST_BASE_SINK(self), FALSE);
}

namespace vidorel {

GType DVType1SinkType() {
    return vidorel_dv_type1_sink_get_type();
}

bool RegisterDVType1Sink(GstPlugin* plugin) {
    return gst_element_register(plugin, kDVType1SinkFactory, GST_RANK_NONE, DVType1SinkType()) ==
           TRUE;
}

} // namespace vidorel

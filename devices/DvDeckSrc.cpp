#include "devices/DvDeckSrc.h"

#include "devices/DvFile.h"
#include "platform/GstRef.h"

#include <gst/base/gstpushsrc.h>

#include <atomic>
#include <mutex>
#include <string>

GST_DEBUG_CATEGORY_STATIC(vidorel_dvdeck_debug);
#define GST_CAT_DEFAULT vidorel_dvdeck_debug

namespace {

using vidorel::GstRef;
using vidorel::devices::TDvFileTape;
using vidorel::devices::TTapeDeck;

// The C++ side of the element, placement-free: allocated in instance init, freed in finalize.
struct DeckImpl {
    std::mutex lock;
    std::shared_ptr<TTapeDeck> deck; // guarded by lock
    std::string location;            // guarded by lock
    // Converting a tape file: frames go out as fast as the graph takes them, timed as if
    // played (frame n at n periods), instead of one per frame period of the clock.
    std::atomic<bool> fast{false};
    // The end of the tape ends the stream (a conversion); otherwise the deck waits there, as a
    // real one does, for the user to rewind.
    std::atomic<bool> eosAtEnd{false};
    GstClockID clockId = nullptr; // guarded by lock; the wait unlock() must cut short
    bool unlocking = false;       // guarded by lock
    // Streaming thread only (and start/stop, which never overlap it).
    GstClockTime nextTick = GST_CLOCK_TIME_NONE;
    bool gap = true;
    std::shared_ptr<TTapeDeck> loaded; // the deck whose tape this element loaded
};

} // namespace

extern "C" {

struct VidorelDvDeckSrc {
    GstPushSrc parent;
    DeckImpl* impl;
};

struct VidorelDvDeckSrcClass {
    GstPushSrcClass parent_class;
};

G_DEFINE_TYPE(VidorelDvDeckSrc, vidorel_dv_deck_src, GST_TYPE_PUSH_SRC)

} // extern "C"

namespace {

enum { PROP_0, PROP_LOCATION, PROP_FAST, PROP_EOS_AT_END };

GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-dv, systemstream = (boolean) true"));

DeckImpl& Impl(gpointer self) {
    return *reinterpret_cast<VidorelDvDeckSrc*>(self)->impl;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    auto& impl = Impl(object);
    if (id == PROP_FAST) {
        impl.fast = g_value_get_boolean(value) != FALSE;
        return;
    }
    if (id == PROP_EOS_AT_END) {
        impl.eosAtEnd = g_value_get_boolean(value) != FALSE;
        return;
    }
    if (id != PROP_LOCATION) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    std::lock_guard lock(impl.lock);
    const char* s = g_value_get_string(value);
    impl.location = s ? s : "";
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    auto& impl = Impl(object);
    if (id == PROP_FAST) {
        g_value_set_boolean(value, impl.fast ? TRUE : FALSE);
        return;
    }
    if (id == PROP_EOS_AT_END) {
        g_value_set_boolean(value, impl.eosAtEnd ? TRUE : FALSE);
        return;
    }
    if (id != PROP_LOCATION) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    std::lock_guard lock(impl.lock);
    g_value_set_string(value, impl.location.c_str());
}

void Finalize(GObject* object) {
    auto* self = reinterpret_cast<VidorelDvDeckSrc*>(object);
    delete self->impl;
    self->impl = nullptr;
    G_OBJECT_CLASS(vidorel_dv_deck_src_parent_class)->finalize(object);
}

std::shared_ptr<TTapeDeck> DeckOf(GstBaseSrc* src) {
    auto& impl = Impl(src);
    std::lock_guard lock(impl.lock);
    return impl.deck;
}

gboolean Start(GstBaseSrc* src) {
    auto& impl = Impl(src);
    std::shared_ptr<TTapeDeck> deck;
    {
        std::lock_guard lock(impl.lock);
        if (!impl.deck && !impl.location.empty()) {
            std::string why;
            auto tape = TDvFileTape::Open(impl.location, &why);
            if (tape) {
                impl.deck = std::make_shared<TTapeDeck>(std::move(tape));
            } else {
                GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ, ("Cannot play this tape file."),
                                  ("%s: %s", impl.location.c_str(), why.c_str()));
                return FALSE;
            }
        }
        deck = impl.deck;
    }
    if (!deck) {
        GST_ELEMENT_ERROR(src, RESOURCE, NOT_FOUND, ("The deck has no tape."),
                          ("neither a deck nor a location was given"));
        return FALSE;
    }
    // The tape's file is opened only while a deck plays it.
    std::string why;
    if (!deck->Tape().Load(&why)) {
        GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ, ("Cannot play this tape file."),
                          ("%s", why.c_str()));
        return FALSE;
    }
    impl.loaded = deck;
    gst_base_src_set_blocksize(src, static_cast<guint>(deck->Tape().FrameSize()));
    impl.nextTick = GST_CLOCK_TIME_NONE;
    impl.gap = true;
    return TRUE;
}

gboolean Stop(GstBaseSrc* src) {
    auto& impl = Impl(src);
    impl.nextTick = GST_CLOCK_TIME_NONE;
    if (impl.loaded) {
        impl.loaded->Tape().Unload();
        impl.loaded.reset();
    }
    return TRUE;
}

gboolean Unlock(GstBaseSrc* src) {
    auto& impl = Impl(src);
    std::lock_guard lock(impl.lock);
    impl.unlocking = true;
    if (impl.clockId) {
        gst_clock_id_unschedule(impl.clockId);
    }
    return TRUE;
}

gboolean UnlockStop(GstBaseSrc* src) {
    auto& impl = Impl(src);
    std::lock_guard lock(impl.lock);
    impl.unlocking = false;
    return TRUE;
}

gboolean Query(GstBaseSrc* src, GstQuery* query) {
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
        auto deck = DeckOf(src);
        if (!deck) {
            return FALSE;
        }
        // One frame period: a frame leaves when its period has passed, as it would off a tape.
        const GstClockTime period = deck->Tape().FrameDurationNs();
        gst_query_set_latency(query, TRUE, period, period);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(vidorel_dv_deck_src_parent_class)->query(src, query);
}

// Waits until running time `when`; false when unlock() cut the wait short.
bool WaitUntil(GstBaseSrc* src, GstClock* clock, GstClockTime when) {
    auto& impl = Impl(src);
    const GstClockID id =
        gst_clock_new_single_shot_id(clock, gst_element_get_base_time(GST_ELEMENT(src)) + when);
    {
        std::lock_guard lock(impl.lock);
        if (impl.unlocking) {
            gst_clock_id_unref(id);
            return false;
        }
        impl.clockId = id;
    }
    const GstClockReturn ret = gst_clock_id_wait(id, nullptr);
    {
        std::lock_guard lock(impl.lock);
        impl.clockId = nullptr;
    }
    gst_clock_id_unref(id);
    return ret != GST_CLOCK_UNSCHEDULED;
}

GstFlowReturn Fill(GstPushSrc* push, GstBuffer* buf) {
    auto* src = GST_BASE_SRC(push);
    auto& impl = Impl(src);
    auto deck = DeckOf(src);
    if (!deck) {
        return GST_FLOW_ERROR;
    }
    auto clock = GstRef<GstClock>::adopt(gst_element_get_clock(GST_ELEMENT(src)));
    if (!clock) {
        clock = GstRef<GstClock>::adopt(gst_system_clock_obtain());
    }
    const GstClockTime period = deck->Tape().FrameDurationNs();
    for (;;) {
        const GstClockTime now =
            gst_clock_get_time(clock.get()) - gst_element_get_base_time(GST_ELEMENT(src));
        // Start on the first call, and start again after falling a whole period behind (the
        // pipeline was paused): a live deck does not catch up on frames it did not send.
        const bool fast = impl.fast.load();
        if (impl.nextTick == GST_CLOCK_TIME_NONE || (!fast && now > impl.nextTick + period)) {
            impl.nextTick = now;
        }
        if (!fast && !WaitUntil(src, clock.get(), impl.nextTick + period)) {
            return GST_FLOW_FLUSHING;
        }
        const GstClockTime pts = impl.nextTick;
        impl.nextTick += period;
        const int64_t frame = deck->Tick();
        if (frame < 0 && impl.eosAtEnd.load() && deck->Position() >= deck->Tape().FrameCount()) {
            GST_INFO_OBJECT(src, "end of the tape");
            return GST_FLOW_EOS;
        }
        if (frame < 0) {
            impl.gap = true;
            // A fast deck that sends nothing (stopped, winding) waits like a real one instead
            // of spinning; its times go on from where they were.
            if (fast && !WaitUntil(src, clock.get(), now + period)) {
                return GST_FLOW_FLUSHING;
            }
            continue;
        }
        GstMapInfo map;
        if (!gst_buffer_map(buf, &map, GST_MAP_WRITE)) {
            return GST_FLOW_ERROR;
        }
        const bool ok =
            map.size >= deck->Tape().FrameSize() && deck->Tape().ReadFrame(frame, map.data);
        gst_buffer_unmap(buf, &map);
        if (!ok) {
            GST_ELEMENT_ERROR(src, RESOURCE, READ, ("The tape cannot be read."),
                              ("frame %" G_GINT64_FORMAT, frame));
            return GST_FLOW_ERROR;
        }
        gst_buffer_set_size(buf, deck->Tape().FrameSize());
        GST_BUFFER_PTS(buf) = pts;
        GST_BUFFER_DTS(buf) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(buf) = period;
        GST_BUFFER_OFFSET(buf) = static_cast<guint64>(frame);
        if (impl.gap) {
            GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_DISCONT);
            impl.gap = false;
        }
        GST_LOG_OBJECT(src, "frame %" G_GINT64_FORMAT " at %" GST_TIME_FORMAT, frame,
                       GST_TIME_ARGS(pts));
        return GST_FLOW_OK;
    }
}

} // namespace

extern "C" {

static void vidorel_dv_deck_src_class_init(VidorelDvDeckSrcClass* klass) {
    auto* gobject = G_OBJECT_CLASS(klass);
    auto* element = GST_ELEMENT_CLASS(klass);
    auto* base = GST_BASE_SRC_CLASS(klass);
    gobject->set_property = SetProperty;
    gobject->get_property = GetProperty;
    gobject->finalize = Finalize;
    g_object_class_install_property(
        gobject, PROP_LOCATION,
        g_param_spec_string("location", "Location", "Raw DV file played as the tape", nullptr,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                     GST_PARAM_MUTABLE_READY)));
    g_object_class_install_property(
        gobject, PROP_FAST,
        g_param_spec_boolean("fast", "Fast", "Send frames as fast as the graph takes them", FALSE,
                             static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        gobject, PROP_EOS_AT_END,
        g_param_spec_boolean("eos-at-end", "End of stream at the end",
                             "End the stream when the tape reaches its end", FALSE,
                             static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "Vidorel DV test deck", "Source/Video",
                                          "Plays a DV tape in real time under a tape transport",
                                          "Vidorel");
    base->start = Start;
    base->stop = Stop;
    base->unlock = Unlock;
    base->unlock_stop = UnlockStop;
    base->query = Query;
    GST_PUSH_SRC_CLASS(klass)->fill = Fill;
}

static void vidorel_dv_deck_src_init(VidorelDvDeckSrc* self) {
    self->impl = new DeckImpl();
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

} // extern "C"

namespace vidorel::devices {

void RegisterDvDeckSrc() {
    static const bool once = [] {
        GST_DEBUG_CATEGORY_INIT(vidorel_dvdeck_debug, "vidoreldvdecksrc", 0,
                                "Vidorel DV test deck");
        return gst_element_register(nullptr, "vidoreldvdecksrc", GST_RANK_NONE,
                                    vidorel_dv_deck_src_get_type()) == TRUE;
    }();
    (void)once;
}

GstElement* CreateDvDeckSrc(std::shared_ptr<TTapeDeck> deck) {
    RegisterDvDeckSrc();
    auto* e = static_cast<GstElement*>(g_object_new(vidorel_dv_deck_src_get_type(), nullptr));
    auto& impl = Impl(e);
    std::lock_guard lock(impl.lock);
    impl.deck = std::move(deck);
    return e;
}

std::shared_ptr<TTapeDeck> DvDeckOf(GstElement* element) {
    if (element == nullptr ||
        !G_TYPE_CHECK_INSTANCE_TYPE(element, vidorel_dv_deck_src_get_type())) {
        return nullptr;
    }
    return DeckOf(GST_BASE_SRC(element));
}

} // namespace vidorel::devices

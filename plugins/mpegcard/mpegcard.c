/*
 * A sample plug-in: the "Vidorel MPEG Encoder Card", a capture card whose only output is the
 * MPEG-2 video its encoder makes, as cards with a hardware MPEG encoder have. The program
 * cannot use such a device on its own; this plug-in gives it a preview picture (the raw video
 * before the encoder) and records the encoded stream as an MPEG program stream (".mpg", the
 * "Native Mpeg Stream" capture format).
 *
 * The card is simulated: its picture (CIF, 352 x 288 at 25 fps) is GStreamer's test pattern
 * with a clock, encoded by mpeg2enc. A plug-in for a real V4L2 card would put v4l2src (and its
 * encoder output node) where videotestsrc and the encoder stand.
 *
 *   videotestsrc ! capsfilter ! timeoverlay ! tee ─┬─ queue ──────────────── (video pin)
 *                                                  └─ queue ! mpeg2enc ! tee (native)
 *   recording: (native) ! queue ! [from a picture group, its sequence header first]
 *              mpegvideoparse ! mpegpsmux ! filesink
 */
#include "pzv.h"

#include <stdlib.h>
#include <string.h>

#define DRIVER_NAME "Vidorel MPEG Encoder Card"

/* The encoder's last sequence header, which a recording started mid-stream (or a piece after a
 * cut) puts before its first picture group: without it no player can decode the file.
 * Shared by the card and its recordings (reference counted). */
typedef struct {
    GMutex lock;
    GstBuffer* header; /* guarded by lock */
} Headers;

static Headers* headers_new(void) {
    Headers* h = g_rc_box_new0(Headers);
    g_mutex_init(&h->lock);
    return h;
}

static void headers_clear(gpointer data) {
    Headers* h = data;
    if (h->header != NULL) {
        gst_buffer_unref(h->header);
    }
    g_mutex_clear(&h->lock);
}

static void headers_unref(gpointer data) {
    g_rc_box_release_full(data, headers_clear);
}

typedef struct {
    GstElement* source; /* videotestsrc: the card's source element */
    GstElement* elements[8];
    int count;
    GstElement* preview_queue;
    GstElement* native_tee;
    GstPipeline* pipeline; /* where the elements are, or NULL */
    Headers* headers;
} Card;

/* The offset of the first start code 00 00 01 `code` in data, or -1. */
static gssize find_start_code(const guint8* data, gsize size, guint8 code) {
    for (gsize i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == code) {
            return (gssize)i;
        }
    }
    return -1;
}

/* On the encoder's output: keeps each sequence header (with its extension) as it passes. */
static GstPadProbeReturn keep_header(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    (void)pad;
    Headers* h = data;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        return GST_PAD_PROBE_OK;
    }
    const gssize start = find_start_code(map.data, map.size, 0xB3);
    if (start >= 0) {
        /* Up to the picture group (or the picture) that follows it. */
        gssize end = find_start_code(map.data + start + 4, map.size - (gsize)start - 4, 0xB8);
        if (end < 0) {
            end = find_start_code(map.data + start + 4, map.size - (gsize)start - 4, 0x00);
        }
        const gsize length = end < 0 ? map.size - (gsize)start : (gsize)end + 4;
        GstBuffer* header = gst_buffer_new_memdup(map.data + start, length);
        g_mutex_lock(&h->lock);
        if (h->header != NULL) {
            gst_buffer_unref(h->header);
        }
        h->header = header;
        g_mutex_unlock(&h->lock);
    }
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

static Card* card_of(pzv_instance* instance) {
    return instance != NULL ? (Card*)*instance : NULL;
}

static void copy_text(char* text, size_t size, const char* value) {
    if (text == NULL || size == 0) {
        return;
    }
    strncpy(text, value, size - 1);
    text[size - 1] = '\0';
}

PZV_EXPORT void pi_drivername(char* text, size_t size) {
    copy_text(text, size, DRIVER_NAME);
}

PZV_EXPORT void pi_friendlyname(char* text, size_t size) {
    copy_text(text, size, "MPEG Encoder Card");
}

static GstElement* make(Card* card, const char* factory, const char* name) {
    GstElement* e = gst_element_factory_make(factory, name);
    if (e != NULL) {
        card->elements[card->count++] = gst_object_ref_sink(e);
    }
    return e;
}

PZV_EXPORT void pi_create(pzv_instance* instance) {
    if (instance == NULL) {
        return;
    }
    *instance = 0;
    Card* card = calloc(1, sizeof *card);
    if (card == NULL) {
        return;
    }
    GstElement* src = make(card, "videotestsrc", "MPEG Encoder Card");
    GstElement* caps = make(card, "capsfilter", "MPEG Encoder Card caps");
    make(card, "timeoverlay", "MPEG Encoder Card clock");
    make(card, "tee", "MPEG Encoder Card raw");
    card->preview_queue = make(card, "queue", "MPEG Encoder Card preview");
    GstElement* encoder_queue = make(card, "queue", "MPEG Encoder Card encoder queue");
    GstElement* encoder = make(card, "mpeg2enc", "MPEG Encoder Card encoder");
    card->native_tee = make(card, "tee", "MPEG Encoder Card native");
    if (card->count != 8) {
        /* An element missing (the encoder is in gstreamer1.0-plugins-bad): no instance, the
         * device is unusable. */
        for (int i = 0; i < card->count; ++i) {
            gst_object_unref(card->elements[i]);
        }
        free(card);
        return;
    }
    card->source = src;
    g_object_set(src, "is-live", TRUE, "pattern", 0 /* SMPTE bars */, NULL);
    GstCaps* raw_caps =
        gst_caps_from_string("video/x-raw, format=(string)I420, width=(int)352, height=(int)288, "
                             "framerate=(fraction)25/1, pixel-aspect-ratio=(fraction)12/11");
    g_object_set(caps, "caps", raw_caps, NULL);
    gst_caps_unref(raw_caps);
    /* MPEG-2, a keyframe at least twice a second: a recording starts soon. */
    gst_util_set_object_arg(G_OBJECT(encoder), "format", "3");
    g_object_set(encoder, "max-gop-size", 12, "bitrate", 3000, NULL);
    /* Nothing records most of the time: the tee must not fail for want of an output. */
    g_object_set(card->native_tee, "allow-not-linked", TRUE, NULL);
    g_object_set(encoder_queue, "leaky", 2 /* downstream */, NULL);
    card->headers = headers_new();
    GstPad* encoded = gst_element_get_static_pad(encoder, "src");
    gst_pad_add_probe(encoded, GST_PAD_PROBE_TYPE_BUFFER, keep_header,
                      g_rc_box_acquire(card->headers), headers_unref);
    gst_object_unref(encoded);
    *instance = (pzv_instance)card;
}

PZV_EXPORT void pi_destroy(pzv_instance* instance) {
    Card* card = card_of(instance);
    if (card == NULL) {
        return;
    }
    for (int i = 0; i < card->count; ++i) {
        gst_object_unref(card->elements[i]);
    }
    headers_unref(card->headers);
    free(card);
    *instance = 0;
}

PZV_EXPORT void pi_sourcefilter(pzv_instance* instance, GstElement** source) {
    Card* card = card_of(instance);
    if (card != NULL && source != NULL) {
        *source = gst_object_ref(card->source);
    }
}

PZV_EXPORT void pi_nbfluxvideo(pzv_instance* instance, int32_t* count) {
    if (count != NULL) {
        *count = card_of(instance) != NULL ? 1 : 0;
    }
}

PZV_EXPORT void pi_nbfluxaudio(pzv_instance* instance, int32_t* count) {
    (void)instance;
    if (count != NULL) {
        *count = 0;
    }
}

PZV_EXPORT void pi_setsourcegraph(pzv_instance* instance, GstElement** source,
                                  GstPipeline* pipeline) {
    Card* card = card_of(instance);
    if (card == NULL || pipeline == NULL) {
        return;
    }
    if (card->pipeline == NULL) {
        for (int i = 0; i < card->count; ++i) {
            gst_bin_add(GST_BIN(pipeline), card->elements[i]); /* the bin takes its own ref */
        }
        GstElement** e = card->elements;
        /* src ! caps ! clock ! raw tee; raw ! preview queue; raw ! encoder queue ! encoder !
         * native tee */
        if (!gst_element_link_many(e[0], e[1], e[2], e[3], NULL) || !gst_element_link(e[3], e[4]) ||
            !gst_element_link_many(e[3], e[5], e[6], e[7], NULL)) {
            for (int i = 0; i < card->count; ++i) {
                gst_bin_remove(GST_BIN(pipeline), card->elements[i]);
            }
            return;
        }
        card->pipeline = pipeline;
    }
    if (source != NULL) {
        *source = gst_object_ref(card->source);
    }
}

PZV_EXPORT void pi_killsourcegraph(pzv_instance* instance, GstPipeline* pipeline) {
    Card* card = card_of(instance);
    if (card == NULL || card->pipeline == NULL || card->pipeline != pipeline) {
        return;
    }
    for (int i = 0; i < card->count; ++i) {
        gst_element_set_state(card->elements[i], GST_STATE_NULL);
        gst_bin_remove(GST_BIN(pipeline), card->elements[i]);
    }
    card->pipeline = NULL;
}

PZV_EXPORT void pi_setvideograph(pzv_instance* instance, int32_t stream, GstPad** video_pin,
                                 GstPipeline* pipeline, gboolean* flip_on_copy) {
    Card* card = card_of(instance);
    (void)pipeline;
    if (card == NULL || card->pipeline == NULL || stream != 1 || video_pin == NULL) {
        return;
    }
    *video_pin = gst_element_get_static_pad(card->preview_queue, "src");
    if (flip_on_copy != NULL) {
        *flip_on_copy = FALSE; /* GStreamer pictures are top-down */
    }
}

PZV_EXPORT void pi_getnativeinfinite(pzv_instance* instance, GstElement** native_tee) {
    Card* card = card_of(instance);
    if (card != NULL && card->pipeline != NULL && native_tee != NULL) {
        *native_tee = gst_object_ref(card->native_tee);
    }
}

PZV_EXPORT void pi_getformatnatif(pzv_instance* instance, int32_t* format) {
    if (format != NULL) {
        *format = card_of(instance) != NULL ? PZV_FORMAT_NATIVE_MPEG : PZV_FORMAT_NONE;
    }
}

PZV_EXPORT void pi_getformatmux(pzv_instance* instance, int32_t* format) {
    (void)instance;
    if (format != NULL) {
        *format = PZV_FORMAT_NONE;
    }
}

PZV_EXPORT void pi_killvideograph(pzv_instance* instance, GstPad** video_pin,
                                  GstPipeline* pipeline) {
    /* The preview queue stays with the source; the program let go of the pin. */
    (void)instance;
    (void)video_pin;
    (void)pipeline;
}

/* A recording starts at a picture group (an I picture follows), preceded by the sequence
 * header the encoder sent last. */
typedef struct {
    Headers* headers;
    gboolean started;
    GstPad* file_in; /* the file sink's input */
} Gate;

static void gate_free(gpointer data) {
    Gate* gate = data;
    headers_unref(gate->headers);
    gst_object_unref(gate->file_in);
    g_free(gate);
}

static GstPadProbeReturn from_group(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    (void)pad;
    Gate* gate = data;
    if (gate->started) {
        return GST_PAD_PROBE_REMOVE;
    }
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        /* A recording that ends before its first picture group has nothing to mux: the end
         * goes straight to the file (left empty), so that the muxer does not fail for want
         * of a stream. */
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
            gst_pad_send_event(gate->file_in, gst_event_new_eos());
            return GST_PAD_PROBE_DROP;
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        return GST_PAD_PROBE_DROP;
    }
    const gboolean group = find_start_code(map.data, map.size, 0xB8) >= 0;
    const gboolean has_header = find_start_code(map.data, map.size, 0xB3) >= 0;
    gst_buffer_unmap(buffer, &map);
    if (!group) {
        return GST_PAD_PROBE_DROP;
    }
    GstBuffer* header = NULL;
    g_mutex_lock(&gate->headers->lock);
    if (!has_header && gate->headers->header != NULL) {
        header = gst_buffer_ref(gate->headers->header);
    }
    g_mutex_unlock(&gate->headers->lock);
    if (!has_header && header == NULL) {
        return GST_PAD_PROBE_DROP; /* no header seen yet: wait for one */
    }
    if (header != NULL) {
        GstBuffer* whole = gst_buffer_copy_deep(header);
        gst_buffer_unref(header);
        gst_buffer_copy_into(whole, buffer, GST_BUFFER_COPY_METADATA, 0, (gsize)-1);
        whole = gst_buffer_append(whole, gst_buffer_ref(buffer));
        gst_buffer_unref(buffer);
        GST_PAD_PROBE_INFO_DATA(info) = whole;
    }
    gate->started = TRUE;
    return GST_PAD_PROBE_OK;
}

PZV_EXPORT void pi_buildmuxgraph(pzv_instance* instance, GstBin* recording, GstPad* native,
                                 const char* file_name) {
    Card* card = card_of(instance);
    if (card == NULL || recording == NULL || native == NULL || file_name == NULL) {
        return;
    }
    GstElement* parse = gst_element_factory_make("mpegvideoparse", NULL);
    GstElement* mux = gst_element_factory_make("mpegpsmux", NULL);
    GstElement* sink = gst_element_factory_make("filesink", NULL);
    if (parse == NULL || mux == NULL || sink == NULL) {
        if (parse)
            gst_object_unref(gst_object_ref_sink(parse));
        if (mux)
            gst_object_unref(gst_object_ref_sink(mux));
        if (sink)
            gst_object_unref(gst_object_ref_sink(sink));
        return;
    }
    g_object_set(sink, "location", file_name, NULL);
    gst_bin_add_many(recording, parse, mux, sink, NULL);
    GstPad* parse_in = gst_element_get_static_pad(parse, "sink");
    const gboolean linked = gst_pad_link(native, parse_in) == GST_PAD_LINK_OK &&
                            gst_element_link_many(parse, mux, sink, NULL);
    gst_object_unref(parse_in);
    if (!linked) {
        gst_bin_remove_many(recording, parse, mux, sink, NULL);
        return;
    }
    Gate* gate = g_new0(Gate, 1);
    gate->headers = g_rc_box_acquire(card->headers);
    gate->file_in = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(native, GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                      from_group, gate, gate_free);
}

PZV_EXPORT void pi_killmuxgraph(pzv_instance* instance, GstBin* recording) {
    /* The program takes the bin down with everything in it. */
    (void)instance;
    (void)recording;
}

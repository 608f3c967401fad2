/*
 * The plug-in interface of Vidorel: a ".pzv" module (a shared object with that extension)
 * that takes over the handling of one kind of capture device, named by its driver name.
 *
 * A plug-in is bound to a device whose name (as the system lists it) equals the plug-in's
 * driver name exactly. It then builds the device's source, its streams and the recording of
 * its own stream into the program's GStreamer pipeline. See plugins/README.md for the order of
 * the calls and what the program relies on.
 *
 * Every export is a plain C function; every argument is pointer-sized or a pointer; no return
 * value is read: results come back through the out-parameters. An export that is missing is
 * not called, and the program uses the fallback README.md gives. All calls are made on the
 * program's main thread.
 */
#ifndef VIDOREL_PZV_H
#define VIDOREL_PZV_H

#include <gst/gst.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Marks the exports of a plug-in (visible from the module even when built with hidden
 * symbols). */
#if defined(__GNUC__)
#define PZV_EXPORT __attribute__((visibility("default")))
#else
#define PZV_EXPORT
#endif

/* The size of the text buffers the program hands to pi_drivername and pi_friendlyname. The
 * program keeps the characters before the first NUL (read within the buffer), at most 255. */
#define PZV_TEXT_SIZE 65537
#define PZV_NAME_MAX 255

/* The capture formats a device's own stream can be recorded in (pi_getformatnatif and
 * pi_getformatmux). */
#define PZV_FORMAT_NONE 0
#define PZV_FORMAT_DV_TYPE1 1
#define PZV_FORMAT_DV_TYPE2 2
#define PZV_FORMAT_NATIVE_MPEG 3
#define PZV_FORMAT_AVI_NATIVE 5

/* A plug-in's instance, as pi_create writes it; 0 is none. Every later call gets the address
 * of the program's variable holding it. */
typedef intptr_t pzv_instance;

/* The exports, with the type of each. */
typedef void (*pi_drivername_t)(char* text, size_t size);
typedef void (*pi_friendlyname_t)(char* text, size_t size);
typedef void (*pi_create_t)(pzv_instance* instance);
typedef void (*pi_destroy_t)(pzv_instance* instance);
/* The device's source element as it stands before any stream is opened (may stay NULL). The
 * plug-in gives a reference the program then owns. */
typedef void (*pi_sourcefilter_t)(pzv_instance* instance, GstElement** source);
typedef void (*pi_nbfluxvideo_t)(pzv_instance* instance, int32_t* count);
typedef void (*pi_nbfluxaudio_t)(pzv_instance* instance, int32_t* count);
/* Puts the source into `pipeline` (called at every stream opening: repeated calls must be
 * tolerated) and writes the source element (a new reference). */
typedef void (*pi_setsourcegraph_t)(pzv_instance* instance, GstElement** source,
                                    GstPipeline* pipeline);
typedef void (*pi_killsourcegraph_t)(pzv_instance* instance, GstPipeline* pipeline);
/* Opens video stream `stream` (from 1): writes an unlinked src pad delivering raw video (a new
 * reference; NULL: no stream), and sets *flip_on_copy when the pictures arrive bottom-up. */
typedef void (*pi_setvideograph_t)(pzv_instance* instance, int32_t stream, GstPad** video_pin,
                                   GstPipeline* pipeline, gboolean* flip_on_copy);
/* A tee carrying the device's own (undecoded) stream, whose further outputs the recordings
 * use (a new reference), right after pi_setvideograph. */
typedef void (*pi_getnativeinfinite_t)(pzv_instance* instance, GstElement** native_tee);
typedef void (*pi_getformatnatif_t)(pzv_instance* instance, int32_t* format);
typedef void (*pi_getformatmux_t)(pzv_instance* instance, int32_t* format);
typedef void (*pi_killvideograph_t)(pzv_instance* instance, GstPad** video_pin,
                                    GstPipeline* pipeline);
/* Opens audio stream `stream`: an unlinked src pad of raw audio (a new reference). The last
 * argument is not used by the program. */
typedef void (*pi_setaudiograph_t)(pzv_instance* instance, int32_t stream, GstPad** audio_pin,
                                   GstPipeline* pipeline, gboolean* unused);
typedef void (*pi_killaudiograph_t)(pzv_instance* instance, GstPad** audio_pin,
                                    GstPipeline* pipeline);
/* Builds the recording of the device's own stream into `file_name` (UTF-8): inside
 * `recording`, a bin the program adds to the pipeline, from `native` (the src pad of the
 * bin's queue on the native tee) to a file sink. The program attaches, cuts and finishes the
 * bin while the preview plays on. */
typedef void (*pi_buildmuxgraph_t)(pzv_instance* instance, GstBin* recording, GstPad* native,
                                   const char* file_name);
/* The recording bin is about to leave the pipeline. */
typedef void (*pi_killmuxgraph_t)(pzv_instance* instance, GstBin* recording);

#ifdef __cplusplus
}
#endif

#endif /* VIDOREL_PZV_H */

#pragma once

// The DV record of one frame, carried on the frame's own buffer as a GstMeta.
//
// The scene detector attaches it to every DV frame it numbers; the overlay reads the recording
// date and timecode of the picture it draws from it, and the DV header filter puts the header
// blocks back into the frame the encoder made of that picture. Because the record travels with
// the frame, queues, tees and encoders in between cannot pair a frame with another frame's
// record.
//
// The meta API ("VidorelDVFrameMetaAPI") has no tags: GStreamer's decoders, encoders, converters
// and GstBaseTransform subclasses copy metas without tags to the buffers they make, and the
// transform function copies the record whatever the transform (a conversion or scaling of the
// picture does not change what the camcorder recorded). An element that builds new buffers
// without copying metas loses it.

#include "filters/dvcodes.h"

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>

namespace vidorel {

// Header, both subcode and the three VAUX blocks at the start of a DIF sequence.
inline constexpr std::size_t kDVHeaderBlockBytes = 480;

struct TDVFrameRecord {
    // The detector's record after this frame, as Current() gives it: FrameNumber is already the
    // next frame's.
    TDVFrameInfo Info;
    // This frame's number since the detector last stopped (its media offset).
    uint32_t FrameNumber = 0;
    // The frame opens a scene (the first frame after a stop, or a frame where one was reported).
    bool SceneStart = false;
    // Sequences 0 .. HeaderSequences - 1 have their blocks in Blocks (10 for a whole frame, fewer
    // for a frame cut short); the other rows are zeros.
    int HeaderSequences = 0;
    uint8_t Blocks[kDvMetadataSequences][kDVHeaderBlockBytes];
};

struct TDVFrameMeta {
    GstMeta Meta;
    TDVFrameRecord Record;
};

// The registered API type and implementation (registered on first use; thread-safe, and shared
// with a second copy of this code in the loadable plug-in).
GType DVFrameMetaApiType();
const GstMetaInfo* DVFrameMetaInfo();

// The buffer's record for writing: its existing meta, or a new one with an empty record. Null
// when the buffer is not writable (metas may only be added to writable buffers).
TDVFrameMeta* AddDVFrameMeta(GstBuffer* buffer);

// The buffer's record, or null when it carries none.
const TDVFrameMeta* GetDVFrameMeta(GstBuffer* buffer);

} // namespace vidorel

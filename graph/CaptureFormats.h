#pragma once

// The capture formats and the rules the capture graphs follow, without a graph: which formats
// a pair of streams allows, the extension of each, the audio format of a capture, the sync
// correction, whether the audio is paced by its own clock, and the TV system of a DV
// re-encoding.

#include "platform/SharedTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vidorel {

// The extension of each format is CaptureFormatExtension (settings/Preferences.h).

// Whether a format records a picture, and whether it records sound.
bool CaptureFormatHasVideo(TCaptureFormat id);
bool CaptureFormatHasAudio(TCaptureFormat id);

// The streams a format list is built from. A device's formats are its MuxedFormat and
// NativeFormat (0 when it has none).
struct TFormatChoice {
    bool HasVideo = false;
    bool HasAudio = false;
    uint8_t VideoMuxedFormat = 0;
    uint8_t VideoNativeFormat = 0;
    // The audio stream comes from the video stream's device.
    bool AudioOnVideoDevice = false;
    bool Mp3EncoderAvailable = false;
};

// The formats offered, in the order of the list.
std::vector<TCaptureFormat> OfferedCaptureFormats(const TFormatChoice& choice);
// The format selected for a wanted one: it when offered, else the first offered, else None.
TCaptureFormat SelectOfferedFormat(const std::vector<TCaptureFormat>& offered,
                                   TCaptureFormat wanted);

// The audio tracks come from another device than the picture: their times are taken from the
// clock when they arrive and moved by the sync correction.
bool SeparateAudioFor(TCaptureFormat id, bool hasVideo, bool hasAudio, bool sameDevice);

// "Correction Sync" (a signed count of frames) times the frame duration, in 100 ns units.
int64_t SyncCorrectionOffset(int correctionFrames, uint32_t frameDuration);

// The audio rate of a capture: the stream's own rate when "Frequence DV native" is set and it
// is a DV rate, else by "FrequenceDV" (1: 32000, 2: 44100, 3: 48000, anything else 44100).
int CaptureAudioRate(bool keepNative, int frequenceDV, int streamRate);

// The caps of the capture audio format: 16-bit stereo at `rate`.
std::string CaptureAudioCaps(int rate);

enum class TTvSystem { PAL, NTSC };
// The TV system of a DV re-encoding: "Standard DV" (0 PAL, else NTSC); for a DV source the
// system it last sent decides (`lastVideoSystem` as the DV packs say: 0 625/50 PAL, 1 525/60
// NTSC, 2 none seen yet); a DV source that sent nothing yet is judged by its picture height
// (above 480 lines PAL).
TTvSystem DVEncodingSystem(int standardDV, bool dvSource, int lastVideoSystem, int frameHeight);

// The re-encoding raster as caps: PAL I420 720x576 25/1, NTSC Y41B 720x480 30000/1001. The
// pixel aspect is left free. `ownSampling`: the pictures are a DV stream's own, whose sampling
// the encoder keeps, so PAL may also be 4:1:1 (Y41B, as professional DV records it): the
// stream's header blocks, put back after the encoder, say which, and must not lie.
std::string DVRasterCaps(TTvSystem system, bool ownSampling = false);

// The status of a running capture as the window shows it: "Duration h:mm :ss" (days dropped)
// and, by format, "Image by Image: n frames", "Audio Wav", "Audio Mp3" or "n lost frames /
// total".
std::string CaptureDurationText(int64_t seconds);
std::string CaptureInfoText(TCaptureFormat id, uint64_t lost, uint64_t total, uint64_t images);

} // namespace vidorel

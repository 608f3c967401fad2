#pragma once

// The capture graphs: one plan per capture format, each building the recording branch that
// taps the source branches' tees (decoded video, audio, the device's own stream) and ends in a
// file. A plan only builds; the capture run (graph/CaptureRun.h) attaches, cuts and finishes
// the branch on the playing graph, so the preview never stops for a capture.
//
//     DV type 2 native   native DV ─────────────────────────────┐
//                        audio → convert → stamper ─────────────┴→ avimux → file
//     DV type 2 (recomp) video → DV raster → DV encoder → DV header → times ┐
//                        audio → convert → stamper ───────────────────────┴→ avimux → file
//     Divx               video → BGR → resizer → I420 → MPEG-4 → times ┐
//                        audio → convert [→ MP3] → stamper ───────────┴→ avimux → file
//     Wmv                video → profile raster → WMV → times ┐
//                        audio → profile rate → WMA ─────────┴→ ASF muxer → file
//     Image/image        native DV or video → DV encoder, → control filter → avimux → file
//     Wav, Mp3           audio → convert [→ MP3] → WAV writer → file
//     Avi native         the device's own stream [+ audio as in DV type 2] → avimux → file
//     DV type 1 native   the device's own recording branch (interleaved DV writer)
//
// Main (UI) thread only. A plan throws EGraphError when it cannot be built (a missing stream,
// a missing encoder, a refused link); nothing is then in the graph.

#include "graph/AVgraph.h"
#include "graph/Encoders.h"
#include "graph/RecordingBranch.h"
#include "platform/SharedTypes.h"

#include <memory>
#include <string>

namespace vidorel {

class Tzv_ControlFilter;

// The settings a capture reads (from the preferences, or given by a caller).
struct TCaptureSettings {
    int CorrectionSync = 0; // frames, signed
    int StandardDV = 0;     // 0 PAL, else NTSC
    int FrequenceDV = 2;    // 1 32000, 2 44100, 3 48000
    bool FrequenceDVNative = true;
    int RatioDV = 0;   // 1: re-encoded frames without a DV record are marked 16:9
    int RatioDivx = 0; // 0 native, 1 4:3, 2 16:9
    bool WantMp3 = true;
    int Mp3Bitrate = 128;      // kbit/s
    int DivxBitrate = 1500000; // bit/s, when the compressor's moniker sets none
    TWmvProfile WmvProfile = WmvFixedProfile(1);
    double Framerate = 18.0; // image-by-image files play at this rate
    bool Scn = false;        // a scene index next to DV captures
    // The source is not paced by the clock (a tape file converted as fast as the graph takes
    // it): no time is taken from the clock.
    bool Unpaced = false;
    // The overlay's effects stay as they are for the whole run (no window to change them): a
    // DV source re-encoded without any effect is then decoded inside the capture, from the
    // camcorder's own stream, instead of taking the preview's converted picture.
    bool FixedEffects = false;
};

// The settings stored in the preferences (and the MP3 encoder's own bitrate).
TCaptureSettings CaptureSettingsFromPreferences();

// Gives the overlay the effects the preferences want (inlay, flips, deinterlacing, and the
// inlay's settings): what the preview shows and every capture of the decoded picture records.
void ApplyStoredEffects(Tdm& dm);

// The inlay's sliders: the horizontal one gives x in thousandths of the width, the vertical
// one counts up from the bottom of the picture (y = its maximum − its value).
inline constexpr int kInlayXSliderMax = 970;
inline constexpr int kInlayYSliderMax = 930;
// Gives the overlay every inlay setting of the preferences, in the order the inlay is switched
// on with: mode, content, repetition, duration, place and alignment, automatic size, font, the
// two format lines, the "No Datecode" text and the time difference. Does not switch it on.
class Tzv_Superposer;
void ApplyStoredInlay(Tzv_Superposer& overlay);
// The font of "IncrustFont" alone: size, face, colour and the four styles.
void ApplyStoredInlayFont(Tzv_Superposer& overlay);

// The MP3 encoder keeps its bitrate under its own key of the store.
inline constexpr const char* kMp3EncoderKey =
    "\\Software\\GNU\\LAME MPEG Layer III Audio Encoder Filter";
inline constexpr const char* kMp3BitrateValue = "Bitrate";

// What a plan built, and what the run needs to know about it.
struct TCapturePlan {
    TCaptureFormat Format = CaptureFormat::None;
    std::shared_ptr<TRecordingBranch> Branch;
    // The input whose buffers are the frames counted (video, else native, else audio).
    TInputRole Primary = TInputRole::Video;
    // Where the primary input's buffers pass inside the branch (for counting and the scene
    // index).
    GstPadRef FramesPad;
    // The frames carry the scene detector's records (a DV source): a scene index can be made.
    bool DvRecords = false;
    // Image-by-image: the filter that lets one frame through per grab.
    GstElementRef ControlElement;
    Tzv_ControlFilter* Control() const;
    // What the file needs once finished.
    enum class Fixup { None, DvsdHandler, XvidFourcc } Fix = Fixup::None;
    // The audio's times are taken from the clock and moved by this (nanoseconds).
    bool Restamp = false;
    int64_t AudioOffsetNs = 0;
};

// Each plan of a format, building the branch named `branchName` that writes `fileName`.
TCapturePlan BuildCaptureDVType1(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                                 const std::string& branchName);
TCapturePlan BuildCaptureDVType2(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                                 const std::string& branchName);
TCapturePlan BuildCaptureAviNative(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                                   const std::string& branchName);
TCapturePlan BuildCaptureDVRecomp(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                                  const std::string& branchName);
TCapturePlan BuildCaptureWmv(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                             const std::string& branchName);
TCapturePlan BuildCaptureImageByImage(Tdm& dm, const TCaptureSettings& s,
                                      const std::string& fileName, const std::string& branchName);
TCapturePlan BuildCaptureDivx(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                              const std::string& branchName);
TCapturePlan BuildCaptureWav(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                             const std::string& branchName);
TCapturePlan BuildCaptureMp3(Tdm& dm, const TCaptureSettings& s, const std::string& fileName,
                             const std::string& branchName);

// The plan of a format; throws EGraphError (kNotFound) for the formats that record nothing
// (0, 4, 10 and unknown ids).
TCapturePlan BuildCapturePlan(TCaptureFormat format, Tdm& dm, const TCaptureSettings& s,
                              const std::string& fileName, const std::string& branchName);

// SetCaptureAudioFormat: the caps every capture's audio is converted to — a fresh 16-bit
// stereo PCM format at the capture rate. Null without an audio stream.
GstCapsRef SetCaptureAudioFormat(const Tdm& dm, const TCaptureSettings& s);

} // namespace vidorel

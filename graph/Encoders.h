#pragma once

// Which encoders the capture formats can use, found once at start: the MPEG-4 ("DivX or Xvid")
// compressors, the MP3 encoder, and the Windows Media profiles, a built-in catalogue of the
// system profiles of each version and four fixed ones. The settings panel shows these; the
// capture graphs read the chosen ones.

#include "graph/FilterGraph.h"

#include <string>
#include <vector>

namespace vidorel {

// The MP3 encoder's element; present when gstreamer1.0-plugins-ugly is installed.
inline constexpr const char* kMp3EncoderFactory = "lamemp3enc";

struct TEncoderDiscovery {
    // Friendly names of the video compressors whose name holds "divx" or "xvid" (any case), in
    // the order of the category.
    std::vector<std::string> DivxNames;
    // The item selected: the stored favourite when listed, else the last "xvid" name, else the
    // first; -1 when the list is empty.
    int DivxSelected = -1;
    bool DivxEncoderFound = false;
    bool Mp3EncoderAvailable = false;
};

// The pure rule of the compressor list: `all` the friendly names of the video compressors.
TEncoderDiscovery FilterDivxCompressors(const std::vector<std::string>& all,
                                        const std::string& favourite);

// DiscoverEncoders without its widgets: lists the compressors and finds the MP3 encoder; gives
// `divx` the moniker of the selected compressor and `mp3` that of the MP3 encoder (each left
// empty when missing).
TEncoderDiscovery DiscoverEncoders(const std::string& divxFavourite, TFilter& divx, TFilter& mp3);

bool Mp3EncoderAvailable();

// A Windows Media profile: what the writer is configured with.
struct TWmvProfile {
    std::string Name;
    std::string VideoEncoder; // "avenc_wmv1" or "avenc_wmv2"; empty: no video stream
    int VideoBitrate = 0;     // bit/s
    int Width = 0;
    int Height = 0;
    int FrameRateNum = 25;
    int FrameRateDen = 1;
    std::string AudioEncoder; // "avenc_wmav1" or "avenc_wmav2"; empty: no audio stream
    int AudioBitrate = 0;     // bit/s
    int AudioRate = 44100;
    int AudioChannels = 2;
    bool HasVideo() const { return !VideoEncoder.empty(); }
    bool HasAudio() const { return !AudioEncoder.empty(); }
    // The same profile with its audio streams removed (a capture without sound).
    TWmvProfile WithoutAudio() const;
};

// The system profiles of a version (item of "Version wmv": 0 version 4, 1 version 7, 2
// version 8; anything else version 8).
const std::vector<TWmvProfile>& WmvSystemProfiles(int versionItem);
// The fixed profiles of "Profile wmv": 0 "High", 1 "Medium", 2 "Low", 3 "Internet"; other
// items give "Medium".
const TWmvProfile& WmvFixedProfile(int item);
// The names listed for a version (FillWmvProfiles).
std::vector<std::string> WmvProfileNames(int versionItem);

// The profile a Wmv capture uses: with "Default Profil" ticked the fixed profile of "Profile
// wmv"; otherwise the system profile of the chosen version named "Profil wmv favori", or the
// first one of that version when no profile has that name.
TWmvProfile ChosenWmvProfile(bool useDefault, int fixedItem, int versionItem,
                             const std::string& favouriteName);

} // namespace vidorel

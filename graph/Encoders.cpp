#include "graph/Encoders.h"

#include "graph/DSFunctions.h"

#include <algorithm>
#include <cctype>

namespace vidorel {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

TWmvProfile Profile(std::string name, const char* video, int videoKbps, int w, int h, int fpsNum,
                    int fpsDen, const char* audio, int audioKbps, int rate, int channels) {
    TWmvProfile p;
    p.Name = std::move(name);
    p.VideoEncoder = video;
    p.VideoBitrate = videoKbps * 1000;
    p.Width = w;
    p.Height = h;
    p.FrameRateNum = fpsNum;
    p.FrameRateDen = fpsDen;
    p.AudioEncoder = audio;
    p.AudioBitrate = audioKbps * 1000;
    p.AudioRate = rate;
    p.AudioChannels = channels;
    return p;
}

// The catalogue. Version 4 used the first Windows Media video and audio codecs, versions 7 and
// 8 the second ones; each version offers profiles from dial-up to local network.
std::vector<TWmvProfile> Version(const char* video, const char* audio, const char* label) {
    const std::string v = label;
    return {
        Profile(v + " video for local area network (768 kbit/s)", video, 700, 640, 480, 25, 1,
                audio, 64, 44100, 2),
        Profile(v + " video for broadband (384 kbit/s)", video, 320, 320, 240, 25, 1, audio, 64,
                44100, 2),
        Profile(v + " video for broadband (256 kbit/s)", video, 200, 320, 240, 25, 1, audio, 48,
                44100, 2),
        Profile(v + " video for dial-up modems (56 kbit/s)", video, 40, 176, 144, 15, 1, audio, 16,
                22050, 1),
        Profile(v + " video for dial-up modems (28.8 kbit/s)", video, 20, 160, 120, 10, 1, audio, 8,
                22050, 1),
    };
}

} // namespace

TEncoderDiscovery FilterDivxCompressors(const std::vector<std::string>& all,
                                        const std::string& favourite) {
    TEncoderDiscovery d;
    int lastXvid = -1;
    for (const std::string& name : all) {
        const std::string low = Lower(name);
        const bool xvid = low.find("xvid") != std::string::npos;
        if (xvid || low.find("divx") != std::string::npos) {
            if (xvid) {
                lastXvid = static_cast<int>(d.DivxNames.size());
            }
            d.DivxNames.push_back(name);
        }
    }
    d.DivxEncoderFound = !d.DivxNames.empty();
    if (d.DivxEncoderFound) {
        auto it = std::find(d.DivxNames.begin(), d.DivxNames.end(), favourite);
        d.DivxSelected = it != d.DivxNames.end() ? static_cast<int>(it - d.DivxNames.begin())
                                                 : std::max(lastXvid, 0);
    }
    return d;
}

bool Mp3EncoderAvailable() {
    auto factory = GstRef<GstElementFactory>::adopt(gst_element_factory_find(kMp3EncoderFactory));
    return static_cast<bool>(factory);
}

TEncoderDiscovery DiscoverEncoders(const std::string& divxFavourite, TFilter& divx, TFilter& mp3) {
    std::vector<std::string> all;
    ListVideoCompressors(all);
    TEncoderDiscovery d = FilterDivxCompressors(all, divxFavourite);
    divx.ClearMoniker();
    if (d.DivxEncoderFound &&
        !SelectFilterByName(kVideoCompressorCategory, d.DivxNames[d.DivxSelected], divx)) {
        d.DivxEncoderFound = false;
    }
    mp3.ClearMoniker();
    d.Mp3EncoderAvailable =
        SelectFilterByClassID(kAudioCompressorCategory, kMp3EncoderFactory, mp3);
    return d;
}

TWmvProfile TWmvProfile::WithoutAudio() const {
    TWmvProfile p = *this;
    p.AudioEncoder.clear();
    p.AudioBitrate = 0;
    return p;
}

const std::vector<TWmvProfile>& WmvSystemProfiles(int versionItem) {
    static const std::vector<TWmvProfile> v4 =
        Version("avenc_wmv1", "avenc_wmav1", "Windows Media 4:");
    static const std::vector<TWmvProfile> v7 =
        Version("avenc_wmv2", "avenc_wmav2", "Windows Media 7:");
    static const std::vector<TWmvProfile> v8 =
        Version("avenc_wmv2", "avenc_wmav2", "Windows Media 8:");
    switch (versionItem) {
    case 0:
        return v4;
    case 1:
        return v7;
    default:
        return v8;
    }
}

const TWmvProfile& WmvFixedProfile(int item) {
    static const std::vector<TWmvProfile> fixed = {
        Profile("High", "avenc_wmv2", 2000, 720, 576, 25, 1, "avenc_wmav2", 192, 48000, 2),
        Profile("Medium", "avenc_wmv2", 1000, 640, 480, 25, 1, "avenc_wmav2", 128, 44100, 2),
        Profile("Low", "avenc_wmv2", 300, 320, 240, 25, 1, "avenc_wmav2", 64, 44100, 2),
        Profile("Internet", "avenc_wmv2", 100, 320, 240, 15, 1, "avenc_wmav2", 32, 22050, 1),
    };
    return fixed[item >= 0 && item < static_cast<int>(fixed.size()) ? item : 1];
}

std::vector<std::string> WmvProfileNames(int versionItem) {
    std::vector<std::string> names;
    for (const auto& p : WmvSystemProfiles(versionItem)) {
        names.push_back(p.Name);
    }
    return names;
}

TWmvProfile ChosenWmvProfile(bool useDefault, int fixedItem, int versionItem,
                             const std::string& favouriteName) {
    if (useDefault) {
        return WmvFixedProfile(fixedItem);
    }
    const auto& list = WmvSystemProfiles(versionItem);
    for (const auto& p : list) {
        if (p.Name == favouriteName) {
            return p;
        }
    }
    return list.front();
}

} // namespace vidorel

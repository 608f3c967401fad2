#include "graph/CaptureFormats.h"

#include <algorithm>
#include <cstdio>

namespace vidorel {

bool CaptureFormatHasVideo(TCaptureFormat id) {
    switch (id) {
    case CaptureFormat::DVType1Native:
    case CaptureFormat::DVType2Native:
    case CaptureFormat::NativeMpegStream:
    case CaptureFormat::AviNative:
    case CaptureFormat::DVType2Recomp:
    case CaptureFormat::Wmv:
    case CaptureFormat::ImageByImage:
    case CaptureFormat::Divx:
        return true;
    default:
        return false;
    }
}

bool CaptureFormatHasAudio(TCaptureFormat id) {
    switch (id) {
    case CaptureFormat::DVType1Native: // the sound is inside the DV frames
    case CaptureFormat::DVType2Native:
    case CaptureFormat::NativeMpegStream:
    case CaptureFormat::AviNative:
    case CaptureFormat::DVType2Recomp:
    case CaptureFormat::Wmv:
    case CaptureFormat::Divx:
    case CaptureFormat::Wav:
    case CaptureFormat::Mp3:
        return true;
    default:
        return false;
    }
}

std::vector<TCaptureFormat> OfferedCaptureFormats(const TFormatChoice& c) {
    std::vector<TCaptureFormat> list;
    if (c.HasVideo) {
        if (c.VideoMuxedFormat != 0 && c.HasAudio && c.AudioOnVideoDevice) {
            list.push_back(c.VideoMuxedFormat);
        }
        if (c.VideoNativeFormat != 0) {
            list.push_back(c.VideoNativeFormat);
        }
        for (TCaptureFormat f : {CaptureFormat::DVType2Recomp, CaptureFormat::Divx,
                                 CaptureFormat::Wmv, CaptureFormat::ImageByImage}) {
            list.push_back(f);
        }
    }
    if (c.HasAudio) {
        list.push_back(CaptureFormat::Wav);
        if (c.Mp3EncoderAvailable) {
            list.push_back(CaptureFormat::Mp3);
        }
    }
    return list;
}

TCaptureFormat SelectOfferedFormat(const std::vector<TCaptureFormat>& offered,
                                   TCaptureFormat wanted) {
    if (std::find(offered.begin(), offered.end(), wanted) != offered.end()) {
        return wanted;
    }
    return offered.empty() ? CaptureFormat::None : offered.front();
}

bool SeparateAudioFor(TCaptureFormat id, bool hasVideo, bool hasAudio, bool sameDevice) {
    switch (id) {
    case CaptureFormat::DVType1Native:
    case CaptureFormat::NativeMpegStream:
    case CaptureFormat::ImageByImage:
    case CaptureFormat::Wav:
    case CaptureFormat::Mp3:
        return false;
    default:
        return hasVideo && hasAudio && !sameDevice;
    }
}

int64_t SyncCorrectionOffset(int correctionFrames, uint32_t frameDuration) {
    return static_cast<int64_t>(correctionFrames) * static_cast<int64_t>(frameDuration);
}

int CaptureAudioRate(bool keepNative, int frequenceDV, int streamRate) {
    if (keepNative && (streamRate == 32000 || streamRate == 44100 || streamRate == 48000)) {
        return streamRate;
    }
    switch (frequenceDV) {
    case 1:
        return 32000;
    case 3:
        return 48000;
    default:
        return 44100;
    }
}

std::string CaptureAudioCaps(int rate) {
    return "audio/x-raw, format=(string)S16LE, layout=(string)interleaved, channels=(int)2, "
           "rate=(int)" +
           std::to_string(rate);
}

TTvSystem DVEncodingSystem(int standardDV, bool dvSource, int lastVideoSystem, int frameHeight) {
    if (dvSource) {
        if (lastVideoSystem == 0) {
            return TTvSystem::PAL;
        }
        if (lastVideoSystem == 1) {
            return TTvSystem::NTSC;
        }
        if (frameHeight > 0) {
            return frameHeight > 480 ? TTvSystem::PAL : TTvSystem::NTSC;
        }
    }
    return standardDV == 0 ? TTvSystem::PAL : TTvSystem::NTSC;
}

std::string DVRasterCaps(TTvSystem system, bool ownSampling) {
    if (system == TTvSystem::NTSC) {
        return "video/x-raw, format=(string)Y41B, width=(int)720, height=(int)480, "
               "framerate=(fraction)30000/1001";
    }
    return std::string("video/x-raw, format=(string)") + (ownSampling ? "{ I420, Y41B }" : "I420") +
           ", width=(int)720, height=(int)576, framerate=(fraction)25/1";
}

std::string CaptureDurationText(int64_t seconds) {
    const int64_t s = seconds < 0 ? 0 : seconds % 86400;
    char text[48];
    std::snprintf(text, sizeof text, "Duration %d:%.2d :%.2d", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return text;
}

std::string CaptureInfoText(TCaptureFormat id, uint64_t lost, uint64_t total, uint64_t images) {
    switch (id) {
    case CaptureFormat::ImageByImage:
        return "Image by Image: " + std::to_string(images) + " frames";
    case CaptureFormat::Wav:
        return "Audio Wav";
    case CaptureFormat::Mp3:
        return "Audio Mp3";
    default:
        return std::to_string(lost) + " lost frames / " + std::to_string(total);
    }
}

} // namespace vidorel

#include "filters/WaveHeader.h"

#include <gst/audio/audio.h>

#include <cstring>

namespace vidorel {

namespace {

// MPEGLAYER3WAVEFORMAT's own fields after WAVEFORMATEX.
constexpr std::uint16_t kMp3ExtraBytes = kMpegLayer3FormatBytes - kWaveFormatExBytes;
constexpr std::uint16_t kMp3IdMpeg = 1;
constexpr std::uint32_t kMp3FlagPaddingOff = 2;

class LeWriter {
public:
    explicit LeWriter(std::uint8_t* p) : m_p(p) {}
    void Four(const char (&cc)[5]) {
        std::memcpy(m_p, cc, 4);
        m_p += 4;
    }
    void U16(std::uint16_t v) {
        m_p[0] = static_cast<std::uint8_t>(v);
        m_p[1] = static_cast<std::uint8_t>(v >> 8);
        m_p += 2;
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }

private:
    std::uint8_t* m_p;
};

// Layer III bitrates in kbit/s by index, MPEG-1 and MPEG-2/2.5; index 0 is free format.
constexpr std::uint16_t kBitratesV1[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                           112, 128, 160, 192, 224, 256, 320, 0};
constexpr std::uint16_t kBitratesV2[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                           64, 80, 96, 112, 128, 144, 160, 0};
constexpr std::uint32_t kRatesV1[3] = {44100, 48000, 32000};

} // namespace

std::uint32_t WaveFormatBytes(const WaveFormat& format) {
    return format.formatTag == kWaveFormatMpegLayer3 ? kMpegLayer3FormatBytes : kWaveFormatExBytes;
}

std::uint32_t WaveHeaderBytes(const WaveFormat& format) {
    return WaveFormatBytes(format) + kWaveChunkBytes;
}

std::uint32_t WriteWaveHeader(const WaveFormat& f, std::uint32_t dataBytes, WaveHeaderBlock& out) {
    const std::uint32_t cbFormat = WaveFormatBytes(f);
    const std::uint32_t headerBytes = cbFormat + kWaveChunkBytes;
    LeWriter w(out.data());
    w.Four("RIFF");
    w.U32(dataBytes + headerBytes - 8);
    w.Four("WAVE");
    w.Four("fmt ");
    w.U32(cbFormat);
    w.U16(f.formatTag);
    w.U16(f.channels);
    w.U32(f.samplesPerSec);
    w.U32(f.avgBytesPerSec);
    w.U16(f.blockAlign);
    w.U16(f.bitsPerSample);
    if (f.formatTag == kWaveFormatMpegLayer3) {
        w.U16(kMp3ExtraBytes);
        w.U16(kMp3IdMpeg);
        w.U32(kMp3FlagPaddingOff);
        w.U16(f.mp3BlockSize);
        w.U16(f.mp3FramesPerBlock);
        w.U16(f.mp3CodecDelay);
    } else {
        w.U16(0);
    }
    w.Four("data");
    w.U32(dataBytes);
    return headerBytes;
}

WaveFormat PcmWaveFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.blockAlign = static_cast<std::uint16_t>(channels * (bits / 8));
    f.avgBytesPerSec = rate * f.blockAlign;
    f.bitsPerSample = bits;
    return f;
}

WaveFormat Mp3WaveFormat(std::uint16_t channels, std::uint32_t rate, std::uint32_t bitrate,
                         std::uint16_t blockSize) {
    WaveFormat f;
    f.formatTag = kWaveFormatMpegLayer3;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.avgBytesPerSec = bitrate / 8;
    f.blockAlign = 1;
    f.bitsPerSample = 0;
    f.mp3BlockSize = blockSize;
    f.mp3FramesPerBlock = 1;
    // The encoder's delay is not told by the stream; 0 claims none rather than a guess.
    f.mp3CodecDelay = 0;
    return f;
}

std::optional<MpegAudioFrame> ParseMpegAudioFrame(const std::uint8_t* p, std::size_t size) {
    if (p == nullptr || size < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const unsigned version = (p[1] >> 3) & 3; // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const unsigned layer = (p[1] >> 1) & 3;   // 1: layer III
    const unsigned bitrateIndex = p[2] >> 4;
    const unsigned rateIndex = (p[2] >> 2) & 3;
    if (version == 1 || layer != 1 || rateIndex == 3) {
        return std::nullopt;
    }
    const bool v1 = version == 3;
    const std::uint32_t kbps = v1 ? kBitratesV1[bitrateIndex] : kBitratesV2[bitrateIndex];
    if (kbps == 0) {
        return std::nullopt;
    }
    MpegAudioFrame f;
    f.bitrate = kbps * 1000;
    f.sampleRate = kRatesV1[rateIndex] >> (v1 ? 0 : version == 2 ? 1 : 2);
    f.samplesPerFrame = v1 ? 1152 : 576;
    f.frameBytes = f.samplesPerFrame / 8 * f.bitrate / f.sampleRate;
    f.padding = ((p[2] >> 1) & 1) != 0;
    f.channels = ((p[3] >> 6) & 3) == 3 ? 1 : 2;
    return f;
}

std::optional<WaveFormat> WaveFormatFromCaps(const GstCaps* caps) {
    if (caps == nullptr || !gst_caps_is_fixed(caps)) {
        return std::nullopt;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    if (gst_structure_has_name(s, "audio/x-raw")) {
        GstAudioInfo info;
        if (!gst_audio_info_from_caps(&info, caps) ||
            GST_AUDIO_INFO_LAYOUT(&info) != GST_AUDIO_LAYOUT_INTERLEAVED) {
            return std::nullopt;
        }
        switch (GST_AUDIO_INFO_FORMAT(&info)) {
        case GST_AUDIO_FORMAT_U8:
        case GST_AUDIO_FORMAT_S16LE:
        case GST_AUDIO_FORMAT_S24LE:
        case GST_AUDIO_FORMAT_S32LE:
            break;
        default:
            return std::nullopt;
        }
        const int channels = GST_AUDIO_INFO_CHANNELS(&info);
        const int rate = GST_AUDIO_INFO_RATE(&info);
        const int bpf = GST_AUDIO_INFO_BPF(&info);
        if (channels < 1 || rate < 1 || bpf > G_MAXUINT16) {
            return std::nullopt;
        }
        return PcmWaveFormat(static_cast<std::uint16_t>(channels), static_cast<std::uint32_t>(rate),
                             static_cast<std::uint16_t>(GST_AUDIO_INFO_WIDTH(&info)));
    }
    if (gst_structure_has_name(s, "audio/mpeg")) {
        int version = 0, layer = 0, rate = 0, channels = 0;
        if (!gst_structure_get_int(s, "mpegversion", &version) || version != 1 ||
            !gst_structure_get_int(s, "layer", &layer) || layer != 3 ||
            !gst_structure_get_int(s, "rate", &rate) || rate < 1 ||
            !gst_structure_get_int(s, "channels", &channels) || channels < 1 || channels > 2) {
            return std::nullopt;
        }
        return Mp3WaveFormat(static_cast<std::uint16_t>(channels), static_cast<std::uint32_t>(rate),
                             0, 0);
    }
    return std::nullopt;
}

} // namespace vidorel

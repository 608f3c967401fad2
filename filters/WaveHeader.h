#pragma once

// The RIFF WAVE header the WAV writer puts in front of the audio, apart from the element so it
// can be checked in memory. All numbers are little-endian:
//
//     0  "RIFF"   4  data bytes + header bytes - 8   8  "WAVE"   12 "fmt "   16 cbFormat
//     20 the format block (cbFormat bytes)   20+cbFormat "data"   24+cbFormat data bytes
//     28+cbFormat the audio, in arrival order
//
// The format block is a WAVEFORMATEX of 18 bytes for PCM (header 46 bytes) or an
// MPEGLAYER3WAVEFORMAT of 30 bytes for MP3 frames (header 58 bytes).

#include <gst/gst.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace vidorel {

inline constexpr std::uint16_t kWaveFormatPcm = 0x0001;
inline constexpr std::uint16_t kWaveFormatMpegLayer3 = 0x0055;
inline constexpr std::uint32_t kWaveFormatExBytes = 18;
inline constexpr std::uint32_t kMpegLayer3FormatBytes = 30;
// "RIFF", size, "WAVE", "fmt ", cbFormat before the block; "data", size after it.
inline constexpr std::uint32_t kWaveChunkBytes = 28;
inline constexpr std::uint32_t kMaxWaveHeaderBytes = kMpegLayer3FormatBytes + kWaveChunkBytes;

struct WaveFormat {
    std::uint16_t formatTag = kWaveFormatPcm;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    // The MPEGLAYER3WAVEFORMAT tail (format tag 0x55 only). wID is always 1 (MPEG) and
    // fdwFlags 2 (padding off: frame sizes vary by the padding byte as the stream says).
    std::uint16_t mp3BlockSize = 0;
    std::uint16_t mp3FramesPerBlock = 1;
    std::uint16_t mp3CodecDelay = 0;

    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

using WaveHeaderBlock = std::array<std::uint8_t, kMaxWaveHeaderBytes>;

// cbFormat: the size of the format block.
std::uint32_t WaveFormatBytes(const WaveFormat& format);
// The whole header in front of the audio: cbFormat + 28.
std::uint32_t WaveHeaderBytes(const WaveFormat& format);
// Writes the header describing `dataBytes` bytes of audio into `out`; answers its length
// (WaveHeaderBytes). The caller keeps header + data below 4 GiB.
std::uint32_t WriteWaveHeader(const WaveFormat& format, std::uint32_t dataBytes,
                              WaveHeaderBlock& out);

WaveFormat PcmWaveFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits);
// `bitrate` in bits per second (0 when not known yet); `blockSize` one frame's bytes without
// its padding byte.
WaveFormat Mp3WaveFormat(std::uint16_t channels, std::uint32_t rate, std::uint32_t bitrate,
                         std::uint16_t blockSize);

// The facts of one MPEG audio layer III frame header (the four bytes at `p`).
struct MpegAudioFrame {
    std::uint32_t bitrate = 0;         // bits per second
    std::uint32_t sampleRate = 0;      // Hz
    std::uint32_t samplesPerFrame = 0; // 1152 for MPEG-1, 576 for MPEG-2 and 2.5
    std::uint32_t frameBytes = 0;      // without the padding byte
    std::uint16_t channels = 0;
    bool padding = false;
};
// Empty for anything but a layer III header with a known bitrate and rate (free format and the
// reserved values are refused).
std::optional<MpegAudioFrame> ParseMpegAudioFrame(const std::uint8_t* p, std::size_t size);

// The format block for GStreamer caps: interleaved PCM (U8, S16LE, S24LE, S32LE) or MPEG-1
// layer 3 (audio/mpeg, mpegversion=1, layer=3: bitrate and block size stay 0 until a frame has
// been seen). Empty for anything else.
std::optional<WaveFormat> WaveFormatFromCaps(const GstCaps* caps);

} // namespace vidorel

// The RIFF WAVE header in memory, against bytes written out by hand.

#include "filters/WaveHeader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace vidorel;

namespace {

std::vector<std::uint8_t> Header(const WaveFormat& f, std::uint32_t dataBytes) {
    WaveHeaderBlock block{};
    const std::uint32_t n = WriteWaveHeader(f, dataBytes, block);
    return {block.begin(), block.begin() + n};
}

// Caps need GStreamer's types.
class WaveCaps : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

std::optional<WaveFormat> FromCaps(const char* caps) {
    GstCaps* c = gst_caps_from_string(caps);
    auto f = WaveFormatFromCaps(c);
    gst_caps_unref(c);
    return f;
}

std::optional<MpegAudioFrame> Frame(std::vector<std::uint8_t> bytes) {
    return ParseMpegAudioFrame(bytes.data(), bytes.size());
}

} // namespace

TEST(WaveHeader, pcm48kStereo16_isThe46BytesOfAWaveFormatExFile) {
    const std::vector<std::uint8_t> expected = {
        'R',  'I',  'F',  'F',  0x26, 0x4B, 0x00, 0x00, // 19200 + 46 - 8
        'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',  //
        0x12, 0x00, 0x00, 0x00,                         // cbFormat 18
        0x01, 0x00, 0x02, 0x00,                         // PCM, 2 channels
        0x80, 0xBB, 0x00, 0x00,                         // 48000 Hz
        0x00, 0xEE, 0x02, 0x00,                         // 192000 bytes/s
        0x04, 0x00, 0x10, 0x00, 0x00, 0x00,             // align 4, 16 bits, cbSize 0
        'd',  'a',  't',  'a',  0x00, 0x4B, 0x00, 0x00, // 19200 data bytes
    };
    const WaveFormat f = PcmWaveFormat(2, 48000, 16);
    EXPECT_EQ(WaveFormatBytes(f), 18u);
    EXPECT_EQ(WaveHeaderBytes(f), 46u);
    EXPECT_EQ(Header(f, 19200), expected);
}

TEST(WaveHeader, mp3_isThe58BytesOfAnMpegLayer3WaveFormatFile) {
    const std::vector<std::uint8_t> expected = {
        'R',  'I',  'F',  'F',  0x1A, 0x04, 0x00, 0x00, // 1000 + 58 - 8
        'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',  //
        0x1E, 0x00, 0x00, 0x00,                         // cbFormat 30
        0x55, 0x00, 0x02, 0x00,                         // MPEG layer 3, 2 channels
        0x44, 0xAC, 0x00, 0x00,                         // 44100 Hz
        0x80, 0x3E, 0x00, 0x00,                         // 16000 bytes/s (128 kbit/s)
        0x01, 0x00, 0x00, 0x00, 0x0C, 0x00,             // align 1, 0 bits, cbSize 12
        0x01, 0x00, 0x02, 0x00, 0x00, 0x00,             // wID MPEG, padding off
        0xA1, 0x01, 0x01, 0x00, 0x00, 0x00,             // block 417, 1 frame, delay 0
        'd',  'a',  't',  'a',  0xE8, 0x03, 0x00, 0x00, // 1000 data bytes
    };
    const WaveFormat f = Mp3WaveFormat(2, 44100, 128000, 417);
    EXPECT_EQ(WaveFormatBytes(f), 30u);
    EXPECT_EQ(WaveHeaderBytes(f), 58u);
    EXPECT_EQ(Header(f, 1000), expected);
}

TEST(WaveHeader, emptyAndLargestData_giveExactSizes) {
    const auto empty = Header(PcmWaveFormat(1, 8000, 8), 0);
    ASSERT_EQ(empty.size(), 46u);
    EXPECT_EQ(empty[4], 38); // RIFF size = header - 8
    EXPECT_EQ(empty[42] | empty[43] | empty[44] | empty[45], 0);
    // The largest RIFF file: header + data = 2^32 - 1.
    const auto largest = Header(PcmWaveFormat(1, 8000, 8), 0xFFFFFFFFu - 46);
    EXPECT_EQ(std::vector<std::uint8_t>(largest.begin() + 4, largest.begin() + 8),
              (std::vector<std::uint8_t>{0xF7, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::vector<std::uint8_t>(largest.begin() + 42, largest.end()),
              (std::vector<std::uint8_t>{0xD1, 0xFF, 0xFF, 0xFF}));
}

TEST_F(WaveCaps, pcmFormats_fromCaps) {
    EXPECT_EQ(FromCaps("audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=2"),
              PcmWaveFormat(2, 48000, 16));
    const auto u8 = FromCaps("audio/x-raw, format=U8, layout=interleaved, rate=8000, channels=1");
    ASSERT_TRUE(u8);
    EXPECT_EQ(u8->blockAlign, 1);
    EXPECT_EQ(u8->avgBytesPerSec, 8000u);
    EXPECT_EQ(u8->bitsPerSample, 8);
    const auto s24 =
        FromCaps("audio/x-raw, format=S24LE, layout=interleaved, rate=96000, channels=2");
    ASSERT_TRUE(s24);
    EXPECT_EQ(s24->blockAlign, 6);
    EXPECT_EQ(s24->avgBytesPerSec, 576000u);
    EXPECT_EQ(s24->bitsPerSample, 24);
    const auto s32 =
        FromCaps("audio/x-raw, format=S32LE, layout=interleaved, rate=44100, channels=1");
    ASSERT_TRUE(s32);
    EXPECT_EQ(s32->blockAlign, 4);
    EXPECT_EQ(s32->avgBytesPerSec, 176400u);
    const auto six = FromCaps("audio/x-raw, format=S16LE, layout=interleaved, rate=48000, "
                              "channels=6, channel-mask=(bitmask)0x3f");
    ASSERT_TRUE(six);
    EXPECT_EQ(six->blockAlign, 12);
}

TEST_F(WaveCaps, mp3FromCaps_waitsForAFrameForItsBitrate) {
    const auto f =
        FromCaps("audio/mpeg, mpegversion=1, layer=3, parsed=true, rate=44100, channels=2");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->formatTag, kWaveFormatMpegLayer3);
    EXPECT_EQ(f->channels, 2);
    EXPECT_EQ(f->samplesPerSec, 44100u);
    EXPECT_EQ(f->avgBytesPerSec, 0u);
    EXPECT_EQ(f->mp3BlockSize, 0);
}

TEST_F(WaveCaps, otherCaps_areRefused) {
    for (const char* caps : {
             "audio/x-raw, format=F32LE, layout=interleaved, rate=48000, channels=2",
             "audio/x-raw, format=S16BE, layout=interleaved, rate=48000, channels=2",
             "audio/x-raw, format=S16LE, layout=non-interleaved, rate=48000, channels=2",
             "audio/x-raw, format=S16LE, layout=interleaved, rate=[1, 48000], channels=2",
             "audio/mpeg, mpegversion=4, rate=48000, channels=2",
             "audio/mpeg, mpegversion=1, layer=2, rate=48000, channels=2",
             "audio/mpeg, mpegversion=1, layer=3, rate=48000, channels=3",
             "video/x-raw, format=BGR, width=2, height=2",
         }) {
        EXPECT_FALSE(FromCaps(caps)) << caps;
    }
}

TEST(MpegAudioFrame, layer3Headers_giveBitrateRateAndFrameSize) {
    const auto v1 = Frame({0xFF, 0xFB, 0x90, 0x00}); // MPEG-1, 128 kbit/s, 44.1 kHz, stereo
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->bitrate, 128000u);
    EXPECT_EQ(v1->sampleRate, 44100u);
    EXPECT_EQ(v1->samplesPerFrame, 1152u);
    EXPECT_EQ(v1->frameBytes, 417u);
    EXPECT_EQ(v1->channels, 2);
    EXPECT_FALSE(v1->padding);

    const auto padded = Frame({0xFF, 0xFB, 0x92, 0xC0}); // the same, padded, mono
    ASSERT_TRUE(padded);
    EXPECT_TRUE(padded->padding);
    EXPECT_EQ(padded->channels, 1);

    const auto v2 = Frame({0xFF, 0xF3, 0x80, 0x00}); // MPEG-2, 64 kbit/s, 22.05 kHz
    ASSERT_TRUE(v2);
    EXPECT_EQ(v2->bitrate, 64000u);
    EXPECT_EQ(v2->sampleRate, 22050u);
    EXPECT_EQ(v2->samplesPerFrame, 576u);
    EXPECT_EQ(v2->frameBytes, 208u);

    const auto v25 = Frame({0xFF, 0xE3, 0x18, 0x00}); // MPEG-2.5, 8 kbit/s, 8 kHz
    ASSERT_TRUE(v25);
    EXPECT_EQ(v25->sampleRate, 8000u);
    EXPECT_EQ(v25->frameBytes, 72u);

    const auto v1at320 = Frame({0xFF, 0xFB, 0xE8, 0x00}); // MPEG-1, 320 kbit/s, 32 kHz
    ASSERT_TRUE(v1at320);
    EXPECT_EQ(v1at320->frameBytes, 1440u);
}

TEST(MpegAudioFrame, otherHeaders_areRefused) {
    EXPECT_FALSE(Frame({0xFF, 0xFD, 0x90, 0x00})); // layer II
    EXPECT_FALSE(Frame({0xFF, 0xFB, 0x00, 0x00})); // free format
    EXPECT_FALSE(Frame({0xFF, 0xFB, 0xF0, 0x00})); // bad bitrate index
    EXPECT_FALSE(Frame({0xFF, 0xFB, 0x9C, 0x00})); // reserved rate
    EXPECT_FALSE(Frame({0xFF, 0xEB, 0x90, 0x00})); // reserved version
    EXPECT_FALSE(Frame({0xFE, 0xFB, 0x90, 0x00})); // no sync
    EXPECT_FALSE(Frame({0xFF, 0xFB, 0x90}));       // too short
}

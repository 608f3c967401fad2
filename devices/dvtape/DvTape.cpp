#include "devices/dvtape/DvTape.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>

namespace vidorel::dvtape {

// What differs between the two video systems.
struct SystemParams {
    int width;
    int height;
    AVPixelFormat pixelFormat;
    int fpsNum;
    int fpsDen;
    int timecodeFps;
    std::size_t frameBytes;
    // Audio samples per frame, repeating; the DV muxer takes exactly this many per frame.
    std::vector<int> samplesPattern;
    int baseFrames;
    double toneHz;
};

namespace {

constexpr std::size_t kSequenceBytes = 12000;
constexpr std::size_t kBlockBytes = 80;
constexpr std::size_t kSubcodeBlocks[] = {1, 2};
constexpr std::size_t kFirstVauxBlock = 3;
constexpr int kVauxPacksPerBlock = 15;
constexpr int kAudioBlocks = 9;

constexpr uint8_t kPackTimecode = 0x13;
constexpr uint8_t kPackAudioSource = 0x50;
constexpr uint8_t kPackVideoSource = 0x60;
constexpr uint8_t kPackVideoControl = 0x61;
constexpr uint8_t kPackRecDate = 0x62;
constexpr uint8_t kPackRecTime = 0x63;

const SystemParams& params(DvSystem system) {
    // The tone fits a whole number of cycles into the base frames, so looping them is seamless.
    static const SystemParams pal{
        720, 576, AV_PIX_FMT_YUV420P, 25, 1, 25, kSequenceBytes * 12, {1920}, 25, 1000.0};
    static const SystemParams ntsc{720,
                                   480,
                                   AV_PIX_FMT_YUV411P,
                                   30000,
                                   1001,
                                   30,
                                   kSequenceBytes * 10,
                                   {1600, 1602, 1602, 1602, 1602},
                                   30,
                                   1000.0 * 1000.0 / 1001.0};
    return system == DvSystem::Pal625 ? pal : ntsc;
}

uint8_t bcd(int v) {
    return static_cast<uint8_t>(((v / 10) << 4) | (v % 10));
}

template <typename T, void (*F)(T**)> struct AvDeleter {
    void operator()(T* p) const { F(&p); }
};
using CodecContextPtr =
    std::unique_ptr<AVCodecContext, AvDeleter<AVCodecContext, avcodec_free_context>>;
using FramePtr = std::unique_ptr<AVFrame, AvDeleter<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, AvDeleter<AVPacket, av_packet_free>>;

struct FormatContextDeleter {
    void operator()(AVFormatContext* ctx) const {
        if (ctx->pb) {
            av_freep(&ctx->pb->buffer);
            avio_context_free(&ctx->pb);
        }
        avformat_free_context(ctx);
    }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;

int writeToVector(void* opaque, uint8_t* buf, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(opaque);
    out->insert(out->end(), buf, buf + size);
    return size;
}

void check(int rc, const char* what) {
    if (rc < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(rc, text, sizeof text);
        throw std::runtime_error(std::string("DV test material: ") + what + ": " + text);
    }
}

// Colour bars with a white column that moves from base frame to base frame, so motion (and a
// deinterlacer's work) shows in a preview.
void paintPicture(AVFrame* f, int index, int count) {
    static constexpr uint8_t kBars[8][3] = {{235, 128, 128}, {210, 16, 146},  {170, 166, 16},
                                            {145, 54, 34},   {106, 202, 222}, {81, 90, 240},
                                            {41, 240, 110},  {16, 128, 128}};
    const int barX = (f->width - 16) * index / std::max(count - 1, 1);
    for (int y = 0; y < f->height; ++y) {
        uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < f->width; ++x) {
            row[x] = (x >= barX && x < barX + 16) ? 235 : kBars[x * 8 / f->width][0];
        }
    }
    const int chromaW = f->format == AV_PIX_FMT_YUV411P ? f->width / 4 : f->width / 2;
    const int chromaH = f->format == AV_PIX_FMT_YUV411P ? f->height : f->height / 2;
    for (int plane = 1; plane <= 2; ++plane) {
        for (int y = 0; y < chromaH; ++y) {
            uint8_t* row = f->data[plane] + y * f->linesize[plane];
            for (int x = 0; x < chromaW; ++x) {
                row[x] = kBars[x * 8 / chromaW][plane];
            }
        }
    }
}

} // namespace

// The encoded and muxed frames of one video system.
class BaseFrames {
public:
    explicit BaseFrames(DvSystem system);
    const SystemParams& p;
    std::vector<std::vector<uint8_t>> frames;
};

BaseFrames::BaseFrames(DvSystem system) : p(params(system)) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (!codec) {
        throw std::runtime_error("DV test material: no DV encoder in libavcodec");
    }
    CodecContextPtr enc(avcodec_alloc_context3(codec));
    enc->width = p.width;
    enc->height = p.height;
    enc->pix_fmt = p.pixelFormat;
    enc->time_base = AVRational{p.fpsDen, p.fpsNum};
    enc->framerate = AVRational{p.fpsNum, p.fpsDen};
    check(avcodec_open2(enc.get(), codec, nullptr), "open the DV encoder");

    AVFormatContext* rawFmt = nullptr;
    check(avformat_alloc_output_context2(&rawFmt, nullptr, "dv", nullptr), "create the DV muxer");
    FormatContextPtr fmt(rawFmt);
    std::vector<uint8_t> stream;
    auto* ioBuffer = static_cast<uint8_t*>(av_malloc(65536));
    fmt->pb = avio_alloc_context(ioBuffer, 65536, 1, &stream, nullptr, writeToVector, nullptr);
    fmt->flags |= AVFMT_FLAG_CUSTOM_IO;

    AVStream* vst = avformat_new_stream(fmt.get(), nullptr);
    check(avcodec_parameters_from_context(vst->codecpar, enc.get()), "video parameters");
    vst->time_base = enc->time_base;
    AVStream* ast = avformat_new_stream(fmt.get(), nullptr);
    ast->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    ast->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    ast->codecpar->sample_rate = 48000;
    ast->codecpar->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&ast->codecpar->ch_layout, 2);
    ast->time_base = AVRational{1, 48000};
    check(avformat_write_header(fmt.get(), nullptr), "start the DV muxer");

    FramePtr picture(av_frame_alloc());
    picture->format = p.pixelFormat;
    picture->width = p.width;
    picture->height = p.height;
    check(av_frame_get_buffer(picture.get(), 0), "allocate a picture");
    PacketPtr pkt(av_packet_alloc());
    PacketPtr audio(av_packet_alloc());
    std::vector<int16_t> samples;
    int64_t sampleCount = 0;

    for (int i = 0; i < p.baseFrames; ++i) {
        check(av_frame_make_writable(picture.get()), "picture");
        paintPicture(picture.get(), i, p.baseFrames);
        picture->pts = i;
        check(avcodec_send_frame(enc.get(), picture.get()), "encode");
        check(avcodec_receive_packet(enc.get(), pkt.get()), "encode");

        const int n = p.samplesPattern[i % p.samplesPattern.size()];
        samples.resize(static_cast<std::size_t>(n) * 2);
        for (int s = 0; s < n; ++s) {
            const double t = static_cast<double>(sampleCount + s) / 48000.0;
            const auto v =
                static_cast<int16_t>(std::lround(8000.0 * std::sin(2 * M_PI * p.toneHz * t)));
            samples[2 * s] = v;
            samples[2 * s + 1] = v;
        }
        check(av_new_packet(audio.get(), n * 4), "audio packet");
        std::memcpy(audio->data, samples.data(), static_cast<std::size_t>(n) * 4);
        audio->stream_index = ast->index;
        audio->pts = audio->dts = av_rescale_q(sampleCount, AVRational{1, 48000}, ast->time_base);
        audio->duration = av_rescale_q(n, AVRational{1, 48000}, ast->time_base);
        sampleCount += n;
        check(av_write_frame(fmt.get(), audio.get()), "mux audio");
        av_packet_unref(audio.get());

        pkt->stream_index = vst->index;
        pkt->pts = pkt->dts = av_rescale_q(i, enc->time_base, vst->time_base);
        pkt->duration = av_rescale_q(1, enc->time_base, vst->time_base);
        check(av_write_frame(fmt.get(), pkt.get()), "mux video");
        av_packet_unref(pkt.get());
    }
    check(av_write_trailer(fmt.get()), "finish the DV muxer");
    avio_flush(fmt->pb);

    if (stream.size() < p.frameBytes * p.baseFrames) {
        throw std::runtime_error("DV test material: the DV muxer produced too few frames");
    }
    for (int i = 0; i < p.baseFrames; ++i) {
        frames.emplace_back(stream.begin() + i * p.frameBytes,
                            stream.begin() + (i + 1) * p.frameBytes);
    }
}

namespace {

std::shared_ptr<const BaseFrames> sharedBaseFrames(DvSystem system) {
    static std::mutex mutex;
    static std::map<DvSystem, std::shared_ptr<const BaseFrames>> cache;
    std::lock_guard lock(mutex);
    auto& slot = cache[system];
    if (!slot) {
        slot = std::make_shared<const BaseFrames>(system);
    }
    return slot;
}

void writePack(uint8_t* at, uint8_t header, uint8_t pc1, uint8_t pc2, uint8_t pc3, uint8_t pc4) {
    at[0] = header;
    at[1] = pc1;
    at[2] = pc2;
    at[3] = pc3;
    at[4] = pc4;
}

struct Packs {
    uint8_t timecode[5];
    uint8_t date[5];
    uint8_t time[5];
    uint8_t control[5];
};

Packs makePacks(const FrameFacts& f, bool pal) {
    Packs p{};
    const Timecode& tc = f.timecode;
    writePack(p.timecode, kPackTimecode, bcd(tc.frames), bcd(tc.seconds), bcd(tc.minutes),
              bcd(tc.hours));
    if (f.date) {
        const CivilDateTime& d = *f.date;
        writePack(p.date, kPackRecDate, 0xFF, 0xC0 | bcd(d.day), 0xE0 | bcd(d.month),
                  bcd(d.year % 100));
        writePack(p.time, kPackRecTime, 0xFF, 0x80 | bcd(d.second), 0x80 | bcd(d.minute),
                  0xC0 | bcd(d.hour));
    } else {
        std::memset(p.date, 0xFF, 5);
        std::memset(p.time, 0xFF, 5);
    }
    // PC2 holds DISP alone (2 = 16:9 full, 0 = 4:3); PC3 says frame-wise, interlaced.
    writePack(p.control, kPackVideoControl, 0xFF, f.wide ? 0x02 : 0x00, pal ? 0xFC : 0xFC, 0xFF);
    return p;
}

void stampSequence(uint8_t* seq, const Packs& packs, bool audioPack) {
    // Subcode: six sync blocks of 8 bytes (ID0, ID1, parity, 5-byte pack) per block; the
    // timecode sits in sync blocks 0 and 3, the recording date in 1 and 4, the time in 2 and 5.
    for (std::size_t block : kSubcodeBlocks) {
        uint8_t* b = seq + block * kBlockBytes + 3;
        for (int s = 0; s < 6; ++s) {
            const uint8_t* pack = s % 3 == 0   ? packs.timecode
                                  : s % 3 == 1 ? packs.date
                                               : packs.time;
            std::memcpy(b + 8 * s + 3, pack, 5);
        }
    }
    // VAUX: 45 packs over three blocks; the source pack the encoder wrote is kept, the rest is
    // rewritten so no stale date survives, with source, control, date and time in packs 39-42.
    uint8_t source[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int i = 0; i < 3 * kVauxPacksPerBlock; ++i) {
        uint8_t* pack = seq + (kFirstVauxBlock + i / kVauxPacksPerBlock) * kBlockBytes + 3 +
                        5 * (i % kVauxPacksPerBlock);
        if (pack[0] == kPackVideoSource && source[0] == 0xFF) {
            std::memcpy(source, pack, 5);
        }
        std::memset(pack, 0xFF, 5);
    }
    uint8_t* vaux2 = seq + (kFirstVauxBlock + 2) * kBlockBytes + 3;
    std::memcpy(vaux2 + 5 * 9, source, 5);
    std::memcpy(vaux2 + 5 * 10, packs.control, 5);
    std::memcpy(vaux2 + 5 * 11, packs.date, 5);
    std::memcpy(vaux2 + 5 * 12, packs.time, 5);
    if (!audioPack) {
        for (int a = 0; a < kAudioBlocks; ++a) {
            uint8_t* pack = seq + (6 + 16 * a) * kBlockBytes + 3;
            if (pack[0] == kPackAudioSource) {
                std::memset(pack, 0xFF, 5);
            }
        }
    }
}

CivilDateTime addSeconds(const CivilDateTime& d, int64_t seconds) {
    using namespace std::chrono;
    const sys_days day{year{d.year} / month{static_cast<unsigned>(d.month)} /
                       std::chrono::day{static_cast<unsigned>(d.day)}};
    const sys_seconds t = day + hours{d.hour} + minutes{d.minute} + std::chrono::seconds{d.second} +
                          std::chrono::seconds{seconds};
    const sys_days newDay = floor<days>(t);
    const year_month_day ymd{newDay};
    const hh_mm_ss hms{t - newDay};
    return CivilDateTime{
        int(ymd.year()),          int(unsigned(ymd.month())), int(unsigned(ymd.day())),
        int(hms.hours().count()), int(hms.minutes().count()), int(hms.seconds().count())};
}

} // namespace

DvTape::DvTape(TapeDescription description)
    : description_(std::move(description)), params_(&params(description_.system)) {
    for (const Recording& r : description_.recordings) {
        recordingStarts_.push_back(frameCount_);
        frameCount_ += r.frames;
    }
}

DvTape::~DvTape() = default;

std::size_t DvTape::frameBytes() const {
    return params_->frameBytes;
}
int DvTape::fpsNumerator() const {
    return params_->fpsNum;
}
int DvTape::fpsDenominator() const {
    return params_->fpsDen;
}

const BaseFrames& DvTape::base() const {
    // Encoding the base frames takes a tenth of a second: it happens for the first frame
    // rendered (a deck's streaming thread), not when a deck is made on the window's thread.
    std::call_once(baseOnce_, [this] { base_ = sharedBaseFrames(description_.system); });
    return *base_;
}

FrameFacts DvTape::facts(uint64_t index) const {
    FrameFacts f;
    const auto it = std::upper_bound(recordingStarts_.begin(), recordingStarts_.end(), index);
    f.recording =
        static_cast<std::size_t>(std::max<std::ptrdiff_t>(it - recordingStarts_.begin() - 1, 0));
    const Recording& r = description_.recordings.at(f.recording);
    const uint64_t inRecording = index - recordingStarts_[f.recording];
    if (r.start) {
        const auto elapsed = static_cast<int64_t>(inRecording * params_->fpsDen / params_->fpsNum);
        f.date = addSeconds(*r.start, elapsed);
    }
    const uint64_t tcFrames = description_.startTimecodeFrame + index;
    const int fps = params_->timecodeFps;
    const uint64_t totalSeconds = tcFrames / fps;
    f.timecode = Timecode{int(totalSeconds / 3600 % 24), int(totalSeconds / 60 % 60),
                          int(totalSeconds % 60), int(tcFrames % fps)};
    f.wide = r.wide;
    f.audioPack = r.audioPack;
    return f;
}

bool DvTape::renderFrame(uint64_t index, std::span<uint8_t> out) const {
    const SystemParams& p = *params_;
    if (index >= frameCount_ || out.size() < p.frameBytes) {
        return false;
    }
    const BaseFrames& frames = base();
    std::memcpy(out.data(), frames.frames[index % frames.frames.size()].data(), p.frameBytes);
    const FrameFacts f = facts(index);
    const Packs packs = makePacks(f, p.fpsNum == 25);
    for (std::size_t s = 0; s < p.frameBytes / kSequenceBytes; ++s) {
        stampSequence(out.data() + s * kSequenceBytes, packs, f.audioPack);
    }
    return true;
}

std::vector<uint8_t> DvTape::frame(uint64_t index) const {
    std::vector<uint8_t> out(frameBytes());
    if (!renderFrame(index, out)) {
        out.clear();
    }
    return out;
}

bool DvTape::writeRawDv(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::vector<uint8_t> buffer(frameBytes());
    for (uint64_t i = 0; file && i < frameCount_; ++i) {
        renderFrame(i, buffer);
        file.write(reinterpret_cast<const char*>(buffer.data()),
                   static_cast<std::streamsize>(buffer.size()));
    }
    file.close();
    return static_cast<bool>(file);
}

} // namespace vidorel::dvtape

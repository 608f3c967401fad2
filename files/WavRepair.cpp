// WAV repair. Our WAV writer puts "fmt " (18 bytes for PCM, 30 for MP3 with format tag 0x55)
// and "data" right after the RIFF header and rewrites the two sizes at the end; a killed file
// keeps RIFF = header - 8 and data = 0 with the samples behind. The data is kept in whole
// blocks (PCM) or whole MP3 frames, so no player reads half a sample or half a frame.

#include "files/CaptureRepair.h"
#include "files/RepairIo.h"

namespace vidorel {

using repair::Is;
using repair::TReader;

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatMp3 = 0x55;

struct TMp3Frame {
    uint32_t bytes = 0;
    uint32_t samples = 0;
    uint32_t rate = 0;
};

// The frame a 4-byte MPEG audio layer III header announces; none for anything else (free
// format included: its length cannot be known from the header).
bool ParseMp3Header(const uint8_t h[4], TMp3Frame& f) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
        return false;
    }
    const int version = (h[1] >> 3) & 3; // 0: 2.5, 2: 2, 3: 1
    const int layer = (h[1] >> 1) & 3;   // 1: layer III
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
        return false;
    }
    static constexpr uint16_t kBitratesV1[15] = {0,   32,  40,  48,  56,  64,  80, 96,
                                                 112, 128, 160, 192, 224, 256, 320};
    static constexpr uint16_t kBitratesV2[15] = {0,  8,  16, 24,  32,  40,  48, 56,
                                                 64, 80, 96, 112, 128, 144, 160};
    static constexpr uint32_t kRates[3] = {44100, 48000, 32000};
    const bool v1 = version == 3;
    const uint32_t kbps = v1 ? kBitratesV1[bitrateIndex] : kBitratesV2[bitrateIndex];
    f.rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    f.samples = v1 ? 1152 : 576;
    f.bytes = (v1 ? 144000 : 72000) * kbps / f.rate + static_cast<uint32_t>(padding);
    return true;
}

} // namespace

TRepairPlan PlanWavRepair(int fd, uint64_t fileSize) {
    TReader r(fd, fileSize);
    if (fileSize < 12 || !Is(r.Id(0), "RIFF") || !Is(r.Id(8), "WAVE")) {
        return r.Failed() ? repair::ReadError() : repair::Refuse("not a WAV file");
    }
    constexpr uint64_t fmtAt = 12;
    if (fileSize < fmtAt + 8) {
        return repair::Refuse("the file is cut inside its header");
    }
    const uint32_t fmtBytes = r.U32(fmtAt + 4);
    if (!Is(r.Id(fmtAt), "fmt ") || fmtBytes < 16 || fmtBytes > 64) {
        return repair::Refuse("not a WAV file written by this program");
    }
    const uint64_t dataAt = fmtAt + 8 + fmtBytes + (fmtBytes & 1);
    if (fileSize < dataAt + 8) {
        return r.Failed() ? repair::ReadError()
                          : repair::Refuse("the file is cut inside its header");
    }
    const uint16_t tag = r.U16(fmtAt + 8);
    const uint16_t channels = r.U16(fmtAt + 10);
    const uint32_t rate = r.U32(fmtAt + 12);
    const uint16_t blockAlign = r.U16(fmtAt + 20);
    if ((tag != kFormatPcm && tag != kFormatMp3) || channels == 0 || rate == 0 ||
        !Is(r.Id(dataAt), "data")) {
        return r.Failed() ? repair::ReadError()
                          : repair::Refuse("not a WAV file written by this program");
    }
    if (tag == kFormatPcm && blockAlign == 0) {
        return repair::Refuse("not a WAV file written by this program");
    }
    const uint64_t payload = dataAt + 8;
    const uint64_t onDisk = fileSize - payload;
    const uint32_t riffDeclared = r.U32(4);
    const uint32_t dataDeclared = r.U32(dataAt + 4);

    TRepairPlan plan;
    uint64_t keep = 0;
    if (tag == kFormatPcm) {
        keep = onDisk - onDisk % blockAlign;
        plan.keptSeconds = double(keep / blockAlign) / rate;
    } else {
        // Whole frames from the start of the data; the first header that does not parse or a
        // frame running past the end closes the data.
        uint64_t samples = 0;
        uint32_t frameRate = rate;
        while (keep + 4 <= onDisk) {
            uint8_t h[4];
            TMp3Frame f;
            if (!r.Read(payload + keep, h, 4) || !ParseMp3Header(h, f) || f.bytes > onDisk - keep) {
                break;
            }
            keep += f.bytes;
            samples += f.samples;
            frameRate = f.rate;
        }
        if (keep == 0 && onDisk >= 4 && !r.Failed()) {
            return repair::Refuse("the data is not MPEG audio layer III");
        }
        plan.keptSeconds = double(samples) / frameRate;
    }
    if (r.Failed()) {
        return repair::ReadError();
    }
    // A RIFF chunk of odd size is followed by a pad byte that its size does not count.
    const uint64_t pad = keep & 1;
    const uint64_t riffBytes = payload + keep + pad - 8;
    if (riffBytes > UINT32_MAX) {
        return repair::Refuse("the data is too long for a WAV file");
    }
    plan.isAvi = false;
    if (riffDeclared == riffBytes && dataDeclared == keep && fileSize == payload + keep + pad) {
        plan.verdict = TRepairPlan::Verdict::Healthy;
        return plan;
    }
    plan.verdict = TRepairPlan::Verdict::Repair;
    plan.keepBytes = payload + keep;
    plan.tail.assign(pad, 0);
    repair::Patch32(plan, 4, static_cast<uint32_t>(riffBytes));
    repair::Patch32(plan, dataAt + 4, static_cast<uint32_t>(keep));
    return plan;
}

} // namespace vidorel

// Seeded random-mutation runs over the DV pack readers and the RIFF scanner, built with the
// address sanitizer so any read outside a buffer fails the test.

#include "files/fpsunit.h"
#include "filters/dvcodes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace vidorel {
namespace {

TEST(DvFuzz, packReaders_stayInsideFramesOfAnyLengthAndContent) {
    std::mt19937 rng(1234);
    std::vector<uint8_t> base(kDv625FrameBytes, 0xFF);
    for (int n = 0; n < 12; ++n) {
        uint8_t* s = base.data() + n * kDifSequenceBytes;
        s[3] = 0xBF;
        s[110] = s[190] = 0x13;
        s[453] = 0x61;
        s[458] = 0x62;
        s[463] = 0x63;
    }
    base[4323] = 0x50;
    for (int run = 0; run < 2000; ++run) {
        const std::size_t lengths[] = {rng() % kDvMetadataBytes, kDvMetadataBytes,
                                       kDv625FrameBytes};
        // An exact-size heap copy, so the sanitizer sees its end.
        std::vector<uint8_t> frame(base.begin(),
                                   base.begin() + static_cast<std::ptrdiff_t>(lengths[run % 3]));
        for (int e = 0; e < 64 && !frame.empty(); ++e) {
            frame[rng() % frame.size()] = static_cast<uint8_t>(rng());
        }
        for (int n = -1; n <= 12; ++n) {
            TDVRecDateTime r;
            GetDVRecDateTime(frame, n, r);
            double days = 0;
            if (DVRecDateTimeToDays(r, days)) {
                ASSERT_TRUE(r.Month >= 1 && r.Month <= 12 && r.Hour < 24);
            }
            const TDVTimecode tc = GetDVTimecode(frame, n);
            ASSERT_TRUE(tc.Hours == 255 || tc.Hours <= 3 * 10 + 15);
            SetDV16x9(frame, n);
        }
        ASSERT_LE(GetDVSystem(frame), 2);
        const int32_t rate = GetDVAudioRate(frame);
        ASSERT_TRUE(rate == -1 || rate == 0 || rate == 32000 || rate == 44100 || rate == 48000);
        IsDV16x9(frame);
        HasDVVideoControl(frame);
        GetDVAudioBits(frame);
    }
}

TEST(DvFuzz, riffScanner_staysInsideMutatedFiles) {
    std::mt19937 rng(99);
    // RIFF AVI / LIST hdrl / LIST strl / strh vids, then a movi list.
    std::vector<uint8_t> base = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'A', 'V', 'I', ' ',
                                 'L', 'I', 'S', 'T', 80, 0, 0, 0, 'h', 'd', 'r', 'l',
                                 'L', 'I', 'S', 'T', 68, 0, 0, 0, 's', 't', 'r', 'l',
                                 's', 't', 'r', 'h', 56, 0, 0, 0, 'v', 'i', 'd', 's'};
    base.resize(base.size() + 52, 0);
    const uint8_t movi[] = {'L', 'I', 'S', 'T', 12,  0,   0, 0, 'm', 'o',
                            'v', 'i', '0', '0', 'd', 'c', 0, 0, 0,   0};
    base.insert(base.end(), std::begin(movi), std::end(movi));
    const auto size = static_cast<uint32_t>(base.size() - 8);
    std::memcpy(base.data() + 4, &size, 4);
    for (int run = 0; run < 5000; ++run) {
        std::vector<uint8_t> file(
            base.begin(), base.begin() + static_cast<std::ptrdiff_t>(
                                             run % 5 == 0 ? rng() % base.size() : base.size()));
        for (int e = 0; e < 1 + static_cast<int>(rng() % 6) && !file.empty(); ++e) {
            file[rng() % file.size()] = static_cast<uint8_t>(rng());
        }
        const RiffScanner scanner(
            [&file](uint64_t off, void* out, std::size_t n) {
                if (off > file.size() || n > file.size() - off) {
                    return false;
                }
                std::memcpy(out, file.data() + off, n);
                return true;
            },
            file.size());
        const auto offset = ScanAviChunks(scanner);
        if (offset) {
            ASSERT_LE(*offset + 8, file.size());
        }
    }
}

} // namespace
} // namespace vidorel

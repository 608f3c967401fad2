// Writes a generated DV tape as a raw DV file, for the capture benchmarks and soak runs:
//
//     vidorel_make_tape OUT.dv SECONDS [RECORDINGS [ntsc]]
//
// The tape holds RECORDINGS camcorder recordings (default 3) of equal length, each with its own
// recording date (one hour apart from 8 November 2006, 14:30:05), the second one marked 16:9.

#include "devices/dvtape/DvTape.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    using namespace vidorel::dvtape;
    if (argc < 3) {
        std::fprintf(stderr, "usage: vidorel_make_tape OUT.dv SECONDS [RECORDINGS [ntsc]]\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const int recordings = argc > 3 ? std::atoi(argv[3]) : 3;
    const bool ntsc = argc > 4 && std::strcmp(argv[4], "ntsc") == 0;
    if (seconds <= 0 || recordings < 1) {
        std::fprintf(stderr, "vidorel_make_tape: SECONDS and RECORDINGS must be above 0\n");
        return 2;
    }
    TapeDescription d;
    d.system = ntsc ? DvSystem::Ntsc525 : DvSystem::Pal625;
    const double fps = ntsc ? 30000.0 / 1001.0 : 25.0;
    const auto total = static_cast<uint32_t>(seconds * fps + 0.5);
    for (int r = 0; r < recordings; ++r) {
        Recording rec;
        rec.start = CivilDateTime{2006, 11, 8, 14 + r, 30, 5};
        rec.frames = total / recordings + (r < static_cast<int>(total % recordings) ? 1 : 0);
        rec.wide = r == 1;
        d.recordings.push_back(rec);
    }
    DvTape tape(d);
    if (!tape.writeRawDv(argv[1])) {
        std::fprintf(stderr, "vidorel_make_tape: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %llu frames\n", argv[1], static_cast<unsigned long long>(tape.frameCount()));
    return 0;
}

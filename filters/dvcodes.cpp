#include "filters/dvcodes.h"

#include <cmath>

namespace vidorel {

namespace {

constexpr std::size_t kHeaderDsf = 3;
constexpr std::size_t kHeaderAp3 = 7;
constexpr std::size_t kSubcode0Pack = 110;
constexpr std::size_t kSubcode1Pack = 190;
constexpr std::size_t kVauxControlPack = 453;
constexpr std::size_t kVauxDatePack = 458;
constexpr std::size_t kVauxTimePack = 463;
constexpr std::size_t kAauxSourcePack = 4323;

constexpr uint8_t kPackTimecode = 0x13;
constexpr uint8_t kPackAudioSource = 0x50;
constexpr uint8_t kPackVideoControl = 0x61;
constexpr uint8_t kPackRecDate = 0x62;
constexpr uint8_t kPackRecTime = 0x63;

uint8_t bcd(uint8_t v, uint8_t tensMask) {
    return static_cast<uint8_t>(((v & tensMask) >> 4) * 10 + (v & 0x0F));
}

// Sequence `n` of a frame already measured by the caller of this helper.
const uint8_t* sequence(DvFrame frame, int n) {
    return frame.data() + n * kDifSequenceBytes;
}

bool validSequence(DvFrame frame, int n) {
    return DvFrameHasMetadata(frame) && n >= 0 && n < kDvMetadataSequences;
}

bool hasAudioSource(DvFrame frame) {
    return DvFrameHasMetadata(frame) && frame[kAauxSourcePack] == kPackAudioSource;
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kEpochOffsetDays = -25569;

} // namespace

void GetDVRecDateTime(DvFrame frame, int n, TDVRecDateTime& out) {
    out.Year = -1;
    if (!validSequence(frame, n)) {
        return;
    }
    const uint8_t* s = sequence(frame, n);
    const bool dateHeader = s[kVauxDatePack] == kPackRecDate || s[kVauxDatePack] == 0x00;
    const bool timeHeader = s[kVauxTimePack] == kPackRecTime || s[kVauxTimePack] == 0x00;
    if (!dateHeader || !timeHeader) {
        return;
    }
    out.Day = bcd(s[kVauxDatePack + 2], 0x30);
    out.Month = bcd(s[kVauxDatePack + 3], 0x10);
    const int year = bcd(s[kVauxDatePack + 4], 0xF0);
    out.Year = year < 40 ? 2000 + year : 1900 + year;
    out.Second = bcd(s[kVauxTimePack + 2], 0x70);
    out.Minute = bcd(s[kVauxTimePack + 3], 0x70);
    out.Hour = bcd(s[kVauxTimePack + 4], 0x30);
}

TDVTimecode GetDVTimecode(DvFrame frame, int n) {
    TDVTimecode tc;
    if (!validSequence(frame, n)) {
        return tc;
    }
    const uint8_t* s = sequence(frame, n);
    if (s[kSubcode0Pack] != kPackTimecode || s[kSubcode1Pack] != kPackTimecode) {
        return tc;
    }
    tc.Frames = bcd(s[kSubcode0Pack + 1], 0x30);
    tc.Seconds = bcd(s[kSubcode0Pack + 2], 0x70);
    tc.Minutes = bcd(s[kSubcode0Pack + 3], 0x70);
    tc.Hours = bcd(s[kSubcode0Pack + 4], 0x30);
    return tc;
}

bool HasDVVideoControl(DvFrame frame) {
    return DvFrameHasMetadata(frame) && frame[kVauxControlPack] == kPackVideoControl;
}

uint8_t GetDVSystem(DvFrame frame) {
    if (!DvFrameHasMetadata(frame)) {
        return 2;
    }
    switch (frame[kHeaderDsf]) {
    case 0xBF:
        return 0;
    case 0x3F:
        return 1;
    default:
        return 2;
    }
}

int32_t GetDVAudioRate(DvFrame frame) {
    if (!hasAudioSource(frame)) {
        return -1;
    }
    switch ((frame[kAauxSourcePack + 4] >> 3) & 7) {
    case 0:
        return 48000;
    case 1:
        return 44100;
    case 2:
        return 32000;
    default:
        return 0;
    }
}

int32_t GetDVAudioBits(DvFrame frame) {
    if (!hasAudioSource(frame)) {
        return -1;
    }
    switch (frame[kAauxSourcePack + 4] & 7) {
    case 0:
        return 16;
    case 1:
        return 12;
    default:
        return 0;
    }
}

bool IsDV16x9(DvFrame frame) {
    if (!DvFrameHasMetadata(frame)) {
        return false;
    }
    for (int n = 0; n < kDvMetadataSequences; ++n) {
        const uint8_t* s = sequence(frame, n);
        if (s[kVauxControlPack] == kPackVideoControl) {
            const int disp = s[kVauxControlPack + 2] & 7;
            const int ap3 = s[kHeaderAp3] & 7;
            return disp == 2 || (ap3 == 0 && disp == 7);
        }
    }
    return false;
}

bool SetDV16x9(DvMutableFrame frame, int n) {
    if (!validSequence(frame, n)) {
        return false;
    }
    uint8_t* s = frame.data() + n * kDifSequenceBytes;
    s[kVauxControlPack] = kPackVideoControl;
    s[kVauxControlPack + 2] = (s[kHeaderAp3] & 7) != 0 ? 2 : 7;
    return true;
}

bool DVRecDateTimeToDays(const TDVRecDateTime& r, double& days) {
    if (r.Year < 0 || r.Month < 1 || r.Month > 12 || r.Day < 1 ||
        r.Day > daysInMonth(r.Year, r.Month) || r.Hour > 23 || r.Minute > 59 || r.Second > 59) {
        return false;
    }
    const int64_t whole = daysFromCivil(r.Year, r.Month, r.Day) - kEpochOffsetDays;
    days = static_cast<double>(whole) + (r.Hour * 3600 + r.Minute * 60 + r.Second) / 86400.0;
    return true;
}

DvCivilTime DaysToCivilTime(double days) {
    DvCivilTime t;
    const int64_t totalSeconds = std::llround(days * 86400.0);
    int64_t day = totalSeconds / 86400;
    int64_t secs = totalSeconds % 86400;
    if (secs < 0) {
        secs += 86400;
        day -= 1;
    }
    civilFromDays(day + kEpochOffsetDays, t.year, t.month, t.day);
    t.hour = static_cast<int>(secs / 3600);
    t.minute = static_cast<int>(secs / 60 % 60);
    t.second = static_cast<int>(secs % 60);
    return t;
}

} // namespace vidorel

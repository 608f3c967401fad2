#pragma once

// Small RIFF/AVI files assembled chunk by chunk for the scanner and patch tests.

#include <cstdint>
#include <string>
#include <vector>

namespace vidorel::test {

using Bytes = std::vector<uint8_t>;

inline void append32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

inline uint32_t read32(const Bytes& b, std::size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// A chunk with its size and, for an odd size, its pad byte.
inline Bytes chunk(const std::string& id, const Bytes& data, bool pad = true) {
    Bytes b(id.begin(), id.end());
    append32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (pad && data.size() % 2 == 1) {
        b.push_back(0);
    }
    return b;
}

inline Bytes list(const std::string& id, const std::string& type, const std::vector<Bytes>& subs) {
    Bytes data(type.begin(), type.end());
    for (const Bytes& s : subs) {
        data.insert(data.end(), s.begin(), s.end());
    }
    return chunk(id, data);
}

// A stream header: type, handler, then the fields up to dwLength with scale/rate as given.
inline Bytes strh(const std::string& type, uint32_t scale, uint32_t rate, std::size_t size = 56) {
    Bytes d(type.begin(), type.end());
    d.insert(d.end(), {'d', 'v', 's', 'd'});
    d.resize(20, 0);
    append32(d, scale);
    append32(d, rate);
    d.resize(size, 0);
    return chunk("strh", d);
}

inline Bytes concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// RIFF AVI with a main header, a video and an audio stream, some media data and an index.
inline Bytes typicalAvi() {
    return list(
        "RIFF", "AVI ",
        {list("LIST", "hdrl",
              {chunk("avih", Bytes(56, 0x11)),
               list("LIST", "strl", {strh("vids", 1, 25), chunk("strf", Bytes(40, 0x22))}),
               list("LIST", "strl", {strh("auds", 1, 48000), chunk("strf", Bytes(18, 0x33))})}),
         chunk("JUNK", Bytes(3, 0x44)),
         list("LIST", "movi", {chunk("00dc", Bytes(100, 0x55)), chunk("01wb", Bytes(7, 0x66))}),
         chunk("idx1", Bytes(32, 0x77))});
}

} // namespace vidorel::test

// AVI repair, for the two writers the program records with:
//
// - our DV type-1 writer: one 'iavs' stream; a killed file has its first RIFF and movi sizes 0,
//   every count 0, and no index in the part that was open. Closed parts carry their ix00 (the
//   first one also idx1) and, for extension parts, their sizes.
// - avimux: a 'vids' stream (DV 'dvsd' or MPEG-4) and maybe an 'auds' one (PCM or MP3); at the
//   start it writes RIFF = header - 8, movi = 4, counts 0, flags 0, and its super indexes as
//   JUNK chunks of the right size. Past 1 GB it closes a part by writing one ix## per stream
//   (the first part also idx1) and rewriting that AVIX part's sizes; the first part's sizes and
//   the super indexes only ever reach the header at end-of-stream.
//
// The data is never trusted to the header: the movi lists are walked chunk by chunk from the
// first one to the first chunk that is not whole or not one we write. The repaired file is what
// the writer would have left had it finished: the index it would have written is appended after
// the last whole chunk, everything else is patched in place.

#include "files/CaptureRepair.h"
#include "files/RepairIo.h"

#include <algorithm>
#include <cmath>

namespace vidorel {

using repair::Is;
using repair::Put16;
using repair::Put32;
using repair::Put64;
using repair::PutId;
using repair::TReader;

namespace {

using Id4 = std::array<char, 4>;

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kIdx1Keyframe = 0x10;
// avimux sets this on every video entry of idx1, key or not.
constexpr uint32_t kIdx1AvimuxVideo = 0x02;
constexpr uint32_t kIxDeltaFrame = 0x80000000u;
constexpr uint32_t kIndxHeaderBytes = 24;
constexpr uint32_t kIndxEntryBytes = 16;
// How far into an MPEG-4 chunk the VOP start code is looked for: the first picture carries
// the sequence and VOL headers before it.
constexpr std::size_t kVopSearchBytes = 512;

enum class TWriter { Type1, Avimux };

struct TStream {
    bool video = false;
    bool mpeg4 = false;
    uint64_t strhData = 0;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t sampleSize = 0;
    uint32_t suggestedBuffer = 0;
    bool mp3 = false;
    uint64_t strfData = 0;
    uint32_t sampleRate = 0; // audio
    uint64_t indxAt = 0;     // the super index or its JUNK reservation (chunk header), 0: none
    uint32_t indxBytes = 0;
    bool indxIsJunk = false;
    Id4 chunkId{}; // as the data chunks name it
    // Over the whole file:
    uint64_t chunks = 0;
    uint64_t bytes = 0;
    uint32_t largest = 0;
};

struct TChunk {
    uint64_t at = 0;
    uint32_t bytes = 0;
    uint8_t stream = 0;
};

struct TPart {
    uint64_t riffAt = 0;
    uint64_t moviAt = 0;
    std::vector<TChunk> chunks;
    std::vector<uint64_t> ixAt; // per stream, 0: none
    uint64_t idx1At = 0;        // 0: none
};

struct TSuperEntry {
    uint64_t at;
    uint32_t bytes;
    uint32_t duration;
};

bool EqualsNoCase(const Id4& id, std::string_view s) {
    for (std::size_t i = 0; i < 4; ++i) {
        const auto a = static_cast<unsigned char>(id[i]);
        const auto b = static_cast<unsigned char>(s[i]);
        if (std::tolower(a) != std::tolower(b)) {
            return false;
        }
    }
    return true;
}

int StreamNumber(const Id4& id) {
    if (id[0] < '0' || id[0] > '9' || id[1] < '0' || id[1] > '9') {
        return -1;
    }
    return (id[0] - '0') * 10 + (id[1] - '0');
}

class TAviPlanner {
public:
    TAviPlanner(int fd, uint64_t size) : r_(fd, size) {}

    TRepairPlan Plan() {
        TRepairPlan plan = readHeader();
        if (plan.verdict != TRepairPlan::Verdict::Repair) {
            return plan;
        }
        scan();
        if (r_.Failed()) {
            return repair::ReadError();
        }
        if (healthy()) {
            plan.verdict = TRepairPlan::Verdict::Healthy;
        } else {
            plan = build();
        }
        if (r_.Failed()) {
            return repair::ReadError();
        }
        plan.isAvi = true;
        for (const TStream& s : streams_) {
            if (s.video) {
                plan.keptFrames = s.chunks;
                plan.keptSeconds = s.rate > 0 ? double(s.chunks) * s.scale / s.rate : 0;
                break;
            }
        }
        return plan;
    }

private:
    // Reads hdrl and finds the first movi list; Repair means "go on".
    TRepairPlan readHeader() {
        const uint64_t size = r_.Size();
        if (size < 12 || !Is(r_.Id(0), "RIFF") || !Is(r_.Id(8), "AVI ")) {
            return r_.Failed() ? repair::ReadError() : repair::Refuse("not an AVI file");
        }
        uint64_t pos = 12;
        bool sawHeader = false;
        for (;;) {
            if (pos + 12 > size) {
                return r_.Failed() ? repair::ReadError()
                                   : repair::Refuse("the file is cut inside its header");
            }
            const Id4 id = r_.Id(pos);
            const uint32_t bytes = r_.U32(pos + 4);
            if (Is(id, "LIST") && Is(r_.Id(pos + 8), "movi")) {
                moviAt_ = pos;
                break;
            }
            // Everything before the media data is there whole or the header is not.
            if (bytes > size - pos - 8) {
                return repair::Refuse("the file is cut inside its header");
            }
            if (Is(id, "LIST") && bytes >= 4 && Is(r_.Id(pos + 8), "hdrl")) {
                if (!readHdrl(pos + 12, pos + 8 + bytes)) {
                    return repair::Refuse("not an AVI file written by this program");
                }
                sawHeader = true;
            } else if (!sawHeader) {
                return repair::Refuse("not an AVI file written by this program");
            }
            pos += 8 + uint64_t(bytes) + (bytes & 1);
        }
        if (r_.Failed()) {
            return repair::ReadError();
        }
        if (!sawHeader || avihData_ == 0 || !recognise()) {
            return repair::Refuse("not an AVI file written by this program");
        }
        TRepairPlan go;
        go.verdict = TRepairPlan::Verdict::Repair;
        return go;
    }

    bool readHdrl(uint64_t begin, uint64_t end) {
        for (uint64_t pos = begin; pos + 8 <= end;) {
            const Id4 id = r_.Id(pos);
            const uint32_t bytes = r_.U32(pos + 4);
            if (bytes > end - pos - 8) {
                return false;
            }
            const uint64_t data = pos + 8;
            if (Is(id, "avih") && bytes >= 40) {
                avihData_ = data;
            } else if (Is(id, "LIST") && bytes >= 4 && Is(r_.Id(data), "strl")) {
                if (!readStrl(data + 4, data + bytes)) {
                    return false;
                }
            } else if (Is(id, "LIST") && bytes >= 4 && Is(r_.Id(data), "odml")) {
                const uint64_t dmlh = data + 4;
                if (bytes >= 16 && Is(r_.Id(dmlh), "dmlh") && r_.U32(dmlh + 4) >= 4) {
                    dmlhData_ = dmlh + 8;
                }
            }
            pos = data + bytes + (bytes & 1);
        }
        return true;
    }

    bool readStrl(uint64_t begin, uint64_t end) {
        TStream s;
        Id4 type{};
        Id4 handler{};
        Id4 compression{};
        uint16_t formatTag = 0;
        bool sawStrh = false;
        for (uint64_t pos = begin; pos + 8 <= end;) {
            const Id4 id = r_.Id(pos);
            const uint32_t bytes = r_.U32(pos + 4);
            if (bytes > end - pos - 8) {
                return false;
            }
            const uint64_t data = pos + 8;
            if (Is(id, "strh") && bytes >= 48) {
                sawStrh = true;
                type = r_.Id(data);
                handler = r_.Id(data + 4);
                s.strhData = data;
                s.scale = r_.U32(data + 20);
                s.rate = r_.U32(data + 24);
                s.suggestedBuffer = r_.U32(data + 36);
                s.sampleSize = r_.U32(data + 44);
            } else if (Is(id, "strf") && bytes >= 20 && Is(type, "vids")) {
                compression = r_.Id(data + 16);
            } else if (Is(id, "strf") && bytes >= 16 && Is(type, "auds")) {
                formatTag = r_.U16(data);
                s.strfData = data;
                s.sampleRate = r_.U32(data + 4);
            } else if ((Is(id, "indx") || Is(id, "JUNK")) && bytes >= kIndxHeaderBytes &&
                       r_.U16(data) == 4) {
                s.indxAt = pos;
                s.indxBytes = bytes;
                s.indxIsJunk = Is(id, "JUNK");
            }
            pos = data + bytes + (bytes & 1);
        }
        if (!sawStrh) {
            return false;
        }
        const auto number = static_cast<char>('0' + streams_.size() / 10);
        const auto unit = static_cast<char>('0' + streams_.size() % 10);
        if (Is(type, "iavs") && EqualsNoCase(handler, "dvsd")) {
            s.video = true;
            s.chunkId = {number, unit, 'd', 'b'};
            ++iavs_;
        } else if (Is(type, "vids") &&
                   (EqualsNoCase(compression, "dvsd") || EqualsNoCase(compression, "divx") ||
                    EqualsNoCase(compression, "xvid") || EqualsNoCase(compression, "fmp4"))) {
            s.video = true;
            s.mpeg4 = !EqualsNoCase(compression, "dvsd");
            s.chunkId = {number, unit, 'd', 'c'};
            ++vids_;
        } else if (Is(type, "auds") && (formatTag == 1 || formatTag == 0x55)) {
            s.chunkId = {number, unit, 'w', 'b'};
            s.mp3 = formatTag == 0x55;
            ++auds_;
        } else {
            ++other_;
        }
        streams_.push_back(s);
        return true;
    }

    bool recognise() {
        if (other_ > 0 || streams_.size() > 2) {
            return false;
        }
        if (iavs_ == 1 && streams_.size() == 1) {
            writer_ = TWriter::Type1;
            return true;
        }
        writer_ = TWriter::Avimux;
        for (TStream& s : streams_) {
            // Each MP3 chunk is one frame (see build()), whatever the unfinished header says.
            if (s.mp3) {
                s.sampleSize = 0;
            }
        }
        return iavs_ == 0 && vids_ == 1 && auds_ <= 1;
    }

    int mediaStream(const Id4& id) const {
        const int n = StreamNumber(id);
        if (n < 0 || n >= static_cast<int>(streams_.size())) {
            return -1;
        }
        const bool video = (id[2] == 'd' && (id[3] == 'b' || id[3] == 'c'));
        const bool audio = id[2] == 'w' && id[3] == 'b';
        return (streams_[static_cast<std::size_t>(n)].video ? video : audio) ? n : -1;
    }

    // Walks the chunks after the first movi header. RIFF/LIST sizes are not followed (they are
    // placeholders in an unfinished file): an AVIX part is recognised by its 24 header bytes.
    void scan() {
        const uint64_t size = r_.Size();
        parts_.push_back(TPart{0, moviAt_, {}, std::vector<uint64_t>(streams_.size(), 0), 0});
        uint64_t pos = moviAt_ + 12;
        while (pos + 8 <= size && !r_.Failed()) {
            const Id4 id = r_.Id(pos);
            const uint32_t bytes = r_.U32(pos + 4);
            if (Is(id, "RIFF")) {
                if (pos + 24 > size || !Is(r_.Id(pos + 8), "AVIX") ||
                    !Is(r_.Id(pos + 12), "LIST") || !Is(r_.Id(pos + 20), "movi")) {
                    break;
                }
                parts_.push_back(
                    TPart{pos, pos + 12, {}, std::vector<uint64_t>(streams_.size(), 0), 0});
                pos += 24;
                continue;
            }
            if (bytes > size - pos - 8) {
                break; // cut inside this chunk
            }
            TPart& part = parts_.back();
            const int stream = mediaStream(id);
            if (stream >= 0) {
                TStream& s = streams_[static_cast<std::size_t>(stream)];
                part.chunks.push_back(TChunk{pos, bytes, static_cast<uint8_t>(stream)});
                s.chunkId = id;
                ++s.chunks;
                s.bytes += bytes;
                s.largest = std::max(s.largest, bytes);
            } else if (id[0] == 'i' && id[1] == 'x' && StreamNumber(Id4{id[2], id[3], 0, 0}) >= 0 &&
                       StreamNumber(Id4{id[2], id[3], 0, 0}) < static_cast<int>(streams_.size())) {
                part.ixAt[static_cast<std::size_t>(StreamNumber(Id4{id[2], id[3], 0, 0}))] = pos;
            } else if (Is(id, "idx1")) {
                part.idx1At = pos;
            } else if (!Is(id, "JUNK")) {
                break; // not a chunk of ours: garbage after the last write
            }
            pos += 8 + uint64_t(bytes) + (bytes & 1);
        }
        scanEnd_ = pos;
    }

    // A finished file: every part's sizes reach exactly the next one (the last one the end of
    // the file), nothing follows the last chunk, and the counts are those of the data.
    bool healthy() {
        const uint64_t size = r_.Size();
        if (scanEnd_ < size) {
            return false;
        }
        for (std::size_t i = 0; i < parts_.size(); ++i) {
            const TPart& p = parts_[i];
            const uint64_t end = i + 1 < parts_.size() ? parts_[i + 1].riffAt : size;
            const uint32_t riff = r_.U32(p.riffAt + 4);
            const uint32_t movi = r_.U32(p.moviAt + 4);
            if (p.riffAt + 8 + riff + (riff & 1) != end || movi < 4 || p.moviAt + 8 + movi > end) {
                return false;
            }
        }
        for (const TStream& s : streams_) {
            if (s.video && (r_.U32(s.strhData + 32) != s.chunks ||
                            (dmlhData_ != 0 && r_.U32(dmlhData_) != s.chunks))) {
                return false;
            }
        }
        return true;
    }

    uint32_t duration(const TStream& s, uint64_t chunks, uint64_t bytes) const {
        if (s.video || s.sampleSize == 0) {
            return static_cast<uint32_t>(chunks);
        }
        return static_cast<uint32_t>(bytes / s.sampleSize);
    }

    bool keyframe(const TStream& s, const TChunk& c) {
        if (!s.video) {
            return writer_ == TWriter::Type1;
        }
        if (!s.mpeg4) {
            return true;
        }
        // An MPEG-4 picture is a key frame when its VOP is intra coded.
        uint8_t b[kVopSearchBytes];
        const std::size_t n = std::min<std::size_t>(c.bytes, sizeof b);
        r_.Read(c.at + 8, b, n);
        for (std::size_t i = 0; i + 4 < n; ++i) {
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] == 0xB6) {
                return (b[i + 4] >> 6) == 0;
            }
        }
        return false;
    }

    TRepairPlan build() {
        TRepairPlan plan;
        plan.verdict = TRepairPlan::Verdict::Repair;
        // An extension part without a whole chunk holds nothing: it goes.
        while (parts_.size() > 1 && parts_.back().chunks.empty()) {
            parts_.pop_back();
        }
        const bool superIndex = writer_ == TWriter::Type1 || parts_.size() > 1;
        std::vector<std::vector<TSuperEntry>> entries(streams_.size());

        // Closed parts keep their index; only their sizes are set (the first part's are still
        // placeholders in an unfinished avimux file).
        for (std::size_t i = 0; i + 1 < parts_.size(); ++i) {
            const TPart& p = parts_[i];
            std::vector<uint64_t> chunks(streams_.size(), 0);
            std::vector<uint64_t> bytes(streams_.size(), 0);
            for (const TChunk& c : p.chunks) {
                ++chunks[c.stream];
                bytes[c.stream] += c.bytes;
            }
            for (std::size_t s = 0; s < streams_.size(); ++s) {
                if (chunks[s] == 0) {
                    continue;
                }
                if (p.ixAt[s] == 0 || r_.U32(p.ixAt[s] + 12) != chunks[s]) {
                    return repair::Refuse("part " + std::to_string(i + 1) +
                                          " of the file has lost its index");
                }
                entries[s].push_back(TSuperEntry{p.ixAt[s], 8 + r_.U32(p.ixAt[s] + 4),
                                                 duration(streams_[s], chunks[s], bytes[s])});
            }
            const uint64_t end = parts_[i + 1].riffAt;
            const uint64_t moviEnd = p.idx1At != 0 ? p.idx1At : end;
            repair::Patch32(plan, p.riffAt + 4, static_cast<uint32_t>(end - p.riffAt - 8));
            repair::Patch32(plan, p.moviAt + 4, static_cast<uint32_t>(moviEnd - p.moviAt - 8));
        }

        // The last part: cut after its last whole chunk, then the index the writer would have
        // written when closing it.
        const std::size_t lastIndex = parts_.size() - 1;
        const TPart& last = parts_.back();
        uint64_t keep = last.moviAt + 12;
        if (!last.chunks.empty()) {
            keep = last.chunks.back().at + 8 + last.chunks.back().bytes;
        }
        plan.keepBytes = keep;
        std::vector<uint8_t>& tail = plan.tail;
        tail.assign(keep & 1, 0);

        // Totals without what the dropped parts and the cut held.
        for (TStream& s : streams_) {
            s.chunks = 0;
            s.bytes = 0;
            s.largest = 0;
        }
        for (const TPart& p : parts_) {
            for (const TChunk& c : p.chunks) {
                TStream& s = streams_[c.stream];
                ++s.chunks;
                s.bytes += c.bytes;
                s.largest = std::max(s.largest, c.bytes);
            }
        }

        std::vector<bool> keys(last.chunks.size());
        for (std::size_t k = 0; k < last.chunks.size(); ++k) {
            keys[k] = keyframe(streams_[last.chunks[k].stream], last.chunks[k]);
        }
        if (superIndex) {
            // Type 1 counts from the movi list header, avimux from the RIFF part (0 for the
            // first part: absolute offsets).
            const uint64_t base = writer_ == TWriter::Type1 ? last.moviAt : last.riffAt;
            for (std::size_t s = 0; s < streams_.size(); ++s) {
                uint32_t n = 0;
                uint64_t bytes = 0;
                for (const TChunk& c : last.chunks) {
                    n += c.stream == s ? 1 : 0;
                    bytes += c.stream == s ? c.bytes : 0;
                }
                // Our writer closes even an empty part with its ix00; avimux indexes what it
                // holds.
                if (n == 0 && writer_ != TWriter::Type1) {
                    continue;
                }
                const uint64_t at = keep + tail.size();
                const uint32_t ixBytes = 24 + 8 * n;
                tail.push_back('i');
                tail.push_back('x');
                tail.push_back(static_cast<uint8_t>(streams_[s].chunkId[0]));
                tail.push_back(static_cast<uint8_t>(streams_[s].chunkId[1]));
                Put32(tail, ixBytes);
                Put16(tail, 2);    // longs per entry
                tail.push_back(0); // sub-type
                tail.push_back(1); // index of chunks
                Put32(tail, n);
                PutId(tail, std::string_view(streams_[s].chunkId.data(), 4));
                Put64(tail, base);
                Put32(tail, 0);
                for (std::size_t k = 0; k < last.chunks.size(); ++k) {
                    const TChunk& c = last.chunks[k];
                    if (c.stream != s) {
                        continue;
                    }
                    Put32(tail, static_cast<uint32_t>(c.at + 8 - base));
                    Put32(tail, c.bytes | (keys[k] ? 0 : kIxDeltaFrame));
                }
                entries[s].push_back(TSuperEntry{at, 8 + ixBytes, duration(streams_[s], n, bytes)});
            }
        }
        const uint64_t moviEnd = keep + tail.size();
        if (lastIndex == 0) {
            // The legacy index: type 1 counts from the 'movi' type, avimux from the file's
            // start.
            const uint64_t base = writer_ == TWriter::Type1 ? last.moviAt + 8 : 0;
            PutId(tail, "idx1");
            Put32(tail, static_cast<uint32_t>(16 * last.chunks.size()));
            for (std::size_t k = 0; k < last.chunks.size(); ++k) {
                const TChunk& c = last.chunks[k];
                const TStream& s = streams_[c.stream];
                uint32_t flags = keys[k] ? kIdx1Keyframe : 0;
                if (writer_ == TWriter::Avimux && s.video) {
                    flags |= kIdx1AvimuxVideo;
                }
                PutId(tail, std::string_view(s.chunkId.data(), 4));
                Put32(tail, flags);
                Put32(tail, static_cast<uint32_t>(c.at - base));
                Put32(tail, c.bytes);
            }
        }
        const uint64_t end = keep + tail.size();
        if (end - last.riffAt - 8 > UINT32_MAX) {
            return repair::Refuse("a RIFF part is too large");
        }
        repair::Patch32(plan, last.riffAt + 4, static_cast<uint32_t>(end - last.riffAt - 8));
        repair::Patch32(plan, last.moviAt + 4, static_cast<uint32_t>(moviEnd - last.moviAt - 8));

        // avimux only knows at end-of-stream that MP3 chunks are frames of varying size: until
        // then its header says one byte per sample at rate 0. Its final header counts frames.
        for (const TStream& s : streams_) {
            if (writer_ != TWriter::Avimux || !s.mp3 || s.sampleRate == 0) {
                continue;
            }
            const uint32_t samplesPerFrame = s.sampleRate >= 32000 ? 1152 : 576;
            repair::Patch32(plan, s.strhData + 20, samplesPerFrame);
            repair::Patch32(plan, s.strhData + 24, s.sampleRate);
            repair::Patch32(plan, s.strhData + 44, 0);
            const uint64_t samples = s.chunks * samplesPerFrame;
            const auto perSecond =
                static_cast<uint32_t>(samples > 0 ? s.bytes * s.sampleRate / samples : 0);
            repair::Patch32(plan, s.strfData + 8, perSecond);
            std::vector<uint8_t> align;
            Put16(align, static_cast<uint16_t>(samplesPerFrame));
            plan.patches.emplace_back(s.strfData + 12, std::move(align));
        }

        // The header's counts.
        uint32_t firstPartFrames = 0;
        for (const TChunk& c : parts_.front().chunks) {
            firstPartFrames += streams_[c.stream].video ? 1 : 0;
        }
        const bool hasIdx1 = lastIndex == 0 || parts_.front().idx1At != 0;
        uint32_t flags = r_.U32(avihData_ + 12);
        flags = hasIdx1 ? flags | kAvifHasIndex : flags & ~kAvifHasIndex;
        if (writer_ == TWriter::Avimux) {
            flags |= kAvifIsInterleaved;
        }
        repair::Patch32(plan, avihData_ + 12, flags);
        repair::Patch32(plan, avihData_ + 16, firstPartFrames);
        uint64_t videoFrames = 0;
        for (std::size_t s = 0; s < streams_.size(); ++s) {
            const TStream& st = streams_[s];
            if (st.video) {
                videoFrames = st.chunks;
            }
            repair::Patch32(plan, st.strhData + 32, duration(st, st.chunks, st.bytes));
            repair::Patch32(plan, st.strhData + 36, std::max(st.suggestedBuffer, st.largest));
            if (!patchSuperIndex(plan, st, superIndex, entries[s])) {
                return repair::Refuse("the file has more RIFF parts than its header can index");
            }
        }
        if (dmlhData_ != 0) {
            repair::Patch32(plan, dmlhData_, static_cast<uint32_t>(videoFrames));
        }
        return plan;
    }

    bool patchSuperIndex(TRepairPlan& plan, const TStream& s, bool used,
                         const std::vector<TSuperEntry>& entries) {
        if (s.indxAt == 0) {
            return !used || entries.empty();
        }
        const uint32_t capacity = (s.indxBytes - kIndxHeaderBytes) / kIndxEntryBytes;
        if (used && entries.size() > capacity) {
            return false;
        }
        // avimux leaves the reservation as JUNK in a file that never needed it; so do we.
        std::vector<uint8_t> id;
        PutId(id, used ? "indx" : "JUNK");
        plan.patches.emplace_back(s.indxAt, std::move(id));
        repair::Patch32(plan, s.indxAt + 12, used ? static_cast<uint32_t>(entries.size()) : 0);
        std::vector<uint8_t> table;
        table.reserve(std::size_t{capacity} * kIndxEntryBytes);
        for (uint32_t i = 0; i < capacity; ++i) {
            if (used && i < entries.size()) {
                Put64(table, entries[i].at);
                Put32(table, entries[i].bytes);
                Put32(table, entries[i].duration);
            } else {
                table.insert(table.end(), kIndxEntryBytes, 0);
            }
        }
        plan.patches.emplace_back(s.indxAt + 8 + kIndxHeaderBytes, std::move(table));
        return true;
    }

    TReader r_;
    TWriter writer_ = TWriter::Avimux;
    uint64_t avihData_ = 0;
    uint64_t dmlhData_ = 0;
    uint64_t moviAt_ = 0;
    std::vector<TStream> streams_;
    int iavs_ = 0;
    int vids_ = 0;
    int auds_ = 0;
    int other_ = 0;
    std::vector<TPart> parts_;
    uint64_t scanEnd_ = 0;
};

} // namespace

TRepairPlan PlanAviRepair(int fd, uint64_t fileSize) {
    return TAviPlanner(fd, fileSize).Plan();
}

} // namespace vidorel

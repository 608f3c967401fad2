#include "filters/DVType1Avi.h"

#include "platform/SafeOpen.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vidorel {

namespace {

// Little-endian fields appended one by one: the layout reads as the format describes it.
class LeWriter {
public:
    explicit LeWriter(std::vector<uint8_t>& out) : out_(out) {}
    void u8(uint8_t v) { out_.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void u64(uint64_t v) {
        u32(static_cast<uint32_t>(v));
        u32(static_cast<uint32_t>(v >> 32));
    }
    void fourcc(const char (&id)[5]) {
        for (int i = 0; i < 4; ++i) {
            u8(static_cast<uint8_t>(id[i]));
        }
    }
    void zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
    void bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }

private:
    std::vector<uint8_t>& out_;
};

constexpr uint32_t kAvihBytes = 56;
constexpr uint32_t kStrhBytes = 56;
constexpr uint32_t kStrfBytes = 32;
constexpr uint32_t kDmlhBytes = 248;
constexpr uint32_t kIndxHeaderBytes = 24;
constexpr uint32_t kIndxEntryBytes = 16;
constexpr uint32_t kIxHeaderBytes = 24;
constexpr uint32_t kIxEntryBytes = 8;
constexpr uint32_t kIdx1EntryBytes = 16;
constexpr uint32_t kChunkHeaderBytes = 8;
constexpr uint32_t kListHeaderBytes = 12;

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAvifTrustCkType = 0x800;
constexpr uint32_t kAviifKeyframe = 0x10;

constexpr std::size_t kAudioBlocksPerSequence = 9;
constexpr std::size_t kVauxPacksPerBlock = 15;

uint32_t PackData(DvFrame frame, std::size_t headerOffset) {
    return uint32_t(frame[headerOffset + 1]) | uint32_t(frame[headerOffset + 2]) << 8 |
           uint32_t(frame[headerOffset + 3]) << 16 | uint32_t(frame[headerOffset + 4]) << 24;
}

// The first AAUX pack of that type in the audio blocks of sequences [first, last).
uint32_t FindAudioPack(DvFrame frame, std::size_t first, std::size_t last, uint8_t type) {
    for (std::size_t seq = first; seq < last; ++seq) {
        for (std::size_t block = 0; block < kAudioBlocksPerSequence; ++block) {
            const std::size_t at = seq * kDifSequenceBytes + (6 + 16 * block) * 80 + 3;
            if (frame[at] == type) {
                return PackData(frame, at);
            }
        }
    }
    return 0;
}

// The first VAUX pack of that type in the three VAUX blocks of any sequence.
uint32_t FindVauxPack(DvFrame frame, std::size_t sequences, uint8_t type) {
    for (std::size_t seq = 0; seq < sequences; ++seq) {
        for (std::size_t block = 3; block <= 5; ++block) {
            for (std::size_t pack = 0; pack < kVauxPacksPerBlock; ++pack) {
                const std::size_t at = seq * kDifSequenceBytes + block * 80 + 3 + 5 * pack;
                if (frame[at] == type) {
                    return PackData(frame, at);
                }
            }
        }
    }
    return 0;
}

std::array<uint8_t, 4> Le32Bytes(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

} // namespace

// --- the file ---

TFileByteSink::~TFileByteSink() {
    Close();
}

bool TFileByteSink::Open(const std::string& path) {
    Close();
    errno_ = 0;
    // Frames arrive 120 to 144 kB at a time. A buffer of a quarter megabyte gathers them into
    // writes of about that size and stays in the processor's cache between the copy into it and
    // the write out of it; a 4 MB buffer did not, and every byte then crossed memory twice
    // more (a native capture cost up to twice the CPU, and varied from run to run by as much).
    buffer_.resize(std::size_t{256} << 10);
    // A FIFO or a device named like the capture would block the state change (on the
    // window's thread), and a link planted there would have the capture overwrite its target.
    const int fd = OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    file_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (file_ == nullptr) {
        errno_ = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    return true;
}

bool TFileByteSink::fail() {
    if (errno_ == 0) {
        errno_ = errno != 0 ? errno : EIO;
    }
    return false;
}

bool TFileByteSink::Append(std::span<const uint8_t> bytes) {
    if (file_ == nullptr) {
        return false;
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        return fail();
    }
    return true;
}

bool TFileByteSink::Overwrite(uint64_t offset, std::span<const uint8_t> bytes) {
    if (file_ == nullptr) {
        return false;
    }
    errno = 0;
    if (std::fflush(file_) != 0) {
        return fail();
    }
    const int fd = fileno(file_);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return fail();
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

uint64_t TFileByteSink::Committed() {
    if (file_ == nullptr) {
        return UINT64_MAX;
    }
    // What stdio still holds never reached the disk and never will.
    __fpurge(file_);
    struct stat st {};
    if (fstat(fileno(file_), &st) != 0) {
        return UINT64_MAX;
    }
    return static_cast<uint64_t>(st.st_size);
}

bool TFileByteSink::Truncate(uint64_t size) {
    if (file_ == nullptr) {
        return false;
    }
    __fpurge(file_);
    if (ftruncate(fileno(file_), static_cast<off_t>(size)) != 0) {
        return false;
    }
    // The stream position follows, so nothing later lands past the new end.
    return fseeko(file_, static_cast<off_t>(size), SEEK_SET) == 0;
}

bool TFileByteSink::Close() {
    if (file_ == nullptr) {
        return errno_ == 0;
    }
    errno = 0;
    bool ok = std::fflush(file_) == 0;
    if (!ok) {
        fail();
    }
    if (std::fclose(file_) != 0 && ok) {
        ok = fail();
    }
    file_ = nullptr;
    return ok && errno_ == 0;
}

// --- DVINFO ---

std::array<uint8_t, 32> DVInfoFromFrame(DvFrame frame) {
    std::array<uint8_t, 32> out{};
    if (!DvFrameHasMetadata(frame)) {
        return out;
    }
    const std::size_t sequences = std::min<std::size_t>(frame.size() / kDifSequenceBytes,
                                                        kDv625FrameBytes / kDifSequenceBytes);
    const std::size_t half = sequences / 2;
    const uint32_t words[8] = {
        FindAudioPack(frame, 0, half, 0x50),
        FindAudioPack(frame, 0, half, 0x51),
        FindAudioPack(frame, half, sequences, 0x50),
        FindAudioPack(frame, half, sequences, 0x51),
        FindVauxPack(frame, sequences, 0x60),
        FindVauxPack(frame, sequences, 0x61),
        0,
        0,
    };
    for (std::size_t i = 0; i < 8; ++i) {
        for (std::size_t b = 0; b < 4; ++b) {
            out[4 * i + b] = static_cast<uint8_t>(words[i] >> (8 * b));
        }
    }
    return out;
}

// --- the writer ---

TDVType1AviWriter::TDVType1AviWriter(TByteSink& sink, uint64_t riffLimit,
                                     uint32_t superIndexEntries)
    : sink_(sink), riffLimit_(std::min<uint64_t>(riffLimit, 0xFFFFFFFEu)),
      superEntries_(std::max<uint32_t>(superIndexEntries, 1)) {}

std::size_t TDVType1AviWriter::headerBytes() const {
    return kListHeaderBytes                                                         // RIFF 'AVI '
           + kListHeaderBytes                                                       // LIST 'hdrl'
           + kChunkHeaderBytes + kAvihBytes                                         // avih
           + kListHeaderBytes                                                       // LIST 'strl'
           + kChunkHeaderBytes + kStrhBytes                                         // strh
           + kChunkHeaderBytes + kStrfBytes                                         // strf
           + kChunkHeaderBytes + kIndxHeaderBytes + kIndxEntryBytes * superEntries_ // indx
           + kListHeaderBytes + kChunkHeaderBytes + kDmlhBytes                      // LIST 'odml'
           + kListHeaderBytes;                                                      // LIST 'movi'
}

void TDVType1AviWriter::buildHeader(std::vector<uint8_t>& out) const {
    out.clear();
    LeWriter w(out);
    const bool pal = system_ == DvAviSystem::Pal625;
    const uint32_t width = 720;
    const uint32_t height = pal ? 576 : 480;
    const uint32_t frameBytes = static_cast<uint32_t>(FrameBytes(system_));
    // The sizes of the first part stay 0 until Finish: the mark of an unfinished file.
    const Part* first = nullptr;
    if (finished_) {
        first = !parts_.empty() ? &parts_.front() : (firstSalvaged_ ? &salvagedFirst_ : nullptr);
    }
    // Only a first part that was closed normally has its legacy index.
    const bool indexed = finished_ && !parts_.empty();

    const uint32_t indxBytes = kIndxHeaderBytes + kIndxEntryBytes * superEntries_;
    const uint32_t strlBytes = 4 + (kChunkHeaderBytes + kStrhBytes) +
                               (kChunkHeaderBytes + kStrfBytes) + (kChunkHeaderBytes + indxBytes);
    const uint32_t odmlBytes = 4 + kChunkHeaderBytes + kDmlhBytes;
    const uint32_t hdrlBytes = 4 + (kChunkHeaderBytes + kAvihBytes) +
                               (kChunkHeaderBytes + strlBytes) + (kChunkHeaderBytes + odmlBytes);

    w.fourcc("RIFF");
    w.u32(first != nullptr ? first->riffBytes : 0);
    w.fourcc("AVI ");

    w.fourcc("LIST");
    w.u32(hdrlBytes);
    w.fourcc("hdrl");

    w.fourcc("avih");
    w.u32(kAvihBytes);
    w.u32(pal ? 40000 : 33367);     // microseconds per frame
    w.u32(pal ? 3600000 : 3596404); // bytes per second
    w.u32(0);                       // padding granularity
    w.u32(kAvifIsInterleaved | kAvifTrustCkType | (indexed ? kAvifHasIndex : 0));
    w.u32(first != nullptr ? first->frames : 0); // frames of the first part (old players)
    w.u32(0);                                    // initial frames
    w.u32(1);                                    // streams
    w.u32(frameBytes + kChunkHeaderBytes);       // suggested buffer
    w.u32(width);
    w.u32(height);
    w.zeros(16);

    w.fourcc("LIST");
    w.u32(strlBytes);
    w.fourcc("strl");

    w.fourcc("strh");
    w.u32(kStrhBytes);
    w.fourcc("iavs");
    w.fourcc("dvsd");
    w.u32(0);                                                   // flags
    w.u16(0);                                                   // priority
    w.u16(0);                                                   // language
    w.u32(0);                                                   // initial frames
    w.u32(pal ? 1 : 1001);                                      // scale
    w.u32(pal ? 25 : 30000);                                    // rate
    w.u32(0);                                                   // start
    w.u32(finished_ ? static_cast<uint32_t>(totalFrames_) : 0); // length
    w.u32(frameBytes);                                          // suggested buffer
    w.u32(0xFFFFFFFFu);                                         // quality: default
    w.u32(0);                                                   // sample size: frames vary
    w.u16(0);                                                   // rcFrame
    w.u16(0);
    w.u16(static_cast<uint16_t>(width));
    w.u16(static_cast<uint16_t>(height));

    w.fourcc("strf");
    w.u32(kStrfBytes);
    w.bytes(dvinfo_);

    // The super index: one entry per part, each naming that part's ix00 chunk.
    w.fourcc("indx");
    w.u32(indxBytes);
    w.u16(4);                                                    // longs per entry
    w.u8(0);                                                     // sub-type
    w.u8(0);                                                     // AVI_INDEX_OF_INDEXES
    w.u32(finished_ ? static_cast<uint32_t>(parts_.size()) : 0); // entries in use
    w.fourcc("00db");
    w.zeros(12);
    for (uint32_t i = 0; i < superEntries_; ++i) {
        if (finished_ && i < parts_.size()) {
            w.u64(parts_[i].ixOffset);
            w.u32(parts_[i].ixBytes);
            w.u32(parts_[i].frames);
        } else {
            w.zeros(kIndxEntryBytes);
        }
    }

    w.fourcc("LIST");
    w.u32(odmlBytes);
    w.fourcc("odml");
    w.fourcc("dmlh");
    w.u32(kDmlhBytes);
    w.u32(finished_ ? static_cast<uint32_t>(totalFrames_) : 0);
    w.zeros(kDmlhBytes - 4);

    w.fourcc("LIST");
    w.u32(first != nullptr ? first->moviBytes : 0);
    w.fourcc("movi");
}

bool TDVType1AviWriter::append(std::span<const uint8_t> bytes) {
    if (!sink_.Append(bytes)) {
        failed_ = true;
        return false;
    }
    position_ += bytes.size();
    return true;
}

bool TDVType1AviWriter::overwrite32(uint64_t offset, uint32_t value) {
    const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    if (!sink_.Overwrite(offset, b)) {
        failed_ = true;
        return false;
    }
    return true;
}

TDVType1AviWriter::Result TDVType1AviWriter::fail() {
    failed_ = true;
    return Result::WriteFailed;
}

bool TDVType1AviWriter::start(DvFrame first) {
    if (!first.empty()) {
        system_ = first.size() == kDv625FrameBytes ? DvAviSystem::Pal625 : DvAviSystem::Ntsc525;
        dvinfo_ = DVInfoFromFrame(first);
    }
    frameBytes_ = FrameBytes(system_);
    // The index tables for the most frames one part can hold, once.
    const uint64_t perPart = riffLimit_ / (frameBytes_ + kChunkHeaderBytes) + 1;
    frameOffsets_.reserve(static_cast<std::size_t>(perPart));
    parts_.reserve(superEntries_);
    scratch_.reserve(std::max<std::size_t>(
        headerBytes(), kChunkHeaderBytes + kIdx1EntryBytes * static_cast<std::size_t>(perPart)));

    buildHeader(scratch_);
    if (!append(scratch_)) {
        return false;
    }
    partOpen_ = true;
    riffOffset_ = 0;
    moviOffset_ = position_ - kListHeaderBytes;
    return true;
}

bool TDVType1AviWriter::openPart() {
    scratch_.clear();
    LeWriter w(scratch_);
    w.fourcc("RIFF");
    w.u32(0);
    w.fourcc("AVIX");
    w.fourcc("LIST");
    w.u32(0);
    w.fourcc("movi");
    const uint64_t at = position_;
    if (!append(scratch_)) {
        return false;
    }
    partOpen_ = true;
    riffOffset_ = at;
    moviOffset_ = at + kListHeaderBytes;
    return true;
}

uint64_t TDVType1AviWriter::partBytesWith(std::size_t frames) const {
    uint64_t bytes = (moviOffset_ - riffOffset_) + kListHeaderBytes +
                     frames * (kChunkHeaderBytes + frameBytes_) + kChunkHeaderBytes +
                     kIxHeaderBytes + kIxEntryBytes * frames;
    if (parts_.empty()) {
        bytes += kChunkHeaderBytes + kIdx1EntryBytes * frames;
    }
    return bytes;
}

bool TDVType1AviWriter::closePart() {
    const bool firstPart = parts_.empty();
    const auto frames = static_cast<uint32_t>(frameOffsets_.size());
    const uint32_t ixBytes = kChunkHeaderBytes + kIxHeaderBytes + kIxEntryBytes * frames;

    // The standard index closes the movi list; its offsets point at the frame data, from the
    // movi list header.
    scratch_.clear();
    LeWriter w(scratch_);
    w.fourcc("ix00");
    w.u32(ixBytes - kChunkHeaderBytes);
    w.u16(2);
    w.u8(0);
    w.u8(1); // AVI_INDEX_OF_CHUNKS
    w.u32(frames);
    w.fourcc("00db");
    w.u64(moviOffset_);
    w.u32(0);
    for (uint32_t offset : frameOffsets_) {
        w.u32(offset + kChunkHeaderBytes);
        w.u32(static_cast<uint32_t>(frameBytes_)); // bit 31 clear: every DV frame is a key frame
    }
    const uint64_t ixOffset = position_;
    if (!append(scratch_)) {
        return false;
    }
    const auto moviBytes = static_cast<uint32_t>(position_ - (moviOffset_ + kChunkHeaderBytes));

    if (firstPart) {
        // The legacy index, offsets from the 'movi' list type.
        scratch_.clear();
        w.fourcc("idx1");
        w.u32(kIdx1EntryBytes * frames);
        for (uint32_t offset : frameOffsets_) {
            w.fourcc("00db");
            w.u32(kAviifKeyframe);
            w.u32(offset - kChunkHeaderBytes);
            w.u32(static_cast<uint32_t>(frameBytes_));
        }
        if (!append(scratch_)) {
            return false;
        }
    }
    const auto riffBytes = static_cast<uint32_t>(position_ - (riffOffset_ + kChunkHeaderBytes));
    // The first part's sizes are written with the final header; the extension parts are
    // complete as soon as they are closed.
    if (!firstPart &&
        (!overwrite32(moviOffset_ + 4, moviBytes) || !overwrite32(riffOffset_ + 4, riffBytes))) {
        return false;
    }
    parts_.push_back(Part{ixOffset, ixBytes, frames, riffBytes, moviBytes});
    frameOffsets_.clear();
    partOpen_ = false;
    return true;
}

TDVType1AviWriter::Result TDVType1AviWriter::WriteFrame(DvFrame frame) {
    if (finished_) {
        return Result::Finished;
    }
    if (failed_) {
        return Result::WriteFailed;
    }
    if (frameBytes_ == 0) {
        if (frame.size() != kDv625FrameBytes && frame.size() != kDv525FrameBytes) {
            return Result::WrongFrameSize;
        }
        if (!start(frame)) {
            return fail();
        }
    } else if (frame.size() != frameBytes_) {
        return Result::WrongFrameSize;
    }

    if (!frameOffsets_.empty() && partBytesWith(frameOffsets_.size() + 1) > riffLimit_) {
        // The part closing takes one super index entry and the new one needs another.
        if (parts_.size() + 2 > superEntries_) {
            return Result::FileFull;
        }
        if (!closePart() || !openPart()) {
            return fail();
        }
    }

    const uint8_t header[8] = {'0',
                               '0',
                               'd',
                               'b',
                               static_cast<uint8_t>(frameBytes_),
                               static_cast<uint8_t>(frameBytes_ >> 8),
                               static_cast<uint8_t>(frameBytes_ >> 16),
                               static_cast<uint8_t>(frameBytes_ >> 24)};
    const auto offset = static_cast<uint32_t>(position_ - moviOffset_);
    // DV frames have an even size: no pad byte.
    if (!append(header) || !append(frame)) {
        return fail();
    }
    frameOffsets_.push_back(offset);
    ++totalFrames_;
    return Result::Ok;
}

TDVType1AviWriter::Result TDVType1AviWriter::Salvage() {
    if (finished_) {
        return Result::Finished;
    }
    if (frameBytes_ == 0) {
        return Result::WriteFailed; // not even the header was written
    }
    const uint64_t onDisk = sink_.Committed();
    if (onDisk == UINT64_MAX || onDisk < moviOffset_ + kListHeaderBytes) {
        return Result::WriteFailed;
    }
    uint64_t end = moviOffset_ + kListHeaderBytes;
    std::size_t whole = 0;
    if (partOpen_) {
        while (whole < frameOffsets_.size() &&
               moviOffset_ + frameOffsets_[whole] + kChunkHeaderBytes + frameBytes_ <= onDisk) {
            ++whole;
        }
        if (whole > 0) {
            end = moviOffset_ + frameOffsets_[whole - 1] + kChunkHeaderBytes + frameBytes_;
        }
    } else {
        // Failed while opening a part: the closed parts are whole, the new one goes.
        end = riffOffset_;
    }
    if (!sink_.Truncate(end)) {
        return Result::WriteFailed;
    }
    totalFrames_ -= frameOffsets_.size() - whole;
    frameOffsets_.resize(whole);
    position_ = end;
    if (partOpen_) {
        const auto riffBytes = static_cast<uint32_t>(end - (riffOffset_ + kChunkHeaderBytes));
        const auto moviBytes = static_cast<uint32_t>(end - (moviOffset_ + kChunkHeaderBytes));
        if (parts_.empty()) {
            firstSalvaged_ = true;
            salvagedFirst_ = Part{0, 0, static_cast<uint32_t>(whole), riffBytes, moviBytes};
        } else if (!sink_.Overwrite(moviOffset_ + 4, Le32Bytes(moviBytes)) ||
                   !sink_.Overwrite(riffOffset_ + 4, Le32Bytes(riffBytes))) {
            return Result::WriteFailed;
        }
        partOpen_ = false;
    }
    finished_ = true;
    buildHeader(scratch_);
    if (!sink_.Overwrite(0, scratch_)) {
        finished_ = false;
        return Result::WriteFailed;
    }
    return Result::Ok;
}

TDVType1AviWriter::Result TDVType1AviWriter::Finish() {
    if (finished_) {
        return Result::Finished;
    }
    if (failed_) {
        return Result::WriteFailed;
    }
    if (frameBytes_ == 0 && !start({})) {
        return fail();
    }
    if (partOpen_ && !closePart()) {
        return fail();
    }
    finished_ = true;
    buildHeader(scratch_);
    if (!sink_.Overwrite(0, scratch_)) {
        finished_ = false;
        return fail();
    }
    return Result::Ok;
}

} // namespace vidorel

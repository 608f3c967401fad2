#include "files/AviFixup.h"

#include "platform/SafeOpen.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace vidorel {

namespace {

// fccHandler is at byte 4 of a stream header; biCompression at byte 16 of a BITMAPINFOHEADER.
constexpr uint64_t kHandlerField = 4;
constexpr uint64_t kCompressionField = 16;

bool SameTag(const FourCC& tag, const char* want) {
    for (int i = 0; i < 4; ++i) {
        if (std::toupper(static_cast<unsigned char>(tag[i])) !=
            std::toupper(static_cast<unsigned char>(want[i]))) {
            return false;
        }
    }
    return true;
}

bool Matches(const FourCC& tag, TAviFixup fix) {
    if (fix == TAviFixup::DvsdHandler) {
        return SameTag(tag, "dvsd");
    }
    for (const char* t : {"DIVX", "FMP4", "XVID", "DX50", "MP4V"}) {
        if (SameTag(tag, t)) {
            return true;
        }
    }
    return false;
}

} // namespace

int ApplyAviFixup(const std::string& fileName, TAviFixup fix) {
    UniqueFd fd(OpenRegularFile(fileName, O_RDWR));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        return -1;
    }
    const RiffScanner scanner(FileReader(fd.get()), static_cast<uint64_t>(st.st_size));
    std::vector<uint64_t> fields;
    bool avi = false;
    bool videoStream = false; // the last stream header was a video one
    scanner.Walk([&](const RiffChunk& c) {
        if (c.isList) {
            // The first part says what the file is; OpenDML's further parts are "AVIX".
            if (c.depth == 0 && c.headerOffset == 0) {
                avi = IsFourCC(c.listType, "AVI ");
            }
            return IsFourCC(c.listType, "movi") ? RiffVisit::Skip : RiffVisit::Descend;
        }
        FourCC tag{};
        if (IsFourCC(c.id, "strh") && c.dataBytes >= kHandlerField + 4) {
            FourCC type{};
            videoStream = scanner.ReadData(c, 0, type.data(), 4) == 4 && IsFourCC(type, "vids");
            if (videoStream && scanner.ReadData(c, kHandlerField, tag.data(), 4) == 4 &&
                Matches(tag, fix)) {
                fields.push_back(c.dataOffset + kHandlerField);
            }
        } else if (IsFourCC(c.id, "strf") && videoStream && c.dataBytes >= kCompressionField + 4 &&
                   scanner.ReadData(c, kCompressionField, tag.data(), 4) == 4 &&
                   Matches(tag, fix)) {
            fields.push_back(c.dataOffset + kCompressionField);
        }
        return RiffVisit::Skip;
    });
    if (!avi) {
        return -1;
    }
    const char* value = fix == TAviFixup::DvsdHandler ? "dvsd" : "XVID";
    for (uint64_t at : fields) {
        if (::pwrite(fd.get(), value, 4, static_cast<off_t>(at)) != 4) {
            return -1;
        }
    }
    return fd.close() == 0 ? static_cast<int>(fields.size()) : -1;
}

} // namespace vidorel

#include "files/fpsunit.h"

#include "platform/SafeOpen.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <utility>

namespace vidorel {

namespace {

constexpr uint32_t kRate = 1000000;
constexpr uint64_t kScaleField = 20;
// dwScale and dwRate end at byte 28 of the stream header.
constexpr uint64_t kMinPatchableHeader = 28;

} // namespace

std::optional<uint64_t> ScanAviChunks(const RiffScanner& scanner) {
    std::optional<uint64_t> scaleOffset;
    scanner.Walk([&](const RiffChunk& c) {
        if (c.isList) {
            // The media data is never read: it is most of the file.
            return IsFourCC(c.listType, "movi") ? RiffVisit::Skip : RiffVisit::Descend;
        }
        if (IsFourCC(c.id, "strh") && c.dataBytes >= kMinPatchableHeader &&
            c.declaredSize >= kMinPatchableHeader) {
            FourCC type{};
            if (scanner.ReadData(c, 0, type.data(), 4) == 4 &&
                (IsFourCC(type, "vids") || IsFourCC(type, "iavs"))) {
                scaleOffset = c.dataOffset + kScaleField;
            }
        }
        return RiffVisit::Skip;
    });
    return scaleOffset;
}

std::optional<uint64_t> ScanAviChunks(const std::string& fileName) {
    // Never blocks on a FIFO or a device named like a capture.
    UniqueFd fd(OpenRegularFile(fileName, O_RDONLY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        return std::nullopt;
    }
    return ScanAviChunks(RiffScanner(FileReader(fd.get()), static_cast<uint64_t>(st.st_size)));
}

std::optional<uint32_t> AviScaleForFrameRate(double fps) {
    if (!std::isfinite(fps) || fps <= 0) {
        return std::nullopt;
    }
    // nearbyint rounds half to even in the default rounding mode.
    const double scale = std::nearbyint(1000000.0 / fps);
    if (!(scale >= 1 && scale <= 4294967295.0)) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(scale);
}

bool PatchAviFrameRate(const std::string& fileName, double fps) {
    const std::optional<uint32_t> scale = AviScaleForFrameRate(fps);
    if (!scale) {
        return false;
    }
    const std::optional<uint64_t> offset = ScanAviChunks(fileName);
    if (!offset) {
        return false;
    }
    UniqueFd fd(OpenRegularFile(fileName, O_WRONLY));
    if (fd.get() < 0) {
        return false;
    }
    uint8_t fields[8];
    for (int i = 0; i < 4; ++i) {
        fields[i] = static_cast<uint8_t>(*scale >> (8 * i));
        fields[4 + i] = static_cast<uint8_t>(kRate >> (8 * i));
    }
    const ssize_t n = ::pwrite(fd.get(), fields, sizeof fields, static_cast<off_t>(*offset));
    return n == static_cast<ssize_t>(sizeof fields) && fd.close() == 0;
}

} // namespace vidorel

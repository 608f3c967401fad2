#include "files/ecrire_scnUnit.h"

#include "platform/SafeOpen.h"

#include <sys/stat.h>

#include <cstring>

namespace vidorel {

namespace {

void put(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
    out.insert(out.end(), bytes);
}

void putText(std::vector<uint8_t>& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put(out, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
              static_cast<uint8_t>(v >> 24)});
}

void putName(std::vector<uint8_t>& out, const std::string& name) {
    out.push_back(static_cast<uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
}

bool writeAll(std::FILE* f, const std::vector<uint8_t>& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

} // namespace

std::vector<uint8_t> SceneFileHeader(const std::string& name) {
    std::vector<uint8_t> out;
    put(out, {0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00});
    putText(out, "SourceTape");
    putName(out, name);
    put(out, {0, 0, 0, 0, 0, 0, 0, 0});
    put(out, {0, 0}); // scene count, filled in when the file is closed
    put(out, {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00});
    putText(out, "ClipP");
    put(out, {0, 0, 0});
    put(out, {0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00});
    putText(out, "Scene");
    put(out, {0, 0, 0, 0, 0});
    return out;
}

std::vector<uint8_t> FirstSceneBlock(const std::string& name, uint32_t next) {
    std::vector<uint8_t> out;
    put32(out, next);
    put(out, {0, 0, 0, 0, 0x01, 0x80});
    putName(out, name);
    put(out, {0, 0, 0, 0, 0, 0, 0, 0});
    put32(out, next);
    return out;
}

std::vector<uint8_t> FurtherSceneBlock(uint32_t first, uint32_t length) {
    std::vector<uint8_t> out;
    put(out, {0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00});
    put32(out, first);
    put32(out, length);
    put(out, {0, 0, 0, 0, 0x07, 0x00});
    put32(out, first);
    put32(out, length);
    put32(out, first);
    return out;
}

TSceneFileWriter::~TSceneFileWriter() {
    CloseSceneFile();
}

bool TSceneFileWriter::OpenSceneFile(const std::string& fileName) {
    CloseSceneFile();
    std::lock_guard lock(mutex_);
    sceneFileName_ = fileName;
    sceneCount_ = 0;
    if (fileName.empty() || fileName.size() > kMaxSceneFileNameBytes) {
        return false;
    }
    // A FIFO or a device with the scene file's name would block or swallow the index, and a
    // link planted there would have the index overwrite its target: only a regular file.
    const int fd = OpenRegularFile(fileName, O_WRONLY | O_CREAT | O_TRUNC);
    std::unique_ptr<std::FILE, FileCloser> file(fd >= 0 ? ::fdopen(fd, "wb") : nullptr);
    if (!file) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    if (!writeAll(file.get(), SceneFileHeader(fileName)) || std::fflush(file.get()) != 0) {
        // Only a regular file that this call created is taken away again, never a device.
        struct stat st {};
        const bool regular = ::fstat(fileno(file.get()), &st) == 0 && S_ISREG(st.st_mode);
        file.reset();
        if (regular) {
            std::remove(fileName.c_str());
        }
        return false;
    }
    sceneCountPos_ = SceneCountPosition(fileName);
    sceneStream_ = std::move(file);
    return true;
}

void TSceneFileWriter::WriteScene(const TDVFrameInfo& start, const TDVFrameInfo& next) noexcept {
    try {
        std::lock_guard lock(mutex_);
        const uint32_t first = start.FrameNumber + 1;
        const uint32_t following = next.FrameNumber + 1;
        if (!sceneStream_ || sceneCount_ >= kMaxScenes) {
            return;
        }
        sceneCount_ += 1;
        const std::vector<uint8_t> block = sceneCount_ == 1
                                               ? FirstSceneBlock(sceneFileName_, following)
                                               : FurtherSceneBlock(first, following - first + 1);
        // Flushed per scene so the scenes written so far survive a crash of the capture.
        writeAll(sceneStream_.get(), block);
        std::fflush(sceneStream_.get());
    } catch (...) {
        // Allocation failure: the scene is lost, the capture goes on.
    }
}

void TSceneFileWriter::CloseSceneFile() noexcept {
    std::lock_guard lock(mutex_);
    if (!sceneStream_) {
        return;
    }
    const uint8_t count[2] = {static_cast<uint8_t>(sceneCount_),
                              static_cast<uint8_t>(sceneCount_ >> 8)};
    if (std::fseek(sceneStream_.get(), static_cast<long>(sceneCountPos_), SEEK_SET) == 0) {
        std::fwrite(count, 1, sizeof count, sceneStream_.get());
    }
    sceneStream_.reset();
}

bool TSceneFileWriter::SceneFileOpen() const {
    std::lock_guard lock(mutex_);
    return sceneStream_ != nullptr;
}

uint32_t TSceneFileWriter::SceneCount() const {
    std::lock_guard lock(mutex_);
    return sceneCount_;
}

TSceneCallback TSceneFileWriter::SceneCallback() {
    return [this](const TDVFrameInfo& start, const TDVFrameInfo& next) { WriteScene(start, next); };
}

} // namespace vidorel

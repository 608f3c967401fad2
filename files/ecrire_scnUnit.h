#pragma once

// The scene index file (".scn") written next to a DV capture while it runs: a header when the
// capture starts, one block per scene as the scene detector reports it, the scene count when the
// capture stops. The byte layout is fixed by the companion program that reads it.
//
// Threads: OpenSceneFile and CloseSceneFile run on the UI thread, WriteScene on the DV streaming
// thread (and once more on the UI thread while the graph stops). The controller never lets them
// overlap; the writer still serialises them on its own mutex so a misuse cannot corrupt the file.
// No error leaves WriteScene: a failed write is swallowed and the scene counted all the same.

#include "filters/dvcodes.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vidorel {

// L is one byte: longer paths cannot be represented.
inline constexpr std::size_t kMaxSceneFileNameBytes = 255;
inline constexpr uint32_t kMaxScenes = 32768;

// The pure format, for the writer and for tests.
std::vector<uint8_t> SceneFileHeader(const std::string& name);
std::vector<uint8_t> FirstSceneBlock(const std::string& name, uint32_t next);
std::vector<uint8_t> FurtherSceneBlock(uint32_t first, uint32_t length);
inline std::size_t SceneCountPosition(const std::string& name) {
    return 33 + name.size();
}

class TSceneFileWriter {
public:
    TSceneFileWriter() = default;
    ~TSceneFileWriter();
    TSceneFileWriter(const TSceneFileWriter&) = delete;
    TSceneFileWriter& operator=(const TSceneFileWriter&) = delete;

    // Creates (or truncates) the file and writes its header. False, with no file left behind,
    // when the path is 256 bytes or longer or the file cannot be created or written. A file still
    // open from before is closed first.
    bool OpenSceneFile(const std::string& fileName);
    // Has the shape of TSceneCallback; see SceneCallback().
    void WriteScene(const TDVFrameInfo& start, const TDVFrameInfo& next) noexcept;
    // Fills in the scene count and closes the file; nothing when no file is open.
    void CloseSceneFile() noexcept;

    bool SceneFileOpen() const;
    uint32_t SceneCount() const;
    const std::string& SceneFileName() const { return sceneFileName_; }
    // A callback for the scene detector that writes into this writer, which must outlive it.
    TSceneCallback SceneCallback();

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    mutable std::mutex mutex_;
    std::string sceneFileName_;
    uint32_t sceneCount_ = 0;                            // guarded by mutex_
    std::size_t sceneCountPos_ = 0;                      // guarded by mutex_
    std::unique_ptr<std::FILE, FileCloser> sceneStream_; // guarded by mutex_; none when closed
};

} // namespace vidorel

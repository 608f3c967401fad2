#pragma once

// An independent reading of an AVI file's structure, for checks that do not trust the writer's
// own code: every RIFF part, the frames really present in the "movi" lists, the index entries
// and the counts the headers claim.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vidorel::test {

struct AviSummary {
    bool readable = false; // starts with RIFF 'AVI ' and every part is whole
    uint64_t fileSize = 0;
    int riffParts = 0;            // 'AVI ' then 'AVIX' parts
    bool sizesConsistent = false; // each RIFF part's size covers exactly up to the next part
    bool hasIndexFlag = false;    // avih AVIF_HASINDEX
    uint32_t avihTotalFrames = 0;
    uint32_t strhLength = 0;      // of the first video (vids/iavs) stream
    uint32_t dmlhTotalFrames = 0; // OpenDML's count, 0 when absent
    uint64_t videoChunks = 0;     // '##db' / '##dc' chunks in every movi list
    uint64_t audioChunks = 0;     // '##wb'
    uint64_t idx1Entries = 0;
    std::string handler; // fccHandler of the first video stream
};

// The bytes of each video chunk ('##db' / '##dc'), in file order.
using VideoChunkVisitor = std::function<void(const uint8_t* data, uint64_t size)>;

AviSummary ReadAvi(const std::string& path, const VideoChunkVisitor& onVideo = {});

} // namespace vidorel::test

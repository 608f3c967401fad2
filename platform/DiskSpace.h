#pragma once

#include <cstdint>
#include <string>

namespace vidorel {

// Total free bytes of the file system holding `path` (not only what this user may use),
// 0 when it cannot be asked.
uint64_t DiskFreeBytes(const std::string& path);

} // namespace vidorel

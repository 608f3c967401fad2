#include "platform/DiskSpace.h"

#include <sys/statvfs.h>

namespace vidorel {

uint64_t DiskFreeBytes(const std::string& path) {
    struct statvfs st {};
    if (path.empty() || ::statvfs(path.c_str(), &st) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(st.f_bfree) * static_cast<uint64_t>(st.f_frsize);
}

} // namespace vidorel

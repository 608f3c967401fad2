#include "devices/FireWireAccess.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

namespace vidorel::devices {

namespace {

// Specifier id 0x00a02d (1394 Trade Association) with version 0x010001: an AV/C unit, as the
// node's "units" attribute lists it.
constexpr const char* kAvcUnit = "0x00a02d:0x010001";

int OpenProbe(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno;
    }
    ::close(fd);
    return 0;
}

std::mutex& RootsMutex() {
    static std::mutex m;
    return m;
}

FireWireRoots& Roots() {
    static FireWireRoots roots{.probe = OpenProbe};
    return roots;
}

std::string ReadAttribute(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

// "Sony DCR-TRV900" from the node's vendor and model, or "" when the ROM names neither.
std::string DeviceName(const std::filesystem::path& node) {
    const std::string vendor = ReadAttribute(node / "vendor_name");
    const std::string model = ReadAttribute(node / "model_name");
    if (vendor.empty() || model.empty()) {
        return vendor + model;
    }
    return vendor + " " + model;
}

std::string GroupName(gid_t gid) {
    // getgrgid_r: the window and the device monitor may both ask.
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->gr_name;
    }
    return std::to_string(gid);
}

std::string Sentence(const std::string& name, const std::string& node) {
    struct stat st {};
    const bool grouped = ::stat(node.c_str(), &st) == 0 && st.st_gid != 0;
    const std::string what = name.empty()
                                 ? "The FireWire camcorder " + node
                                 : "The FireWire camcorder \"" + name + "\" (" + node + ")";
    if (grouped) {
        // The node already belongs to a group (the udev rule applied): joining it is enough.
        const std::string group = GroupName(st.st_gid);
        return what + " cannot be opened: permission denied. Join the group \"" + group +
               "\" (sudo adduser $USER " + group + "), then log out and in again.";
    }
    return what + " cannot be opened: permission denied. Install the FireWire rule of the " +
           "package (60-vidorel-firewire.rules, in /etc/udev/rules.d for a copy built by " +
           "hand), join the group \"" + kFireWireGroup + "\" (sudo adduser $USER " +
           kFireWireGroup + "), then log out and in again.";
}

} // namespace

void SetFireWireRoots(FireWireRoots roots) {
    if (!roots.probe) {
        roots = FireWireRoots{.probe = OpenProbe};
    }
    std::lock_guard lock(RootsMutex());
    Roots() = std::move(roots);
}

std::vector<std::string> FireWireAccessProblems() {
    FireWireRoots roots;
    {
        std::lock_guard lock(RootsMutex());
        roots = Roots();
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> nodes;
    for (fs::directory_iterator it(roots.sysfsDevices, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string leaf = it->path().filename().string();
        // "fw1" is a node; "fw1.0" one of its units, listed by the node already.
        if (leaf.rfind("fw", 0) == 0 && leaf.find('.') == std::string::npos) {
            nodes.push_back(it->path());
        }
    }
    // In bus order, so the report reads the same at every start.
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> problems;
    for (const fs::path& node : nodes) {
        if (ReadAttribute(node / "units").find(kAvcUnit) == std::string::npos) {
            continue;
        }
        const std::string dev = (fs::path(roots.devFolder) / node.filename()).string();
        const int error = roots.probe(dev);
        if (error != EACCES && error != EPERM) {
            // Opened, or gone since the listing (unplugged): nothing the user can mend.
            continue;
        }
        problems.push_back(Sentence(DeviceName(node), dev));
    }
    return problems;
}

} // namespace vidorel::devices

#include "platform/UserDirs.h"

#include "platform/SafeOpen.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace vidorel {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

std::string configHome() {
    const std::string x = env("XDG_CONFIG_HOME");
    return !x.empty() && x[0] == '/' ? x : HomeFolder() + "/.config";
}

// Reads one entry of user-dirs.dirs; its value is a quoted path that may start with $HOME.
std::string userDir(const std::string& key, const std::string& fallback) {
    // Read at start-up on the window's thread: never block on a FIFO in its place.
    std::string text;
    if (!ReadSmallRegularFile(configHome() + "/user-dirs.dirs", text)) {
        return fallback;
    }
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) != 0) {
            continue;
        }
        std::string v = line.substr(key.size() + 1);
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
            v = v.substr(1, v.size() - 2);
        }
        if (v.rfind("$HOME", 0) == 0) {
            v = HomeFolder() + v.substr(5);
        }
        while (v.size() > 1 && v.back() == '/') {
            v.pop_back();
        }
        // The desktop writes "$HOME/" for a folder it disabled; that means the home itself.
        if (!v.empty() && v[0] == '/') {
            return v;
        }
    }
    return fallback;
}

} // namespace

std::string HomeFolder() {
    std::string h = env("HOME");
    while (h.size() > 1 && h.back() == '/') {
        h.pop_back();
    }
    return h.empty() ? std::string("/") : h;
}

// Videos and pictures fall back to the documents folder, and that to the home folder.
std::string UserDocumentsFolder() {
    return userDir("XDG_DOCUMENTS_DIR", HomeFolder());
}
std::string UserVideosFolder() {
    return userDir("XDG_VIDEOS_DIR", UserDocumentsFolder());
}
std::string UserPicturesFolder() {
    return userDir("XDG_PICTURES_DIR", UserDocumentsFolder());
}

std::string UserDataFolder() {
    const std::string x = env("XDG_DATA_HOME");
    return !x.empty() && x[0] == '/' ? x : HomeFolder() + "/.local/share";
}

std::string ExecutablePath() {
    std::error_code ec;
    const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

std::string ExecutableFolder() {
    const std::string exe = ExecutablePath();
    return exe.empty() ? std::string(".") : std::filesystem::path(exe).parent_path().string();
}

std::string InstalledPluginPathFromBin() {
    return VIDOREL_PLUGIN_DIR_FROM_BIN;
}

std::string DefaultPluginFolder(const std::string& executableFolder, const std::string& fromBin) {
    if (!fromBin.empty()) {
        // Relative to the executable, so a copy installed under any prefix (or moved with its
        // prefix) finds its own plug-ins and never another copy's.
        std::error_code ec;
        const auto installed =
            (std::filesystem::path(executableFolder) / fromBin).lexically_normal();
        if (std::filesystem::is_directory(installed, ec)) {
            std::string folder = installed.string();
            while (folder.size() > 1 && folder.back() == '/') {
                folder.pop_back();
            }
            return folder;
        }
    }
    return executableFolder;
}

} // namespace vidorel

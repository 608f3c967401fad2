#include "sources/SourceNames.h"

#include "devices/DeviceKind.h"

#include <algorithm>

namespace vidorel {

std::string NumberingKey(uint8_t kind, const std::string& friendlyName) {
    return kind == devices::kKindDV ? std::string(kDVSourceName) : friendlyName;
}

std::string DeviceDisplayName(uint8_t kind, const std::string& baseName, int number) {
    std::string name = kind == devices::kKindDV ? std::string(kDVSourceName) : baseName;
    if (number >= 2) {
        name += " #" + std::to_string(number);
    }
    return name;
}

std::string VideoStreamName(const std::string& deviceName, int n, bool deviceHasAudio) {
    if (n >= 2) {
        return deviceName + " #" + std::to_string(n);
    }
    return deviceHasAudio ? deviceName + " - Video" : deviceName;
}

std::string AudioStreamName(const std::string& deviceName, int n, bool deviceHasVideo) {
    if (n >= 2) {
        return deviceName + "#" + std::to_string(n);
    }
    return deviceHasVideo ? deviceName + " - Audio" : deviceName;
}

std::string UniqueStreamName(const std::string& name, const std::vector<std::string>& taken) {
    auto used = [&](const std::string& n) {
        return std::find(taken.begin(), taken.end(), n) != taken.end();
    };
    if (!used(name)) {
        return name;
    }
    for (int k = 2;; ++k) {
        std::string candidate = name + " (" + std::to_string(k) + ")";
        if (!used(candidate)) {
            return candidate;
        }
    }
}

std::vector<std::string> ParseExcludedNames(const std::string& stored) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < stored.size()) {
        size_t end = stored.find("\r\n", start);
        if (end == std::string::npos) {
            end = stored.size();
        }
        std::string name = stored.substr(start, end - start);
        // A store edited by hand may hold bare LFs; a name never ends with CR or LF.
        while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) {
            name.pop_back();
        }
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
        start = end + 2;
    }
    return names;
}

std::string FormatExcludedNames(const std::vector<std::string>& names) {
    std::string s;
    for (const auto& n : names) {
        s += n + "\r\n";
    }
    return s;
}

} // namespace vidorel

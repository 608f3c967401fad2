#include "app/OutputNames.h"

#include "settings/Preferences.h"

#include <cstdio>

namespace vidorel {

namespace {

std::string TwoDigits(int v) {
    const std::string s = "00" + std::to_string(v);
    return s.substr(s.size() - 2);
}

} // namespace

std::string DateTimeNamePart(TDateTime startup) {
    const DecodedDateTime d = DecodeDateTime(startup);
    return TwoDigits(d.day) + TwoDigits(d.month) + TwoDigits(d.year) + "_" + TwoDigits(d.hour) +
           TwoDigits(d.minute) + TwoDigits(d.second) + "_";
}

namespace {

// Folder (with its "/"), root, "_" and the date part when asked: what every name starts with.
std::string NameStem(const std::string& folder, const std::string& root, bool withDate,
                     TDateTime startup) {
    std::string name = folder;
    if (name.empty() || name.back() != '/') {
        name += '/';
    }
    name += root + "_";
    if (withDate) {
        name += DateTimeNamePart(startup);
    }
    return name;
}

} // namespace

std::string VideoFileName(const std::string& folder, const std::string& root, bool withDate,
                          TDateTime startup, int counter, TCaptureFormat format) {
    return NameStem(folder, root, withDate, startup) + std::to_string(counter) +
           CaptureFormatExtension(format);
}

std::string ImageFileName(const std::string& folder, const std::string& root, bool withDate,
                          TDateTime startup, int counter, bool jpeg) {
    const std::string name = NameStem(folder, root, withDate, startup);
    // Five digits: the counter's last five, so 100000 gives 00000 again.
    const std::string digits = "00000" + std::to_string(counter);
    return name + digits.substr(digits.size() - 5) + (jpeg ? ".jpg" : ".bmp");
}

std::string PieceFileName(const std::string& given, int k) {
    const size_t slash = given.find_last_of('/');
    const size_t dot = given.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
                        dot != (slash == std::string::npos ? 0 : slash + 1);
    if (!hasExt) {
        return given + "-" + std::to_string(k);
    }
    return given.substr(0, dot) + "-" + std::to_string(k) + given.substr(dot);
}

} // namespace vidorel

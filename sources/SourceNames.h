#pragma once

// The naming and numbering rules of devices and streams, apart from any device.

#include <cstdint>
#include <string>
#include <vector>

namespace vidorel {

inline constexpr const char* kDVSourceName = "DV Source";

// The key devices are numbered by: DV devices are numbered among all DV devices (they all
// show as "DV Source", so numbering by friendly name would give two camcorders one name).
std::string NumberingKey(uint8_t kind, const std::string& friendlyName);

// Base name (friendly name, "DV Source" for DV) followed by " #n" from the second on.
std::string DeviceDisplayName(uint8_t kind, const std::string& baseName, int number);

// "Name - Video" when the device also has audio; "Name #n" for streams 2 and up.
std::string VideoStreamName(const std::string& deviceName, int n, bool deviceHasAudio);
// "Name - Audio" when the device also has video; "Name#n" (no blank) for streams 2 and up.
std::string AudioStreamName(const std::string& deviceName, int n, bool deviceHasVideo);

// `name` if no entry of `taken` has it, else `name` + " (k)" with the smallest free k >= 2:
// names that do not collide stay exactly as the rules give them.
std::string UniqueStreamName(const std::string& name, const std::vector<std::string>& taken);

// The excluded names of the stored exclusion list: each followed by CR LF.
std::vector<std::string> ParseExcludedNames(const std::string& stored);
std::string FormatExcludedNames(const std::vector<std::string>& names);

} // namespace vidorel

#pragma once

// Why a DV camcorder on FireWire is missing from the lists when it is plugged in: its device
// node exists but the user may not open it. The kernel lists every FireWire node in sysfs with
// the units it carries; the AV/C units (camcorders, decks) are the ones the capture needs, and
// without the permission libraw1394 silently finds nothing. This turns that silence into a
// sentence that names the group to join.

#include <functional>
#include <string>
#include <vector>

namespace vidorel::devices {

// The group the installed udev rule gives AV/C nodes to.
constexpr const char* kFireWireGroup = "video";

struct FireWireRoots {
    std::string sysfsDevices = "/sys/bus/firewire/devices";
    std::string devFolder = "/dev";
    // Tries to open a node for reading and writing, as libraw1394 does; the errno, 0 when it
    // opens. The default really opens it.
    std::function<int(const std::string& node)> probe;
};

// The roots every later call uses (tests point them at a tree of their own); the default roots
// when given an empty probe.
void SetFireWireRoots(FireWireRoots roots);

// One sentence per AV/C node that exists but cannot be opened for lack of permission, in bus
// order; empty when every camcorder can be reached (or there is none, or no FireWire at all).
std::vector<std::string> FireWireAccessProblems();

} // namespace vidorel::devices

#pragma once

// The virtual devices that make the program usable and testable without capture hardware, and
// the FireWire DV units, both offered to GstDeviceMonitor by our own device providers.

#include "devices/TapeDeck.h"

#include <gst/gst.h>

#include <memory>
#include <string>
#include <vector>

namespace vidorel::devices {

inline constexpr const char* kTestPatternName = "Vidorel Test Pattern";
inline constexpr const char* kTestToneName = "Vidorel Test Tone";
inline constexpr const char* kTestDeckName = "Vidorel DV Test Deck";
inline constexpr const char* kMpegCardName = "Vidorel MPEG Encoder Card";
// Property of our devices: the identity they keep across enumerations.
inline constexpr const char* kDevicePathProperty = "device.path";
inline constexpr const char* kDeviceApiProperty = "device.api";

// MpegCard: a card whose only output is its encoder's MPEG stream; the program cannot use it
// on its own, only through a plug-in that claims its name (the sample plug-in does).
enum class VirtualKind { TestPattern, TestTone, DvDeck, MpegCard };

struct VirtualDeviceInfo {
    std::string id; // unique; becomes the device's device.path
    std::string name;
    VirtualKind kind = VirtualKind::TestPattern;
    std::string tapePath; // DvDeck: raw DV file; empty: the generated test tape
};

// Registers the element and both device providers with GStreamer (idempotent); call after
// gst_init and before creating a device monitor.
void RegisterDeviceProviders();

// The folder whose "*.dv" files become decks: $XDG_DATA_HOME/vidorel/tapes.
std::string TapesFolder();

// Rescans the tapes folder and tells a running virtual provider which devices came and went.
void SyncVirtualDevices();
// A sentence for the user when the last rescan could not check some tapes for want of a
// resource (too many open files, no memory); empty otherwise.
std::string TapeScanProblem();

// Further virtual devices beside the standard ones (demonstrations, tests that need devices
// to come and go or to share a name). Returns the id; removing an unknown id does nothing.
std::string AddVirtualDevice(const std::string& name, VirtualKind kind,
                             const std::string& tapePath = {});
void RemoveVirtualDevice(const std::string& id);

// The virtual devices currently offered, in their listing order.
std::vector<VirtualDeviceInfo> VirtualDeviceInfos();

// The tape of a virtual deck by its id (one deck per device, kept across element rebuilds
// so that the tape position stays where it was); null when unknown or the tape is unusable.
std::shared_ptr<TTapeDeck> DeckForDevice(const std::string& id);

// The tape transport behind a source element, or null: a virtual deck's tape model, or the
// AV/C transport of the FireWire unit a dv1394src reads (found inside bins too).
std::shared_ptr<TTapeTransport> TransportOf(GstElement* source);

// The listing rank of a device among ours (virtual devices come after the real ones); -1 for
// devices that are not ours.
int VirtualOrderOf(GstDevice* device);

} // namespace vidorel::devices

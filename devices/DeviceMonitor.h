#pragma once

// The one enumeration of capture devices: GstDeviceMonitor on "Video/Source" and
// "Audio/Source" (V4L2, PipeWire, PulseAudio, ALSA and our own providers). Real devices are
// listed first in the monitor's order, the virtual ones after them in their own order.
// Device arrivals and departures reach the listener on the thread of its context object
// (the UI thread).

#include "platform/GstRef.h"

#include <gst/gst.h>

#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace vidorel::devices {

enum class DeviceCategory { Video, Audio };

struct DeviceEntry {
    GstRef<GstDevice> device;
    // Identity of the device across enumerations (what a moniker is to a device): the
    // device's class, name and properties.
    std::string moniker;
    std::string friendlyName;
    GstRef<GstCaps> caps;
    bool isVirtual = false;
};

// The moniker of a device (see DeviceEntry::moniker).
std::string MonikerOf(GstDevice* device);

class TDeviceMonitor {
public:
    enum class Change { Added, Removed };
    using Listener = std::function<void(Change, const DeviceEntry&)>;

    TDeviceMonitor();
    ~TDeviceMonitor();
    TDeviceMonitor(const TDeviceMonitor&) = delete;
    TDeviceMonitor& operator=(const TDeviceMonitor&) = delete;

    // Starts watching (registering our providers first); false, with a sentence in *error,
    // when the system cannot enumerate devices. Starting twice does nothing.
    bool Start(std::string* error);
    void Stop();

    // The devices of one category, in listing order; the tapes folder is rescanned first.
    std::vector<DeviceEntry> Devices(DeviceCategory category) const;

    // Calls `listener` on `context`'s thread for every device that comes or goes while
    // started; nothing is delivered after `context` is destroyed.
    void SetListener(QObject* context, Listener listener);

private:
    struct Shared;
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer data);
    GstRef<GstDeviceMonitor> monitor_;
    std::shared_ptr<Shared> shared_;
    bool started_ = false;
};

} // namespace vidorel::devices

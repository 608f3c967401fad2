#pragma once

// The device and stream model: capture devices (DV, video, audio), their streams, the two
// device lists refreshed from the one enumeration, the stream lists minus the excluded
// sources, and the graph points the device operations publish. Main (UI) thread only.

#include "devices/DeviceMonitor.h"
#include "devices/Transport.h"
#include "graph/FilterGraph.h"
#include "platform/GstRef.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vidorel {

// Graph points published by the device stream operations (main thread).
extern GstPadRef VideoPin;      // unlinked src pad: the open video stream, decoded
extern GstPadRef AudioPin;      // unlinked src pad: the open audio stream
extern GstElementRef NativeTee; // tee carrying the open video stream undecoded
extern bool HalfSizeDV;         // the DV decoder delivers half size
// The graph the devices build into; set by the owner of the graph before streams are opened.
extern TFilterGraph* SourceGraph;

class ICamcorderWindow; // sources/CamcorderBinding.h

class TCaptureDevice {
public:
    virtual ~TCaptureDevice();
    std::string DisplayName;
    std::string FriendlyName;
    int Number = 1;
    int VideoStreamCount = 0;
    int AudioStreamCount = 0;
    GstElementRef SourceFilter; // the device's source element, in the graph while attached
    bool Valid = false;
    uint8_t MuxedFormat = 0;
    uint8_t NativeFormat = 0;
    uint8_t Kind = 0;
    int Present = 0;
    devices::DeviceEntry Entry; // the enumerated device and its moniker

    virtual bool OpenVideoStream(int n) = 0;
    virtual bool OpenAudioStream(int n) = 0;
    virtual void CloseVideoStream() = 0;
    virtual void CloseAudioStream() = 0;
    virtual GstElement* AttachSource() = 0;
    virtual void DetachSource() = 0;
    virtual void StartNativeCapture(const std::string& fileName) = 0;
    virtual void StopNativeCapture() = 0;

    // The tape transport of the device's source, or null.
    std::shared_ptr<devices::TTapeTransport> Transport() const;

protected:
    TCaptureDevice(devices::DeviceEntry entry, int number, uint8_t kind);
    // Creates the device's source element (not in any graph); null when it cannot be bound.
    GstElementRef BindSource() const;
    // Puts the bound source alone into the graph unless it is there already (the video and
    // audio kinds need nothing more); null when it cannot be bound or added.
    GstElement* AttachBoundSource();
};

std::shared_ptr<TCaptureDevice> MakeCaptureDevice(uint8_t kind, devices::DeviceEntry entry,
                                                  int number);

class TavFlux {
public:
    virtual ~TavFlux() = default;
    bool HasTransport = false;
    ICamcorderWindow* CamForm = nullptr; // the camcorder window serving the stream, or none
    bool VcrMode = false;
    bool CameraMode = false;
    std::shared_ptr<TCaptureDevice> Device;
    int StreamNumber = 0;
    std::string DisplayName;
    bool Opened = false;
    uint8_t StreamKind = 0;

    TavFlux(std::shared_ptr<TCaptureDevice> device, int n)
        : Device(std::move(device)), StreamNumber(n) {}
};

class TVideoSource : public TavFlux {
public:
    // Null unless 1 <= n <= the device's video stream count.
    static std::shared_ptr<TVideoSource> Create(std::shared_ptr<TCaptureDevice> device, int n);
    using TavFlux::TavFlux;
};

class TAudioSource : public TavFlux {
public:
    static std::shared_ptr<TAudioSource> Create(std::shared_ptr<TCaptureDevice> device, int n);
    using TavFlux::TavFlux;
};

extern std::shared_ptr<TVideoSource> CurrentVideo;
extern std::shared_ptr<TAudioSource> CurrentAudio;

class TCaptureDeviceList {
public:
    explicit TCaptureDeviceList(devices::DeviceCategory category) : category_(category) {}
    // `beforeRemoval` sees each vanished device while it is still whole, so whoever built on
    // its streams (the preview branches) can take that down first; what is still open after
    // it is closed here.
    bool
    Refresh(const devices::TDeviceMonitor& monitor,
            const std::function<void(const std::shared_ptr<TCaptureDevice>&)>& beforeRemoval = {});
    // Smallest n >= 1 no device of the list with numbering key `key` has.
    int NextNumber(const std::string& key) const;
    int IndexOfMoniker(const std::string& moniker) const;
    int Count() const { return static_cast<int>(items_.size()); }
    std::shared_ptr<TCaptureDevice> operator[](int i) const;
    // For tests and the plug-in devices that come later: appends a constructed device.
    void Add(std::shared_ptr<TCaptureDevice> device) { items_.push_back(std::move(device)); }

private:
    devices::DeviceCategory category_;
    std::vector<std::shared_ptr<TCaptureDevice>> items_;
};

bool IsDeviceAlive(const TCaptureDevice& device);

// The exclusion list: (friendly name, included) in first-seen order.
using TExclusionList = std::vector<std::pair<std::string, bool>>;
TExclusionList LoadExclusions(const std::string& sourcesExclues);
std::string SaveExclusions(const TExclusionList& list);

struct TSourceLists {
    TCaptureDeviceList VideoDevices{devices::DeviceCategory::Video};
    TCaptureDeviceList AudioDevices{devices::DeviceCategory::Audio};
    std::vector<std::shared_ptr<TVideoSource>> VideoStreams;
    std::vector<std::shared_ptr<TAudioSource>> AudioStreams;
    TExclusionList Exclusions;
    // Called for a device that vanished, before it leaves its list (see Refresh).
    std::function<void(const std::shared_ptr<TCaptureDevice>&)> BeforeDeviceRemoval;
};

// Refreshes both device lists and rebuilds both stream lists minus the excluded sources.
bool RefreshSourceLists(TSourceLists& lists, const devices::TDeviceMonitor& monitor);

} // namespace vidorel

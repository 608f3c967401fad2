#pragma once

// The device and stream model: capture devices (DV, video, audio), their streams, the two
// device lists refreshed from the one enumeration, and the stream lists minus the excluded
// sources. A device builds its private set into the graph it is attached to and hands the
// points of an open stream back to the caller. Main (UI) thread only.

#include "devices/DeviceMonitor.h"
#include "devices/Transport.h"
#include "graph/FilterGraph.h"
#include "graph/RecordingBranch.h"
#include "platform/GstRef.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vidorel {

class ICamcorderWindow; // sources/CamcorderBinding.h

// What opening a video stream hands back: the stream decoded (an unlinked src pad) and the tee
// carrying it undecoded. An empty Pin: the stream could not be opened.
struct TVideoStreamPads {
    GstPadRef Pin;
    GstElementRef NativeTee;
    // The pictures arrive bottom-up: the overlay turns them even with its effects off.
    bool FlipOnCopy = false;
};

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
    // The caps of the format chosen on the capture pin's page, asked of the source when a
    // video stream opens; empty: the device's own first format.
    std::string ChosenFormat;

    // Puts the device's source (and its private set) into `graph`, unless it is there
    // already; null when the device cannot be bound or built.
    virtual GstElement* AttachSource(TFilterGraph& graph) = 0;
    virtual void DetachSource() = 0;
    // Opens video stream n (1-based) behind the attached source. `halfSize`: a DV decoder
    // delivers half the width and height.
    virtual TVideoStreamPads OpenVideoStream(int n, bool halfSize) = 0;
    // Opens audio stream n; an unlinked src pad, or null.
    virtual GstPadRef OpenAudioStream(int n) = 0;
    virtual void CloseVideoStream() = 0;
    virtual void CloseAudioStream() = 0;
    // Records the device's own stream into `fileName` while the graph plays (a recording
    // branch on the device's native tee); false when the device has none or it cannot start.
    // Devices without a native stream of their own keep the default (false).
    virtual bool StartNativeCapture(const std::string& fileName);
    // Finishes that recording without stopping the graph; `done` is called on the graph's
    // thread once the file is complete (at once when nothing was recording).
    virtual void StopNativeCapture(TRecordingBranch::Done done = {});
    // The recording branch of the device's own stream into `fileName`, built and not
    // attached (the capture run attaches, cuts and finishes it), or null when the device has
    // no such stream. Throws EGraphError when it cannot be built.
    virtual std::shared_ptr<TRecordingBranch> MakeNativeCaptureBranch(const std::string& fileName,
                                                                      const std::string& name);
    // The device's scene detector (a DV device), or null.
    virtual GstElement* SceneDetectorElement() const { return nullptr; }

    // The graph the source is attached to, or null.
    TFilterGraph* Graph() const { return graph_; }
    bool SourceAttached() const;
    // The tape transport of the device's source, or null.
    std::shared_ptr<devices::TTapeTransport> Transport() const;

protected:
    TCaptureDevice(devices::DeviceEntry entry, int number, uint8_t kind);
    // Creates the device's source element (not in any graph); null when it cannot be bound.
    GstElementRef BindSource() const;
    // Puts the bound source alone into the graph unless it is there already (the video and
    // audio kinds need nothing more); null when it cannot be bound or added.
    GstElement* AttachBoundSource(TFilterGraph& graph);

    // Set by AttachSource, cleared by DetachSource.
    TFilterGraph* graph_ = nullptr;
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

class TCaptureDeviceList {
public:
    explicit TCaptureDeviceList(devices::DeviceCategory category) : category_(category) {}
    // `beforeRemoval` sees each vanished device while it is still whole, so whoever built on
    // its streams (the preview branches) can take that down first; the device's streams and
    // source are closed after it.
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

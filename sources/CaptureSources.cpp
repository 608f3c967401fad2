#include "sources/CaptureSources.h"

#include "sources/Plugin.h"

#include "devices/DeviceKind.h"
#include "devices/VirtualDevices.h"
#include "sources/Audio_unit.h"
#include "sources/DV_unit.h"
#include "sources/SourceGraph.h"
#include "sources/SourceNames.h"
#include "sources/Video_Unit.h"

#include <algorithm>

namespace vidorel {

TCaptureDevice::TCaptureDevice(devices::DeviceEntry entry, int number, uint8_t kind)
    : FriendlyName(entry.friendlyName), Number(number), Kind(kind), Entry(std::move(entry)) {
    DisplayName = DeviceDisplayName(kind, FriendlyName, number);
}

TCaptureDevice::~TCaptureDevice() = default;

GstElement* TCaptureDevice::AttachBoundSource(TFilterGraph& graph) {
    if (!sourcegraph::InGraph(&graph, SourceFilter)) {
        SourceFilter = BindSource();
        if (!sourcegraph::Add(graph, SourceFilter)) {
            SourceFilter.reset();
            return nullptr;
        }
        graph_ = &graph;
    }
    return SourceFilter.get();
}

bool TCaptureDevice::StartNativeCapture(const std::string&) {
    return false;
}

void TCaptureDevice::StopNativeCapture(TRecordingBranch::Done done) {
    if (done) {
        done(TRecordingResult{});
    }
}

std::shared_ptr<TRecordingBranch> TCaptureDevice::MakeNativeCaptureBranch(const std::string&,
                                                                          const std::string&) {
    return nullptr;
}

bool TCaptureDevice::SourceAttached() const {
    return sourcegraph::InGraph(graph_, SourceFilter);
}

GstElementRef TCaptureDevice::BindSource() const {
    if (!Entry.device) {
        return {};
    }
    GstElement* e = gst_device_create_element(Entry.device.get(), nullptr);
    return e ? GstElementRef::adopt(GST_ELEMENT(gst_object_ref_sink(e))) : GstElementRef();
}

std::shared_ptr<devices::TTapeTransport> TCaptureDevice::Transport() const {
    if (SourceFilter) {
        return devices::TransportOf(SourceFilter.get());
    }
    auto probe = BindSource();
    return probe ? devices::TransportOf(probe.get()) : nullptr;
}

std::shared_ptr<TCaptureDevice> MakeCaptureDevice(uint8_t kind, devices::DeviceEntry entry,
                                                  int number) {
    switch (kind) {
    case devices::kKindDV:
        return MakeDVCaptureDevice(std::move(entry), number);
    case devices::kKindVideo:
        return MakeVideoCaptureDevice(std::move(entry), number);
    case devices::kKindAudio:
        return MakeAudioCaptureDevice(std::move(entry), number);
    default:
        return nullptr;
    }
}

std::shared_ptr<TVideoSource> TVideoSource::Create(std::shared_ptr<TCaptureDevice> device, int n) {
    if (!device || n < 1 || n > device->VideoStreamCount) {
        return nullptr;
    }
    auto s = std::make_shared<TVideoSource>(device, n);
    s->DisplayName = VideoStreamName(device->DisplayName, n, device->AudioStreamCount > 0);
    s->StreamKind = device->Kind == devices::kKindDV ? 5 : 2;
    return s;
}

std::shared_ptr<TAudioSource> TAudioSource::Create(std::shared_ptr<TCaptureDevice> device, int n) {
    if (!device || n < 1 || n > device->AudioStreamCount) {
        return nullptr;
    }
    auto s = std::make_shared<TAudioSource>(device, n);
    s->DisplayName = AudioStreamName(device->DisplayName, n, device->VideoStreamCount > 0);
    switch (device->Kind) {
    case devices::kKindDV:
        s->StreamKind = 4;
        break;
    case devices::kKindPlugIn:
        s->StreamKind = 1;
        break;
    case devices::kKindVideo:
        s->StreamKind = 2;
        break;
    default:
        s->StreamKind = 3;
        break;
    }
    return s;
}

bool IsDeviceAlive(const TCaptureDevice& device) {
    // A plug-in's device is the plug-in's business: it is there while the system lists it.
    if (device.Kind == TPlugInCaptureDevice::kKindPlugin) {
        return static_cast<bool>(device.Entry.device);
    }
    if (device.SourceAttached()) {
        auto pad = GstPadRef::adopt(gst_element_get_static_pad(device.SourceFilter.get(), "src"));
        return static_cast<bool>(pad);
    }
    if (!device.Entry.device) {
        return false;
    }
    GstElement* e = gst_device_create_element(device.Entry.device.get(), nullptr);
    if (!e) {
        return false;
    }
    gst_object_unref(gst_object_ref_sink(e));
    return true;
}

int TCaptureDeviceList::NextNumber(const std::string& key) const {
    for (int n = 1;; ++n) {
        const bool taken = std::any_of(items_.begin(), items_.end(), [&](const auto& d) {
            return NumberingKey(d->Kind, d->FriendlyName) == key && d->Number == n;
        });
        if (!taken) {
            return n;
        }
    }
}

int TCaptureDeviceList::IndexOfMoniker(const std::string& moniker) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i]->Entry.moniker == moniker) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::shared_ptr<TCaptureDevice> TCaptureDeviceList::operator[](int i) const {
    if (i < 0 || i >= Count()) {
        return nullptr;
    }
    return items_[static_cast<size_t>(i)];
}

bool TCaptureDeviceList::Refresh(
    const devices::TDeviceMonitor& monitor,
    const std::function<void(const std::shared_ptr<TCaptureDevice>&)>& beforeRemoval) {
    for (auto& d : items_) {
        d->Present = 0;
    }
    for (auto& entry : monitor.Devices(category_)) {
        const int found = IndexOfMoniker(entry.moniker);
        if (found >= 0) {
            if (IsDeviceAlive(*items_[static_cast<size_t>(found)])) {
                items_[static_cast<size_t>(found)]->Present = 1;
            }
            continue;
        }
        // A plug-in that claims the device by its name handles it, whatever its kind.
        if (const int claim = PluginList().IndexOfDriver(entry.friendlyName); claim >= 0) {
            TpluginData& plugin = PluginList().Items[static_cast<size_t>(claim)];
            const int number = NextNumber(entry.friendlyName);
            auto device =
                std::make_shared<TPlugInCaptureDevice>(std::move(entry), number, plugin.PluginPath);
            // One that does not bind is left out for this refresh and tried again at the next.
            plugin.Enabled = device->Valid;
            if (device->Valid) {
                device->Present = 1;
                items_.push_back(std::move(device));
            }
            continue;
        }
        const uint8_t kind = devices::KindFromCaps(entry.caps.get());
        if (kind == devices::kKindNone) {
            continue;
        }
        const int number = NextNumber(NumberingKey(kind, entry.friendlyName));
        auto device = MakeCaptureDevice(kind, std::move(entry), number);
        if (device) {
            device->Present = 1;
            items_.push_back(std::move(device));
        }
    }
    for (size_t i = items_.size(); i-- > 0;) {
        auto& d = items_[i];
        if (d->Present) {
            continue;
        }
        // The vanished device's open branches are closed before it leaves the list.
        if (beforeRemoval) {
            beforeRemoval(d);
        }
        d->CloseVideoStream();
        d->CloseAudioStream();
        d->DetachSource();
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return true;
}

TExclusionList LoadExclusions(const std::string& sourcesExclues) {
    TExclusionList list;
    for (auto& n : ParseExcludedNames(sourcesExclues)) {
        list.emplace_back(std::move(n), false);
    }
    return list;
}

std::string SaveExclusions(const TExclusionList& list) {
    std::vector<std::string> names;
    for (const auto& [name, included] : list) {
        if (!included) {
            names.push_back(name);
        }
    }
    return FormatExcludedNames(names);
}

namespace {

// Looks the name up, appending it as included when new; true when the device is excluded.
bool Excluded(TExclusionList& list, const std::string& friendlyName) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const auto& p) { return p.first == friendlyName; });
    if (it == list.end()) {
        list.emplace_back(friendlyName, true);
        return false;
    }
    return !it->second;
}

template <typename S> void Append(std::vector<std::shared_ptr<S>>& streams, std::shared_ptr<S> s) {
    if (!s) {
        return;
    }
    std::vector<std::string> taken;
    for (const auto& t : streams) {
        taken.push_back(t->DisplayName);
    }
    s->DisplayName = UniqueStreamName(s->DisplayName, taken);
    streams.push_back(std::move(s));
}

} // namespace

bool RefreshSourceLists(TSourceLists& lists, const devices::TDeviceMonitor& monitor) {
    lists.VideoStreams.clear();
    lists.AudioStreams.clear();
    if (!lists.VideoDevices.Refresh(monitor, lists.BeforeDeviceRemoval) ||
        !lists.AudioDevices.Refresh(monitor, lists.BeforeDeviceRemoval)) {
        return false;
    }
    for (int i = 0; i < lists.VideoDevices.Count(); ++i) {
        auto d = lists.VideoDevices[i];
        if (Excluded(lists.Exclusions, d->FriendlyName)) {
            continue;
        }
        for (int n = 1; n <= d->VideoStreamCount; ++n) {
            Append(lists.VideoStreams, TVideoSource::Create(d, n));
        }
        for (int n = 1; n <= d->AudioStreamCount; ++n) {
            Append(lists.AudioStreams, TAudioSource::Create(d, n));
        }
    }
    for (int i = 0; i < lists.AudioDevices.Count(); ++i) {
        auto d = lists.AudioDevices[i];
        if (Excluded(lists.Exclusions, d->FriendlyName)) {
            continue;
        }
        for (int n = 1; n <= d->AudioStreamCount; ++n) {
            Append(lists.AudioStreams, TAudioSource::Create(d, n));
        }
    }
    return true;
}

} // namespace vidorel

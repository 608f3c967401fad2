#include "devices/DeviceMonitor.h"

#include "devices/VirtualDevices.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <mutex>

namespace vidorel::devices {

namespace {

DeviceEntry EntryOf(GstDevice* device) {
    DeviceEntry e;
    e.device = GstRef<GstDevice>::ref(device);
    e.moniker = MonikerOf(device);
    auto name = GstRef<gchar>::adopt(gst_device_get_display_name(device));
    e.friendlyName = name ? name.get() : "";
    e.caps = GstRef<GstCaps>::adopt(gst_device_get_caps(device));
    e.isVirtual = VirtualOrderOf(device) >= 0;
    return e;
}

} // namespace

std::string MonikerOf(GstDevice* device) {
    if (device == nullptr) {
        return {};
    }
    auto klass = GstRef<gchar>::adopt(gst_device_get_device_class(device));
    auto name = GstRef<gchar>::adopt(gst_device_get_display_name(device));
    auto props = GstRef<GstStructure>::adopt(gst_device_get_properties(device));
    auto text = GstRef<gchar>::adopt(props ? gst_structure_to_string(props.get()) : nullptr);
    std::string m = klass ? klass.get() : "";
    m += '|';
    m += name ? name.get() : "";
    m += '|';
    m += text ? text.get() : "";
    return m;
}

struct TDeviceMonitor::Shared {
    std::mutex mutex;
    QPointer<QObject> context; // guarded by mutex
    Listener listener;         // guarded by mutex
};

TDeviceMonitor::TDeviceMonitor() : shared_(std::make_shared<Shared>()) {}

TDeviceMonitor::~TDeviceMonitor() {
    Stop();
}

bool TDeviceMonitor::Start(std::string* error) {
    if (started_) {
        return true;
    }
    RegisterDeviceProviders();
    monitor_ = GstRef<GstDeviceMonitor>::adopt(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor_.get(), "Video/Source", nullptr);
    gst_device_monitor_add_filter(monitor_.get(), "Audio/Source", nullptr);
    auto bus = GstRef<GstBus>::adopt(gst_device_monitor_get_bus(monitor_.get()));
    // The weak pointer lets a message that races the monitor's destruction find nothing.
    auto* weak = new std::weak_ptr<Shared>(shared_);
    gst_bus_set_sync_handler(bus.get(), &TDeviceMonitor::OnBusMessage, weak,
                             [](gpointer p) { delete static_cast<std::weak_ptr<Shared>*>(p); });
    if (!gst_device_monitor_start(monitor_.get())) {
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        monitor_.reset();
        if (error) {
            *error = "The capture devices cannot be enumerated (the device monitor did not start).";
        }
        return false;
    }
    started_ = true;
    return true;
}

void TDeviceMonitor::Stop() {
    if (!monitor_) {
        return;
    }
    if (started_) {
        gst_device_monitor_stop(monitor_.get());
    }
    auto bus = GstRef<GstBus>::adopt(gst_device_monitor_get_bus(monitor_.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    monitor_.reset();
    started_ = false;
}

std::vector<DeviceEntry> TDeviceMonitor::Devices(DeviceCategory category) const {
    std::vector<DeviceEntry> real;
    std::vector<std::pair<int, DeviceEntry>> virt;
    if (!monitor_) {
        return real;
    }
    SyncVirtualDevices();
    const char* wanted = category == DeviceCategory::Video ? "Video/Source" : "Audio/Source";
    GList* list = gst_device_monitor_get_devices(monitor_.get());
    for (GList* l = list; l; l = l->next) {
        auto* device = static_cast<GstDevice*>(l->data);
        if (!gst_device_has_classes(device, wanted)) {
            continue;
        }
        const int order = VirtualOrderOf(device);
        if (order >= 0) {
            virt.emplace_back(order, EntryOf(device));
        } else {
            real.push_back(EntryOf(device));
        }
    }
    g_list_free_full(list, gst_object_unref);
    std::stable_sort(virt.begin(), virt.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& v : virt) {
        real.push_back(std::move(v.second));
    }
    return real;
}

void TDeviceMonitor::SetListener(QObject* context, Listener listener) {
    std::lock_guard lock(shared_->mutex);
    shared_->context = context;
    shared_->listener = std::move(listener);
}

GstBusSyncReply TDeviceMonitor::OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    // A sync handler that drops a message owns it.
    auto owned = GstMessageRef::adopt(message);
    const auto type = GST_MESSAGE_TYPE(message);
    if (type != GST_MESSAGE_DEVICE_ADDED && type != GST_MESSAGE_DEVICE_REMOVED) {
        return GST_BUS_DROP;
    }
    auto shared = static_cast<std::weak_ptr<Shared>*>(data)->lock();
    if (!shared) {
        return GST_BUS_DROP;
    }
    GstDevice* raw = nullptr;
    Change change = Change::Added;
    if (type == GST_MESSAGE_DEVICE_ADDED) {
        gst_message_parse_device_added(message, &raw);
    } else {
        gst_message_parse_device_removed(message, &raw);
        change = Change::Removed;
    }
    auto device = GstRef<GstDevice>::adopt(raw);
    QPointer<QObject> context;
    Listener listener;
    {
        std::lock_guard lock(shared->mutex);
        context = shared->context;
        listener = shared->listener;
    }
    if (!context || !listener) {
        return GST_BUS_DROP;
    }
    DeviceEntry entry = EntryOf(device.get());
    QMetaObject::invokeMethod(
        context.data(), [listener, change, entry] { listener(change, entry); },
        Qt::QueuedConnection);
    return GST_BUS_DROP;
}

} // namespace vidorel::devices

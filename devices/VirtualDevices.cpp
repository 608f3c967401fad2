#include "devices/VirtualDevices.h"

#include "devices/Avc1394.h"
#include "devices/DvDeckSrc.h"
#include "devices/DvFile.h"
#include "devices/GeneratedTape.h"
#include "platform/GstRef.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace {

using namespace vidorel;
using namespace vidorel::devices;

// What one of our devices stands for; allocated in instance init, freed in finalize.
struct DeviceImpl {
    VirtualDeviceInfo info;
    int order = -1;    // listing rank among virtual devices; -1 for FireWire units
    uint64_t guid = 0; // FireWire units
};

} // namespace

extern "C" {

struct VidorelDevice {
    GstDevice parent;
    DeviceImpl* impl;
};
struct VidorelDeviceClass {
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(VidorelDevice, vidorel_device, GST_TYPE_DEVICE)

struct VidorelVirtualProvider {
    GstDeviceProvider parent;
};
struct VidorelVirtualProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(VidorelVirtualProvider, vidorel_virtual_provider, GST_TYPE_DEVICE_PROVIDER)

struct Vidorel1394Provider {
    GstDeviceProvider parent;
};
struct Vidorel1394ProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(Vidorel1394Provider, vidorel_1394_provider, GST_TYPE_DEVICE_PROVIDER)

} // extern "C"

namespace {

// The virtual devices and their decks. The UI thread rescans; providers read on whatever
// thread GStreamer starts them from; everything here is guarded by `mutex`.
struct VirtualState {
    std::mutex mutex;
    std::vector<VirtualDeviceInfo> extras;
    int extraSeq = 0;
    std::vector<VirtualDeviceInfo> infos;
    std::map<std::string, std::shared_ptr<TFrameSource>> fileTapes; // by id, validated
    std::string scanProblem; // what the last rescan could not do, for the user
    std::map<std::string, std::shared_ptr<TTapeDeck>> decks; // by id
    GstDeviceProvider* running = nullptr;     // the started provider (it outlives its start)
    std::map<std::string, GstDevice*> posted; // announced devices, owned by `running`
    // The elements made for each device, weakly held: unplugging a device makes them fail the
    // way a real device's source does.
    std::multimap<std::string, GWeakRef*> made;
    std::vector<GstElement*> unplugged; // to fail once the lock is let go (owned refs)
};

VirtualState& State() {
    static VirtualState* s = new VirtualState(); // lives as long as GStreamer's registry
    return *s;
}

DeviceImpl& Impl(GstDevice* d) {
    return *reinterpret_cast<VidorelDevice*>(d)->impl;
}

// What the test pattern offers, as a camera offers sizes and rates.
constexpr const char* kTestPatternFormats =
    "video/x-raw, format=(string)I420, width=(int)720, height=(int)576, "
    "framerate=(fraction)25/1, pixel-aspect-ratio=(fraction)16/15; "
    "video/x-raw, format=(string)I420, width=(int)640, height=(int)480, "
    "framerate=(fraction)30/1, pixel-aspect-ratio=(fraction)1/1; "
    "video/x-raw, format=(string)I420, width=(int)320, height=(int)240, "
    "framerate=(fraction)30/1, pixel-aspect-ratio=(fraction)1/1";

GstCaps* CapsOf(VirtualKind kind) {
    switch (kind) {
    case VirtualKind::TestPattern:
        return gst_caps_from_string(kTestPatternFormats);
    case VirtualKind::TestTone:
        return gst_caps_from_string("audio/x-raw, format=(string)S16LE, rate=(int)48000, "
                                    "channels=(int)2, layout=(string)interleaved");
    case VirtualKind::MpegCard:
        return gst_caps_from_string("video/mpeg, mpegversion=(int)2, systemstream=(boolean)true");
    case VirtualKind::DvDeck:
        break;
    }
    return gst_caps_from_string("video/x-dv, systemstream=(boolean)true");
}

GstDevice* NewVirtualDevice(const VirtualDeviceInfo& info, int order) {
    auto caps = GstRef<GstCaps>::adopt(CapsOf(info.kind));
    auto props = GstRef<GstStructure>::adopt(
        gst_structure_new("vidorel-device", kDeviceApiProperty, G_TYPE_STRING, "vidorel",
                          kDevicePathProperty, G_TYPE_STRING, info.id.c_str(), nullptr));
    const char* klass = info.kind == VirtualKind::TestTone ? "Audio/Source" : "Video/Source";
    auto* d = static_cast<GstDevice*>(
        g_object_new(vidorel_device_get_type(), "display-name", info.name.c_str(), "caps",
                     caps.get(), "device-class", klass, "properties", props.get(), nullptr));
    Impl(d).info = info;
    Impl(d).order = order;
    return d;
}

std::string DataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg) {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share";
}

// The standard devices, one deck per usable tape file, then the extras. Called under mutex.
void Rescan(VirtualState& s) {
    std::vector<VirtualDeviceInfo> infos = {
        {"vidorel:test-pattern", kTestPatternName, VirtualKind::TestPattern, {}},
        {"vidorel:test-tone", kTestToneName, VirtualKind::TestTone, {}},
        {"vidorel:dv-test-deck", kTestDeckName, VirtualKind::DvDeck, {}},
        {"vidorel:mpeg-card", kMpegCardName, VirtualKind::MpegCard, {}},
    };
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(TapesFolder(), ec)) {
        // Only regular files (through links): a FIFO or a device named "*.dv" is never opened
        // (opening a FIFO without a writer would block the window's thread).
        std::error_code kindError;
        if (entry.path().extension() == ".dv" && entry.is_regular_file(kindError)) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    std::map<std::string, std::shared_ptr<TFrameSource>> tapes;
    s.scanProblem.clear();
    for (const std::string& path : files) {
        const std::string id = "vidorel:tape:" + path;
        auto known = s.fileTapes.find(id);
        std::shared_ptr<TFrameSource> tape;
        if (known != s.fileTapes.end()) {
            tape = known->second;
        } else {
            // A damaged, foreign or too short file is simply not offered; a file that could
            // not even be looked at for want of a resource is said.
            std::string why;
            int error = 0;
            tape = TDvFileTape::Open(path, &why, &error);
            if (!tape && IsResourceShortage(error) && s.scanProblem.empty()) {
                s.scanProblem = "Some tapes of " + TapesFolder() +
                                " could not be checked: " + std::strerror(error) + ".";
            }
        }
        if (!tape) {
            continue;
        }
        tapes[id] = tape;
        const std::string stem = std::filesystem::path(path).stem().string();
        infos.push_back(
            {id, std::string(kTestDeckName) + " (" + stem + ")", VirtualKind::DvDeck, path});
    }
    infos.insert(infos.end(), s.extras.begin(), s.extras.end());
    s.fileTapes = std::move(tapes);
    s.infos = std::move(infos);
    // A deck whose device is gone goes with it; an open element keeps its own reference.
    for (auto it = s.decks.begin(); it != s.decks.end();) {
        const bool listed =
            std::any_of(s.infos.begin(), s.infos.end(),
                        [&](const VirtualDeviceInfo& v) { return v.id == it->first; });
        it = listed ? std::next(it) : s.decks.erase(it);
    }
}

// Announces the current infos on the running provider. Called under mutex.
void Publish(VirtualState& s) {
    if (!s.running) {
        return;
    }
    for (auto it = s.posted.begin(); it != s.posted.end();) {
        const bool listed =
            std::any_of(s.infos.begin(), s.infos.end(),
                        [&](const VirtualDeviceInfo& v) { return v.id == it->first; });
        if (listed) {
            ++it;
            continue;
        }
        gst_device_provider_device_remove(s.running, it->second);
        const auto [from, to] = s.made.equal_range(it->first);
        for (auto m = from; m != to; ++m) {
            if (auto* e = static_cast<GstElement*>(g_weak_ref_get(m->second))) {
                s.unplugged.push_back(e);
            }
            g_weak_ref_clear(m->second);
            delete m->second;
        }
        s.made.erase(from, to);
        it = s.posted.erase(it);
    }
    for (size_t i = 0; i < s.infos.size(); ++i) {
        if (s.posted.count(s.infos[i].id) == 0) {
            GstDevice* d = NewVirtualDevice(s.infos[i], static_cast<int>(i));
            s.posted[s.infos[i].id] = d;
            gst_device_provider_device_add(s.running, d);
        }
    }
}

GstElement* CreateTestPattern(const char* name) {
    GErrorRef err;
    // The first format is the one it gives unless asked for another.
    const std::string line =
        std::string("videotestsrc is-live=true pattern=ball ! capsfilter caps=\"") +
        kTestPatternFormats +
        "\" ! clockoverlay halignment=right valignment=bottom "
        "time-format=\"%H:%M:%S\" font-desc=\"Sans 24\"";
    GstElement* bin = gst_parse_bin_from_description(line.c_str(), TRUE, &err.out());
    if (bin && name) {
        gst_object_set_name(GST_OBJECT(bin), name);
    }
    return bin;
}

GstElement* CreateTestTone(const char* name) {
    GErrorRef err;
    GstElement* bin = gst_parse_bin_from_description(
        "audiotestsrc is-live=true wave=sine freq=440 volume=0.3 ! capsfilter "
        "caps=\"audio/x-raw,format=S16LE,rate=48000,channels=2,layout=interleaved\"",
        TRUE, &err.out());
    if (bin && name) {
        gst_object_set_name(GST_OBJECT(bin), name);
    }
    return bin;
}

GstElement* MakeElement(GstDevice* device, const gchar* name);

GstElement* CreateElement(GstDevice* device, const gchar* name) {
    GstElement* e = MakeElement(device, name);
    if (e != nullptr && Impl(device).order >= 0) {
        auto& s = State();
        std::lock_guard lock(s.mutex);
        auto* ref = new GWeakRef;
        g_weak_ref_init(ref, e);
        s.made.emplace(Impl(device).info.id, ref);
    }
    return e;
}

// What a source does when its device is pulled out: a resource error on the bus.
void FailUnplugged(VirtualState& s) {
    std::vector<GstElement*> gone;
    {
        std::lock_guard lock(s.mutex);
        gone.swap(s.unplugged);
    }
    for (GstElement* e : gone) {
        GError* err = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                                          "The device has been unplugged.");
        gst_element_post_message(
            e, gst_message_new_error(GST_OBJECT(e), err, "virtual device removed"));
        g_error_free(err);
        gst_object_unref(e);
    }
}

GstElement* MakeElement(GstDevice* device, const gchar* name) {
    const DeviceImpl& impl = Impl(device);
    if (impl.order < 0) {
        GstElement* e = gst_element_factory_make("dv1394src", name);
        if (e) {
            g_object_set(e, "guid", static_cast<guint64>(impl.guid), nullptr);
        }
        return e;
    }
    switch (impl.info.kind) {
    case VirtualKind::TestPattern:
        return CreateTestPattern(name);
    case VirtualKind::TestTone: {
        // Its virtual input lines are found by the device it was made for.
        GstElement* e = CreateTestTone(name);
        if (e != nullptr) {
            g_object_set_data_full(G_OBJECT(e), "vidorel-device-id", g_strdup(impl.info.id.c_str()),
                                   g_free);
        }
        return e;
    }
    case VirtualKind::MpegCard:
        return nullptr; // nothing the program can play: its plug-in builds the source
    case VirtualKind::DvDeck:
        break;
    }
    auto deck = DeckForDevice(impl.info.id);
    if (!deck) {
        return nullptr;
    }
    GstElement* e = CreateDvDeckSrc(std::move(deck));
    if (name) {
        gst_object_set_name(GST_OBJECT(e), name);
    }
    return e;
}

GList* ProbeVirtual(GstDeviceProvider*) {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    Rescan(s);
    GList* list = nullptr;
    for (size_t i = 0; i < s.infos.size(); ++i) {
        list = g_list_append(list, gst_object_ref_sink(NewVirtualDevice(s.infos[i], int(i))));
    }
    return list;
}

gboolean StartVirtual(GstDeviceProvider* provider) {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    s.running = provider;
    s.posted.clear();
    Rescan(s);
    Publish(s);
    return TRUE;
}

void StopVirtual(GstDeviceProvider* provider) {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    if (s.running == provider) {
        s.running = nullptr;
        s.posted.clear();
    }
}

GList* Probe1394(GstDeviceProvider*) {
    GList* list = nullptr;
    for (const AvcUnit& u : FindAvcUnits()) {
        auto caps =
            GstRef<GstCaps>::adopt(gst_caps_from_string("video/x-dv, systemstream=(boolean)true"));
        char guid[32];
        g_snprintf(guid, sizeof guid, "%016" G_GINT64_MODIFIER "x", u.guid);
        auto props = GstRef<GstStructure>::adopt(gst_structure_new(
            "vidorel-device", kDeviceApiProperty, G_TYPE_STRING, "avc1394", kDevicePathProperty,
            G_TYPE_STRING, guid, "device.guid", G_TYPE_UINT64, u.guid, nullptr));
        const std::string name = u.label.empty() ? "DV camcorder" : u.label;
        auto* d = static_cast<GstDevice*>(g_object_new(
            vidorel_device_get_type(), "display-name", name.c_str(), "caps", caps.get(),
            "device-class", "Video/Source", "properties", props.get(), nullptr));
        Impl(d).guid = u.guid;
        list = g_list_append(list, gst_object_ref_sink(d));
    }
    return list;
}

void FinalizeDevice(GObject* object) {
    auto* self = reinterpret_cast<VidorelDevice*>(object);
    delete self->impl;
    self->impl = nullptr;
    G_OBJECT_CLASS(vidorel_device_parent_class)->finalize(object);
}

} // namespace

extern "C" {

static void vidorel_device_class_init(VidorelDeviceClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = FinalizeDevice;
    GST_DEVICE_CLASS(klass)->create_element = CreateElement;
}
static void vidorel_device_init(VidorelDevice* self) {
    self->impl = new DeviceImpl();
}

static void vidorel_virtual_provider_class_init(VidorelVirtualProviderClass* klass) {
    auto* p = GST_DEVICE_PROVIDER_CLASS(klass);
    p->probe = ProbeVirtual;
    p->start = StartVirtual;
    p->stop = StopVirtual;
    gst_device_provider_class_set_static_metadata(
        p, "Vidorel virtual devices", "Audio/Video/Source",
        "Test pattern, test tone and DV test decks", "Vidorel");
}
static void vidorel_virtual_provider_init(VidorelVirtualProvider*) {}

static void vidorel_1394_provider_class_init(Vidorel1394ProviderClass* klass) {
    auto* p = GST_DEVICE_PROVIDER_CLASS(klass);
    // Without start/stop the base class probes once when monitoring starts: FireWire units
    // are found again at every refresh of the device lists.
    p->probe = Probe1394;
    gst_device_provider_class_set_static_metadata(p, "Vidorel FireWire DV", "Video/Source",
                                                  "AV/C tape and camera units", "Vidorel");
}
static void vidorel_1394_provider_init(Vidorel1394Provider*) {}

} // extern "C"

namespace vidorel::devices {

void RegisterDeviceProviders() {
    static const bool once = [] {
        RegisterDvDeckSrc();
        gst_device_provider_register(nullptr, "vidorelvirtualprovider", GST_RANK_PRIMARY,
                                     vidorel_virtual_provider_get_type());
        gst_device_provider_register(nullptr, "vidorel1394provider", GST_RANK_PRIMARY,
                                     vidorel_1394_provider_get_type());
        return true;
    }();
    (void)once;
}

std::string TapeScanProblem() {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    return s.scanProblem;
}

std::string TapesFolder() {
    return DataHome() + "/vidorel/tapes";
}

void SyncVirtualDevices() {
    auto& s = State();
    {
        std::lock_guard lock(s.mutex);
        Rescan(s);
        Publish(s);
    }
    FailUnplugged(s);
}

std::string AddVirtualDevice(const std::string& name, VirtualKind kind,
                             const std::string& tapePath) {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    const std::string id = "vidorel:extra:" + std::to_string(++s.extraSeq);
    s.extras.push_back({id, name, kind, tapePath});
    Rescan(s);
    Publish(s);
    return id;
}

void RemoveVirtualDevice(const std::string& id) {
    auto& s = State();
    {
        std::lock_guard lock(s.mutex);
        std::erase_if(s.extras, [&](const VirtualDeviceInfo& v) { return v.id == id; });
        Rescan(s);
        Publish(s);
    }
    FailUnplugged(s);
}

std::vector<VirtualDeviceInfo> VirtualDeviceInfos() {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    Rescan(s);
    return s.infos;
}

std::shared_ptr<TTapeDeck> DeckForDevice(const std::string& id) {
    auto& s = State();
    std::unique_lock lock(s.mutex);
    if (auto it = s.decks.find(id); it != s.decks.end()) {
        return it->second;
    }
    auto info = std::find_if(s.infos.begin(), s.infos.end(),
                             [&](const VirtualDeviceInfo& v) { return v.id == id; });
    if (info == s.infos.end() || info->kind != VirtualKind::DvDeck) {
        return nullptr;
    }
    std::shared_ptr<TFrameSource> tape;
    if (auto t = s.fileTapes.find(id); t != s.fileTapes.end()) {
        tape = t->second;
    } else if (!info->tapePath.empty()) {
        tape = TDvFileTape::Open(info->tapePath, nullptr);
    } else {
        // Encoding the test material takes a moment; do it without holding up the providers.
        lock.unlock();
        tape = MakeStandardTestTape();
        lock.lock();
        if (auto it = s.decks.find(id); it != s.decks.end()) {
            return it->second;
        }
    }
    if (!tape) {
        return nullptr;
    }
    auto deck = std::make_shared<TTapeDeck>(std::move(tape));
    s.decks[id] = deck;
    return deck;
}

std::shared_ptr<TTapeTransport> TransportOf(GstElement* source) {
    if (source == nullptr) {
        return nullptr;
    }
    if (auto deck = DvDeckOf(source)) {
        return deck;
    }
    auto factory = GstRef<GstElementFactory>::ref(gst_element_get_factory(source));
    if (factory && g_strcmp0(GST_OBJECT_NAME(factory.get()), "dv1394src") == 0) {
        guint64 guid = 0;
        g_object_get(source, "guid", &guid, nullptr);
        return std::make_shared<TAvcTransport>(guid);
    }
    if (!GST_IS_BIN(source)) {
        return nullptr;
    }
    std::shared_ptr<TTapeTransport> found;
    auto it = GstRef<GstIterator>::adopt(gst_bin_iterate_recurse(GST_BIN(source)));
    GValue item = G_VALUE_INIT;
    while (!found && gst_iterator_next(it.get(), &item) == GST_ITERATOR_OK) {
        auto* child = static_cast<GstElement*>(g_value_get_object(&item));
        if (auto deck = DvDeckOf(child)) {
            found = deck;
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    return found;
}

int VirtualOrderOf(GstDevice* device) {
    if (device == nullptr || !G_TYPE_CHECK_INSTANCE_TYPE(device, vidorel_device_get_type())) {
        return -1;
    }
    return Impl(device).order;
}

} // namespace vidorel::devices

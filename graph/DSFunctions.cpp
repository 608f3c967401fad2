#include "graph/DSFunctions.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace vidorel {

// --- chain removal ---

namespace {

void RemoveChain(TFilterGraph& graph, GstPad* pin, GstElement* stopFilter) {
    auto owner = PadOwner(pin);
    if (!owner) {
        throw EGraphError("the pad has no element", graph_error::kNotFound);
    }
    GstElement* f = owner.get();
    if (f == stopFilter) {
        return;
    }
    for (int i = 0;;) {
        auto in = FindPad(f, PinDirection::Input, i);
        if (!in) {
            graph.RemoveFilter(f);
            return;
        }
        auto peer = GstPadRef::adopt(gst_pad_get_peer(in.get()));
        if (!peer) {
            return; // an unconnected input: the element stays
        }
        RemoveChain(graph, peer.get(), stopFilter);
        // Removing the chain released the input when it was a request pad (a muxer's): the
        // next input now has this index.
        if (GST_OBJECT_PARENT(in.get()) == GST_OBJECT_CAST(f)) {
            ++i;
        }
    }
}

} // namespace

bool RemoveUpstreamChain(TFilterGraph& graph, GstPad* pin, GstElement* stopFilter) {
    try {
        if (pin == nullptr) {
            return false;
        }
        RemoveChain(graph, pin, stopFilter);
        return true;
    } catch (const std::exception& e) {
        GST_WARNING("RemoveUpstreamChain: %s", e.what());
        return false;
    }
}

// --- categories ---

std::string FactoryFriendlyName(GstElementFactory* factory) {
    static const struct {
        const char* factory;
        const char* name;
    } renamed[] = {
        {"avenc_mpeg4", "Xvid-compatible MPEG-4 (libav)"},
        {"avenc_dvvideo", "DV Video Encoder"},
    };
    const char* id = GST_OBJECT_NAME(factory);
    for (const auto& r : renamed) {
        if (std::strcmp(id, r.factory) == 0) {
            return r.name;
        }
    }
    const char* longName = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME);
    return longName ? longName : id;
}

namespace {

bool IsDeviceCategory(const std::string& category) {
    return category == kVideoInputDeviceCategory || category == kAudioInputDeviceCategory ||
           category == kAudioRendererCategory || category == "Video/Sink";
}

bool KlassHasAllWords(const char* klass, const std::string& category) {
    if (klass == nullptr) {
        return false;
    }
    gchar** want = g_strsplit(category.c_str(), "/", -1);
    gchar** have = g_strsplit(klass, "/", -1);
    bool all = true;
    for (gchar** w = want; *w != nullptr && all; ++w) {
        all = g_strv_contains(const_cast<const gchar* const*>(have), *w);
    }
    g_strfreev(want);
    g_strfreev(have);
    return all;
}

std::string DeviceFactoryName(GstDevice* device) {
    GstElement* e = gst_device_create_element(device, nullptr);
    if (e == nullptr) {
        return {};
    }
    auto ref = GstElementRef::adopt(GST_ELEMENT_CAST(gst_object_ref_sink(e)));
    GstElementFactory* f = gst_element_get_factory(ref.get());
    return f ? GST_OBJECT_NAME(f) : "";
}

} // namespace

std::vector<TMoniker> EnumerateCategory(const std::string& category) {
    std::vector<TMoniker> out;
    if (IsDeviceCategory(category)) {
        auto monitor = GstRef<GstDeviceMonitor>::adopt(gst_device_monitor_new());
        gst_device_monitor_add_filter(monitor.get(), category.c_str(), nullptr);
        GList* devices = gst_device_monitor_get_devices(monitor.get());
        for (GList* l = devices; l != nullptr; l = l->next) {
            auto device = GstRef<GstDevice>::adopt(GST_DEVICE(l->data)); // the list's reference
            TMoniker m;
            GCharRef name = GCharRef::adopt(gst_device_get_display_name(device.get()));
            m.displayName = name ? name.get() : "";
            m.factory = DeviceFactoryName(device.get());
            m.device = std::move(device);
            out.push_back(std::move(m));
        }
        g_list_free(devices);
        return out;
    }
    GList* features = gst_registry_get_feature_list(gst_registry_get(), GST_TYPE_ELEMENT_FACTORY);
    std::vector<GstElementFactory*> matching;
    for (GList* l = features; l != nullptr; l = l->next) {
        auto* f = GST_ELEMENT_FACTORY(l->data);
        if (KlassHasAllWords(gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_KLASS),
                             category)) {
            matching.push_back(f);
        }
    }
    std::stable_sort(matching.begin(), matching.end(),
                     [](GstElementFactory* a, GstElementFactory* b) {
                         const guint ra = gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(a));
                         const guint rb = gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(b));
                         if (ra != rb) {
                             return ra > rb;
                         }
                         return std::strcmp(GST_OBJECT_NAME(a), GST_OBJECT_NAME(b)) < 0;
                     });
    for (GstElementFactory* f : matching) {
        TMoniker m;
        m.factory = GST_OBJECT_NAME(f);
        m.displayName = FactoryFriendlyName(f);
        out.push_back(std::move(m));
    }
    gst_plugin_feature_list_free(features);
    return out;
}

namespace {

template <class Match>
bool SelectFilter(const std::string& category, TFilter& filter, Match match) {
    try {
        filter.Detach();
        for (auto& m : EnumerateCategory(category)) {
            if (match(m)) {
                filter.SetMoniker(std::move(m));
                return true;
            }
        }
    } catch (const std::exception& e) {
        GST_WARNING("filter selection: %s", e.what());
    }
    return false;
}

} // namespace

bool SelectFilterByClassID(const std::string& category, const std::string& classId,
                           TFilter& filter) {
    return SelectFilter(category, filter, [&](const TMoniker& m) { return m.factory == classId; });
}

bool SelectFilterByName(const std::string& category, const std::string& friendlyName,
                        TFilter& filter) {
    return SelectFilter(category, filter,
                        [&](const TMoniker& m) { return m.displayName == friendlyName; });
}

bool ListVideoCompressors(std::vector<std::string>& list) {
    list.clear();
    try {
        for (const auto& m : EnumerateCategory(kVideoCompressorCategory)) {
            list.push_back(m.displayName);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// --- beeps ---

namespace {

struct Tone {
    int frequency;
    int milliseconds;
};

// One worker plays the tones in order, each through its own small pipeline, so the caller
// (the UI thread) never waits. Joined at exit.
class BeepPlayer {
public:
    static BeepPlayer& Instance() {
        static BeepPlayer player;
        return player;
    }

    void Play(Tone tone) {
        std::lock_guard lock(m_lock);
        if (m_queue.size() >= 4) {
            return; // a stuck output must not let beeps pile up
        }
        m_queue.push_back(tone);
        ++m_pending;
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { Loop(); });
        }
        m_wake.notify_all();
    }

    bool Wait(int timeoutMs) {
        std::unique_lock lock(m_lock);
        return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return m_pending == 0; });
    }

    ~BeepPlayer() {
        {
            std::lock_guard lock(m_lock);
            m_quit = true;
            m_wake.notify_all();
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    void Loop() {
        for (;;) {
            Tone tone{};
            {
                std::unique_lock lock(m_lock);
                m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
                if (m_quit) {
                    return;
                }
                tone = m_queue.front();
                m_queue.pop_front();
            }
            PlayNow(tone);
            {
                std::lock_guard lock(m_lock);
                --m_pending;
                m_idle.notify_all();
            }
        }
    }

    static void PlayNow(Tone tone) {
        constexpr int kRate = 44100;
        constexpr int kSamplesPerBuffer = kRate / 100; // 10 ms
        const std::string launch =
            "audiotestsrc wave=sine volume=0.3 freq=" + std::to_string(tone.frequency) +
            " samplesperbuffer=" + std::to_string(kSamplesPerBuffer) +
            " num-buffers=" + std::to_string(std::max(1, tone.milliseconds / 10)) +
            " ! audio/x-raw,rate=" + std::to_string(kRate) +
            ",channels=1 ! audioconvert ! audioresample ! autoaudiosink";
        GErrorRef err;
        auto pipeline = GstElementRef::adopt(gst_parse_launch(launch.c_str(), &err.out()));
        if (!pipeline || err) {
            return;
        }
        if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
            auto bus = GstBusRef::adopt(gst_element_get_bus(pipeline.get()));
            auto msg = GstMessageRef::adopt(gst_bus_timed_pop_filtered(
                bus.get(), static_cast<GstClockTime>(tone.milliseconds + 2000) * GST_MSECOND,
                static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        }
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    std::mutex m_lock; // guards everything below
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Tone> m_queue;
    int m_pending = 0;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace

void PlayBeep0() {
    BeepPlayer::Instance().Play({1320, 180});
}
void PlayBeep1() {
    BeepPlayer::Instance().Play({880, 80});
}
bool WaitForBeeps(int timeoutMs) {
    return BeepPlayer::Instance().Wait(timeoutMs);
}

// --- version ---

std::string FormatVersionText(unsigned major, unsigned minor, unsigned micro, unsigned nano) {
    std::string text =
        std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
    if (nano == 1) {
        text += " (git)";
    } else if (nano >= 2) {
        text += " (prerelease)";
    }
    return text;
}

int VersionPart(const std::string& text, int index) {
    size_t pos = 0;
    for (int i = 0; i < index; ++i) {
        pos = text.find('.', pos);
        if (pos == std::string::npos) {
            return 0;
        }
        ++pos;
    }
    size_t end = pos;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        ++end;
    }
    if (end == pos || end - pos > 6) {
        return 0;
    }
    return std::atoi(text.substr(pos, end - pos).c_str());
}

namespace {

std::atomic<int>& PreloadState() {
    // 0 never started, 1 loading, 2 done.
    static std::atomic<int> state{0};
    return state;
}

} // namespace

void StartPluginPreload() {
    int expected = 0;
    if (!PreloadState().compare_exchange_strong(expected, 1)) {
        return;
    }
    std::thread([] {
        for (const char* name :
             {"libav", "dv", "avi", "lame", "wavenc", "videoscale", "videorate", "jpeg"}) {
            if (GstPlugin* plugin = gst_plugin_load_by_name(name)) {
                gst_object_unref(plugin);
            }
        }
        PreloadState().store(2);
    }).detach();
}

bool PluginsPreloaded() {
    return PreloadState().load() != 1;
}

std::string MediaFrameworkVersionText() {
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    return FormatVersionText(major, minor, micro, nano);
}

int MediaFrameworkMajorVersion() {
    return VersionPart(MediaFrameworkVersionText(), 0);
}
int MediaFrameworkMinorVersion() {
    return VersionPart(MediaFrameworkVersionText(), 1);
}
int MediaFrameworkVersionNumber() {
    return MediaFrameworkMajorVersion() * 1000 + MediaFrameworkMinorVersion();
}

} // namespace vidorel

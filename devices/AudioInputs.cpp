#include "devices/AudioInputs.h"

#include <alsa/asoundlib.h>

#include <map>
#include <mutex>

namespace vidorel::devices {

namespace {

// An open mixer of one card, closed when it goes.
class TMixer {
public:
    explicit TMixer(const std::string& card) {
        if (snd_mixer_open(&m_, 0) < 0) {
            m_ = nullptr;
            return;
        }
        if (snd_mixer_attach(m_, card.c_str()) < 0 ||
            snd_mixer_selem_register(m_, nullptr, nullptr) < 0 || snd_mixer_load(m_) < 0) {
            snd_mixer_close(m_);
            m_ = nullptr;
        }
    }
    ~TMixer() {
        if (m_ != nullptr) {
            snd_mixer_close(m_);
        }
    }
    TMixer(const TMixer&) = delete;
    TMixer& operator=(const TMixer&) = delete;
    snd_mixer_t* get() const { return m_; }

    // The card's enumerated capture source ("Capture Source", "Input Source"), or null.
    snd_mixer_elem_t* CaptureSource() const {
        for (auto* e = m_ ? snd_mixer_first_elem(m_) : nullptr; e; e = snd_mixer_elem_next(e)) {
            if (snd_mixer_selem_is_active(e) && snd_mixer_selem_is_enum_capture(e)) {
                return e;
            }
        }
        return nullptr;
    }

private:
    snd_mixer_t* m_ = nullptr;
};

class TAlsaInputLines final : public IAudioInputLines {
public:
    explicit TAlsaInputLines(std::string card) : card_(std::move(card)) {}

    std::vector<TAudioInputLine> Enumerate() override {
        std::vector<TAudioInputLine> lines;
        TMixer mixer(card_);
        if (mixer.get() == nullptr) {
            return lines;
        }
        if (snd_mixer_elem_t* source = mixer.CaptureSource()) {
            unsigned current = 0;
            snd_mixer_selem_get_enum_item(source, SND_MIXER_SCHN_FRONT_LEFT, &current);
            const int n = snd_mixer_selem_get_enum_items(source);
            for (int i = 0; i < n; ++i) {
                char name[128] = {};
                if (snd_mixer_selem_get_enum_item_name(source, static_cast<unsigned>(i),
                                                       sizeof name - 1, name) == 0) {
                    lines.push_back({name, static_cast<unsigned>(i) == current});
                }
            }
            return lines;
        }
        for (auto* e = snd_mixer_first_elem(mixer.get()); e; e = snd_mixer_elem_next(e)) {
            if (snd_mixer_selem_is_active(e) && snd_mixer_selem_has_capture_switch(e)) {
                int on = 0;
                snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                lines.push_back({snd_mixer_selem_get_name(e), on != 0});
            }
        }
        return lines;
    }

    bool Enable(const std::string& name) override {
        TMixer mixer(card_);
        if (mixer.get() == nullptr) {
            return false;
        }
        if (snd_mixer_elem_t* source = mixer.CaptureSource()) {
            const int n = snd_mixer_selem_get_enum_items(source);
            for (int i = 0; i < n; ++i) {
                char item[128] = {};
                if (snd_mixer_selem_get_enum_item_name(source, static_cast<unsigned>(i),
                                                       sizeof item - 1, item) == 0 &&
                    name == item) {
                    bool ok = true;
                    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
                        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch);
                        if (snd_mixer_selem_has_capture_channel(source, channel)) {
                            ok &= snd_mixer_selem_set_enum_item(source, channel,
                                                                static_cast<unsigned>(i)) == 0;
                        }
                    }
                    return ok;
                }
            }
            return false;
        }
        bool found = false;
        for (auto* e = snd_mixer_first_elem(mixer.get()); e; e = snd_mixer_elem_next(e)) {
            if (snd_mixer_selem_is_active(e) && snd_mixer_selem_has_capture_switch(e)) {
                const bool chosen = name == snd_mixer_selem_get_name(e);
                found |= chosen;
                snd_mixer_selem_set_capture_switch_all(e, chosen ? 1 : 0);
            }
        }
        return found;
    }

private:
    std::string card_;
};

class TVirtualInputLines final : public IAudioInputLines {
public:
    std::vector<TAudioInputLine> Enumerate() override {
        std::lock_guard lock(m_);
        return lines_;
    }
    bool Enable(const std::string& name) override {
        std::lock_guard lock(m_);
        bool found = false;
        for (auto& line : lines_) {
            line.enabled = line.name == name;
            found |= line.enabled;
        }
        return found;
    }

private:
    std::mutex m_;
    std::vector<TAudioInputLine> lines_ = {{"Line In", false}, {"Microphone", true}, {"CD", false}};
};

// The virtual device an element was made for (set by the virtual provider), or empty.
std::string VirtualIdOf(GstElement* e) {
    const auto* id = static_cast<const char*>(g_object_get_data(G_OBJECT(e), "vidorel-device-id"));
    return id != nullptr ? id : "";
}

} // namespace

std::string AlsaCardOf(const std::string& device) {
    const size_t colon = device.find(':');
    if (colon == std::string::npos) {
        return {};
    }
    const std::string kind = device.substr(0, colon);
    if (kind != "hw" && kind != "plughw" && kind != "sysdefault" && kind != "dsnoop") {
        return {};
    }
    std::string card = device.substr(colon + 1);
    if (card.rfind("CARD=", 0) == 0) {
        card = card.substr(5);
    }
    card = card.substr(0, card.find_first_of(",="));
    return card.empty() ? std::string() : "hw:" + card;
}

std::shared_ptr<IAudioInputLines> AlsaInputLines(const std::string& card) {
    return std::make_shared<TAlsaInputLines>(card);
}

std::shared_ptr<IAudioInputLines> VirtualInputLines(const std::string& id) {
    static std::mutex lock;
    static std::map<std::string, std::shared_ptr<IAudioInputLines>> lines;
    std::lock_guard guard(lock);
    auto& slot = lines[id];
    if (!slot) {
        slot = std::make_shared<TVirtualInputLines>();
    }
    return slot;
}

std::shared_ptr<IAudioInputLines> InputLinesOf(GstElement* source) {
    if (source == nullptr) {
        return nullptr;
    }
    if (const std::string id = VirtualIdOf(source); !id.empty()) {
        return VirtualInputLines(id);
    }
    if (GST_IS_BIN(source)) {
        GstIterator* it = gst_bin_iterate_recurse(GST_BIN(source));
        GValue item = G_VALUE_INIT;
        std::shared_ptr<IAudioInputLines> found;
        while (!found && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            auto* e = GST_ELEMENT(g_value_get_object(&item));
            if (!GST_IS_BIN(e)) {
                found = InputLinesOf(e);
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
        return found;
    }
    GstElementFactory* factory = gst_element_get_factory(source);
    if (factory == nullptr || std::string(GST_OBJECT_NAME(factory)) != "alsasrc") {
        return nullptr;
    }
    gchar* device = nullptr;
    g_object_get(source, "device", &device, nullptr);
    const std::string card = AlsaCardOf(device != nullptr ? device : "");
    g_free(device);
    return card.empty() ? nullptr : AlsaInputLines(card);
}

} // namespace vidorel::devices

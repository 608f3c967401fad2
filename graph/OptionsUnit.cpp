#include "graph/OptionsUnit.h"

#include "graph/CapturePlans.h"
#include "platform/RegistryStore.h"
#include "settings/Preferences.h"

#include <gst/gst.h>

#include <charconv>

namespace vidorel {

namespace {

// The file and version of the plug-in an element comes from.
std::optional<TReportComponent> ComponentOf(const char* factoryName) {
    GstElementFactory* factory = gst_element_factory_find(factoryName);
    if (factory == nullptr) {
        return std::nullopt;
    }
    TReportComponent c;
    c.Name = factoryName;
    if (GstPlugin* plugin =
            GST_PLUGIN(gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(factory)))) {
        if (const gchar* file = gst_plugin_get_filename(plugin)) {
            c.File = file;
        }
        if (const gchar* version = gst_plugin_get_version(plugin)) {
            c.Version = version;
        }
        gst_object_unref(plugin);
    }
    gst_object_unref(factory);
    return c;
}

std::string Described(const TReportComponent& c) {
    std::string text = "    " + c.Name;
    if (!c.File.empty()) {
        text += " in " + c.File;
    }
    if (!c.Version.empty()) {
        // The version as a plug-in states it can be long; the report keeps a line.
        text += ", version " + c.Version.substr(0, 104);
    }
    return text;
}

} // namespace

const std::vector<std::string>& Mp3BitrateItems() {
    static const std::vector<std::string> items = {"32",  "40",  "48",  "56",  "64",  "80",  "96",
                                                   "112", "128", "160", "192", "224", "256", "320"};
    return items;
}

std::optional<int> StoredMp3Bitrate() {
    TRegistry reg;
    if (!reg.OpenKey(kMp3EncoderKey, false)) {
        return std::nullopt;
    }
    const auto v = reg.ReadDWord(kMp3BitrateValue);
    if (!v) {
        return std::nullopt;
    }
    return static_cast<int>(*v);
}

int StoreMp3Bitrate(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value <= 0) {
        return 128;
    }
    TRegistry reg;
    if (reg.OpenKey(kMp3EncoderKey, true)) {
        reg.WriteDWord(kMp3BitrateValue, static_cast<uint32_t>(value));
        reg.Commit();
    }
    return value;
}

namespace {

// One value per encoder: "name=value" lines (a name has no "=", a serialized value no line
// break).
std::string EncoderKey() {
    return PreferenceKeyPath() + "\\Encoders";
}

} // namespace

std::vector<std::pair<std::string, std::string>> StoredEncoderSettings(const std::string& factory) {
    std::vector<std::pair<std::string, std::string>> settings;
    TRegistry reg;
    if (factory.empty() || !reg.OpenKey(EncoderKey(), false)) {
        return settings;
    }
    const auto text = reg.ReadString(factory);
    if (!text) {
        return settings;
    }
    size_t at = 0;
    while (at < text->size()) {
        size_t end = text->find('\n', at);
        if (end == std::string::npos) {
            end = text->size();
        }
        const std::string line = text->substr(at, end - at);
        const size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0) {
            settings.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        }
        at = end + 1;
    }
    return settings;
}

void StoreEncoderSettings(const std::string& factory,
                          const std::vector<std::pair<std::string, std::string>>& settings) {
    if (factory.empty()) {
        return;
    }
    std::string text;
    for (const auto& [name, value] : settings) {
        if (name.find('=') == std::string::npos && value.find('\n') == std::string::npos) {
            text += name + "=" + value + "\n";
        }
    }
    TRegistry reg;
    if (reg.OpenKey(EncoderKey(), true)) {
        reg.WriteString(factory, text);
        reg.Commit();
    }
}

std::string StoredVideoFormat(const std::string& device) {
    TRegistry reg;
    if (device.empty() || !reg.OpenKey(PreferenceKeyPath() + "\\Video Formats", false)) {
        return {};
    }
    return reg.ReadString(device).value_or(std::string());
}

void StoreVideoFormat(const std::string& device, const std::string& caps) {
    TRegistry reg;
    if (!device.empty() && reg.OpenKey(PreferenceKeyPath() + "\\Video Formats", true)) {
        reg.WriteString(device, caps);
        reg.Commit();
    }
}

std::string EncoderVersionText(const std::string& factory) {
    GstElementFactory* f = gst_element_factory_find(factory.c_str());
    if (f == nullptr) {
        return "No encoder \"" + factory + "\" is installed.";
    }
    std::string text =
        std::string(gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_LONGNAME));
    gst_object_unref(f);
    if (const auto c = ComponentOf(factory.c_str())) {
        text += "\r\n" + c->Name + ", version " + c->Version + "\r\n" + c->File;
    }
    return text;
}

std::vector<TReportLine> SystemReportLines(const TReportFacts& f) {
    using C = TReportColour;
    std::vector<TReportLine> lines;
    bool italic = false;
    const auto add = [&](std::string text, C colour = C::Black) {
        lines.push_back({std::move(text), colour, italic});
    };
    add(f.OperatingSystem + ". ");
    add("GStreamer version " + f.GStreamerVersion + ".");
    add("");
    italic = true;
    add("Filters:", C::Blue);
    if (f.WindowsMediaFound) {
        add("Windows Media Found.");
        for (const auto& c : f.WindowsMedia) {
            add(Described(c), C::Olive);
        }
    } else {
        add("Windows Media not Found.", C::Red);
    }
    if (!f.DivxNames.empty()) {
        add("DivX encoders Found:");
        for (const auto& name : f.DivxNames) {
            add("   " + name, C::Olive);
        }
    } else {
        add("DivX encoder not Found.", C::Red);
    }
    if (f.Mp3EncoderAvailable) {
        add("Mp3 encoder Found:");
        add(Described(f.Mp3Encoder), C::Olive);
    } else {
        add("Mp3 encoder not Found.", C::Red);
    }
    add("");
    add("Sources:", C::Blue);
    for (const auto& [name, offered] : f.Sources) {
        if (offered) {
            add(name + " +");
        } else {
            add(name + " -", C::Red);
        }
    }
    add("");
    if (!f.Plugins.empty()) {
        add("Plug-ins:", C::Blue);
        for (const auto& p : f.Plugins) {
            add(p.Name + " in " + p.File, p.Failed ? C::Red : C::Black);
        }
    }
    return lines;
}

std::string ReportMailText(const std::vector<TReportLine>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line.Text + "\r\n";
    }
    return text;
}

TReportFacts GatherEncoderFacts(const std::vector<std::string>& divxNames,
                                bool mp3EncoderAvailable) {
    TReportFacts f;
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    f.GStreamerVersion =
        std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
    // Wmv needs both encoders and the ASF muxer.
    f.WindowsMediaFound = true;
    for (const char* name : {"avenc_wmv2", "avenc_wmav2", "avmux_asf"}) {
        if (auto c = ComponentOf(name)) {
            f.WindowsMedia.push_back(*c);
        } else {
            f.WindowsMediaFound = false;
        }
    }
    f.DivxNames = divxNames;
    f.Mp3EncoderAvailable = mp3EncoderAvailable;
    if (mp3EncoderAvailable) {
        if (auto c = ComponentOf(kMp3EncoderFactory)) {
            f.Mp3Encoder = *c;
        }
    }
    return f;
}

} // namespace vidorel

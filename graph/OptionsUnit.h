#pragma once

// The Settings panel's rules and the system report, free of widgets: the MP3 bitrate the
// encoder keeps under its own key of the store, and the lines of the report the Help panel
// shows (and the About and error panels mail).

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vidorel {

// --- the MP3 bitrate ---

// The bitrates offered, in kbit/s, as the list shows them ("32" ... "320").
const std::vector<std::string>& Mp3BitrateItems();
// The encoder's stored "Bitrate", read without creating its key; nothing when the key or the
// value is missing.
std::optional<int> StoredMp3Bitrate();
// Stores `text` as the encoder's "Bitrate" (its key made when missing) and answers what was
// stored; text that is not a whole number stores nothing and answers 128, which the list then
// shows.
int StoreMp3Bitrate(const std::string& text);

// --- an encoder's own settings (its property page) ---

// The settings of the page of encoder `factory` kept in the store (name, value as text), in the
// order they were stored; empty when none.
std::vector<std::pair<std::string, std::string>> StoredEncoderSettings(const std::string& factory);
// Replaces them.
void StoreEncoderSettings(const std::string& factory,
                          const std::vector<std::pair<std::string, std::string>>& settings);

// "<long name>" + the plug-in, its version and file, for the "Version" button of an encoder.
std::string EncoderVersionText(const std::string& factory);

// --- the capture format chosen for a video device (its capture pin's page) ---

// The caps chosen for the device of that name, or empty (its own first format).
std::string StoredVideoFormat(const std::string& device);
void StoreVideoFormat(const std::string& device, const std::string& caps);

// --- the system report ---

enum class TReportColour { Black, Blue, Red, Olive };

struct TReportLine {
    std::string Text;
    TReportColour Colour = TReportColour::Black;
    bool Italic = false;
};

struct TReportComponent {
    std::string Name;    // the element ("lamemp3enc")
    std::string File;    // the plug-in file it lives in
    std::string Version; // the plug-in's version
};

struct TReportPlugin {
    std::string Name;
    std::string File;
    bool Failed = false; // it did not load
};

// What the report tells.
struct TReportFacts {
    std::string OperatingSystem;  // "Debian GNU/Linux 12 (bookworm) - kernel 6.1.0-18-amd64"
    std::string GStreamerVersion; // "1.22.0"
    bool WindowsMediaFound = false;
    std::vector<TReportComponent> WindowsMedia; // the encoders and the muxer of Wmv
    std::vector<std::string> DivxNames;         // the compressors listed on the divx page
    bool Mp3EncoderAvailable = false;
    TReportComponent Mp3Encoder;
    std::vector<std::pair<std::string, bool>> Sources; // name, offered (ticked)
    std::vector<TReportPlugin> Plugins;
};

// The report's lines, in order: the system, the GStreamer version, the filters found (missing
// ones in red), the sources (excluded ones in red with " -"), the plug-ins (failed ones in
// red). Lines after the first empty one are italic.
std::vector<TReportLine> SystemReportLines(const TReportFacts& facts);

// The report as the text of a mail: every line followed by CR LF (the mail link encodes them).
std::string ReportMailText(const std::vector<TReportLine>& lines);

// The GStreamer side of the facts: its version, the Windows Media components, the MP3
// encoder's plug-in file and version (what DiscoverEncoders found is given).
TReportFacts GatherEncoderFacts(const std::vector<std::string>& divxNames,
                                bool mp3EncoderAvailable);

} // namespace vidorel

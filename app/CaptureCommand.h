#pragma once

// The recording side of vidorel-capture: the engine of the window without the window. It
// selects the streams, plays the preview graph headless, records one capture run in the chosen
// format (cut into pieces when asked), prints the status while it runs and the files it wrote
// at the end.

#include <optional>
#include <string>
#include <vector>

namespace vidorel {

struct TCaptureOptions {
    std::optional<std::string> Video; // stream name, "none", or unset: the stored one
    std::optional<std::string> Audio;
    std::string DvFile; // a raw DV file played as the tape of a deck
    std::string Format; // long format name
    double Seconds = 0; // 0: until the source ends or a signal
    std::string Output; // empty: named as the window names captures
    bool Scn = false;
    bool Fast = false;
    double CutEvery = 0; // 0: never
    bool SplitScenes = false;
};

// Parses the arguments of a recording run; false with the reason in *why.
bool ParseCaptureOptions(const std::vector<std::string>& args, TCaptureOptions& options,
                         std::string* why);

// Records; the exit status of the program.
int RunCaptureCommand(const TCaptureOptions& options);

// --list: streams, then the formats the stored (or first) pair allows.
int RunListCommand();

} // namespace vidorel

#pragma once

// Checks of media files with the tools a user has (ffprobe) and with GStreamer itself.

#include <QJsonObject>

#include <string>

namespace vidorel::test {

// `ffprobe -show_streams -count_frames -of json` of the file; an empty object when ffprobe
// refuses the file.
QJsonObject ffprobe(const std::string& path);

struct GstRunResult {
    bool reachedEos = false;
    std::string error;
    int videoBuffers = 0;
    int audioBuffers = 0;
};
// Runs a launch line to end of stream. Elements named "vsink" and "asink" (if any) have their
// buffers counted.
GstRunResult runPipeline(const std::string& launchLine, int timeoutSeconds = 60);

} // namespace vidorel::test

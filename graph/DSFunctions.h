#pragma once

// Small graph and system routines: chain removal, filter lookup by class id or friendly name,
// the video compressor list, the two beeps and the media-framework version.

#include "graph/FilterGraph.h"
#include "platform/DiskSpace.h" // DiskFreeBytes lives there

#include <string>
#include <vector>

namespace vidorel {

// Categories: element factory classes ("Codec/Encoder/Video": every word must appear in the
// factory's class) or device classes of the device monitor ("Video/Source", "Audio/Source",
// "Audio/Sink"). A class id is an element factory name; a device's class id is the factory of
// the element it creates.
inline constexpr const char* kVideoCompressorCategory = "Codec/Encoder/Video";
inline constexpr const char* kAudioCompressorCategory = "Codec/Encoder/Audio";
inline constexpr const char* kVideoInputDeviceCategory = "Video/Source";
inline constexpr const char* kAudioInputDeviceCategory = "Audio/Source";
inline constexpr const char* kAudioRendererCategory = "Audio/Sink";

// Removes the chain of elements upstream of `pin` from the graph, up to (not including)
// `stopFilter`: for each input of the pin's element in order, the chain behind it goes first;
// the element itself goes when all its inputs were connected and handled. An element with an
// unconnected input stays (with what is downstream of it). False on any failure.
bool RemoveUpstreamChain(TFilterGraph& graph, GstPad* pin, GstElement* stopFilter);

// What a category holds, in enumeration order (factories: rank, then name; devices: as the
// monitor lists them). The moniker's displayName is the friendly name.
std::vector<TMoniker> EnumerateCategory(const std::string& category);
// The friendly name of an element factory (a few are renamed so users find them: avenc_mpeg4
// is "Xvid-compatible MPEG-4 (libav)", avenc_dvvideo is "DV Video Encoder").
std::string FactoryFriendlyName(GstElementFactory* factory);

// Detach `filter`, then give it the moniker of the first entry of the category whose class id
// (factory name) / friendly name equals the given one. False (filter left detached, moniker
// unchanged) when none does.
bool SelectFilterByClassID(const std::string& category, const std::string& classId,
                           TFilter& filter);
bool SelectFilterByName(const std::string& category, const std::string& friendlyName,
                        TFilter& filter);

// Empties `list` and adds the friendly name of every video encoder. False on failure.
bool ListVideoCompressors(std::vector<std::string>& list);

// Two short distinct tones (PlayBeep0 marks the grab, PlayBeep1 counts down). They play on a
// worker thread and return at once; without a sound device they play into a fake sink.
void PlayBeep0();
void PlayBeep1();
// Waits until every beep asked for has finished (tests, shutdown); false on timeout.
bool WaitForBeeps(int timeoutMs);

// Loads, on a thread of their own, the plug-ins whose first use costs most (the codec library
// behind the DV decoder and the encoders, the DV and AVI plug-ins: a tenth of a second and
// more), so that opening a source or starting a recording does not load them on the window's
// thread. Returns at once; a second call does nothing.
void StartPluginPreload();
// Whether that loading has ended (true when it was never started).
bool PluginsPreloaded();

// The running GStreamer version: "1.22.0" (with " (git)" / " (prerelease)" for such builds).
std::string MediaFrameworkVersionText();
// The numbers of the text; 0 when the text has none.
int MediaFrameworkMajorVersion();
int MediaFrameworkMinorVersion();
// major × 1000 + minor, for comparisons with a required version (1.20 → 1020).
int MediaFrameworkVersionNumber();
// The formatting and parsing behind the above, for any version.
std::string FormatVersionText(unsigned major, unsigned minor, unsigned micro, unsigned nano);
int VersionPart(const std::string& text, int index);

} // namespace vidorel

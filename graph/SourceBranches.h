#pragma once

// The source branches: the part of the graph behind the selected video stream and the selected
// audio stream, up to the preview window and the sound output.
//
//     VideoPin ! [color1] ! Superposer ! infdecvideo ! queue ! Timestamper Video ! color3
//         ! vwEcran
//     AudioPin ! acm ! infdecaudio ! queue ! Timestamper Audio ! audiorender
//
// Capture branches tap the two tees (and the device's NativeTee). Building a branch publishes
// the stream's facts (picture size, frame duration and rate, audio format), the source's
// controls for the settings menus, the crossbar, and binds a camcorder window to a device with
// a tape transport.
//
// Main (UI) thread only. The state the branches publish (the points, facts and controls of the
// open streams, the current streams) lives in the engine object `Tdm`.
//
// Nothing here waits for the graph: an open starts the graph and answers; the stream's format
// is published as soon as its first caps are known.

#include "graph/AVgraph.h"
#include "graph/CrossBar.h"
#include "sources/CaptureSources.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace vidorel {

bool OpenVideoBranch(Tdm& dm, const std::shared_ptr<TVideoSource>& stream);
bool CloseVideoBranch(Tdm& dm, const std::shared_ptr<TVideoSource>& stream, bool releaseSource);
bool OpenAudioBranch(Tdm& dm, const std::shared_ptr<TAudioSource>& stream);
bool CloseAudioBranch(Tdm& dm, const std::shared_ptr<TAudioSource>& stream, bool releaseSource);
// Closes the branches (video, audio) built on a device's streams, releasing its source: what a
// device that vanished needs before it leaves the device lists.
void CloseBranchesOfDevice(Tdm& dm, const std::shared_ptr<TCaptureDevice>& device);
// Makes the refreshes of `lists` close the branches of a vanishing device through `dm`.
void CloseBranchesOnDeviceRemoval(Tdm& dm, TSourceLists& lists);

// Re-reads the facts of the open streams from their links, without waiting: a source that sent
// nothing while its branch was built (a camcorder with its tape stopped) tells them once it
// plays. The capture controller calls it before it plans a capture.
void RefreshStreamFacts(Tdm& dm);

void FindVideoControls(Tdm& dm, const TVideoSource& stream);
void FindAudioControls(Tdm& dm, const TAudioSource& stream);

// --- the rules behind the branches, usable without a graph ---
// Publishes the video facts of a link: size and frame duration when the link carries video
// (else the previous values stay); a duration below 1000 counts as 25 frames per second.
void PublishVideoFacts(TPublishedFacts& published, const TStreamFacts& facts);
// Publishes the audio facts of a link when it carries audio.
void PublishAudioFacts(TPublishedFacts& published, const TStreamFacts& facts);
// The StreamKind of a non-DV video stream from the caps of its native stream: 4 MPEG-2 video,
// 3 MPEG-1, 2 anything else.
uint8_t StreamKindFromNativeCaps(const GstCaps* caps);
// VcrMode and CameraMode from the device type a transport reports.
void ApplyDeviceType(TavFlux& stream, int deviceType);
// Routes "Video Input Select" through the crossbar when it names one of its inputs; -1 or an
// index beyond the inputs leaves the device's routing as it is. True when routed.
bool RouteVideoInputSelect(TCrossbar* crossbar, int videoInputSelect);

// Where FindVideoControls gets the inputs of a source element: by default the V4L2 device a
// v4l2src reads; null for other sources. Replaceable (tests, other input kinds).
using TVideoInputsFinder = std::function<std::shared_ptr<IVideoInputs>(GstElement* source)>;
void SetVideoInputsFinder(TVideoInputsFinder finder);
std::shared_ptr<IVideoInputs> DefaultVideoInputs(GstElement* source);

} // namespace vidorel

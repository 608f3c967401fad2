#include "app/CaptureCommand.h"

#include "app/OutputNames.h"
#include "app/TerminationSignals.h"
#include "devices/DeviceMonitor.h"
#include "devices/DvDeckSrc.h"
#include "devices/DvFile.h"
#include "devices/FireWireAccess.h"
#include "devices/VirtualDevices.h"
#include "filters/DVFrameMeta.h"
#include "graph/AVgraph.h"
#include "graph/CaptureFormats.h"
#include "graph/CaptureRun.h"
#include "graph/Encoders.h"
#include "graph/RunGraph.h"
#include "graph/SourceBranches.h"
#include "settings/Preferences.h"
#include "sources/CaptureSources.h"
#include "sources/Plugin.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

namespace vidorel {

namespace {

constexpr const char* kNone = "none";

void Tell(const std::string& text) {
    std::fprintf(stderr, "vidorel-capture: %s\n", text.c_str());
}

bool ParseSeconds(const std::string& text, double& out) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || errno != 0 || !std::isfinite(v) ||
        v <= 0) {
        return false;
    }
    out = v;
    return true;
}

void LoadPreferences() {
    CreatePreferenceList();
    CreatePreferences();
    // The run works on defaults; the user hears once why the preferences were not used.
    if (const std::string problem = PreferenceStoreProblem(); !problem.empty()) {
        Tell(problem);
    }
}

template <class T>
std::shared_ptr<T> Named(const std::vector<std::shared_ptr<T>>& list, const std::string& name) {
    for (const auto& s : list) {
        if (s->DisplayName == name) {
            return s;
        }
    }
    return nullptr;
}

template <class T>
std::shared_ptr<T> StoredOrFirst(const std::vector<std::shared_ptr<T>>& list,
                                 const std::string& stored) {
    if (auto s = Named(list, stored)) {
        return s;
    }
    return list.empty() ? nullptr : list.front();
}

template <class T>
std::shared_ptr<T> OfDevice(const std::vector<std::shared_ptr<T>>& list,
                            const std::string& friendlyName) {
    for (const auto& s : list) {
        if (s->Device && s->Device->FriendlyName == friendlyName) {
            return s;
        }
    }
    return nullptr;
}

TFormatChoice ChoiceOf(const std::shared_ptr<TVideoSource>& video,
                       const std::shared_ptr<TAudioSource>& audio) {
    TFormatChoice c;
    c.HasVideo = video != nullptr;
    c.HasAudio = audio != nullptr;
    if (video && video->Device) {
        c.VideoMuxedFormat = video->Device->MuxedFormat;
        c.VideoNativeFormat = video->Device->NativeFormat;
    }
    c.AudioOnVideoDevice = video && audio && video->Device == audio->Device;
    c.Mp3EncoderAvailable = Mp3EncoderAvailable();
    return c;
}

// Runs the event loop until `done` answers true or `ms` have passed; answers `done`.
template <class F> bool WaitFor(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!done()) {
            ::usleep(5000);
        }
    }
    return done();
}

// Lists the sources as the window does (minus the excluded ones); false, having told why, when
// they cannot be listed.
bool ListSources(TSourceLists& lists, devices::TDeviceMonitor& monitor) {
    lists.Exclusions = LoadExclusions(prefs::SourcesExclues->Value);
    // The plug-ins first: they claim devices by name at the first listing.
    ScanPlugins(prefs::PluginsDir->Value);
    std::string error;
    if (!monitor.Start(&error)) {
        Tell(error);
        return false;
    }
    // Not a failure of the listing: the other sources work. But a camcorder left out without
    // a word would send the user looking in the wrong place.
    for (const std::string& denied : devices::FireWireAccessProblems()) {
        Tell(denied);
    }
    if (!RefreshSourceLists(lists, monitor)) {
        Tell("Impossible to load the Video sources");
        return false;
    }
    return true;
}

// The graph's events go to the run while there is one; the preview's failures are kept.
class TCommandEvents : public IGraphEvents {
public:
    TCaptureRun* Run = nullptr;
    std::string PreviewError;
    void GraphEvent(const TGraphEvent& e) override {
        if ((e.Kind == TGraphEventKind::Error || e.Kind == TGraphEventKind::DeviceLost) &&
            PreviewError.empty()) {
            PreviewError = e.Text;
        }
        if (Run != nullptr) {
            Run->GraphEvent(e);
        }
    }
};

// SIGUSR1 asks for one picture of an image-by-image capture.
int gGrabPipe[2] = {-1, -1};
void OnGrabSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gGrabPipe[1], &byte, 1);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

GstPadProbeReturn DropBuffer(GstPad*, GstPadProbeInfo*, gpointer) {
    return GST_PAD_PROBE_DROP;
}

// The name of the factory that made `e` ("" when none).
const char* FactoryName(GstElement* e) {
    GstElementFactory* f = e != nullptr ? gst_element_get_factory(e) : nullptr;
    return f != nullptr ? GST_OBJECT_NAME(f) : "";
}

// Buffers meant for `e` alone are dropped where they leave the tee that shares them out, not at
// `e`: the queue, converters and threads between them then do no work for a branch nobody
// uses. Walks upstream through elements of one input and one output, in and out of bins; stops
// at the first tee (a recording may take its other pads) or demuxer. The probe lets caps and
// events through.
void DropFromTheTee(GstElement* e) {
    auto pad = GstPadRef::adopt(gst_element_get_static_pad(e, "sink"));
    for (int hops = 0; pad && hops < 32; ++hops) {
        auto peer = GstPadRef::adopt(gst_pad_get_peer(pad.get()));
        if (!peer) {
            break;
        }
        if (GST_IS_PROXY_PAD(peer.get()) && !GST_IS_GHOST_PAD(peer.get())) {
            // The inside of a bin's sink: go on from the bin's own pad.
            GstProxyPad* ghost = gst_proxy_pad_get_internal(GST_PROXY_PAD(peer.get()));
            if (ghost == nullptr) {
                break;
            }
            pad = GstPadRef::adopt(GST_PAD(ghost));
            continue;
        }
        if (GST_IS_GHOST_PAD(peer.get())) {
            // A bin's source: its element is the one inside.
            peer = GstPadRef::adopt(gst_ghost_pad_get_target(GST_GHOST_PAD(peer.get())));
            if (!peer) {
                break;
            }
        }
        auto up = GstElementRef::adopt(gst_pad_get_parent_element(peer.get()));
        // A demuxer, or any element that feeds more than this branch, is where it stops.
        if (!up || std::strcmp(FactoryName(up.get()), "tee") == 0 || up->numsinkpads != 1 ||
            up->numsrcpads != 1) {
            break;
        }
        auto next = GstPadRef::adopt(gst_element_get_static_pad(up.get(), "sink"));
        if (!next) {
            break;
        }
        pad = std::move(next);
    }
    if (pad) {
        gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, DropBuffer, nullptr, nullptr);
    }
}

// No window shows the preview here: a picture that no recording takes is not decoded.
void StopDecodingThePreview(Tdm& dm) {
    // The preview's decoder sits in the graph itself; a recording's own decoder is inside
    // the recording's bin and is left alone.
    std::vector<GstElementRef> decoders;
    auto it = GstRef<GstIterator>::adopt(gst_bin_iterate_elements(dm.fg().Bin()));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it.get(), &item) == GST_ITERATOR_OK) {
        auto* e = GST_ELEMENT_CAST(g_value_get_object(&item));
        if (g_str_has_prefix(FactoryName(e), "avdec_")) {
            decoders.push_back(GstElementRef::ref(e));
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    // The decoder keeps its caps (the stream's facts are known by now) and gets no more frames.
    for (const auto& d : decoders) {
        DropFromTheTee(d.get());
    }
}

// Nor is a picture converted, or a sound mixed, for a preview there is none of.
void DropThePreview(Tdm& dm) {
    for (GstElement* e : {dm.color3.Element(), dm.audiorender.Element()}) {
        if (e != nullptr) {
            DropFromTheTee(e);
        }
    }
}

// Where the cuts fall, decided on the streaming threads as buffers enter the tees the run
// records from: after every `every` of stream time from the run's first frame, or at the first
// frame of each new camcorder recording. A buffer that reaches a boundary whose cut is not
// armed yet waits there until it is (a deck playing as fast as it can would otherwise run past
// it), so every piece starts exactly where it should, sound included.
struct TCutPlanner {
    static constexpr int kMaxCuts = 100000;
    int64_t every = 0;   // nanoseconds of stream time between cuts, 0: none
    bool scenes = false; // a cut at each new camcorder recording
    GstElement* primaryTee = nullptr;
    std::mutex lock;
    std::condition_variable armed;
    int armedCuts = 0;     // guarded by lock
    bool released = false; // guarded by lock: nothing waits any more
    // Published by the primary tee's thread: the running time of the run's first frame and of
    // each scene start (index k - 1 for cut k).
    std::atomic<int64_t> start{-1};
    std::vector<std::atomic<int64_t>> sceneStarts = std::vector<std::atomic<int64_t>>(256);
    std::atomic<int> sceneCount{0};
    bool first = true; // primary tee's thread only

    // The switch time of cut k, once known.
    int64_t SwitchTime(int k) const {
        if (every > 0) {
            const int64_t s = start.load();
            return s < 0 ? -1 : s + every * k;
        }
        return k <= sceneCount.load() && k - 1 < static_cast<int>(sceneStarts.size())
                   ? sceneStarts[k - 1].load()
                   : -1;
    }

    // The cuts a buffer at `rt` lies beyond.
    int Reached(int64_t rt) const {
        if (every > 0) {
            const int64_t s = start.load();
            return s < 0 || rt < s
                       ? 0
                       : static_cast<int>(std::min<int64_t>((rt - s) / every, kMaxCuts));
        }
        int n = 0;
        const int known = sceneCount.load();
        while (n < known && sceneStarts[n].load() <= rt) {
            ++n;
        }
        return n;
    }

    void OnBuffer(GstPad* pad, GstBuffer* buffer) {
        const int64_t rt = RunningTime(pad, buffer);
        if (rt < 0) {
            return;
        }
        if (GST_PAD_PARENT(pad) == primaryTee) {
            if (first) {
                int64_t expected = -1;
                start.compare_exchange_strong(expected, rt);
            } else if (scenes) {
                const TDVFrameMeta* meta = GetDVFrameMeta(buffer);
                const int n = sceneCount.load();
                if (meta != nullptr && meta->Record.SceneStart &&
                    n < static_cast<int>(sceneStarts.size())) {
                    sceneStarts[n].store(rt);
                    sceneCount.store(n + 1);
                }
            }
            first = false;
        }
        const int reached = Reached(rt);
        std::unique_lock guard(lock);
        // A run that ends lets every buffer go at once; a command that does not answer within
        // seconds does not hold the source for ever.
        armed.wait_for(guard, std::chrono::seconds(5),
                       [&] { return released || armedCuts >= reached; });
    }

    static int64_t RunningTime(GstPad* pad, GstBuffer* buffer) {
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        if (!GST_CLOCK_TIME_IS_VALID(pts)) {
            return -1;
        }
        auto event = GstRef<GstEvent>::adopt(gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0));
        if (!event) {
            return static_cast<int64_t>(pts);
        }
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event.get(), &segment);
        const guint64 rt = gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts);
        return GST_CLOCK_TIME_IS_VALID(rt) ? static_cast<int64_t>(rt) : -1;
    }

    void Armed(int cuts) {
        std::lock_guard guard(lock);
        armedCuts = cuts;
        armed.notify_all();
    }
    void Release() {
        std::lock_guard guard(lock);
        released = true;
        armed.notify_all();
    }
};

} // namespace

bool ParseCaptureOptions(const std::vector<std::string>& args, TCaptureOptions& o,
                         std::string* why) {
    auto fail = [why](const std::string& text) {
        if (why != nullptr) {
            *why = text;
        }
        return false;
    };
    bool haveFormat = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--scn") {
            o.Scn = true;
        } else if (a == "--fast") {
            o.Fast = true;
        } else if (a == "--split-scenes") {
            o.SplitScenes = true;
        } else if (a == "--video" || a == "--audio" || a == "--dv-file" || a == "--format" ||
                   a == "--seconds" || a == "--output" || a == "--cut-every") {
            if (!value(v)) {
                return fail(a + " needs a value");
            }
            if (a == "--video") {
                o.Video = v;
            } else if (a == "--audio") {
                o.Audio = v;
            } else if (a == "--dv-file") {
                o.DvFile = v;
            } else if (a == "--format") {
                o.Format = v;
                haveFormat = true;
            } else if (a == "--output") {
                o.Output = v;
            } else if (a == "--seconds" && !ParseSeconds(v, o.Seconds)) {
                return fail("--seconds needs a number of seconds above 0, not \"" + v + "\"");
            } else if (a == "--cut-every" && !ParseSeconds(v, o.CutEvery)) {
                return fail("--cut-every needs a number of seconds above 0, not \"" + v + "\"");
            }
        } else {
            return fail("unknown argument \"" + a + "\"");
        }
    }
    if (!haveFormat) {
        return fail("--format is needed");
    }
    if (o.Fast && o.DvFile.empty()) {
        return fail("--fast needs --dv-file");
    }
    if (!o.Output.empty() && o.Output.back() == '/') {
        return fail("--output names a file, not a folder");
    }
    return true;
}

int RunListCommand() {
    LoadPreferences();
    TSourceLists lists;
    devices::TDeviceMonitor monitor;
    if (!ListSources(lists, monitor)) {
        return 2;
    }
    for (const auto& s : lists.VideoStreams) {
        std::printf("video: %s\n", s->DisplayName.c_str());
    }
    for (const auto& s : lists.AudioStreams) {
        std::printf("audio: %s\n", s->DisplayName.c_str());
    }
    const std::string storedVideo = prefs::SourceVideo->Value;
    const std::string storedAudio = prefs::SourceAudio->Value;
    auto video =
        storedVideo == "No video stream" ? nullptr : StoredOrFirst(lists.VideoStreams, storedVideo);
    auto audio =
        storedAudio == "No Audio Stream" ? nullptr : StoredOrFirst(lists.AudioStreams, storedAudio);
    for (TCaptureFormat f : OfferedCaptureFormats(ChoiceOf(video, audio))) {
        std::printf("format: %s\n", CaptureFormatName(f).c_str());
    }
    if (std::fflush(stdout) != 0) {
        return 2;
    }
    // A list cut short for want of a resource must not pass for a complete one.
    if (const std::string problem = devices::TapeScanProblem(); !problem.empty()) {
        Tell(problem);
        return 2;
    }
    return 0;
}

int RunCaptureCommand(const TCaptureOptions& o) {
    LoadPreferences();
    const TCaptureFormat format = CaptureFormatFromName(o.Format);
    if (CaptureFormatName(format) != o.Format || format == CaptureFormat::None ||
        format == CaptureFormat::Default || format == CaptureFormat::DefaultOld) {
        Tell("unknown capture format \"" + o.Format + "\" (vidorel-capture --list names them)");
        return 2;
    }

    // A DV file becomes the tape of a deck of its own.
    std::string deckName;
    if (!o.DvFile.empty()) {
        std::string why;
        if (!devices::TDvFileTape::Open(o.DvFile, &why)) {
            Tell("cannot play " + o.DvFile + ": " + why);
            return 2;
        }
        deckName = "DV file " + std::filesystem::path(o.DvFile).filename().string();
        devices::AddVirtualDevice(deckName, devices::VirtualKind::DvDeck,
                                  std::filesystem::absolute(o.DvFile).string());
    }

    TSourceLists lists;
    devices::TDeviceMonitor monitor;
    if (!ListSources(lists, monitor)) {
        return 2;
    }

    // The streams: named, "none", the DV file's, or the stored ones (else the first).
    std::shared_ptr<TVideoSource> video;
    std::shared_ptr<TAudioSource> audio;
    if (o.Video && *o.Video != kNone) {
        if (!(video = Named(lists.VideoStreams, *o.Video))) {
            Tell("no video stream named \"" + *o.Video + "\" (vidorel-capture --list names them)");
            return 2;
        }
    } else if (!o.Video && !deckName.empty()) {
        video = OfDevice(lists.VideoStreams, deckName);
    } else if (!o.Video && CaptureFormatHasVideo(format)) {
        video = StoredOrFirst(lists.VideoStreams, prefs::SourceVideo->Value);
    }
    if (o.Audio && *o.Audio != kNone) {
        if (!(audio = Named(lists.AudioStreams, *o.Audio))) {
            Tell("no audio stream named \"" + *o.Audio + "\" (vidorel-capture --list names them)");
            return 2;
        }
    } else if (!o.Audio && !deckName.empty()) {
        audio = OfDevice(lists.AudioStreams, deckName);
    } else if (!o.Audio && CaptureFormatHasAudio(format)) {
        audio = StoredOrFirst(lists.AudioStreams, prefs::SourceAudio->Value);
    }
    if (!deckName.empty() && !video && !audio) {
        Tell("the deck of " + o.DvFile + " did not appear among the sources");
        return 2;
    }

    Tdm dm(TEngineOptions{true, o.Fast});
    // The inlay, flips and deinterlacing of the window go into the recordings here too.
    ApplyStoredEffects(dm);
    TCommandEvents events;
    dm.fg().SetEventReceiver(&events);
    DiscoverEncoders(prefs::DivxFavori->Value, dm.divx, dm.mp3);

    const auto offered = OfferedCaptureFormats(ChoiceOf(video, audio));
    if (std::find(offered.begin(), offered.end(), format) == offered.end()) {
        std::string list;
        for (TCaptureFormat f : offered) {
            list += (list.empty() ? "" : ", ") + CaptureFormatName(f);
        }
        Tell("the format \"" + o.Format + "\" cannot record " +
             (video ? "\"" + video->DisplayName + "\"" : std::string("no video")) + " with " +
             (audio ? "\"" + audio->DisplayName + "\"" : std::string("no audio")) +
             (list.empty() ? std::string(": nothing can") : "; these can: " + list));
        return 2;
    }
    if (video && !OpenVideoBranch(dm, video)) {
        Tell("the video stream \"" + video->DisplayName + "\" cannot be opened");
        return 1;
    }
    if (audio && !OpenAudioBranch(dm, audio)) {
        Tell("the audio stream \"" + audio->DisplayName + "\" cannot be opened");
        return 1;
    }
    if (!RunGraph(dm)) {
        Tell("the sources cannot start: " + dm.fg().LastError());
        return 1;
    }

    // A deck of ours plays; a file deck from the start of its tape, once the stream's format
    // is known.
    std::shared_ptr<devices::TTapeDeck> deck =
        dm.VideoSourceFilter ? devices::DvDeckOf(dm.VideoSourceFilter.get()) : nullptr;
    if (!deck && dm.AudioSourceFilter) {
        deck = devices::DvDeckOf(dm.AudioSourceFilter.get());
    }
    if (deck && !deckName.empty()) {
        deck->Cue(0);
        deck->SetMode(devices::ED_MODE_PLAY);
    } else if (deck && deck->Mode() == devices::ED_MODE_STOP) {
        deck->SetMode(devices::ED_MODE_PLAY);
    }
    const bool factsKnown = WaitFor(
        [&] {
            RefreshStreamFacts(dm);
            return (!video || dm.Facts.FrameWidth > 0) && (!audio || dm.Facts.AudioRate > 0) &&
                   events.PreviewError.empty();
        },
        10000);
    if (!events.PreviewError.empty()) {
        Tell("the sources failed: " + events.PreviewError);
        return 1;
    }
    if (!factsKnown) {
        Tell("the sources sent nothing within 10 seconds");
        return 1;
    }
    GstElement* deckSource = nullptr;
    if (deck && !deckName.empty()) {
        deck->SetMode(devices::ED_MODE_STOP);
        deck->Cue(0);
        // What the deck sent to find the format leaves the preview's queues before the
        // recording taps them: the file starts with the tape's first frame.
        WaitFor([] { return false; }, 300);
        deckSource = dm.VideoSourceFilter ? dm.VideoSourceFilter.get() : dm.AudioSourceFilter.get();
    }

    DropThePreview(dm);

    TCaptureSettings settings = CaptureSettingsFromPreferences();
    settings.Scn = settings.Scn || o.Scn;
    settings.Unpaced = o.Fast;
    settings.FixedEffects = true;
    dm.SeparateAudio = SeparateAudioFor(format, video != nullptr, audio != nullptr,
                                        video && audio && video->Device == audio->Device);

    // The names of the pieces.
    const TDateTime startup = Now();
    int counter = 0;
    int piece = 1;
    auto nextName = [&]() -> std::string {
        if (!o.Output.empty()) {
            return piece == 1 ? o.Output : PieceFileName(o.Output, piece);
        }
        // Never over a file of an earlier run: the window would ask, a script cannot.
        std::string name;
        do {
            name = VideoFileName(prefs::VideoDirectory->Value, prefs::VideoRacine->Value,
                                 prefs::VideoDate->Value, startup, counter++, format);
        } while (Exists(name));
        return name;
    };
    std::string first = nextName();
    const std::string folder = FolderOf(first);
    if (!IsFolder(folder)) {
        std::error_code ec;
        if (!o.Output.empty() || !std::filesystem::create_directories(folder, ec)) {
            Tell("the folder " + folder + " does not exist" +
                 (ec ? " and cannot be created (" + ec.message() + ")" : std::string()));
            return 2;
        }
    }

    TCaptureRun run(dm, format, settings);
    events.Run = &run;
    std::string why;
    if (!run.Start(first, &why)) {
        events.Run = nullptr;
        Tell("cannot record into " + first + ": " + why);
        return 1;
    }
    const auto tees = run.InputTees();
    if (std::find(tees.begin(), tees.end(), dm.infdecvideo.Element()) == tees.end()) {
        StopDecodingThePreview(dm);
    }

    bool stopRequested = false;
    bool finished = false;
    TCaptureOutcome outcome;
    std::shared_ptr<TCutPlanner> cutPlanner;
    auto stop = [&] {
        if (stopRequested) {
            return;
        }
        stopRequested = true;
        if (cutPlanner) {
            cutPlanner->Release();
        }
        run.Stop([&](const TCaptureOutcome& result) {
            outcome = result;
            finished = true;
        });
    };
    run.SetOnEnded([&](const std::string&) { stop(); });
    QObject context;
    OnTerminationSignals(&context, stop);
    if (format == CaptureFormat::ImageByImage && gGrabPipe[0] < 0 &&
        ::pipe2(gGrabPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto* grabs = new QSocketNotifier(gGrabPipe[0], QSocketNotifier::Read, &context);
        QObject::connect(grabs, &QSocketNotifier::activated, &context, [&run] {
            char byte;
            while (::read(gGrabPipe[0], &byte, 1) > 0) {
                run.RequestImage();
            }
        });
        struct sigaction sa {};
        sa.sa_handler = &OnGrabSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGUSR1, &sa, nullptr);
    }

    // Cuts: by stream time from the first frame of the run, or at each new DV recording. The
    // frames are numbered into boundaries where they enter the tee the run records from; a
    // frame that reaches a boundary whose cut is not armed yet waits there until it is (a deck
    // playing as fast as it can would otherwise run past it), so every piece is exact.
    auto planner = std::make_shared<TCutPlanner>();
    cutPlanner = planner;
    planner->every = std::llround(o.CutEvery * 1e9);
    planner->scenes = o.SplitScenes;
    planner->primaryTee = run.PrimaryTee();
    if (o.CutEvery > 0 || o.SplitScenes) {
        for (GstElement* tee : run.InputTees()) {
            auto pad = GstPadRef::adopt(gst_element_get_static_pad(tee, "sink"));
            gst_pad_add_probe(
                pad.get(), GST_PAD_PROBE_TYPE_BUFFER,
                +[](GstPad* pad, GstPadProbeInfo* info, gpointer data) {
                    (*static_cast<std::shared_ptr<TCutPlanner>*>(data))
                        ->OnBuffer(pad, GST_PAD_PROBE_INFO_BUFFER(info));
                    return GST_PAD_PROBE_OK;
                },
                new std::shared_ptr<TCutPlanner>(planner),
                [](gpointer data) { delete static_cast<std::shared_ptr<TCutPlanner>*>(data); });
        }
    }
    int cuts = 0;
    auto armCut = [&] {
        if (stopRequested || run.CutPending() || (o.CutEvery <= 0 && !o.SplitScenes)) {
            return;
        }
        const int k = cuts + 1;
        TCutBoundary boundary = [planner, k](GstBuffer*, int64_t, bool) {
            return planner->SwitchTime(k);
        };
        ++piece;
        const std::string next = nextName();
        std::string cutWhy;
        if (!run.Cut(next, &cutWhy, std::move(boundary))) {
            --piece;
            Tell("cannot cut into " + next + ": " + cutWhy);
            stop();
            return;
        }
        ++cuts;
        planner->Armed(cuts);
    };
    armCut();

    if (deckSource != nullptr) {
        g_object_set(deckSource, "eos-at-end", TRUE, "fast", o.Fast ? TRUE : FALSE, nullptr);
        deck->SetMode(devices::ED_MODE_PLAY);
    }

    const bool tty = ::isatty(STDOUT_FILENO) == 1;
    QElapsedTimer clock;
    clock.start();
    qint64 lastStatus = -100000;
    auto seconds = [&]() -> double {
        return o.Fast ? double(run.StreamTimeNs()) / 1e9 : double(clock.elapsed()) / 1000.0;
    };
    auto status = [&] {
        const std::string line = CaptureDurationText(static_cast<int64_t>(seconds())) + " - " +
                                 CaptureInfoText(format, run.LostFrames(),
                                                 run.Frames() + run.LostFrames(), run.Frames());
        if (tty) {
            std::printf("\r%s\033[K", line.c_str());
        } else {
            std::printf("%s\n", line.c_str());
        }
        std::fflush(stdout);
    };
    // The checks run from a timer; in between the program sleeps in the event loop.
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (finished) {
            loop.quit();
            return;
        }
        if (!stopRequested && o.Seconds > 0 && seconds() >= o.Seconds) {
            stop();
        }
        armCut();
        if (clock.elapsed() - lastStatus >= (tty ? 500 : 5000)) {
            lastStatus = clock.elapsed();
            status();
        }
    });
    tick.start(20);
    if (!finished) {
        loop.exec();
    }
    tick.stop();
    status();
    if (tty) {
        std::printf("\n");
    }
    events.Run = nullptr;
    dm.fg().Stop();

    bool wrote = false;
    for (const auto& p : outcome.Pieces) {
        if (p.Removed) {
            continue;
        }
        wrote = true;
        std::printf("wrote %s\n", p.File.c_str());
        if (!p.SceneFile.empty()) {
            std::printf("wrote %s\n", p.SceneFile.c_str());
        }
    }
    std::fflush(stdout);
    for (const auto& p : outcome.Pieces) {
        if (p.Restored) {
            Tell(p.File + ": its folder was removed during the capture; the file has been "
                          "written there again");
        }
        if (!p.Error.empty() && !p.Removed) {
            Tell(p.File + ": " + p.Error +
                 (p.Repaired ? " (what was recorded has been kept readable)" : ""));
        }
    }
    if (!wrote) {
        Tell("nothing was recorded" +
             (outcome.Ended.empty() || outcome.Ended == "nothing was recorded"
                  ? std::string()
                  : ": " + outcome.Ended));
        return 1;
    }
    if (outcome.Failed) {
        std::string reason = outcome.Ended;
        for (const auto& p : outcome.Pieces) {
            if (reason.empty() && !p.Error.empty()) {
                reason = p.Error;
            }
        }
        Tell("the capture failed" + (reason.empty() ? std::string() : ": " + reason));
        return 1;
    }
    return 0;
}

} // namespace vidorel

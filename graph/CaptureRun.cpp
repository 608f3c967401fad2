#include "graph/CaptureRun.h"

#include "files/AviFixup.h"
#include "files/CaptureRepair.h"
#include "files/ecrire_scnUnit.h"
#include "files/fpsunit.h"
#include "filters/DVFrameMeta.h"
#include "filters/zv_Controlunit.h"
#include "graph/CaptureFormats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

GST_DEBUG_CATEGORY_STATIC(vidorel_capture_debug);
#define GST_CAT_DEFAULT vidorel_capture_debug

namespace vidorel {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Whether `path` still names the file open as `fd` (its folder may have been removed, or the
// file replaced, while it recorded).
bool StillNamed(int fd, const std::string& path) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Writes the data of the open file `fd` under `path` again, its folder made anew, through a
// temporary name. False, with the reason, when it cannot.
bool WriteAgain(int fd, const std::string& path, std::string* why) {
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        std::error_code ec;
        std::filesystem::create_directories(path.substr(0, slash), ec);
    }
    const std::string part = path + ".part";
    const int out = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        *why = std::string("cannot write ") + part + ": " + std::strerror(errno);
        return false;
    }
    std::vector<char> chunk(1 << 20);
    off_t at = 0;
    bool ok = true;
    for (;;) {
        const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, chunk.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) {
            break;
        }
        at += n;
    }
    if (!ok) {
        *why = std::string("cannot write ") + part + ": " + std::strerror(errno);
    }
    ok = ::close(out) == 0 && ok;
    if (ok && ::rename(part.c_str(), path.c_str()) != 0) {
        *why = std::string("cannot rename ") + part + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        std::remove(part.c_str());
    }
    return ok;
}

void InitDebug() {
    static const bool once = [] {
        GST_DEBUG_CATEGORY_INIT(vidorel_capture_debug, "vidorelcapture", 0, "Vidorel capture runs");
        return true;
    }();
    (void)once;
}

} // namespace

// What the streaming thread counts for one piece, and its scene index.
struct TCaptureRun::Counter {
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> lost{0};
    std::atomic<int64_t> first{-1};
    std::atomic<int64_t> end{-1};
    // Streaming thread only (and the graph's thread once the piece has left the graph).
    GstClockTime lastPts = GST_CLOCK_TIME_NONE;
    bool scenes = false;
    TSceneFileWriter writer;
    uint32_t sceneStart = 1;

    void OnBuffer(GstBuffer* buffer) {
        const uint64_t index = frames.load(std::memory_order_relaxed);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        const GstClockTime duration = GST_BUFFER_DURATION(buffer);
        if (GST_CLOCK_TIME_IS_VALID(pts)) {
            if (index == 0) {
                first.store(static_cast<int64_t>(pts));
            }
            // A source that skipped frames leaves a gap in the times of what it sent.
            if (GST_CLOCK_TIME_IS_VALID(lastPts) && GST_CLOCK_TIME_IS_VALID(duration) &&
                duration > 0 && pts > lastPts) {
                const double periods = double(pts - lastPts) / double(duration);
                if (periods > 1.5) {
                    lost.fetch_add(static_cast<uint64_t>(std::llround(periods)) - 1);
                }
            }
            lastPts = pts;
            end.store(
                static_cast<int64_t>(pts + (GST_CLOCK_TIME_IS_VALID(duration) ? duration : 0)));
        }
        if (scenes && index > 0) {
            if (const TDVFrameMeta* meta = GetDVFrameMeta(buffer);
                meta != nullptr && meta->Record.SceneStart) {
                // As the scene detector tells a scene: from its start to this frame.
                TDVFrameInfo start;
                TDVFrameInfo next;
                start.FrameNumber = sceneStart;
                next.FrameNumber = static_cast<uint32_t>(index);
                writer.WriteScene(start, next);
                sceneStart = static_cast<uint32_t>(index);
            }
        }
        frames.fetch_add(1, std::memory_order_relaxed);
    }

    // The last scene, once nothing more comes.
    void CloseScenes() {
        if (!writer.SceneFileOpen()) {
            return;
        }
        const uint64_t n = frames.load();
        if (n > 0) {
            TDVFrameInfo start;
            TDVFrameInfo next;
            start.FrameNumber = sceneStart;
            next.FrameNumber = static_cast<uint32_t>(n);
            writer.WriteScene(start, next);
        }
        writer.CloseSceneFile();
    }
};

struct TCaptureRun::Piece {
    size_t index = 0; // into m_pieces
    TCapturePlan plan;
    std::shared_ptr<Counter> counter;
    bool existedBefore = false;
    bool done = false;
    // Ended because one of its streams never started: nothing of it is kept.
    bool silent = false;
    // The file, held open from when it records: its data outlives a removal of its folder.
    int keep = -1;
    ~Piece() {
        if (keep >= 0) {
            ::close(keep);
        }
    }
};

uint64_t TotalFrames(const TCaptureOutcome& outcome) {
    uint64_t n = 0;
    for (const auto& p : outcome.Pieces) {
        n += p.Frames;
    }
    return n;
}

std::string SceneFileNameFor(const std::string& clip) {
    const size_t slash = clip.find_last_of('/');
    const size_t dot = clip.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return clip + ".scn";
    }
    return clip.substr(0, dot) + ".scn";
}

TCaptureRun::TCaptureRun(Tdm& dm, TCaptureFormat format, TCaptureSettings settings)
    : m_dm(dm), m_format(format), m_settings(std::move(settings)) {
    InitDebug();
}

TCaptureRun::~TCaptureRun() {
    *m_alive = false;
    if (m_silentWatch != 0) {
        g_source_remove(m_silentWatch);
    }
    // A run dropped while recording leaves nothing in the graph: its pieces are finished.
    for (auto& piece : std::vector(m_live)) {
        piece->plan.Branch->FinishAndWait(std::chrono::seconds(5));
        if (!piece->done) {
            piece->done = true;
            Finalize(*piece);
        }
    }
}

std::string TCaptureRun::NextBranchName() {
    std::string name;
    do {
        name = "Capture" + std::to_string(++m_names);
    } while (m_dm.fg().FindFilter(name));
    return name;
}

std::shared_ptr<TCaptureRun::Piece> TCaptureRun::Build(const std::string& fileName,
                                                       std::string* why) {
    auto piece = std::make_shared<Piece>();
    piece->existedBefore = Exists(fileName);
    try {
        piece->plan = BuildCapturePlan(m_format, m_dm, m_settings, fileName, NextBranchName());
    } catch (const EGraphError& e) {
        if (why != nullptr) {
            *why = e.Text();
        }
        return nullptr;
    } catch (const std::exception& e) {
        if (why != nullptr) {
            *why = e.what();
        }
        return nullptr;
    }
    piece->counter = std::make_shared<Counter>();
    TCapturePiece record;
    record.File = fileName;
    if (m_settings.Scn && piece->plan.DvRecords && m_format != CaptureFormat::Wav &&
        m_format != CaptureFormat::Mp3) {
        record.SceneFile = SceneFileNameFor(fileName);
    }
    piece->index = m_pieces.size();
    m_pieces.push_back(record);
    return piece;
}

void TCaptureRun::Prepare(const std::shared_ptr<Piece>& piece) {
    TCapturePiece& record = m_pieces[piece->index];
    auto counter = piece->counter;
    if (!record.SceneFile.empty()) {
        counter->scenes = counter->writer.OpenSceneFile(record.SceneFile);
        if (!counter->scenes) {
            GST_WARNING("the scene index %s cannot be written", record.SceneFile.c_str());
            record.SceneFile.clear();
        }
    }
    if (piece->plan.FramesPad) {
        gst_pad_add_probe(
            piece->plan.FramesPad.get(), GST_PAD_PROBE_TYPE_BUFFER,
            +[](GstPad*, GstPadProbeInfo* info, gpointer data) {
                (*static_cast<std::shared_ptr<Counter>*>(data))
                    ->OnBuffer(GST_PAD_PROBE_INFO_BUFFER(info));
                return GST_PAD_PROBE_OK;
            },
            new std::shared_ptr<Counter>(counter),
            [](gpointer data) { delete static_cast<std::shared_ptr<Counter>*>(data); });
    }
}

void TCaptureRun::Discard(const std::shared_ptr<Piece>& piece) {
    TCapturePiece& record = m_pieces[piece->index];
    piece->counter->writer.CloseSceneFile();
    if (!record.SceneFile.empty()) {
        std::remove(record.SceneFile.c_str());
    }
    // The writer may have created its file before the branch gave up.
    if (!piece->existedBefore) {
        std::remove(record.File.c_str());
    }
    m_pieces.pop_back();
}

void TCaptureRun::Adopt(const std::shared_ptr<Piece>& piece) {
    // The writer has made its file when its branch was attached.
    piece->keep = ::open(m_pieces[piece->index].File.c_str(), O_RDONLY | O_CLOEXEC);
    m_live.push_back(piece);
    m_counters.push_back(piece->counter);
    m_current = piece;
}

bool TCaptureRun::Start(const std::string& fileName, std::string* why) {
    if (m_started) {
        if (why != nullptr) {
            *why = "the capture has already started";
        }
        return false;
    }
    auto piece = Build(fileName, why);
    if (!piece) {
        return false;
    }
    Prepare(piece);
    try {
        piece->plan.Branch->Attach(m_dm.fg());
    } catch (const EGraphError& e) {
        if (why != nullptr) {
            *why = e.Text();
        }
        Discard(piece);
        return false;
    }
    Adopt(piece);
    m_started = true;
    WatchSourceEnd();
    WatchSilentInputs();
    // Written only when GST_DEBUG_DUMP_DOT_DIR names a folder, as for any GStreamer program.
    m_dm.fg().DumpDot("vidorel-capture-started");
    GST_INFO("capture into %s started", fileName.c_str());
    return true;
}

void TCaptureRun::WatchSourceEnd() {
    // A piece attached after the source's end-of-stream passed the tees (a cut armed just
    // then) would wait for ever: once the end has passed every tee the run records from, all
    // there is to record is in the pieces' queues, and the run ends.
    std::weak_ptr<bool> alive = m_alive;
    const std::vector<GstElement*> tees = m_current->plan.Branch->InputTees();
    m_teesToEnd = static_cast<int>(tees.size());
    for (GstElement* tee : tees) {
        auto pad = GstPadRef::adopt(gst_element_get_static_pad(tee, "sink"));
        if (!pad) {
            continue;
        }
        struct Watch {
            std::weak_ptr<bool> alive;
            TCaptureRun* run;
        };
        gst_pad_add_probe(
            pad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
            +[](GstPad*, GstPadProbeInfo* info, gpointer data) {
                if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_EOS) {
                    return GST_PAD_PROBE_OK;
                }
                auto* w = static_cast<Watch*>(data);
                if (w->alive.lock()) {
                    TCaptureRun* run = w->run;
                    std::weak_ptr<bool> alive = w->alive;
                    run->m_dm.fg().Post([run, alive] {
                        if (alive.lock()) {
                            run->SourceEnded();
                        }
                    });
                }
                return GST_PAD_PROBE_REMOVE;
            },
            new Watch{alive, this}, [](gpointer data) { delete static_cast<Watch*>(data); });
    }
}

void TCaptureRun::WatchSilentInputs() {
    // Half the recording queue's three seconds: soon enough that no tee is ever held, late
    // enough for a sound card to open.
    constexpr guint kPatienceMs = 1500;
    struct Watch {
        TCaptureRun* run;
        std::weak_ptr<bool> alive;
    };
    m_silentWatch = g_timeout_add_full(
        G_PRIORITY_DEFAULT, kPatienceMs,
        +[](gpointer data) -> gboolean {
            auto* watch = static_cast<Watch*>(data);
            if (watch->alive.lock()) {
                watch->run->m_silentWatch = 0;
                watch->run->CheckSilentInputs();
            }
            return G_SOURCE_REMOVE;
        },
        new Watch{this, m_alive}, [](gpointer data) { delete static_cast<Watch*>(data); });
}

void TCaptureRun::CheckSilentInputs() {
    if (!m_current || m_stopping || m_told || m_live.size() != 1) {
        return;
    }
    const auto& branch = m_current->plan.Branch;
    bool someFlow = false;
    const char* silent = nullptr;
    for (TInputRole role : {TInputRole::Video, TInputRole::Audio, TInputRole::Native}) {
        if (branch->InputTee(role) == nullptr) {
            continue;
        }
        if (branch->Buffers(role) > 0) {
            someFlow = true;
        } else if (silent == nullptr) {
            silent = role == TInputRole::Audio ? "sound" : "picture";
        }
    }
    // Nothing at all (a tape not yet playing) is fine: nothing waits on anything.
    if (!someFlow || silent == nullptr) {
        return;
    }
    const bool sound = std::string(silent) == "sound";
    m_ended = std::string("no ") + silent +
              " came from its source (a stopped tape, a muted device?), and the file cannot be "
              "written without it. Start that source first, or choose \"" +
              (sound ? "No Audio Stream" : "No video stream") + "\" to record without it";
    GST_WARNING("%s", m_ended.c_str());
    auto piece = m_current;
    piece->silent = true;
    std::weak_ptr<bool> alive = m_alive;
    branch->Abort([this, alive, piece](const TRecordingResult& result) {
        if (alive.lock()) {
            PieceDone(piece, result);
        }
    });
}

void TCaptureRun::SourceEnded() {
    if (--m_teesToEnd > 0 || m_stopping || m_told) {
        return;
    }
    if (m_ended.empty()) {
        m_ended = "the source ended";
    }
    m_told = true;
    if (m_onEnded) {
        m_onEnded(m_ended);
    }
}

bool TCaptureRun::Cut(const std::string& nextFile, std::string* why, TCutBoundary boundary) {
    if (!Running() || !m_current) {
        if (why != nullptr) {
            *why = "no capture is running";
        }
        return false;
    }
    if (m_current->plan.Branch->CutPending()) {
        if (why != nullptr) {
            *why = "a cut is already waiting";
        }
        return false;
    }
    auto old = m_current;
    auto piece = Build(nextFile, why);
    if (!piece) {
        return false;
    }
    Prepare(piece);
    std::weak_ptr<bool> alive = m_alive;
    try {
        old->plan.Branch->CutTo(
            piece->plan.Branch,
            [this, alive, old](const TRecordingResult& result) {
                if (alive.lock()) {
                    PieceDone(old, result);
                }
            },
            std::move(boundary));
    } catch (const EGraphError& e) {
        if (why != nullptr) {
            *why = e.Text();
        }
        Discard(piece);
        return false;
    }
    Adopt(piece);
    GST_INFO("capture cut into %s", nextFile.c_str());
    return true;
}

bool TCaptureRun::CutPending() const {
    for (const auto& piece : m_live) {
        if (piece->plan.Branch->CutPending()) {
            return true;
        }
    }
    return false;
}

void TCaptureRun::Stop(std::function<void(const TCaptureOutcome&)> done) {
    m_done = std::move(done);
    m_stopping = true;
    std::weak_ptr<bool> alive = m_alive;
    // The piece waiting for its boundary first, so the one before it ends now.
    for (auto it = m_live.rbegin(); it != m_live.rend(); ++it) {
        auto piece = *it;
        piece->plan.Branch->Finish([this, alive, piece](const TRecordingResult& result) {
            if (alive.lock()) {
                PieceDone(piece, result);
            }
        });
    }
    CheckDone();
}

void TCaptureRun::PieceDone(const std::shared_ptr<Piece>& piece, const TRecordingResult& result) {
    if (piece->done) {
        return;
    }
    piece->done = true;
    TCapturePiece& record = m_pieces[piece->index];
    record.Finished = result.Finished;
    if (!result.Finished && record.Error.empty()) {
        record.Error = result.Error;
    }
    Finalize(*piece);
    std::erase(m_live, piece);
    GST_INFO("capture piece %s done: %" G_GUINT64_FORMAT " frames%s", record.File.c_str(),
             record.Frames, record.Finished ? "" : " (not finished)");
    if (piece == m_current && !m_stopping && !m_told) {
        // The piece being written ended by itself: the source ended, or it failed.
        if (m_ended.empty()) {
            m_ended = record.Error.empty() ? "the source ended" : record.Error;
        }
        m_told = true;
        if (m_onEnded) {
            m_onEnded(m_ended);
        }
    }
    CheckDone();
}

void TCaptureRun::Finalize(Piece& piece) {
    TCapturePiece& record = m_pieces[piece.index];
    Counter& c = *piece.counter;
    c.CloseScenes();
    record.Frames = c.frames.load();
    record.LostFrames = c.lost.load();
    const int64_t first = c.first.load();
    const int64_t end = c.end.load();
    record.DurationNs = first >= 0 && end >= first ? end - first : 0;
    if (piece.silent) {
        record.Frames = 0; // the writer never began: there is no file to keep
    }
    if (piece.keep >= 0 && record.Frames > 0 && !StillNamed(piece.keep, record.File)) {
        // Its folder went away while it recorded: what the writer wrote is still in the open
        // file, and goes back under its name.
        std::string why;
        record.Restored = WriteAgain(piece.keep, record.File, &why);
        if (!record.Restored) {
            record.Error = "its folder was removed during the capture, and " + why;
            m_failed = true;
            GST_WARNING("%s: %s", record.File.c_str(), record.Error.c_str());
        }
    }
    if (piece.keep >= 0) {
        ::close(piece.keep);
        piece.keep = -1;
    }
    if (record.Frames == 0) {
        // Nothing was recorded: no empty file is left to pass for a capture.
        if (!piece.existedBefore || Exists(record.File)) {
            std::remove(record.File.c_str());
        }
        if (!record.SceneFile.empty()) {
            std::remove(record.SceneFile.c_str());
            record.SceneFile.clear();
        }
        record.Removed = true;
        return;
    }
    if (!record.Finished) {
        m_failed = true;
        // What the failed writer left (no index, placeholder sizes) is made readable; our
        // type-1 writer has already saved what it could and is left as it is.
        const TRepairReport repair = RepairCapture(record.File, false);
        record.Repaired = repair.ExitStatus == 0;
        if (repair.ExitStatus != 0) {
            GST_WARNING("%s", repair.Message.c_str());
        }
    }
    switch (piece.plan.Fix) {
    case TCapturePlan::Fixup::DvsdHandler:
        ApplyAviFixup(record.File, TAviFixup::DvsdHandler);
        break;
    case TCapturePlan::Fixup::XvidFourcc:
        ApplyAviFixup(record.File, TAviFixup::XvidFourcc);
        break;
    case TCapturePlan::Fixup::None:
        break;
    }
    if (m_format == CaptureFormat::ImageByImage) {
        PatchAviFrameRate(record.File, m_settings.Framerate);
    }
}

void TCaptureRun::CheckDone() {
    if (!m_stopping || !m_live.empty() || !m_done) {
        return;
    }
    TCaptureOutcome outcome;
    outcome.Pieces = m_pieces;
    outcome.Ended = m_ended;
    outcome.Failed = m_failed;
    bool any = false;
    for (const auto& p : outcome.Pieces) {
        any |= !p.Removed;
    }
    if (!any) {
        outcome.Failed = true;
        if (outcome.Ended.empty()) {
            outcome.Ended = "nothing was recorded";
        }
    }
    auto done = std::move(m_done);
    m_done = nullptr;
    done(outcome);
}

void TCaptureRun::GraphEvent(const TGraphEvent& e) {
    auto owns = [this](const std::string& branch) {
        for (const auto& piece : m_live) {
            if (piece->plan.Branch->Name() == branch) {
                return piece;
            }
        }
        return std::shared_ptr<Piece>();
    };
    std::string reason;
    switch (e.Kind) {
    case TGraphEventKind::RecordingError:
        if (auto piece = owns(e.Branch)) {
            TCapturePiece& record = m_pieces[piece->index];
            if (record.Error.empty()) {
                record.Error = e.Text;
            }
            m_failed = true;
            reason = e.Text;
        }
        break;
    case TGraphEventKind::RecordingDone:
        // A piece that ended by itself (its source ended, or it failed) is taken in.
        if (auto piece = owns(e.Branch)) {
            std::weak_ptr<bool> alive = m_alive;
            piece->plan.Branch->Finish([this, alive, piece](const TRecordingResult& result) {
                if (alive.lock()) {
                    PieceDone(piece, result);
                }
            });
        }
        break;
    case TGraphEventKind::Element:
        if (e.Structure && gst_structure_has_name(e.Structure.get(), "zv-wavedest-limit") &&
            owns(e.Branch)) {
            reason = "the WAV file reached its size limit of 4 GB";
        }
        break;
    case TGraphEventKind::DeviceLost:
        reason = "the capture device was lost: " + e.Text;
        break;
    case TGraphEventKind::Error:
        reason = e.Text;
        break;
    default:
        break;
    }
    if (!reason.empty() && m_ended.empty() && !m_stopping) {
        m_ended = reason;
    }
    if (!reason.empty() && !m_told && !m_stopping) {
        m_told = true;
        if (m_onEnded) {
            m_onEnded(m_ended);
        }
    }
}

void TCaptureRun::SetOnEnded(std::function<void(const std::string&)> onEnded) {
    m_onEnded = std::move(onEnded);
}

void TCaptureRun::RequestImage() {
    for (const auto& piece : m_live) {
        if (piece == m_current) {
            if (auto* c = piece->plan.Control()) {
                c->RequestFrame();
            }
        }
    }
}

uint64_t TCaptureRun::Frames() const {
    uint64_t n = 0;
    for (const auto& c : m_counters) {
        n += c->frames.load();
    }
    return n;
}

uint64_t TCaptureRun::LostFrames() const {
    uint64_t n = 0;
    for (const auto& c : m_counters) {
        n += c->lost.load();
    }
    return n;
}

int64_t TCaptureRun::StreamTimeNs() const {
    int64_t t = 0;
    for (const auto& c : m_counters) {
        const int64_t first = c->first.load();
        const int64_t end = c->end.load();
        if (first >= 0 && end >= first) {
            t += end - first;
        }
    }
    return t;
}

GstElement* TCaptureRun::PrimaryTee() const {
    return m_current ? m_current->plan.Branch->InputTee(m_current->plan.Primary) : nullptr;
}

std::vector<GstElement*> TCaptureRun::InputTees() const {
    return m_current ? m_current->plan.Branch->InputTees() : std::vector<GstElement*>();
}

std::string TCaptureRun::CurrentFile() const {
    return m_current ? m_pieces[m_current->index].File : std::string();
}

} // namespace vidorel

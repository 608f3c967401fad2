#pragma once

// One capture run: the recording branch of the chosen format attached to the playing graph,
// cut into further files on request (or at a boundary: a duration, a new DV recording), and
// finished while the preview plays on. The run counts what went into each file (frames, lost
// frames, stream time), writes the DV scene index next to each piece, and once a piece is
// complete gives it what its format needs (the AVI header fix-ups, the frame rate of an
// image-by-image file, the removal of a file that got nothing). A failure while recording (a
// full disk, a lost device, the size limit of a WAV file) ends the run with the file so far
// kept playable and the reason told.
//
// Main (UI) thread only; the counters are read from any thread.

#include "graph/CapturePlans.h"
#include "graph/GraphEvents.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vidorel {

struct TCapturePiece {
    std::string File;
    std::string SceneFile;   // the scene index written next to it, or empty
    uint64_t Frames = 0;     // frames (images for image-by-image, buffers for sound only)
    uint64_t LostFrames = 0; // frames the source skipped while this piece recorded
    int64_t DurationNs = 0;  // stream time from the first frame to the end of the last
    bool Finished = false;   // the writer completed the file
    bool Removed = false;    // nothing was recorded: the file was deleted
    bool Repaired = false;   // the writer failed; the file was made readable afterwards
    bool Restored = false;   // its folder was removed while it recorded: written there again
    std::string Error;       // what went wrong with this piece, empty when nothing did
};

struct TCaptureOutcome {
    std::vector<TCapturePiece> Pieces; // in recording order
    // Why the run ended before it was stopped (end of the source, a failure), else empty.
    std::string Ended;
    // A piece failed: the run did not record everything it should have.
    bool Failed = false;
};

// The total of a run's pieces.
uint64_t TotalFrames(const TCaptureOutcome& outcome);

class TCaptureRun {
public:
    TCaptureRun(Tdm& dm, TCaptureFormat format, TCaptureSettings settings);
    ~TCaptureRun();
    TCaptureRun(const TCaptureRun&) = delete;
    TCaptureRun& operator=(const TCaptureRun&) = delete;

    // Builds the format's branch into `fileName` and attaches it. False, with the reason in
    // *why, when it cannot: nothing of it is left in the graph and no file is left behind.
    bool Start(const std::string& fileName, std::string* why);
    // Goes on into `nextFile`: at the next frame, or at the time `boundary` tells.
    // False (the current piece records on) when the next piece cannot be built.
    bool Cut(const std::string& nextFile, std::string* why, TCutBoundary boundary = {});
    // A cut asked for and not yet reached.
    bool CutPending() const;
    // Finishes every piece; `done` is called once, on the graph's thread, when all are
    // complete and checked.
    void Stop(std::function<void(const TCaptureOutcome&)> done);
    // The graph's events, forwarded by whoever receives them.
    void GraphEvent(const TGraphEvent& event);
    // Called (graph's thread) when the run ends by itself; the owner then calls Stop.
    void SetOnEnded(std::function<void(const std::string& reason)> onEnded);

    bool Running() const { return m_started && !m_stopping; }
    TCaptureFormat Format() const { return m_format; }
    // Image-by-image: lets the next frame into the file.
    void RequestImage();

    // Totals over the pieces so far (any thread).
    uint64_t Frames() const;
    uint64_t LostFrames() const;
    int64_t StreamTimeNs() const;
    // The file being written now.
    std::string CurrentFile() const;
    // The tee whose buffers are the frames of the run (cut boundaries are decided on them).
    GstElement* PrimaryTee() const;
    // Every tee the run records from.
    std::vector<GstElement*> InputTees() const;

    // The pieces so far (for a status line).
    const std::vector<TCapturePiece>& Pieces() const { return m_pieces; }

    struct Counter; // per piece, shared with the streaming thread

private:
    struct Piece;
    // Opens the piece's scene index and counts its frames.
    void Prepare(const std::shared_ptr<Piece>& piece);
    // Undoes Build and Prepare of a piece that did not start (its files removed).
    void Discard(const std::shared_ptr<Piece>& piece);
    // The piece now records.
    void Adopt(const std::shared_ptr<Piece>& piece);
    std::shared_ptr<Piece> Build(const std::string& fileName, std::string* why);
    void PieceDone(const std::shared_ptr<Piece>& piece, const TRecordingResult& result);
    void Finalize(Piece& piece);
    void CheckDone();
    // Watches the tees for the source's end-of-stream.
    void WatchSourceEnd();
    // Looks, once the recording has had time to get going, for an input that never delivered
    // while another did: the muxer would wait for it with the other's queue filling, and then
    // hold that tee (and its preview).
    void WatchSilentInputs();
    void CheckSilentInputs();
    void SourceEnded();
    std::string NextBranchName();

    Tdm& m_dm;
    TCaptureFormat m_format;
    TCaptureSettings m_settings;
    std::vector<std::shared_ptr<Piece>> m_live; // attached, not yet complete, in order
    std::shared_ptr<Piece> m_current;
    std::vector<TCapturePiece> m_pieces;
    std::vector<std::shared_ptr<Counter>> m_counters;
    std::string m_ended;
    bool m_failed = false;
    bool m_started = false;
    bool m_stopping = false;
    bool m_told = false;
    unsigned m_names = 0;
    int m_teesToEnd = 0;        // tees the source's end has still to pass
    unsigned m_silentWatch = 0; // the GLib source of WatchSilentInputs, while it waits
    std::function<void(const TCaptureOutcome&)> m_done;
    std::function<void(const std::string&)> m_onEnded;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// The scene index of a clip: the clip's file name with the extension ".scn".
std::string SceneFileNameFor(const std::string& clip);

} // namespace vidorel

#pragma once

// A recording branch: one GstBin that taps the tees of the playing graph (video, audio, the
// device's native stream) and ends in a file writer. It is attached, finished and cut while the
// preview keeps running:
//
//     tee ─┬─ (preview)
//          └─ [ghost pad "video" → gate → queue → ... → muxer → file sink]   (the bin)
//
// - Attach adds the bin, brings it to the graph's state and links the tee outputs to it.
// - Finish closes every input at a frame boundary: the input's gate lets nothing more in and
//   end-of-stream goes into the bin only; when every sink of the bin has received it (the
//   muxers have written their indexes) the bin is unlinked from the tees from an IDLE probe,
//   the tee outputs are released, and only then is the bin stopped and removed. The tees
//   never push into a flushing or unlinked pad, so the preview never stalls.
// - CutTo attaches the branch of the next file before this one is finished and hands over at
//   one frame boundary: every buffer goes to exactly one of the two files.
// - An element of the branch that fails (a full disk) ends the branch: its gates close at
//   once, so the tees never see its error, and the recording ends with what it wrote.
//
// The gates are the chain functions of the bin's ghost pads. A blocking probe on a tee output
// would stall the tee, and with it the preview; a gate that drops what it does not take, and
// answers the tee "ok" whatever the branch answers, does not.
//
// Threads: building, Attach, Finish, CutTo and Abort run on the graph's thread; completions
// are called there too. The gates run on the tees' streaming threads.

#include "graph/FilterGraph.h"

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace vidorel {

enum class TInputRole { Video = 0, Audio = 1, Native = 2 };
inline constexpr int kInputRoles = 3;

struct TRecordingResult {
    // Every sink of the branch received end-of-stream: the files are complete.
    bool Finished = false;
    // What went wrong when not (the first error an element of the branch posted, or a
    // timeout); empty when finished.
    std::string Error;
    // Buffers each input let into the branch, by TInputRole.
    std::array<uint64_t, kInputRoles> Buffers{};
};

// Tells, on a streaming thread, the running time (nanoseconds) from which buffers go to the
// next file, once it is known, else -1. Every input asks it for its buffers (`primary` says
// whether the asking input is the branch's primary one) until one learns the time; an input
// whose buffers run ahead of the primary's (sound ahead of the picture) then still lands each
// buffer in the right file. It must give the same time to every input.
using TCutBoundary = std::function<int64_t(GstBuffer* buffer, int64_t runningTime, bool primary)>;

class TRecordingBranch : public std::enable_shared_from_this<TRecordingBranch> {
public:
    using Done = std::function<void(const TRecordingResult&)>;
    enum class State { Building, Recording, Finishing, Done };

    // `name` names the bin in the graph (unique there).
    static std::shared_ptr<TRecordingBranch> Create(const std::string& name);
    ~TRecordingBranch();
    TRecordingBranch(const TRecordingBranch&) = delete;
    TRecordingBranch& operator=(const TRecordingBranch&) = delete;

    const std::string& Name() const { return m_name; }
    GstBin* Bin() const { return GST_BIN_CAST(m_bin.get()); }
    GstElement* BinElement() const { return m_bin.get(); }

    // --- building (before Attach) ---
    // Adds an element to the bin (the bin takes its own reference).
    void Add(GstElement* element);
    // Creates an element from a factory into the bin.
    GstElement* Make(const char* factory, const char* name = nullptr);
    // Links a chain of elements of the bin, in order; throws EGraphError like
    // TFilterGraph::Connect.
    void Link(std::initializer_list<GstElement*> chain);
    void Link(GstPad* out, GstPad* in);
    // Declares an input fed by a new output of `tee`: a queue inside the bin behind a ghost
    // pad named after the role. Answers the queue's src pad, where the branch goes on. One
    // input per role.
    GstPadRef AddInput(TInputRole role, GstElement* tee);
    // Every file sink of the branch is written without waiting for the clock and without
    // prerolling (set at Attach): a sink joining a playing graph must not hold it.

    // --- on the graph ---
    // Adds the bin to `graph`, starts it and links the inputs; throws EGraphError (the graph
    // left as it was) when a tee is not in the graph or a link fails.
    void Attach(TFilterGraph& graph);
    // Closes every input, waits (asynchronously) for the sinks to finish the files, detaches
    // and calls `done` on the graph's thread. A second call only replaces `done`.
    void Finish(Done done);
    // Detaches without end-of-stream (the files keep what they have, unfinished).
    void Abort(Done done);
    // Adds a completion, called with the others once the branch is done (at once when it is
    // done already); unlike Finish it does not end the recording.
    void WhenDone(Done done);
    // `next` (built, not attached) is attached and takes over at one frame boundary; this
    // branch is then finished and `done` called as for Finish. Throws EGraphError when `next`
    // cannot be attached (this branch goes on recording). Without `boundary` the next frame
    // is the boundary; with it, the time it tells, however long that takes (Finish on this
    // branch meanwhile calls the cut off and ends this branch now).
    void CutTo(const std::shared_ptr<TRecordingBranch>& next, Done done,
               TCutBoundary boundary = {});
    // Whether a cut was asked for and this branch still takes buffers of some input.
    bool CutPending() const;
    // The tees the inputs tap; the tee of one role (null when the branch has no such input).
    std::vector<GstElement*> InputTees() const;
    GstElement* InputTee(TInputRole role) const;
    // Finish, waiting on the calling thread (teardown only): at most `timeout` for the sinks,
    // then the branch leaves the graph whatever happened. `done` callbacks given earlier are
    // still called, on the graph's thread.
    TRecordingResult FinishAndWait(std::chrono::milliseconds timeout);

    State GetState() const { return m_state; }
    bool Attached() const { return m_graph != nullptr; }
    // Buffers the input of that role let in so far (any thread).
    uint64_t Buffers(TInputRole role) const;
    // Whether an element of the branch has failed, and its error (any thread).
    bool HasFailed() const;
    std::string ErrorText() const;

    // Called by the graph's bus handler for messages of elements inside the bin (any thread).
    void OnMessage(GstMessage* message);

    // The shared state of one input (opaque outside RecordingBranch.cpp).
    struct Input;
    // The hand-over between the branch of one file and that of the next.
    struct Cut;

private:
    friend class TFilterGraph;
    explicit TRecordingBranch(std::string name);

    Input* InputOf(TInputRole role) const;
    // Whether any element of the bin is a sink that has not yet posted end-of-stream.
    void CountSinks();
    // Main thread: every input closed (or the branch failed); wait for the sinks.
    void OnSinksDone();
    // Main thread: unlink every input from its tee through IDLE probes, then remove the bin.
    void Detach();
    // Adds a completion; false (after completing at once) when the branch was never attached.
    bool AddDone(Done done);
    TRecordingResult Result() const;
    void RemoveBin();
    void Complete();
    // Closes every input still open through IDLE probes on the tee outputs (end-of-stream
    // into the bin).
    void CloseInputs();
    void StartFallbackTimers();

    std::string m_name;
    GstElementRef m_bin;
    std::vector<std::shared_ptr<Input>> m_inputs;

    // Graph's thread.
    TFilterGraph* m_graph = nullptr;
    // Set at Attach and never cleared: streaming threads post completions through it (the
    // graph only hands them messages while it lives).
    TFilterGraph* m_postTo = nullptr;
    State m_state = State::Building;
    std::vector<Done> m_done;
    std::shared_ptr<Cut> m_cutIn;  // when this branch takes over from another
    std::shared_ptr<Cut> m_cutOut; // when this branch hands over to another
    bool m_detaching = false;

    // Shared with the streaming threads.
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

} // namespace vidorel

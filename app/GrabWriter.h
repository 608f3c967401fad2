#pragma once

// Writes grabbed pictures on a thread of its own, one after the other in grab order, so that an
// intervalometer grabbing every frame never stalls the window while a picture is compressed and
// written. The queue is bounded: when the disk does not keep up, further pictures are refused
// (and the caller says so) instead of filling the memory.

#include <QImage>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vidorel {

class TGrabWriter {
public:
    struct Job {
        QImage Picture;
        std::string Path;
        bool Jpeg = false;
        int Quality = 50; // JPEG only, 1..100
    };
    struct Result {
        std::string Path;
        bool Ok = false;
        std::string Why; // what went wrong, when not Ok
    };

    // `done` is called on the writer's thread after each picture, in grab order.
    explicit TGrabWriter(std::function<void(const Result&)> done, std::size_t maxPending = 64);
    // Writes what is still queued, then ends the thread.
    ~TGrabWriter();
    TGrabWriter(const TGrabWriter&) = delete;
    TGrabWriter& operator=(const TGrabWriter&) = delete;

    // Queues a picture; false (nothing queued) when `maxPending` pictures already wait.
    bool Save(Job job);
    // Returns once every queued picture is written (or `timeoutMs` passed: false).
    bool WaitIdle(int timeoutMs);
    // Pictures queued or being written.
    std::size_t Pending() const;

private:
    void Run();

    const std::function<void(const Result&)> m_done;
    const std::size_t m_maxPending;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    std::size_t m_busy = 0; // being written now (0 or 1)
    bool m_quit = false;
    std::thread m_thread; // last: starts once the rest exists
};

} // namespace vidorel

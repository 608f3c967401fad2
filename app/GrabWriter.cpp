#include "app/GrabWriter.h"

#include "app/GrabbedImage.h"

#include <chrono>

namespace vidorel {

TGrabWriter::TGrabWriter(std::function<void(const Result&)> done, std::size_t maxPending)
    : m_done(std::move(done)), m_maxPending(maxPending), m_thread([this] { Run(); }) {}

TGrabWriter::~TGrabWriter() {
    {
        std::lock_guard lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool TGrabWriter::Save(Job job) {
    {
        std::lock_guard lock(m_lock);
        if (m_jobs.size() + m_busy >= m_maxPending) {
            return false;
        }
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

bool TGrabWriter::WaitIdle(int timeoutMs) {
    std::unique_lock lock(m_lock);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_jobs.empty() && m_busy == 0; });
}

std::size_t TGrabWriter::Pending() const {
    std::lock_guard lock(m_lock);
    return m_jobs.size() + m_busy;
}

void TGrabWriter::Run() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_jobs.empty()) {
            return; // quitting with nothing left to write
        }
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = 1;
        lock.unlock();

        Result result;
        result.Path = job.Path;
        result.Ok = job.Jpeg ? SaveJpeg(job.Picture, job.Path, job.Quality, &result.Why)
                             : SaveBmp24(job.Picture, job.Path, &result.Why);
        job.Picture = QImage(); // its memory goes before the next picture is taken
        if (m_done) {
            m_done(result);
        }

        lock.lock();
        m_busy = 0;
        if (m_jobs.empty()) {
            m_idle.notify_all();
        }
    }
}

} // namespace vidorel

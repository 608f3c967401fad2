#pragma once

// A receiver that one thread sets and another calls, with a lifetime guard: the UI hands an
// element a receiver, a streaming thread calls it, and the UI may destroy the receiver as soon as
// Set(nullptr) has returned, because Set waits for a call in progress to end.
//
//     TReceiverSlot<ISuperposerReceiver> m_receiver;
//     m_receiver.Call([&](ISuperposerReceiver& r) { r.PostImageGrabbed(slot); }); // streaming
//     m_receiver.Set(nullptr); // UI thread; the old receiver may be deleted now
//
// The lock is held while the receiver runs, so a receiver must return soon and must never wait
// for the thread that sets the slot (a blocking hand-over to the UI thread would deadlock while
// the UI clears the slot). The lock is recursive: a receiver may set or call its own slot from
// inside a call.

#include <mutex>

namespace vidorel {

template <class T> class TReceiverSlot {
public:
    TReceiverSlot() = default;
    TReceiverSlot(const TReceiverSlot&) = delete;
    TReceiverSlot& operator=(const TReceiverSlot&) = delete;

    // Any thread. Returns once no other thread is inside a call of the previous receiver.
    void Set(T* receiver) {
        std::lock_guard lock(m_lock);
        m_receiver = receiver;
    }

    // Calls fn(receiver) when one is set; answers whether it did.
    template <class Fn> bool Call(Fn&& fn) {
        std::lock_guard lock(m_lock);
        if (m_receiver == nullptr) {
            return false;
        }
        fn(*m_receiver);
        return true;
    }

    bool IsSet() const {
        std::lock_guard lock(m_lock);
        return m_receiver != nullptr;
    }

private:
    mutable std::recursive_mutex m_lock;
    T* m_receiver = nullptr; // guarded by m_lock
};

} // namespace vidorel

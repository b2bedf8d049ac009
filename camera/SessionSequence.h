#pragma once
// Internal to CameraSession: the state its upgrade worker shares with the progress reader and the
// owner's timer ticks. Included only by the session's own source files.
//
// Locking: stepMutex makes each visible step of the worker (status, posted message, box, timer
// start) and each verdict of the owner's thread (watchdog) one unit, so a verdict that abandons
// the worker is never followed by a step of it. waitMutex guards the events the worker waits for.
// Neither is held while the network or a pause blocks.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "camera/CameraSession.h"
#include "camera/Cancellation.h"
#include "camera/StreamedPost.h"

namespace xqt {

namespace detail {

/// BIN ids of the boxes the upgrade sequence shows.
inline constexpr std::uint16_t BIN_VERSION_UP_ERROR = 206;
inline constexpr std::uint16_t BIN_NETWORK_ERROR = 225;
/// Progress one tick of the overwrite adds (an emergency camera adds its step size instead).
inline constexpr std::int32_t TICK_INCREMENT = 5;

}  // namespace detail

struct CameraSession::Sequence {
    /// The worker joins its reader itself before it returns.
    ~Sequence() {
        if (worker.joinable()) worker.join();
    }

    // Guarded by stepMutex.
    std::mutex stepMutex;
    /// Written under stepMutex; read anywhere (the waits' predicates).
    std::atomic<bool> abandoned{false};
    bool tickTimerOn = false;  ///< the worker's or reader's own tick timer runs: the watchdog is armed
    bool started = false;
    bool backup = false;         ///< read once when the upgrade starts
    bool anotherCamera = false;  ///< the verification met another camera at the address

    std::atomic<bool> lostLinkOn{false};
    std::atomic<bool> reconfigOn{false};
    /// Verification after a lost link: the ticks only move the progress (no watchdog).
    std::atomic<bool> lostLinkVerify{false};
    std::atomic<bool> workerRunning{false};

    /// Ends the worker's inquiries and pauses once it is abandoned.
    detail::Cancellation cancel;

    // Events the worker waits for; guarded by waitMutex.
    std::mutex waitMutex;
    std::condition_variable wake;
    bool readerDone = false;
    bool stopEvent = false;  ///< automatic-mode watchdog: end the wait for the reader
    bool readerStop = false;
    bool lostLinkExpired = false;
    bool pollWanted = false;  ///< a reconfiguration tick asks for the next poll

    /// The firmware request in progress; replaced by the worker, cancelled from any thread.
    std::mutex postMutex;
    std::shared_ptr<StreamedPost> upload;

    /// The worker takes no further step; its waits, inquiries and request end. stepMutex is held.
    void Abandon() {
        abandoned.store(true);
        cancel.Cancel();
        {
            std::lock_guard lock(postMutex);
            if (upload) upload->Cancel();
        }
        {
            std::lock_guard lock(waitMutex);  // no waiter misses the change
        }
        wake.notify_all();
    }

    std::chrono::steady_clock::time_point reconfigStart;
    std::thread reader;
    std::thread worker;
};

template <class F>
bool CameraSession::Step(F&& step) {
    std::lock_guard lock(sequence_->stepMutex);
    if (sequence_->abandoned) return false;
    step();
    return true;
}

}  // namespace xqt

#pragma once
// The inquiry loop of the lists: the camera grid's connection test ("inq=network") and the
// added-camera list's look-up ("inq=system"). Inquiries wait in the order they were added; on each
// tick of its owner's timer the queue sends the first `inFlight` that have not been sent, and takes
// every one of those that has been answered or whose limit has passed (an overdue inquiry is judged
// on what has come so far, which is nothing). Each inquiry is keyed by the stable key of the row it
// asks about, so a result finds its row after the list was sorted or renumbered.
//
// Threads: the owner's thread only; each inquiry's exchange runs on its session's own thread.
// Lifetime: removing an inquiry (Drop, Clear, the destructor) cancels and joins its exchange.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "camera/CameraSession.h"

namespace xqt {

class InquiryQueue {
  public:
    /// Inquiries looked at per tick by default: at most two are in flight.
    static constexpr std::size_t DEFAULT_IN_FLIGHT = 2;

    using SentFn = std::function<void(std::uint32_t key)>;
    using DoneFn = std::function<void(std::uint32_t key, CameraSession& session)>;

    /// Asks `body` of every camera, allowing each `limit` from when it was sent.
    InquiryQueue(std::string_view body, std::chrono::milliseconds limit,
                 std::size_t inFlight = DEFAULT_IN_FLIGHT);
    ~InquiryQueue();
    InquiryQueue(const InquiryQueue&) = delete;
    InquiryQueue& operator=(const InquiryQueue&) = delete;

    /// Queues the inquiry of `session` (made for the camera to ask) for row `key`, behind the others.
    void Add(std::uint32_t key, std::unique_ptr<CameraSession> session);
    /// Removes the inquiry of row `key`, sent or not; its result is never delivered.
    void Drop(std::uint32_t key);
    void Clear();
    [[nodiscard]] bool Empty() const { return queue_.empty(); }
    std::size_t Size() const { return queue_.size(); }

    /// One tick: `sent(key)` for each inquiry sent now, `done(key, session)` for each one taken (its
    /// answer is session.AsyncAnswer(), empty when none came), in queue order. Returns true when any
    /// inquiry was taken.
    bool Tick(const SentFn& sent, const DoneFn& done);

  private:
    struct Entry {
        std::uint32_t key = 0;
        std::unique_ptr<CameraSession> session;
        bool sent = false;
    };

    std::string body_;
    std::chrono::milliseconds limit_;
    std::size_t inFlight_;
    std::vector<std::unique_ptr<Entry>> queue_;
};

}  // namespace xqt

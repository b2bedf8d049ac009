#pragma once
// A SessionOwner on a thread of its own: a small event loop that runs queued tasks, periodic timers
// by id, the posted upgrade messages and the message boxes. Used by the command-line tool and the
// tests in place of the wizard's window.
//
// The loop thread starts in the constructor and is joined by the destructor; tasks still queued then
// are dropped. Handlers run on the loop thread, one at a time. Every public operation is thread-safe.
// StopTimer is stricter than the interface asks: once it returns, no further tick of that timer is
// taken from the queue (one that the loop has already taken may still be running).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/MessageBoxes.h"
#include "platform/SessionOwner.h"

namespace xqt::platform {

struct UpgradeMessage {
    std::int32_t wParam = 0;
    std::int32_t lParam = 0;
    bool operator==(const UpgradeMessage&) const = default;
};

class EventLoopOwner : public SessionOwner {
  public:
    using TimerHandler = std::function<void(int id)>;
    using MessageHandler = std::function<void(UpgradeMessage)>;

    /// `boxes` shows the message boxes on the loop thread; it must outlive the owner.
    explicit EventLoopOwner(MessageBoxes& boxes);
    ~EventLoopOwner() override;
    EventLoopOwner(const EventLoopOwner&) = delete;
    EventLoopOwner& operator=(const EventLoopOwner&) = delete;

    /// Receives every timer tick (typically routing it to a session's OnSessionTimer).
    void SetTimerHandler(TimerHandler handler);
    /// Receives every upgrade message after it has been recorded.
    void SetMessageHandler(MessageHandler handler);

    /// Runs `task` on the loop thread after everything queued before it.
    void Post(std::function<void()> task);
    /// Runs `task` on the loop thread and waits for it; on the loop thread itself it runs at once.
    void Call(const std::function<void()>& task);
    [[nodiscard]] bool IsLoopThread() const;

    /// Upgrade messages delivered so far, in order.
    std::vector<UpgradeMessage> Messages() const;
    /// Waits until at least `count` messages were delivered; false when `timeout` passed first.
    [[nodiscard]] bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const;
    [[nodiscard]] bool IsTimerRunning(int id) const;
    /// Ticks delivered so far for timer `id` (counted over all its starts).
    int TickCount(int id) const;

    void StartTimer(int id, std::chrono::milliseconds period) override;
    void StopTimer(int id) override;
    void PostUpgradeMessage(std::int32_t wParam, std::int32_t lParam) override;
    void ShowMessage(const std::string& text, const std::string& caption, MbIcon icon) override;

  private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        std::chrono::milliseconds period;
        Clock::time_point due;
    };

    void Run();

    MessageBoxes& boxes_;
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;     // loop: tasks, timers, stop
    mutable std::condition_variable changed_;  // waiters: messages delivered, calls finished
    std::deque<std::function<void()>> tasks_;
    std::map<int, Timer> timers_;
    std::map<int, int> ticks_;
    std::vector<UpgradeMessage> messages_;
    TimerHandler timerHandler_;
    MessageHandler messageHandler_;
    bool stopping_ = false;
    std::thread thread_;  // last: starts after every other member is ready
};

}  // namespace xqt::platform

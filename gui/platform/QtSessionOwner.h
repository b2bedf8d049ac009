#pragma once
// The wizard's SessionOwner: timers are QTimers of the UI thread, posted upgrade messages and
// message boxes are queued calls to it. Whatever thread a session calls from, its ticks, messages
// and boxes reach the handlers and widgets on the UI thread only.
//
// Timers: a start asked for before a stop of the same timer never takes effect after that stop,
// whichever threads asked; so a start that a session's worker queued just before its owner stopped
// the session's timers cannot leave a timer running into the next session.
//
// Order: upgrade messages and boxes are delivered one at a time in the order they were asked for;
// while a box is open (it runs a nested event loop), later messages and boxes wait until the user
// has closed it, as they would behind a box that blocked the session's thread. Timer ticks are not
// held back by an open box.
//
// Lifetime: the owner lives on the UI thread and must outlive every session that uses it; calls
// still queued when it is destroyed are dropped.

#include <QObject>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "platform/MessageBoxes.h"
#include "platform/SessionOwner.h"

class QTimer;

namespace xqt::platform {

class QtSessionOwner : public QObject, public SessionOwner {
    Q_OBJECT
  public:
    using TimerHandler = std::function<void(int id)>;
    using MessageHandler = std::function<void(std::int32_t wParam, std::int32_t lParam)>;

    /// `boxes` shows the message boxes on the UI thread; it must outlive the owner. Construct on
    /// the UI thread.
    explicit QtSessionOwner(MessageBoxes& boxes, QObject* parent = nullptr);
    ~QtSessionOwner() override;

    /// Receives every timer tick (typically routing it to the session whose timer it is). UI thread.
    void SetTimerHandler(TimerHandler handler) { timerHandler_ = std::move(handler); }
    /// Receives every upgrade message. UI thread.
    void SetMessageHandler(MessageHandler handler) { messageHandler_ = std::move(handler); }

    /// True while timer `id` runs. UI thread.
    [[nodiscard]] bool IsTimerRunning(int id) const;

    void StartTimer(int id, std::chrono::milliseconds period) override;
    void StopTimer(int id) override;
    void PostUpgradeMessage(std::int32_t wParam, std::int32_t lParam) override;
    void ShowMessage(const std::string& text, const std::string& caption, MbIcon icon) override;

  private:
    struct Pending {
        bool isBox = false;
        std::int32_t wParam = 0;
        std::int32_t lParam = 0;
        std::string text;
        std::string caption;
        MbIcon icon = MbIcon::None;
    };

    /// Runs `call` on the UI thread: at once when called there, else queued.
    void OnUiThread(std::function<void()> call);
    void Enqueue(Pending item);
    void Deliver();

    MessageBoxes& boxes_;
    TimerHandler timerHandler_;
    MessageHandler messageHandler_;
    /// The number of stops asked for per timer, read by each start when it is asked for.
    std::uint64_t StopsOf(int id);

    std::map<int, QTimer*> timers_;  // UI thread only
    std::mutex stopsMutex_;
    std::map<int, std::uint64_t> stops_;  // any thread, under stopsMutex_
    std::deque<Pending> pending_;         // UI thread only
    bool delivering_ = false;             // a box is open, or a handler runs
};

}  // namespace xqt::platform

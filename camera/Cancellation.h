#pragma once
// Cooperative cancellation of a session's blocking steps: network exchanges running on an
// io_context of their own, and pauses. Cancel() may come from any thread; it stops every registered
// io_context (the exchange is abandoned and its socket closed when its owner unwinds) and wakes every
// pause. Once cancelled, it stays cancelled.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace boost::asio {
class io_context;
}

namespace xqt::detail {

class Cancellation {
  public:
    /// Keeps one io_context registered while it runs an exchange; unregisters on destruction.
    class Registration {
      public:
        Registration(Cancellation& owner, boost::asio::io_context& ioc);
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

      private:
        Cancellation& owner_;
        boost::asio::io_context& ioc_;
    };

    void Cancel();
    [[nodiscard]] bool IsCancelled() const;

    /// Waits for `duration`; false when cancelled before or during the wait.
    bool WaitFor(std::chrono::milliseconds duration);

  private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;
    std::vector<boost::asio::io_context*> active_;
};

}  // namespace xqt::detail

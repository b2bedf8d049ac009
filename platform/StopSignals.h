#pragma once
// The one signal guard of every command that writes to a camera. A camera cut off while it writes
// its firmware may not start again, so the stop signals (Ctrl-C, kill, a closed terminal or SSH
// session, Ctrl-\) never end such a command: they are counted, and the command decides what may
// still stop (cameras not yet started) and says what runs on. SIGPIPE is ignored, so a closed
// standard output ends the printing, never the work.
//
// Threads: the counter is written by the signal handler and read by any thread. One guard at a
// time; it restores the earlier handlers when it goes.
#include <signal.h>

#include <cstddef>
#include <iterator>

namespace xqt::platform {

/// The signals that stop a command the way Ctrl-C does.
inline constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

class StopSignalGuard {
  public:
    StopSignalGuard();
    ~StopSignalGuard();
    StopSignalGuard(const StopSignalGuard&) = delete;
    StopSignalGuard& operator=(const StopSignalGuard&) = delete;

    /// Stop signals received since the process started.
    [[nodiscard]] static int Count();
    /// The number of the last stop signal received; 0 before any.
    [[nodiscard]] static int LastSignal();

  private:
    struct sigaction old_[std::size(STOP_SIGNALS)]{};
    struct sigaction oldPipe_ {};
};

/// Follows the guard's count for one reader: how many signals arrived since the last look.
class StopSignalWatch {
  public:
    /// New stop signals since the last call (0 when none).
    [[nodiscard]] int TakeNew() {
        const int now = StopSignalGuard::Count();
        const int fresh = now - seen_;
        seen_ = now;
        return fresh;
    }
    /// Whether any stop signal arrived while this watch existed.
    [[nodiscard]] bool Interrupted() const { return StopSignalGuard::Count() > start_; }

  private:
    const int start_ = StopSignalGuard::Count();
    int seen_ = start_;
};

}  // namespace xqt::platform

#include "platform/StopSignals.h"

#include <atomic>

namespace xqt::platform {

namespace {

// Lock-free, so the handler may write them.
std::atomic<int> g_stopSignals{0};
std::atomic<int> g_lastSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int number) {
    g_lastSignal.store(number);
    g_stopSignals.fetch_add(1);
}

}  // namespace

StopSignalGuard::StopSignalGuard() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes are resumed: the command's own waits poll the count.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(STOP_SIGNALS); ++i)
        sigaction(STOP_SIGNALS[i], &action, &old_[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &oldPipe_);
}

StopSignalGuard::~StopSignalGuard() {
    for (std::size_t i = 0; i < std::size(STOP_SIGNALS); ++i)
        sigaction(STOP_SIGNALS[i], &old_[i], nullptr);
    sigaction(SIGPIPE, &oldPipe_, nullptr);
}

int StopSignalGuard::Count() {
    return g_stopSignals.load();
}

int StopSignalGuard::LastSignal() {
    return g_lastSignal.load();
}

}  // namespace xqt::platform

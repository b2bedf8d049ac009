#include "camera/ConnectWatch.h"

#include <atomic>

namespace xqt::detail {

namespace {
std::atomic<ConnectWatch> installed{nullptr};
}

ConnectWatch SetConnectWatch(ConnectWatch watch) {
    return installed.exchange(watch);
}

void NoteConnect(const std::string& endpoint) {
    if (const ConnectWatch watch = installed.load()) watch(endpoint);
}

}  // namespace xqt::detail

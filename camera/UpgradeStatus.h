#pragma once
// The per-camera status code. Written by the session (worker, timers, checks), read by the pages;
// held in a std::atomic<std::int32_t> so any thread reads it whole.

#include <cstdint>

namespace xqt {

enum class UpgradeStatus : std::int32_t {
    Standby = 0,
    Prepare = 1,
    SavingConfig = 2,
    Uploading = 3,
    Overwriting = 4,
    Searching = 5,
    Rebooting = 6,
    LoadingConfig = 7,
    Reconfiguring = 8,
    Completed = 9,
    Error1 = 10,  ///< camera lost or not found, or the upload could not be sent
    Error2 = 11,  ///< overwrite or verification failed
    Error3 = 12,  ///< authentication refused, or not the administrator
    Error4 = 13,
    Error5 = 14,
    Error6 = 15,  ///< the configuration could not be saved
    Error7 = 16,
};

/// The status word of `status`, as the shared atomics hold it.
constexpr std::int32_t StatusCode(UpgradeStatus status) {
    return static_cast<std::int32_t>(status);
}

/// Codes above Reconfiguring are final.
inline bool IsFinal(std::int32_t status) {
    return status > StatusCode(UpgradeStatus::Reconfiguring);
}

}  // namespace xqt

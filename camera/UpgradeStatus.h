#pragma once
// The per-camera status code and what went wrong. Written by the session (worker, timers, checks), read by
// the pages; held in a std::atomic<std::int32_t> so any thread reads it whole.

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

/// Why an upgrade ended without success; held in CameraSession::failure.
enum class UpgradeFailure : std::int32_t {
    None = 0,
    ConfigNotSaved = 1,     ///< the configuration could not be saved (Error6); nothing was uploaded
    UploadNotSent = 2,      ///< the firmware request could not be opened, sent or written (Error1, BIN 225)
    StreamBroken = 3,       ///< the progress stream broke or timed out (Error2, BIN 206)
    OverwriteTimedOut = 4,  ///< manual mode: the overwrite watchdog ended the overwrite (BIN 206)
    /// the rebooted camera reported another version or never the new one (Error2, BIN 206; Error1
    /// after a lost connection)
    NotVerified = 5,
    NotBack = 6,  ///< after a lost connection the camera never answered again (Error1)
    /// The upgrade was verified but every attempt to put the saved configuration back failed; the
    /// status still ends Completed, the saved file is kept.
    NotRestored = 7,
    /// After the reboot the address answers with another serial number or MAC than the camera had
    /// before (Error2): nothing is restored to it and the saved file is kept.
    AnotherCamera = 8,
    /// the placeholder image toward a camera outside loopback (Error1); nothing is sent
    PlaceholderRefused = 9,
};

/// The status word of `status`, as the shared atomics hold it.
[[nodiscard]] constexpr std::int32_t StatusCode(UpgradeStatus status) {
    return static_cast<std::int32_t>(status);
}

/// The status a word holds (the words are written from UpgradeStatus values only).
[[nodiscard]] constexpr UpgradeStatus StatusOf(std::int32_t code) {
    return static_cast<UpgradeStatus>(code);
}

/// The failure word of `failure`, as the shared atomics, reports and messages hold it.
[[nodiscard]] constexpr std::int32_t FailureCode(UpgradeFailure failure) {
    return static_cast<std::int32_t>(failure);
}
/// The failure a word holds (the words are written from UpgradeFailure values only).
[[nodiscard]] constexpr UpgradeFailure FailureOf(std::int32_t code) {
    return static_cast<UpgradeFailure>(code);
}

/// Codes above Reconfiguring are final.
[[nodiscard]] inline bool IsFinal(std::int32_t status) {
    return status > StatusCode(UpgradeStatus::Reconfiguring);
}
[[nodiscard]] inline bool IsFinal(UpgradeStatus status) {
    return IsFinal(StatusCode(status));
}

}  // namespace xqt

#pragma once
// The restore and restart watch that follow a manual upgrade whose configuration was saved, for
// every front end (the wizard's manual run, xqt-cli upgrade): after manualRestorePause the saved
// file is read back and posted to the camera in at most restoreAttempts attempts,
// manualRestoreRetryPause apart; after manualAfterRestorePause the restarted camera is asked once
// per restartWatchPeriod (each inquiry limited to restartWatchInquiryLimit) until it names an
// accepted model again or restartWatchLimit has passed since the restore. The automatic run has a
// restore of its own inside the session's sequence.
//
// Nothing is ever posted to another camera that took the address while this one rebooted, and a
// saved file that cannot be read back whole is never posted: the camera would be half set up. A
// configuration counts as restored only when the camera took it; then the store is marked restored
// and its file removed when that was asked for, else the file stays.
//
// Threads: every call blocks its caller for up to its pauses and inquiry limits. Pauses end at once
// when the stop token is asked to stop, and no further step is taken. The session and store are
// used from the calling thread only, while the session's worker has ended.

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

#include "camera/UpgradeStatus.h"
#include "platform/EngineTiming.h"

namespace xqt {

class CameraSession;
class ConfigStore;

/// Progress units the restart watch adds after each inquiry the camera did not pass.
inline constexpr int RESTART_WATCH_STEP = 4;

/// What the restore needs of the camera. SessionRestoreTarget provides it over a session; the
/// wizard reaches the same through its engine.
class RestoreTarget {
  public:
    virtual ~RestoreTarget() = default;
    /// Makes the saved file, read back whole, the bytes to post. False when there is nothing that
    /// may be posted: the file cannot be read back, or another camera answers at the address.
    virtual bool ReadBack() = 0;
    /// One restore attempt; true when the camera took the configuration.
    virtual bool Restore() = 0;
};

struct RestoreOutcome {
    bool restored = false;  ///< an attempt was taken by the camera
    bool stopped = false;   ///< the stop token ended it; no further step may follow
};

/// How a run of restore attempts ended.
enum class AttemptsEnd { Taken, Refused, Stopped };

/// The attempts of every restore (the manual one, the automatic sequence's, `config restore`):
/// `attempt` up to `attempts` times until it returns true, `pause` between two of them. A pause
/// that returns false (its stop was asked for) ends the run at once: Stopped, no further attempt.
AttemptsEnd RestoreAttempts(int attempts, const std::function<bool()>& attempt,
                            const std::function<bool()>& pause);

/// Posts `bytes` (a saved configuration) to the camera of `session` in up to restoreAttempts
/// attempts, manualRestoreRetryPause apart; true when the camera took it. A pause ends at once when
/// the session is cancelled, and no further attempt follows. Blocks the caller.
bool PostSavedConfiguration(CameraSession& session, const std::vector<std::uint8_t>& bytes,
                            const platform::EngineTiming& timing);

/// The restore: pause, read back, the attempts, pause. Without a read-back nothing is posted and
/// the final pause still comes, so the camera has the same time to settle either way.
RestoreOutcome RestoreSaved(RestoreTarget& target, const platform::EngineTiming& timing,
                            std::stop_token stop);

/// True when the restart watch ends after one of its inquiries: the camera named an accepted model
/// (`answered`), or restartWatchLimit has passed since `restoreDoneAt`.
bool RestartWatchOver(bool answered, std::chrono::steady_clock::time_point restoreDoneAt,
                      const platform::EngineTiming& timing);

/// One inquiry of the restart watch: inq=system within `limit`; true when the answer names an
/// accepted model. Shows no message.
bool ProbeRestartedCamera(CameraSession& session, std::chrono::milliseconds limit);

/// The restore target of a session and its saved configuration. Before the first read-back the
/// camera at the address is asked who it is (within rebootInquiryLimit); when another camera
/// answers, or nothing tells which camera answers, nothing is read back or posted. The bytes read back stay
/// with the target, which hands them to the session, until it is destroyed. Both references must outlive it.
class SessionRestoreTarget : public RestoreTarget {
  public:
    SessionRestoreTarget(CameraSession& session, ConfigStore& store);
    /// The session no longer points at the bytes.
    ~SessionRestoreTarget() override;
    SessionRestoreTarget(const SessionRestoreTarget&) = delete;
    SessionRestoreTarget& operator=(const SessionRestoreTarget&) = delete;

    bool ReadBack() override;
    /// A taken attempt marks the store restored and removes its file when that was asked for.
    bool Restore() override;
    /// Another camera answered at the address: its settings were left alone.
    bool AnotherCamera() const { return anotherCamera_; }

  private:
    CameraSession& session_;
    ConfigStore& store_;
    std::vector<std::uint8_t> bytes_;
    bool identityAsked_ = false;
    bool anotherCamera_ = false;
    bool unknownCamera_ = false;
};

/// Called on the thread of RestoreAndWatch.
struct ManualRestoreEvents {
    std::function<void(UpgradeStatus)>
        status;                  ///< LoadingConfig at the start, Reconfiguring after the restore
    std::function<void()> step;  ///< after each attempt and each inquiry of the watch
};

struct ManualRestoreResult {
    bool restored = false;
    bool anotherCamera = false;  ///< another camera answered at the address: nothing posted, no watch
    bool cameraBack = false;     ///< the watch ended because the camera named an accepted model
    bool stopped = false;
};

/// The whole manual restore and restart watch over `session` (its worker ended) and `store` (the
/// configuration saved before the upgrade). The watch advances the session's progress bar by
/// RESTART_WATCH_STEP after each inquiry the camera did not pass.
ManualRestoreResult RestoreAndWatch(CameraSession& session, ConfigStore& store,
                                    const platform::EngineTiming& timing, std::stop_token stop,
                                    const ManualRestoreEvents& events = {});

}  // namespace xqt

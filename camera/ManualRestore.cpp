#include "camera/ManualRestore.h"

#include <condition_variable>
#include <mutex>

#include "camera/CameraSession.h"
#include "camera/ConfigStore.h"

namespace xqt {

namespace {

/// Waits until `deadline`; false when asked to stop first.
bool PauseUntil(std::stop_token stop, std::chrono::steady_clock::time_point deadline) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_until(lock, stop, deadline, [] { return false; });
    return !stop.stop_requested();
}

bool Pause(std::stop_token stop, std::chrono::milliseconds duration) {
    return PauseUntil(stop, std::chrono::steady_clock::now() + duration);
}

void Notify(const std::function<void()>& step) {
    if (step) step();
}

}  // namespace

AttemptsEnd RestoreAttempts(int attempts, const std::function<bool()>& attempt,
                            const std::function<bool()>& pause) {
    for (int n = 1; n <= attempts; ++n) {
        if (attempt()) return AttemptsEnd::Taken;
        if (n < attempts && !pause()) return AttemptsEnd::Stopped;
    }
    return AttemptsEnd::Refused;
}

RestoreOutcome RestoreSaved(RestoreTarget& target, const platform::EngineTiming& timing,
                            std::stop_token stop) {
    RestoreOutcome outcome;
    if (!Pause(stop, timing.manualRestorePause)) {
        outcome.stopped = true;
        return outcome;
    }
    if (target.ReadBack()) {
        const AttemptsEnd end = RestoreAttempts(
            timing.restoreAttempts, [&] { return target.Restore(); },
            [&] { return Pause(stop, timing.manualRestoreRetryPause); });
        if (end == AttemptsEnd::Stopped) {
            outcome.stopped = true;
            return outcome;
        }
        outcome.restored = end == AttemptsEnd::Taken;
    }
    outcome.stopped = !Pause(stop, timing.manualAfterRestorePause);
    return outcome;
}

bool RestartWatchOver(bool answered, std::chrono::steady_clock::time_point restoreDoneAt,
                      const platform::EngineTiming& timing) {
    return answered || std::chrono::steady_clock::now() - restoreDoneAt >= timing.restartWatchLimit;
}

bool ProbeRestartedCamera(CameraSession& session, std::chrono::milliseconds limit) {
    return session.CheckModelAndVersion(session.Inquire(INQ_SYSTEM, limit), false);
}

SessionRestoreTarget::SessionRestoreTarget(CameraSession& session, ConfigStore& store)
    : session_(session), store_(store) {}

SessionRestoreTarget::~SessionRestoreTarget() {
    session_.SetUploadData(nullptr, 0);
}

bool SessionRestoreTarget::ReadBack() {
    session_.SetUploadData(nullptr, 0);
    bytes_.clear();
    if (!identityAsked_) {
        identityAsked_ = true;
        const std::string answer = session_.Inquire(INQ_SYSTEM, session_.timing.rebootInquiryLimit);
        const CameraMatch match = session_.MatchCamera(answer);
        anotherCamera_ = match == CameraMatch::Other;
        // Neither the serial nor the MAC could be read: the settings are withheld, the file kept.
        unknownCamera_ = match == CameraMatch::Unknown;
    }
    if (anotherCamera_ || unknownCamera_) return false;
    std::vector<std::uint8_t> bytes(store_.byteCount);
    if (bytes.empty() || !store_.ReadBack(bytes)) return false;
    bytes_ = std::move(bytes);
    session_.SetUploadData(bytes_.data(), bytes_.size());
    return true;
}

bool SessionRestoreTarget::Restore() {
    if (anotherCamera_ || bytes_.empty()) return false;
    if (session_.RestoreConfig() != PostOutcome::Taken) return false;
    store_.restored.store(true);
    store_.RemoveFile();
    return true;
}

bool PostSavedConfiguration(CameraSession& session, const std::vector<std::uint8_t>& bytes,
                            const platform::EngineTiming& timing) {
    session.SetUploadData(bytes.data(), bytes.size());
    const AttemptsEnd end = RestoreAttempts(
        timing.restoreAttempts, [&] { return session.RestoreConfig() == PostOutcome::Taken; },
        [&] { return session.Pause(timing.manualRestoreRetryPause); });
    session.SetUploadData(nullptr, 0);
    return end == AttemptsEnd::Taken;
}

ManualRestoreResult RestoreAndWatch(CameraSession& session, ConfigStore& store,
                                    const platform::EngineTiming& timing, std::stop_token stop,
                                    const ManualRestoreEvents& events) {
    ManualRestoreResult result;
    if (events.status) events.status(UpgradeStatus::LoadingConfig);
    {
        // Each attempt is a step the caller may want to show.
        struct Target : SessionRestoreTarget {
            Target(CameraSession& s, ConfigStore& c, const std::function<void()>& step)
                : SessionRestoreTarget(s, c), step_(step) {}
            bool Restore() override {
                const bool taken = SessionRestoreTarget::Restore();
                Notify(step_);
                return taken;
            }
            const std::function<void()>& step_;
        } target(session, store, events.step);
        const RestoreOutcome outcome = RestoreSaved(target, timing, stop);
        result.restored = outcome.restored;
        result.anotherCamera = target.AnotherCamera();
        result.stopped = outcome.stopped;
    }
    if (result.stopped || result.anotherCamera) return result;

    if (events.status) events.status(UpgradeStatus::Reconfiguring);
    const auto restoreDoneAt = std::chrono::steady_clock::now();
    // Paced like the window timer the wizard watches with: the first inquiry one period after the
    // restore, and ticks that passed while an inquiry ran merge into the next one.
    auto next = restoreDoneAt + timing.restartWatchPeriod;
    for (;;) {
        if (!PauseUntil(stop, next)) {
            result.stopped = true;
            return result;
        }
        const bool answered = ProbeRestartedCamera(session, timing.restartWatchInquiryLimit);
        if (!answered && session.progressBar) session.progressBar->Advance(RESTART_WATCH_STEP);
        Notify(events.step);
        if (RestartWatchOver(answered, restoreDoneAt, timing)) {
            result.cameraBack = answered;
            return result;
        }
        const auto now = std::chrono::steady_clock::now();
        while (next <= now)
            next += timing.restartWatchPeriod;
    }
}

}  // namespace xqt

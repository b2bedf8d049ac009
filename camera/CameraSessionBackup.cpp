// CameraSession: the configuration backup and restore of automatic mode (in manual mode the wizard
// keeps the configuration itself), around ConfigStore and RestoreConfig.
#include <vector>

#include "camera/CameraSession.h"
#include "camera/ConfigStore.h"
#include "camera/ManualRestore.h"
#include "camera/SessionSequence.h"
#include "platform/Windows1252.h"

namespace xqt {

bool CameraSession::SaveConfiguration() {
    Sequence& seq = *sequence_;
    const std::string model = modelList[0] ? platform::Windows1252ToUtf8(*modelList[0]) : std::string();
    const std::int64_t seconds = timeStamp_ ? timeStamp_->load() : 0;
    const auto stamp = seconds != 0
                           ? std::chrono::system_clock::from_time_t(static_cast<std::time_t>(seconds))
                           : std::chrono::system_clock::now();
    const std::string inquired = inquiredSerial.Get();
    auto store = std::make_unique<ConfigStore>(
        hostPort, ConfigRemotePath(model), credential, stamp, model, inquired.empty() ? serialText : inquired,
        deleteFlag_ ? deleteFlag_->load() : 0, timing.streamReceiveTimeout, detail::TransferBoundOf(timing));
    ConfigStore* saving = store.get();
    {
        std::lock_guard lock(seq.postMutex);  // CancelSequence cancels the download through it
        configStore = std::move(store);
        if (seq.abandoned.load()) saving->Cancel();
    }
    if (!saving->Download()) return false;
    savedConfigPath.Set(saving->localPath);
    return true;
}

bool CameraSession::HasConfigStore() const {
    return configStore != nullptr;
}

void CameraSession::RestoreSteps() {
    if (!WorkerPause(timing.restorePause)) return;
    // The address may have been taken over while the camera rebooted: another camera's settings
    // must never be replaced by these.
    const std::string answer = WorkerInquire(INQ_SYSTEM, timing.rebootInquiryLimit);
    const CameraMatch match = MatchCamera(answer);
    if (match == CameraMatch::Other) {
        Step([&] {
            ReportUpgradeError(UpgradeFailure::AnotherCamera);
            finished.store(true);
        });
        return;
    }
    if (match == CameraMatch::Unknown) {
        // Nothing says which camera answers: the settings are withheld and their file kept, as
        // when the camera refused them.
        failure.store(FailureCode(UpgradeFailure::NotRestored));
        if (!WorkerPause(timing.afterRestorePause)) return;
        ReconfigurationPhase();
        return;
    }
    std::vector<std::uint8_t> saved(configStore->byteCount);
    // A file that cannot be read back whole is not posted: a partial configuration would leave
    // the camera half set up. The attempts then fail and the saved file stays.
    if (!configStore->ReadBack(saved)) saved.clear();
    SetUploadData(saved.data(), saved.size());
    NotePanTilt();
    const AttemptsEnd end = RestoreAttempts(
        timing.restoreAttempts,
        [&] {
            if (IsAbandoned()) return false;
            const PostOutcome result = RestoreConfig();
            if (statusObserver) {
                std::lock_guard lock(sequence_->stepMutex);  // the restore request sets Overwriting itself
                if (status.load() == StatusCode(UpgradeStatus::Overwriting))
                    statusObserver(UpgradeStatus::Overwriting);
            }
            return result == PostOutcome::Taken;
        },
        [&] { return WorkerPause(timing.restoreRetryPause); });
    // The session never keeps pointing at bytes that end with this step.
    SetUploadData(nullptr, 0);
    if (end == AttemptsEnd::Taken) {
        configStore->restored.store(true);
        configStore->RemoveFile();  // only when the user asked for it
    }
    if (IsAbandoned() || end == AttemptsEnd::Stopped) return;
    // The upgrade itself stands; whoever reads the result must still learn that the settings are
    // not back (the saved file stays).
    if (end == AttemptsEnd::Refused) failure.store(FailureCode(UpgradeFailure::NotRestored));
    saved.clear();
    saved.shrink_to_fit();
    if (!WorkerPause(timing.afterRestorePause)) return;
    ReconfigurationPhase();
}

}  // namespace xqt

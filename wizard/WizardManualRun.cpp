// The manual path of WizardFlow: leaving the target page, the confirmation, the upgrade run with
// its saved configuration, the restore, the restart watch and the result page.
#include <algorithm>
#include <memory>

#include "camera/ConfigStore.h"
#include "camera/Credential.h"
#include "camera/ManualRestore.h"
#include "camera/PlaceholderGuard.h"
#include "platform/ResourceText.h"
#include "platform/SessionOwner.h"
#include "wizard/WizardFlow.h"
#include "wizard/WizardTexts.h"

namespace xqt {

using platform::MbButtons;
using platform::MbIcon;
using platform::MbResult;
using platform::TextOf;

namespace {

/// The core's restore, reaching the camera through the wizard's engine.
class EngineRestoreTarget : public RestoreTarget {
  public:
    explicit EngineRestoreTarget(WizardEngine& engine) : engine_(engine) {}
    bool ReadBack() override { return engine_.ReadBackConfiguration(); }
    bool Restore() override { return engine_.RestoreConfiguration(); }

  private:
    WizardEngine& engine_;
};

}  // namespace

void WizardFlow::NextFromTarget() {
    auto& page = view_.ManualTarget();
    if (velmoranMode_ && !page.CheckUniqueAddress(engine_.DiscoveredCameras())) {
        SetButtons(ButtonMode::CancelOnly);
        return;
    }
    if (!page.Validate()) return;
    targetAddress_ = page.GetAddressText();
    if (RefusePlaceholder()) return;
    targetCredential_ = EncodeCredential(page.AdminName(), page.AdminPassword());
    RunCheck([this](const CameraCheck& check) {
        if (!check.passed || !engine_.IsSerialAllowed(cameraSerial_)) {
            ShowEngineMessage(check.message);
            boxes_.Show(MSG_NOT_SUITABLE, TextOf(TEXT_INFORMATION), MbButtons::Ok, MbIcon::Question);
            return;
        }
        ShowStatus(UpgradeStatus::Standby);
        view_.ManualProgress().SetSetupData(view_.ManualTarget().ReadSetupData());
        state_ = STATE_MANUAL_READY;
        ShowPage();
    });
}

bool WizardFlow::RefusePlaceholder() {
    // The placeholder is for simulated cameras: a real camera is not even asked about it.
    if (!resources_.CarriesPlaceholder() || IsLoopbackHost(targetAddress_)) return false;
    boxes_.Show(std::string(PLACEHOLDER_REFUSAL), TextOf(TEXT_ERROR), MbButtons::Ok, MbIcon::Stop);
    return true;
}

void WizardFlow::ConfirmUpgrade() {
    if (RefusePlaceholder()) return;
    if (boxes_.Show(TextOf(TEXT_PROCEED), TextOf(TEXT_INFORMATION), MbButtons::OkCancel, MbIcon::Question) !=
        MbResult::Ok)
        return;
    auto& page = view_.ManualTarget();
    targetCredential_ = EncodeCredential(page.AdminName(), page.AdminPassword());
    RunCheck([this](const CameraCheck& check) {
        if (!check.passed) {
            ShowEngineMessage(check.message);
            return;
        }
        state_ = STATE_MANUAL_RUNNING;
        ShowPage();
    });
}

void WizardFlow::RunCheck(std::function<void(const CameraCheck&)> then) {
    view_.SetWaitCursor(true);
    auto result = std::make_shared<CameraCheck>();
    RunBusy([this, result, address = targetAddress_, credential = targetCredential_](
                std::stop_token) { *result = engine_.CheckCamera(address, credential); },
            [this, result, then = std::move(then)] {
                view_.SetWaitCursor(false);
                resources_.SelectSlot(result->docType);
                currentVersion_ = result->currentVersion;
                cameraSerial_ = result->serial;
                cameraModel_ = result->model;
                then(*result);
            });
}

void WizardFlow::ShowEngineMessage(const std::optional<EngineMessage>& message) {
    if (message) boxes_.Show(message->text, message->caption, MbButtons::Ok, message->icon);
}

void WizardFlow::StartManualUpgrade() {
    view_.EnableButton(WizardButton::Back, false);
    view_.EnableButton(WizardButton::Next, false);
    view_.EnableButton(WizardButton::Cancel, false);
    view_.EnableClose(false);
    view_.ManualProgress().SetStatusLine(TextOf(TEXT_IN_PROGRESS));
    if (!LockCamera()) return;
    const SetupData setup = view_.ManualTarget().ReadSetupData();
    if (!setup.retain) return LaunchSession();

    const std::string model = resources_.modelNames[0].value_or(std::string());
    ConfigRequest request{
        targetAddress_, ConfigRemotePath(model), targetCredential_, std::chrono::system_clock::now(),
        model,          cameraSerial_,           !setup.backup};
    ReleaseConfiguration();
    ShowStatus(UpgradeStatus::SavingConfig);
    phase_ = RunPhase::Saving;
    auto saved = std::make_shared<bool>(false);
    RunBusy([this, request, saved](std::stop_token) { *saved = engine_.SaveConfiguration(request); },
            [this, saved] {
                if (!*saved) {
                    // The engine keeps nothing of a failed download, so a later run without
                    // retaining cannot put a partial file back on the camera.
                    phase_ = RunPhase::Idle;
                    RecordUpgrade(true);
                    boxes_.Show(MSG_CANNOT_SAVE, CAPTION_INFORMATION, MbButtons::Ok, MbIcon::Stop);
                    state_ = STATE_MANUAL_TARGET;
                    ShowPage();
                    return;
                }
                hasConfigBackup_ = true;
                configRestored_ = false;
                LaunchSession();
            });
}

bool WizardFlow::LockCamera() {
    cameraLocks_.clear();
    // Another run of this tool (the command line, a second wizard) writing to this camera is left
    // alone: by its address, and by its serial, which the check has just read.
    std::vector<std::string> keys{platform::AddressLockKey(targetAddress_)};
    if (!cameraSerial_.empty()) keys.push_back(platform::SerialLockKey(cameraSerial_));
    for (const std::string& key : keys) {
        platform::CameraLock lock = platform::CameraLock::Take(key);
        if (!lock.Held()) {
            cameraLocks_.clear();
            boxes_.Show("The camera at " + targetAddress_ + " is " + lock.RefusalText() +
                            ". Nothing was written to it; try again once that run has ended.",
                        CAPTION_INFORMATION, MbButtons::Ok, MbIcon::Stop);
            view_.EnableButton(WizardButton::Back, true);
            view_.EnableButton(WizardButton::Next, true);
            view_.EnableButton(WizardButton::Cancel, true);
            view_.EnableClose(true);
            state_ = STATE_MANUAL_TARGET;
            ShowPage();
            return false;
        }
        cameraLocks_.push_back(std::move(lock));
    }
    return true;
}

void WizardFlow::LaunchSession() {
    // The indicator follows the new session: hidden until its first tick reports emergency.
    emergencyShown_ = false;
    view_.ShowEmergencyIndicator(false);
    const auto slot = static_cast<std::size_t>(std::clamp(resources_.slotIndex, 0, IMAGE_SLOTS - 1));
    UpgradeRequest request;
    request.hostPort = targetAddress_;
    request.credential = targetCredential_;
    request.image = resources_.slotData[slot];
    request.imageSize = resources_.slotSize[slot];
    request.newVersion = resources_.versionLabel;
    request.progressBar = &progress_;
    ShowStatus(UpgradeStatus::Uploading);
    phase_ = RunPhase::Upgrading;
    engine_.StartUpgrade(request, *this);
    view_.StartTimer(TIMER_DISPLAY_REFRESH, DISPLAY_REFRESH_MS);
}

void WizardFlow::OnSessionTick() {
    FollowSession();
}

void WizardFlow::FollowSession() {
    if (phase_ != RunPhase::Upgrading) return;
    const SessionSnapshot session = engine_.ReadSession();
    if (session.emergency && !emergencyShown_) {
        view_.ShowEmergencyIndicator(true);
        emergencyShown_ = true;
    } else if (!session.emergency && emergencyShown_) {
        view_.ShowEmergencyIndicator(false);
        emergencyShown_ = false;
    }
    if (session.status == displayedStatus_) return;
    ShowStatus(session.status);
    // With a saved configuration the result waits for the upgrade message, which restores it
    // first; going to the result here would report a restore fault and drop the configuration.
    if (session.status == UpgradeStatus::Completed && !hasConfigBackup_) {
        phase_ = RunPhase::Idle;
        view_.StopTimer(TIMER_DISPLAY_REFRESH);
        state_ = STATE_MANUAL_RESULT;
        ShowPage();
    }
}

void WizardFlow::OnUpgradeMessage(int wParam, int lParam) {
    // Only the running session's first report counts; a late duplicate would start a second restore.
    if (phase_ != RunPhase::Upgrading) return;
    static_assert(platform::UPGRADE_STATE_TARGET == STATE_MANUAL_TARGET &&
                  platform::UPGRADE_STATE_RESULT == STATE_MANUAL_RESULT);
    if (wParam == platform::UPGRADE_ADVANCE_STATE) {
        state_ += lParam;
    } else {
        state_ = lParam;
        if (lParam == STATE_MANUAL_TARGET) {
            ResetButtonTexts();
            view_.EnableButton(WizardButton::Next, true);
            view_.EnableButton(WizardButton::Back, true);
            view_.EnableButton(WizardButton::Cancel, true);
            view_.FocusButton(WizardButton::Next);
            view_.EnableClose(true);
            // Before the release: the engine names the saved file while it still holds it.
            RecordUpgrade(true);
            ReleaseConfiguration();
            view_.StopTimer(TIMER_RESTART_WATCH);
        }
    }
    engine_.StopSessionTimers();
    view_.StopTimer(TIMER_DISPLAY_REFRESH);
    if (!hasConfigBackup_) {
        phase_ = RunPhase::Idle;
        ShowPage();
        return;
    }
    RestoreConfiguration();
}

void WizardFlow::RestoreConfiguration() {
    phase_ = RunPhase::Restoring;
    ShowStatus(UpgradeStatus::LoadingConfig);
    auto restored = std::make_shared<bool>(false);
    RunBusy(
        [this, restored, timing = timing_](std::stop_token stop) {
            EngineRestoreTarget target(engine_);
            *restored = RestoreSaved(target, timing, stop).restored;
        },
        [this, restored] {
            configRestored_ = *restored;
            ShowStatus(UpgradeStatus::Reconfiguring);
            restoreDoneAt_ = std::chrono::steady_clock::now();
            phase_ = RunPhase::Watching;
            view_.StartTimer(TIMER_RESTART_WATCH, static_cast<int>(timing_.restartWatchPeriod.count()));
        });
}

void WizardFlow::RestartWatchTick() {
    // A tick that comes while the previous inquiry still runs is skipped, as a blocked handler
    // would have merged it.
    if (phase_ != RunPhase::Watching || probeRunning_) return;
    probeRunning_ = true;
    auto answered = std::make_shared<bool>(false);
    RunBusy([this, answered, limit = static_cast<int>(timing_.restartWatchInquiryLimit.count())](
                std::stop_token) { *answered = engine_.ProbeCamera(limit); },
            [this, answered] {
                probeRunning_ = false;
                if (phase_ != RunPhase::Watching) return;
                if (!*answered) progress_.Advance(RESTART_WATCH_STEP);
                if (!RestartWatchOver(*answered, restoreDoneAt_, timing_)) return;
                view_.StopTimer(TIMER_RESTART_WATCH);
                phase_ = RunPhase::Idle;
                ShowPage();
            });
}

void WizardFlow::EnterResult() {
    if (hasConfigBackup_ && !configRestored_)
        boxes_.Show(MSG_RESTORE_FAULT, CAPTION_INFORMATION, MbButtons::Ok, MbIcon::Stop);
    RecordUpgrade(false);
    ReleaseConfiguration();
    phase_ = RunPhase::Idle;
    view_.ShowOnlyPage(WizardPage::ManualResult);
    view_.EnableButton(WizardButton::Back, true);
    view_.EnableButton(WizardButton::Next, false);
    view_.EnableButton(WizardButton::Cancel, true);
    view_.EnableClose(true);
    auto& page = view_.ManualResult();
    page.SetAddressText(targetAddress_);
    page.SetResultText(resources_.versionLabel, engine_.ReadSession().verified);
    view_.SetButtonText(WizardButton::Back, TextOf(TEXT_RETRY));
    view_.SetButtonText(WizardButton::Cancel, TextOf(TEXT_FINISH_RESULT));
    confirmQuit_ = false;
}

void WizardFlow::RecordUpgrade(bool failed) {
    const bool verified = !failed && engine_.ReadSession().verified;
    HistoryEntry entry;
    entry.tool = "xqt-upgrade";
    entry.address = targetAddress_;
    entry.serial = cameraSerial_;
    entry.model = cameraModel_;
    entry.versionBefore = currentVersion_.rfind("ver", 0) == 0 ? currentVersion_.substr(3) : std::string();
    if (verified && resources_.versionLabel.rfind("ver", 0) == 0)
        entry.versionAfter = resources_.versionLabel.substr(3);
    entry.outcome = failed                                   ? Outcome::Failed
                    : !verified                              ? Outcome::Unconfirmed
                    : (hasConfigBackup_ && !configRestored_) ? Outcome::SettingsNotRestored
                                                             : Outcome::Upgraded;
    engine_.RecordUpgrade(entry);
    // Every end of a run is recorded here: the camera is free for other runs from now on.
    cameraLocks_.clear();
}

void WizardFlow::ShowStatus(UpgradeStatus status) {
    displayedStatus_ = status;
    view_.ManualProgress().ShowStatusWord(status);
}

void WizardFlow::ReleaseConfiguration() {
    if (hasConfigBackup_) engine_.ReleaseConfiguration();
    hasConfigBackup_ = false;
    configRestored_ = false;
}

}  // namespace xqt

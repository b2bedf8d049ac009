#pragma once
// The wizard frame's logic, apart from its widgets: the page state 0-10 and every transition of
// Next, Back, Enter and Cancel, the button modes of SetButtons, quitting, the discovery timer, the
// hidden mode and the manual upgrade run. Qt-free: the window is reached through WizardView, the
// camera through WizardEngine.
//
// Threads: everything here runs on the UI thread. Blocking engine calls (camera checks, saving and
// restoring the configuration, the restart watch's inquiries) and the pauses between them run on
// the view's helper thread; while one runs, `Busy` is true and Next, Back, Cancel, Enter and the
// hidden-mode command do nothing, so the user cannot start a second action.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "camera/ManualRestore.h"
#include "camera/ResourceState.h"
#include "platform/CameraLock.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"
#include "wizard/WizardEngine.h"
#include "wizard/WizardView.h"

namespace xqt {

/// Page states.
enum WizardState : std::int32_t {
    STATE_PRECAUTIONS = 0,
    STATE_AGREEMENT = 1,
    STATE_MODE = 2,
    STATE_MANUAL_TARGET = 3,
    STATE_MANUAL_READY = 4,
    STATE_MANUAL_RUNNING = 5,
    STATE_MANUAL_RESULT = 6,
    STATE_AUTO_TARGETS = 7,
    STATE_AUTO_READY = 8,
    STATE_AUTO_RUNNING = 9,
    STATE_AUTO_ABORTED = 10,
};

class WizardFlow : public WizardEngineEvents {
  public:
    /// All references must outlive the flow. `resources` is loaded and the pages exist before Start.
    WizardFlow(WizardView& view, WizardEngine& engine, platform::MessageBoxes& boxes,
               ResourceState& resources, platform::EngineTiming timing);

    /// Button texts, discovery (service, timer, first enquiry) and the first page.
    void Start();

    void Next();
    void Back();
    /// Cancel button, Escape and the close box. Does nothing while the Cancel button is disabled.
    void Cancel();
    /// The Enter key; `focus` is the button that has the focus, if any.
    void Enter(std::optional<WizardButton> focus);
    /// Command 32771, posted by the Next button on K.
    void HiddenModeCommand();
    /// The one way pages change the frame's buttons; a value outside ButtonMode is ignored.
    void SetButtons(ButtonMode mode);
    /// Every timer of the frame arrives here.
    void OnTimer(int id);

    void OnSessionTick() override;
    void OnUpgradeMessage(int wParam, int lParam) override;

    /// Destruction steps after the pages and resources are gone: discovery handshake, saved
    /// configuration and session released. The view's helper thread must have been joined first.
    void Shutdown();

    [[nodiscard]] std::int32_t State() const { return state_; }
    [[nodiscard]] bool ConfirmQuit() const { return confirmQuit_; }
    [[nodiscard]] bool AbortMode() const { return abortMode_; }
    [[nodiscard]] bool FinishMode() const { return finishMode_; }
    [[nodiscard]] bool VelmoranMode() const { return velmoranMode_; }
    [[nodiscard]] bool Busy() const { return busy_; }
    [[nodiscard]] UpgradeStatus DisplayedStatus() const { return displayedStatus_; }
    const std::string& TargetAddress() const { return targetAddress_; }
    const std::string& TargetCredential() const { return targetCredential_; }
    const std::string& CurrentVersion() const { return currentVersion_; }
    const std::string& CameraSerial() const { return cameraSerial_; }
    ProgressBarValue& Progress() { return progress_; }
    const ProgressBarValue& Progress() const { return progress_; }

  private:
    /// Where the manual run is; engine events are handled only in the phase that expects them.
    enum class RunPhase { Idle, Saving, Upgrading, Restoring, Watching };

    void ShowPage();
    void NextFromTarget();
    void ConfirmUpgrade();
    /// The placeholder image toward a camera outside loopback: shows the refusal, true.
    [[nodiscard]] bool RefusePlaceholder();
    /// The camera check off the UI thread under the wait cursor; `then` runs on the UI thread.
    void RunCheck(std::function<void(const CameraCheck&)> then);
    void ShowEngineMessage(const std::optional<EngineMessage>& message);
    void StartManualUpgrade();
    /// Holds the manual run's camera; false after telling the user another run holds it.
    [[nodiscard]] bool LockCamera();
    void LaunchSession();
    /// The session's status word and emergency state on the page, and the result page once it
    /// has completed without a saved configuration; on each session tick and display refresh.
    void FollowSession();
    void RestoreConfiguration();
    void RestartWatchTick();
    void EnterResult();
    /// The run, into the engine's history: one that reached the result page, or with `failed` one
    /// that went back to the target page after its configuration was saved or its upgrade started.
    void RecordUpgrade(bool failed);
    void ShowStatus(UpgradeStatus status);
    void ReleaseConfiguration();
    void ResetButtonTexts();
    void DiscoveryTick();
    void StopDiscovery();
    void RunBusy(std::function<void(std::stop_token)> work, std::function<void()> done);

    WizardView& view_;
    WizardEngine& engine_;
    platform::MessageBoxes& boxes_;
    ResourceState& resources_;
    platform::EngineTiming timing_;

    std::int32_t state_ = STATE_PRECAUTIONS;
    bool confirmQuit_ = false;
    bool abortMode_ = false;
    bool finishMode_ = false;
    bool velmoranMode_ = false;
    std::int32_t enquiriesSent_ = 0;
    bool discoveryRunning_ = false;
    bool busy_ = false;

    std::string targetAddress_;
    std::string targetCredential_;
    std::string currentVersion_;
    std::string cameraSerial_;
    std::string cameraModel_;

    RunPhase phase_ = RunPhase::Idle;
    UpgradeStatus displayedStatus_ = UpgradeStatus::Standby;
    bool emergencyShown_ = false;
    bool hasConfigBackup_ = false;
    bool configRestored_ = false;
    bool probeRunning_ = false;
    std::chrono::steady_clock::time_point restoreDoneAt_{};
    ProgressBarValue progress_;
    /// The manual run's camera, held against other runs from its start until its end is recorded.
    std::vector<platform::CameraLock> cameraLocks_;
};

}  // namespace xqt

#pragma once
// The WizardEngine over the camera engine: discovery by DiscoveryService into a DiscoveryResults
// that lives as long as the engine, the serial-number rules, the manual camera check, the saved
// configuration and the manual upgrade's CameraSession. Qt-free; the wizard's session owner is reached
// through SessionOwner.
//
// Threads: as WizardEngine states. CheckCamera runs on the wizard's helper thread; its session
// shows no box itself: the box it would show is returned in CameraCheck::message for the wizard to
// show on the UI thread. DeliverTimer and DeliverUpgradeMessage are called on the UI thread by
// the owner that the program made (QtSessionOwner's handlers).
//
// The manual session. The session of a check that passed is kept and becomes the upgrade's
// session when StartUpgrade names the same camera and credential: it already knows whether the
// camera is in emergency state (the upload, the progress and the verification differ for such a
// camera) and whether it pans and tilts (the restore path). Only from StartUpgrade on do its
// timers, messages and boxes reach the program's owner. The session lives until the next
// StartUpgrade or EndSession; StartUpgrade and EndSession are UI-thread calls that the wizard
// makes only while no helper-thread call runs, so the helper-thread calls (RestoreConfiguration,
// ProbeCamera) may use the session without a lock. The saved configuration and its read-back
// bytes belong to the engine until ReleaseConfiguration, which likewise never overlaps them.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/ConfigStore.h"
#include "camera/DiscoveryResults.h"
#include "camera/DiscoveryService.h"
#include "camera/ManualRestore.h"
#include "camera/ModelList.h"
#include "platform/EngineTiming.h"
#include "platform/SessionOwner.h"
#include "wizard/WizardEngine.h"

namespace xqt {

/// The discovery durations of an EngineTiming.
DiscoveryTiming DiscoveryTimingOf(const platform::EngineTiming& timing);

class RealWizardEngine : public WizardEngine {
  public:
    /// `owner` receives the manual session's timers, messages and boxes; it must outlive the
    /// engine (null: no session can be started). `discovery` sets where the enquiry goes, how
    /// set-up failures end the process and where their lines go; its timing is replaced by the
    /// durations of `timing`.
    RealWizardEngine(ModelList models, platform::EngineTiming timing, platform::SessionOwner* owner,
                     DiscoveryOptions discovery = {});
    /// Ends the manual session (joining its worker) and discovery by the stop handshake.
    ~RealWizardEngine() override;

    RealWizardEngine(const RealWizardEngine&) = delete;
    RealWizardEngine& operator=(const RealWizardEngine&) = delete;

    void StartDiscovery() override;
    void SendEnquiry() override;
    void RequestDiscoveryStop() override;
    [[nodiscard]] bool DiscoveryStopRequested() const override;
    [[nodiscard]] bool DiscoveryRunning() const override;
    /// The entries in use, their camera texts converted from the wire's 8-bit code page to UTF-8.
    std::vector<DiscoveryEntry> DiscoveredCameras() const override;
    void StopDiscovery() override;

    [[nodiscard]] bool IsSerialAllowed(const std::string& serial) const override;

    [[nodiscard]] CameraCheck CheckCamera(const std::string& hostPort,
                                          const std::string& credential) override;
    [[nodiscard]] bool SaveConfiguration(const ConfigRequest& request) override;
    [[nodiscard]] bool ReadBackConfiguration() override;
    [[nodiscard]] bool RestoreConfiguration() override;
    [[nodiscard]] bool ProbeCamera(int limitMs) override;

    void StartUpgrade(const UpgradeRequest& request, WizardEngineEvents& events) override;
    SessionSnapshot ReadSession() const override;
    void StopSessionTimers() override;
    void EndSession() override;
    void ReleaseConfiguration() override;
    void RecordUpgrade(const HistoryEntry& entry) override;

    /// A tick of one of the owner's timers: the session's own (TIMER_*_BASE + 0) go to its
    /// OnSessionTimer; after a tick or lost-link tick the events hear OnSessionTick. A tick of any
    /// other id, or one that comes while there is no session, stops its timer. UI thread.
    void DeliverTimer(int id);
    /// WM_APP_UPGRADE as the owner delivers it; passed to the events of the running session. UI
    /// thread.
    void DeliverUpgradeMessage(std::int32_t wParam, std::int32_t lParam);

    const DiscoveryResults& Results() const { return results_; }
    /// The saved configuration's file, empty when there is none. Helper or UI thread, not while
    /// the other changes it.
    [[nodiscard]] std::string SavedConfigurationPath() const;
    /// The running discovery service, or null. UI thread.
    const DiscoveryService* Discovery() const { return discovery_.get(); }

  private:
    const ModelList models_;
    const platform::EngineTiming timing_;
    platform::SessionOwner* const owner_;
    DiscoveryOptions discoveryOptions_;
    DiscoveryResults results_;
    std::unique_ptr<DiscoveryService> discovery_;
    WizardEngineEvents* events_ = nullptr;  // UI thread only

    class RoutedOwner;
    /// A session with the owner that routes its boxes: kept for the check, or forwarded to owner_.
    struct ManualSession;
    /// A session of the manual path (slot 0, no backup flags) whose owner keeps its boxes for now.
    std::unique_ptr<ManualSession> NewSession(const std::string& hostPort,
                                              const std::string& credential) const;
    void DeleteSession();

    mutable std::mutex checkedMutex_;         // checked_ is written on the helper thread
    std::unique_ptr<ManualSession> checked_;  // the last check's session when it passed
    std::unique_ptr<ManualSession> session_;  // the upgrade's session; UI thread writes it
    std::unique_ptr<ConfigStore> config_;
    // The restore of the last read-back over session_ and config_; declared after both and reset
    // before either goes.
    std::unique_ptr<SessionRestoreTarget> restore_;
};

}  // namespace xqt

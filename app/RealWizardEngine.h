#pragma once
// The WizardEngine over the camera engine: discovery by DiscoveryService into a DiscoveryResults
// that lives as long as the engine, the serial-number rules, and the manual camera check in a
// temporary CameraSession. Qt-free; the wizard's session owner is reached through SessionOwner.
//
// Threads: as WizardEngine states. CheckCamera runs on the wizard's helper thread; its session
// shows no box itself: the box it would show is returned in CameraCheck::message for the wizard to
// show on the UI thread. DeliverTimer and DeliverUpgradeMessage are called on the UI thread by
// the owner that the program made (QtSessionOwner's handlers).
//
// Not wired yet: the saved configuration and the manual upgrade session (SaveConfiguration,
// ReadBackConfiguration, RestoreConfiguration, ProbeCamera, StartUpgrade, ReadSession,
// StopSessionTimers, EndSession, ReleaseConfiguration) report failure or do nothing until the
// upgrade sequence is linked in; StartUpgrade then reports a failed upgrade through the owner, so
// the wizard goes back to the target page.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/WizardEngine.h"
#include "camera/DiscoveryResults.h"
#include "camera/DiscoveryService.h"
#include "camera/ModelList.h"
#include "platform/EngineTiming.h"
#include "platform/SessionOwner.h"

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
    /// Ends discovery by the stop handshake if it still runs.
    ~RealWizardEngine() override;

    RealWizardEngine(const RealWizardEngine&) = delete;
    RealWizardEngine& operator=(const RealWizardEngine&) = delete;

    void StartDiscovery() override;
    void SendEnquiry() override;
    void RequestDiscoveryStop() override;
    bool DiscoveryStopRequested() const override;
    bool DiscoveryRunning() const override;
    /// The entries in use, their camera texts converted from the wire's 8-bit code page to UTF-8.
    std::vector<DiscoveryEntry> DiscoveredCameras() const override;
    void StopDiscovery() override;

    bool IsSerialAllowed(const std::string& serial) const override;

    CameraCheck CheckCamera(const std::string& hostPort, const std::string& credential) override;
    bool SaveConfiguration(const ConfigRequest& request) override;
    bool ReadBackConfiguration() override;
    bool RestoreConfiguration() override;
    bool ProbeCamera(int limitMs) override;

    void StartUpgrade(const UpgradeRequest& request, WizardEngineEvents& events) override;
    SessionSnapshot ReadSession() const override;
    void StopSessionTimers() override;
    void EndSession() override;
    void ReleaseConfiguration() override;

    /// A tick of one of the owner's timers. UI thread.
    void DeliverTimer(int id);
    /// WM_APP_UPGRADE as the owner delivers it; passed to the events of the running session. UI
    /// thread.
    void DeliverUpgradeMessage(std::int32_t wParam, std::int32_t lParam);

    const DiscoveryResults& Results() const { return results_; }
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
};

}  // namespace xqt

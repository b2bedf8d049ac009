#pragma once
// A WizardEngine that talks to no camera: discovery finds nothing and every camera check answers
// as an unreachable camera does. It lets the wizard run while the real engine is not linked in.

#include <string>

#include "wizard/WizardEngine.h"

namespace xqt {

class OfflineWizardEngine : public WizardEngine {
  public:
    /// `firstModel` is named in the refusal, as the real check names entry 0 of the model list.
    explicit OfflineWizardEngine(std::string firstModel) : firstModel_(std::move(firstModel)) {}

    void StartDiscovery() override {}
    void SendEnquiry() override {}
    void RequestDiscoveryStop() override {}
    [[nodiscard]] bool DiscoveryStopRequested() const override { return false; }
    [[nodiscard]] bool DiscoveryRunning() const override { return false; }
    std::vector<DiscoveryEntry> DiscoveredCameras() const override { return {}; }
    void StopDiscovery() override {}
    [[nodiscard]] bool IsSerialAllowed(const std::string&) const override { return true; }
    [[nodiscard]] CameraCheck CheckCamera(const std::string& hostPort,
                                          const std::string& credential) override;
    [[nodiscard]] bool SaveConfiguration(const ConfigRequest&) override { return false; }
    [[nodiscard]] bool ReadBackConfiguration() override { return false; }
    [[nodiscard]] bool RestoreConfiguration() override { return false; }
    [[nodiscard]] bool ProbeCamera(int) override { return false; }
    void StartUpgrade(const UpgradeRequest&, WizardEngineEvents&) override {}
    SessionSnapshot ReadSession() const override { return {}; }
    void StopSessionTimers() override {}
    void EndSession() override {}
    void ReleaseConfiguration() override {}

  private:
    std::string firstModel_;
};

}  // namespace xqt

#pragma once
// A WizardEngine for the wizard tests: records every call in order, answers as told, and lets a
// test play the session's part (ticks and upgrade messages). Blocking calls can be held at a gate
// to show that the window keeps running while they wait.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "wizard/WizardEngine.h"

namespace xqt::test {

class FakeWizardEngine : public WizardEngine {
  public:
    FakeWizardEngine();

    void StartDiscovery() override;
    void SendEnquiry() override;
    void RequestDiscoveryStop() override;
    bool DiscoveryStopRequested() const override;
    bool DiscoveryRunning() const override;
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
    void RecordUpgrade(const HistoryEntry& entry) override {
        Record("RecordUpgrade");
        recorded.push_back(entry);
    }

    /// The session's part: set its words and tick, or post the upgrade message.
    void Tick(UpgradeStatus status, bool emergency = false);
    void Post(int wParam, int lParam);

    /// While closed, CheckCamera waits at the gate.
    void CloseGate();
    void OpenGate();
    bool WaitingAtGate() const;

    std::vector<std::string> Calls() const;
    int Count(const std::string& call) const;

    // What to answer (set before the call).
    std::function<CameraCheck(const std::string& hostPort)> check;
    std::set<std::string> rejectedSerials;
    std::vector<DiscoveryEntry> found;
    bool stopWord = false;
    bool receiverRunning = false;  ///< the targets page waits while this is set
    bool saveSucceeds = true;
    bool readBackSucceeds = true;
    int restoreFailures = 0;  ///< attempts that fail before one succeeds
    int probeAnswersAt = 1;   ///< the probe that finds the camera back; 0: never

    // What was asked.
    std::vector<std::pair<std::string, std::string>> checked;  ///< host and credential of each check
    std::optional<ConfigRequest> saved;
    std::optional<UpgradeRequest> started;
    WizardEngineEvents* events = nullptr;
    SessionSnapshot session;
    bool verified = true;                ///< ReadSession's word on the camera's confirmation
    std::vector<HistoryEntry> recorded;  ///< the history entries, in order

  private:
    void Record(const std::string& call);

    mutable std::mutex mutex_;
    std::condition_variable gateChanged_;
    bool gateClosed_ = false;
    bool atGate_ = false;
    std::vector<std::string> calls_;
    int restoreAttempts_ = 0;
    int probes_ = 0;
};

/// A check that passes, as a camera of version 2.31 with the given serial answers it.
CameraCheck PassingCheck(const std::string& serial = "1000001");

}  // namespace xqt::test

#include "tests/wizard/FakeWizardEngine.h"

#include <algorithm>

namespace xqt::test {

CameraCheck PassingCheck(const std::string& serial) {
    CameraCheck check;
    check.passed = true;
    check.model = "XQT-TR60";
    check.currentVersion = "ver2.31";
    check.serial = serial;
    return check;
}

FakeWizardEngine::FakeWizardEngine() : check([](const std::string&) { return PassingCheck(); }) {}

void FakeWizardEngine::Record(const std::string& call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
}

std::vector<std::string> FakeWizardEngine::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int FakeWizardEngine::Count(const std::string& call) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

void FakeWizardEngine::StartDiscovery() {
    Record("StartDiscovery");
}
void FakeWizardEngine::SendEnquiry() {
    Record("SendEnquiry");
}
void FakeWizardEngine::RequestDiscoveryStop() {
    Record("RequestDiscoveryStop");
    stopWord = true;
}
bool FakeWizardEngine::DiscoveryStopRequested() const {
    return stopWord;
}
bool FakeWizardEngine::DiscoveryRunning() const {
    return receiverRunning;
}
std::vector<DiscoveryEntry> FakeWizardEngine::DiscoveredCameras() const {
    return found;
}
void FakeWizardEngine::StopDiscovery() {
    Record("StopDiscovery");
}
bool FakeWizardEngine::IsSerialAllowed(const std::string& serial) const {
    return !rejectedSerials.count(serial);
}

CameraCheck FakeWizardEngine::CheckCamera(const std::string& hostPort, const std::string& credential) {
    Record("CheckCamera");
    std::unique_lock lock(mutex_);
    checked.emplace_back(hostPort, credential);
    atGate_ = true;
    gateChanged_.notify_all();
    gateChanged_.wait(lock, [this] { return !gateClosed_; });
    atGate_ = false;
    lock.unlock();
    return check(hostPort);
}

void FakeWizardEngine::CloseGate() {
    std::lock_guard lock(mutex_);
    gateClosed_ = true;
}

void FakeWizardEngine::OpenGate() {
    std::lock_guard lock(mutex_);
    gateClosed_ = false;
    gateChanged_.notify_all();
}

bool FakeWizardEngine::WaitingAtGate() const {
    std::lock_guard lock(mutex_);
    return atGate_;
}

bool FakeWizardEngine::SaveConfiguration(const ConfigRequest& request) {
    Record("SaveConfiguration");
    saved = request;
    return saveSucceeds;
}

bool FakeWizardEngine::ReadBackConfiguration() {
    Record("ReadBackConfiguration");
    return readBackSucceeds;
}

bool FakeWizardEngine::RestoreConfiguration() {
    Record("RestoreConfiguration");
    return ++restoreAttempts_ > restoreFailures;
}

bool FakeWizardEngine::ProbeCamera(int) {
    Record("ProbeCamera");
    return ++probes_ == probeAnswersAt;
}

void FakeWizardEngine::StartUpgrade(const UpgradeRequest& request, WizardEngineEvents& sink) {
    Record("StartUpgrade");
    started = request;
    events = &sink;
    session = SessionSnapshot{UpgradeStatus::Uploading, false};
}

SessionSnapshot FakeWizardEngine::ReadSession() const {
    SessionSnapshot read = session;
    read.verified = verified;
    return read;
}
void FakeWizardEngine::StopSessionTimers() {
    Record("StopSessionTimers");
}
void FakeWizardEngine::EndSession() {
    Record("EndSession");
}
void FakeWizardEngine::ReleaseConfiguration() {
    Record("ReleaseConfiguration");
}

void FakeWizardEngine::Tick(UpgradeStatus status, bool emergency) {
    session = SessionSnapshot{status, emergency};
    if (events) events->OnSessionTick();
}

void FakeWizardEngine::Post(int wParam, int lParam) {
    if (events) events->OnUpgradeMessage(wParam, lParam);
}

}  // namespace xqt::test

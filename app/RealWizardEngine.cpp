#include "app/RealWizardEngine.h"

#include <optional>

#include "app/WizardTexts.h"
#include "camera/CameraSession.h"
#include "platform/ResourceText.h"
#include "platform/Windows1252.h"
#include "serialrules/SerialProtect.h"

namespace xqt {

namespace {

constexpr std::uint16_t TEXT_VERSION_UP_ERROR = 206;
constexpr std::int32_t STATE_TARGET_PAGE = 3;

/// The owner of the temporary check session: it keeps the first box the check would show, so
/// the wizard can show it on its own thread before its own refusal. The session calls it on the
/// checking thread.
class CheckOwner : public platform::SessionOwner {
  public:
    void StartTimer(int, std::chrono::milliseconds) override {}
    void StopTimer(int) override {}
    void PostUpgradeMessage(std::int32_t, std::int32_t) override {}
    void ShowMessage(const std::string& text, const std::string& caption, platform::MbIcon icon) override {
        std::lock_guard lock(mutex_);
        if (!message_) message_ = EngineMessage{text, caption, icon};
    }
    std::optional<EngineMessage> Message() const {
        std::lock_guard lock(mutex_);
        return message_;
    }

  private:
    mutable std::mutex mutex_;
    std::optional<EngineMessage> message_;
};

DiscoveryEntry ToUtf8(DiscoveryEntry entry) {
    for (std::string* text : {&entry.model, &entry.serial, &entry.version, &entry.mac})
        *text = platform::Windows1252ToUtf8(*text);
    return entry;
}

}  // namespace

DiscoveryTiming DiscoveryTimingOf(const platform::EngineTiming& timing) {
    DiscoveryTiming discovery;
    discovery.enquiryInterval = timing.discoveryEnquiryInterval;
    discovery.stopAfter = timing.discoveryDuration;
    discovery.receiveWait = timing.discoveryReceiveWait;
    return discovery;
}

RealWizardEngine::RealWizardEngine(ModelList models, platform::EngineTiming timing,
                                   platform::SessionOwner* owner, DiscoveryOptions discovery)
    : models_(std::move(models)),
      timing_(timing),
      owner_(owner),
      discoveryOptions_(std::move(discovery)),
      results_(models_, [](const std::string& serial) {
          // Discovery replies carry the camera's own 8-bit bytes.
          return ns_serial_protect::IsSerialAllowedAnsi(serial) != 0;
      }) {
    discoveryOptions_.timing = DiscoveryTimingOf(timing_);
    ns_serial_protect::InitSerialRules();
}

RealWizardEngine::~RealWizardEngine() {
    StopDiscovery();
}

// ---- Discovery ----------------------------------------------------------------------------------

void RealWizardEngine::StartDiscovery() {
    if (discovery_) return;
    discovery_ = std::make_unique<DiscoveryService>(results_, discoveryOptions_);
    // A set-up failure has printed its line and ended the process, unless the options say
    // otherwise; then there is simply no discovery.
    if (discovery_->Start() != 0) discovery_.reset();
}

void RealWizardEngine::SendEnquiry() {
    if (discovery_) discovery_->SendEnquiry();
}

void RealWizardEngine::RequestDiscoveryStop() {
    if (discovery_) discovery_->RequestStop();
}

bool RealWizardEngine::DiscoveryStopRequested() const {
    return results_.stop.load() != 0;
}

bool RealWizardEngine::DiscoveryRunning() const {
    return results_.thread.load() != 0;
}

std::vector<DiscoveryEntry> RealWizardEngine::DiscoveredCameras() const {
    std::vector<DiscoveryEntry> cameras = results_.Snapshot();
    for (DiscoveryEntry& camera : cameras)
        camera = ToUtf8(std::move(camera));
    return cameras;
}

void RealWizardEngine::StopDiscovery() {
    if (!discovery_) return;
    discovery_->RequestStop();
    discovery_->WaitStopped();
    discovery_.reset();
}

bool RealWizardEngine::IsSerialAllowed(const std::string& serial) const {
    // The serial comes from an inquiry answer, which the session holds in UTF-8.
    return ns_serial_protect::IsSerialAllowed(std::string_view(serial)) != 0;
}

// ---- The manual check ---------------------------------------------------------------------------

CameraCheck RealWizardEngine::CheckCamera(const std::string& hostPort, const std::string& credential) {
    CheckOwner owner;
    SessionConfig config;
    config.owner = &owner;
    config.hostPort = hostPort;
    config.credential = credential;
    config.modelList = models_;
    config.timing = timing_;
    CameraSession session(std::move(config));
    const ManualCheckResult result = session.RunManualCheck();

    CameraCheck check;
    check.passed = result.passed;
    check.model = result.system.model;
    check.currentVersion = session.currentVersion.Get();
    check.serial = result.system.serial;
    check.docType = result.docType;
    check.emergency = session.emergency.load();
    check.message = owner.Message();
    return check;
}

// ---- Saved configuration and the manual session -------------------------------------------------

bool RealWizardEngine::SaveConfiguration(const ConfigRequest&) {
    return false;  // wired when the upgrade sequence lands
}

bool RealWizardEngine::ReadBackConfiguration() {
    return false;  // wired when the upgrade sequence lands
}

bool RealWizardEngine::RestoreConfiguration() {
    return false;  // wired when the upgrade sequence lands
}

bool RealWizardEngine::ProbeCamera(int) {
    return false;  // wired when the upgrade sequence lands
}

void RealWizardEngine::StartUpgrade(const UpgradeRequest&, WizardEngineEvents& events) {
    // wired when the upgrade sequence lands: until then the upgrade fails at once, the way a
    // session reports a failure (its box, then WM_APP_UPGRADE (1, 3) back to the target page).
    events_ = &events;
    if (!owner_) return;
    owner_->ShowMessage(platform::TextOf(TEXT_VERSION_UP_ERROR), platform::TextOf(TEXT_INFORMATION),
                        platform::MbIcon::Stop);
    owner_->PostUpgradeMessage(1, STATE_TARGET_PAGE);
}

SessionSnapshot RealWizardEngine::ReadSession() const {
    return {};  // wired when the upgrade sequence lands
}

void RealWizardEngine::StopSessionTimers() {
    // wired when the upgrade sequence lands
}

void RealWizardEngine::EndSession() {
    // wired when the upgrade sequence lands
    events_ = nullptr;
}

void RealWizardEngine::ReleaseConfiguration() {
    // wired when the upgrade sequence lands
}

void RealWizardEngine::DeliverTimer(int) {
    // wired when the upgrade sequence lands: the session's own timers go to its OnSessionTimer,
    // and after its tick (TIMER_TICK_BASE + slot) the events hear OnSessionTick.
}

void RealWizardEngine::DeliverUpgradeMessage(std::int32_t wParam, std::int32_t lParam) {
    if (events_) events_->OnUpgradeMessage(wParam, lParam);
}

}  // namespace xqt

#include "wizard/RealWizardEngine.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "camera/CameraSession.h"
#include "platform/Windows1252.h"
#include "serialrules/SerialProtect.h"

namespace xqt {

namespace {

DiscoveryEntry ToUtf8(DiscoveryEntry entry) {
    for (std::string* text : {&entry.model, &entry.serial, &entry.version, &entry.mac})
        *text = platform::Windows1252ToUtf8(*text);
    return entry;
}

}  // namespace

/// The owner of a manual session. While the session only checks the camera it keeps the first box
/// the check would show (the wizard shows it on its own thread before its own refusal) and drops
/// timers and messages, of which a check has none; once the session runs the upgrade, everything
/// goes to the program's owner. The session calls it on any of its threads.
class RealWizardEngine::RoutedOwner : public platform::SessionOwner {
  public:
    explicit RoutedOwner(platform::SessionOwner* target) : target_(target) {}

    /// From now on timers, messages and boxes reach the program's owner (if there is one).
    void Forward() { forwarding_.store(target_ != nullptr); }

    void StartTimer(int id, std::chrono::milliseconds period) override {
        if (forwarding_.load()) target_->StartTimer(id, period);
    }
    void StopTimer(int id) override {
        if (forwarding_.load()) target_->StopTimer(id);
    }
    void PostUpgradeMessage(std::int32_t wParam, std::int32_t lParam) override {
        if (forwarding_.load()) target_->PostUpgradeMessage(wParam, lParam);
    }
    void ShowMessage(const std::string& text, const std::string& caption, platform::MbIcon icon) override {
        if (forwarding_.load()) return target_->ShowMessage(text, caption, icon);
        std::lock_guard lock(mutex_);
        if (!message_) message_ = EngineMessage{text, caption, icon};
    }
    std::optional<EngineMessage> Message() const {
        std::lock_guard lock(mutex_);
        return message_;
    }

  private:
    platform::SessionOwner* const target_;  // null: nothing is ever forwarded
    std::atomic<bool> forwarding_{false};
    mutable std::mutex mutex_;
    std::optional<EngineMessage> message_;
};

struct RealWizardEngine::ManualSession {
    // The owner is declared first so that it outlives the session, whose worker may call it
    // until the session's destructor has joined it.
    std::unique_ptr<RoutedOwner> owner;
    std::unique_ptr<CameraSession> session;
};

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
          return ns_serial_protect::JudgeSerialAnsi(serial) == ns_serial_protect::SerialVerdict::Allowed;
      }) {
    discoveryOptions_.timing = DiscoveryTimingOf(timing_);
    ns_serial_protect::InitSerialRules();
}

RealWizardEngine::~RealWizardEngine() {
    DeleteSession();
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
    return ns_serial_protect::JudgeSerial(serial) == ns_serial_protect::SerialVerdict::Allowed;
}

std::unique_ptr<RealWizardEngine::ManualSession> RealWizardEngine::NewSession(
    const std::string& hostPort, const std::string& credential) const {
    auto made = std::make_unique<ManualSession>();
    made->owner = std::make_unique<RoutedOwner>(owner_);
    SessionConfig config;
    config.owner = made->owner.get();
    config.hostPort = hostPort;
    config.credential = credential;
    config.modelList = models_;
    config.timing = timing_;
    made->session = std::make_unique<CameraSession>(std::move(config));
    return made;
}

// ---- The manual check ---------------------------------------------------------------------------

CameraCheck RealWizardEngine::CheckCamera(const std::string& hostPort, const std::string& credential) {
    {
        std::lock_guard lock(checkedMutex_);
        checked_.reset();
    }
    std::unique_ptr<ManualSession> checked = NewSession(hostPort, credential);
    CameraSession& session = *checked->session;
    const ManualCheckResult result = session.RunManualCheck();

    CameraCheck check;
    check.passed = result.passed;
    check.model = result.system.model;
    check.currentVersion = session.currentVersion.Get();
    check.serial = result.system.serial;
    check.docType = result.docType;
    check.emergency = session.emergency.load();
    check.message = checked->owner->Message();
    if (check.passed && owner_) {
        std::lock_guard lock(checkedMutex_);
        checked_ = std::move(checked);
    }
    return check;
}

// ---- Saved configuration --------------------------------------------------------------------------

bool RealWizardEngine::SaveConfiguration(const ConfigRequest& request) {
    restore_.reset();
    config_.reset();
    auto store = std::make_unique<ConfigStore>(
        request.hostPort, request.remotePath, request.credential, request.timeStamp, request.model,
        request.serial, request.deleteAfterRestore ? 1 : 0, timing_.streamReceiveTimeout,
        detail::TransferBoundOf(timing_));
    // A store that saved nothing is dropped, so nothing partial can be posted back later.
    if (!store->Download()) return false;
    config_ = std::move(store);
    return true;
}

bool RealWizardEngine::ReadBackConfiguration() {
    // A new target per read-back: the camera at the address is asked again who it is.
    restore_.reset();
    if (!config_ || !session_) return false;
    restore_ = std::make_unique<SessionRestoreTarget>(*session_->session, *config_);
    return restore_->ReadBack();
}

bool RealWizardEngine::RestoreConfiguration() {
    return restore_ && restore_->Restore();
}

bool RealWizardEngine::ProbeCamera(int limitMs) {
    if (!session_) return false;
    return ProbeRestartedCamera(*session_->session, std::chrono::milliseconds(limitMs));
}

void RealWizardEngine::ReleaseConfiguration() {
    restore_.reset();
    config_.reset();
}

void RealWizardEngine::RecordUpgrade(const HistoryEntry& entry) {
    HistoryEntry recorded = entry;
    std::error_code ignored;
    if (config_ && std::filesystem::is_regular_file(config_->localPath, ignored))
        recorded.savedFile = config_->localPath;
    // The wizard has no place for this failure; the upgrade itself stands.
    if (const Result<void> appended = AppendHistory(recorded); !appended)
        std::fprintf(stderr, "xqt-upgrade: history not written: %s\n", appended.error().c_str());
}

std::string RealWizardEngine::SavedConfigurationPath() const {
    return config_ ? config_->localPath : std::string();
}

// ---- The manual session ---------------------------------------------------------------------------

void RealWizardEngine::StartUpgrade(const UpgradeRequest& request, WizardEngineEvents& events) {
    DeleteSession();
    events_ = &events;
    if (!owner_) return;
    std::unique_ptr<ManualSession> next;
    {
        std::lock_guard lock(checkedMutex_);
        if (checked_ && checked_->session->hostPort == request.hostPort &&
            checked_->session->credential == request.credential)
            next = std::move(checked_);
        checked_.reset();
    }
    if (!next) {
        // Without a check of this camera its emergency state is unknown: it is taken as a camera
        // in normal state, whose verification then asks it for its version.
        next = NewSession(request.hostPort, request.credential);
    }
    next->owner->Forward();
    CameraSession& session = *next->session;
    session.SetImage(request.image, request.imageSize, request.newVersion);
    session.progressBar = request.progressBar;
    session_ = std::move(next);
    session.StartUpgrade();
}

SessionSnapshot RealWizardEngine::ReadSession() const {
    if (!session_) return {};
    const CameraSession& session = *session_->session;
    return {StatusOf(session.status.load()), session.emergency.load(), session.verified.load()};
}

void RealWizardEngine::StopSessionTimers() {
    if (!owner_) return;
    owner_->StopTimer(TIMER_TICK_BASE);
    owner_->StopTimer(TIMER_LOSTLINK_BASE);
}

void RealWizardEngine::EndSession() {
    DeleteSession();
    events_ = nullptr;
}

void RealWizardEngine::DeleteSession() {
    restore_.reset();
    if (!session_) return;
    // Cancelled first, so the destructor's join ends at once; its timers go with it.
    session_->session->Cancel();
    session_->session->SetUploadData(nullptr, 0);
    session_.reset();
    if (!owner_) return;
    for (int base : {TIMER_TICK_BASE, TIMER_LOSTLINK_BASE, TIMER_RECONFIG_BASE})
        owner_->StopTimer(base);
}

void RealWizardEngine::DeliverTimer(int id) {
    const bool owned =
        session_ && (id == TIMER_TICK_BASE || id == TIMER_LOSTLINK_BASE || id == TIMER_RECONFIG_BASE);
    if (!owned) {
        // A start that a session's worker asked for just before the session was deleted lands
        // after its timers were stopped; left running, it would tick into the next session.
        if (owner_) owner_->StopTimer(id);
        return;
    }
    session_->session->OnSessionTimer(id);
    // The lost-link seconds count too: without them the page would show "Overwriting" through the
    // four minutes in which the camera is searched for, and never its own word for that wait.
    if ((id == TIMER_TICK_BASE || id == TIMER_LOSTLINK_BASE) && events_) events_->OnSessionTick();
}

void RealWizardEngine::DeliverUpgradeMessage(std::int32_t wParam, std::int32_t lParam) {
    if (events_) events_->OnUpgradeMessage(wParam, lParam);
}

}  // namespace xqt

#include "cli/UpgradeRun.h"

#include <thread>

#include "camera/Credential.h"
#include "camera/ManualRestore.h"
#include "cli/CommandInput.h"
#include "fleet/TextForms.h"
#include "platform/CameraLock.h"
#include "platform/ResourceText.h"

namespace xqt::cli::upgrade {

namespace {

using namespace std::chrono_literals;

constexpr const char* kCannotSave = "Cannot save camera's configuration!";
constexpr const char* kFaultToUpload = "Fault to upload configuration!";

}  // namespace

Result UpgradeRun::Fail(int exitCode, const std::string& failure, const std::string& message) {
    FlushBoxes();
    if (result_.reason.empty()) result_.reason = failure;
    if (result_.detail.empty()) result_.detail = OneLine(message);
    if (!message.empty()) reporter_.Message(message, result_.reason);
    result_.exitCode = exitCode;
    result_.failure = failure;
    return result_;
}

Result UpgradeRun::Refuse(CameraFault fault, const std::string& detail) {
    result_.reason = std::string(FaultWord(fault));
    result_.detail = detail;
    return Fail(CheckExitCode(fault), CheckExitWord(fault), NOT_SUITABLE_TEXT);
}

void UpgradeRun::FlushBoxes() {
    const auto taken = boxes_.Taken();
    for (; boxesShown_ < taken.size(); ++boxesShown_)
        reporter_.Message(taken[boxesShown_].text);
}

void UpgradeRun::Drain() {
    for (const auto& [status, progress] : statuses_.Take()) {
        lastStatus_ = status;
        reporter_.Status(status, progress);
    }
    reporter_.Progress(bar_.Position());
    NoticeStopSignals();
}

void UpgradeRun::NoticeStopSignals() {
    if (stops_.TakeNew() == 0) return;
    result_.interrupted = true;
    reporter_.EndBarLine();
    // Written at once and whole: the terminal may be gone, standard error may be all that is left.
    std::cerr << "xqt-cli upgrade: interrupted; the camera at " << result_.address
              << " finishes its upgrade and the restore of its settings first (now: "
              << StatusWord(lastStatus_)
              << "). A camera cut off while it writes its firmware may not start again." << std::endl;
}

std::optional<platform::UpgradeMessage> UpgradeRun::Follow(CameraSession& session,
                                                           platform::EventLoopOwner& owner) {
    for (;;) {
        const bool running = session.IsWorkerRunning();
        owner.Call([] {});  // what the worker posted so far has been delivered
        Drain();
        FlushBoxes();
        const auto messages = owner.Messages();
        if (!messages.empty()) return messages.front();
        if (!running) return std::nullopt;
        std::this_thread::sleep_for(50ms);
    }
}

void UpgradeRun::Restore(CameraSession& session, ConfigStore& store) {
    // The wizard's steps after WM_APP_UPGRADE (1, 6) or (0, 1), made on this thread; nothing stops
    // them but their own limits.
    ManualRestoreEvents events;
    events.status = [this](UpgradeStatus status) { Show(status); };
    events.step = [this] { Drain(); };
    const ManualRestoreResult restore = RestoreAndWatch(session, store, timing_, {}, events);
    result_.configRestored = restore.restored;
    result_.anotherCamera = restore.anotherCamera;
}

Result UpgradeRun::Run() {
    ResourceState resources = resources_;
    if (!resources.slotData[0] || resources.versionLabel.empty() || !resources.modelNames[0])
        return Fail(EXIT_INTERNAL, "resources", "the embedded image, model list or version is missing");
    boxes_.Clear();
    result_.newVersion = resources.versionLabel;

    platform::EventLoopOwner owner(boxes_);
    SessionConfig config;
    config.owner = &owner;
    config.hostPort = result_.address;
    config.credential = credential_;
    config.modelList = resources.modelNames;
    config.timing = timing_;
    CameraSession session(config);
    owner.SetTimerHandler([&session](int id) { session.OnSessionTimer(id); });
    // Ticks stop reaching the session before it goes.
    struct Detach {
        platform::EventLoopOwner& owner;
        ~Detach() {
            owner.Call([this] { owner.SetTimerHandler({}); });
        }
    } detach{owner};

    // Another run writing to this camera is left alone before a word is said to it; the camera
    // itself, at whichever address it answers, once its answers have named it.
    std::vector<platform::CameraLock> locks;
    auto lock = [&](const std::string& key) {
        platform::CameraLock taken = platform::CameraLock::Take(key);
        if (!taken.Held()) {
            result_.detail = taken.RefusalText();
            return false;
        }
        locks.push_back(std::move(taken));
        return true;
    };
    if (!lock(platform::AddressLockKey(result_.address)))
        return Fail(EXIT_CAMERA_BUSY, "camera-busy",
                    "the camera at " + result_.address + " is " + result_.detail);

    // The check of the target page.
    Show(UpgradeStatus::Prepare);
    const ManualCheckResult check = session.RunManualCheck();
    owner.Call([] {});
    result_.model = check.system.model;
    result_.serial = check.system.serial;
    result_.currentVersion = session.currentVersion.Get();
    result_.emergency = session.emergency.load();
    if (!check.passed) return Refuse(check.fault, check.detail);
    // The MAC names the camera in the history and, after the reboot, tells it from another camera
    // that may have taken its address meanwhile.
    if (auto mac = CameraSession::ParseMacAddress(session.Inquire(INQ_NETWORK, timing_.inquiryLimit))) {
        result_.mac = *mac;
        session.inquiredMac.Set(*mac);
    }
    if (const std::string serial = session.inquiredSerial.Get(); !result_.mac.empty() || !serial.empty()) {
        if (!lock(platform::IdentityLockKey(result_.mac, serial)))
            return Fail(EXIT_CAMERA_BUSY, "camera-busy",
                        "the camera at " + result_.address + " is " + result_.detail);
    }
    if (!SerialAllowed(check.system.serial)) {
        return Refuse(
            CameraFault::SerialNotAccepted,
            session.DescribeFault(CameraFault::SerialNotAccepted, check.system.model, check.system.serial));
    }

    // A camera at the image's version is left alone, as batch leaves it; an emergency camera's
    // version says nothing of its firmware.
    if (!options_.force && !result_.emergency &&
        StripVer(result_.currentVersion) == StripVer(resources.versionLabel)) {
        FlushBoxes();
        result_.reason = "current";
        result_.detail =
            "already at " + StripVer(resources.versionLabel) + "; nothing was written (--force flashes it)";
        result_.exitCode = EXIT_VERIFIED;
        return result_;
    }

    // The configuration, saved by the front end itself as the wizard does.
    std::unique_ptr<ConfigStore> store;
    if (options_.retain) {
        Show(UpgradeStatus::SavingConfig);
        const std::string model = *resources.modelNames[0];
        store = std::make_unique<ConfigStore>(result_.address, ConfigRemotePath(model), credential_,
                                              std::chrono::system_clock::now(), model, check.system.serial,
                                              options_.backup ? 0 : 1, timing_.streamReceiveTimeout,
                                              detail::TransferBoundOf(timing_));
        if (!store->Download()) {
            const std::string why = store->errorText.empty() ? "" : " (" + store->errorText + ")";
            return Fail(EXIT_CONFIG_NOT_SAVED, "config-not-saved", kCannotSave + why);
        }
        result_.configSaved = true;
        result_.savedFile = store->localPath;
    }

    // A stop before the upload stops the run: nothing has been written to the camera.
    NoticeStopSignals();
    if (result_.interrupted) {
        return Fail(EXIT_NOT_SENT, "interrupted",
                    "interrupted before the firmware was sent; nothing was written to the camera");
    }

    // The upgrade itself.
    int slot = resources.SelectSlot(check.docType);
    if (!resources.slotData[slot]) slot = 0;
    session.SetImage(resources.slotData[slot], resources.slotSize[slot], resources.versionLabel);
    session.progressBar = &bar_;
    session.statusObserver = [this](UpgradeStatus s) { statuses_.Push(s, bar_.Position()); };
    if (!session.StartUpgrade()) return Fail(EXIT_INTERNAL, "internal", "the upgrade could not be started");
    const auto message = Follow(session, owner);
    const bool succeeded =
        message && (*message == platform::UpgradeMessage{1, 6} || *message == platform::UpgradeMessage{0, 1});
    // Only what the camera itself said after the upgrade: never the version it ran before, nor one
    // a sequence took as reported.
    result_.reportedVersion = session.versionAfterReboot.Get();
    if (!succeeded) {
        switch (FailureOf(session.failure.load())) {
            case UpgradeFailure::UploadNotSent:
                return Fail(EXIT_NOT_SENT, "upload-not-sent");
            case UpgradeFailure::NotBack:
                return Fail(EXIT_NOT_BACK, "not-back");
            case UpgradeFailure::AnotherCamera:
                return Fail(EXIT_UPGRADE_ERROR, "another-camera",
                            "another camera answers at " + session.hostPort);
            default:
                return Fail(EXIT_UPGRADE_ERROR, "upgrade-error");
        }
    }
    for (int i = 0; i < 100 && session.IsWorkerRunning(); ++i)
        std::this_thread::sleep_for(10ms);
    if (store) Restore(session, *store);

    // Confirmed by the sequence, or else asked once more now (an emergency camera, or a
    // verification the watchdog cut short). Only a version in this answer counts: the session's
    // reportedVersion may still hold the one a Completed sequence took as reported.
    result_.confirmed = session.verified.load();
    if (!result_.confirmed) {
        const std::string answer = session.Inquire(INQ_SYSTEM, timing_.rebootInquiryLimit);
        const SystemFields fields = session.ParseSystemAnswer(answer, false);
        const bool reported = fields.accepted && !fields.version.empty() && fields.version != "unknown";
        if (reported) result_.reportedVersion = "ver" + fields.version;
        result_.confirmed = reported && "ver" + fields.version == resources.versionLabel;
    }
    result_.verified = result_.confirmed;
    Drain();
    bar_.SetPosition(PROGRESS_MAX);
    reporter_.Progress(PROGRESS_MAX);
    reporter_.EndBarLine();
    if (result_.anotherCamera)
        return Fail(EXIT_UPGRADE_ERROR, "another-camera", "another camera answers at " + session.hostPort);
    if (!result_.verified)
        return Fail(EXIT_NOT_VERIFIED, "not-verified", "The camera did not confirm the new version.");
    if (store && !result_.configRestored)
        return Fail(EXIT_CONFIG_NOT_RESTORED, "config-not-restored", kFaultToUpload);
    const std::string label = resources.versionLabel.size() > 3 ? resources.versionLabel.substr(3) : "";
    reporter_.Message(OneLine(platform::TextOf(222)) + " " + OneLine(platform::TextOf(234)) + label +
                      OneLine(platform::TextOf(235)));
    result_.exitCode = EXIT_VERIFIED;
    return result_;
}

}  // namespace xqt::cli::upgrade

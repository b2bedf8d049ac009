// xqt-cli upgrade: the manual upgrade of one camera end to end, as the wizard runs it: the check,
// the optional configuration backup, the upload, the overwrite, the reboot and the verification,
// then the optional restore and the wait for the reconfigured camera. Status words and a progress
// bar on a terminal, plain lines otherwise, or one JSON object per line with --json.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "camera/CameraSession.h"
#include "camera/ConfigStore.h"
#include "camera/Credential.h"
#include "camera/HostPort.h"
#include "camera/ResourceState.h"
#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/FirmwareChoice.h"
#include "cli/TerminalText.h"
#include "fleet/TextForms.h"
#include "fleet/UpgradeHistory.h"
#include "platform/EventLoopOwner.h"
#include "platform/MessageBoxes.h"
#include "platform/ResourceText.h"

namespace xqt::cli {

namespace {

using namespace std::chrono_literals;

// Exit codes, one per outcome (documented in --help).
constexpr int EXIT_VERIFIED = 0;
constexpr int EXIT_INTERNAL = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_UNREACHABLE = 3;
constexpr int EXIT_LOGIN = 4;
constexpr int EXIT_UNSUITABLE = 5;
constexpr int EXIT_CONFIG_NOT_SAVED = 6;
constexpr int EXIT_NOT_SENT = 7;
constexpr int EXIT_UPGRADE_ERROR = 8;
constexpr int EXIT_NOT_BACK = 9;
constexpr int EXIT_NOT_VERIFIED = 10;
constexpr int EXIT_CONFIG_NOT_RESTORED = 11;

using platform::TIME_SCALE_MAX;
using platform::TIME_SCALE_MIN;

constexpr const char* kNotSuitable = "This firmware is not suitable for the target camera.";
constexpr const char* kCannotSave = "Cannot save camera's configuration!";
constexpr const char* kFaultToUpload = "Fault to upload configuration!";

struct UpgradeOptions {
    std::string address;
    std::string user;
    std::string passwordFile;
    bool noPrompt = false;
    bool retain = false;
    bool backup = false;
    bool json = false;
    double timeScale = 0;
    FirmwareOptions firmware;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

/// A BIN text on one line: line breaks become single spaces, the ends are trimmed.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// ---- Output ----------------------------------------------------------------------------------

/// Status words of the manual page (BIN 361, 360, 323, 320, 319, 322, 357, 359, 321).
std::string StatusWord(UpgradeStatus status) {
    static constexpr std::uint16_t kIds[] = {0, 361, 360, 323, 320, 319, 322, 357, 359, 321};
    const auto code = static_cast<int>(status);
    if (code < 1 || code > 9) return {};
    return OneLine(platform::TextOf(kIds[code]));
}

class Reporter {
  public:
    explicit Reporter(bool json) : json_(json), tty_(!json && ::isatty(STDOUT_FILENO)) {}

    void Status(UpgradeStatus status, std::int32_t progress) {
        EndBarLine();
        const std::string word = StatusWord(status);
        if (json_) {
            Print({{"event", "status"},
                   {"code", static_cast<int>(status)},
                   {"status", word},
                   {"progress", progress}});
        } else {
            std::cout << word << std::endl;
        }
        word_ = word;
        lastDecile_ = progress / 1000;
    }

    void Progress(std::int32_t progress) {
        if (json_) return;
        if (tty_) {
            const int filled = progress * 40 / PROGRESS_MAX;
            std::cout << "\r[" << std::string(filled, '#') << std::string(40 - filled, '-') << "] "
                      << std::setw(3) << progress / 100 << "%  " << word_ << "   " << std::flush;
            barShown_ = true;
            return;
        }
        if (progress / 1000 > lastDecile_) {
            lastDecile_ = progress / 1000;
            std::cout << "progress " << progress / 100 << "%" << std::endl;
        }
    }

    void Message(const std::string& text) {
        EndBarLine();
        if (json_) {
            Print({{"event", "message"}, {"text", OneLine(text)}});
        } else {
            std::cout << "message: " << TerminalText(OneLine(text)) << std::endl;
        }
    }

    void Print(const nlohmann::json& line) { std::cout << JsonText(line) << std::endl; }

    void EndBarLine() {
        if (barShown_) std::cout << std::endl;
        barShown_ = false;
    }

    bool json() const { return json_; }

  private:
    bool json_;
    bool tty_;
    bool barShown_ = false;
    std::string word_;
    int lastDecile_ = 0;
};

// ---- The run ---------------------------------------------------------------------------------

struct Result {
    int exitCode = EXIT_INTERNAL;
    std::string failure;  ///< empty on success
    std::string address;
    std::string model;
    std::string serial;
    std::string currentVersion;
    std::string newVersion;
    std::string reportedVersion;
    bool emergency = false;
    bool verified = false;  ///< the same as `confirmed`; kept for the scripts that read it
    /// The camera itself reported the image's version, in the sequence or when asked at the end;
    /// a Completed sequence alone may have taken it as reported.
    bool confirmed = false;
    bool configSaved = false;
    bool configRestored = false;
    bool anotherCamera = false;  ///< another camera answered at the address before the restore
    std::string savedFile;
};

/// Status changes of the session, handed from its threads to the printing one.
class StatusQueue {
  public:
    void Push(UpgradeStatus s, std::int32_t progress) {
        std::lock_guard lock(mutex_);
        queue_.push_back({s, progress});
    }
    std::deque<std::pair<UpgradeStatus, std::int32_t>> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(queue_, {});
    }

  private:
    std::mutex mutex_;
    std::deque<std::pair<UpgradeStatus, std::int32_t>> queue_;
};

class UpgradeRun {
  public:
    UpgradeRun(const UpgradeOptions& options, std::string address, std::string credential,
               platform::EngineTiming timing, ResourceState resources)
        : options_(options),
          credential_(std::move(credential)),
          timing_(timing),
          resources_(std::move(resources)),
          reporter_(options.json) {
        result_.address = std::move(address);
    }

    Result Run();

  private:
    Result Fail(int exitCode, const std::string& failure, const std::string& message = {});
    void Show(UpgradeStatus status) { reporter_.Status(status, bar_.Position()); }
    void FlushBoxes();
    void Drain();
    /// Follows the running session until it posts its message; nothing when its worker ended
    /// without one.
    std::optional<platform::UpgradeMessage> Follow(CameraSession& session, platform::EventLoopOwner& owner);
    void Restore(CameraSession& session, ConfigStore& store);

    const UpgradeOptions& options_;
    const std::string credential_;
    const platform::EngineTiming timing_;
    const ResourceState resources_;  ///< the embedded firmware, or the bundle's
    Reporter reporter_;
    platform::RecordingMessageBoxes boxes_;
    std::size_t boxesShown_ = 0;
    AtomicProgressBar bar_;
    StatusQueue statuses_;
    Result result_;
};

Result UpgradeRun::Fail(int exitCode, const std::string& failure, const std::string& message) {
    FlushBoxes();
    if (!message.empty()) reporter_.Message(message);
    result_.exitCode = exitCode;
    result_.failure = failure;
    return result_;
}

void UpgradeRun::FlushBoxes() {
    const auto taken = boxes_.Taken();
    for (; boxesShown_ < taken.size(); ++boxesShown_)
        reporter_.Message(taken[boxesShown_].text);
}

void UpgradeRun::Drain() {
    for (const auto& [status, progress] : statuses_.Take())
        reporter_.Status(status, progress);
    reporter_.Progress(bar_.Position());
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
    // The wizard's steps after WM_APP_UPGRADE (1, 6) or (0, 1), made on this thread.
    Show(UpgradeStatus::LoadingConfig);
    std::this_thread::sleep_for(timing_.manualRestorePause);
    // Another camera may have taken the address while this one rebooted: its settings stay.
    if (const std::string answer = session.Inquire(INQ_SYSTEM, timing_.rebootInquiryLimit);
        !answer.empty() && !session.IsSameCamera(answer)) {
        result_.configRestored = false;
        result_.anotherCamera = true;
        return;
    }
    std::vector<std::uint8_t> saved(store.byteCount);
    if (!store.ReadBack(saved)) saved.clear();  // a partial file is not posted
    session.SetUploadData(saved.data(), saved.size());
    for (int attempt = 1; attempt <= timing_.restoreAttempts; ++attempt) {
        if (session.RestoreConfig() == PostOutcome::Taken) {
            store.restored.store(true);
            store.RemoveFile();
            break;
        }
        if (attempt < timing_.restoreAttempts) std::this_thread::sleep_for(timing_.manualRestoreRetryPause);
        Drain();
    }
    session.SetUploadData(nullptr, 0);
    result_.configRestored = store.restored.load();
    std::this_thread::sleep_for(timing_.manualAfterRestorePause);

    // The restart watch: until the camera names an accepted model again, at most restartWatchLimit.
    Show(UpgradeStatus::Reconfiguring);
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const std::string answer = session.Inquire(INQ_SYSTEM, timing_.restartWatchInquiryLimit);
        if (session.CheckModelAndVersion(answer, false)) break;
        bar_.Advance(4);
        Drain();
        if (std::chrono::steady_clock::now() - start >= timing_.restartWatchLimit) break;
        std::this_thread::sleep_for(timing_.restartWatchPeriod);
    }
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

    // The check of the target page.
    Show(UpgradeStatus::Prepare);
    const ManualCheckResult check = session.RunManualCheck();
    owner.Call([] {});
    result_.model = check.system.model;
    result_.serial = check.system.serial;
    result_.currentVersion = session.currentVersion.Get();
    result_.emergency = session.emergency.load();
    if (!check.passed) {
        switch (check.failure) {
            case CheckFailure::NoAnswer:
                return Fail(EXIT_UNREACHABLE, "unreachable", kNotSuitable);
            case CheckFailure::LoginRefused:
            case CheckFailure::NotAdministrator:
                return Fail(EXIT_LOGIN, "login", kNotSuitable);
            case CheckFailure::WrongModel:
                if (check.systemAnswer.find("401 Unauthorized") != std::string::npos)
                    return Fail(EXIT_LOGIN, "login", kNotSuitable);
                return Fail(EXIT_UNSUITABLE, "unsuitable", kNotSuitable);
            default:
                return Fail(EXIT_UNSUITABLE, "unsuitable", kNotSuitable);
        }
    }
    if (!SerialAllowed(check.system.serial)) return Fail(EXIT_UNSUITABLE, "unsuitable", kNotSuitable);

    // The configuration, saved by the front end itself as the wizard does.
    std::unique_ptr<ConfigStore> store;
    if (options_.retain) {
        Show(UpgradeStatus::SavingConfig);
        const std::string model = *resources.modelNames[0];
        store = std::make_unique<ConfigStore>(result_.address, "/home/l4/" + Lower(model) + ".cfg",
                                              credential_, std::chrono::system_clock::now(), model,
                                              check.system.serial, options_.backup ? 0 : 1,
                                              timing_.streamReceiveTimeout, detail::TransferBoundOf(timing_));
        if (!store->Download()) {
            const std::string why = store->errorText.empty() ? "" : " (" + store->errorText + ")";
            return Fail(EXIT_CONFIG_NOT_SAVED, "config-not-saved", kCannotSave + why);
        }
        result_.configSaved = true;
        result_.savedFile = store->localPath;
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

/// One history line for a run that got as far as the camera's configuration or its firmware;
/// checks that refused the camera wrote nothing to it and are left out. A history that cannot be
/// written is said on standard error and changes nothing else.
void RecordInHistory(const Result& r) {
    HistoryEntry entry;
    switch (r.exitCode) {
        case EXIT_VERIFIED:
            entry.outcome = "upgraded";
            break;
        case EXIT_NOT_VERIFIED:
            entry.outcome = "unconfirmed";
            break;
        case EXIT_CONFIG_NOT_RESTORED:
            entry.outcome = "settings-not-restored";
            break;
        case EXIT_CONFIG_NOT_SAVED:
        case EXIT_NOT_SENT:
        case EXIT_UPGRADE_ERROR:
        case EXIT_NOT_BACK:
            entry.outcome = "failed";
            break;
        default:
            return;
    }
    entry.tool = "xqt-cli upgrade";
    entry.address = r.address;
    entry.serial = r.serial;
    entry.model = r.model;
    entry.versionBefore = StripVer(r.currentVersion);
    if (r.confirmed) entry.versionAfter = StripVer(r.newVersion);
    std::error_code ignored;
    if (!r.savedFile.empty() && std::filesystem::is_regular_file(r.savedFile, ignored))
        entry.savedFile = r.savedFile;
    if (const auto appended = AppendHistory(entry); !appended)
        std::cerr << "xqt-cli upgrade: history not written: " << TerminalText(appended.error()) << "\n";
}

void PrintResult(const Result& r, bool json) {
    if (json) {
        nlohmann::json out = {
            {"event", "result"},
            {"address", r.address},
            {"model", r.model},
            {"serial", r.serial},
            {"currentVersion", r.currentVersion},
            {"newVersion", r.newVersion},
            {"reportedVersion", r.reportedVersion},
            {"emergency", r.emergency},
            {"verified", r.verified},
            {"confirmed", r.confirmed},
            {"configSaved", r.configSaved},
            {"configRestored", r.configRestored},
            {"savedFile", r.savedFile},
            {"failure", r.failure},
            {"exitCode", r.exitCode},
        };
        std::cout << JsonText(out) << std::endl;
        return;
    }
    std::cout << "Result: " << (r.exitCode == EXIT_VERIFIED ? "upgraded and verified" : r.failure)
              << " (exit " << r.exitCode << ")\n";
    if (!r.reportedVersion.empty()) {
        std::cout << "  " << (r.confirmed ? "camera reports " : "version not confirmed by the camera: ")
                  << TerminalText(r.reportedVersion) << "\n";
    } else if (r.exitCode == EXIT_NOT_VERIFIED) {
        std::cout << "  version not confirmed by the camera: it reported none after the upgrade\n";
    }
    if (!r.savedFile.empty())
        std::cout << "  saved configuration " << TerminalText(r.savedFile)
                  << (r.configRestored ? " (restored)" : " (not restored, kept)") << "\n";
    std::cout.flush();
}

int RunUpgrade(const UpgradeOptions& options) {
    const char* me = "xqt-cli upgrade: ";
    const auto address = NormaliseAddress(options.address);
    if (!address) {
        std::cerr << me << options.address << " is not an IPv4 address with an optional port 1-65535\n";
        return EXIT_USAGE;
    }
    if (options.backup && !options.retain) {
        std::cerr << me << "--backup keeps the saved configuration; it needs --retain\n";
        return EXIT_USAGE;
    }
    platform::EngineTiming timing;
    if (options.timeScale > 0) {
        if (!IsLoopback(*address)) {
            std::cerr << me << "--time-scale is for simulated cameras only (loopback addresses 127.x.y.z)\n";
            return EXIT_USAGE;
        }
        timing = timing.Scaled(options.timeScale);
    }
    platform::RecordingMessageBoxes loaderBoxes;
    auto chosen = ChooseFirmware(options.firmware, &loaderBoxes);
    if (!chosen) {
        std::cerr << me << TerminalText(chosen.error()) << "\n";
        return EXIT_USAGE;
    }
    if (auto refusal = RefuseToward(chosen->resources, *address)) {
        std::cerr << me << *refusal << "\n";
        return EXIT_USAGE;
    }
    if (!chosen->notice.empty()) std::cerr << me << chosen->notice << "\n";
    const auto password = ReadPassword(options.passwordFile, options.noPrompt);
    if (!password) {
        std::cerr << me << password.error() << "\n";
        return EXIT_USAGE;
    }
    UpgradeRun run(options, *address, EncodeCredential(options.user, *password), timing,
                   std::move(chosen->resources));
    const Result result = run.Run();
    PrintResult(result, options.json);
    RecordInHistory(result);
    return result.exitCode;
}

}  // namespace

void AddUpgradeCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<UpgradeOptions>();
    CLI::App* sub = app.add_subcommand("upgrade", "Upgrade one camera's firmware as the manual wizard does");
    sub->footer(
        "The password comes from --password-file, else the environment variable XQT_PASSWORD, else a\n"
        "prompt without echo; it is never taken from the command line and never printed.\n"
        "Exit codes:\n"
        "  0  upgraded, and the camera confirmed the new version\n"
        "  1  internal error (missing resources)\n"
        "  2  usage error (address, options, password), a firmware bundle that cannot be used, or the\n"
        "     built-in placeholder image toward a camera outside loopback (nothing was sent)\n"
        "  3  camera unreachable\n"
        "  4  login refused or not the administrator\n"
        "  5  not a suitable camera (model, serial number or user list)\n"
        "  6  the configuration could not be saved (nothing was uploaded)\n"
        "  7  the firmware could not be sent (network error)\n"
        "  8  the overwrite or the verification failed (progress stream broken, watchdog, another version,\n"
        "     also after a lost connection)\n"
        "  9  the camera never answered again after the connection was lost\n"
        " 10  the camera did not confirm the new version\n"
        " 11  upgraded and verified, but the configuration could not be put back (the saved file is kept)");
    sub->add_option("address", options->address, "Camera address HOST[:PORT] (IPv4; port 80 when absent)")
        ->required();
    sub->add_option("--user", options->user, "Administrator user name")->required();
    AddPasswordOptions(sub, options->passwordFile, options->noPrompt);
    sub->add_flag("--retain", options->retain,
                  "Save the camera's configuration first and put it back afterwards");
    sub->add_flag("--backup", options->backup, "With --retain: keep the saved configuration file afterwards");
    sub->add_flag("--json", options->json, "One JSON object per status change and a final result object");
    sub->add_option("--time-scale", options->timeScale,
                    "Multiply every engine duration (simulated cameras on loopback addresses only)")
        ->check(NumberIn(TIME_SCALE_MIN, TIME_SCALE_MAX));
    AddFirmwareOptions(sub, options->firmware);
    sub->callback([options, &exitCode] { exitCode = RunUpgrade(*options); });
}

}  // namespace xqt::cli

// xqt-cli config save | restore: a camera's configuration on its own, without an upgrade, with the
// same store and restore request the upgrade uses. Save downloads it into the dated folder (never
// replacing a file, mode 0600, the full serial in the name); restore posts a saved file back once
// the camera's model and serial agree with the file's name (or --force).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "camera/CameraSession.h"
#include "camera/ConfigStore.h"
#include "camera/Credential.h"
#include "camera/ManualRestore.h"
#include "camera/ResourceState.h"
#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalText.h"
#include "platform/CameraLock.h"
#include "platform/EventLoopOwner.h"
#include "platform/MessageBoxes.h"
#include "platform/StopSignals.h"

namespace xqt::cli {

namespace {

struct ConfigOptions {
    std::string address;
    std::string file;  // restore only
    std::string user;
    std::string passwordFile;
    bool noPrompt = false;
    bool force = false;  // restore only
    bool json = false;
    double timeScale = 0;
};

/// The manual check's boxes are not shown: the command says what failed in its own words.
class QuietBoxes : public platform::MessageBoxes {
  public:
    platform::MbResult Show(const std::string&, const std::string&, platform::MbButtons,
                            platform::MbIcon) override {
        return platform::MbResult::Ok;
    }
};

struct Outcome {
    int exitCode = EXIT_OK;
    /// A word for scripts: "saved", "restored", "not-saved", ..., or the FaultWord of a refused check.
    std::string reason;
    std::string message;
    std::string model, serial, file;
    std::uint32_t bytes = 0;

    /// Ends as a failure; what is known of the camera and the file stays.
    Outcome& Fail(int code, std::string word, std::string text) {
        exitCode = code;
        reason = std::move(word);
        message = std::move(text);
        return *this;
    }
};

void Print(const std::string& action, const std::string& address, const Outcome& o, bool json) {
    if (json) {
        nlohmann::json out = {{"event", "result"}, {"action", action},   {"address", address},
                              {"model", o.model},  {"serial", o.serial}, {"file", o.file},
                              {"bytes", o.bytes},  {"reason", o.reason}, {"exitCode", o.exitCode}};
        if (o.exitCode != EXIT_OK) out["message"] = o.message;
        std::cout << out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        return;
    }
    if (o.exitCode == EXIT_OK) {
        std::cout << TerminalText(o.message) << "\n";
    } else {
        std::cerr << "xqt-cli config " << action << ": " << TerminalText(o.message) << "\n";
    }
}

/// One camera, checked as the upgrade checks it before it starts (reachable, administrator login,
/// listed model), with the owner its requests need.
class CameraAtHand {
  public:
    CameraAtHand(const std::string& address, const std::string& credential,
                 const platform::EngineTiming& timing, const ResourceState& resources)
        : owner_(boxes_), session_(Config(address, credential, timing, resources)) {
        owner_.SetTimerHandler([this](int id) { session_.OnSessionTimer(id); });
    }
    ~CameraAtHand() {
        owner_.Call([this] { owner_.SetTimerHandler({}); });
    }
    CameraAtHand(const CameraAtHand&) = delete;
    CameraAtHand& operator=(const CameraAtHand&) = delete;

    /// Fills `o` with the camera's model and serial; false with `o` set to the failure.
    bool Check(Outcome& o) {
        const ManualCheckResult check = session_.RunManualCheck();
        owner_.Call([] {});
        o.model = check.system.model;
        o.serial = check.system.serial;
        // The restore takes the preset path for a pan-tilt camera, as it does after an upgrade.
        session_.lastAnswer.Set(check.systemAnswer);
        session_.NotePanTilt();
        if (check.passed) return true;
        o.Fail(CheckExitCode(check.fault), std::string(FaultWord(check.fault)), check.detail);
        return false;
    }
    CameraSession& Session() { return session_; }

  private:
    SessionConfig Config(const std::string& address, const std::string& credential,
                         const platform::EngineTiming& timing, const ResourceState& resources) {
        SessionConfig config;
        config.owner = &owner_;
        config.hostPort = address;
        config.credential = credential;
        config.modelList = resources.modelNames;
        config.timing = timing;
        return config;
    }

    QuietBoxes boxes_;
    platform::EventLoopOwner owner_;
    CameraSession session_;
};

/// True when `name` is the file a save of this camera gets: SafeConfigFileName of the model and
/// serial, or the same with "-N" before ".cfg" when the plain name was taken.
bool NamedAfter(const std::string& name, const std::string& model, const std::string& serial) {
    const std::string plain = SafeConfigFileName(model, serial);
    if (name == plain) return true;
    const std::string stem = plain.substr(0, plain.size() - 4);  // without ".cfg"
    if (name.size() <= stem.size() + 5 || name.compare(0, stem.size(), stem) != 0) return false;
    if (name[stem.size()] != '-' || name.compare(name.size() - 4, 4, ".cfg") != 0) return false;
    const std::string number = name.substr(stem.size() + 1, name.size() - stem.size() - 5);
    return !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
}

struct Prepared {
    std::string address, credential;
    ResourceState resources;
    platform::EngineTiming timing;
};

/// Address, password, resources and timing; false after printing why not.
bool Prepare(const std::string& action, const ConfigOptions& options, Prepared& p) {
    const auto fail = [&](const std::string& message) {
        Print(action, options.address, Outcome().Fail(EXIT_USAGE, "usage", message), options.json);
        return false;
    };
    const auto address = NormaliseAddress(options.address);
    if (!address) return fail(AddressRefusal(options.address));
    if (Result<void> distinct =
            RefuseSharedFiles({{"--password-file", options.passwordFile}, {"FILE", options.file}});
        !distinct)
        return fail(distinct.error());
    if (options.timeScale > 0 && !IsLoopback(*address))
        return fail("--time-scale is for simulated cameras only (loopback addresses 127.x.y.z)");
    const auto password = ReadPassword(options.passwordFile, options.noPrompt);
    if (!password) return fail(password.error());
    QuietBoxes boxes;
    p.resources.LoadAll(&boxes);
    if (!p.resources.modelNames[0]) {
        Print(action, options.address,
              Outcome().Fail(EXIT_INTERNAL, "internal", "the embedded model list is missing"), options.json);
        return false;
    }
    p.address = *address;
    p.credential = EncodeCredential(options.user, *password);
    if (options.timeScale > 0) p.timing = p.timing.Scaled(options.timeScale);
    return true;
}

int RunSave(const ConfigOptions& options) {
    Prepared p;
    if (!Prepare("save", options, p)) return EXIT_USAGE;
    // A stop signal lets the download finish, so no saved file is left cut short; a closed
    // standard output never stops it.
    const platform::StopSignalGuard signals;
    CameraAtHand camera(p.address, p.credential, p.timing, p.resources);
    Outcome o;
    if (camera.Check(o)) {
        // The remote file and the saved name follow the first listed model, as the upgrade's do.
        const std::string model = *p.resources.modelNames[0];
        ConfigStore store(p.address, ConfigRemotePath(model), p.credential, std::chrono::system_clock::now(),
                          model, o.serial, 0, p.timing.streamReceiveTimeout,
                          detail::TransferBoundOf(p.timing));
        if (store.localPath.empty()) {
            o.Fail(EXIT_NOT_SAVED, "not-saved",
                   "no folder for saved configurations (set HOME or XDG_DATA_HOME)");
        } else if (!store.Download()) {
            o.Fail(EXIT_NOT_SAVED, "not-saved",
                   "the configuration could not be saved (" + store.errorText + ")");
        } else {
            o.reason = "saved";
            o.file = store.localPath;
            o.bytes = store.byteCount;
            o.message = "saved " + std::to_string(o.bytes) + " bytes to " + o.file;
        }
    }
    Print("save", p.address, o, options.json);
    return o.exitCode;
}

int RunRestore(const ConfigOptions& options) {
    Prepared p;
    if (!Prepare("restore", options, p)) return EXIT_USAGE;
    // Read whole: a configuration is binary and may hold zero bytes.
    std::error_code ec;
    const auto size = std::filesystem::file_size(options.file, ec);
    std::vector<std::uint8_t> bytes;
    if (!ec && size > 0 && size <= CONFIG_SIZE_LIMIT) {
        std::ifstream in(options.file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes.size() != size) bytes.clear();
    }
    if (bytes.empty()) {
        const std::string why =
            ec ? " cannot be read (" + ec.message() + ")" : " is empty or larger than a configuration can be";
        Print("restore", p.address, Outcome().Fail(EXIT_USAGE, "usage", options.file + why), options.json);
        return EXIT_USAGE;
    }

    // From here on a stop signal lets the restore finish: a camera cut off while it takes its
    // settings may be left half set up.
    const platform::StopSignalGuard signals;
    const platform::StopSignalWatch stops;
    Outcome o;
    o.file = options.file;
    // Another run writing to this camera is left alone: by its address before a word is said to
    // it, by its serial once it has named itself.
    platform::CameraLock byAddress = platform::CameraLock::Take(platform::AddressLockKey(p.address));
    if (!byAddress.Held()) {
        o.Fail(EXIT_CAMERA_BUSY, "camera-busy",
               "the camera at " + p.address + " is " + byAddress.RefusalText());
        Print("restore", p.address, o, options.json);
        return o.exitCode;
    }
    CameraAtHand camera(p.address, p.credential, p.timing, p.resources);
    platform::CameraLock bySerial;
    if (camera.Check(o) && !o.serial.empty()) {
        bySerial = platform::CameraLock::Take(platform::SerialLockKey(o.serial));
        if (!bySerial.Held())
            o.Fail(EXIT_CAMERA_BUSY, "camera-busy",
                   "the camera at " + p.address + " is " + bySerial.RefusalText());
    }
    if (o.exitCode == EXIT_OK) {
        const std::string name = std::filesystem::path(options.file).filename().string();
        if (!options.force && !NamedAfter(name, *p.resources.modelNames[0], o.serial)) {
            o.Fail(EXIT_OTHER_CAMERA, "other-camera",
                   name + " was not saved from this camera (serial " + o.serial +
                       "); give --force to restore it anyway");
        } else {
            const bool taken = PostSavedConfiguration(camera.Session(), bytes, p.timing);
            o.bytes = static_cast<std::uint32_t>(bytes.size());
            if (taken) {
                o.reason = "restored";
                o.message = "restored " + std::to_string(o.bytes) + " bytes from " + o.file +
                            "; the camera applies them and may restart";
            } else {
                o.Fail(EXIT_NOT_RESTORED, "not-restored",
                       "the camera did not take the configuration (" +
                           std::to_string(p.timing.restoreAttempts) + " attempts)");
            }
        }
    }
    Print("restore", p.address, o, options.json);
    if (stops.Interrupted())
        std::cerr << "xqt-cli config restore: interrupted; the restore was finished first" << std::endl;
    return o.exitCode;
}

void AddCommonOptions(CLI::App* sub, ConfigOptions& options) {
    sub->add_option("address", options.address, "Camera address HOST[:PORT] (IPv4; port 80 when absent)")
        ->required();
    sub->add_option("--user", options.user, "Administrator user name")->required();
    AddPasswordOptions(sub, options.passwordFile, options.noPrompt);
    sub->add_flag("--json", options.json, "Print one JSON object with the result");
    sub->add_option("--time-scale", options.timeScale,
                    "Multiply every engine duration (simulated cameras on loopback addresses only)")
        ->check(NumberIn(platform::TIME_SCALE_MIN, platform::TIME_SCALE_MAX));
}

}  // namespace

void AddConfigCommand(CLI::App& app, int& exitCode) {
    CLI::App* config = app.add_subcommand("config", "Save a camera's configuration, or put a saved one back");
    config->require_subcommand(1);
    config->footer(
        "Exit codes: 0 done; 1 internal error; 2 usage error (options, password, file); 3 camera\n"
        "unreachable; 4 login refused or not the administrator; 5 not a camera of a listed model;\n"
        "6 the configuration could not be saved; 7 the camera did not take it back; 8 the file was\n"
        "saved from another camera (restore without --force); 16 another run of this tool is writing\n"
        "to the camera (restore; nothing was sent).");

    auto save = std::make_shared<ConfigOptions>();
    CLI::App* saveCommand = config->add_subcommand(
        "save", "Download the camera's configuration into a new file of the dated Configurations folder");
    AddCommonOptions(saveCommand, *save);
    saveCommand->callback([save, &exitCode] { exitCode = RunSave(*save); });

    auto restore = std::make_shared<ConfigOptions>();
    CLI::App* restoreCommand = config->add_subcommand(
        "restore", "Post a saved configuration FILE back to the camera it was saved from");
    AddCommonOptions(restoreCommand, *restore);
    restoreCommand->add_option("file", restore->file, "Saved configuration (<model>.<serial>.cfg)")
        ->required();
    restoreCommand->add_flag("--force", restore->force,
                             "Restore also when the file's name names another serial number");
    restoreCommand->callback([restore, &exitCode] { exitCode = RunRestore(*restore); });
}

}  // namespace xqt::cli

// xqt-cli upgrade: the manual upgrade of one camera end to end, as the wizard runs it: the check,
// the optional configuration backup, the upload, the overwrite, the reboot and the verification,
// then the optional restore and the wait for the reconfigured camera. Status words and a progress
// bar on a terminal, plain lines otherwise, or one JSON object per line with --json.
// The run itself is UpgradeRun; this file reads the options and prints and records its result.

#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "camera/Credential.h"
#include "camera/HostPort.h"
#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/FirmwareChoice.h"
#include "cli/TerminalText.h"
#include "cli/UpgradeRun.h"
#include "fleet/TextForms.h"
#include "fleet/UpgradeHistory.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"
#include "platform/StopSignals.h"

namespace xqt::cli {

namespace {

using namespace upgrade;
using platform::TIME_SCALE_MAX;
using platform::TIME_SCALE_MIN;

/// One history line for a run that got as far as the camera's configuration or its firmware;
/// checks that refused the camera wrote nothing to it and are left out. A history that cannot be
/// written is said on standard error and changes nothing else.
void RecordInHistory(const Result& r) {
    if (r.reason == "current") return;  // left alone: nothing was written
    HistoryEntry entry;
    switch (r.exitCode) {
        case EXIT_VERIFIED:
            entry.outcome = Outcome::Upgraded;
            break;
        case EXIT_NOT_VERIFIED:
            entry.outcome = Outcome::Unconfirmed;
            break;
        case EXIT_CONFIG_NOT_RESTORED:
            entry.outcome = Outcome::SettingsNotRestored;
            break;
        case EXIT_CONFIG_NOT_SAVED:
        case EXIT_NOT_SENT:
        case EXIT_UPGRADE_ERROR:
        case EXIT_NOT_BACK:
            entry.outcome = Outcome::Failed;
            break;
        default:
            return;
    }
    entry.tool = "xqt-cli upgrade";
    entry.address = r.address;
    entry.mac = r.mac;
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
            {"mac", r.mac},
            {"model", r.model},
            {"serial", r.serial},
            {"currentVersion", StripVer(r.currentVersion)},
            {"newVersion", StripVer(r.newVersion)},
            {"reportedVersion", StripVer(r.reportedVersion)},
            {"emergency", r.emergency},
            {"verified", r.verified},
            {"confirmed", r.confirmed},
            {"configSaved", r.configSaved},
            {"configRestored", r.configRestored},
            {"savedFile", r.savedFile},
            {"failure", r.failure},
            {"reason", r.reason},
            {"detail", r.detail},
            {"interrupted", r.interrupted},
            {"exitCode", r.exitCode},
        };
        std::cout << JsonText(out) << std::endl;
        return;
    }
    if (r.reason == "current") {
        std::cout << "Result: " << TerminalText(r.detail) << " (exit " << r.exitCode << ")" << std::endl;
        return;
    }
    std::cout << "Result: "
              << (r.exitCode == EXIT_VERIFIED ? std::string("upgraded and verified")
                  : r.detail.empty()          ? r.failure
                                              : r.failure + ", " + TerminalText(r.detail))
              << " (exit " << r.exitCode << ")\n";
    if (!r.reportedVersion.empty()) {
        std::cout << "  " << (r.confirmed ? "camera reports " : "version not confirmed by the camera: ")
                  << TerminalText(StripVer(r.reportedVersion)) << "\n";
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
        std::cerr << me << AddressRefusal(options.address) << "\n";
        return EXIT_USAGE;
    }
    if (xqt::Result<void> distinct = RefuseSharedFiles(options); !distinct) {
        std::cerr << me << TerminalText(distinct.error()) << "\n";
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
    // From here on a stop signal lets the camera finish (UpgradeRun answers it), and a closed
    // standard output ends the printing, never the upgrade.
    const platform::StopSignalGuard signals;
    UpgradeRun run(options, *address, EncodeCredential(options.user, *password), timing,
                   std::move(chosen->resources));
    const Result result = run.Run();
    RecordInHistory(result);
    PrintResult(result, options.json);
    if (result.interrupted) {
        std::cerr << me << "interrupted; the camera's run ended: "
                  << (result.reason == "current"         ? result.detail
                      : result.exitCode == EXIT_VERIFIED ? std::string("upgraded and verified")
                                                         : result.failure)
                  << " (exit " << result.exitCode << ")" << std::endl;
    }
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
        "  0  upgraded, and the camera confirmed the new version; or, without --force, the camera\n"
        "     already runs the image's version and nothing was written (\"already at 1.23\", reason\n"
        "     \"current\" with --json)\n"
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
        " 11  upgraded and verified, but the configuration could not be put back (the saved file is kept)\n"
        " 16  another run of this tool is writing to the camera (nothing was sent)\n"
        "A stop signal (Ctrl-C, SIGTERM, SIGHUP, SIGQUIT) before the upload ends the run with 7 and\n"
        "nothing sent; after it, the camera finishes its upgrade and restore first.");
    sub->add_option("address", options->address, "Camera address HOST[:PORT] (IPv4; port 80 when absent)")
        ->required();
    sub->add_option("--user", options->user, "Administrator user name")->required();
    AddPasswordOptions(sub, options->passwordFile, options->noPrompt);
    sub->add_flag("--retain", options->retain,
                  "Save the camera's configuration first and put it back afterwards");
    sub->add_flag("--backup", options->backup, "With --retain: keep the saved configuration file afterwards");
    sub->add_flag("--json", options->json, "One JSON object per status change and a final result object");
    sub->add_flag("--force", options->force,
                  "Flash the camera even when it already runs the image's version");
    sub->add_option("--time-scale", options->timeScale,
                    "Multiply every engine duration (simulated cameras on loopback addresses only)")
        ->check(NumberIn(TIME_SCALE_MIN, TIME_SCALE_MAX));
    AddFirmwareOptions(sub, options->firmware);
    sub->callback([options, &exitCode] { exitCode = RunUpgrade(*options); });
}

}  // namespace xqt::cli

// xqt-cli inquire: the manual pre-upgrade check of one camera, as the wizard makes it before an
// upgrade, with the serial-number rule, printed as a summary or one JSON object.
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "camera/HostPort.h"
#include "camera/ResourceState.h"
#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/FirmwareChoice.h"
#include "cli/TerminalText.h"
#include "fleet/TextForms.h"
#include "platform/EventLoopOwner.h"
#include "platform/MessageBoxes.h"

namespace xqt::cli {

namespace {

struct InquireOptions {
    std::string address;
    std::string user;
    std::string passwordFile;
    bool noPrompt = false;
    bool json = false;
    double timeScale = 0;
    FirmwareOptions firmware;
};

// ---- The check -----------------------------------------------------------------------------

struct Report {
    std::string address;
    bool reachable = false;
    std::string model, currentVersion, serial, docType, mac, message;
    std::string reason;  ///< FaultWord of the refusal; empty for a suitable camera
    std::string detail;  ///< FaultText of the refusal
    bool emergency = false, panTilt = false, administrator = false, suitable = false;
    int imageSlot = 0;
    std::string firmwareVersion;  ///< the version the camera would be given
    std::string firmware;         ///< the bundle's path, or "built-in"
    int exitCode = EXIT_UNSUITABLE;
};

Report Inquire(const std::string& address, const std::string& credential, ResourceState resources,
               const platform::EngineTiming& timing) {
    Report report;
    report.address = address;
    report.firmwareVersion = StripVer(resources.versionLabel);
    report.firmware = resources.bundlePath.empty() ? "built-in" : resources.bundlePath;

    platform::RecordingMessageBoxes boxes;

    std::string messages;
    {
        platform::EventLoopOwner owner(boxes);
        CameraSession session(SessionConfig{&owner, address, credential, resources.modelNames, 0, timing});
        const ManualCheckResult check = session.RunManualCheck();

        report.reachable = !check.systemAnswer.empty();
        report.model = check.system.model;
        report.serial = check.system.serial;
        report.currentVersion = StripVer(session.currentVersion.Get());
        report.emergency = session.emergency.load();
        report.docType = check.docType;
        report.imageSlot = resources.SelectSlot(check.docType);
        session.lastAnswer.Set(check.systemAnswer);
        session.NotePanTilt();
        report.panTilt = session.hasPanTilt.load();
        report.administrator = check.passed && !report.emergency;
        if (report.reachable) {
            report.mac =
                CameraSession::ParseMacAddress(session.Inquire(INQ_NETWORK, session.timing.inquiryLimit))
                    .value_or(std::string());
        }

        CameraFault fault = check.fault;
        std::string detail = check.detail;
        if (check.passed && !SerialAllowed(check.system.serial)) {
            fault = CameraFault::SerialNotAccepted;
            detail = session.DescribeFault(fault, check.system.model, check.system.serial);
        }
        report.suitable = fault == CameraFault::None;
        if (!report.suitable) owner.ShowMessage(NOT_SUITABLE_TEXT, "Information", platform::MbIcon::Question);
        owner.Call([] {});  // every box queued so far has been shown
        report.reason = std::string(FaultWord(fault));
        report.detail = std::move(detail);
        report.exitCode = report.suitable ? EXIT_OK : CheckExitCode(fault);
    }
    for (const auto& box : boxes.Taken()) {
        if (!report.message.empty()) report.message += "\n";
        report.message += box.text;
    }
    return report;
}

void PrintReport(const Report& r, bool json) {
    if (json) {
        nlohmann::json out = {
            {"address", r.address},
            {"reachable", r.reachable},
            {"model", r.model},
            {"currentVersion", r.currentVersion},
            {"emergency", r.emergency},
            {"serial", r.serial},
            {"docType", r.docType},
            {"imageSlot", r.imageSlot},
            {"panTilt", r.panTilt},
            {"mac", r.mac},
            {"administrator", r.administrator},
            {"suitable", r.suitable},
            {"reason", r.reason},
            {"detail", r.detail},
            {"firmware", r.firmware},
            {"firmwareVersion", r.firmwareVersion},
            {"message", r.message},
        };
        std::cout << JsonText(out) << std::endl;
        return;
    }
    auto yesNo = [](bool b) { return b ? "yes" : "no"; };
    std::cout << "Camera " << r.address << "\n";
    std::cout << "  reachable        " << yesNo(r.reachable) << "\n";
    if (r.reachable) {
        std::cout << "  model            " << TerminalText(r.model) << "\n";
        std::cout << "  current version  " << TerminalText(r.currentVersion) << "\n";
        std::cout << "  emergency state  " << yesNo(r.emergency) << "\n";
        std::cout << "  serial           " << TerminalText(r.serial) << "\n";
        std::cout << "  DocType          "
                  << (r.docType.empty() ? std::string("(none)") : TerminalText(r.docType)) << "  (image slot "
                  << r.imageSlot << ")\n";
        std::cout << "  pan/tilt         " << yesNo(r.panTilt) << "\n";
        std::cout << "  MAC address      " << TerminalText(r.mac) << "\n";
        std::cout << "  administrator    "
                  << (r.emergency       ? "not checked (emergency state)"
                      : r.administrator ? "yes"
                                        : "no")
                  << "\n";
    }
    std::cout << "  firmware         " << TerminalText(r.firmwareVersion) << " (" << TerminalText(r.firmware)
              << ")\n";
    std::cout << "  suitable         " << yesNo(r.suitable)
              << (r.suitable ? ", would take this firmware" : "") << "\n";
    if (!r.suitable) std::cout << "  reason           " << TerminalText(r.detail) << "\n";
    if (!r.message.empty()) {
        // One terminal line per line of the boxes, under one another.
        std::string indented;
        for (std::size_t from = 0; from <= r.message.size();) {
            std::size_t to = r.message.find('\n', from);
            if (to == std::string::npos) to = r.message.size();
            std::string_view line(r.message.data() + from, to - from);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (from > 0) indented += "\n                   ";
            indented += TerminalText(line);
            from = to + 1;
        }
        std::cout << "  message          " << indented << "\n";
    }
    std::cout.flush();
}

int RunInquire(const InquireOptions& options) {
    const auto address = NormaliseAddress(options.address);
    if (!address) {
        std::cerr << "xqt-cli inquire: " << AddressRefusal(options.address) << "\n";
        return EXIT_USAGE;
    }
    platform::EngineTiming timing;
    if (options.timeScale > 0) {
        if (!IsLoopback(*address)) {
            std::cerr << "xqt-cli inquire: --time-scale is for simulated cameras only (loopback addresses "
                         "127.x.y.z)\n";
            return EXIT_USAGE;
        }
        timing = timing.Scaled(options.timeScale);
    }
    platform::RecordingMessageBoxes loaderBoxes;  // a missing resource is reported by the refused model
    auto chosen = ChooseFirmware(options.firmware, &loaderBoxes);
    if (!chosen) {
        std::cerr << "xqt-cli inquire: " << TerminalText(chosen.error()) << "\n";
        return EXIT_USAGE;
    }
    if (!chosen->notice.empty()) std::cerr << "xqt-cli inquire: " << chosen->notice << "\n";
    const auto password = ReadPassword(options.passwordFile, options.noPrompt);
    if (!password) {
        std::cerr << "xqt-cli inquire: " << password.error() << "\n";
        return EXIT_USAGE;
    }
    const Report report =
        Inquire(*address, EncodeCredential(options.user, *password), std::move(chosen->resources), timing);
    PrintReport(report, options.json);
    return report.exitCode;
}

}  // namespace

void AddInquireCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InquireOptions>();
    CLI::App* sub =
        app.add_subcommand("inquire", "Check one camera as the manual upgrade does before it starts");
    sub->footer(
        "The password comes from --password-file, else the environment variable XQT_PASSWORD, else a\n"
        "prompt without echo; it is never taken from the command line and never printed.\n"
        "Exit codes: 0 suitable; 1 internal error (missing resources); 2 usage error or a firmware\n"
        "bundle that cannot be used; 3 camera unreachable; 4 login refused or not the administrator;\n"
        "5 not a suitable camera (model, serial number or user list).\n"
        "An emergency-state camera is suitable without a user check; 'administrator' is then false.");
    sub->add_option("address", options->address, "Camera address HOST[:PORT] (IPv4; port 80 when absent)")
        ->required();
    sub->add_option("--user", options->user, "Administrator user name")->required();
    AddPasswordOptions(sub, options->passwordFile, options->noPrompt);
    sub->add_flag("--json", options->json, "Print one JSON object instead of the summary");
    sub->add_option("--time-scale", options->timeScale,
                    "Multiply every engine duration (simulated cameras on loopback addresses only)")
        ->check(NumberIn(platform::TIME_SCALE_MIN, platform::TIME_SCALE_MAX));
    AddFirmwareOptions(sub, options->firmware);
    sub->callback([options, &exitCode] { exitCode = RunInquire(*options); });
}

}  // namespace xqt::cli

// xqt-cli discover: one discovery run as the wizard does it (two enquiries, then the stop), and the
// table it found, as text lines or as JSON.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "camera/DiscoveryService.h"
#include "camera/ResourceState.h"
#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalText.h"
#include "platform/MessageBoxes.h"
#include "platform/Windows1252.h"
#include "serialrules/SerialProtect.h"

namespace xqt::cli {

namespace {

// Resource failures of the command line go to standard error instead of a box.
class ConsoleMessageBoxes : public platform::MessageBoxes {
  public:
    platform::MbResult Show(const std::string& text, const std::string& caption, platform::MbButtons,
                            platform::MbIcon) override {
        std::cerr << caption << ": " << text << "\n";
        return platform::MbResult::Ok;
    }
};

/// A discovery reply's text (Windows-1252 bytes) for a terminal line.
std::string DiscoveredForTerminal(const std::string& bytes) {
    return TerminalText(platform::Windows1252ToUtf8(bytes));
}

std::string IpText(const DiscoveryEntry& entry) {
    char text[20];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", entry.ipAddress[0], entry.ipAddress[1],
                  entry.ipAddress[2], entry.ipAddress[3]);
    return text;
}

// The address as the target list shows it: "DHCP" for DHCP cameras, the port only when not 80.
std::string AddressText(const DiscoveryEntry& entry) {
    if (entry.dhcp) return "DHCP";
    if (entry.webPort == 80) return IpText(entry);
    return IpText(entry) + ":" + std::to_string(entry.webPort);
}

std::string EndpointText(const DiscoveryEntry& entry) {
    return IpText(entry) + ":" + std::to_string(entry.webPort);
}

void PrintLines(const std::vector<DiscoveryEntry>& entries) {
    std::vector<std::vector<std::string>> rows{{"MODEL", "SERIAL", "VERSION", "MAC", "ADDRESS", "ENDPOINT"}};
    std::vector<std::size_t> widths(6, 0);
    for (std::size_t i = 0; i < widths.size(); ++i)
        widths[i] = rows[0][i].size();
    for (const DiscoveryEntry& entry : entries) {
        rows.push_back({DiscoveredForTerminal(entry.model), DiscoveredForTerminal(entry.serial),
                        DiscoveredForTerminal(entry.version), DiscoveredForTerminal(entry.mac),
                        AddressText(entry), EndpointText(entry)});
        for (std::size_t i = 0; i < widths.size(); ++i)
            widths[i] = std::max(widths[i], rows.back()[i].size());
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        std::cout << line << "\n";
    }
}

void PrintJson(const std::vector<DiscoveryEntry>& entries) {
    auto array = nlohmann::json::array();
    for (const DiscoveryEntry& entry : entries) {
        array.push_back({{"model", platform::Windows1252ToUtf8(entry.model)},
                         {"serial", platform::Windows1252ToUtf8(entry.serial)},
                         {"version", platform::Windows1252ToUtf8(entry.version)},
                         {"mac", platform::Windows1252ToUtf8(entry.mac)},
                         {"ip", IpText(entry)},
                         {"webPort", entry.webPort},
                         {"dhcp", entry.dhcp},
                         {"dnsAuto", entry.dnsAuto}});
    }
    std::cout << JsonText(array, 2) << "\n";
}

int RunDiscover(bool json, double seconds) {
    ResourceState resources;
    ConsoleMessageBoxes boxes;
    resources.LoadModelList(&boxes);

    DiscoveryResults results(resources.modelNames, [](const std::string& serial) {
        return ns_serial_protect::JudgeSerialAnsi(serial) == ns_serial_protect::SerialVerdict::Allowed;
    });

    DiscoveryOptions options;
    const auto total = std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000.0 + 0.5));
    options.timing.stopAfter = total;
    options.timing.enquiryInterval = total / 2;
    // Reports go to standard error so that standard output holds only the table.
    options.print = [](const std::string& line) { std::cerr << line << std::endl; };
    options.exitProcess = [](int) {};  // Run returns the code; main ends the process with it

    DiscoveryService service(results, options);
    const int setupCode = service.Run();
    if (setupCode != 0) return setupCode;

    const std::vector<DiscoveryEntry> entries = results.Snapshot();
    if (json) {
        PrintJson(entries);
    } else if (!entries.empty()) {
        PrintLines(entries);
    }
    if (entries.empty()) std::cerr << "No camera of the listed models answered.\n";
    if (const int others = results.LeftOutCount(); others > 0) {
        std::cerr << others << (others == 1 ? " camera" : " cameras")
                  << " of other models (or with serial numbers the image may not go to) answered and "
                  << (others == 1 ? "is" : "are") << " not listed.\n";
    }
    if (service.Failed()) return EXIT_DISCOVERY_FAILED;
    return entries.empty() ? EXIT_NONE_LISTED : EXIT_OK;
}

}  // namespace

void AddDiscoverCommand(CLI::App& app, int& exitCode) {
    auto* command = app.add_subcommand(
        "discover",
        "Find the cameras on the segment by the UDP broadcast enquiry and list those the image suits.\n"
        "Exit status: 1-3 when the socket cannot be set up, 4 when a network failure ended the search early "
        "(the cameras found until then are still listed), 5 when no camera of the listed models answered.\n"
        "Cameras of other models that answered are counted on standard error.");
    auto json = std::make_shared<bool>(false);
    auto seconds = std::make_shared<double>(10.0);
    command->add_flag("--json", *json, "Print a JSON array instead of one line per camera");
    command->add_option("--seconds", *seconds, "Length of the search; the enquiry is repeated halfway")
        ->check(NumberIn(0.01, 3600.0))
        ->capture_default_str();
    command->callback([json, seconds, &exitCode] { exitCode = RunDiscover(*json, *seconds); });
}

}  // namespace xqt::cli

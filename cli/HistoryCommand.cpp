// xqt-cli history: the upgrades recorded by the wizard and xqt-cli, oldest first, as a table or as
// JSON lines; --address keeps one camera's.
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalText.h"
#include "fleet/UpgradeHistory.h"

namespace xqt::cli {

namespace {

int RunHistory(bool json, const std::string& address) {
    std::string wanted;
    if (!address.empty()) {
        const auto normal = NormaliseAddress(address);
        if (!normal) {
            std::cerr << "xqt-cli history: " << TerminalText(address)
                      << " is not an IPv4 address with an optional port 1-65535\n";
            return EXIT_USAGE;
        }
        wanted = *normal;
    }
    const std::string path = HistoryPath();
    const auto entries = path.empty() ? Result<std::vector<HistoryEntry>>(Fail("no folder for the history"))
                                      : ReadHistory(path);
    if (!entries) {
        std::cerr << "xqt-cli history: " << TerminalText(entries.error()) << "\n";
        return EXIT_HISTORY_UNREADABLE;
    }
    std::vector<std::vector<std::string>> rows{
        {"TIME", "ADDRESS", "MODEL", "SERIAL", "BEFORE", "AFTER", "OUTCOME", "TOOL", "CONFIGURATION"}};
    for (const HistoryEntry& e : *entries) {
        if (!wanted.empty() && e.address != wanted) continue;
        if (json) {
            std::cout << HistoryLine(e) << "\n";
            continue;
        }
        auto cell = [](const std::string& text) {
            return text.empty() ? std::string("-") : TerminalText(text);
        };
        rows.push_back({cell(e.time), cell(e.address), cell(e.model), cell(e.serial), cell(e.versionBefore),
                        cell(e.versionAfter), cell(e.outcome ? OutcomeWord(*e.outcome) : ""), cell(e.tool),
                        cell(e.savedFile)});
    }
    if (json) return EXIT_OK;
    if (rows.size() == 1) {
        std::cerr << "No upgrade recorded" << (wanted.empty() ? "" : " for " + wanted) << " in "
                  << TerminalText(path) << ".\n";
        return EXIT_OK;
    }
    std::vector<std::size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += row[i] + (i + 1 < row.size() ? std::string(widths[i] - row[i].size() + 2, ' ') : "");
        std::cout << line << "\n";
    }
    return EXIT_OK;
}

}  // namespace

void AddHistoryCommand(CLI::App& app, int& exitCode) {
    auto* command = app.add_subcommand(
        "history",
        "List the upgrades the wizard and xqt-cli recorded (history.jsonl beside the Configurations folder)");
    command->footer(
        "Exit codes: 0 listed (also when nothing is recorded); 1 the history cannot be read; 2 usage error.");
    auto json = std::make_shared<bool>(false);
    auto address = std::make_shared<std::string>();
    command->add_flag("--json", *json, "Print the entries as JSON lines, as the history file holds them");
    command->add_option("--address", *address, "Only the upgrades of the camera at HOST[:PORT]");
    command->callback([json, address, &exitCode] { exitCode = RunHistory(*json, *address); });
}

}  // namespace xqt::cli

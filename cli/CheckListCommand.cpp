// xqt-cli check-list: checks an address list and prints the cameras it names, by the rules of
// `batch --targets` or, with --dialog, the way the Add-other-cameras dialog imports it. Exit 0
// accepted, 1 refused (what is wrong on standard error), 2 the input could not be read.
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalText.h"
#include "fleet/AddressListParser.h"
#include "fleet/TargetListText.h"
#include "fleet/TextForms.h"
#include "platform/BoundedText.h"
#include "platform/MessageBoxes.h"

namespace xqt::cli {

namespace {

constexpr const char* ME = "check-list: ";

void Print(const std::vector<AddressEntry>& entries, bool json) {
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const AddressEntry& e : entries)
            list.push_back({{"ip", AddressText(e.address, 80)}, {"port", e.port}});
        std::cout << list.dump() << '\n';
    } else {
        for (const AddressEntry& e : entries)
            std::cout << AddressText(e.address, e.port) << '\n';
    }
}

/// Line (1-based) on which `text` ends, counting LF, CR LF and CR as line ends.
int LineOfEnd(std::string_view text) {
    int line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++line;
    }
    return line;
}

/// The wizard's import, which takes at most 256 entries and stops at a zero byte without a word:
/// what it left out is said on standard error, so the printed list is never taken as whole.
int CheckAsDialog(const platform::BoundedText& text, bool json) {
    StderrMessageBoxes boxes;
    AddressListParser parser(boxes);
    if (!parser.LoadText(platform::WithoutByteOrderMark(text.bytes))) return EXIT_LIST_REFUSED;
    Print(parser.Entries(), json);
    if (parser.EntryCount() >= MAX_CAMERAS) {
        std::cerr << ME << "the import stopped after " << MAX_CAMERAS
                  << " addresses; any lines after them were not read\n";
    } else if (text.cutAtZero) {
        std::cerr << ME << "the import stopped at a zero byte on line " << LineOfEnd(text.bytes)
                  << "; the rest of the file was not read\n";
    }
    return EXIT_OK;
}

int RunCheckList(const std::string& input, bool json, bool dialog) {
    const bool standardInput = input == "-";
    const std::string name = standardInput ? std::string("standard input") : input;
    const platform::BoundedText text =
        standardInput ? platform::ReadBoundedText(STDIN_FILENO) : platform::ReadBoundedText(input);
    switch (text.outcome) {
        case platform::TextReadOutcome::Read:
            break;
        case platform::TextReadOutcome::TooLong:
            std::cerr << ME << TerminalText(name) << " is longer than " << platform::TEXT_READ_LIMIT
                      << " bytes (1 MiB); refused, nothing was checked\n";
            return EXIT_LIST_REFUSED;
        default:
            std::cerr << ME << "cannot read " << TerminalText(name) << ": " << std::strerror(text.error)
                      << '\n';
            return EXIT_LIST_UNREADABLE;
    }
    if (dialog) return CheckAsDialog(text, json);

    const TargetListText list = ReadTargetList(text.bytes, text.cutAtZero);
    if (!list.Accepted()) {
        std::cerr << ME << TerminalText(name) << ", " << TerminalText(list.error) << '\n';
        return EXIT_LIST_REFUSED;
    }
    std::vector<AddressEntry> entries;
    entries.reserve(list.targets.size());
    for (const ListedTarget& target : list.targets)
        entries.push_back(target.entry);
    Print(entries, json);
    return EXIT_OK;
}

}  // namespace

void AddCheckListCommand(CLI::App& app, int& exitCode) {
    auto* cmd = app.add_subcommand("check-list",
                                   "Check an address list (file or '-' for standard input) as batch "
                                   "--targets reads it, or as the Add-other-cameras import does");
    auto input = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto dialog = std::make_shared<bool>(false);
    cmd->add_option("FILE", *input, "address list; '-' reads standard input")->required();
    cmd->add_flag("--json", *json, "print the entries as [{\"ip\": \"a.b.c.d\", \"port\": n}, ...]");
    cmd->add_flag("--dialog", *dialog,
                  "read it as the wizard's Add-other-cameras import does (its rules, texts and 256 entries)");
    cmd->callback([input, json, dialog, &exitCode] { exitCode = RunCheckList(*input, *json, *dialog); });
}

}  // namespace xqt::cli

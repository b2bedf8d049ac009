// xqt-cli check-list: checks an address list the way the Add-other-cameras dialog imports it and
// prints what it would add. Exit 0 accepted, 1 refused (the dialog's message on standard error, or
// an input longer than the dialog reads), 2 the input could not be read.
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/TerminalText.h"
#include "fleet/AddressListParser.h"
#include "fleet/TextForms.h"
#include "platform/BoundedText.h"
#include "platform/MessageBoxes.h"

namespace xqt::cli {

namespace {

int RunCheckList(const std::string& input, bool json) {
    const bool standardInput = input == "-";
    const std::string name = standardInput ? std::string("standard input") : input;
    const platform::BoundedText text =
        standardInput ? platform::ReadBoundedText(STDIN_FILENO) : platform::ReadBoundedText(input);
    switch (text.outcome) {
        case platform::TextReadOutcome::Read:
            break;
        case platform::TextReadOutcome::TooLong:
            std::cerr << "check-list: " << TerminalText(name) << " is longer than "
                      << platform::TEXT_READ_LIMIT << " bytes (1 MiB); refused, nothing was checked\n";
            return 1;
        default:
            std::cerr << "check-list: cannot read " << TerminalText(name) << ": " << std::strerror(text.error)
                      << '\n';
            return 2;
    }
    StderrMessageBoxes boxes;
    AddressListParser parser(boxes);
    const bool accepted = parser.LoadText(text.bytes);
    if (!accepted) return 1;

    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const AddressEntry& e : parser.Entries()) {
            list.push_back({{"ip", AddressText(e.address, 80)}, {"port", e.port}});
        }
        std::cout << list.dump() << '\n';
    } else {
        for (const AddressEntry& e : parser.Entries())
            std::cout << AddressText(e.address, e.port) << '\n';
    }
    return 0;
}

}  // namespace

void AddCheckListCommand(CLI::App& app, int& exitCode) {
    auto* cmd = app.add_subcommand("check-list",
                                   "Check an address list (file or '-' for standard input) "
                                   "as the import of the Add-other-cameras dialog reads it");
    auto input = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("FILE", *input, "address list; '-' reads standard input")->required();
    cmd->add_flag("--json", *json, "print the entries as [{\"ip\": \"a.b.c.d\", \"port\": n}, ...]");
    cmd->callback([input, json, &exitCode] { exitCode = RunCheckList(*input, *json); });
}

}  // namespace xqt::cli

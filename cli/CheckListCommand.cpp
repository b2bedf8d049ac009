// xqt-cli check-list: checks an address list the way the Add-other-cameras dialog imports it and
// prints what it would add. Exit 0 accepted, 1 refused (the dialog's message on standard error),
// 2 the input could not be read.
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/Commands.h"
#include "platform/MessageBoxes.h"
#include "targets/AddressListParser.h"
#include "targets/TextForms.h"

namespace xqt::cli {

namespace {

/// Shows a box as its text on standard error.
class StderrMessageBoxes : public platform::MessageBoxes {
  public:
    platform::MbResult Show(const std::string& text, const std::string&, platform::MbButtons,
                            platform::MbIcon) override {
        std::cerr << text << '\n';
        ++shown;
        return platform::MbResult::Ok;
    }
    int shown = 0;
};

int RunCheckList(const std::string& input, bool json) {
    StderrMessageBoxes boxes;
    AddressListParser parser(boxes);
    bool accepted = false;
    if (input == "-") {
        std::string bytes{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
        if (std::cin.bad()) {
            std::cerr << "check-list: cannot read standard input\n";
            return 2;
        }
        accepted = parser.LoadText(bytes);
    } else {
        accepted = parser.LoadFile(input);
        if (!accepted && boxes.shown == 0) {
            std::cerr << "check-list: cannot read " << input << '\n';
            return 2;
        }
    }
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

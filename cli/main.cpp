// xqt-cli: the command-line front end over the upgrade engine, for scripting and tests.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalText.h"
#include "platform/Resources.h"

int main(int argc, char** argv) {
    try {
        xqt::platform::UseResources(xqt::platform::EmbeddedResources());
        CLI::App app{"XQT camera firmware upgrade tool (command line)"};
        app.require_subcommand(1);
        app.set_version_flag("--version", xqt::platform::VersionText("xqt-cli"),
                             "Print the tool's version and its firmware image's version");
        int exitCode = 0;
        // Sub-commands register here.
        xqt::cli::AddBatchCommand(app, exitCode);
        xqt::cli::AddCheckListCommand(app, exitCode);
        xqt::cli::AddConfigCommand(app, exitCode);
        xqt::cli::AddDiscoverCommand(app, exitCode);
        xqt::cli::AddFirmwareCommand(app, exitCode);
        xqt::cli::AddHistoryCommand(app, exitCode);
        xqt::cli::AddInquireCommand(app, exitCode);
        xqt::cli::AddUpgradeCommand(app, exitCode);
        try {
            app.parse(argc, argv);
        } catch (const CLI::ParseError& e) {
            int rc = app.exit(e);
            return rc == 0 ? xqt::cli::EXIT_OK : xqt::cli::EXIT_USAGE;
        }
        return exitCode;
    } catch (const std::exception& e) {
        std::cerr << "xqt-cli: internal error: " << xqt::cli::TerminalText(e.what()) << std::endl;
    } catch (...) {
        std::cerr << "xqt-cli: internal error" << std::endl;
    }
    // Whatever escapes a sub-command ends the process with this status and one line on standard
    // error, never with an abort.
    return xqt::cli::EXIT_INTERNAL;
}

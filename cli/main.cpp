// xqt-cli: the command-line front end over the upgrade engine, for scripting and tests.
#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "platform/Resources.h"

int main(int argc, char** argv) {
    xqt::platform::UseResources(xqt::platform::EmbeddedResources());
    CLI::App app{"XQT camera firmware upgrade tool (command line)"};
    app.require_subcommand(1);
    int exitCode = 0;
    // Sub-commands register here.
    xqt::cli::AddCheckListCommand(app, exitCode);
    xqt::cli::AddDiscoverCommand(app, exitCode);
    xqt::cli::AddInquireCommand(app, exitCode);
    xqt::cli::AddUpgradeCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    return exitCode;
}

#pragma once
// Sub-commands of xqt-cli. Each Add*Command registers its options on the application and sets
// `exitCode` when it runs.

#include <CLI/CLI.hpp>

namespace xqt::cli {

// Add one declaration per sub-command, defined in its own file.
void AddDiscoverCommand(CLI::App& app, int& exitCode);

/// check-list FILE|- [--json] (CheckListCommand.cpp).
void AddCheckListCommand(CLI::App& app, int& exitCode);

/// `inquire HOST[:PORT] --user NAME [--password-file F] [--json]` (cli/InquireCommand.cpp).
void AddInquireCommand(CLI::App& app, int& exitCode);

/// `batch (--discover | --targets FILE|-) ...`: a fleet run with reports (cli/BatchCommand.cpp).
void AddBatchCommand(CLI::App& app, int& exitCode);

/// `firmware pack|show|verify|keygen`: firmware bundles (cli/FirmwareCommand.cpp).
void AddFirmwareCommand(CLI::App& app, int& exitCode);
/// `config save HOST[:PORT] ...` and `config restore HOST[:PORT] FILE ...` (cli/ConfigCommand.cpp).
void AddConfigCommand(CLI::App& app, int& exitCode);

/// `history [--json] [--address HOST[:PORT]]` (cli/HistoryCommand.cpp).
void AddHistoryCommand(CLI::App& app, int& exitCode);

/// `upgrade HOST[:PORT] --user NAME [--retain] [--backup] [--json] [--time-scale F]`
/// (cli/UpgradeCommand.cpp).
void AddUpgradeCommand(CLI::App& app, int& exitCode);

}  // namespace xqt::cli

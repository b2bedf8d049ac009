#pragma once
// xqt-cli batch: the options of one run, shared by the files of the command (BatchCommand.cpp
// registers them, BatchCommandRun.cpp runs them).
#include <string>

#include "cli/FirmwareChoice.h"

namespace xqt::cli::batch {

inline constexpr int MAX_PARALLEL = 64;
/// The start of every line the command writes to standard error.
inline constexpr const char* ME = "xqt-cli batch: ";

struct BatchOptions {
    bool discover = false;
    std::string targets;
    std::string user;
    std::string passwordFile;
    bool noPrompt = false;
    std::string credentials;
    bool retain = false;
    bool backup = false;
    int parallel = 2;
    int transfers = 1;
    int maxFailures = -1;  ///< < 0: no limit
    int retryOffline = 0;
    double retryDelay = 60;
    std::string resume;
    bool force = false;
    bool dryRun = false;
    std::string report;
    std::string csv;
    bool json = false;
    double timeScale = 0;
    FirmwareOptions firmware;
};

/// Runs the batch `options` ask for; the process's exit code (cli/ExitCodes.h).
[[nodiscard]] int RunBatch(const BatchOptions& options);

}  // namespace xqt::cli::batch

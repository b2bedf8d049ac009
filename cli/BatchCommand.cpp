// xqt-cli batch: the command line of a fleet run; the run itself is in BatchCommandRun.cpp.
#include "cli/BatchOptions.h"
#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "platform/EngineTiming.h"

namespace xqt::cli {

void AddBatchCommand(CLI::App& app, int& exitCode) {
    using namespace batch;
    auto options = std::make_shared<BatchOptions>();
    CLI::App* sub = app.add_subcommand("batch", "Upgrade a fleet of cameras as the automatic wizard does");
    sub->footer(
        "Targets come from --discover (the wizard's discovery: suitable cameras only) or --targets, an\n"
        "address list ('-' for standard input): one a.b.c.d[:port], range a.b.c.d-e or block "
        "a.b.c.d/22../32\n"
        "a line, '#' comments, an optional header line; at most 4096 cameras (check it with check-list).\n"
        "The password comes from --password-file, else XQT_PASSWORD, else a prompt without echo; it is\n"
        "never taken from the command line and never printed. --credentials FILE gives logins per camera\n"
        "as lines address[:port],user,password; the file must not be readable by others.\n"
        "A camera that already has the image's version is reported \"current\" and not flashed again\n"
        "(unless --force). --report and --csv must be writable before the run starts; they are\n"
        "rewritten whenever a camera begins writing (naming its saved configuration) and when it ends.\n"
        "Each row's \"outcome\" is one of upgraded, unconfirmed, settings-not-restored, current,\n"
        "unsuitable, failed, skipped, not-started, suitable; scripts read it, never \"status\".\n"
        "--resume skips a camera only when its MAC (else its serial number) matches the earlier row.\n"
        "--max-failures N: once N cameras have failed, no further camera starts (0 and 1 both stop\n"
        "at the first failure; without the option there is no limit).\n"
        "Ctrl-C, SIGTERM, SIGHUP and SIGQUIT stop the run: cameras being upgraded finish, no new one\n"
        "starts.\n"
        "Exit codes:\n"
        "  0  every camera upgraded and confirmed, or already current (dry run: every camera suitable)\n"
        "  1  internal error\n"
        "  2  usage error (options, files, password, a camera listed twice, a report not writable), a\n"
        "     firmware bundle that cannot be used, or the built-in placeholder image toward a camera\n"
        "     outside loopback (nothing was sent)\n"
        " 12  some cameras failed, were not confirmed, lost their settings or were not started\n"
        " 13  --max-failures held back cameras that were not started\n"
        " 14  no targets: the list is empty, or discovery found no suitable camera\n"
        " 15  a report could not be written during the run (the cameras were still finished)");
    auto* discover =
        sub->add_flag("--discover", options->discover, "Find the cameras by the broadcast enquiry");
    auto* targets =
        sub->add_option("--targets", options->targets, "Address list FILE, or '-' for standard input");
    discover->excludes(targets);
    sub->add_option("--user", options->user,
                    "Administrator user name (for cameras without a credentials line)");
    AddPasswordOptions(sub, options->passwordFile, options->noPrompt);
    sub->add_option("--credentials", options->credentials,
                    "CSV lines address[:port],user,password (mode 600)");
    sub->add_flag("--retain", options->retain, "Save each camera's configuration and put it back afterwards");
    sub->add_flag("--backup", options->backup, "With --retain: keep the saved configuration files");
    sub->add_option("--parallel", options->parallel, "Cameras driven at once (the wizard drives 2)")
        ->check(CLI::Range(1, MAX_PARALLEL))
        ->capture_default_str();
    sub->add_option(
           "--transfers", options->transfers,
           "Cameras that may save their configuration or take their image at once (at most --parallel)")
        ->check(CLI::Range(1, MAX_PARALLEL))
        ->capture_default_str();
    sub->add_option("--max-failures", options->maxFailures,
                    "Start no further camera once this many failed (0 or 1: the first failure stops)")
        ->check(CLI::Range(0, 1000000));
    sub->add_option("--retry-offline", options->retryOffline,
                    "Times a camera that did not answer goes back to the end of the queue")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
    sub->add_option("--retry-delay", options->retryDelay,
                    "Seconds before an unreachable camera is asked again")
        ->check(NumberIn(0, 86400))
        ->capture_default_str();
    sub->add_option("--resume", options->resume,
                    "Skip the cameras an earlier report lists as upgraded (matched by MAC, else serial)");
    sub->add_flag("--force", options->force, "Flash also cameras that already have the image's version");
    sub->add_flag("--dry-run", options->dryRun, "Only the start inquiries; nothing is written to any camera");
    sub->add_option("--report", options->report, "JSON report FILE");
    sub->add_option("--csv", options->csv, "CSV report FILE");
    sub->add_flag("--json", options->json, "One JSON object per status change and a final summary object");
    sub->add_option("--time-scale", options->timeScale,
                    "Multiply every engine duration (simulated cameras on loopback addresses only)")
        ->check(NumberIn(platform::TIME_SCALE_MIN, platform::TIME_SCALE_MAX));
    AddFirmwareOptions(sub, options->firmware);
    sub->callback([options, &exitCode] { exitCode = RunBatch(*options); });
}

}  // namespace xqt::cli

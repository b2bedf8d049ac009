// xqt-cli batch: one automatic run from the command line, on the engine the wizard's automatic mode
// uses (BatchRun): targets from discovery or an address list, the start rule with a wider window,
// a failure limit, retries of unreachable cameras, resumption from an earlier report by the
// cameras' identity, and a report rewritten atomically whenever a camera begins writing or ends.
//
// Threads: the run lives on the event loop's thread (the owner); this command's own thread waits,
// prints and handles the signals, so a stalled standard output never holds up a camera's timers.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "camera/HostPort.h"
#include "cli/BatchCredentials.h"
#include "cli/BatchOptions.h"
#include "cli/BatchPrinter.h"
#include "cli/BatchTargets.h"
#include "cli/CommandInput.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalText.h"
#include "fleet/BatchRun.h"
#include "fleet/Conversions.h"
#include "fleet/Report.h"
#include "fleet/TextForms.h"
#include "platform/CameraLock.h"
#include "platform/EventLoopOwner.h"
#include "platform/Resources.h"
#include "platform/StopSignals.h"

namespace xqt::cli::batch {

namespace {

/// The cameras of a run and what they take: their logins, the shared password (when some camera
/// has no login of its own), and the earlier report's cameras to skip.
struct Cameras {
    std::vector<Target> targets;
    Logins logins;
    std::optional<std::string> password;
    std::optional<DoneCameras> done;
};

/// The options that cannot go together, and report files that cannot be written: the exit code
/// when the run must not start.
std::optional<int> RefuseOptions(const BatchOptions& options) {
    if (Result<void> distinct = RefuseSharedFiles(options); !distinct) {
        std::cerr << ME << TerminalText(distinct.error()) << "\n";
        return EXIT_USAGE;
    }
    if (options.discover == !options.targets.empty()) {
        std::cerr << ME << "give exactly one of --discover and --targets\n";
        return EXIT_USAGE;
    }
    if (options.backup && !options.retain) {
        std::cerr << ME << "--backup keeps the saved configuration; it needs --retain\n";
        return EXIT_USAGE;
    }
    if (options.transfers > options.parallel) {
        std::cerr << ME << "--transfers cannot exceed --parallel (" << options.parallel << ")\n";
        return EXIT_USAGE;
    }
    // Without its report a run cannot be resumed: both files must be writable before any camera
    // is asked anything.
    for (const std::string* path : {&options.report, &options.csv}) {
        if (path->empty()) continue;
        if (Result<void> writable = CanWriteBeside(*path); !writable) {
            std::cerr << ME << TerminalText(writable.error()) << "\n";
            return EXIT_USAGE;
        }
    }
    return std::nullopt;
}

/// Gathers the cameras and their logins into `cameras`; the exit code when the run must not start.
std::optional<int> GatherCameras(const BatchOptions& options, const ResourceState& resources,
                                 Cameras& cameras) {
    const std::string imageVersion = StripVer(resources.versionLabel);
    if (!options.credentials.empty()) {
        auto read = ReadCredentials(options.credentials);
        if (!read) {
            std::cerr << ME << TerminalText(read.error()) << "\n";
            return EXIT_USAGE;
        }
        cameras.logins = std::move(*read);
    }
    if (!options.resume.empty()) {
        auto read = ReadDoneCameras(options.resume, imageVersion);
        if (!read) {
            std::cerr << ME << TerminalText(read.error()) << "\n";
            return EXIT_USAGE;
        }
        cameras.done = std::move(*read);
    }
    auto targets = options.discover ? TargetsFromDiscovery(resources) : TargetsFromList(options.targets);
    if (!targets) {
        std::cerr << ME << TerminalText(targets.error()) << "\n";
        return EXIT_USAGE;
    }
    cameras.targets = std::move(*targets);
    if (cameras.targets.empty()) {
        std::cerr << ME
                  << (options.discover ? "discovery found no suitable camera; nothing was done\n"
                                       : "the address list names no camera; nothing was done\n");
        return EXIT_NO_TARGETS;
    }
    if (const std::string repeated = FindRepeatedTarget(cameras.targets); !repeated.empty()) {
        std::cerr << ME << TerminalText(repeated) << "; list each camera once\n";
        return EXIT_USAGE;
    }
    if (!options.dryRun) {  // a dry run writes nothing
        for (const Target& target : cameras.targets) {
            if (auto refusal = RefuseToward(resources, target.hostPort)) {
                std::cerr << ME << TerminalText(target.hostPort) << ": " << *refusal << "\n";
                return EXIT_USAGE;
            }
        }
    }
    if (options.timeScale > 0) {
        for (const Target& target : cameras.targets) {
            if (!IsLoopback(target.hostPort)) {
                std::cerr << ME
                          << "--time-scale is for simulated cameras only (loopback addresses 127.x.y.z)\n";
                return EXIT_USAGE;
            }
        }
    }
    // The shared password is read only when some camera has no login line of its own.
    const bool needPassword = std::any_of(cameras.targets.begin(), cameras.targets.end(),
                                          [&](const Target& t) { return !cameras.logins.count(t.hostPort); });
    if (needPassword) {
        if (options.user.empty()) {
            std::cerr << ME << "--user is needed for cameras without a line in --credentials\n";
            return EXIT_USAGE;
        }
        auto read = ReadPassword(options.passwordFile, options.noPrompt);
        if (!read) {
            std::cerr << ME << read.error() << "\n";
            return EXIT_USAGE;
        }
        cameras.password = std::move(*read);
    }
    return std::nullopt;
}

BatchPolicy PolicyOf(const BatchOptions& options) {
    BatchPolicy policy;
    policy.checkSuitability = !options.discover;  // discovery listed suitable cameras only
    policy.skipCurrent = !options.force;
    policy.dryRun = options.dryRun;
    // 0 and 1 both stop at the first failure.
    policy.maxFailures = options.maxFailures < 0 ? 0 : std::max(1, options.maxFailures);
    policy.retryOffline = options.retryOffline;
    // The next camera is asked while the one ahead uploads, so the uploads follow each other
    // without a gap; its upgrade still waits for the upload ahead to end.
    policy.overlapStartInquiries = true;
    policy.retryDelay = std::chrono::milliseconds(static_cast<std::int64_t>(
        options.retryDelay * 1000.0 * (options.timeScale > 0 ? options.timeScale : 1.0)));
    return policy;
}

/// Adds the cameras to the run (owner's thread). A camera the earlier report names is skipped, or
/// has its kept settings put back, only once its own answers show it is the same one and still
/// runs the image's version; discovery's word for its MAC is not enough.
void AddCameras(BatchRun& run, BatchPrinter& printer, const BatchOptions& options, const Cameras& cameras) {
    int id = 0;
    for (const Target& target : cameras.targets) {
        ProgressRecord record = MakeProgressRecord(target.data, id++);
        const DoneCamera* earlier =
            cameras.done ? cameras.done->Candidate(target.data.mac, target.hostPort) : nullptr;
        const auto login = cameras.logins.find(target.hostPort);
        const std::string& user = login != cameras.logins.end() ? login->second.first : options.user;
        const std::string& secret = login != cameras.logins.end() ? login->second.second : *cameras.password;
        const int row = run.AddCamera(std::move(record), user, secret, target.data.serial);
        if (earlier) {
            // Skipped only when the camera's own answers show it is the one done before.
            run.ExpectEarlier(row, earlier->mac, earlier->serial, earlier->keptFile);
            if (earlier->keptFile.empty()) printer.Carry(row, earlier->row);
        }
    }
}

/// Waits for the run to end, printing as it goes; the first stop signal stops new cameras from
/// starting, every later one says which cameras are still running.
void FollowRun(platform::EventLoopOwner& owner, BatchRun& run, BatchPrinter& printer, bool live) {
    bool ended = false;
    owner.Call([&] {
        if (run.QueueLength() == 0) {
            ended = true;  // nothing to do (everything skipped)
        } else if (!run.Start()) {
            // Refused although every target was checked before: end with every camera not
            // started rather than wait for a run that never begins.
            ended = true;
        }
    });
    platform::StopSignalWatch stops;
    int interruptsSeen = 0;
    while (!ended) {
        ended = printer.Wait(std::chrono::milliseconds(live ? 250 : 100));
        const int fresh = stops.TakeNew();
        if (fresh > 0 && !ended) {
            if (interruptsSeen == 0) {
                printer.SetStopping();
                // The report says so at once: a second signal may be a SIGKILL.
                owner.Call([&] {
                    run.Abort();
                    printer.WriteReports(false);
                });
                if (!live) {
                    std::cerr
                        << ME
                        << "stopping\u2026 cameras not yet started are left out; the running ones finish"
                        << std::endl;
                }
            } else {
                std::string running;
                owner.Call([&] { running = printer.Running(); });
                std::cerr
                    << ME << "still running: " << (running.empty() ? "none (ending)" : running)
                    << ". They finish their upgrade: a camera cut off while it writes its firmware may not "
                       "start again. Nothing new starts."
                    << std::endl;
            }
            interruptsSeen += fresh;
        }
        printer.Show(owner, live);
    }
}

/// The run's exit code from its final report.
int ExitCodeOf(const ReportSummary& summary, bool stopped, bool reportFailed) {
    const bool allGood = summary.failed == 0 && summary.notStarted == 0;
    // 13 only when the limit held some camera back.
    const int exitCode = allGood                               ? EXIT_ALL_DONE
                         : (stopped && summary.notStarted > 0) ? EXIT_STOPPED
                                                               : EXIT_SOME_FAILED;
    return reportFailed ? EXIT_REPORT_FAILED : exitCode;
}

/// The final summary on standard output: one JSON object, or a line per camera and a count.
void PrintSummary(const BatchOptions& options, const Report& report, bool interrupted, bool stopped,
                  int exitCode) {
    const ReportSummary summary = report.Summary();
    std::ostringstream out;
    if (options.json) {
        nlohmann::json event = {
            {"event", "summary"},         {"total", summary.total},     {"completed", summary.completed},
            {"current", summary.current}, {"failed", summary.failed},   {"notStarted", summary.notStarted},
            {"skipped", summary.skipped}, {"interrupted", interrupted}, {"exitCode", exitCode}};
        if (options.dryRun) event["suitable"] = summary.suitable;
        out << event.dump() << "\n";
    } else {
        for (const ReportRow& row : report.cameras)
            out << EndLine(row) << "\n";
        out << summary.total << " cameras: " << summary.completed << " upgraded, " << summary.current
            << " current, " << summary.failed << " failed, " << summary.notStarted << " not started, "
            << summary.skipped << " skipped";
        if (options.dryRun) out << ", " << summary.suitable << " suitable";
        if (interrupted) out << " (interrupted: cameras not yet started were left out)";
        if (stopped) out << " (stopped by --max-failures)";
        out << "\n";
    }
    std::cout << out.str() << std::flush;
}

/// Holds the run's report files (--report, --csv, --resume) against another run of this tool for
/// the run's life: two runs over one report would each overwrite the other's rows. The exit code
/// when one is held.
std::optional<int> LockFiles(const BatchOptions& options, std::vector<platform::CameraLock>& locks) {
    std::vector<std::string> keys;
    for (const std::string* path : {&options.report, &options.csv, &options.resume}) {
        if (path->empty()) continue;
        const std::string key = platform::FileLockKey(*path);
        if (std::find(keys.begin(), keys.end(), key) != keys.end())
            continue;  // --resume r.json --report r.json
        keys.push_back(key);
        platform::CameraLock lock = platform::CameraLock::Take(key);
        if (!lock.Held()) {
            const std::string who =
                lock.GetState() == platform::CameraLock::State::Busy
                    ? (lock.Holder() > 0 ? "another run (process " + std::to_string(lock.Holder()) + ")"
                                         : std::string("another run"))
                    : lock.Error();
            std::cerr << ME << TerminalText(*path) << " is in use by " << TerminalText(who)
                      << "; nothing was done\n";
            return EXIT_USAGE;
        }
        locks.push_back(std::move(lock));
    }
    return std::nullopt;
}

}  // namespace

int RunBatch(const BatchOptions& options) {
    if (const auto refused = RefuseOptions(options)) return *refused;
    std::vector<platform::CameraLock> fileLocks;
    if (const auto refused = LockFiles(options, fileLocks)) return *refused;
    StderrMessageBoxes boxes;
    auto chosen = ChooseFirmware(options.firmware, &boxes);
    if (!chosen) {
        std::cerr << ME << TerminalText(chosen.error()) << "\n";
        return EXIT_USAGE;
    }
    if (!chosen->notice.empty()) std::cerr << ME << chosen->notice << "\n";
    ResourceState& resources = chosen->resources;
    if (!resources.slotData[0] || resources.versionLabel.empty() || !resources.modelNames[0]) {
        std::cerr << ME << "the embedded image, model list or version is missing\n";
        return EXIT_INTERNAL;
    }
    Cameras cameras;
    if (const auto refused = GatherCameras(options, resources, cameras)) return *refused;

    platform::EngineTiming timing;
    if (options.timeScale > 0) timing = timing.Scaled(options.timeScale);
    Report report;
    const std::string version = platform::VersionText("xqt-cli");
    report.tool = version.substr(0, version.find('\n'));
    BatchPrinter printer(options, report);

    platform::EventLoopOwner owner(boxes);
    std::unique_ptr<BatchRun> run;
    bool written = false;
    owner.Call([&] {
        run = std::make_unique<BatchRun>(&owner, resources, timing,
                                         BatchLimits{options.parallel, options.transfers}, PolicyOf(options));
        run->Options().retain.store(options.retain ? 1 : 0);
        run->Options().noBackup.store(options.backup ? 0 : 1);
        run->Options().startTime.store(static_cast<std::int64_t>(std::time(nullptr)));
        printer.SetRun(run.get());
        AddCameras(*run, printer, options, cameras);
        run->SetObserver(&printer);
        written = printer.WriteReports(false);
    });
    if (!written) {
        printer.Show(owner, false);  // the reason
        owner.Call([&] { run.reset(); });
        return EXIT_USAGE;
    }
    owner.SetTimerHandler([&](int id) { run->OnTimer(id); });
    const platform::StopSignalGuard signals;
    FollowRun(owner, *run, printer, !options.json && ::isatty(STDOUT_FILENO));

    bool stopped = false;
    bool reportFailed = false;
    owner.Call([&] {
        printer.WriteReports(true);
        reportFailed = printer.ReportFailed();
        stopped = run->StoppedByFailures();
        run.reset();
    });
    printer.Show(owner, false);  // a last report error
    const int exitCode = ExitCodeOf(report.Summary(), stopped, reportFailed);
    PrintSummary(options, report, printer.Stopping(), stopped, exitCode);
    return exitCode;
}

}  // namespace xqt::cli::batch

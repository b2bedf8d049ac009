// xqt-cli batch: one automatic run from the command line, on the engine the wizard's automatic mode
// uses (BatchRun): targets from discovery or an address list, the start rule with a wider window,
// a failure limit, retries of unreachable cameras, resumption from an earlier report, and a report
// rewritten atomically whenever a camera ends.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "camera/DiscoveryResults.h"
#include "camera/DiscoveryService.h"
#include "camera/HostPort.h"
#include "camera/ResourceState.h"
#include "cli/CommandInput.h"
#include "cli/Commands.h"
#include "cli/TerminalText.h"
#include "fleet/BatchRun.h"
#include "fleet/Conversions.h"
#include "fleet/Report.h"
#include "fleet/TargetListText.h"
#include "fleet/TextForms.h"
#include "platform/BoundedText.h"
#include "platform/EventLoopOwner.h"
#include "platform/Resources.h"
#include "serialrules/SerialProtect.h"

namespace xqt::cli {

namespace {

constexpr int EXIT_ALL_DONE = 0;
constexpr int EXIT_INTERNAL = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_SOME_FAILED = 12;
constexpr int EXIT_STOPPED = 13;
constexpr int MAX_PARALLEL = 64;
constexpr const char* ME = "xqt-cli batch: ";

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
    int maxFailures = 0;
    int retryOffline = 0;
    double retryDelay = 60;
    std::string resume;
    bool force = false;
    bool dryRun = false;
    std::string report;
    std::string csv;
    bool json = false;
    double timeScale = 0;
};

std::atomic<int> g_interrupts{0};

extern "C" void OnInterrupt(int) {
    g_interrupts.fetch_add(1);
}

/// One camera to upgrade, with the login it takes.
struct Target {
    UpgradeData data;
    std::string hostPort;
};

/// "address[:port],user,password" lines; nullopt with `error` for an unsafe or malformed file.
std::optional<std::map<std::string, std::pair<std::string, std::string>>> ReadCredentials(
    const std::string& path, std::string& error) {
    if (!IsPrivateFile(path, error)) return std::nullopt;
    const platform::BoundedText text = platform::ReadBoundedText(path);
    if (text.outcome != platform::TextReadOutcome::Read) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::map<std::string, std::pair<std::string, std::string>> logins;
    std::istringstream lines(std::string(platform::WithoutByteOrderMark(text.bytes)));
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto first = line.find(',');
        const auto second = first == std::string::npos ? first : line.find(',', first + 1);
        const auto address =
            first == std::string::npos ? std::nullopt : NormaliseAddress(line.substr(0, first));
        if (second == std::string::npos || !address) {
            // The line is not echoed: it may hold a password.
            error = path + ": line " + std::to_string(number) + " is not address[:port],user,password";
            return std::nullopt;
        }
        logins[*address] = {line.substr(first + 1, second - first - 1), line.substr(second + 1)};
    }
    return logins;
}

std::optional<std::vector<Target>> TargetsFromList(const std::string& input, std::string& error) {
    const bool standardInput = input == "-";
    const platform::BoundedText text =
        standardInput ? platform::ReadBoundedText(STDIN_FILENO) : platform::ReadBoundedText(input);
    if (text.outcome == platform::TextReadOutcome::TooLong) {
        error = input + " is longer than 1 MiB";
        return std::nullopt;
    }
    if (text.outcome != platform::TextReadOutcome::Read) {
        error = "cannot read " + (standardInput ? std::string("standard input") : input);
        return std::nullopt;
    }
    const TargetListText list = ReadTargetList(text.bytes, text.cutAtZero);
    if (!list.Accepted()) {
        error = (standardInput ? std::string("standard input") : input) + ", " + list.error;
        return std::nullopt;
    }
    std::vector<Target> targets;
    for (const ListedTarget& listed : list.targets) {
        Target target;
        target.data.address = listed.entry.address;
        target.data.port = listed.entry.port;
        target.data.ticked = 1;
        target.hostPort = AddressText(listed.entry.address, listed.entry.port);
        targets.push_back(std::move(target));
    }
    return targets;
}

std::optional<std::vector<Target>> TargetsFromDiscovery(const ResourceState& resources, std::string& error) {
    DiscoveryResults results(resources.modelNames, [](const std::string& serial) {
        return ns_serial_protect::IsSerialAllowedAnsi(serial) != 0;
    });
    DiscoveryOptions options;
    options.print = [](const std::string& line) { std::cerr << TerminalText(line) << std::endl; };
    options.exitProcess = [](int) {};
    DiscoveryService service(results, options);
    if (const int code = service.Run(); code != 0) {
        error = "discovery could not start (" + std::to_string(code) + ")";
        return std::nullopt;
    }
    std::vector<Target> targets;
    for (const DiscoveryEntry& entry : results.Snapshot()) {
        const auto camera = EntryFromDiscovery(entry);
        if (!camera) continue;
        Target target;
        target.data.mac = camera->macText;
        target.data.address = camera->address;
        target.data.port = camera->port;
        target.data.dhcp = camera->addressText == DHCP_TEXT ? 1 : 0;
        target.data.model = camera->model;
        target.data.serial = camera->serial;
        target.data.version = camera->version;
        target.data.ticked = 1;
        target.hostPort = AddressText(camera->address, camera->port);
        targets.push_back(std::move(target));
    }
    return targets;
}

/// Prints the run as it goes and keeps the report files up to date.
class BatchPrinter : public BatchObserver {
  public:
    BatchPrinter(const BatchOptions& options, Report& report) : options_(options), report_(report) {}
    void SetRun(BatchRun* run) { run_ = run; }

    void StatusChanged(int row, UpgradeStatus status) override {
        std::lock_guard lock(mutex_);
        changes_.push_back({row, status});
        wake_.notify_all();
    }
    void CameraEnded(int) override { WriteReports(false); }
    void RunEnded() override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        wake_.notify_all();
    }

    /// Waits for something to show, at most `limit`; true once the run has ended.
    bool Wait(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, limit, [&] { return ended_ || !changes_.empty(); });
        return ended_;
    }
    /// The changes so far, as the rows stand (owner's thread).
    void Show(platform::EventLoopOwner& owner, bool live) {
        std::deque<std::pair<int, UpgradeStatus>> changes;
        {
            std::lock_guard lock(mutex_);
            changes.swap(changes_);
        }
        owner.Call([&] {
            for (const auto& [row, status] : changes) {
                const ProgressRecord& record = run_->Row(row);
                const std::string address = record.text[ProgressSlot::ADDRESS];
                const int progress = record.progress.Load();
                if (options_.json) {
                    nlohmann::json event = {{"event", "status"},
                                            {"address", address},
                                            {"status", StatusWord(StatusCode(status))},
                                            {"statusCode", StatusCode(status)},
                                            {"progress", progress}};
                    std::cout << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
                } else if (!live) {
                    std::cout << address << " " << StatusWord(StatusCode(status)) << "\n";
                }
            }
            if (live) ShowLive();
        });
        std::cout.flush();
    }
    /// Rewrites the report files (owner's thread); `final` marks the run's end.
    void WriteReports(bool final) {
        const std::string tool = report_.tool;
        report_ =
            ReportOf(*run_, tool, final ? std::optional(std::chrono::system_clock::now()) : std::nullopt);
        std::string error;
        if (!options_.report.empty() && !WriteFileAtomically(options_.report, report_.Json(), error))
            ReportError(error);
        if (!options_.csv.empty() && !WriteFileAtomically(options_.csv, report_.Csv(), error))
            ReportError(error);
    }

  private:
    void ReportError(const std::string& error) {
        if (!reportErrorShown_) std::cerr << ME << TerminalText(error) << "\n";
        reportErrorShown_ = true;
    }
    void ShowLive() {
        // One line per active camera with its bar, then the summary; redrawn in place.
        std::string out;
        for (int i = 0; i < lastLines_; ++i)
            out += "\x1b[1A\x1b[2K";
        // Done and failed as the report counts them; the cameras not ended are left.
        const ReportSummary summary = ReportOf(*run_, {}).Summary();
        const int done = summary.completed + summary.current + summary.skipped + summary.suitable;
        const int failed = summary.failed;
        const int left = summary.notStarted;
        int lines = 0;
        for (int i = 0; i < run_->Size(); ++i) {
            const ProgressRecord& row = run_->Row(i);
            if (row.end != 0 || row.attempts == 0 || row.text[ProgressSlot::STATUS].empty()) continue;
            const int filled = std::clamp(row.progress.Load(), 0, PROGRESS_MAX) * 20 / PROGRESS_MAX;
            out += TerminalText(row.text[ProgressSlot::ADDRESS]) + " [" + std::string(filled, '#') +
                   std::string(20 - filled, '.') + "] " + row.text[ProgressSlot::STATUS] + "\n";
            ++lines;
        }
        std::string estimate;
        const auto elapsed = std::chrono::steady_clock::now() - began_;
        if (done + failed > 0 && left > 0) {
            const auto each = elapsed / (done + failed);
            const auto remaining = std::chrono::duration_cast<std::chrono::seconds>(each * left).count();
            estimate = ", about " + std::to_string(remaining) + " s left";
        }
        out += "done " + std::to_string(done) + ", failed " + std::to_string(failed) + ", left " +
               std::to_string(left) + estimate + "\n";
        lastLines_ = lines + 1;
        std::cout << out;
    }

    const BatchOptions& options_;
    Report& report_;
    BatchRun* run_ = nullptr;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<int, UpgradeStatus>> changes_;
    bool ended_ = false;
    bool reportErrorShown_ = false;
    int lastLines_ = 0;
    const std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

int RunBatch(const BatchOptions& options) {
    if (options.discover == !options.targets.empty()) {
        std::cerr << ME << "give exactly one of --discover and --targets\n";
        return EXIT_USAGE;
    }
    if (options.backup && !options.retain) {
        std::cerr << ME << "--backup keeps the saved configuration; it needs --retain\n";
        return EXIT_USAGE;
    }
    StderrMessageBoxes boxes;
    ResourceState resources;
    resources.LoadAll(&boxes);
    if (!resources.slotData[0] || resources.versionLabel.empty() || !resources.modelNames[0]) {
        std::cerr << ME << "the embedded image, model list or version is missing\n";
        return EXIT_INTERNAL;
    }
    const std::string imageVersion = StripVer(resources.versionLabel);

    std::string error;
    std::map<std::string, std::pair<std::string, std::string>> logins;
    if (!options.credentials.empty()) {
        auto read = ReadCredentials(options.credentials, error);
        if (!read) {
            std::cerr << ME << TerminalText(error) << "\n";
            return EXIT_USAGE;
        }
        logins = std::move(*read);
    }
    std::optional<DoneCameras> done;
    if (!options.resume.empty()) {
        done = ReadDoneCameras(options.resume, imageVersion, error);
        if (!done) {
            std::cerr << ME << TerminalText(error) << "\n";
            return EXIT_USAGE;
        }
    }
    auto targets =
        options.discover ? TargetsFromDiscovery(resources, error) : TargetsFromList(options.targets, error);
    if (!targets) {
        std::cerr << ME << TerminalText(error) << "\n";
        return EXIT_USAGE;
    }
    if (options.timeScale > 0) {
        for (const Target& target : *targets) {
            if (!IsLoopback(target.hostPort)) {
                std::cerr << ME
                          << "--time-scale is for simulated cameras only (loopback addresses 127.x.y.z)\n";
                return EXIT_USAGE;
            }
        }
    }
    // The shared password is read only when some camera has no login line of its own.
    std::optional<std::string> password;
    const bool needPassword = std::any_of(targets->begin(), targets->end(),
                                          [&](const Target& t) { return !logins.count(t.hostPort); });
    if (needPassword) {
        if (options.user.empty()) {
            std::cerr << ME << "--user is needed for cameras without a line in --credentials\n";
            return EXIT_USAGE;
        }
        password = ReadPassword(options.passwordFile, options.noPrompt, error);
        if (!password) {
            std::cerr << ME << error << "\n";
            return EXIT_USAGE;
        }
    }

    platform::EngineTiming timing;
    if (options.timeScale > 0) timing = timing.Scaled(options.timeScale);
    BatchPolicy policy;
    policy.checkSuitability = !options.discover;  // discovery listed suitable cameras only
    policy.skipCurrent = !options.force;
    policy.dryRun = options.dryRun;
    policy.maxFailures = options.maxFailures;
    policy.retryOffline = options.retryOffline;
    // The next camera is asked while the one ahead uploads, so the uploads follow each other
    // without a gap; its upgrade still waits for the upload ahead to end.
    policy.overlapStartInquiries = true;
    policy.retryDelay = std::chrono::milliseconds(static_cast<std::int64_t>(
        options.retryDelay * 1000.0 * (options.timeScale > 0 ? options.timeScale : 1.0)));

    Report report;
    const std::string version = platform::VersionText("xqt-cli");
    report.tool = version.substr(0, version.find('\n'));
    BatchPrinter printer(options, report);

    platform::EventLoopOwner owner(boxes);
    std::unique_ptr<BatchRun> run;
    owner.Call([&] {
        run = std::make_unique<BatchRun>(&owner, resources, timing, BatchLimits{options.parallel, 1}, policy);
        run->Options().retain.store(options.retain ? 1 : 0);
        run->Options().noBackup.store(options.backup ? 0 : 1);
        run->Options().startTime.store(static_cast<std::int64_t>(std::time(nullptr)));
        printer.SetRun(run.get());
        int id = 0;
        for (const Target& target : *targets) {
            ProgressRecord record = MakeProgressRecord(target.data, id++);
            if (done && done->Contains(target.data.mac, target.hostPort)) {
                record.end = static_cast<std::int32_t>(RowEnd::Skipped);
                run->AddRow(std::move(record), nullptr);
                continue;
            }
            const auto login = logins.find(target.hostPort);
            const std::string& user = login != logins.end() ? login->second.first : options.user;
            const std::string& secret = login != logins.end() ? login->second.second : *password;
            run->AddCamera(std::move(record), user, secret, target.data.serial);
        }
        run->SetObserver(&printer);
        printer.WriteReports(false);
    });
    owner.SetTimerHandler([&](int id) { run->OnTimer(id); });

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {
    }, oldTerm{};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    const bool live = !options.json && ::isatty(STDOUT_FILENO);
    bool ended = false;
    owner.Call([&] {
        if (run->QueueLength() == 0) {
            ended = true;  // nothing to do (everything skipped)
        } else {
            run->Start();
        }
    });
    bool abortAsked = false;
    while (!ended) {
        ended = printer.Wait(std::chrono::milliseconds(live ? 250 : 100));
        if (g_interrupts.load() > 0 && !abortAsked) {
            abortAsked = true;
            std::cerr << ME << "stopping: cameras not yet started are left out; the running ones finish\n";
            owner.Call([&] { run->Abort(); });
        }
        printer.Show(owner, live);
    }
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);

    bool stopped = false;
    owner.Call([&] {
        printer.WriteReports(true);
        stopped = run->StoppedByFailures();
        run.reset();
    });
    const ReportSummary summary = report.Summary();
    const bool allGood = summary.failed == 0 && summary.notStarted == 0;
    const int exitCode = stopped ? EXIT_STOPPED : allGood ? EXIT_ALL_DONE : EXIT_SOME_FAILED;
    if (options.json) {
        nlohmann::json event = {
            {"event", "summary"},         {"total", summary.total},   {"completed", summary.completed},
            {"current", summary.current}, {"failed", summary.failed}, {"notStarted", summary.notStarted},
            {"skipped", summary.skipped}, {"exitCode", exitCode}};
        if (options.dryRun) event["suitable"] = summary.suitable;
        std::cout << event.dump() << "\n";
    } else {
        for (const ReportRow& row : report.cameras) {
            std::cout << TerminalText(row.address) << " " << row.status;
            if (row.versionAfter) std::cout << " " << TerminalText(*row.versionAfter);
            if (row.detail) std::cout << " (" << TerminalText(*row.detail) << ")";
            std::cout << "\n";
        }
        std::cout << summary.total << " cameras: " << summary.completed << " upgraded, " << summary.current
                  << " current, " << summary.failed << " failed, " << summary.notStarted << " not started, "
                  << summary.skipped << " skipped";
        if (options.dryRun) std::cout << ", " << summary.suitable << " suitable";
        std::cout << (stopped ? " (stopped by --max-failures)" : "") << "\n";
    }
    return exitCode;
}

}  // namespace

void AddBatchCommand(CLI::App& app, int& exitCode) {
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
        "(unless --force). --report and --csv are rewritten whenever a camera ends.\n"
        "Exit codes:\n"
        "  0  every camera upgraded and confirmed, or already current (dry run: every camera suitable)\n"
        "  1  internal error\n"
        "  2  usage error (options, files, password)\n"
        " 12  some cameras failed, were not confirmed or were not started\n"
        " 13  stopped by --max-failures");
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
    sub->add_option("--max-failures", options->maxFailures, "Start no further camera once this many failed")
        ->check(CLI::Range(0, 1000000));
    sub->add_option("--retry-offline", options->retryOffline,
                    "Times a camera that did not answer goes back to the end of the queue")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
    sub->add_option("--retry-delay", options->retryDelay,
                    "Seconds before an unreachable camera is asked again")
        ->check(NumberIn(0, 86400))
        ->capture_default_str();
    sub->add_option("--resume", options->resume, "Skip the cameras an earlier report lists as upgraded");
    sub->add_flag("--force", options->force, "Flash also cameras that already have the image's version");
    sub->add_flag("--dry-run", options->dryRun, "Only the start inquiries; nothing is written to any camera");
    sub->add_option("--report", options->report, "JSON report FILE");
    sub->add_option("--csv", options->csv, "CSV report FILE");
    sub->add_flag("--json", options->json, "One JSON object per status change and a final summary object");
    sub->add_option("--time-scale", options->timeScale,
                    "Multiply every engine duration (simulated cameras on loopback addresses only)")
        ->check(NumberIn(platform::TIME_SCALE_MIN, platform::TIME_SCALE_MAX));
    sub->callback([options, &exitCode] { exitCode = RunBatch(*options); });
}

}  // namespace xqt::cli

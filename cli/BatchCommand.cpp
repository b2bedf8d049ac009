// xqt-cli batch: one automatic run from the command line, on the engine the wizard's automatic mode
// uses (BatchRun): targets from discovery or an address list, the start rule with a wider window,
// a failure limit, retries of unreachable cameras, resumption from an earlier report by the
// cameras' identity, and a report rewritten atomically whenever a camera begins writing or ends.
//
// Threads: the run lives on the event loop's thread (the owner); this command's own thread waits,
// prints and handles the signals, so a stalled standard output never holds up a camera's timers.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
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
#include "cli/FirmwareChoice.h"
#include "cli/TerminalText.h"
#include "fleet/BatchRun.h"
#include "fleet/Conversions.h"
#include "fleet/Report.h"
#include "fleet/TargetListText.h"
#include "fleet/TextForms.h"
#include "fleet/UpgradeHistory.h"
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
constexpr int EXIT_NO_TARGETS = 14;
constexpr int EXIT_REPORT_FAILED = 15;
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

std::atomic<int> g_interrupts{0};  // lock-free: written by the signal handler

extern "C" void OnInterrupt(int) {
    g_interrupts.fetch_add(1);
}

/// One camera to upgrade, with the login it takes.
struct Target {
    UpgradeData data;
    std::string hostPort;
};

/// "address[:port],user,password" lines; the reason for an unsafe or malformed file.
Result<std::map<std::string, std::pair<std::string, std::string>>> ReadCredentials(const std::string& path) {
    if (Result<void> private_ = IsPrivateFile(path); !private_) return Fail(private_.error());
    const platform::BoundedText text = platform::ReadBoundedText(path);
    if (text.outcome != platform::TextReadOutcome::Read) {
        return Fail("cannot read " + path);
    }
    std::map<std::string, std::pair<std::string, std::string>> logins;
    std::map<std::string, int> lineOf;
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
            return Fail(path + ": line " + std::to_string(number) + " is not address[:port],user,password");
        }
        if (const auto [earlier, added] = lineOf.emplace(*address, number); !added) {
            return Fail(path + ": line " + std::to_string(number) + " repeats the camera " + *address +
                        " of line " + std::to_string(earlier->second));
        }
        logins[*address] = {line.substr(first + 1, second - first - 1), line.substr(second + 1)};
    }
    return logins;
}

Result<std::vector<Target>> TargetsFromList(const std::string& input) {
    const bool standardInput = input == "-";
    const platform::BoundedText text =
        standardInput ? platform::ReadBoundedText(STDIN_FILENO) : platform::ReadBoundedText(input);
    if (text.outcome == platform::TextReadOutcome::TooLong) {
        return Fail(input + " is longer than 1 MiB");
    }
    if (text.outcome != platform::TextReadOutcome::Read) {
        return Fail("cannot read " + (standardInput ? std::string("standard input") : input));
    }
    const TargetListText list = ReadTargetList(text.bytes, text.cutAtZero);
    if (!list.Accepted()) {
        return Fail((standardInput ? std::string("standard input") : input) + ", " + list.error);
    }
    std::vector<Target> targets;
    for (const ListedTarget& listed : list.targets) {
        Target target;
        target.data.address = listed.entry.address;
        target.data.port = listed.entry.port;
        target.data.ticked = true;
        target.hostPort = AddressText(listed.entry.address, listed.entry.port);
        targets.push_back(std::move(target));
    }
    return targets;
}

Result<std::vector<Target>> TargetsFromDiscovery(const ResourceState& resources) {
    DiscoveryResults results(resources.modelNames, [](const std::string& serial) {
        return ns_serial_protect::IsSerialAllowedAnsi(serial) != 0;
    });
    DiscoveryOptions options;
    options.print = [](const std::string& line) { std::cerr << TerminalText(line) << std::endl; };
    options.exitProcess = [](int) {};
    DiscoveryService service(results, options);
    if (const int code = service.Run(); code != 0) {
        return Fail("discovery could not start (" + std::to_string(code) + ")");
    }
    std::vector<Target> targets;
    for (const DiscoveryEntry& entry : results.Snapshot()) {
        const auto camera = EntryFromDiscovery(entry);
        if (!camera) continue;
        Target target;
        target.data.mac = camera->macText;
        target.data.address = camera->address;
        target.data.port = camera->port;
        target.data.dhcp = camera->addressText == DHCP_TEXT;
        target.data.model = camera->model;
        target.data.serial = camera->serial;
        target.data.version = camera->version;
        target.data.ticked = true;
        target.hostPort = AddressText(camera->address, camera->port);
        targets.push_back(std::move(target));
    }
    return targets;
}

/// Refuses a target list that names one camera twice (two sessions would flash it twice, the
/// second while it overwrites); empty when every target is another camera.
std::string FindRepeatedTarget(const std::vector<Target>& targets) {
    std::map<std::string, std::size_t> byAddress;
    std::map<std::string, std::size_t> byMac;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        if (const auto [first, added] = byAddress.emplace(target.hostPort, i); !added) {
            return "entries " + std::to_string(first->second + 1) + " and " + std::to_string(i + 1) +
                   " of the targets both name the camera at " + target.hostPort;
        }
        if (target.data.mac.empty()) continue;
        std::string mac = target.data.mac;
        for (char& c : mac)
            c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (const auto [first, added] = byMac.emplace(mac, i); !added) {
            return "the cameras at " + targets[first->second].hostPort + " and " + target.hostPort +
                   " report the same MAC " + target.data.mac;
        }
    }
    return {};
}

/// Keeps the report files up to date on the owner's thread and hands what there is to show to
/// the command's own thread, which prints it.
class BatchPrinter : public BatchObserver {
  public:
    BatchPrinter(const BatchOptions& options, Report& report) : options_(options), report_(report) {}
    void SetRun(BatchRun* run) { run_ = run; }
    /// Row `row` ends Skipped with the earlier report's row `text` (carried forward whole).
    void Carry(int row, std::string text) { carried_[row] = std::move(text); }

    void StatusChanged(int row, UpgradeStatus status) override {
        std::lock_guard lock(mutex_);
        changes_.push_back({row, status});
        wake_.notify_all();
    }
    void CameraProgressed(int) override { WriteReports(false); }
    void CameraEnded(int row) override {
        WriteReports(false);
        RecordInHistory(row);
    }
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
    /// The changes so far, as the rows stand: gathered on the owner's thread, printed on this one.
    void Show(platform::EventLoopOwner& owner, bool live) {
        std::deque<std::pair<int, UpgradeStatus>> changes;
        {
            std::lock_guard lock(mutex_);
            changes.swap(changes_);
        }
        std::string out;
        std::string errors;
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
                    out += event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
                } else if (!live) {
                    out += TerminalText(address) + " " + StatusWord(StatusCode(status)) + "\n";
                }
            }
            if (live) out += LiveView();
            errors.swap(errors_);
        });
        // A closed or stalled output stops the printing here, never the run.
        if (!errors.empty()) std::cerr << errors << std::flush;
        std::cout << out << std::flush;
    }
    /// From now on the live view says, once and on a line of its own, that the run is stopping.
    void SetStopping() { stopping_ = true; }
    bool Stopping() const { return stopping_; }
    /// Rewrites the report files (owner's thread); `final` marks the run's end. False when one of
    /// them could not be written.
    bool WriteReports(bool final) {
        const std::string tool = report_.tool;
        report_ =
            ReportOf(*run_, tool, final ? std::optional(std::chrono::system_clock::now()) : std::nullopt);
        report_.interrupted = stopping_;
        for (const auto& [row, text] : carried_) {
            if (row < run_->Size() && run_->Row(row).end == RowEnd::Skipped)
                report_.cameras.at(row).carried = text;
        }
        bool ok = true;
        if (!options_.report.empty()) {
            if (Result<void> written = WriteFileAtomically(options_.report, report_.Json()); !written) {
                ReportError(written.error());
                ok = false;
            }
        }
        if (!options_.csv.empty()) {
            if (Result<void> written = WriteFileAtomically(options_.csv, report_.Csv()); !written) {
                ReportError(written.error());
                ok = false;
            }
        }
        return ok;
    }
    /// A camera the run wrote to, or tried to, goes into the upgrade history; one that was only asked
    /// (current, unsuitable, a dry run) does not. The report stands whether or not this works.
    void RecordInHistory(int row) {
        if (row < 0 || row >= run_->Size()) return;
        const ProgressRecord& record = run_->Row(row);
        if (record.end != RowEnd::Finished) return;
        const ReportRow done = ReportRowOf(record);
        // A failure without an UpgradeFailure ended at the start inquiries: nothing was written.
        if (!done.outcome || (*done.outcome == Outcome::Failed && record.failure == UpgradeFailure::None))
            return;
        HistoryEntry entry;
        entry.tool = "xqt-cli batch";
        entry.address = done.address;
        entry.mac = done.mac;
        entry.serial = done.serial;
        entry.model = done.model;
        entry.versionBefore = done.versionBefore;
        if (done.confirmed) entry.versionAfter = done.versionAfter.value_or("");
        entry.outcome = OutcomeWord(*done.outcome);
        entry.savedFile = done.configFile.value_or("");
        // Told once; the history is a convenience, so it never changes the run's exit code.
        if (Result<void> appended = AppendHistory(std::move(entry)); !appended && !historyFailed_) {
            historyFailed_ = true;
            errors_ += std::string(ME) +
                       "the upgrade history was not written: " + TerminalText(appended.error()) + "\n";
        }
    }
    /// A report file could not be written at some point of the run (owner's thread).
    bool ReportFailed() const { return reportFailed_; }
    /// The cameras still being upgraded, as "address (status)" (owner's thread).
    std::string Running() const {
        std::string list;
        for (int i = 0; i < run_->Size(); ++i) {
            const ProgressRecord& row = run_->Row(i);
            if (row.end != RowEnd::Pending || row.attempts == 0) continue;
            list += (list.empty() ? "" : ", ") + TerminalText(row.text[ProgressSlot::ADDRESS]) + " (" +
                    row.text[ProgressSlot::STATUS] + ")";
        }
        return list;
    }

  private:
    void ReportError(const std::string& error) {
        if (!reportFailed_) errors_ += std::string(ME) + TerminalText(error) + "\n";
        reportFailed_ = true;
    }
    std::string LiveView() {
        // One line per active camera with its bar, then the summary; redrawn in place.
        std::string out;
        for (int i = 0; i < lastLines_; ++i)
            out += "\x1b[1A\x1b[2K";
        if (stopping_ && !stoppingShown_) {
            out += "stopping\u2026 cameras not yet started are left out; the running ones finish\n";
            stoppingShown_ = true;  // above the redrawn lines, so it stays
        }
        // Done and failed as the report counts them; the cameras not ended are left.
        const ReportSummary summary = ReportOf(*run_, {}).Summary();
        const int done = summary.completed + summary.current + summary.skipped + summary.suitable;
        const int failed = summary.failed;
        const int left = summary.notStarted;
        int lines = 0;
        for (int i = 0; i < run_->Size(); ++i) {
            const ProgressRecord& row = run_->Row(i);
            if (row.end != RowEnd::Pending || row.attempts == 0 || row.text[ProgressSlot::STATUS].empty())
                continue;
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
        return out;
    }

    const BatchOptions& options_;
    Report& report_;
    BatchRun* run_ = nullptr;
    std::map<int, std::string> carried_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<int, UpgradeStatus>> changes_;
    bool ended_ = false;
    std::atomic<bool> stopping_{false};
    // Owner's thread only.
    bool reportFailed_ = false;
    bool historyFailed_ = false;
    std::string errors_;
    bool stoppingShown_ = false;
    int lastLines_ = 0;
    const std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

/// The signals that stop a run the way Ctrl-C does: a closed terminal or SSH session (SIGHUP) and
/// SIGQUIT must not cut a camera off while it writes its firmware.
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

/// Installs the run's signal handling for its lifetime: the stop signals count interruptions, and
/// SIGPIPE is ignored, so a closed standard output ends the printing, never the run.
class SignalGuard {
  public:
    SignalGuard() {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(STOP_SIGNALS); ++i)
            sigaction(STOP_SIGNALS[i], &action, &old_[i]);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &oldPipe_);
    }
    ~SignalGuard() {
        for (std::size_t i = 0; i < std::size(STOP_SIGNALS); ++i)
            sigaction(STOP_SIGNALS[i], &old_[i], nullptr);
        sigaction(SIGPIPE, &oldPipe_, nullptr);
    }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

  private:
    struct sigaction old_[std::size(STOP_SIGNALS)]{};
    struct sigaction oldPipe_ {};
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
    const std::string imageVersion = StripVer(resources.versionLabel);

    std::map<std::string, std::pair<std::string, std::string>> logins;
    if (!options.credentials.empty()) {
        auto read = ReadCredentials(options.credentials);
        if (!read) {
            std::cerr << ME << TerminalText(read.error()) << "\n";
            return EXIT_USAGE;
        }
        logins = std::move(*read);
    }
    std::optional<DoneCameras> done;
    if (!options.resume.empty()) {
        auto read = ReadDoneCameras(options.resume, imageVersion);
        if (!read) {
            std::cerr << ME << TerminalText(read.error()) << "\n";
            return EXIT_USAGE;
        }
        done = std::move(*read);
    }
    auto targets = options.discover ? TargetsFromDiscovery(resources) : TargetsFromList(options.targets);
    if (!targets) {
        std::cerr << ME << TerminalText(targets.error()) << "\n";
        return EXIT_USAGE;
    }
    if (targets->empty()) {
        std::cerr << ME
                  << (options.discover ? "discovery found no suitable camera; nothing was done\n"
                                       : "the address list names no camera; nothing was done\n");
        return EXIT_NO_TARGETS;
    }
    if (const std::string repeated = FindRepeatedTarget(*targets); !repeated.empty()) {
        std::cerr << ME << TerminalText(repeated) << "; list each camera once\n";
        return EXIT_USAGE;
    }
    if (!options.dryRun) {  // a dry run writes nothing
        for (const Target& target : *targets) {
            if (auto refusal = RefuseToward(resources, target.hostPort)) {
                std::cerr << ME << TerminalText(target.hostPort) << ": " << *refusal << "\n";
                return EXIT_USAGE;
            }
        }
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
        auto read = ReadPassword(options.passwordFile, options.noPrompt);
        if (!read) {
            std::cerr << ME << read.error() << "\n";
            return EXIT_USAGE;
        }
        password = std::move(*read);
    }

    platform::EngineTiming timing;
    if (options.timeScale > 0) timing = timing.Scaled(options.timeScale);
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

    Report report;
    const std::string version = platform::VersionText("xqt-cli");
    report.tool = version.substr(0, version.find('\n'));
    BatchPrinter printer(options, report);

    platform::EventLoopOwner owner(boxes);
    std::unique_ptr<BatchRun> run;
    bool written = false;
    owner.Call([&] {
        run = std::make_unique<BatchRun>(&owner, resources, timing,
                                         BatchLimits{options.parallel, options.transfers}, policy);
        run->Options().retain.store(options.retain ? 1 : 0);
        run->Options().noBackup.store(options.backup ? 0 : 1);
        run->Options().startTime.store(static_cast<std::int64_t>(std::time(nullptr)));
        printer.SetRun(run.get());
        int id = 0;
        for (const Target& target : *targets) {
            ProgressRecord record = MakeProgressRecord(target.data, id++);
            const DoneCamera* earlier = done ? done->Candidate(target.data.mac, target.hostPort) : nullptr;
            if (earlier && SameMac(earlier->mac, target.data.mac)) {
                // Discovery named the camera by its MAC: it is the one done before.
                record.end = RowEnd::Skipped;
                printer.Carry(run->AddRow(std::move(record), nullptr), earlier->row);
                continue;
            }
            const auto login = logins.find(target.hostPort);
            const std::string& user = login != logins.end() ? login->second.first : options.user;
            const std::string& secret = login != logins.end() ? login->second.second : *password;
            const int row = run->AddCamera(std::move(record), user, secret, target.data.serial);
            if (earlier) {
                // Skipped only when the camera's own answers show it is the one done before.
                run->ExpectEarlier(row, earlier->mac, earlier->serial);
                printer.Carry(row, earlier->row);
            }
        }
        run->SetObserver(&printer);
        written = printer.WriteReports(false);
    });
    if (!written) {
        printer.Show(owner, false);  // the reason
        owner.Call([&] { run.reset(); });
        return EXIT_USAGE;
    }
    owner.SetTimerHandler([&](int id) { run->OnTimer(id); });

    const SignalGuard signals;
    const bool live = !options.json && ::isatty(STDOUT_FILENO);
    bool ended = false;
    owner.Call([&] {
        if (run->QueueLength() == 0) {
            ended = true;  // nothing to do (everything skipped)
        } else if (!run->Start()) {
            // Refused although every target was checked above: end with every camera not
            // started rather than wait for a run that never begins.
            ended = true;
        }
    });
    int interruptsSeen = 0;
    while (!ended) {
        ended = printer.Wait(std::chrono::milliseconds(live ? 250 : 100));
        const int interrupts = g_interrupts.load();
        if (interrupts > interruptsSeen && !ended) {
            if (interruptsSeen == 0) {
                owner.Call([&] { run->Abort(); });
                printer.SetStopping();
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
            interruptsSeen = interrupts;
        }
        printer.Show(owner, live);
    }

    bool stopped = false;
    bool reportFailed = false;
    owner.Call([&] {
        printer.WriteReports(true);
        reportFailed = printer.ReportFailed();
        stopped = run->StoppedByFailures();
        run.reset();
    });
    printer.Show(owner, false);  // a last report error
    const ReportSummary summary = report.Summary();
    const bool allGood = summary.failed == 0 && summary.notStarted == 0;
    // 13 only when the limit held some camera back.
    int exitCode = allGood                               ? EXIT_ALL_DONE
                   : (stopped && summary.notStarted > 0) ? EXIT_STOPPED
                                                         : EXIT_SOME_FAILED;
    if (reportFailed) exitCode = EXIT_REPORT_FAILED;
    std::ostringstream out;
    if (options.json) {
        nlohmann::json event = {{"event", "summary"},
                                {"total", summary.total},
                                {"completed", summary.completed},
                                {"current", summary.current},
                                {"failed", summary.failed},
                                {"notStarted", summary.notStarted},
                                {"skipped", summary.skipped},
                                {"interrupted", printer.Stopping()},
                                {"exitCode", exitCode}};
        if (options.dryRun) event["suitable"] = summary.suitable;
        out << event.dump() << "\n";
    } else {
        for (const ReportRow& row : report.cameras) {
            out << TerminalText(row.address) << " "
                << (row.carried.empty() && row.outcome ? OutcomeWord(*row.outcome)
                    : row.carried.empty()              ? "running"
                                                       : "skipped");
            if (row.versionAfter) out << " " << TerminalText(*row.versionAfter);
            if (row.detail) out << " (" << TerminalText(*row.detail) << ")";
            out << "\n";
        }
        out << summary.total << " cameras: " << summary.completed << " upgraded, " << summary.current
            << " current, " << summary.failed << " failed, " << summary.notStarted << " not started, "
            << summary.skipped << " skipped";
        if (options.dryRun) out << ", " << summary.suitable << " suitable";
        if (printer.Stopping()) out << " (interrupted: cameras not yet started were left out)";
        if (stopped) out << " (stopped by --max-failures)";
        out << "\n";
    }
    std::cout << out.str() << std::flush;
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

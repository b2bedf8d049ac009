// A fleet of 256 simulated cameras upgraded by `xqt-cli batch` (a process of its own, as a script
// runs it) with --parallel 2, 16 and 64, in scaled time (x0.01 for the engine and the cameras):
//   - makespan: from the first status change to the last final one, read from the --json stream
//     as it arrives;
//   - bound: the shortest makespan the start rule allows for the same cameras' measured timings
//     (each camera's load time U, from the start of its upload to Overwriting, and its upgrade
//     time T, from that start to its final status), with no latency at all: cameras start in row
//     order, at most N at once, and at most --transfers of them loading at once;
//   - the tool's peak memory (maximum resident set of the process), and how many cameras confirmed;
//   - a fleet whose cameras read their image slowly (the cameras, not the link, set the pace),
//     at parallel 64 with 1, 4 and 16 transfers;
//   - the ratio of the best parallel-64 makespan to the parallel-2 one.
//
//   bench_batch_fleet [PARALLEL...]        (default 2 16 64; the slow fleet only with the default)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimFleet.h"

namespace {

using namespace xqt;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr int kCameras = 256;
constexpr double kScale = 0.01;
/// The tool's own limits scaled less than the cameras, so a loaded machine answers within them.
constexpr double kEngineScale = 0.02;

/// A slow reader takes its image in pieces of this many bytes with this pause (simulated ms)
/// between them: about 0.3 s per image at the cameras' scale, several times its overwrite.
constexpr int kSlowReadBytes = 65536;
constexpr int kSlowReadPauseMs = 200;

sim::SimCamera Camera(int n, bool slowReader = false) {
    sim::SimCamera camera;
    camera.ipText = "127.0." + std::to_string(30 + n / 250) + "." + std::to_string(1 + n % 250);
    camera.webPort = 0;
    camera.serial = std::to_string(8000000 + n);
    camera.softVersion = "1.10";
    camera.upgrade.progressSteps = 10;
    camera.upgrade.progressStepMs = 1000 + 50 * ((n * 7) % 16);  // 10 ms to 17.5 ms per step, scaled
    camera.upgrade.rebootMs = 20000;
    if (slowReader) {
        camera.upgrade.slowReadBytes = kSlowReadBytes;
        camera.upgrade.slowReadPauseMs = kSlowReadPauseMs;
    }
    return camera;
}

struct CameraTimes {
    std::optional<double> start, loaded, ended;
    bool completed = false;
};

/// When the `slots`-th latest of `ends` is over: a place among `slots` is free then (0 while
/// fewer than `slots` were taken).
double FreeAt(const std::vector<double>& ends, int slots) {
    if (static_cast<int>(ends.size()) < slots) return 0;
    std::vector<double> sorted = ends;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() - slots];
}

/// The shortest makespan the start rule allows with `window` cameras at once, `transfers` of them
/// loading: cameras start in row order, each when a place in the window and a transfer are free.
double LowerBound(const std::vector<CameraTimes>& cameras, int window, int transfers) {
    std::vector<double> ends;
    std::vector<double> loadEnds;
    double previousStart = 0;
    double makespan = 0;
    for (const CameraTimes& c : cameras) {
        if (!c.start || !c.ended) continue;
        const double load = *c.loaded - *c.start;
        const double total = *c.ended - *c.start;
        const double start = std::max({previousStart, FreeAt(ends, window), FreeAt(loadEnds, transfers)});
        previousStart = start;
        loadEnds.push_back(start + load);
        ends.push_back(start + total);
        makespan = std::max(makespan, ends.back());
    }
    return makespan;
}

/// VmHWM of process `pid` in kB, 0 when it cannot be read.
long PeakKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

struct Result {
    double makespan = 0;
    double bound = 0;
    long peakKb = 0;
    int confirmed = 0;
    int exitCode = -1;
};

Result RunBatch(const std::string& folder, int parallel, int transfers,
                const std::vector<std::string>& addresses) {
    int out[2];
    if (::pipe(out) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    const std::string parallelText = std::to_string(parallel);
    const std::string transfersText = std::to_string(transfers);
    const std::string scale = std::to_string(kEngineScale);
    const std::string targets = folder + "/targets.txt";
    const std::string report = folder + "/report.json";
    std::vector<std::string> args = {XQT_CLI,      "batch",       "--targets",    targets,    "--user",
                                     "admin",      "--json",      "--time-scale", scale,      "--parallel",
                                     parallelText, "--transfers", transfersText,  "--report", report};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::setenv("XQT_PASSWORD", "admin", 1);
    ::setenv("ProgramFiles", folder.c_str(), 1);  // the history and any saved file stay in the scratch folder
    pid_t child = 0;
    if (::posix_spawn(&child, XQT_CLI, &actions, nullptr, argv.data(), environ) != 0) std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    FILE* stream = ::fdopen(out[0], "r");
    std::map<std::string, CameraTimes> times;
    std::vector<std::string> order;
    std::optional<Clock::time_point> first;
    Result result;
    char line[4096];
    while (std::fgets(line, sizeof line, stream)) {
        const auto now = Clock::now();
        // The tool's own peak (VmHWM of its address space; the kernel's rusage figure would count
        // the pages of this process, which the child shared until it ran the tool).
        result.peakKb = std::max(result.peakKb, PeakKb(child));
        const auto event = nlohmann::json::parse(line, nullptr, false);
        if (event.is_discarded() || event.value("event", "") != "status") {
            if (!event.is_discarded() && event.value("event", "") == "summary")
                result.confirmed = event.value("completed", 0);
            continue;
        }
        if (!first) first = now;
        const double at = Seconds(now - *first).count();
        const std::string address = event.value("address", "");
        const int code = event.value("statusCode", 0);
        auto [it, added] = times.try_emplace(address);
        if (added) order.push_back(address);
        CameraTimes& t = it->second;
        if (!t.start && (code == 2 || code == 3)) t.start = at;
        if (t.start && !t.loaded && code >= 4) t.loaded = at;
        if (t.start && !t.ended && code > 8) {
            t.ended = at;
            if (!t.loaded) t.loaded = at;
            t.completed = code == 9;
            result.makespan = std::max(result.makespan, at);
        }
    }
    std::fclose(stream);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // Row order is the order of the target list, which is also the order of the first events.
    std::vector<CameraTimes> rows;
    for (const std::string& address : addresses) {
        const auto it = times.find(address);
        if (it != times.end()) rows.push_back(it->second);
    }
    result.bound = LowerBound(rows, parallel, transfers);
    return result;
}

struct Setting {
    int parallel = 2;
    int transfers = 1;
    bool slowReaders = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<Setting> settings;
    for (int i = 1; i < argc; ++i)
        settings.push_back({std::max(1, std::atoi(argv[i])), 1, false});
    if (settings.empty()) {
        settings = {{2, 1, false},   {16, 1, false}, {64, 1, false}, {64, 4, false},
                    {64, 16, false}, {64, 1, true},  {64, 4, true},  {64, 16, true}};
    }

    const auto folder = std::filesystem::temp_directory_path() / "xqt-bench-batch";
    std::filesystem::create_directories(folder);
    std::printf(
        "fleet of %d simulated cameras through xqt-cli batch, cameras' time x%.2f, the tool's x%.2f\n",
        kCameras, kScale, kEngineScale);
    std::printf("%-6s %8s %9s %10s %10s %8s %10s %10s %5s\n", "fleet", "parallel", "transfers", "makespan",
                "bound", "ratio", "peak RSS", "confirmed", "exit");
    int failures = 0;
    std::optional<double> parallelTwo;
    std::optional<double> bestParallel64;
    for (const Setting& setting : settings) {
        std::vector<sim::SimCamera> cameras;
        for (int n = 0; n < kCameras; ++n)
            cameras.push_back(Camera(n, setting.slowReaders));
        sim::SimFleet fleet(std::move(cameras), kScale);
        fleet.Start();
        std::vector<std::string> addresses;
        {
            std::ofstream list(folder / "targets.txt");
            for (int n = 0; n < kCameras; ++n) {
                addresses.push_back(fleet.At(n).HostPort());
                list << addresses.back() << "\n";
            }
        }
        const Result r = RunBatch(folder.string(), setting.parallel, setting.transfers, addresses);
        std::printf("%-6s %8d %9d %9.2fs %9.2fs %8.3f %7ld MB %6d/%d %5d\n",
                    setting.slowReaders ? "slow" : "normal", setting.parallel, setting.transfers, r.makespan,
                    r.bound, r.bound > 0 ? r.makespan / r.bound : 0.0, r.peakKb / 1024, r.confirmed, kCameras,
                    r.exitCode);
        std::fflush(stdout);
        if (!setting.slowReaders && setting.parallel == 2 && setting.transfers == 1) parallelTwo = r.makespan;
        // Only a run that upgraded every camera says how fast the fleet went.
        if (!setting.slowReaders && setting.parallel == 64 && r.confirmed == kCameras)
            bestParallel64 = std::min(bestParallel64.value_or(r.makespan), r.makespan);
        if (r.confirmed != kCameras) {
            ++failures;
            // The cameras that did not end confirmed, from the run's report.
            std::ifstream in(folder / "report.json");
            const auto report = nlohmann::json::parse(in, nullptr, false);
            if (!report.is_discarded()) {
                for (const auto& row : report["cameras"]) {
                    if (row.value("confirmed", false)) continue;
                    std::printf("  %s %s %s\n", row.value("address", "").c_str(),
                                row.value("outcome", "").c_str(),
                                row["detail"].is_string() ? row["detail"].get<std::string>().c_str() : "");
                }
            }
        }
    }
    if (parallelTwo && bestParallel64 && *parallelTwo > 0) {
        std::printf("parallel 64 / parallel 2 makespan: 1/%.1f (goal: 1/20 or better)\n",
                    *parallelTwo / *bestParallel64);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return failures == 0 ? 0 : 1;
}

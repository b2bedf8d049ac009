// Makespan of an automatic run of 16 simulated cameras through the engine's BatchRun on an
// event-loop owner (as the command line drives it), in scaled time (engine and cameras x0.01), against the
// shortest makespan the start rule allows for the same camera timings:
//   - each camera's own timings are measured in the run from its status changes: the load time U
//     (from the start of saving or uploading until Overwriting) and the upgrade time T (from that
//     start until its final status);
//   - the bound schedules the cameras in row order with no latency at all: a camera starts when it
//     has entered the two-camera window (all but one of the cameras ahead have ended) and the
//     camera ahead of it has finished loading;
//   - the measured makespan runs from the scheduler's start to the last final status, so the
//     ratio holds everything the run adds: ticks, the inquiries before each start (on threads of
//     their own), the polling of the final statuses.
// The cameras differ in their overwrite pace, so the bound is not a plain multiple of one time.
//
//   bench_autorun [ROUNDS] [--retain]
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "camera/ResourceState.h"
#include "fleet/BatchRun.h"
#include "fleet/Conversions.h"
#include "platform/EventLoopOwner.h"
#include "platform/MessageBoxes.h"
#include "platform/PlaceholderImage.h"
#include "platform/Resources.h"
#include "sim/SimFleet.h"

namespace {

using namespace xqt;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr int kCameras = 16;
constexpr double kScale = 0.01;
constexpr std::size_t kImageSize = 10'035'200;

struct Event {
    Clock::time_point at;
    UpgradeStatus status;
};

struct CameraTimes {
    double start = 0;  ///< seconds after the scheduler started
    double load = 0;   ///< U
    double total = 0;  ///< T
    bool completed = false;
};

sim::SimCamera Camera(int n) {
    sim::SimCamera camera;
    camera.ipText = "127.0.8." + std::to_string(n);
    camera.webPort = 0;
    camera.serial = std::to_string(4000000 + n);
    char mac[32];
    std::snprintf(mac, sizeof mac, "08:00:46:08:00:%02X", n);
    camera.mac = mac;
    camera.softVersion = "1.10";
    camera.upgrade.progressSteps = 20;
    camera.upgrade.progressStepMs = 1500 + 70 * ((n * 7) % 16);  // 1.5 s to 2.55 s per step
    camera.upgrade.rebootMs = 20000;
    return camera;
}

/// The shortest makespan the start rule allows for cameras with these load and upgrade times.
double LowerBound(const std::vector<CameraTimes>& cameras) {
    std::vector<double> ends;
    double previousLoadEnd = 0;
    double makespan = 0;
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        double window = 0;  // when all but one of the cameras ahead have ended
        if (i >= 2) {
            std::vector<double> sorted = ends;
            std::sort(sorted.begin(), sorted.end());
            window = sorted[i - 2];
        }
        const double start = std::max(previousLoadEnd, window);
        previousLoadEnd = start + cameras[i].load;
        ends.push_back(start + cameras[i].total);
        makespan = std::max(makespan, ends.back());
    }
    return makespan;
}

struct RunResult {
    double makespan = 0;
    double bound = 0;
    double meanLoad = 0;
    double meanTotal = 0;
    int completed = 0;
};

RunResult RunOnce(ResourceState& resources, bool retain) {
    sim::SimFleet fleet(
        [] {
            std::vector<sim::SimCamera> cameras;
            for (int n = 1; n <= kCameras; ++n)
                cameras.push_back(Camera(n));
            return cameras;
        }(),
        kScale);
    fleet.Start();

    /// Every status change of every camera with its time, and the end of the run.
    struct Recorder : BatchObserver {
        std::mutex mutex;
        std::condition_variable wake;
        std::vector<std::vector<Event>> events = std::vector<std::vector<Event>>(kCameras);
        bool ended = false;
        void StatusChanged(int row, UpgradeStatus status) override {
            std::lock_guard lock(mutex);
            events[row].push_back({Clock::now(), status});
        }
        void RunEnded() override {
            std::lock_guard lock(mutex);
            ended = true;
            wake.notify_all();
        }
    } recorder;

    platform::RecordingMessageBoxes boxes;
    platform::EventLoopOwner owner(boxes);
    std::unique_ptr<BatchRun> run;
    owner.Call([&] {
        run = std::make_unique<BatchRun>(&owner, resources, platform::EngineTiming{}.Scaled(kScale));
        run->SetObserver(&recorder);
        run->Options().retain.store(retain ? 1 : 0);
        for (int i = 0; i < kCameras; ++i) {
            const sim::SimCamera camera = fleet.At(i).Camera();
            UpgradeData data;
            data.ticked = true;
            data.address = {127, 0, 8, static_cast<std::uint8_t>(i + 1)};
            data.port = camera.webPort;
            data.model = camera.model;
            data.serial = camera.serial;
            data.version = camera.softVersion;
            run->AddCamera(MakeProgressRecord(data, i), "admin", "admin", camera.serial);
        }
    });
    owner.SetTimerHandler([&](int id) { run->OnTimer(id); });

    const Clock::time_point begin = Clock::now();
    bool started = false;
    owner.Call([&] { started = run->Start(); });
    if (!started) {
        std::fprintf(stderr, "the run did not start\n");
        std::exit(1);
    }
    {
        std::unique_lock lock(recorder.mutex);
        recorder.wake.wait_for(lock, std::chrono::minutes(5), [&] { return recorder.ended; });
    }
    owner.Call([&] { run.reset(); });
    std::vector<std::vector<Event>>& events = recorder.events;
    std::mutex& mutex = recorder.mutex;

    RunResult result;
    std::vector<CameraTimes> times(kCameras);
    Clock::time_point last = begin;
    {
        std::lock_guard lock(mutex);
        for (int row = 0; row < kCameras; ++row) {
            std::optional<Clock::time_point> start, loaded, ended;
            for (const Event& e : events[row]) {
                const auto s = static_cast<std::int32_t>(e.status);
                if (!start &&
                    (e.status == UpgradeStatus::SavingConfig || e.status == UpgradeStatus::Uploading))
                    start = e.at;
                if (start && !loaded && s >= static_cast<std::int32_t>(UpgradeStatus::Overwriting))
                    loaded = e.at;
                if (start && !ended && IsFinal(s)) {
                    ended = e.at;
                    times[row].completed = e.status == UpgradeStatus::Completed;
                }
            }
            if (!start || !ended) continue;
            if (!loaded) loaded = ended;
            times[row].start = Seconds(*start - begin).count();
            times[row].load = Seconds(*loaded - *start).count();
            times[row].total = Seconds(*ended - *start).count();
            last = std::max(last, *ended);
        }
    }
    for (const CameraTimes& t : times) {
        result.completed += t.completed;
        result.meanLoad += t.load / kCameras;
        result.meanTotal += t.total / kCameras;
    }
    result.makespan = Seconds(last - begin).count();
    result.bound = LowerBound(times);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 1;
    bool retain = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--retain") {
            retain = true;
        } else {
            rounds = std::max(1, std::atoi(argv[i]));
        }
    }
    platform::UseResources(platform::EmbeddedResources());

    // Saved configurations (with --retain) go to a folder of our own.
    const auto folder = std::filesystem::temp_directory_path() / "xqt-bench-autorun";
    std::filesystem::create_directories(folder);
    setenv("ProgramFiles", folder.c_str(), 1);

    ResourceState resources;
    resources.modelNames = ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
    resources.slotData[0] =
        std::make_shared<const std::vector<std::uint8_t>>(platform::MakePlaceholderImage(kImageSize, "1.23"));
    resources.slotSize[0] = static_cast<std::uint32_t>(kImageSize);
    resources.versionLabel = "ver1.23";

    std::printf("automatic run of %d simulated cameras, time x%.2f, image %zu bytes%s\n", kCameras, kScale,
                kImageSize, retain ? ", configuration retained" : "");
    std::printf("%5s %10s %10s %8s %9s %9s %9s\n", "round", "makespan", "bound", "ratio", "mean U", "mean T",
                "completed");
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        const RunResult r = RunOnce(resources, retain);
        std::printf("%5d %9.3fs %9.3fs %8.3f %8.3fs %8.3fs %6d/%d\n", round, r.makespan, r.bound,
                    r.bound > 0 ? r.makespan / r.bound : 0.0, r.meanLoad, r.meanTotal, r.completed, kCameras);
        std::fflush(stdout);
        failures += r.completed != kCameras;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return failures == 0 ? 0 : 1;
}

// 256 cameras answer one enquiry at the same instant. Each iteration is a fresh discovery run;
// the time measured runs from the moment the fleet sent its last reply to the moment a reader
// sees the table full. A run that loses a datagram fails instead of reporting a time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "camera/DiscoveryService.h"
#include "sim/DiscoveryResponder.h"
#include "tests/camera/discovery/NetworkGuard.h"

namespace xqt {
namespace {

using Clock = std::chrono::steady_clock;

sim::SimCamera BurstCamera(int cameras) {
    sim::SimCamera camera;
    camera.model = "XQT-TR60";
    camera.serial = "1000000";
    camera.mac = "08:00:46:00:00:00";
    camera.ipText = "127.0.1.0";
    camera.softVersion = "1.10";
    camera.discovery.burst = cameras;
    return camera;
}

void BM_DiscoveryBurst(benchmark::State& state) {
    const int cameras = static_cast<int>(state.range(0));
    sim::DiscoveryResponder fleet({BurstCamera(cameras)});
    if (auto ec = fleet.Start()) {
        state.SkipWithError(("cannot bind the responder: " + ec.message()).c_str());
        return;
    }
    const int expected = std::min(cameras, DISCOVERY_TABLE_SIZE);
    double burstSeconds = 0;
    for (auto _ : state) {
        DiscoveryResults results(ModelList{"XQT-TR60"}, [](const std::string&) { return true; });
        DiscoveryOptions options;
        options.print = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
        options.exitProcess = [](int) {};
        DiscoveryService service(results, options);
        if (service.Start() != 0) {
            state.SkipWithError("discovery socket set-up failed");
            break;
        }
        const std::size_t answeredBefore = fleet.EnquiriesAnswered();
        const auto sent = Clock::now();
        service.SendEnquiry();
        const auto giveUp = sent + std::chrono::seconds(2);
        while (results.count.load() < expected && Clock::now() < giveUp)
            std::this_thread::yield();
        const auto full = Clock::now();
        while (fleet.EnquiriesAnswered() == answeredBefore && Clock::now() < giveUp)
            std::this_thread::yield();
        if (results.count.load() < expected) {
            const std::string lost = std::to_string(expected - results.count.load()) + " of " +
                                     std::to_string(expected) + " replies lost";
            state.SkipWithError(lost.c_str());
            break;
        }
        const auto lastReply = fleet.LastReplyAt();
        state.SetIterationTime(
            std::chrono::duration<double>(std::max(full - lastReply, Clock::duration{})).count());
        burstSeconds += std::chrono::duration<double>(full - sent).count();
    }
    state.counters["cameras"] = expected;
    state.counters["enquiry_to_full_us"] =
        benchmark::Counter(burstSeconds * 1e6 / std::max<double>(1, static_cast<double>(state.iterations())));
}

BENCHMARK(BM_DiscoveryBurst)
    ->Arg(256)
    ->Arg(300)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(50);

}  // namespace
}  // namespace xqt

int main(int argc, char** argv) {
    if (!xqt::test::GuardBroadcast("bench_discovery_burst")) return 1;
    if (auto reason = xqt::test::BroadcastSkipReason()) return 0;
    const std::string problem = xqt::test::BroadcastSetupProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "bench_discovery_burst: %s\n", problem.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

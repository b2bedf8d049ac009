#pragma once
// Shared pieces of the discovery tests: the model list, scaled timing, simulated cameras and the
// fixture of the cases that send the broadcast.

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/DiscoveryService.h"
#include "sim/DiscoveryResponder.h"
#include "sim/SimCamera.h"
#include "tests/camera/discovery/NetworkGuard.h"
#include "tests/support/Slowdown.h"

namespace xqt::test {

inline ModelList TestModels() {
    return {"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
}

inline bool AllowAll(const std::string&) {
    return true;
}

/// 5 s / 10 s / 5 ms scaled to 100 ms / 200 ms / 1 ms.
inline DiscoveryTiming FastTiming() {
    return DiscoveryTiming{}.Scaled(0.02);
}

inline sim::SimCamera Camera(const std::string& model, const std::string& serial, const std::string& mac,
                             const std::string& ip = "127.0.1.1") {
    sim::SimCamera camera;
    camera.model = model;
    camera.serial = serial;
    camera.mac = mac;
    camera.ipText = ip;
    return camera;
}

/// The lines a service printed and the exit codes it asked for, instead of stdout and exit.
struct Reports {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
    std::vector<int> exitCodes;

    DiscoveryOptions Options(DiscoveryTiming timing = FastTiming()) {
        DiscoveryOptions options;
        options.timing = timing;
        options.print = [this](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        };
        options.exitProcess = [this](int code) {
            std::lock_guard lock(mutex);
            exitCodes.push_back(code);
        };
        return options;
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex);
        return lines;
    }
    std::vector<int> ExitCodes() const {
        std::lock_guard lock(mutex);
        return exitCodes;
    }
};

/// Waits up to `limit`, stretched for the tree, for `done`; a stuck receiver shows up as a failed
/// expectation, not a hang. By default, a whole discovery of the fast timing many times over.
template <typename Predicate>
bool Eventually(Predicate done, std::chrono::milliseconds limit = 25 * FastTiming().stopAfter) {
    const auto deadline = std::chrono::steady_clock::now() + Allow(limit);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/// Cases that send the broadcast to 255.255.255.255:2380.
class BroadcastTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto reason = BroadcastSkipReason()) GTEST_SKIP() << *reason;
        const std::string problem = BroadcastSetupProblem();
        ASSERT_TRUE(problem.empty()) << problem;
    }

    /// Starts a fleet answering on 0.0.0.0:2380.
    sim::DiscoveryResponder& Fleet(std::vector<sim::SimCamera> cameras) {
        fleet_ = std::make_unique<sim::DiscoveryResponder>(std::move(cameras));
        const auto ec = fleet_->Start();
        EXPECT_FALSE(ec) << "cannot bind the responder: " << ec.message();
        return *fleet_;
    }

    std::unique_ptr<sim::DiscoveryResponder> fleet_;
};

}  // namespace xqt::test

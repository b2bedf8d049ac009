#pragma once
// In-process simulated cameras for the engine tests: each test names its own loopback address and
// takes a free port, so suites running in parallel never collide.

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CameraSession.h"
#include "platform/SessionOwner.h"
#include "sim/SimFleet.h"

namespace xqt::test {

inline sim::SimCamera CameraAt(const std::string& ip) {
    sim::SimCamera camera;
    camera.ipText = ip;
    camera.webPort = 0;
    return camera;
}

/// Camera `n` of a numbered test fleet: on 127.0.`subnet`.`n` with a free port, serial number
/// `serialBase` + n, MAC 08:00:46:<subnet>:00:<n>, version 1.10, and a short overwrite and reboot
/// (five 2 s steps, 10 s; the fleet's time scale applies).
inline sim::SimCamera NumberedCamera(int subnet, int n, int serialBase) {
    sim::SimCamera camera = CameraAt("127.0." + std::to_string(subnet) + "." + std::to_string(n));
    camera.serial = std::to_string(serialBase + n);
    char mac[32];
    std::snprintf(mac, sizeof mac, "08:00:46:%02X:00:%02X", subnet & 0xFF, n & 0xFF);
    camera.mac = mac;
    camera.softVersion = "1.10";
    camera.upgrade.progressSteps = 5;
    camera.upgrade.progressStepMs = 2000;
    camera.upgrade.rebootMs = 10000;
    return camera;
}

/// One started camera.
struct OneCamera {
    explicit OneCamera(sim::SimCamera camera) : fleet({std::move(camera)}) { fleet.Start(); }
    sim::CameraServer& server() { return fleet.At(0); }
    std::string hostPort() { return fleet.At(0).HostPort(); }
    sim::SimFleet fleet;
};

inline ModelList DeliveredModels() {
    return ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
}

/// Records what a session asks of its owner, on the caller's thread.
class RecordingOwner : public platform::SessionOwner {
  public:
    struct Box {
        std::string text;
        std::string caption;
        platform::MbIcon icon;
    };
    void StartTimer(int, std::chrono::milliseconds) override {}
    void StopTimer(int) override {}
    void PostUpgradeMessage(std::int32_t, std::int32_t) override {}
    void ShowMessage(const std::string& text, const std::string& caption, platform::MbIcon icon) override {
        std::lock_guard lock(mutex_);
        boxes_.push_back({text, caption, icon});
    }
    std::vector<Box> boxes() const {
        std::lock_guard lock(mutex_);
        return boxes_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
};

inline SessionConfig ConfigFor(const std::string& hostPort, platform::SessionOwner* owner = nullptr,
                               const std::string& credential = "YWRtaW46YWRtaW4=") {
    SessionConfig config;
    config.owner = owner;
    config.hostPort = hostPort;
    config.credential = credential;
    config.modelList = DeliveredModels();
    config.timing = platform::EngineTiming{}.Scaled(0.05);  // inquiry limit 1 s
    return config;
}

inline std::chrono::milliseconds ElapsedSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

}  // namespace xqt::test

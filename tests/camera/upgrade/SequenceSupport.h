#pragma once
// A simulated camera, an event-loop owner and one session, in scaled time, for the end-to-end
// tests of the upgrade sequence.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/CameraSession.h"
#include "platform/EventLoopOwner.h"
#include "platform/MessageBoxes.h"
#include "platform/PlaceholderImage.h"
#include "sim/SimFleet.h"
#include "tests/support/Slowdown.h"

namespace xqt::test {

using namespace std::chrono_literals;

inline constexpr double kScale = 0.01;
inline const std::string kCredential = "YWRtaW46YWRtaW4=";  // admin:admin

inline ImageBytes Image(std::size_t size, const std::string& version = "1.23") {
    return std::make_shared<const std::vector<std::uint8_t>>(platform::MakePlaceholderImage(size, version));
}

/// Every status the sequence sets, in order (set before StartUpgrade).
class StatusChain {
  public:
    explicit StatusChain(CameraSession& session) {
        session.statusObserver = [this](UpgradeStatus s) {
            std::lock_guard lock(mutex_);
            if (chain_.empty() || chain_.back() != s) chain_.push_back(s);
        };
    }
    std::vector<UpgradeStatus> Stop() const {
        std::lock_guard lock(mutex_);
        return chain_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<UpgradeStatus> chain_;
};

/// Waits for `pred`, `timeout` (of the scaled timing) stretched for the tree.
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout) {
    return WaitFor(pred, timeout);
}

/// The longest one camera's upgrade may take under the engine's own limits at the suites' scale,
/// a backup and a restore included: the bound of every wait on a running upgrade.
inline std::chrono::milliseconds RunLimit() {
    return UpgradeLimit(platform::EngineTiming{}.Scaled(kScale));
}

class SequenceTest : public ::testing::Test {
  public:
    enum class Mode { Manual, Automatic };

  protected:
    ~SequenceTest() override { EndSession(); }

    sim::SimCamera Camera(const std::string& ip) {
        sim::SimCamera camera;
        camera.ipText = ip;
        camera.webPort = 0;
        camera.softVersion = "1.10";
        return camera;
    }

    void StartFleet(sim::SimCamera camera) {
        fleet_ = std::make_unique<sim::SimFleet>(std::vector<sim::SimCamera>{std::move(camera)}, kScale);
        fleet_->Start();
    }
    sim::CameraServer& server() { return fleet_->At(0); }

    static platform::EngineTiming Timing() { return platform::EngineTiming{}.Scaled(kScale); }

    /// A session for the started camera, inquired once as the pages do before an upgrade.
    CameraSession& MakeSession(Mode mode, platform::EngineTiming timing = Timing(), int slot = 0,
                               const std::string& hostPort = "") {
        SessionConfig config;
        config.owner = &owner;
        config.hostPort = hostPort.empty() ? server().HostPort() : hostPort;
        config.credential = kCredential;
        config.modelList = ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
        config.slot = slot;
        config.timing = timing;
        config.backupFlag = &backup;
        config.deleteFlag = &deleteAfterRestore;
        config.timeStamp = &timeStamp;
        config.serialText = "1000001";
        config.mode = mode == Mode::Automatic ? SessionMode::Automatic : SessionMode::Manual;
        session_ = std::make_unique<CameraSession>(config);
        if (mode == Mode::Automatic) {
            session_->progressValue = &value;
        } else {
            session_->progressBar = &bar;
        }
        // Records the model and version the run starts from; a camera a test makes unsuitable fails
        // it on purpose and the test looks at what follows.
        if (hostPort.empty())
            static_cast<void>(session_->CheckModelAndVersion(session_->Inquire(INQ_SYSTEM, 2s), false));
        CameraSession* routed = session_.get();
        owner.SetTimerHandler([routed](int id) { routed->OnSessionTimer(id); });
        return *session_;
    }

    /// Stops routing ticks, then deletes the session (joining its worker).
    void EndSession() {
        owner.Call([this] { owner.SetTimerHandler({}); });
        session_.reset();
    }

    /// Waits until the worker has returned and, in automatic mode, the status is final.
    bool WaitForEnd(std::chrono::milliseconds timeout = RunLimit()) {
        return WaitUntil([&] { return !session_->IsWorkerRunning(); }, timeout);
    }

    int SystemInquiriesSince(std::size_t first) {
        const auto requests = server().Requests();
        int count = 0;
        for (std::size_t i = first; i < requests.size(); ++i)
            count += requests[i].complete && requests[i].request.body == "inq=system";
        return count;
    }

    std::vector<platform::UpgradeMessage> Messages() {
        owner.Call([] {});  // everything posted so far has been delivered
        return owner.Messages();
    }

    std::atomic<std::int32_t> backup{0};
    std::atomic<std::int32_t> deleteAfterRestore{1};
    std::atomic<std::int64_t> timeStamp{0};
    std::atomic<std::int32_t> value{0};
    AtomicProgressBar bar;
    platform::RecordingMessageBoxes boxes;
    platform::EventLoopOwner owner{boxes};
    std::unique_ptr<sim::SimFleet> fleet_;
    std::unique_ptr<CameraSession> session_;
};

using platform::UpgradeMessage;

}  // namespace xqt::test

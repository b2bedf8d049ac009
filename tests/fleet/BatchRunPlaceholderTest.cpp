// The automatic run with the build's placeholder image: it names the refusal before it starts, and
// a run started anyway ends the camera outside loopback without a single connection to it.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "camera/ConnectWatch.h"
#include "camera/PlaceholderGuard.h"
#include "fleet/BatchRun.h"
#include "fleet/Conversions.h"
#include "platform/EventLoopOwner.h"
#include "platform/PlaceholderImage.h"
#include "tests/support/Slowdown.h"

namespace xqt::test {
namespace {

using namespace std::chrono_literals;

std::mutex g_mutex;
std::vector<std::string> g_connects;
void RecordConnect(const std::string& endpoint) {
    std::lock_guard lock(g_mutex);
    g_connects.push_back(endpoint);
}

TEST(BatchRunPlaceholderTest, ThePlaceholderNeverReachesACameraOutsideLoopback) {
    ResourceState resources;
    resources.modelNames = ModelList{"XQT-TR60"};
    resources.slotData[0] =
        std::make_shared<const std::vector<std::uint8_t>>(platform::MakePlaceholderImage(8192, "1.23"));
    resources.slotSize[0] = 8192;
    resources.versionLabel = "ver1.23";
    platform::RecordingMessageBoxes boxes;
    platform::EventLoopOwner owner(boxes);
    std::unique_ptr<BatchRun> run;
    auto add = [&](std::array<std::uint8_t, 4> address) {
        UpgradeData data;
        data.ticked = true;
        data.address = address;
        data.port = 80;
        data.model = "XQT-TR60";
        data.serial = "1000001";
        data.version = "1.10";
        run->AddCamera(MakeProgressRecord(data, run->Size()), "admin", "admin", data.serial);
    };
    owner.Call([&] {
        run = std::make_unique<BatchRun>(&owner, resources, platform::EngineTiming{}.Scaled(0.01));
        add({127, 0, 15, 1});
    });
    EXPECT_FALSE(run->PlaceholderRefusal()) << "loopback cameras are simulated";
    owner.Call([&] { add({192, 168, 0, 100}); });
    EXPECT_EQ(run->PlaceholderRefusal(), std::string(PLACEHOLDER_REFUSAL));

    // A front end that forgot to ask still cannot start it: nothing is connected to.
    const auto previous = detail::SetConnectWatch(RecordConnect);
    owner.SetTimerHandler([&](int id) { run->OnTimer(id); });
    bool started = true;
    owner.Call([&] { started = run->Start(); });
    // Long enough for a scheduler tick of a run that had started to connect.
    std::this_thread::sleep_for(Allow(50ms));
    detail::SetConnectWatch(previous);
    EXPECT_FALSE(started);
    owner.Call([&] { run.reset(); });
    std::lock_guard lock(g_mutex);
    EXPECT_TRUE(g_connects.empty()) << "connected to " << g_connects.front();
}

}  // namespace
}  // namespace xqt::test

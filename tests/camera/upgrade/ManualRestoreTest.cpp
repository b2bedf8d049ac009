// The manual restore and restart watch after a manual upgrade with a saved configuration, against a
// simulated camera: what is posted, what becomes of the saved file, and how the watch ends.
#include <gmock/gmock.h>

#include <filesystem>

#include "SequenceSupport.h"
#include "camera/ConfigStore.h"
#include "camera/ManualRestore.h"
#include "tests/camera/config/ConfigTestSupport.h"

namespace xqt::test {
namespace {

using ::testing::ElementsAre;
using S = UpgradeStatus;
namespace fs = std::filesystem;

class ManualRestoreTest : public SequenceTest {
  protected:
    TempFolder temp;
    EnvOverride programFiles{"ProgramFiles", temp.str().c_str()};
};

TEST_F(ManualRestoreTest, EndsAsTheCameraAndTheSavedFileAllow) {
    struct Case {
        const char* name;
        std::function<void(sim::SimCamera&)> arrange;
        bool loseSavedFile = false;
        bool stopFirst = false;
        ManualRestoreResult expected;
        int attempts;  ///< restore requests the camera saw
        std::vector<S> statuses;
    };
    const auto none = [](sim::SimCamera&) {};
    const std::vector<S> both{S::LoadingConfig, S::Reconfiguring};
    const Case cases[] = {
        {"taken, camera back", none, false, false, {.restored = true, .cameraBack = true}, 1, both},
        {"refused four times, camera back",
         [](sim::SimCamera& c) { c.config.failRestores = 10; },
         false,
         false,
         {.cameraBack = true},
         4,
         both},
        {"another camera took the address",
         [](sim::SimCamera& c) { c.upgrade.comeBackSerial = "2000002"; },
         false,
         false,
         {.anotherCamera = true},
         0,
         {S::LoadingConfig}},
        {"silent after the restore",
         [](sim::SimCamera& c) { c.config.reconfigureMs = 10'000'000; },
         false,
         false,
         {.restored = true},
         1,
         both},
        {"saved file gone", none, true, false, {.cameraBack = true}, 0, both},
        // Nothing tells which camera answers now: its settings are not written into an unknown one.
        {"neither serial nor MAC to tell",
         [](sim::SimCamera& c) {
             c.serial.clear();
             c.mac.clear();
         },
         false,
         false,
         {.cameraBack = true},
         0,
         both},
        {"stopped", none, false, true, {.stopped = true}, 0, {S::LoadingConfig}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimCamera camera = Camera("127.0.7." + std::to_string(60 + n++));
        c.arrange(camera);
        StartFleet(camera);
        CameraSession& session = MakeSession(Mode::Manual);
        ConfigStore store(server().HostPort(), ConfigRemotePath("XQT-TR60"), kCredential,
                          std::chrono::system_clock::now(), "XQT-TR60", "1000001", 1,
                          Timing().streamReceiveTimeout, detail::TransferBoundOf(Timing()));
        ASSERT_TRUE(store.Download());
        session.SetImage(Image(64 * 1024), 64 * 1024, "ver1.23");
        ASSERT_TRUE(session.StartUpgrade());
        ASSERT_TRUE(WaitForEnd());
        if (c.loseSavedFile) fs::remove(store.localPath);

        std::stop_source stop;
        if (c.stopFirst) stop.request_stop();
        std::vector<S> statuses;
        const auto began = std::chrono::steady_clock::now();
        const ManualRestoreResult got = RestoreAndWatch(session, store, Timing(), stop.get_token(),
                                                        {[&](S s) { statuses.push_back(s); }, {}});
        EXPECT_EQ(got.restored, c.expected.restored);
        EXPECT_EQ(got.anotherCamera, c.expected.anotherCamera);
        EXPECT_EQ(got.cameraBack, c.expected.cameraBack);
        EXPECT_EQ(got.stopped, c.expected.stopped);
        EXPECT_EQ(server().Config().RestoreAttempts(), c.attempts);
        EXPECT_EQ(statuses, c.statuses);
        EXPECT_EQ(store.restored.load(), c.expected.restored);
        // The file goes only once the camera took it, as asked; otherwise it stays for another try.
        EXPECT_EQ(fs::exists(store.localPath), !c.expected.restored && !c.loseSavedFile);
        if (!c.expected.cameraBack && statuses == both) {
            EXPECT_GE(std::chrono::steady_clock::now() - began, Timing().restartWatchLimit);
        }
        EndSession();
    }
}

}  // namespace
}  // namespace xqt::test

// The wizard's real engine against simulated cameras: the manual check's outcomes and the box each
// refusal carries back to the wizard, the serial-number rules, and discovery over the real
// broadcast in the isolated namespace.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "platform/EventLoopOwner.h"
#include "serialrules/SerialProtect.h"
#include "sim/SimFleet.h"
#include "tests/camera/discovery/DiscoveryTestSupport.h"
#include "tests/gui/automatic/AutopagesTestSupport.h"
#include "wizard/RealWizardEngine.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;

using test::Models;

/// Inquiry limit 1 s; discovery enquiries 250 ms apart.
platform::EngineTiming Timing() {
    return platform::EngineTiming{}.Scaled(0.05);
}

sim::SimCamera CameraOn(const std::string& ip) {
    sim::SimCamera camera;
    camera.ipText = ip;
    camera.webPort = 0;
    return camera;
}

class RealEngineCheckTest : public ::testing::Test {
  protected:
    /// Starts one camera and checks it with `name`:`password`.
    CameraCheck Check(sim::SimCamera camera, const std::string& name = "admin",
                      const std::string& password = "admin") {
        fleet = std::make_unique<sim::SimFleet>(std::vector<sim::SimCamera>{std::move(camera)});
        fleet->Start();
        return engine.CheckCamera(fleet->At(0).HostPort(), EncodeCredential(name, password));
    }
    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const auto& request : fleet->At(0).Requests())
            bodies.push_back(request.request.body);
        return bodies;
    }

    RealWizardEngine engine{Models(), Timing(), nullptr};
    std::unique_ptr<sim::SimFleet> fleet;
};

TEST_F(RealEngineCheckTest, ASuitableCameraPassesWithItsVersionSerialAndDocType) {
    auto camera = CameraOn("127.0.32.1");
    camera.softVersion = "1.10";
    camera.serial = "1000001";
    camera.docType = "TR60N";
    const CameraCheck check = Check(camera);
    EXPECT_TRUE(check.passed);
    EXPECT_EQ(check.model, "XQT-TR60");
    EXPECT_EQ(check.currentVersion, "ver1.10");
    EXPECT_EQ(check.serial, "1000001");
    EXPECT_EQ(check.docType, "TR60N");
    EXPECT_FALSE(check.emergency);
    EXPECT_FALSE(check.message.has_value());
    EXPECT_EQ(Bodies(), (std::vector<std::string>{"inq=system", "inq=user"}));
    EXPECT_TRUE(engine.IsSerialAllowed(check.serial));
}

TEST_F(RealEngineCheckTest, AnotherModelIsRefusedWithTheWrongModelBoxAndNoLogin) {
    auto camera = CameraOn("127.0.32.2");
    camera.model = "XQT-DM10";
    const CameraCheck check = Check(camera);
    EXPECT_FALSE(check.passed);
    ASSERT_TRUE(check.message.has_value());
    EXPECT_EQ(check.message->text, "This program works for the XQT-TR60. Please select the correct camera.");
    EXPECT_EQ(check.message->caption, "Information");
    EXPECT_EQ(check.message->icon, platform::MbIcon::Exclamation);
    EXPECT_EQ(Bodies(), std::vector<std::string>{"inq=system"});
}

TEST_F(RealEngineCheckTest, LoginRefusalsCarryTheirOwnBoxes) {
    auto camera = CameraOn("127.0.32.3");
    camera.users = {{"admin", "admin", true}, {"operator", "operator", false}};
    CameraCheck check = Check(camera, "operator", "operator");
    EXPECT_FALSE(check.passed);
    ASSERT_TRUE(check.message.has_value());
    EXPECT_EQ(check.message->text, "Level 4 users other than Administrator cannot run the program.");
    EXPECT_EQ(check.currentVersion, "ver1.10");  // the system answer was read before the refusal

    check = Check(camera, "admin", "wrong");
    EXPECT_FALSE(check.passed);
    ASSERT_TRUE(check.message.has_value());
    EXPECT_EQ(check.message->text, "Please enter correct user name and password for the administrator.");
}

TEST_F(RealEngineCheckTest, ACameraInEmergencyStatePassesWithoutTheUserInquiry) {
    auto camera = CameraOn("127.0.32.4");
    camera.emergency = true;
    const CameraCheck check = Check(camera, "nobody", "nothing");
    EXPECT_TRUE(check.passed);
    EXPECT_TRUE(check.emergency);
    EXPECT_EQ(check.currentVersion, "unknown");
    EXPECT_EQ(Bodies(), std::vector<std::string>{"inq=system"});
}

TEST_F(RealEngineCheckTest, NoCameraAtTheAddressIsReportedAsSilentWithinTheLimit) {
    const auto start = std::chrono::steady_clock::now();
    const CameraCheck check = engine.CheckCamera("127.0.32.5:9", EncodeCredential("admin", "admin"));
    // A refused connection is judged at once, well within the inquiry limit.
    EXPECT_LT(std::chrono::steady_clock::now() - start, test::Allow(Timing().inquiryLimit * 3));
    EXPECT_FALSE(check.passed);
    ASSERT_TRUE(check.message.has_value());
    EXPECT_EQ(check.message->text, "The camera did not answer (connection refused).");
}

TEST_F(RealEngineCheckTest, TheRulesRefuseASerialThatTheCheckItselfAccepts) {
    test::SwappedRules rules("allow,deny", "all", "9??????");
    auto camera = CameraOn("127.0.32.6");
    camera.serial = "9000001";
    const CameraCheck check = Check(camera);
    EXPECT_TRUE(check.passed);  // the wizard adds the rules' verdict
    EXPECT_EQ(check.serial, "9000001");
    EXPECT_FALSE(engine.IsSerialAllowed(check.serial));
    EXPECT_TRUE(engine.IsSerialAllowed("1000001"));
}

// ---- The manual session ------------------------------------------------------------------------

/// The engine as the wizard drives it: UI-thread calls on the owner's loop thread (where its ticks
/// and messages arrive), blocking calls on the test's thread as the helper thread would make them.
class RealEngineUpgradeTest : public ::testing::Test {
  protected:
    struct Events : WizardEngineEvents {
        void OnSessionTick() override { ++ticks; }
        void OnUpgradeMessage(int w, int l) override { got.push_back({w, l}); }
        std::atomic<int> ticks{0};
        std::vector<std::pair<int, int>> got;  // loop thread; read after owner.Call
    };

    void SetUp() override {
        owner.SetTimerHandler([this](int id) { engine.DeliverTimer(id); });
        owner.SetMessageHandler(
            [this](platform::UpgradeMessage m) { engine.DeliverUpgradeMessage(m.wParam, m.lParam); });
    }
    void TearDown() override {
        owner.Call([this] { engine.EndSession(); });
        owner.SetTimerHandler({});
        owner.SetMessageHandler({});
    }
    void StartCamera(sim::SimCamera camera) {
        fleet = std::make_unique<sim::SimFleet>(std::vector<sim::SimCamera>{std::move(camera)}, 0.01);
        fleet->Start();
    }
    UpgradeRequest Request(const std::string& credential) {
        UpgradeRequest request;
        request.hostPort = fleet->At(0).HostPort();
        request.credential = credential;
        request.image = image;
        request.imageSize = static_cast<std::uint32_t>(image->size());
        request.newVersion = "ver1.23";
        request.progressBar = &bar;
        return request;
    }
    std::vector<std::pair<int, int>> Got() {
        std::vector<std::pair<int, int>> got;
        owner.Call([&] { got = events.got; });
        return got;
    }
    bool WaitForMessage() {
        return test::Eventually([&] { return !Got().empty(); },
                                test::UpgradeLimit(platform::EngineTiming{}.Scaled(0.02)));
    }

    ImageBytes image =
        std::make_shared<const std::vector<std::uint8_t>>(std::vector<std::uint8_t>(50000, 0x5A));
    platform::RecordingMessageBoxes boxes;
    platform::EventLoopOwner owner{boxes};
    RealWizardEngine engine{Models(), platform::EngineTiming{}.Scaled(0.02), &owner};
    Events events;
    ProgressBarValue bar;
    std::unique_ptr<sim::SimFleet> fleet;
};

TEST_F(RealEngineUpgradeTest, TheUpgradeReportsTicksAndTheVerifiedEndThroughTheOwner) {
    auto camera = CameraOn("127.0.32.10");
    camera.upgrade.comeBackVersion = "1.23";  // the image carries no version of its own
    StartCamera(camera);
    const std::string credential = EncodeCredential("admin", "admin");
    ASSERT_TRUE(engine.CheckCamera(fleet->At(0).HostPort(), credential).passed);
    owner.Call([&] { engine.StartUpgrade(Request(credential), events); });
    ASSERT_TRUE(WaitForMessage());

    EXPECT_EQ(Got(), (std::vector<std::pair<int, int>>{{1, 6}}));
    EXPECT_GT(events.ticks.load(), 0);
    EXPECT_EQ(bar.Position(), ProgressBarValue::MAX);
    SessionSnapshot session;
    owner.Call([&] { session = engine.ReadSession(); });
    EXPECT_EQ(session.status, UpgradeStatus::Completed);
    EXPECT_FALSE(session.emergency);
    const auto records = fleet->At(0).Upgrade().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].accepted);
    EXPECT_EQ(records[0].imageSize, image->size());
    EXPECT_TRUE(boxes.Taken().empty());

    // The restart watch's probe asks the same camera.
    EXPECT_TRUE(engine.ProbeCamera(1000));
    // Once the session is gone its ticks and messages reach nobody, and nothing is left to probe.
    owner.Call([&] { engine.EndSession(); });
    EXPECT_FALSE(engine.ProbeCamera(1000));
    owner.Call([&] {
        engine.DeliverTimer(TIMER_TICK_BASE);
        engine.DeliverUpgradeMessage(1, 3);
    });
    EXPECT_EQ(Got().size(), 1u);
}

TEST_F(RealEngineUpgradeTest, ATimerThatNoSessionOwnsStopsAtItsFirstTick) {
    // As a start asked for by a deleted session's worker leaves them: running after the session's
    // timers were stopped, and with nobody to stop them later.
    const std::vector<int> ids{TIMER_TICK_BASE, TIMER_LOSTLINK_BASE, TIMER_RECONFIG_BASE + 7};
    for (int id : ids)
        owner.StartTimer(id, 5ms);
    EXPECT_TRUE(test::Eventually([&] {
        return std::none_of(ids.begin(), ids.end(), [&](int id) { return owner.IsTimerRunning(id); });
    }));
    for (int id : ids)
        EXPECT_EQ(owner.TickCount(id), 1) << id;
}

TEST_F(RealEngineUpgradeTest, TheCheckedSessionKnowsTheCameraIsInEmergencyState) {
    auto camera = CameraOn("127.0.32.11");
    camera.emergency = true;
    StartCamera(camera);
    const std::string credential = EncodeCredential("admin", "admin");
    ASSERT_TRUE(engine.CheckCamera(fleet->At(0).HostPort(), credential).emergency);
    owner.Call([&] { engine.StartUpgrade(Request(credential), events); });
    SessionSnapshot session;
    owner.Call([&] { session = engine.ReadSession(); });
    EXPECT_TRUE(session.emergency);
    ASSERT_TRUE(WaitForMessage());
    EXPECT_EQ(Got(), (std::vector<std::pair<int, int>>{{1, 6}}));
    // A camera in emergency state is asked nothing after the upload: its time is counted in ticks.
    const auto requests = fleet->At(0).Requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const auto& r) { return r.request.body == "inq=system"; }),
              1);
}

TEST_F(RealEngineUpgradeTest, AFailedUpgradeShowsItsBoxThenSendsTheWizardBack) {
    auto camera = CameraOn("127.0.32.12");
    camera.upgrade.comeBackVersion = "1.99";
    StartCamera(camera);
    const std::string credential = EncodeCredential("admin", "admin");
    ASSERT_TRUE(engine.CheckCamera(fleet->At(0).HostPort(), credential).passed);
    owner.Call([&] { engine.StartUpgrade(Request(credential), events); });
    ASSERT_TRUE(WaitForMessage());
    EXPECT_EQ(Got(), (std::vector<std::pair<int, int>>{{1, 3}}));
    ASSERT_EQ(boxes.Taken().size(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "Version up error.");
    EXPECT_EQ(boxes.Taken()[0].icon, platform::MbIcon::Stop);
}

TEST_F(RealEngineUpgradeTest, WithoutASavedConfigurationNothingIsReadBackOrRestored) {
    StartCamera(CameraOn("127.0.32.13"));
    EXPECT_FALSE(engine.ReadBackConfiguration());
    EXPECT_FALSE(engine.RestoreConfiguration());
    EXPECT_TRUE(engine.SavedConfigurationPath().empty());
    EXPECT_FALSE(engine.ProbeCamera(1000));  // no session yet
    EXPECT_TRUE(fleet->At(0).Requests().empty());
}

// ---- Discovery over the broadcast ---------------------------------------------------------------

class RealEngineDiscoveryTest : public test::BroadcastTest {
  protected:
    DiscoveryOptions Options() { return reports.Options(); }
    test::Reports reports;
};

TEST_F(RealEngineDiscoveryTest, FindsTheListedCamerasWithTextsInUtf8AndEndsByTheHandshake) {
    test::SwappedRules rules("allow,deny", "all", "9??????");
    auto plain = test::Camera("XQT-TR60", "1000001", "08:00:46:00:00:01", "127.0.1.1");
    auto dhcp = test::Camera("XQT-TR60P", "1000002", "08:00:46:00:00:02", "127.0.1.2");
    dhcp.dhcp = true;
    dhcp.webPort = 8080;
    dhcp.discovery.valueOverrides["SOFTVERSION:"] = "1.2\xE9";  // Windows-1252 e acute
    auto unlisted = test::Camera("XQT-DM10", "1000003", "08:00:46:00:00:03", "127.0.1.3");
    auto refused = test::Camera("XQT-TR60", "9000004", "08:00:46:00:00:04", "127.0.1.4");
    Fleet({plain, dhcp, unlisted, refused});

    RealWizardEngine engine(Models(), Timing(), nullptr, Options());
    EXPECT_FALSE(engine.DiscoveryRunning());
    engine.StartDiscovery();
    ASSERT_NE(engine.Discovery(), nullptr);
    EXPECT_TRUE(engine.DiscoveryRunning());
    EXPECT_FALSE(engine.DiscoveryStopRequested());
    EXPECT_EQ(engine.Discovery()->Timing().enquiryInterval, 250ms);  // from the engine's timing
    engine.SendEnquiry();
    ASSERT_TRUE(test::Eventually([&] { return fleet_->RepliesSent() >= 4; }));
    ASSERT_TRUE(test::Eventually([&] { return engine.DiscoveredCameras().size() == 2; }));

    engine.RequestDiscoveryStop();
    ASSERT_TRUE(test::Eventually([&] { return !engine.DiscoveryRunning(); }));
    EXPECT_FALSE(engine.DiscoveryStopRequested());  // the receiver answered the handshake

    const auto found = engine.DiscoveredCameras();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].serial, "1000001");
    EXPECT_EQ(found[1].model, "XQT-TR60P");
    EXPECT_EQ(found[1].version, "1.2\xC3\xA9");
    EXPECT_EQ(found[1].dhcp, 1);
    EXPECT_EQ(found[1].webPort, 8080);
    EXPECT_TRUE(reports.Lines().empty());

    engine.StopDiscovery();
    engine.StopDiscovery();  // safe twice
    EXPECT_EQ(engine.Discovery(), nullptr);
    EXPECT_EQ(engine.DiscoveredCameras().size(), 2u);  // the table outlives the service
}

TEST_F(RealEngineDiscoveryTest, StoppingWhileTheReceiverRunsWaitsForItsEnd) {
    Fleet({test::Camera("XQT-TR60", "1000001", "08:00:46:00:00:01")});
    RealWizardEngine engine(Models(), Timing(), nullptr, Options());
    engine.StartDiscovery();
    engine.SendEnquiry();
    engine.StopDiscovery();
    EXPECT_FALSE(engine.DiscoveryRunning());
    EXPECT_EQ(engine.Results().stop.load(), 0);
    engine.SendEnquiry();  // nothing left to send on; no failure either
    EXPECT_TRUE(reports.Lines().empty());
}

}  // namespace
}  // namespace xqt

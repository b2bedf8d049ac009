// The wizard's real engine against simulated cameras: the manual check's outcomes and the box each
// refusal carries back to the wizard, the serial-number rules, and discovery over the real
// broadcast in the isolated namespace.
#include <gtest/gtest.h>

#include <memory>

#include "app/RealWizardEngine.h"
#include "camera/Credential.h"
#include "serialrules/SerialProtect.h"
#include "sim/SimFleet.h"
#include "tests/autopages/AutopagesTestSupport.h"
#include "tests/discovery/DiscoveryTestSupport.h"

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

TEST_F(RealEngineCheckTest, NoCameraAtTheAddressIsReportedAsTheWrongModelWithinTheLimit) {
    const auto start = std::chrono::steady_clock::now();
    const CameraCheck check = engine.CheckCamera("127.0.32.5:9", EncodeCredential("admin", "admin"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(check.passed);
    ASSERT_TRUE(check.message.has_value());
    EXPECT_EQ(check.message->text, "This program works for the XQT-TR60. Please select the correct camera.");
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

TEST(RealEngineUpgradeTest, UntilTheSequenceIsLinkedInAnUpgradeFailsBackToTheTargetPage) {
    struct Owner : platform::SessionOwner {
        void StartTimer(int, std::chrono::milliseconds) override {}
        void StopTimer(int) override {}
        void PostUpgradeMessage(std::int32_t w, std::int32_t l) override { posted.push_back({w, l}); }
        void ShowMessage(const std::string& text, const std::string&, platform::MbIcon) override {
            shown.push_back(text);
        }
        std::vector<std::pair<int, int>> posted;
        std::vector<std::string> shown;
    } owner;
    struct Events : WizardEngineEvents {
        void OnSessionTick() override {}
        void OnUpgradeMessage(int w, int l) override { got.push_back({w, l}); }
        std::vector<std::pair<int, int>> got;
    } events;
    RealWizardEngine engine(Models(), Timing(), &owner);
    EXPECT_FALSE(engine.SaveConfiguration(ConfigRequest{}));
    engine.StartUpgrade(UpgradeRequest{}, events);
    EXPECT_EQ(owner.shown.size(), 1u);
    ASSERT_EQ(owner.posted, (std::vector<std::pair<int, int>>{{1, 3}}));
    engine.DeliverUpgradeMessage(1, 3);  // as the owner delivers it on the UI thread
    EXPECT_EQ(events.got, (std::vector<std::pair<int, int>>{{1, 3}}));
    engine.EndSession();
    engine.DeliverUpgradeMessage(0, 1);
    EXPECT_EQ(events.got.size(), 1u);
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

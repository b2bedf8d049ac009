// The check before a manual upgrade, against simulated cameras: what it concludes, which inquiries
// it makes and which boxes the owner shows.
#include <gtest/gtest.h>

#include <functional>

#include "SimHelpers.h"
#include "camera/Credential.h"
#include "platform/EventLoopOwner.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;

class ManualCheckTest : public ::testing::Test {
  protected:
    ManualCheckResult Check(const std::string& user = "admin", const std::string& password = "admin") {
        auto config = test::ConfigFor(camera.hostPort(), &owner, EncodeCredential(user, password));
        CameraSession session(config);
        ManualCheckResult result = session.RunManualCheck();
        currentVersion = session.currentVersion.Get();
        emergency = session.emergency.load();
        owner.Call([] {});  // the boxes queued by the check have been shown
        return result;
    }
    std::vector<std::string> Bodies() {
        std::vector<std::string> bodies;
        for (const auto& r : camera.server().Requests())
            bodies.push_back(r.request.body);
        return bodies;
    }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : boxes.Taken())
            texts.push_back(box.text);
        return texts;
    }

    test::OneCamera camera{test::CameraAt("127.0.2.4")};
    platform::RecordingMessageBoxes boxes;
    platform::EventLoopOwner owner{boxes};
    std::string currentVersion;
    bool emergency = false;
};

TEST_F(ManualCheckTest, AGoodCameraPassesWithoutABox) {
    camera.server().Update([](sim::SimCamera& c) {
        c.docType = "TR60-B";
        c.softVersion = "2.31";
    });
    auto result = Check();
    EXPECT_TRUE(result.passed);
    EXPECT_EQ(result.fault, CameraFault::None);
    EXPECT_EQ(result.system.model, "XQT-TR60");
    EXPECT_EQ(result.system.serial, "1000001");
    EXPECT_EQ(result.docType, "TR60-B");
    EXPECT_EQ(currentVersion, "ver2.31");
    EXPECT_EQ(Bodies(), (std::vector<std::string>{"inq=system", "inq=user"}));
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ManualCheckTest, AnEmergencyCameraNeedsNoUserCheck) {
    camera.server().Update([](sim::SimCamera& c) { c.emergency = true; });
    auto result = Check("nobody", "wrong");
    EXPECT_TRUE(result.passed);
    EXPECT_TRUE(emergency);
    EXPECT_EQ(currentVersion, "unknown");
    EXPECT_EQ(Bodies(), std::vector<std::string>{"inq=system"});
}

TEST_F(ManualCheckTest, AnotherUsersCredentialIsRefused) {
    auto result = Check("user", "user");
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.fault, CameraFault::NotAdministrator);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Level 4 users other than Administrator cannot run the program."});
}

TEST_F(ManualCheckTest, AWrongPasswordIsRefused) {
    auto result = Check("admin", "nimda");
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.fault, CameraFault::LoginRefused);
    EXPECT_EQ(result.userAnswer, "401 Unauthorized");
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Please enter correct user name and password for the administrator."});
}

TEST_F(ManualCheckTest, AnUnlistedModelEndsTheCheckAfterTheSystemInquiry) {
    camera.server().Update([](sim::SimCamera& c) { c.model = "XQT-DM10"; });
    auto result = Check();
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.fault, CameraFault::ModelNotAccepted);
    EXPECT_EQ(Bodies(), std::vector<std::string>{"inq=system"});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "This program works for the XQT-TR60. Please select the correct camera."});
}

TEST_F(ManualCheckTest, ACameraThatDoesNotAnswerTheUserInquiryIsNotFound) {
    camera.server().Update([](sim::SimCamera& c) {
        c.http.neverAnswer = true;
        c.http.onlyFor = {"inq=user"};
    });
    auto result = Check();
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.fault, CameraFault::NoAnswer);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Cannot find the camera. (The camera may be turned off.)"});
}

TEST_F(ManualCheckTest, AUserListWithoutAdministratorIsNotFoundEither) {
    camera.server().Update([](sim::SimCamera& c) { c.users = {{"admin", "admin", false}}; });
    auto result = Check();
    EXPECT_EQ(result.fault, CameraFault::AdministratorUnknown);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Cannot find the camera. (The camera may be turned off.)"});
}

// A camera that said nothing has named no model: its box says so, and the exchange says why.
TEST_F(ManualCheckTest, ASilentCameraIsToldApartFromTheWrongModel) {
    struct Case {
        const char* name;
        std::function<void(sim::SimCamera&)> arrange;  // null: nothing listens at the address
        CameraFault fault;
        const char* box;
    };
    const Case cases[] = {
        {"refused", nullptr, CameraFault::ConnectionRefused,
         "The camera did not answer (connection refused)."},
        {"reset", [](sim::SimCamera& c) { c.http.resetConnection = true; }, CameraFault::ConnectionBroken,
         "The camera did not answer (the connection broke off without an answer)."},
        {"not HTTP", [](sim::SimCamera& c) { c.http.garbage = true; }, CameraFault::ConnectionBroken,
         "The camera did not answer (the connection broke off without an answer)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::OneCamera peer{test::CameraAt("127.0.2.5")};
        if (c.arrange) {
            peer.server().Update(c.arrange);
        } else {
            peer.fleet.Stop();
        }
        platform::RecordingMessageBoxes shown;
        platform::EventLoopOwner boxOwner{shown};
        CameraSession session(
            test::ConfigFor(peer.hostPort(), &boxOwner, EncodeCredential("admin", "admin")));
        const ManualCheckResult result = session.RunManualCheck();
        boxOwner.Call([] {});
        EXPECT_FALSE(result.passed);
        EXPECT_EQ(result.fault, c.fault);
        EXPECT_EQ(result.systemAnswer, "");
        ASSERT_EQ(shown.Taken().size(), 1u);
        EXPECT_EQ(shown.Taken()[0].text, c.box);
    }
}

}  // namespace
}  // namespace xqt

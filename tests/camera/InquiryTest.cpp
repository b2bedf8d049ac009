// Reading the inquiry answers: model and versions, emergency state, the administrator check in both
// modes, DocType, MAC address and PanTilt.
#include <gtest/gtest.h>

#include "SimHelpers.h"

namespace xqt {
namespace {

using platform::MbIcon;

class InquiryTest : public ::testing::Test {
  protected:
    InquiryTest() : session(test::ConfigFor("127.0.0.1:9", &owner)) {}

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : owner.boxes())
            texts.push_back(box.text);
        return texts;
    }

    test::RecordingOwner owner;
    CameraSession session;
};

const char* kWrongModel = "This program works for the XQT-TR60. Please select the correct camera.";

TEST_F(InquiryTest, AnAcceptedModelRecordsTheRunningVersion) {
    EXPECT_TRUE(session.CheckModelAndVersion("ModelName=XQT-TR60&SoftVersion=2.31&Serial=1&", true));
    EXPECT_EQ(session.currentVersion.Get(), "ver2.31");
    EXPECT_EQ(session.reportedVersion.Get(), "ver2.31");
    EXPECT_FALSE(session.emergency.load());
    EXPECT_TRUE(owner.boxes().empty());
}

TEST_F(InquiryTest, LaterAnswersUpdateOnlyTheReportedVersion) {
    ASSERT_TRUE(session.CheckModelAndVersion("ModelName=XQT-TR60N&SoftVersion=1.10&", false));
    ASSERT_TRUE(session.CheckModelAndVersion("ModelName=XQT-TR60N&SoftVersion=1.23&", false));
    EXPECT_EQ(session.currentVersion.Get(), "ver1.10");
    EXPECT_EQ(session.reportedVersion.Get(), "ver1.23");
}

TEST_F(InquiryTest, ModelsAreComparedExactly) {
    for (const char* answer : {"ModelName=xqt-tr60&SoftVersion=1.10&", "ModelName=XQT-TR6&SoftVersion=1.10&",
                               "ModelName=XQT-TR60 &SoftVersion=1.10&", "SoftVersion=1.10&", ""}) {
        EXPECT_FALSE(session.CheckModelAndVersion(answer, false)) << answer;
    }
    EXPECT_EQ(session.currentVersion.Get(), "");
    EXPECT_TRUE(owner.boxes().empty());
}

TEST_F(InquiryTest, AModelThatIsTheLastFieldIsNotAccepted) {
    EXPECT_FALSE(session.CheckModelAndVersion("SoftVersion=1.10&ModelName=XQT-TR60", false));
}

TEST_F(InquiryTest, ARefusedModelShowsTheWrongModelBoxOnlyWhenAsked) {
    EXPECT_FALSE(session.CheckModelAndVersion("ModelName=XQT-DM10&", false));
    EXPECT_TRUE(owner.boxes().empty());
    EXPECT_FALSE(session.CheckModelAndVersion("ModelName=XQT-DM10&", true));
    auto boxes = owner.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kWrongModel);
    EXPECT_EQ(boxes[0].caption, "Information");
    EXPECT_EQ(boxes[0].icon, MbIcon::Exclamation);
}

TEST_F(InquiryTest, AnEmergencyCameraRunsAnUnknownVersion) {
    EXPECT_TRUE(session.CheckModelAndVersion("ModelName=XQT-TR60&SoftVersion=emergency&", false));
    EXPECT_TRUE(session.emergency.load());
    EXPECT_EQ(session.currentVersion.Get(), "unknown");
    EXPECT_EQ(session.reportedVersion.Get(), "veremergency");
}

TEST_F(InquiryTest, AVersionThatIsTheLastFieldOnlyCountsForEmergency) {
    EXPECT_TRUE(session.CheckModelAndVersion("ModelName=XQT-TR60&SoftVersion=1.10", false));
    EXPECT_EQ(session.currentVersion.Get(), "");
    EXPECT_EQ(session.reportedVersion.Get(), "ver");

    CameraSession other(test::ConfigFor("127.0.0.1:9"));
    EXPECT_TRUE(other.CheckModelAndVersion("ModelName=XQT-TR60&SoftVersion=emergency", false));
    EXPECT_TRUE(other.emergency.load());
    EXPECT_EQ(other.currentVersion.Get(), "unknown");
}

TEST_F(InquiryTest, AnAnswerWithoutVersionIsAcceptedAndRecordsNothing) {
    EXPECT_TRUE(session.CheckModelAndVersion("ModelName=XQT-TR60P&Serial=9&", false));
    EXPECT_EQ(session.currentVersion.Get(), "");
    EXPECT_EQ(session.reportedVersion.Get(), "");
}

TEST_F(InquiryTest, ParseSystemAnswerGivesModelVersionAndSerial) {
    auto fields =
        session.ParseSystemAnswer("ModelName=XQT-TR60&Serial=1000001&SoftVersion=1.10&DocType=B&", true);
    EXPECT_TRUE(fields.accepted);
    EXPECT_EQ(fields.model, "XQT-TR60");
    EXPECT_EQ(fields.version, "1.10");
    EXPECT_EQ(fields.serial, "1000001");

    CameraSession emergency(test::ConfigFor("127.0.0.1:9"));
    auto broken = emergency.ParseSystemAnswer("ModelName=XQT-TR60&SoftVersion=emergency&Serial=7", false);
    EXPECT_TRUE(broken.accepted);
    EXPECT_EQ(broken.version, "unknown");
    EXPECT_EQ(broken.serial, "7");
    EXPECT_TRUE(owner.boxes().empty());
}

TEST_F(InquiryTest, ALineEndIsNeverPartOfAValue) {
    // CGI programs end their output with a line end, and some put one between fields.
    for (const char* end : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(::testing::PrintToString(end));
        CameraSession fresh(test::ConfigFor("127.0.0.1:9"));
        auto fields = fresh.ParseSystemAnswer(
            std::string("ModelName=XQT-TR60&SoftVersion=1.23&DocType=B") + end + "Serial=20060015" + end,
            false);
        EXPECT_TRUE(fields.accepted);
        EXPECT_EQ(fields.serial, "20060015");
        EXPECT_EQ(CameraSession::ReadDocType(std::string("ModelName=A&DocType=B") + end + "x"), "B");
        EXPECT_EQ(fresh.inquiredSerial.Get(), "20060015");
        // A line end completes the last value as an "&" would: the running version is recorded.
        CameraSession last(test::ConfigFor("127.0.0.1:9"));
        EXPECT_TRUE(
            last.CheckModelAndVersion(std::string("ModelName=XQT-TR60&SoftVersion=1.23") + end, false));
        EXPECT_EQ(last.currentVersion.Get(), "ver1.23");
    }
}

// Who answers after the reboot, told by the serial alone (no MAC was learnt, so nothing is asked):
// however either answer ends, and never "the same camera" when nothing tells.
TEST_F(InquiryTest, TheCameraAfterTheRebootIsToldByItsSerialHoweverTheAnswerEnds) {
    const struct {
        const char* before;
        const char* after;
        CameraMatch match;
    } cases[] = {
        {"ModelName=XQT-TR60&SoftVersion=1.10&Serial=1000001", "ModelName=XQT-TR60&Serial=2000002",
         CameraMatch::Other},
        {"ModelName=XQT-TR60&SoftVersion=1.10&Serial=1000001", "ModelName=XQT-TR60&Serial=1000001\r\n",
         CameraMatch::Same},
        {"ModelName=XQT-TR60&SoftVersion=1.10&Serial=1000001&", "ModelName=XQT-TR60&SoftVersion=1.23",
         CameraMatch::Unknown},
        {"ModelName=XQT-TR60&SoftVersion=1.10&", "ModelName=XQT-TR60&Serial=2000002&", CameraMatch::Unknown},
        {"ModelName=XQT-TR60&SoftVersion=1.10&Serial=1000001&", "", CameraMatch::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.before) + " / " + c.after);
        CameraSession fresh(test::ConfigFor("127.0.0.1:9"));
        ASSERT_TRUE(fresh.ParseSystemAnswer(c.before, false).accepted);
        EXPECT_EQ(fresh.MatchCamera(c.after), c.match);
    }
}

TEST_F(InquiryTest, ParseSystemAnswerRefusesWhatIsNoListedModel) {
    auto fields = session.ParseSystemAnswer("ModelName=XQT-DM10&Serial=5&SoftVersion=3.0&", true);
    EXPECT_FALSE(fields.accepted);
    EXPECT_EQ(fields.model, "XQT-DM10");
    EXPECT_EQ(fields.serial, "5");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kWrongModel});

    EXPECT_FALSE(session.ParseSystemAnswer("", false).accepted);  // no answer at all
}

TEST_F(InquiryTest, AnEmptyModelIsNeverAccepted) {
    auto config = test::ConfigFor("127.0.0.1:9");
    config.modelList = ModelList{"", "XQT-TR60"};
    CameraSession odd(config);
    EXPECT_TRUE(odd.CheckModelAndVersion("ModelName=&", false));
    EXPECT_FALSE(odd.ParseSystemAnswer("ModelName=&", false).accepted);
}

// The administrator check. The session's credential is admin:admin ("YWRtaW46YWRtaW4=").

TEST_F(InquiryTest, TheAdministratorsOwnCredentialPasses) {
    EXPECT_TRUE(session.CheckAdministrator("Administrator=YWRtaW46YWRtaW4%3D&User1=operator&"));
    EXPECT_TRUE(session.CheckAdministrator("UserCount=0&Administrator=YWRtaW46YWRtaW4%3D"));
    EXPECT_TRUE(owner.boxes().empty());
}

TEST_F(InquiryTest, EscapedPaddingMatchesEveryTrailingEqualsSign) {
    auto config = test::ConfigFor("127.0.0.1:9", &owner, "YWRtaW46eA==");  // admin:x
    CameraSession twoPads(config);
    EXPECT_TRUE(twoPads.CheckAdministrator("Administrator=YWRtaW46eA%3D%3D&"));
    EXPECT_FALSE(twoPads.CheckAdministrator("Administrator=YWRtaW46eA%3D&"));
}

TEST_F(InquiryTest, ManualModeExplainsEachRefusalInABox) {
    EXPECT_FALSE(session.CheckAdministrator("401 Unauthorized"));
    EXPECT_FALSE(session.CheckAdministrator("User1=operator&UserCount=1"));
    EXPECT_FALSE(session.CheckAdministrator("Administrator=cm9vdDp2ZXhv&"));
    EXPECT_FALSE(session.CheckAdministrator("Administrator=ywrtaw46ywrtaw4%3D&"));  // case matters
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Please enter correct user name and password for the administrator.",
                              "Cannot find the camera. (The camera may be turned off.)",
                              "Level 4 users other than Administrator cannot run the program.",
                              "Level 4 users other than Administrator cannot run the program.",
                          }));
    for (const auto& box : owner.boxes()) {
        EXPECT_EQ(box.caption, "Information");
        EXPECT_EQ(box.icon, MbIcon::Exclamation);
    }
}

TEST_F(InquiryTest, AutomaticModeRecordsTheStatusAndShowsNothing) {
    SessionConfig config = test::ConfigFor("127.0.0.1:9", &owner);
    config.mode = SessionMode::Automatic;
    CameraSession automatic(config);
    EXPECT_FALSE(automatic.CheckAdministrator("401 Unauthorized"));
    EXPECT_EQ(automatic.status.load(), static_cast<std::int32_t>(UpgradeStatus::Error3));
    EXPECT_FALSE(automatic.CheckAdministrator(""));
    EXPECT_EQ(automatic.status.load(), static_cast<std::int32_t>(UpgradeStatus::Error1));
    EXPECT_FALSE(automatic.CheckAdministrator("Administrator=cm9vdDp2ZXhv&"));
    EXPECT_EQ(automatic.status.load(), static_cast<std::int32_t>(UpgradeStatus::Error3));
    EXPECT_TRUE(owner.boxes().empty());
}

TEST_F(InquiryTest, DocTypeRunsToTheNextAmpersandOrTheEnd) {
    EXPECT_EQ(CameraSession::ReadDocType("ModelName=A&DocType=TR60N-2&PanTiltFunc=0"), "TR60N-2");
    EXPECT_EQ(CameraSession::ReadDocType("ModelName=A&DocType=B7"), "B7");
    EXPECT_EQ(CameraSession::ReadDocType("ModelName=A&"), "");
}

TEST_F(InquiryTest, MacAddressesGetDashes) {
    EXPECT_EQ(CameraSession::ParseMacAddress("MacAddress=08:00:46:1A:00:01&IpAddress=1.2.3.4"),
              "08-00-46-1A-00-01");
    EXPECT_EQ(CameraSession::ParseMacAddress("IpAddress=1.2.3.4&MacAddress=08:00:46:1A:00:02"),
              "08-00-46-1A-00-02");
    EXPECT_FALSE(CameraSession::ParseMacAddress("MacAddress=&IpAddress=1.2.3.4").has_value());
    EXPECT_FALSE(CameraSession::ParseMacAddress("IpAddress=1.2.3.4").has_value());
    EXPECT_FALSE(CameraSession::ParseMacAddress("").has_value());
}

TEST_F(InquiryTest, PanTiltIsNotedFromTheLastAnswerAndNeverForgotten) {
    session.lastAnswer.Set("ModelName=XQT-TR60P&PanTiltFunc=0&");
    session.NotePanTilt();
    EXPECT_FALSE(session.hasPanTilt.load());
    session.lastAnswer.Set("ModelName=XQT-TR60P&PanTiltFunc=1&");
    session.NotePanTilt();
    EXPECT_TRUE(session.hasPanTilt.load());
    session.lastAnswer.Set("ModelName=XQT-TR60P&PanTiltFunc=0&");
    session.NotePanTilt();
    EXPECT_TRUE(session.hasPanTilt.load());
}

}  // namespace
}  // namespace xqt

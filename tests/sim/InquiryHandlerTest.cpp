// How a simulated camera answers inquiries: the answer texts, the login rules and the fault knobs,
// checked on the response scripts without sockets.
#include <gtest/gtest.h>

#include "sim/InquiryHandler.h"

namespace xqt::sim {
namespace {

using namespace std::chrono_literals;

SimRequest Inquiry(const std::string& body, const std::string& user = "", const std::string& password = "") {
    SimRequest r{"POST", "/command/inquiry.cgi", "", body};
    if (!user.empty()) r.authorization = "Basic " + SimBase64(user + ":" + password);
    return r;
}

std::string BodyOf(const std::string& response) {
    return response.substr(response.find("\r\n\r\n") + 4);
}
std::string StatusOf(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

class InquiryHandlerTest : public ::testing::Test {
  protected:
    SimResponse Handle(const SimRequest& request) { return HandleInquiry(camera, request, 1.0); }
    SimCamera camera;
};

TEST_F(InquiryHandlerTest, TheSystemAnswerCarriesTheKeysTheToolReads) {
    camera.docType = "TR60-B";
    camera.panTilt = true;
    const std::string answer = SystemAnswer(camera);
    EXPECT_EQ(answer.rfind("ModelName=XQT-TR60&", 0), 0u);
    EXPECT_NE(answer.find("&Serial=1000001&"), std::string::npos);
    EXPECT_NE(answer.find("&SoftVersion=1.10&"), std::string::npos);
    EXPECT_NE(answer.find("&DocType=TR60-B&"), std::string::npos);
    EXPECT_NE(answer.find("PanTiltFunc=1"), std::string::npos);
    camera.emergency = true;
    camera.panTilt = false;
    EXPECT_NE(SystemAnswer(camera).find("&SoftVersion=emergency&"), std::string::npos);
    EXPECT_EQ(SystemAnswer(camera).find("PanTiltFunc=1"), std::string::npos);
}

TEST_F(InquiryHandlerTest, TheUserAnswerNamesTheAdministratorInEscapedBase64) {
    camera.users = {{"operator", "op", false}, {"admin", "admin", true}};
    EXPECT_EQ(UserAnswer(camera), "Administrator=YWRtaW46YWRtaW4%3D&User1=operator&UserCount=1");
    camera.users = {{"operator", "op", false}};
    EXPECT_EQ(UserAnswer(camera), "User1=operator&UserCount=1");
}

TEST_F(InquiryHandlerTest, TheNetworkAnswerCarriesTheMacAddress) {
    EXPECT_EQ(NetworkAnswer(camera).rfind("MacAddress=08:00:46:00:00:01&", 0), 0u);
}

TEST_F(InquiryHandlerTest, OnlyTheUserInquiryNeedsAKnownUser) {
    EXPECT_EQ(StatusOf(Handle(Inquiry("inq=system")).SentBytes()), "HTTP/1.1 200 OK");
    EXPECT_EQ(StatusOf(Handle(Inquiry("inq=network")).SentBytes()), "HTTP/1.1 200 OK");
    const std::string refused = Handle(Inquiry("inq=user", "admin", "wrong")).SentBytes();
    EXPECT_EQ(StatusOf(refused), "HTTP/1.1 401 Unauthorized");
    EXPECT_NE(refused.find("\r\nWWW-Authenticate: Basic"), std::string::npos);
    EXPECT_EQ(BodyOf(Handle(Inquiry("inq=user", "user", "user")).SentBytes()), UserAnswer(camera));
    EXPECT_EQ(BodyOf(Handle(Inquiry("inq=user", "admin", "admin")).SentBytes()), UserAnswer(camera));
}

TEST_F(InquiryHandlerTest, LoginKnobsRefuseMore) {
    camera.http.authenticateAll = true;
    EXPECT_EQ(StatusOf(Handle(Inquiry("inq=system")).SentBytes()), "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(StatusOf(Handle(Inquiry("inq=system", "admin", "admin")).SentBytes()), "HTTP/1.1 200 OK");
    camera.http.refuseLogin = true;
    camera.http.challengeBody = "ModelName=XQT-TR60&";
    const std::string refused = Handle(Inquiry("inq=system", "admin", "admin")).SentBytes();
    EXPECT_EQ(StatusOf(refused), "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(BodyOf(refused), "ModelName=XQT-TR60&");
}

TEST_F(InquiryHandlerTest, FaultsApplyOnlyToTheNamedInquiries) {
    camera.http.neverAnswer = true;
    camera.http.onlyFor = {"inq=user"};
    EXPECT_EQ(Handle(Inquiry("inq=user", "admin", "admin")).steps().back().kind,
              SimResponse::Step::Kind::Stall);
    EXPECT_EQ(Handle(Inquiry("inq=system")).steps().back().kind, SimResponse::Step::Kind::Send);
}

TEST_F(InquiryHandlerTest, PaddingPiecesAndDelaysShapeTheResponse) {
    camera.http.padAnswerTo = 6000;
    camera.http.pieceSize = 100;
    camera.http.pieceDelayMs = 3;
    camera.http.answerDelayMs = 40;
    SimResponse r = HandleInquiry(camera, Inquiry("inq=system"), 0.5);
    const std::string body = BodyOf(r.SentBytes());
    EXPECT_EQ(body.size(), 6000u);
    EXPECT_EQ(body.rfind(SystemAnswer(camera) + "&Filler=", 0), 0u);
    ASSERT_EQ(r.steps().front().kind, SimResponse::Step::Kind::Wait);
    EXPECT_EQ(r.steps().front().delay, 20ms);  // scaled by 0.5
    std::size_t sends = 0, waits = 0;
    for (const auto& step : r.steps()) {
        if (step.kind == SimResponse::Step::Kind::Send) {
            EXPECT_LE(step.bytes.size(), 100u);
            ++sends;
        } else if (step.kind == SimResponse::Step::Kind::Wait && step.delay == 2ms) {
            ++waits;
        }
    }
    EXPECT_EQ(sends, (r.SentBytes().size() + 99) / 100);
    EXPECT_EQ(waits, sends - 1);
}

TEST_F(InquiryHandlerTest, GarbageResetAndCloseDelimitedAnswers) {
    camera.http.garbage = true;
    EXPECT_EQ(Handle(Inquiry("inq=system")).SentBytes().rfind("HTTP/", 0), std::string::npos);
    camera.http.garbage = false;
    camera.http.resetConnection = true;
    EXPECT_EQ(Handle(Inquiry("inq=system")).steps().back().kind, SimResponse::Step::Kind::Reset);
    camera.http.resetConnection = false;
    camera.http.closeDelimited = true;
    const std::string sent = Handle(Inquiry("inq=system")).SentBytes();
    EXPECT_EQ(StatusOf(sent), "HTTP/1.0 200 OK");
    EXPECT_EQ(sent.find("Content-Length"), std::string::npos);
    EXPECT_EQ(BodyOf(sent), SystemAnswer(camera));
}

TEST_F(InquiryHandlerTest, AnswersCanBeReplacedWordForWord) {
    camera.http.answers["inq=system"] = "ModelName=XQT-TR60";
    EXPECT_EQ(BodyOf(Handle(Inquiry("inq=system")).SentBytes()), "ModelName=XQT-TR60");
}

TEST_F(InquiryHandlerTest, OtherRequestsAreRefused) {
    EXPECT_EQ(StatusOf(Handle(Inquiry("inq=everything")).SentBytes()), "HTTP/1.1 400 Bad Request");
    SimRequest get{"GET", "/command/inquiry.cgi", "", ""};
    EXPECT_EQ(StatusOf(Handle(get).SentBytes()), "HTTP/1.1 405 Method Not Allowed");
}

TEST_F(InquiryHandlerTest, TextsGoOutInTheEightBitCodePage) {
    camera.serial = "\xC3\x9C-1";  // "Ü-1"
    EXPECT_NE(Handle(Inquiry("inq=system")).SentBytes().find("Serial=\xDC-1&"), std::string::npos);
}

}  // namespace
}  // namespace xqt::sim

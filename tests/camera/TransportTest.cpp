// The short exchange against a simulated camera: the bytes sent, the answer read whole, the cap,
// the challenge, the wait limit and cancellation.
#include <gtest/gtest.h>

#include <thread>

#include "SimHelpers.h"
#include "camera/ShortRequest.h"
#include "sim/InquiryHandler.h"
#include "tests/support/Slowdown.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;
using test::ConfigFor;
using test::ElapsedSince;

class TransportTest : public ::testing::Test {
  protected:
    explicit TransportTest(const char* ip = "127.0.2.1") : camera(test::CameraAt(ip)) {}

    std::string Post(std::string_view body, std::chrono::milliseconds limit = 2s) {
        CameraSession session(ConfigFor(camera.hostPort()));
        return session.PostShortRequest(body, limit);
    }
    void Knobs(const std::function<void(sim::HttpKnobs&)>& change) {
        camera.server().Update([&](sim::SimCamera& c) { change(c.http); });
    }
    std::string SystemAnswer() { return sim::SystemAnswer(camera.server().Camera()); }

    test::OneCamera camera;
};

TEST_F(TransportTest, TheRequestIsOnePostWithTheAgentTheAuthorizationAndTheBody) {
    ASSERT_FALSE(Post("inq=system").empty());
    auto requests = camera.server().Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "POST /command/inquiry.cgi HTTP/1.1\r\n"
              "Authorization: Basic YWRtaW46YWRtaW4=\r\n"
              "User-Agent: XQT Upgrade Tool\r\n"
              "Host: " +
                  camera.hostPort() +
                  "\r\n"
                  "Content-Length: 10\r\n"
                  "\r\n"
                  "inq=system");
}

TEST_F(TransportTest, TheAnswerIsTheCamerasBody) {
    EXPECT_EQ(Post("inq=system"), SystemAnswer());
}

TEST_F(TransportTest, AChallengeGivesUnauthorizedWhateverTheBodySays) {
    Knobs([](sim::HttpKnobs& k) {
        k.refuseLogin = true;
        k.challengeBody = "ModelName=XQT-TR60&SoftVersion=1.10&Administrator=YWRtaW46YWRtaW4%3D&";
    });
    EXPECT_EQ(Post("inq=system"), "401 Unauthorized");
    EXPECT_EQ(Post("inq=user"), "401 Unauthorized");
}

TEST_F(TransportTest, AnAnswerLongerThan5120BytesIsCut) {
    Knobs([](sim::HttpKnobs& k) { k.padAnswerTo = 9000; });
    const std::string answer = Post("inq=system");
    EXPECT_EQ(answer.size(), 5120u);
    EXPECT_EQ(answer.substr(0, SystemAnswer().size()), SystemAnswer());
}

TEST_F(TransportTest, AnAnswerInManySmallPiecesIsReadWhole) {
    Knobs([](sim::HttpKnobs& k) {
        k.pieceSize = 7;
        k.pieceDelayMs = 2;
    });
    EXPECT_EQ(Post("inq=system"), SystemAnswer());
}

TEST_F(TransportTest, AnAnswerEndedByClosingInPiecesIsReadWhole) {
    Knobs([](sim::HttpKnobs& k) {
        k.closeDelimited = true;
        k.pieceSize = 5;
        k.pieceDelayMs = 1;
    });
    EXPECT_EQ(Post("inq=system"), SystemAnswer());
}

TEST_F(TransportTest, ACameraThatNeverAnswersGivesTheEmptyAnswerAtTheLimit) {
    Knobs([](sim::HttpKnobs& k) { k.neverAnswer = true; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Post("inq=system", 300ms), "");
    const auto elapsed = ElapsedSince(start);
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, test::AtTheLimit(300ms));  // the limit, not some library time-out
    // The abandoned exchange's connection is closed: the camera sees the client leave.
    EXPECT_TRUE(test::WaitFor([&] { return camera.server().OpenConnections() == 0; }, 10 * 300ms));
}

TEST_F(TransportTest, AnAnswerAfterTheLimitIsNotWaitedFor) {
    // The camera (at time scale 1) would answer fifteen limits late, stretched for the tree.
    const auto late = test::Allow(3000ms);
    Knobs([&](sim::HttpKnobs& k) { k.answerDelayMs = static_cast<int>(late.count()); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Post("inq=system", 200ms), "");
    EXPECT_LT(ElapsedSince(start), late);
}

TEST_F(TransportTest, AnAnswerWithinTheLimitIsTaken) {
    Knobs([](sim::HttpKnobs& k) { k.answerDelayMs = 50; });
    EXPECT_EQ(Post("inq=system", 5s), SystemAnswer());
}

TEST_F(TransportTest, GarbageAResetOrNobodyListeningGiveTheEmptyAnswer) {
    Knobs([](sim::HttpKnobs& k) { k.garbage = true; });
    EXPECT_EQ(Post("inq=system"), "");
    Knobs([](sim::HttpKnobs& k) {
        k.garbage = false;
        k.resetConnection = true;
    });
    EXPECT_EQ(Post("inq=system"), "");

    const std::string closed = camera.hostPort();
    camera.fleet.Stop();
    CameraSession session(ConfigFor(closed));
    EXPECT_EQ(session.PostShortRequest("inq=system", 2s), "");
}

TEST_F(TransportTest, AnUnusablePortIsRefusedWithoutContactingAnyCamera) {
    const auto port = camera.server().Camera().webPort;
    for (const std::string& hostPort :
         {"127.0.2.1:" + std::to_string(port + 65536), std::string("127.0.2.1:"), std::string("not-an-ip")}) {
        CameraSession session(ConfigFor(hostPort));
        EXPECT_EQ(session.PostShortRequest("inq=system", 2s), "") << hostPort;
    }
    EXPECT_TRUE(camera.server().Requests().empty());
}

TEST_F(TransportTest, ResultCodesTellWhatHappened) {
    detail::Cancellation cancel;
    auto run = [&](const std::string& hostPort) {
        return detail::RunShortRequest({hostPort, "/command/inquiry.cgi", "inq=user", "YWRtaW46YWRtaW4="},
                                       std::chrono::steady_clock::now() + 2s, cancel);
    };
    EXPECT_EQ(run(camera.hostPort()).code, detail::SHORT_OK);
    Knobs([](sim::HttpKnobs& k) { k.refuseLogin = true; });
    EXPECT_EQ(run(camera.hostPort()).code, detail::SHORT_CHALLENGED);
    EXPECT_EQ(run("127.0.2.1:0").code, detail::SHORT_NOT_OPENED);
    Knobs([](sim::HttpKnobs& k) { k.garbage = true; });
    EXPECT_EQ(run(camera.hostPort()).code, detail::SHORT_FAILED);
}

TEST_F(TransportTest, ACredentialWithALineBreakIsNeverSent) {
    CameraSession session(ConfigFor(camera.hostPort(), nullptr, "YWRt\r\nX-Injected: 1"));
    EXPECT_EQ(session.PostShortRequest("inq=system", 2s), "");
    EXPECT_TRUE(camera.server().Requests().empty());
}

TEST_F(TransportTest, CancellingAbandonsTheExchangeAtOnce) {
    Knobs([](sim::HttpKnobs& k) { k.neverAnswer = true; });
    CameraSession session(ConfigFor(camera.hostPort()));
    std::thread canceller([&] {
        camera.server().WaitForRequests(1, test::Allow(5s));
        std::this_thread::sleep_for(test::Allow(20ms));
        session.Cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    const auto limit = 60s;
    EXPECT_EQ(session.PostShortRequest("inq=system", limit), "");
    canceller.join();
    EXPECT_LT(ElapsedSince(start), limit / 2) << "cancelled, not timed out";
    EXPECT_TRUE(session.IsCancelled());
    EXPECT_EQ(session.PostShortRequest("inq=system", 60s), "");  // stays cancelled
    EXPECT_FALSE(session.Pause(60s));
}

TEST_F(TransportTest, TextsCrossTheWireInTheEightBitCodePage) {
    camera.server().Update([](sim::SimCamera& c) { c.serial = "\xC3\x9Cnit-\xE2\x82\xAC"; });  // "Ünit-€"
    EXPECT_NE(Post("inq=system").find("Serial=\xC3\x9Cnit-\xE2\x82\xAC&"), std::string::npos);
}

class AsyncInquiryTest : public TransportTest {
  protected:
    AsyncInquiryTest() : TransportTest("127.0.2.2") {}
};

TEST_F(AsyncInquiryTest, RunsOnItsOwnThreadAndIsPolledUntilDone) {
    Knobs([](sim::HttpKnobs& k) { k.answerDelayMs = 100; });
    CameraSession session(ConfigFor(camera.hostPort()));
    EXPECT_FALSE(session.IsInquiryDone());
    const auto before = std::chrono::steady_clock::now();
    session.InquireAsync("inq=network");
    EXPECT_GE(session.AsyncStartTime(), before);
    EXPECT_FALSE(session.IsInquiryDone());
    EXPECT_EQ(session.AsyncAnswer(), "");
    while (!session.IsInquiryDone())
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(session.AsyncAnswer(), sim::NetworkAnswer(camera.server().Camera()));
}

TEST_F(AsyncInquiryTest, GivesUpAtTheInquiryLimit) {
    Knobs([](sim::HttpKnobs& k) { k.neverAnswer = true; });
    CameraSession session(ConfigFor(camera.hostPort()));  // inquiry limit 1 s
    session.InquireAsync("inq=network");
    while (!session.IsInquiryDone())
        std::this_thread::sleep_for(5ms);
    EXPECT_GE(ElapsedSince(session.AsyncStartTime()), 1000ms);
    EXPECT_EQ(session.AsyncAnswer(), "");
}

TEST_F(AsyncInquiryTest, DeletingTheSessionEndsARunningJob) {
    Knobs([](sim::HttpKnobs& k) { k.neverAnswer = true; });
    auto config = ConfigFor(camera.hostPort());
    config.timing.inquiryLimit = 60s;
    const auto start = std::chrono::steady_clock::now();
    {
        CameraSession session(config);
        session.InquireAsync("inq=network");
        camera.server().WaitForRequests(1, test::Allow(5s));
    }
    EXPECT_LT(ElapsedSince(start), config.timing.inquiryLimit / 2) << "ended, not timed out";
}

TEST_F(AsyncInquiryTest, ANewJobReplacesTheRunningOne) {
    Knobs([](sim::HttpKnobs& k) {
        k.neverAnswer = true;
        k.onlyFor = {"inq=system"};
    });
    auto config = ConfigFor(camera.hostPort());
    config.timing.inquiryLimit = 60s;
    CameraSession session(config);
    session.InquireAsync("inq=system");
    camera.server().WaitForRequests(1, test::Allow(5s));
    session.InquireAsync("inq=network");
    while (!session.IsInquiryDone())
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(session.AsyncAnswer(), sim::NetworkAnswer(camera.server().Camera()));
}

}  // namespace
}  // namespace xqt

// The streamed POST skeleton: the head in the caller's order, the declared length, the body, the
// response, and a deadline on every step.
#include <gtest/gtest.h>

#include <thread>

#include "SimHelpers.h"
#include "camera/StreamedPost.h"
#include "sim/InquiryHandler.h"
#include "tests/support/Slowdown.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;
using test::ElapsedSince;

class StreamedPostTest : public ::testing::Test {
  protected:
    std::string ReadAll(StreamedPost& post, StreamRead::Status* last = nullptr) {
        std::string body;
        char buffer[24];
        for (;;) {
            StreamRead r = post.Read(buffer, sizeof(buffer));
            if (r.status != StreamRead::Status::Data) {
                if (last) *last = r.status;
                return body;
            }
            EXPECT_LE(r.size, sizeof(buffer));
            body.append(buffer, r.size);
        }
    }

    test::OneCamera camera{test::CameraAt("127.0.2.3")};
};

TEST_F(StreamedPostTest, HeadersGoOutInTheCallersOrderWithTheDeclaredLength) {
    StreamedPost post(5s);
    ASSERT_EQ(post.Open(camera.hostPort(), "/command/test.cgi"), PostStep::Done);
    EXPECT_TRUE(post.AddHeader("Content-Type: multipart/form-data; boundary=B\r\n"));
    EXPECT_TRUE(post.AddHeader("Cache-Control: no-cache\r\n"));
    EXPECT_TRUE(post.AddHeader("Content-Length: 11\r\n"));
    EXPECT_TRUE(post.AddHeader("Authorization: Basic YWRtaW46YWRtaW4=\r\n"));
    ASSERT_EQ(post.Send(11), PostStep::Done);
    ASSERT_EQ(post.Write("hello ", 6), PostStep::Done);
    ASSERT_EQ(post.Write("world", 5), PostStep::Done);
    EXPECT_EQ(post.Written(), 11u);
    ASSERT_EQ(post.Complete(), PostStep::Done);
    EXPECT_EQ(post.StatusCode(), 404);
    StreamRead::Status last{};
    EXPECT_EQ(ReadAll(post, &last), "<HTML><BODY>404 Not Found</BODY></HTML>");
    EXPECT_EQ(last, StreamRead::Status::End);

    auto requests = camera.server().Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "POST /command/test.cgi HTTP/1.1\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
              "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n"
              "Content-Type: multipart/form-data; boundary=B\r\n"
              "Cache-Control: no-cache\r\n"
              "Content-Length: 11\r\n"
              "Authorization: Basic YWRtaW46YWRtaW4=\r\n"
              "User-Agent: XQT Upgrade Tool\r\n"
              "Host: " +
                  camera.hostPort() +
                  "\r\n"
                  "\r\n"
                  "hello world");
}

TEST_F(StreamedPostTest, TheTotalLengthIsDeclaredWhenTheCallerDidNot) {
    StreamedPost post(5s);
    ASSERT_EQ(post.Open(camera.hostPort(), "/x"), PostStep::Done);
    ASSERT_EQ(post.Send(3), PostStep::Done);
    ASSERT_EQ(post.Write("abc", 3), PostStep::Done);
    ASSERT_EQ(post.Complete(), PostStep::Done);
    ASSERT_TRUE(camera.server().WaitForRequests(1, test::Allow(5s)));
    EXPECT_NE(camera.server().Requests()[0].raw.find("\r\nContent-Length: 3\r\n"), std::string::npos);
    EXPECT_EQ(camera.server().Requests()[0].request.body, "abc");
}

TEST_F(StreamedPostTest, BytesBeyondTheDeclaredLengthAreRefusedAndCloseTheRequest) {
    StreamedPost post(5s);
    ASSERT_EQ(post.Open(camera.hostPort(), "/x"), PostStep::Done);
    ASSERT_EQ(post.Send(4), PostStep::Done);
    EXPECT_EQ(post.Write("abcde", 5), PostStep::Failed);
    EXPECT_FALSE(post.IsOpen());
    EXPECT_EQ(post.Write("a", 1), PostStep::Failed);
}

TEST_F(StreamedPostTest, CompletingBeforeTheWholeBodyFails) {
    StreamedPost post(5s);
    ASSERT_EQ(post.Open(camera.hostPort(), "/x"), PostStep::Done);
    ASSERT_EQ(post.Send(10), PostStep::Done);
    ASSERT_EQ(post.Write("abc", 3), PostStep::Done);
    EXPECT_EQ(post.Complete(), PostStep::Failed);
    EXPECT_FALSE(post.IsOpen());
}

TEST_F(StreamedPostTest, MalformedHeadersAndAddressesAreRefused) {
    StreamedPost post(5s);
    EXPECT_FALSE(post.AddHeader("Cache-Control: no-cache\r\n"));  // not open yet
    EXPECT_EQ(post.Open("127.0.2.3:0", "/x"), PostStep::Failed);
    EXPECT_EQ(post.Open("camera.local", "/x"), PostStep::Failed);
    EXPECT_EQ(post.Open(camera.hostPort(), "/x y"), PostStep::Failed);
    ASSERT_EQ(post.Open(camera.hostPort(), "/x"), PostStep::Done);
    EXPECT_FALSE(post.AddHeader("Cache-Control: no-cache"));
    EXPECT_FALSE(post.AddHeader("A: 1\r\nB: 2\r\n"));
    EXPECT_FALSE(post.AddHeader("no colon\r\n"));
    ASSERT_EQ(post.Send(0), PostStep::Done);
    EXPECT_FALSE(post.AddHeader("Late: 1\r\n"));
}

TEST_F(StreamedPostTest, NobodyListeningFailsTheSend) {
    const std::string closed = camera.hostPort();
    camera.fleet.Stop();
    StreamedPost post(5s);
    ASSERT_EQ(post.Open(closed, "/x"), PostStep::Done);
    EXPECT_EQ(post.Send(1), PostStep::Failed);
    EXPECT_FALSE(post.IsOpen());
}

TEST_F(StreamedPostTest, EveryReadHasTheReceiveDeadline) {
    // The camera sends its response header at once and the body only after a long pause.
    const std::string full =
        sim::HandleInquiry(camera.server().Camera(), {"POST", "/command/inquiry.cgi", "", "inq=system"}, 1)
            .SentBytes();
    const int head = static_cast<int>(full.find("\r\n\r\n") + 4);
    camera.server().Update([&](sim::SimCamera& c) {
        c.http.pieceSize = head;
        c.http.pieceDelayMs = 20000;
    });
    StreamedPost post(300ms);
    ASSERT_EQ(post.Open(camera.hostPort(), "/command/inquiry.cgi"), PostStep::Done);
    ASSERT_EQ(post.Send(10), PostStep::Done);
    ASSERT_EQ(post.Write("inq=system", 10), PostStep::Done);
    ASSERT_EQ(post.Complete(), PostStep::Done);
    EXPECT_EQ(post.StatusCode(), 200);
    const auto start = std::chrono::steady_clock::now();
    char buffer[24];
    EXPECT_EQ(post.Read(buffer, sizeof(buffer)).status, StreamRead::Status::TimedOut);
    EXPECT_GE(ElapsedSince(start), 300ms);
    EXPECT_LT(ElapsedSince(start), test::AtTheLimit(300ms));
    EXPECT_FALSE(post.IsOpen());
}

TEST_F(StreamedPostTest, CompletingHasTheReceiveDeadline) {
    camera.server().Update([](sim::SimCamera& c) { c.http.neverAnswer = true; });
    StreamedPost post(300ms);
    ASSERT_EQ(post.Open(camera.hostPort(), "/command/inquiry.cgi"), PostStep::Done);
    ASSERT_EQ(post.Send(10), PostStep::Done);
    ASSERT_EQ(post.Write("inq=system", 10), PostStep::Done);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(post.Complete(), PostStep::Failed);
    EXPECT_GE(ElapsedSince(start), 300ms);
}

TEST_F(StreamedPostTest, CancellingFromAnotherThreadEndsTheStepAtOnce) {
    camera.server().Update([](sim::SimCamera& c) { c.http.neverAnswer = true; });
    const auto limit = 60s;
    StreamedPost post(limit);
    ASSERT_EQ(post.Open(camera.hostPort(), "/command/inquiry.cgi"), PostStep::Done);
    ASSERT_EQ(post.Send(10), PostStep::Done);
    ASSERT_EQ(post.Write("inq=system", 10), PostStep::Done);
    std::thread canceller([&] {
        camera.server().WaitForRequests(1, test::Allow(5s));
        std::this_thread::sleep_for(test::Allow(20ms));
        post.Cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(post.Complete(), PostStep::Failed);
    canceller.join();
    EXPECT_LT(ElapsedSince(start), limit / 2) << "cancelled, not timed out";
    EXPECT_EQ(post.Open(camera.hostPort(), "/x"), PostStep::Done);
    EXPECT_EQ(post.Send(0), PostStep::Failed);  // cancelled for good
}

}  // namespace
}  // namespace xqt

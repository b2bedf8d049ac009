// Reading the answer of a short exchange from the bytes of the response, however they arrive.
#include <gtest/gtest.h>

#include "camera/ShortRequest.h"

namespace xqt::detail {
namespace {

using State = ShortAnswerReader::State;

std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string kAnswer = "ModelName=XQT-TR60&Serial=1000001&SoftVersion=1.10&PanTiltFunc=0&";

TEST(ShortAnswerReaderTest, AWholeResponseGivesItsBody) {
    ShortAnswerReader reader;
    EXPECT_EQ(reader.Feed(Ok(kAnswer)), State::Answer);
    EXPECT_EQ(reader.Answer(), kAnswer);
}

TEST(ShortAnswerReaderTest, AResponseFedByteByByteGivesTheSameBody) {
    ShortAnswerReader reader;
    const std::string response = Ok(kAnswer);
    State state = State::NeedMore;
    for (std::size_t i = 0; i < response.size(); ++i) {
        ASSERT_EQ(state, State::NeedMore) << "decided early at byte " << i;
        state = reader.Feed(response.substr(i, 1));
    }
    EXPECT_EQ(state, State::Answer);
    EXPECT_EQ(reader.Answer(), kAnswer);
}

TEST(ShortAnswerReaderTest, AChallengeIsToldByTheHeaderWhateverStatusAndBody) {
    ShortAnswerReader challenged;
    EXPECT_EQ(challenged.Feed("HTTP/1.1 200 OK\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: " +
                              std::to_string(kAnswer.size()) + "\r\n\r\n" + kAnswer),
              State::Challenged);
    EXPECT_EQ(challenged.Answer(), "");

    ShortAnswerReader statusOnly;  // the status code alone is no challenge
    EXPECT_EQ(statusOnly.Feed("HTTP/1.1 401 Unauthorized\r\nContent-Length: 4\r\n\r\nnope"), State::Answer);
    EXPECT_EQ(statusOnly.Answer(), "nope");
}

TEST(ShortAnswerReaderTest, LongAnswersAreCutAt5120Bytes) {
    std::string body(7000, 'x');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + i % 26);
    ShortAnswerReader reader;
    EXPECT_EQ(reader.Feed(Ok(body).substr(0, 3000)), State::NeedMore);
    EXPECT_EQ(reader.Feed(Ok(body).substr(3000)), State::Answer);
    EXPECT_EQ(reader.Answer(), body.substr(0, ANSWER_CAP));
}

TEST(ShortAnswerReaderTest, TheAnswerEndsAtItsFirstNul) {
    ShortAnswerReader reader;
    reader.Feed(Ok(std::string("ModelName=A&\0hidden", 19)));
    EXPECT_EQ(reader.Answer(), "ModelName=A&");
}

TEST(ShortAnswerReaderTest, ABodyEndedByClosingIsReadToTheClose) {
    ShortAnswerReader reader;
    EXPECT_EQ(reader.Feed("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nModel"), State::NeedMore);
    EXPECT_EQ(reader.Feed("Name=XQT-TR60&"), State::NeedMore);
    EXPECT_EQ(reader.FeedEnd(), State::Answer);
    EXPECT_EQ(reader.Answer(), "ModelName=XQT-TR60&");
}

TEST(ShortAnswerReaderTest, ABodyCutShortByTheCloseKeepsWhatCame) {
    ShortAnswerReader reader;
    EXPECT_EQ(reader.Feed("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nModelName=XQT"), State::NeedMore);
    EXPECT_EQ(reader.FeedEnd(), State::Answer);
    EXPECT_EQ(reader.Answer(), "ModelName=XQT");
}

TEST(ShortAnswerReaderTest, ChunkedBodiesAreDecoded) {
    ShortAnswerReader reader;
    EXPECT_EQ(reader.Feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nModel\r\n"),
              State::NeedMore);
    EXPECT_EQ(reader.Feed("9\r\nName=XQT&\r\n0\r\n\r\n"), State::Answer);
    EXPECT_EQ(reader.Answer(), "ModelName=XQT&");
}

TEST(ShortAnswerReaderTest, InterimResponsesAreSkipped) {
    ShortAnswerReader reader;
    EXPECT_EQ(reader.Feed("HTTP/1.1 100 Continue\r\n\r\n" + Ok("A=1&")), State::Answer);
    EXPECT_EQ(reader.Answer(), "A=1&");
}

TEST(ShortAnswerReaderTest, WhatIsNoHttpResponseFails) {
    ShortAnswerReader garbage;
    EXPECT_EQ(garbage.Feed(std::string("\x16\x03\x01\x00\xff garbage\r\n\r\n", 16)), State::Failed);
    EXPECT_EQ(garbage.Answer(), "");

    ShortAnswerReader closedEarly;
    EXPECT_EQ(closedEarly.Feed("HTTP/1.1 200 OK\r\nContent-Le"), State::NeedMore);
    EXPECT_EQ(closedEarly.FeedEnd(), State::Failed);
}

TEST(ShortAnswerReaderTest, AnEndlessHeaderFailsInsteadOfGrowing) {
    ShortAnswerReader reader;
    State state = reader.Feed("HTTP/1.1 200 OK\r\n");
    for (int i = 0; i < 1000 && state == State::NeedMore; ++i)
        state = reader.Feed("X-Filler: 0123456789abcdef\r\n");
    EXPECT_EQ(state, State::Failed);
}

TEST(ShortAnswerReaderTest, BytesAfterTheDecisionAreIgnored) {
    ShortAnswerReader reader;
    reader.Feed(Ok("A=1&"));
    EXPECT_EQ(reader.Feed("HTTP/1.1 200 OK\r\n"), State::Answer);
    EXPECT_EQ(reader.FeedEnd(), State::Answer);
    EXPECT_EQ(reader.Answer(), "A=1&");
}

}  // namespace
}  // namespace xqt::detail

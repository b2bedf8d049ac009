// Answers the way embedded web servers and their CGI programs send them: the reader takes every form
// a real server produces, and every exchange (inquiry, configuration download, streamed POST) reads
// them through it with the body byte-exact.
#include <gtest/gtest.h>

#include <filesystem>

#include "camera/AnswerReader.h"
#include "camera/ConfigStore.h"
#include "camera/ProgressStream.h"
#include "camera/ShortRequest.h"
#include "camera/StreamedPost.h"
#include "fuzz/support/CannedPeer.h"
#include "tests/camera/config/ConfigTestSupport.h"

namespace xqt::detail {
namespace {

using State = AnswerReader::State;
using namespace std::chrono_literals;

const std::string kBody = "ModelName=XQT-TR60&Serial=20060015\r\n";

struct Form {
    const char* name;
    std::string wire;
    State endState;   ///< after the last byte, before any close
    bool needsClose;  ///< the body ends with the close
    unsigned status;
    std::string body;
};

std::string Length(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size());
}

// A progress stream whose chunk boundaries fall inside the part delimiter.
const std::string kStream =
    "--vexoboundary\r\nContent-Type: text/plain\r\n\r\n(0): 3\r\n--vexoboundary--\r\n";

std::vector<Form> Forms() {
    return {
        {"strict", "HTTP/1.1 200 OK\r\n" + Length(kBody) + "\r\n\r\n" + kBody, State::Done, false, 200,
         kBody},
        {"bare LF header lines",
         "HTTP/1.1 200 OK\nContent-Type: text/plain\n" + Length(kBody) + "\n\n" + kBody, State::Done, false,
         200, kBody},
        {"mixed line ends",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\n" + Length(kBody) + "\r\n\n" + kBody, State::Done,
         false, 200, kBody},
        {"no reason phrase", "HTTP/1.1 200\r\n" + Length(kBody) + "\r\n\r\n" + kBody, State::Done, false, 200,
         kBody},
        {"no reason and bare LF", "HTTP/1.1 200\n" + Length(kBody) + "\n\n" + kBody, State::Done, false, 200,
         kBody},
        {"empty reason", "HTTP/1.1 401 \r\n" + Length(kBody) + "\r\n\r\n" + kBody, State::Done, false, 401,
         kBody},
        {"HTTP/1.0 ended by the close", "HTTP/1.0 200 OK\nContent-Type: text/plain\n\n" + kBody, State::Body,
         true, 200, kBody},
        {"interim answers skipped",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102\n\n\r\nHTTP/1.1 200 OK\r\n" + Length(kBody) + "\r\n\r\n" +
             kBody,
         State::Done, false, 200, kBody},
        {"header names in any case", "HTTP/1.1 200 OK\r\ncontent-LENGTH: 5\r\n\r\nA=1&Bnot-body", State::Done,
         false, 200, "A=1&B"},
        {"chunked, bare LF head, chunks split the delimiter",
         "HTTP/1.1 200 OK\nTransfer-Encoding: Chunked\n\n7\r\n--vexob\r\n" +
             [] {
                 std::string rest = kStream.substr(7);
                 char size[16];
                 std::snprintf(size, sizeof(size), "%zx\r\n", rest.size());
                 return std::string(size) + rest + "\r\n0\r\n\r\n";
             }(),
         State::Done, false, 200, kStream},
        {"body bytes are not line-normalised", "HTTP/1.1 200 OK\n" + Length("a\nb\r\n\r") + "\n\na\nb\r\n\r",
         State::Done, false, 200, "a\nb\r\n\r"},
        {"no body", "HTTP/1.1 204 No Content\n\n", State::Done, false, 204, ""},
        {"not HTTP", "<HTML>hello</HTML>\n\n", State::Failed, false, 0, ""},
        {"status code not three digits", "HTTP/1.1 20 OK\r\n\r\n", State::Failed, false, 0, ""},
        {"invalid header line", "HTTP/1.1 200 OK\nno colon here\n\n", State::Failed, false, 0, ""},
    };
}

State FeedInPieces(AnswerReader& reader, const std::string& wire, std::size_t piece, std::string& body) {
    State state = State::Head;
    for (std::size_t at = 0; at < wire.size(); at += piece)
        state = reader.Feed(std::string_view(wire).substr(at, piece), body);
    return state;
}

TEST(AnswerReaderTest, EveryFormRealServersSendIsReadWhateverThePieces) {
    for (const Form& form : Forms()) {
        for (std::size_t piece : {form.wire.size(), std::size_t{1}, std::size_t{7}}) {
            SCOPED_TRACE(std::string(form.name) + ", pieces of " + std::to_string(piece));
            AnswerReader reader;
            std::string body;
            State state = FeedInPieces(reader, form.wire, piece, body);
            EXPECT_EQ(state, form.endState);
            if (form.needsClose) state = reader.FeedEnd();
            EXPECT_EQ(state, form.endState == State::Failed ? State::Failed : State::Done);
            EXPECT_EQ(reader.Status(), form.status);
            EXPECT_EQ(body, form.body);
        }
    }
}

TEST(AnswerReaderTest, ABodyOfDeclaredLengthCutByTheCloseIsCut) {
    AnswerReader reader;
    std::string body;
    EXPECT_EQ(reader.Feed("HTTP/1.1 200\nContent-Length: 10\n\nabc", body), State::Body);
    EXPECT_EQ(reader.FeedEnd(), State::Cut);
    EXPECT_EQ(body, "abc");

    AnswerReader chunked;
    body.clear();
    EXPECT_EQ(chunked.Feed("HTTP/1.1 200\nTransfer-Encoding: chunked\n\n3\r\nab", body), State::Body);
    EXPECT_EQ(chunked.FeedEnd(), State::Cut);
}

TEST(AnswerReaderTest, LimitsHoldForEveryInterimAnswerAndForFraming) {
    const std::string filler = "X-Filler: " + std::string(100, 'x') + "\n";
    auto longHead = [&](const char* status) {
        std::string head = std::string(status) + "\n";
        while (head.size() <= ANSWER_HEAD_LIMIT)
            head += filler;
        return head;
    };
    std::string body;
    AnswerReader endless;
    EXPECT_EQ(endless.Feed(longHead("HTTP/1.1 200 OK"), body), State::Failed);
    AnswerReader interim;
    EXPECT_EQ(interim.Feed("HTTP/1.1 100 Continue\n\n" + longHead("HTTP/1.1 100 Continue") + "\n", body),
              State::Failed);
    AnswerReader framing;
    EXPECT_EQ(
        framing.Feed("HTTP/1.1 200\nTransfer-Encoding: chunked\n\n1" + std::string(ANSWER_HEAD_LIMIT, ';'),
                     body),
        State::Failed);
    EXPECT_TRUE(body.empty());
}

TEST(AnswerReaderTest, ManyInterimAnswersAreAllSkipped) {
    std::string wire;
    for (int i = 0; i < 200; ++i)
        wire += "HTTP/1.1 100 Continue\r\n\r\n";
    wire += "HTTP/1.1 200 OK\n" + Length(kBody) + "\n\n" + kBody;
    AnswerReader reader;
    std::string body;
    EXPECT_EQ(reader.Feed(wire, body), State::Done);
    EXPECT_EQ(reader.InterimAnswers(), 200);
    EXPECT_EQ(body, kBody);
}

// Every exchange with a camera reads through the same reader: each form gives the same body through
// the inquiry, the streamed POST and the configuration download.
class AnswerExchangeTest : public test::ConfigFolderTest {
  protected:
    static fuzz::CannedPeer& Peer() {
        static fuzz::CannedPeer peer;
        return peer;
    }
};

TEST_F(AnswerExchangeTest, EveryExchangeReadsEveryForm) {
    int n = 0;
    for (const Form& form : Forms()) {
        SCOPED_TRACE(form.name);
        Peer().SetAnswer(form.wire);
        const bool ok = form.endState != State::Failed;

        Cancellation cancel;
        const ShortResult inquiry =
            RunShortRequest({Peer().HostPort(), "/command/inquiry.cgi", "inq=system", "YWRtaW46YWRtaW4="},
                            std::chrono::steady_clock::now() + 5s, cancel);
        EXPECT_EQ(inquiry.code, ok ? SHORT_OK : SHORT_FAILED);
        EXPECT_EQ(inquiry.answer, form.body);

        StreamedPost post(5s);
        ASSERT_EQ(post.Open(Peer().HostPort(), "/command/versionup.cgi"), PostStep::Done);
        ASSERT_EQ(post.Send(4), PostStep::Done);
        ASSERT_EQ(post.Write("body", 4), PostStep::Done);
        EXPECT_EQ(post.Complete(), ok ? PostStep::Done : PostStep::Failed);
        EXPECT_EQ(post.StatusCode(), static_cast<int>(form.status));
        std::string got;
        char buffer[PROGRESS_READ_SIZE];
        StreamRead read;
        while (ok && (read = post.Read(buffer, sizeof(buffer))).status == StreamRead::Status::Data)
            got.append(buffer, read.size);
        if (ok) {
            EXPECT_EQ(read.status, StreamRead::Status::End);
        }
        EXPECT_EQ(got, form.body);
        post.Close();  // the peer serves one connection at a time

        ConfigStore store(Peer().HostPort(), "/home/l4/xqt-tr60.cfg", "YWRtaW46YWRtaW4=", test::SampleStamp(),
                          "XQT-TR60", "s" + std::to_string(++n), 0, 5s);
        const bool saved = ok && form.status == 200 && !form.body.empty();
        EXPECT_EQ(store.Download(), saved) << store.errorText;
        if (saved) {
            std::vector<std::uint8_t> back(store.byteCount);
            ASSERT_TRUE(store.ReadBack(back));
            EXPECT_EQ(std::string(back.begin(), back.end()), form.body);
        }
    }
}

}  // namespace
}  // namespace xqt::detail

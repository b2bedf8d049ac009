// Any bytes a camera may answer a streamed POST with (status line, headers, chunked or plain
// body, cut anywhere): the request must end, the status be a number, every read stay inside the
// caller's buffer and the body never come out longer than what was sent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "camera/StreamedPost.h"
#include "fuzz/support/CannedPeer.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static xqt::fuzz::CannedPeer peer;
    if (size < 1) return 0;
    const std::size_t readSize = 1 + data[0] % 64;
    const std::string_view answer(reinterpret_cast<const char*>(data + 1), size - 1);
    peer.SetAnswer(answer);

    xqt::StreamedPost post(std::chrono::milliseconds(2000));
    Require(post.Open(peer.HostPort(), "/command/versionup.cgi") == xqt::PostStep::Done);
    Require(post.AddHeader("Content-Type: multipart/form-data; boundary=x\r\n"));
    static const char body[] = "\r\nx\r\npart\r\nx--\r\n\r\n";
    Require(post.Send(sizeof(body) - 1) == xqt::PostStep::Done);
    Require(post.Write(body, sizeof(body) - 1) == xqt::PostStep::Done);
    if (post.Complete() != xqt::PostStep::Done) {
        Require(!post.IsOpen());
        return 0;
    }
    const int status = post.StatusCode();
    Require(status >= 0 && status <= 999);
    char buffer[64];
    std::size_t total = 0;
    for (int reads = 0;; ++reads) {
        Require(reads <= static_cast<int>(answer.size()) + 1);  // every read moves on or ends
        const xqt::StreamRead read = post.Read(buffer, readSize);
        if (read.status != xqt::StreamRead::Status::Data) break;
        Require(read.size > 0 && read.size <= readSize);
        total += read.size;
        Require(total <= answer.size());
    }
    post.Close();
    Require(!post.IsOpen());
    return 0;
}

#include "camera/ConfigRequest.h"

namespace xqt::detail {

namespace {
constexpr std::string_view CRLF = "\r\n";
}

std::string FormBoundary(std::int64_t secondsSinceEpoch) {
    return std::string(27, '-') + "7d" + std::to_string(secondsSinceEpoch);
}

FormPostLayout MakeFormPost(std::string_view field, std::string_view fileName, std::uint64_t fileSize,
                            std::string_view credential, std::int64_t secondsSinceEpoch) {
    FormPostLayout post;
    post.boundary = FormBoundary(secondsSinceEpoch);
    const std::string& b = post.boundary;

    post.head = std::string(CRLF) + b + std::string(CRLF);
    post.head += "Content-Disposition: form-data; name=\"" + std::string(field) + "\"; filename=\"" +
                 std::string(fileName) + "\"";
    post.head += CRLF;
    post.head += "Content-Type: application/octet-stream";
    post.head += CRLF;
    post.head += CRLF;

    post.tail = std::string(CRLF) + b + "--" + std::string(CRLF) + std::string(CRLF);
    post.contentLength = post.head.size() + fileSize + post.tail.size();

    post.headers = {
        "Content-Type: multipart/form-data; boundary=" + b + "\r\n",
        "Accept-Encoding: gzip, deflate\r\n",
        "Connection: Keep-Alive\r\n",
        "Proxy-Connection: Keep-Alive\r\n",
        "Cache-Control: no-cache\r\n",
        "Content-Length: " + std::to_string(post.contentLength) + "\r\n",
        "Authorization: Basic " + std::string(credential) + "\r\n",
    };
    return post;
}

}  // namespace xqt::detail

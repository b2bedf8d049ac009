#include "sim/SimHttp.h"

#include <algorithm>
#include <cmath>

namespace xqt::sim {

SimResponse& SimResponse::Send(std::string bytes) {
    steps_.push_back({Step::Kind::Send, std::move(bytes), {}, {}});
    return *this;
}

SimResponse& SimResponse::SendInPieces(const std::string& bytes, std::size_t pieceSize,
                                       std::chrono::milliseconds pause) {
    if (pieceSize == 0) return Send(bytes);
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
        if (at > 0 && pause.count() > 0) Wait(pause);
        Send(bytes.substr(at, std::min(pieceSize, bytes.size() - at)));
    }
    return *this;
}

SimResponse& SimResponse::Wait(std::chrono::milliseconds delay) {
    steps_.push_back({Step::Kind::Wait, {}, delay, {}});
    return *this;
}

SimResponse& SimResponse::Reset() {
    steps_.push_back({Step::Kind::Reset, {}, {}, {}});
    return *this;
}

SimResponse& SimResponse::Stall() {
    steps_.push_back({Step::Kind::Stall, {}, {}, {}});
    return *this;
}

SimResponse& SimResponse::Call(std::function<void()> call) {
    steps_.push_back({Step::Kind::Call, {}, {}, std::move(call)});
    return *this;
}

std::string SimResponse::SentBytes() const {
    std::string all;
    for (const auto& step : steps_) {
        if (step.kind == Step::Kind::Send) all += step.bytes;
    }
    return all;
}

std::chrono::milliseconds ScaledDelay(std::int64_t ms, double timeScale) {
    if (ms <= 0) return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(
        std::max<long long>(1, std::llround(static_cast<double>(ms) * timeScale)));
}

std::string HttpResponse(int status, const std::string& reason, const std::string& contentType,
                         const std::string& body, const std::vector<std::string>& extraHeaders) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    for (const auto& header : extraHeaders)
        out += header + "\r\n";
    if (!contentType.empty()) out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += body;
    return out;
}

}  // namespace xqt::sim

// Any bytes a camera may send: as an HTTP response read by the short exchange, and as an answer
// whose keys the checks read. Nothing may crash, hang or break the readers' promises.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "camera/CameraSession.h"
#include "camera/ShortRequest.h"
#include "platform/Windows1252.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void ReadResponse(std::string_view bytes, std::size_t split) {
    xqt::detail::ShortAnswerReader reader;
    auto state = reader.Feed(bytes.substr(0, split));
    state = reader.Feed(bytes.substr(split));
    if (state == xqt::detail::ShortAnswerReader::State::NeedMore) state = reader.FeedEnd();
    Require(state != xqt::detail::ShortAnswerReader::State::NeedMore);
    const std::string answer = reader.Answer();
    Require(answer.size() <= xqt::detail::ANSWER_CAP);
    Require(answer.find('\0') == std::string::npos);
    if (state != xqt::detail::ShortAnswerReader::State::Answer) Require(answer.empty());
}

void ReadKeys(const std::string& answer) {
    xqt::SessionConfig config;
    config.hostPort = "127.0.0.1:9";
    config.credential = "YWRtaW46YWRtaW4=";
    config.modelList = xqt::ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
    xqt::CameraSession session(config);

    const xqt::SystemFields fields = session.ParseSystemAnswer(answer, true);
    if (fields.accepted) Require(xqt::IsListedModel(session.modelList, fields.model));
    session.CheckModelAndVersion(answer, true);
    const std::string current = session.currentVersion.Get();
    Require(current.empty() || current == "unknown" || current.rfind("ver", 0) == 0);
    const std::string reported = session.reportedVersion.Get();
    Require(reported.empty() || reported.rfind("ver", 0) == 0);

    session.CheckAdministrator(answer);
    config.mode = xqt::SessionMode::Automatic;
    xqt::CameraSession automatic(config);
    if (!automatic.CheckAdministrator(answer)) Require(xqt::IsFinal(automatic.status.load()));

    const std::string docType = xqt::CameraSession::ReadDocType(answer);
    Require(docType.find('&') == std::string::npos);
    if (auto mac = xqt::CameraSession::ParseMacAddress(answer)) {
        Require(!mac->empty() && mac->find(':') == std::string::npos && mac->find('&') == std::string::npos);
    }
    session.lastAnswer.Set(answer);
    session.NotePanTilt();
    Require(session.hasPanTilt.load() == (answer.find("PanTiltFunc=1") != std::string::npos));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    ReadResponse(bytes, split);
    ReadKeys(xqt::platform::Windows1252ToUtf8(bytes.substr(0, xqt::detail::ANSWER_CAP)));
    return 0;
}

#include "sim/InquiryHandler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/Windows1252.h"

namespace xqt::sim {

namespace {

bool FaultsApply(const HttpKnobs& knobs, const std::string& body) {
    return knobs.onlyFor.empty() ||
           std::find(knobs.onlyFor.begin(), knobs.onlyFor.end(), body) != knobs.onlyFor.end();
}

std::string Wire(const std::string& utf8) {
    return platform::Utf8ToWindows1252(utf8);
}

}  // namespace

std::string SimBase64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (unsigned char c : bytes) {
        bits = (bits << 8) | c;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += kDigits[(bits >> count) & 0x3F];
        }
    }
    if (count > 0) out += kDigits[(bits << (6 - count)) & 0x3F];
    while (out.size() % 4 != 0)
        out += '=';
    return out;
}

std::string SystemAnswer(const SimCamera& camera) {
    std::string answer = "ModelName=" + camera.model + "&Serial=" + camera.serial;
    answer += "&SoftVersion=" + (camera.emergency ? std::string("emergency") : camera.softVersion);
    if (!camera.docType.empty()) answer += "&DocType=" + camera.docType;
    answer += std::string("&PanTiltFunc=") + (camera.panTilt ? "1" : "0");
    answer += "&BootVersion=1.00&HardwareRevision=A";
    return answer;
}

std::string UserAnswer(const SimCamera& camera) {
    std::string answer;
    for (const auto& user : camera.users) {
        if (!user.administrator) continue;
        std::string value = SimBase64(Wire(user.name + ":" + user.password));
        std::string escaped;
        for (char c : value)
            escaped += c == '=' ? std::string("%3D") : std::string(1, c);
        answer = "Administrator=" + escaped;
        break;
    }
    int index = 0;
    for (const auto& user : camera.users) {
        if (user.administrator) continue;
        if (!answer.empty()) answer += '&';
        answer += "User" + std::to_string(++index) + "=" + user.name;
    }
    if (!answer.empty()) answer += '&';
    answer += "UserCount=" + std::to_string(index);
    return answer;
}

std::string NetworkAnswer(const SimCamera& camera) {
    std::string answer = "MacAddress=" + camera.mac + "&IpAddress=" + camera.ipText;
    answer += "&SubnetMask=255.0.0.0&DefaultGateway=&HttpPort=" + std::to_string(camera.webPort);
    answer += std::string("&Dhcp=") + (camera.dhcp ? "on" : "off");
    answer += std::string("&DnsAuto=") + (camera.dnsAuto ? "on" : "off");
    return answer;
}

bool IsKnownUser(const SimCamera& camera, std::string_view authorization) {
    constexpr std::string_view kBasic = "Basic ";
    if (authorization.substr(0, kBasic.size()) != kBasic) return false;
    const std::string_view given = authorization.substr(kBasic.size());
    return std::any_of(camera.users.begin(), camera.users.end(), [&](const SimUser& user) {
        return SimBase64(Wire(user.name + ":" + user.password)) == given;
    });
}

SimResponse HandleInquiry(const SimCamera& camera, const SimRequest& request, double timeScale) {
    const HttpKnobs& knobs = camera.http;
    const bool faulty = FaultsApply(knobs, request.body);
    SimResponse response;
    if (faulty && knobs.answerDelayMs > 0) response.Wait(ScaledDelay(knobs.answerDelayMs, timeScale));
    if (faulty && knobs.neverAnswer) return response.Stall();
    if (faulty && knobs.resetConnection) return response.Reset();
    if (faulty && knobs.garbage) {
        static constexpr char kGarbage[] = "\x16\x03\x01\x00\xff garbage, no HTTP here\r\n\r\n\x00\x01";
        return response.Send(std::string(kGarbage, sizeof(kGarbage) - 1));
    }

    std::string full;
    const bool needsUser = request.body == "inq=user" || knobs.authenticateAll;
    if (request.method != "POST") {
        full = HttpResponse(405, "Method Not Allowed", "text/plain", "", {"Allow: POST"});
    } else if (knobs.refuseLogin || (needsUser && !IsKnownUser(camera, request.authorization))) {
        full = HttpResponse(401, "Unauthorized", "text/html", knobs.challengeBody,
                            {"WWW-Authenticate: Basic realm=\"XQT\""});
    } else {
        std::string answer;
        bool known = true;
        if (auto it = knobs.answers.find(request.body); it != knobs.answers.end()) {
            answer = it->second;
        } else if (request.body == "inq=system") {
            answer = SystemAnswer(camera);
        } else if (request.body == "inq=user") {
            answer = UserAnswer(camera);
        } else if (request.body == "inq=network") {
            answer = NetworkAnswer(camera);
        } else {
            known = false;
        }
        if (known && faulty && knobs.padAnswerTo > 0 &&
            answer.size() < static_cast<std::size_t>(knobs.padAnswerTo)) {
            const std::string key = "&Filler=";
            const std::size_t need = static_cast<std::size_t>(knobs.padAnswerTo) - answer.size();
            answer += key + std::string(need > key.size() ? need - key.size() : 0, 'x');
        }
        answer = Wire(answer);
        if (!known) {
            full = HttpResponse(400, "Bad Request", "text/plain", "");
        } else if (faulty && knobs.closeDelimited) {
            full = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" + answer;
        } else {
            full = HttpResponse(200, "OK", "text/plain", answer);
        }
    }
    if (faulty && knobs.pieceSize > 0) {
        return response.SendInPieces(full, static_cast<std::size_t>(knobs.pieceSize),
                                     ScaledDelay(knobs.pieceDelayMs, timeScale));
    }
    return response.Send(full);
}

}  // namespace xqt::sim

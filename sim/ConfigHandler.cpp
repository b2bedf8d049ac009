#include "sim/ConfigHandler.h"

#include <algorithm>
#include <cmath>

#include "camera/ConfigStore.h"
#include "platform/Windows1252.h"
#include "sim/InquiryHandler.h"

namespace xqt::sim {

namespace {

bool IsAdministrator(const SimCamera& camera, std::string_view authorization) {
    constexpr std::string_view kBasic = "Basic ";
    if (authorization.substr(0, kBasic.size()) != kBasic) return false;
    const std::string_view given = authorization.substr(kBasic.size());
    return std::any_of(camera.users.begin(), camera.users.end(), [&](const SimUser& user) {
        return user.administrator &&
               SimBase64(platform::Utf8ToWindows1252(user.name + ":" + user.password)) == given;
    });
}

std::string Challenge(const SimCamera& camera) {
    return HttpResponse(401, "Unauthorized", "text/html", camera.http.challengeBody,
                        {"WWW-Authenticate: Basic realm=\"XQT\""});
}

constexpr std::string_view CRLF = "\r\n";

}  // namespace

std::string ConfigDownloadPath(const SimCamera& camera) {
    if (camera.config.fileName.empty()) return ConfigRemotePath(camera.model);
    return "/home/l4/" + camera.config.fileName;
}

bool IsRestorePath(std::string_view target) {
    return target == "/command/all-configuration.cgi" || target == "/command/all-configuration-preset.cgi";
}

SimResponse HandleConfigDownload(const SimCamera& camera, const SimRequest& request, double timeScale) {
    const HttpKnobs& knobs = camera.http;
    const bool faulty = knobs.onlyFor.empty() || std::find(knobs.onlyFor.begin(), knobs.onlyFor.end(),
                                                           request.target) != knobs.onlyFor.end();
    SimResponse response;
    if (faulty && knobs.answerDelayMs > 0) response.Wait(ScaledDelay(knobs.answerDelayMs, timeScale));
    if (faulty && knobs.neverAnswer) return response.Stall();
    if (faulty && knobs.resetConnection) return response.Reset();

    std::string full;
    if (request.method != "GET") {
        full = HttpResponse(405, "Method Not Allowed", "text/plain", "", {"Allow: GET"});
    } else if (knobs.refuseLogin || !IsAdministrator(camera, request.authorization)) {
        full = Challenge(camera);
    } else if (camera.config.htmlPage) {
        const std::size_t before = std::min(camera.configuration.size(),
                                            static_cast<std::size_t>(std::max(0, camera.config.htmlAfter)));
        std::string body = camera.configuration.substr(0, before);
        body +=
            "<HTML><HEAD><TITLE>XQT</TITLE></HEAD><BODY>The configuration cannot be read now.</BODY></HTML>";
        full = HttpResponse(200, "OK", "text/html", body);
    } else {
        full = HttpResponse(200, "OK", "application/octet-stream", camera.configuration);
    }
    if (faulty && knobs.pieceSize > 0) {
        return response.SendInPieces(full, static_cast<std::size_t>(knobs.pieceSize),
                                     ScaledDelay(knobs.pieceDelayMs, timeScale));
    }
    return response.Send(full);
}

std::optional<std::string> ParseRestoreBody(std::string_view body) {
    if (body.substr(0, CRLF.size()) != CRLF) return std::nullopt;
    const std::size_t lineEnd = body.find(CRLF, CRLF.size());
    if (lineEnd == std::string_view::npos || lineEnd == CRLF.size()) return std::nullopt;
    const std::string_view delimiter = body.substr(CRLF.size(), lineEnd - CRLF.size());

    const std::size_t headersEnd = body.find("\r\n\r\n", lineEnd);
    if (headersEnd == std::string_view::npos) return std::nullopt;
    const std::string_view headers = body.substr(lineEnd, headersEnd + 2 - lineEnd);  // "\r\n...\r\n"
    if (headers.find("\r\nContent-Disposition: form-data; name=\"Restore\"; filename=\"temp.cfg\"\r\n") ==
        std::string_view::npos) {
        return std::nullopt;
    }

    const std::string tail = std::string(CRLF) + std::string(delimiter) + "--\r\n\r\n";
    const std::size_t dataStart = headersEnd + 4;
    if (body.size() < dataStart + tail.size() || body.substr(body.size() - tail.size()) != tail) {
        return std::nullopt;
    }
    return std::string(body.substr(dataStart, body.size() - tail.size() - dataStart));
}

std::optional<SimResponse> ConfigRoutes::Handle(const SimCamera& camera, const SimRequest& request,
                                                double timeScale) {
    if (request.target == ConfigDownloadPath(camera)) return HandleConfigDownload(camera, request, timeScale);
    if (IsRestorePath(request.target)) return HandleRestore(camera, request, timeScale);
    return std::nullopt;
}

SimResponse ConfigRoutes::HandleRestore(const SimCamera& camera, const SimRequest& request,
                                        double timeScale) {
    SimResponse response;
    if (request.method != "POST") {
        return response.Send(HttpResponse(405, "Method Not Allowed", "text/plain", "", {"Allow: POST"}));
    }
    const std::string factory =
        "Basic " + SimBase64(std::string(FACTORY_USER) + ":" + std::string(FACTORY_PASSWORD));
    if (camera.http.refuseLogin || request.authorization != factory) return response.Send(Challenge(camera));
    auto file = ParseRestoreBody(request.body);
    if (!file)
        return response.Send(HttpResponse(400, "Bad Request", "text/html", "<HTML>Bad Request</HTML>"));

    const int status = camera.config.restoreStatus;
    {
        std::lock_guard lock(mutex_);
        if (++attempts_ <= camera.config.failRestores) return response.Reset();
        if (status >= 400) {
            return response.Send(HttpResponse(status, "Refused", "text/html", "<HTML>Refused</HTML>"));
        }
        restores_.push_back({request.target, *file});
    }
    if (apply_) apply_(*file);
    const auto pause = ScaledDelay(camera.config.reconfigureMs, timeScale);
    if (status >= 300) {
        response.Send(HttpResponse(status, "Found", "text/html", "", {"Location: /"}));
    } else {
        response.Send(HttpResponse(status, "OK", "text/html", "<HTML><BODY>Restored.</BODY></HTML>"));
    }
    // The camera goes away once its answer is out.
    return response.Call([this, pause] {
        std::lock_guard lock(mutex_);
        reconfiguredAt_ = std::chrono::steady_clock::now() + pause;
    });
}

bool ConfigRoutes::Reconfiguring() const {
    std::lock_guard lock(mutex_);
    return std::chrono::steady_clock::now() < reconfiguredAt_;
}

std::vector<RestoreRecord> ConfigRoutes::Restores() const {
    std::lock_guard lock(mutex_);
    return restores_;
}

int ConfigRoutes::RestoreAttempts() const {
    std::lock_guard lock(mutex_);
    return attempts_;
}

}  // namespace xqt::sim

#include "sim/UpgradeHandler.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "platform/PlaceholderImage.h"
#include "sim/InquiryHandler.h"
#include "sim/Sha256.h"

namespace xqt::sim {

namespace {

bool IsAdministrator(const SimCamera& camera, const std::string& authorization) {
    for (const auto& user : camera.users) {
        if (!user.administrator) continue;
        SimCamera only = camera;
        only.users = {user};
        if (IsKnownUser(only, authorization)) return true;
    }
    return false;
}

const std::string* Header(const SimRequest& request, std::string_view name) {
    for (const auto& [key, value] : request.headers) {
        if (key.size() == name.size() && std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return &value;
        }
    }
    return nullptr;
}

}  // namespace

FirmwareBody CheckFirmwareBody(std::string_view contentType, std::string_view contentLength,
                               std::string_view body) {
    FirmwareBody out;
    constexpr std::string_view kType = "multipart/form-data; boundary=";
    if (contentType.substr(0, kType.size()) != kType || contentType.size() == kType.size()) {
        out.problem = "Content-Type is not multipart/form-data with a boundary";
        return out;
    }
    const std::string boundary(contentType.substr(kType.size()));
    if (contentLength != std::to_string(body.size())) {
        out.problem = "Content-Length does not match the body";
        return out;
    }
    const std::string head = "\r\n" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"setting_file\"; "
                             "filename=\"upgrade.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    const std::string tail = "\r\n" + boundary + "--\r\n\r\n";
    if (body.size() < head.size() + tail.size() || body.substr(0, head.size()) != head) {
        out.problem = "the part head is not the firmware part";
        return out;
    }
    if (body.substr(body.size() - tail.size()) != tail) {
        out.problem = "the body does not end with the closing boundary";
        return out;
    }
    out.ok = true;
    out.image = body.substr(head.size(), body.size() - head.size() - tail.size());
    return out;
}

std::string ProgressPart(const std::string& text) {
    return std::string(SIM_STREAM_DELIMITER) + "\r\nContent-Type: text/plain\r\n\r\n" + text + "\r\n";
}

void UpgradeState::Take(FirmwareRecord record, Clock::time_point overwriteEnds,
                        std::optional<Clock::duration> reboot, std::string version, Clock::duration refuse) {
    {
        std::lock_guard lock(mutex_);
        if (record.accepted) {
            pending_ = true;
            pendingVersion_ = std::move(version);
            offlineFrom_ = overwriteEnds;
            offlineUntil_.reset();
            refuseFrom_ = refuseUntil_ = {};
            if (reboot) {
                offlineUntil_ = overwriteEnds + *reboot;
                refuseFrom_ = *offlineUntil_;
                refuseUntil_ = refuseFrom_ + refuse;
            }
            offlineWindow_ = true;
        }
        records_.push_back(std::move(record));
    }
    recorded_.notify_all();
}

bool UpgradeState::Refresh(SimCamera& camera, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (!offlineWindow_ || now < offlineFrom_) return false;
    if (pending_) {
        pending_ = false;
        if (!pendingVersion_.empty()) camera.softVersion = pendingVersion_;
        camera.emergency = false;
        if (!camera.upgrade.comeBackSerial.empty()) camera.serial = camera.upgrade.comeBackSerial;
        if (!camera.upgrade.comeBackMac.empty()) camera.mac = camera.upgrade.comeBackMac;
    }
    if (offlineUntil_ && now >= *offlineUntil_) {
        offlineWindow_ = false;
        return false;
    }
    return true;
}

bool UpgradeState::Refusing(Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    return now >= refuseFrom_ && now < refuseUntil_;
}

std::vector<FirmwareRecord> UpgradeState::Records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

bool UpgradeState::WaitForRecords(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return recorded_.wait_for(lock, timeout, [&] { return records_.size() >= count; });
}

SimResponse HandleFirmware(const SimCamera& camera, const SimRequest& request, double timeScale,
                           UpgradeState& state, bool dropped) {
    const UpgradeKnobs& knobs = camera.upgrade;
    FirmwareRecord record;
    record.bodySize = request.body.size();
    record.dropped = dropped;
    SimResponse response;
    if (request.method != "POST") {
        record.problem = "not a POST";
        state.Take(record, {}, {}, {});
        return response.Send(HttpResponse(405, "Method Not Allowed", "text/plain", "", {"Allow: POST"}));
    }
    if (!IsAdministrator(camera, request.authorization)) {
        record.problem = "not the administrator's credential";
        state.Take(record, {}, {}, {});
        return response.Send(HttpResponse(401, "Unauthorized", "text/html", camera.http.challengeBody,
                                          {"WWW-Authenticate: Basic realm=\"XQT\""}));
    }
    const std::string* type = Header(request, "Content-Type");
    const std::string* length = Header(request, "Content-Length");
    const FirmwareBody body = CheckFirmwareBody(type ? *type : "", length ? *length : "", request.body);
    if (!body.ok) {
        record.problem = body.problem;
        state.Take(record, {}, {}, {});
        return response.Send(
            HttpResponse(400, "Bad Request", "text/html", "<HTML><BODY>400 Bad Request</BODY></HTML>"));
    }
    if (knobs.answerStatus != 200) {
        record.problem = "refused with HTTP " + std::to_string(knobs.answerStatus);
        state.Take(record, {}, {}, {});
        const std::string page = "<HTML><BODY>" + std::to_string(knobs.answerStatus) + "</BODY></HTML>";
        return response.Send(HttpResponse(knobs.answerStatus, "Refused", "text/html", page));
    }
    record.accepted = true;
    record.imageSize = body.image.size();
    record.sha256 = Sha256Hex(body.image);
    const auto bytes = std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(body.image.data()),
                                                     body.image.size());
    const auto known = camera.imageVersions.find(record.sha256);
    record.version = known != camera.imageVersions.end()
                         ? known->second
                         : platform::PlaceholderImageVersion(bytes).value_or(std::string());
    const std::string comeBack = !knobs.comeBackVersion.empty() ? knobs.comeBackVersion : record.version;
    const std::optional<UpgradeState::Clock::duration> reboot =
        knobs.neverComeBack
            ? std::nullopt
            : std::optional<UpgradeState::Clock::duration>(ScaledDelay(knobs.rebootMs, timeScale));
    const auto now = UpgradeState::Clock::now();
    const auto refuse = ScaledDelay(knobs.refuseAfterRebootMs, timeScale);

    // Emergency state, or a dropped connection: the camera overwrites at once and says nothing.
    if (camera.emergency || dropped) {
        state.Take(record, now, reboot, comeBack, refuse);
        return response.Stall();
    }
    const auto stepPause = ScaledDelay(knobs.progressStepMs, timeScale);
    state.Take(record, now + stepPause * knobs.progressSteps, reboot, comeBack, refuse);

    response.Send(
        "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=vexoboundary\r\n"
        "Connection: close\r\n\r\n");
    response.Send(ProgressPart("(0) Steps: " + std::to_string(knobs.progressSteps)));
    for (int step = 1; step <= knobs.progressSteps; ++step) {
        if (knobs.breakStreamAfterSteps >= 0 && step > knobs.breakStreamAfterSteps) return response.Reset();
        if (stepPause.count() > 0) response.Wait(stepPause);
        response.Send(ProgressPart("(" + std::to_string(step) + ") Writing flash memory"));
    }
    if (knobs.breakStreamAfterSteps >= 0 && knobs.breakStreamAfterSteps >= knobs.progressSteps) {
        return response.Reset();
    }
    if (knobs.streamEnd == "stall") return response.Stall();
    if (knobs.streamEnd == "close") return response;
    return response.Send(std::string(SIM_STREAM_DELIMITER) + "--\r\n");
}

}  // namespace xqt::sim

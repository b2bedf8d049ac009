// CameraSession: the inquiry and the checks made on its answers.
#include "camera/AnswerFields.h"
#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "camera/ShortRequest.h"
#include "platform/ResourceText.h"
#include "platform/Windows1252.h"

namespace xqt {

namespace {

constexpr std::uint16_t BIN_INFORMATION = 203;
constexpr std::uint16_t BIN_CANNOT_FIND_CAMERA = 212;

std::string CannotFindCameraText() {
    return platform::TextOr(BIN_CANNOT_FIND_CAMERA,
                            "Cannot find the camera. (The camera may be turned off.)");
}

enum class AdminVerdict { Administrator, Challenged, NoAdministrator, OtherUser };

AdminVerdict ClassifyAdministrator(std::string_view answer, std::string_view credential) {
    if (answer.find(detail::UNAUTHORIZED_ANSWER) != std::string_view::npos) return AdminVerdict::Challenged;
    auto field = FindField(answer, "Administrator=");
    if (!field) return AdminVerdict::NoAdministrator;
    std::string value;  // every "%3D" stands for "="
    const std::string_view sent = field->value;
    for (std::size_t i = 0; i < sent.size();) {
        if (sent.substr(i, 3) == "%3D") {
            value += '=';
            i += 3;
        } else {
            value += sent[i++];
        }
    }
    return value == credential ? AdminVerdict::Administrator : AdminVerdict::OtherUser;
}

}  // namespace

void CameraSession::ShowBox(const std::string& text, platform::MbIcon icon) const {
    if (owner) owner->ShowMessage(text, platform::TextOr(BIN_INFORMATION, "Information"), icon);
}

std::string CameraSession::Inquire(std::string_view body, std::chrono::milliseconds limit) {
    return PostShortRequest(body, limit);
}

bool CameraSession::CheckModelAndVersion(std::string_view answer, bool showMessage) {
    // A value counts only when an "&" follows it: an answer cut short leaves no half model name.
    auto modelField = FindField(answer, "ModelName=");
    const std::string_view model =
        modelField && modelField->terminated ? modelField->value : std::string_view{};
    if (!IsListedModel(modelList, platform::Utf8ToWindows1252(model))) {
        if (showMessage) {
            const std::string first =
                modelList[0] ? platform::Windows1252ToUtf8(*modelList[0]) : std::string();
            ShowBox("This program works for the " + first + ". Please select the correct camera.",
                    platform::MbIcon::Exclamation);
        }
        return false;
    }
    if (auto serial = FindField(answer, "Serial=");
        serial && !serial->value.empty() && inquiredSerial.Get().empty()) {
        inquiredSerial.Set(std::string(serial->value));
    }
    auto version = FindField(answer, "SoftVersion=");
    if (!version) return true;
    const std::string v(version->value);
    if (version->terminated) {
        if (!currentVersion.Get().empty()) {
            reportedVersion.Set("ver" + v);
        } else if (v == "emergency") {
            currentVersion.Set("unknown");
            emergency.store(true);
        } else {
            currentVersion.Set("ver" + v);
        }
    } else if (v == "emergency") {
        currentVersion.Set("unknown");
        emergency.store(true);
    }
    if (reportedVersion.Get().empty())
        reportedVersion.Set(version->terminated ? "ver" + v : std::string("ver"));
    return true;
}

SystemFields CameraSession::ParseSystemAnswer(std::string_view answer, bool showMessage) {
    SystemFields fields;
    const bool listed = CheckModelAndVersion(answer, showMessage);
    if (auto model = FindField(answer, "ModelName=")) fields.model = std::string(model->value);
    if (auto version = FindField(answer, "SoftVersion=")) {
        fields.version = version->value == "emergency" ? std::string("unknown") : std::string(version->value);
    }
    if (auto serial = FindField(answer, "Serial=")) fields.serial = std::string(serial->value);
    fields.accepted = listed && !fields.model.empty();
    return fields;
}

bool CameraSession::CheckAdministrator(std::string_view answer) {
    const AdminVerdict verdict = ClassifyAdministrator(answer, credential);
    if (verdict == AdminVerdict::Administrator) return true;
    if (IsAutomaticMode()) {
        const auto code =
            verdict == AdminVerdict::NoAdministrator ? UpgradeStatus::Error1 : UpgradeStatus::Error3;
        SetStatus(code);
        return false;
    }
    switch (verdict) {
        case AdminVerdict::Challenged:
            ShowBox("Please enter correct user name and password for the administrator.",
                    platform::MbIcon::Exclamation);
            break;
        case AdminVerdict::NoAdministrator:
            ShowBox(CannotFindCameraText(), platform::MbIcon::Exclamation);
            break;
        default:
            ShowBox("Level 4 users other than Administrator cannot run the program.",
                    platform::MbIcon::Exclamation);
            break;
    }
    return false;
}

std::string CameraSession::ReadDocType(std::string_view answer) {
    return std::string(FieldValue(answer, "DocType="));
}

std::optional<std::string> CameraSession::ParseMacAddress(std::string_view answer) {
    std::string mac(FieldValue(answer, "MacAddress="));
    for (char& c : mac) {
        if (c == ':') c = '-';
    }
    if (mac.empty()) return std::nullopt;
    return mac;
}

void CameraSession::NotePanTilt() {
    if (lastAnswer.Get().find("PanTiltFunc=1") != std::string::npos) hasPanTilt.store(true);
}

std::string CameraSession::DescribeFault(CameraFault fault, const std::string& model,
                                         const std::string& serial) const {
    return FaultText(fault, FaultSubject{CredentialUser(credential), model, serial, timing.inquiryLimit});
}

ManualCheckResult CameraSession::RunManualCheck() {
    ManualCheckResult result;
    const auto refuse = [&](CameraFault fault) -> ManualCheckResult& {
        result.fault = fault;
        result.detail = DescribeFault(fault, result.system.model);
        return result;
    };
    const InquiryAnswer system = Ask(INQ_SYSTEM, timing.inquiryLimit);
    result.systemAnswer = system.text;
    if (IsSilence(system.fault)) {
        // Not the wrong-model box: a camera that said nothing has named no model.
        refuse(system.fault);
        ShowBox("The camera did not answer (" + result.detail + ").", platform::MbIcon::Exclamation);
        return result;
    }
    result.system = ParseSystemAnswer(result.systemAnswer, true);
    if (!result.system.accepted) {
        // A camera that refuses even the system inquiry has refused the login, not its model.
        return refuse(system.fault == CameraFault::LoginRefused ? CameraFault::LoginRefused
                                                                : CameraFault::ModelNotAccepted);
    }
    result.docType = ReadDocType(result.systemAnswer);
    if (emergency.load()) {
        result.passed = true;
        return result;
    }
    const InquiryAnswer user = Ask(INQ_USER, timing.inquiryLimit);
    result.userAnswer = user.text;
    if (result.userAnswer.empty()) {
        ShowBox(CannotFindCameraText(), platform::MbIcon::Exclamation);
        return refuse(user.fault == CameraFault::None ? CameraFault::NoAnswer : user.fault);
    }
    switch (ClassifyAdministrator(result.userAnswer, credential)) {
        case AdminVerdict::Administrator:
            break;
        case AdminVerdict::Challenged:
            refuse(CameraFault::LoginRefused);
            break;
        case AdminVerdict::NoAdministrator:
            refuse(CameraFault::AdministratorUnknown);
            break;
        case AdminVerdict::OtherUser:
            refuse(CameraFault::NotAdministrator);
            break;
    }
    result.passed = CheckAdministrator(result.userAnswer);
    return result;
}

}  // namespace xqt

#include "camera/CameraFault.h"

#include <algorithm>

namespace xqt {

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Seconds(std::chrono::milliseconds limit) {
    // Whole seconds, never "0 s": a scaled limit below half a second still reads as a wait.
    const long long whole = std::max<long long>(1, (limit.count() + 500) / 1000);
    return std::to_string(whole) + " s";
}

}  // namespace

std::string_view FaultWord(CameraFault fault) {
    switch (fault) {
        case CameraFault::None:
            return {};
        case CameraFault::NoAnswer:
            return "no-answer";
        case CameraFault::ConnectionRefused:
            return "connection-refused";
        case CameraFault::Unreachable:
            return "unreachable";
        case CameraFault::ConnectionBroken:
            return "connection-broken";
        case CameraFault::LoginRefused:
            return "login-refused";
        case CameraFault::NotAdministrator:
            return "not-administrator";
        case CameraFault::AdministratorUnknown:
            return "no-administrator";
        case CameraFault::ModelNotAccepted:
            return "model-not-accepted";
        case CameraFault::SerialNotAccepted:
            return "serial-not-accepted";
    }
    return {};
}

std::string FaultText(CameraFault fault, const FaultSubject& subject) {
    switch (fault) {
        case CameraFault::None:
            return {};
        case CameraFault::NoAnswer:
            return "no answer within " + Seconds(subject.limit);
        case CameraFault::ConnectionRefused:
            return "connection refused";
        case CameraFault::Unreachable:
            return "no route to the camera's address";
        case CameraFault::ConnectionBroken:
            return "the connection broke off without an answer";
        case CameraFault::LoginRefused:
            return "login refused (user " + Quoted(subject.user) + " is not accepted)";
        case CameraFault::NotAdministrator:
            return "login refused (user " + Quoted(subject.user) + " is not the camera's administrator)";
        case CameraFault::AdministratorUnknown:
            return "the camera's user list names no administrator";
        case CameraFault::ModelNotAccepted:
            return "model " + Quoted(subject.model) + " is not accepted";
        case CameraFault::SerialNotAccepted:
            return "serial number " + Quoted(subject.serial) + " is not accepted";
    }
    return {};
}

bool IsSilence(CameraFault fault) {
    return fault == CameraFault::NoAnswer || fault == CameraFault::ConnectionRefused ||
           fault == CameraFault::Unreachable || fault == CameraFault::ConnectionBroken;
}

}  // namespace xqt

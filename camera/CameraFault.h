#pragma once
// Why a camera could not be asked, or refused what it was asked, before anything was written to it:
// one vocabulary for every front end. Each kind has a stable word for scripts (FaultWord: the
// `reason` of the JSON outputs) and a plain text for people (FaultText: terminal lines and the
// reports' `detail`). Nothing is ever decided from either; callers decide from the kind. Pure
// functions; any thread.

#include <chrono>
#include <string>
#include <string_view>

namespace xqt {

enum class CameraFault {
    None,
    NoAnswer,              ///< nothing came within the inquiry limit, not even the connection
    ConnectionRefused,     ///< the address refused the connection: nothing listens on that port
    Unreachable,           ///< no route to the address, or an address no connection can be made to
    ConnectionBroken,      ///< connected, but the exchange broke off or the reply was no HTTP answer
    LoginRefused,          ///< the camera demanded authentication: it does not accept the login
    NotAdministrator,      ///< the login is another user's than the administrator's
    AdministratorUnknown,  ///< the camera's user list names no administrator
    ModelNotAccepted,      ///< the camera names no model the firmware suits
    SerialNotAccepted,     ///< the serial number is outside the rules
};

/// What the texts name: the user who logged in, the camera's model and serial, the inquiry limit.
struct FaultSubject {
    std::string user;
    std::string model;
    std::string serial;
    std::chrono::milliseconds limit{0};
};

/// "no-answer", "connection-refused", ...; empty for None.
std::string_view FaultWord(CameraFault fault);

/// "no answer within 20 s", "connection refused", "login refused (user "x" is not accepted)",
/// "model "X" is not accepted", ...; empty for None.
std::string FaultText(CameraFault fault, const FaultSubject& subject);

/// True for the kinds in which the camera gave no answer at all.
bool IsSilence(CameraFault fault);

}  // namespace xqt

#pragma once
// How a simulated camera takes a firmware upgrade, and the faults it can be told to show. Part of
// SimCamera ("upgrade" in fleet files); delays are simulated milliseconds (the fleet's time scale
// applies).

#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace xqt::sim {

struct UpgradeKnobs {
    int progressSteps = 20;     ///< steps announced in the progress stream ("(0)" ... ": N")
    int progressStepMs = 2000;  ///< pause before each step part
    int rebootMs = 20000;       ///< after the stream the camera answers nothing for this long
    /// >= 0: the camera drops the upload connection once this many body bytes have come (at most
    /// the whole body: then it took the image, overwrites it and reboots without answering).
    std::int64_t dropUploadAfterBytes = -1;
    int breakStreamAfterSteps = -1;  ///< >= 0: reset the connection after this many step parts
    /// How the progress stream ends: "delimiter" (the closing delimiter, then close), "close"
    /// (closes without the closing delimiter) or "stall" (sends nothing more, keeps the connection).
    std::string streamEnd = "delimiter";
    bool neverComeBack = false;   ///< after the reboot the camera never answers again
    std::string comeBackVersion;  ///< reported after the reboot instead of the image's version
    /// Another camera takes the address while this one reboots (a DHCP lease handed on): after
    /// the reboot the address reports this serial number and, when given, this MAC.
    std::string comeBackSerial;
    std::string comeBackMac;
    /// After the reboot the camera's network is up before its web server: for this long it resets
    /// every connection as soon as it is accepted.
    int refuseAfterRebootMs = 0;
    /// The status the camera answers a firmware request with once its body is in; anything but 200
    /// is a refusal (an HTML page) and nothing is flashed.
    int answerStatus = 200;
    /// > 0: once a firmware request's head is in, the camera reads at most this many body bytes at
    /// a time and pauses slowReadPauseMs between reads (its socket buffer is kept small, so the
    /// sender feels it).
    int slowReadBytes = 0;
    int slowReadPauseMs = 0;
};

/// Reads the "upgrade" object of a fleet file into `knobs`; throws fleet_error naming `where`.
void ReadUpgradeKnobs(const nlohmann::json& object, const std::string& where, UpgradeKnobs& knobs);
nlohmann::json WriteUpgradeKnobs(const UpgradeKnobs& knobs);

}  // namespace xqt::sim

#pragma once
// How a simulated camera keeps its configuration: GET "/home/l4/<model in lower case>.cfg" (or the
// knob's file name) gives the configuration bytes to an administrator; a multipart POST to
// "/command/all-configuration.cgi" or "/command/all-configuration-preset.cgi" with the file in the
// field "Restore" replaces them, but only when authorized as the factory-default administrator.
// After a restore the camera reconfigures: for ConfigKnobs::reconfigureMs it answers no request
// (every connection is dropped), then it answers again. Fault knobs: an HTML page instead of the
// configuration, the first K restores dropped; HttpKnobs::refuseLogin refuses restores too.
//
// Threads: the handlers run on the fleet's thread; ConfigRoutes' accessors may be called from any
// thread (they lock).

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/SimCamera.h"
#include "sim/SimHttp.h"

namespace xqt::sim {

/// The family's factory-default administrator: the only account a restore is taken from.
inline constexpr std::string_view FACTORY_USER = "admin";
inline constexpr std::string_view FACTORY_PASSWORD = "xqt-default1";

/// "/home/l4/" + the served file name.
std::string ConfigDownloadPath(const SimCamera& camera);
/// The two restore paths.
bool IsRestorePath(std::string_view target);

/// The response to GET of the configuration: 401 unless an administrator's credential is given
/// (or with refuseLogin), the HTML page with htmlPage, else 200 with the bytes. The HTTP knobs
/// neverAnswer, resetConnection, answerDelayMs and pieceSize apply when onlyFor is empty or names
/// the path.
SimResponse HandleConfigDownload(const SimCamera& camera, const SimRequest& request, double timeScale);

/// The file of a restore body as the tool lays it out (CR LF, delimiter line, part headers naming
/// the field "Restore", empty line, file, CR LF, delimiter, "--", CR LF CR LF); nothing when the
/// body is laid out otherwise.
std::optional<std::string> ParseRestoreBody(std::string_view body);

/// One restore the camera took.
struct RestoreRecord {
    std::string target;  ///< the path it came to
    std::string bytes;   ///< the configuration file
};

class ConfigRoutes {
  public:
    /// `apply` is called (on the fleet's thread) with the bytes of every accepted restore.
    explicit ConfigRoutes(std::function<void(const std::string&)> apply) : apply_(std::move(apply)) {}

    /// The response when `request` is one of the configuration routes; nothing otherwise.
    std::optional<SimResponse> Handle(const SimCamera& camera, const SimRequest& request, double timeScale);

    /// True while the camera applies a restored configuration.
    bool Reconfiguring() const;
    /// Every accepted restore, in order.
    std::vector<RestoreRecord> Restores() const;
    /// Restores with the factory credential and a well-formed body, dropped or accepted.
    int RestoreAttempts() const;

  private:
    SimResponse HandleRestore(const SimCamera& camera, const SimRequest& request, double timeScale);

    std::function<void(const std::string&)> apply_;
    mutable std::mutex mutex_;
    std::vector<RestoreRecord> restores_;
    int attempts_ = 0;
    std::chrono::steady_clock::time_point reconfiguredAt_{};
};

}  // namespace xqt::sim

#pragma once
// How a simulated camera is upgraded: it takes the firmware POST (checked byte for byte against
// the layout the tool sends), records the image's size and SHA-256, answers with its progress
// stream at the pace of its knobs, then overwrites and reboots: from the end of the stream it
// answers nothing for rebootMs, and afterwards reports the version carried in the placeholder
// image's header (or comeBackVersion). A camera in emergency state takes the image without
// answering. The knobs of UpgradeKnobs add the faults.
//
// Threads: HandleFirmware and the UpgradeState operations called by the camera server run on the
// fleet's thread; Records() and WaitForRecords() may be called from any thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/SimCamera.h"
#include "sim/SimHttp.h"

namespace xqt::sim {

inline constexpr std::string_view SIM_FIRMWARE_PATH = "/command/versionup.cgi";
inline constexpr std::string_view SIM_STREAM_DELIMITER = "--vexoboundary";

/// What the camera made of one firmware POST.
struct FirmwareRecord {
    bool accepted = false;  ///< an administrator sent a body laid out as the tool sends it
    std::string problem;    ///< why it was refused, when it was
    std::uint64_t bodySize = 0;
    std::uint64_t imageSize = 0;
    std::string sha256;    ///< of the image bytes (hexadecimal), when accepted
    std::string version;   ///< version named by a placeholder image's header, else empty
    bool dropped = false;  ///< the camera dropped the connection after taking the whole body
};

/// The image inside a firmware POST body, or why the body is not one.
struct FirmwareBody {
    bool ok = false;
    std::string problem;
    std::string_view image;  ///< points into the body
};

/// Checks `body` against the layout: CR LF B CR LF, the part headers naming "setting_file" and
/// "upgrade.bin", an empty line, the image, CR LF B "--" CR LF CR LF, where B is the boundary that
/// `contentType` declares; `contentLength` must equal the body's size.
FirmwareBody CheckFirmwareBody(std::string_view contentType, std::string_view contentLength,
                               std::string_view body);

/// One progress-stream part: delimiter, a header, an empty line and `text`.
std::string ProgressPart(const std::string& text);

/// The upgrade life of one camera: images taken, the overwrite and the reboot.
class UpgradeState {
  public:
    using Clock = std::chrono::steady_clock;

    /// Records `record`; when it was accepted the camera overwrites until `overwriteEnds`, then
    /// answers nothing until `overwriteEnds + reboot` (never again without `reboot`) and comes
    /// back reporting `version` (unchanged when empty) and no longer in emergency state; for
    /// `refuse` after the reboot it resets every connection.
    void Take(FirmwareRecord record, Clock::time_point overwriteEnds, std::optional<Clock::duration> reboot,
              std::string version, Clock::duration refuse = {});
    /// Applies an overwrite that has ended to `camera`; true while the camera answers nothing.
    bool Refresh(SimCamera& camera, Clock::time_point now = Clock::now());
    /// True while the rebooted camera resets connections as soon as they are accepted.
    bool Refusing(Clock::time_point now = Clock::now()) const;

    std::vector<FirmwareRecord> Records() const;
    bool WaitForRecords(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable recorded_;
    std::vector<FirmwareRecord> records_;
    bool pending_ = false;
    std::string pendingVersion_;
    Clock::time_point offlineFrom_{};
    std::optional<Clock::time_point> offlineUntil_;  ///< none: gone for good
    bool offlineWindow_ = false;
    Clock::time_point refuseFrom_{};
    Clock::time_point refuseUntil_{};
};

/// The response to a POST on SIM_FIRMWARE_PATH. `dropped`: the connection was dropped after the
/// whole body came (nothing is sent). Records the upload in `state`.
SimResponse HandleFirmware(const SimCamera& camera, const SimRequest& request, double timeScale,
                           UpgradeState& state, bool dropped = false);

}  // namespace xqt::sim

#pragma once
// The per-camera record of automatic mode and its two extensions. Records are plain values: each
// list owns its records and copies them on insertion. Texts are UTF-8; where a list orders them it
// compares UTF-16 code units (fleet/TextForms.h).

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "camera/UpgradeStatus.h"

namespace xqt {

/// At most this many cameras take part in one automatic run.
inline constexpr int MAX_CAMERAS = 256;
inline constexpr int TEXT_SLOTS = 8;

/// An IPv4 address, first octet first (a.b.c.d is {a, b, c, d}).
using Octets = std::array<std::uint8_t, 4>;

inline constexpr Octets DEFAULT_ADDRESS{192, 168, 0, 100};

/// Text slots of a record in the TargetList.
struct TargetSlot {
    enum : int { MAC = 1, ADDRESS = 2, MODEL = 3, SERIAL = 4, VERSION = 5, NAME = 6, PASSWORD = 7 };
};
/// Text slots of a row of the added-camera list.
struct AddedSlot {
    enum : int { ID = 0, ADDRESS = 1, MODEL = 2, SERIAL = 3, VERSION = 4 };
};
/// Text slots of a row of the progress list.
struct ProgressSlot {
    enum : int { ID = 0, ADDRESS = 1, MODEL = 2, VERSION = 3, STATUS = 5, NAME = 6, PASSWORD = 7 };
};

/// Where a target's connection test stands.
enum class TestState : std::int32_t { NotTested = 0, Failed = 1, Passed = 2 };
/// What the inquiry of an added camera's address found.
enum class Verdict : std::int32_t { NotAsked = 0, Accepted = 1, Other = 2 };
/// Why an added camera's address cannot be taken as it is.
enum class Conflict : std::int32_t {
    None = 0,
    SameAddress = 1,    ///< another entered row has the address
    AlreadyTarget = 2,  ///< the TargetList has the address (wins over SameAddress)
};

/// The address text of a DHCP camera in the TargetList.
inline constexpr const char* DHCP_TEXT = "DHCP";

struct CameraRecord {
    std::int32_t id = 0;       ///< position when inserted (1-based in the added-camera list)
    std::int32_t origin = -1;  ///< -1 from discovery, else ordinal in its confirmation
    bool ticked = false;       ///< an upgrade target
    bool dhcp = false;         ///< the camera takes its address by DHCP; its address cell shows DHCP_TEXT
    std::array<std::string, TEXT_SLOTS> text;
    Octets address = DEFAULT_ADDRESS;
    std::int32_t port = 80;
    TestState testState = TestState::NotTested;
    std::int32_t selectedSaved = 0;  ///< selection kept across a re-sort
    std::int32_t focusedSaved = 0;   ///< focus kept across a re-sort
    /// Identity of the row within its list for work in flight (connection tests, inquiries):
    /// unlike id it survives sorting and the renumbering after a deletion. 0 = none.
    std::uint32_t key = 0;
};

struct AddedCameraRecord : CameraRecord {
    bool entered = false;  ///< an address has been given to the row
    Verdict verdict = Verdict::NotAsked;
    Conflict conflict = Conflict::None;
};

/// How a row's camera ended (ProgressRecord::end).
enum class RowEnd : std::int32_t {
    Pending = 0,  ///< not yet
    Finished,     ///< its run ended in `result` (Completed or an error)
    Current,      ///< it already had the image's version: nothing was written
    Unsuitable,   ///< its model or serial number is not accepted
    Suitable,     ///< dry run: it passed the start inquiries; nothing was written
    Skipped,      ///< an earlier run had upgraded it
    NotStarted,   ///< dropped by Abort or the failure limit
};

/// A 32-bit word written by one thread and read by another, kept in a copyable record: a copy
/// takes the value at that moment.
class SharedWord {
  public:
    SharedWord(std::int32_t v = 0) : value_(v) {}
    SharedWord(const SharedWord& other) : value_(other.Load()) {}
    SharedWord& operator=(const SharedWord& other) {
        Store(other.Load());
        return *this;
    }
    SharedWord& operator=(std::int32_t v) {
        Store(v);
        return *this;
    }
    [[nodiscard]] std::int32_t Load() const { return value_.load(std::memory_order_acquire); }
    void Store(std::int32_t v) { value_.store(v, std::memory_order_release); }
    operator std::int32_t() const { return Load(); }
    /// Where a worker writes; valid while the record stays where it is (the owning array must not
    /// reallocate while a worker holds this).
    std::atomic<std::int32_t>* Word() { return &value_; }

  private:
    std::atomic<std::int32_t> value_;
};

struct ProgressRecord : CameraRecord {
    SharedWord progress;  ///< 0..10000, written by the camera's upgrade worker
    /// The final status once the worker has ended, else Standby.
    UpgradeStatus result = UpgradeStatus::Standby;
    bool dhcp = false;           ///< the TargetList showed "DHCP" for the camera
    std::int32_t imageSlot = 0;  ///< image slot 0..4 chosen by the camera's DocType
    /// With result Completed: the camera reported the new version itself, not the run taking it as
    /// reported (overwrite watchdog, emergency camera).
    bool confirmed = false;
    /// The version the camera had: the listed one, then the one it reported when its run began.
    std::string previousVersion;
    std::string mac;     ///< as the target list had it; may be empty
    std::string serial;  ///< as the target list had it
    /// What went wrong; None when nothing did or the camera never started.
    UpgradeFailure failure = UpgradeFailure::None;
    /// Its run sent the camera its image (the upload went through, whatever came after).
    bool imageSent = false;
    /// The saved configuration kept after the run (Backup), empty when none is kept.
    std::string savedFile;
    /// How the camera's part of the run ended; Pending while it has not.
    RowEnd end = RowEnd::Pending;
    /// Start inquiries asked of the camera (more than one when it was unreachable and tried again).
    std::int32_t attempts = 0;
    /// What went wrong, in words a person can act on; empty when nothing did.
    std::string detail;
    /// When the camera's start inquiries began and when it ended; zero when it did not.
    std::chrono::system_clock::time_point startedAt{};
    std::chrono::system_clock::time_point endedAt{};
};

}  // namespace xqt

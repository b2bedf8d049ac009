#pragma once
// The discovery table: up to 256 cameras that answered the enquiry, found by MAC, shared between
// the receive thread that fills it and the pages that read it.
//
// Threads: one writer at a time calls HandleDatagram (the receive thread of DiscoveryService;
// tests and fuzzers call it directly). Any thread may read Entry, Snapshot and the four flags at
// any time. Every entry is guarded by its own small mutex, so a reader copies an entry either
// wholly before or wholly after a reply was written into it, never a mix; `count` grows only after
// the new entry can be read. The writer never waits on anything but one entry's copy.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "camera/DiscoveryEntry.h"
#include "camera/ModelList.h"

namespace xqt {

inline constexpr int DISCOVERY_TABLE_SIZE = 256;

/// What one datagram did to the table.
enum class DatagramOutcome {
    Added,          ///< a new camera took the first free entry
    Updated,        ///< the entry with the same MAC was rewritten
    Ignored,        ///< not a camera reply (ACK:, NAK: or anything else)
    UnlistedModel,  ///< the model is not in the model list
    RefusedSerial,  ///< the serial-number check refused the serial
    NoMac,          ///< the reply names no MAC, so no entry could ever show it
    TableFull,      ///< all 256 entries hold other cameras
};

class DiscoveryResults {
  public:
    /// Decides whether the firmware may go to a camera with this serial number. The program passes
    /// IsSerialAllowed. It is called on the receive thread and must be safe there.
    using SerialCheck = std::function<bool(const std::string& serial)>;

    /// `models`: the program's model list. An empty `serialAllowed` refuses every serial.
    DiscoveryResults(const ModelList& models, SerialCheck serialAllowed);

    DiscoveryResults(const DiscoveryResults&) = delete;
    DiscoveryResults& operator=(const DiscoveryResults&) = delete;

    /// One received datagram, read as text up to its first NUL. A datagram that holds "MODEL:" is a
    /// camera reply; replies to setting requests ("ACK:", "NAK:") and everything else leave the
    /// table alone. Writer thread only.
    DatagramOutcome HandleDatagram(std::string_view bytes);

    /// Records one camera reply: the model (cut to 31 bytes) must be listed and the serial (cut to
    /// 31 bytes) allowed; the entry with the same MAC is rewritten, else the first free entry is
    /// taken. Writer thread only.
    DatagramOutcome HandleCameraReply(std::string_view text);

    /// A copy of entry `index` (0–255); not in use when its MAC is empty.
    DiscoveryEntry Entry(int index) const;
    /// Copies of the entries in use, in table order.
    std::vector<DiscoveryEntry> Snapshot() const;
    /// Cameras (told apart by MAC, at most 256) that answered but are not in the table because
    /// their model is not listed or their serial number is refused. Any thread.
    int LeftOutCount() const;

    /// Entries added so far (updates do not count). Written by the writer, read by anyone.
    std::atomic<std::int32_t> count{0};
    /// Set to 1 by the owner to end the receive thread; the receive thread sets it back to 0 when
    /// it has ended.
    std::atomic<std::int32_t> stop{0};
    /// Replies are handled only while this is not 0; set to 1 when discovery starts.
    std::atomic<std::int32_t> accepting{0};
    /// 1 while the receive thread runs, 0 when none does. Pages poll it to know when the search ends.
    std::atomic<std::int32_t> thread{0};

  private:
    struct Slot {
        mutable std::mutex mutex;
        DiscoveryEntry entry;  // guarded by mutex; entry.mac is also read unlocked by the writer
    };

    void NoteLeftOut(std::string_view reply);

    const ModelList models_;
    const SerialCheck serialAllowed_;
    mutable std::mutex leftOutMutex_;
    std::set<std::string> leftOut_;  // MACs; guarded by leftOutMutex_
    std::mutex writer_;              // keeps a second writer from racing the unlocked MAC scan
    std::array<Slot, DISCOVERY_TABLE_SIZE> slots_;
};

}  // namespace xqt

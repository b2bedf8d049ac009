#include "camera/DiscoveryResults.h"

#include "camera/DiscoveryReply.h"

namespace xqt {

DiscoveryResults::DiscoveryResults(const ModelList& models, SerialCheck serialAllowed)
    : models_(models), serialAllowed_(std::move(serialAllowed)) {}

DatagramOutcome DiscoveryResults::HandleDatagram(std::string_view bytes) {
    // The datagram is bounded by its received length, never by a terminator it may lack.
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    if (text.find("MODEL:") != std::string_view::npos) return HandleCameraReply(text);
    // "ACK:" and "NAK:" answer setting requests, which this program never sends.
    return DatagramOutcome::Ignored;
}

void DiscoveryResults::NoteLeftOut(std::string_view text) {
    const std::string mac(ReadField(text, "MAC:", ROOM_MAC));
    if (mac.empty()) return;
    std::lock_guard lock(leftOutMutex_);
    // Bounded like the table: a flood of made-up MACs cannot grow it further.
    if (leftOut_.size() < DISCOVERY_TABLE_SIZE) leftOut_.insert(mac);
}

int DiscoveryResults::LeftOutCount() const {
    std::lock_guard lock(leftOutMutex_);
    return static_cast<int>(leftOut_.size());
}

DatagramOutcome DiscoveryResults::HandleCameraReply(std::string_view text) {
    const std::string model(ReadField(text, "MODEL:", ROOM_MODEL));
    if (!IsListedModel(models_, model)) {
        NoteLeftOut(text);
        return DatagramOutcome::UnlistedModel;
    }
    const std::string serialChecked(ReadField(text, "SERIAL:", ROOM_SERIAL_CHECK));
    if (!serialAllowed_ || !serialAllowed_(serialChecked)) {
        NoteLeftOut(text);
        return DatagramOutcome::RefusedSerial;
    }
    const std::string_view mac = ReadField(text, "MAC:", ROOM_MAC);
    // An entry is in use only when its MAC is set: a reply without one could only occupy a slot
    // that nobody sees and inflate the count.
    if (mac.empty()) return DatagramOutcome::NoMac;

    std::lock_guard writerLock(writer_);
    Slot* target = nullptr;
    bool isNew = false;
    for (Slot& slot : slots_) {
        if (slot.entry.mac == mac) {
            target = &slot;
            break;
        }
        if (slot.entry.mac.empty()) {
            target = &slot;
            isNew = true;
            break;
        }
    }
    if (!target) return DatagramOutcome::TableFull;

    DiscoveryEntry entry;
    entry.model = model;
    entry.serial = ReadField(text, "SERIAL:", ROOM_SERIAL);
    entry.version = ReadField(text, "SOFTVERSION:", ROOM_VERSION);
    entry.ipAddress = ParseIpAddress(ReadField(text, "IPADR:", ROOM_IPADR));
    entry.dhcp = IsFieldOn(text, "DHCP:");
    entry.dnsAuto = IsFieldOn(text, "DNSAUTO:");
    entry.webPort = ParseWebPort(ReadField(text, "WEBPORT:", ROOM_WEBPORT));
    entry.mac = mac;
    {
        std::lock_guard entryLock(target->mutex);
        target->entry = std::move(entry);
    }
    if (!isNew) return DatagramOutcome::Updated;
    count.fetch_add(1, std::memory_order_release);
    return DatagramOutcome::Added;
}

DiscoveryEntry DiscoveryResults::Entry(int index) const {
    if (index < 0 || index >= DISCOVERY_TABLE_SIZE) return {};
    const Slot& slot = slots_[static_cast<std::size_t>(index)];
    std::lock_guard lock(slot.mutex);
    return slot.entry;
}

std::vector<DiscoveryEntry> DiscoveryResults::Snapshot() const {
    std::vector<DiscoveryEntry> inUse;
    for (const Slot& slot : slots_) {
        std::lock_guard lock(slot.mutex);
        if (!slot.entry.mac.empty()) inUse.push_back(slot.entry);
    }
    return inUse;
}

}  // namespace xqt

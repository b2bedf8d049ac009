#include "fleet/Conversions.h"

#include "fleet/TextForms.h"

namespace xqt {

std::optional<CameraEntry> EntryFromDiscovery(const DiscoveryEntry& entry) {
    if (entry.mac.empty()) return std::nullopt;
    CameraEntry e;
    e.macText = entry.mac;
    e.dhcp = entry.dhcp;
    e.addressText = entry.dhcp ? std::string(DHCP_TEXT) : AddressText(entry.ipAddress, entry.webPort);
    e.model = entry.model;
    e.serial = entry.serial;
    e.version = entry.version;
    e.address = entry.ipAddress;
    e.port = entry.webPort;
    e.origin = -1;
    return e;
}

CameraEntry EntryFromAdded(const AddedCameraRecord& row, int ordinal) {
    CameraEntry e;
    e.addressText = AddressText(row.address, row.port);
    e.model = row.text[AddedSlot::MODEL];
    e.serial = row.text[AddedSlot::SERIAL];
    e.version = row.text[AddedSlot::VERSION];
    e.address = row.address;
    e.port = row.port;
    e.origin = ordinal;
    return e;
}

ProgressRecord MakeProgressRecord(const UpgradeData& data, int id) {
    ProgressRecord p;
    p.id = id;
    p.text[ProgressSlot::ID] = IdText(id + 1);
    p.text[ProgressSlot::ADDRESS] = AddressText(data.address, data.port);
    p.text[ProgressSlot::MODEL] = data.model;
    p.text[ProgressSlot::VERSION] = data.version;
    p.text[ProgressSlot::NAME] = data.name;
    p.text[ProgressSlot::PASSWORD] = data.password;
    p.address = data.address;
    p.port = data.port;
    p.dhcp = data.dhcp;
    p.previousVersion = data.version;
    p.mac = data.mac;
    p.serial = data.serial;
    return p;
}

std::vector<ProgressRecord> MakeProgressRows(const TargetList& targets) {
    std::vector<ProgressRecord> rows;
    for (int i = 0; i < targets.Size(); ++i) {
        UpgradeData data = targets.GetUpgradeData(i);
        if (!data.ticked) continue;
        rows.push_back(MakeProgressRecord(data, static_cast<int>(rows.size())));
        rows.back().key = targets.Record(i).key;
    }
    return rows;
}

}  // namespace xqt

#pragma once
// How a camera passes from one list to the next: discovery entry or valid added row into the
// TargetList, ticked targets into the progress list.

#include <optional>
#include <vector>

#include "camera/DiscoveryEntry.h"
#include "fleet/CameraRecord.h"
#include "fleet/TargetList.h"

namespace xqt {

/// A discovered camera as Insert takes it: "DHCP" as address text when the camera uses DHCP,
/// origin -1. Nothing for an entry without MAC text. The entry's texts are taken as they are
/// (UTF-8, converted from the wire by discovery).
[[nodiscard]] std::optional<CameraEntry> EntryFromDiscovery(const DiscoveryEntry& entry);

/// A valid added row as Insert takes it: no MAC text, the row's address text, model, serial and
/// version, and `ordinal` (its place among the rows taken over in this confirmation) as origin.
CameraEntry EntryFromAdded(const AddedCameraRecord& row, int ordinal);

/// The progress row of the `id`-th ticked target (0-based): ID text of id + 1, the real address
/// text also for a DHCP camera, model, version (also kept as previousVersion) and credentials.
ProgressRecord MakeProgressRecord(const UpgradeData& data, int id);

/// One progress row for every ticked record of `targets`, in display order.
std::vector<ProgressRecord> MakeProgressRows(const TargetList& targets);

}  // namespace xqt

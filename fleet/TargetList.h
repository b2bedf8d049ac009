#pragma once
// The list of upgrade targets behind the camera grid of the automatic targets page: the records in
// display order, the rules by which cameras enter it, and the checks that gate the upgrade. It is
// a plain model: the grid shows it and forwards ticks, sorts and credentials to it. UI thread only.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "camera/DiscoveryEntry.h"
#include "fleet/CameraRecord.h"
#include "fleet/ListSort.h"
#include "platform/MessageBoxes.h"

namespace xqt {

/// What Insert takes: one camera as discovery or the added-camera list describes it.
struct CameraEntry {
    std::string macText;      ///< empty for a camera added by hand
    std::string addressText;  ///< AddressText of address and port, or DHCP_TEXT when dhcp
    bool dhcp = false;        ///< the camera takes its address by DHCP
    std::string model;
    std::string serial;
    std::string version;
    Octets address = DEFAULT_ADDRESS;
    std::int32_t port = 80;
    std::int32_t origin = -1;
};

struct Credentials {
    std::string name;
    std::string password;
    Octets address{};
};

/// What the automatic progress page reads for every row.
struct UpgradeData {
    std::string name;
    std::string password;
    std::string model;
    std::string version;
    std::string serial;
    std::string mac;  ///< as discovery gave it; empty for a camera added by address
    Octets address{};
    std::int32_t port = 80;
    bool dhcp = false;    ///< exactly when the address text is "DHCP"
    bool ticked = false;  ///< the row is an upgrade target
};

enum class InsertResult { Inserted, Present, Full };

class TargetList {
  public:
    /// Appends the camera unless it is present by the identity rule (same MAC text; without MAC
    /// the same serial; with neither, present as soon as the list holds any record) or the list
    /// already holds MAX_CAMERAS records. A new record is ticked, has id = its position, and a
    /// fresh key.
    InsertResult Insert(const CameraEntry& entry);

    /// Inserts the discovery entries from index size() on (entries before that are already shown),
    /// skipping entries without MAC text and reading no entry from MAX_CAMERAS on.
    void FillFromDiscovery(std::span<const DiscoveryEntry> entries);

    void DeleteAll();

    int Size() const { return static_cast<int>(records_.size()); }
    [[nodiscard]] bool Empty() const { return records_.empty(); }
    /// Row `position` in display order; positions must be below Size() (std::out_of_range).
    const CameraRecord& Record(int position) const { return records_.at(position); }
    const std::vector<CameraRecord>& Records() const { return records_; }
    /// Position of the record with this key, or -1 (the record is gone).
    int FindByKey(std::uint32_t key) const;

    Credentials GetCredentials(int position) const;
    void SetCredentials(int position, const std::string& name, const std::string& password);
    UpgradeData GetUpgradeData(int position) const;
    Octets GetAddress(int position) const;

    /// Ready for the upgrade: at least one ticked record, and every ticked record has a name and a
    /// password.
    [[nodiscard]] bool IsReady() const;

    /// One line "#a.b.c.d\r\n" (with record i's address) for every pair i < j of records with the
    /// same four octets; ports are not compared. Empty when the addresses are distinct.
    [[nodiscard]] std::string DuplicateAddressReport() const;
    /// The duplicate-address check: true when it passes; otherwise shows the report in an error box
    /// on `boxes` and returns false.
    [[nodiscard]] bool FindDuplicateAddresses(platform::MessageBoxes& boxes) const;

    /// Result of a connection test for the record with `key`: with a MAC address from the
    /// camera's answer the test passed (and an empty MAC text takes it), without one it failed.
    /// False when no record has the key any more.
    bool RecordTestResult(std::uint32_t key, const std::optional<std::string>& mac);

    /// A click on the tick box of `row`. With one row selected, or the clicked row outside the
    /// selection, only the clicked row flips; with several selected rows including it, every
    /// selected row takes the inverse of the clicked row's tick.
    void ClickTick(int row, std::span<const int> selectedRows);
    /// The space bar: when the focused row is selected, every selected row is unticked if the
    /// focused row is ticked, else ticked. True when it applied (the ticks changed).
    bool PressSpace(int focusedRow, std::span<const int> selectedRows);
    void SetTicked(int position, bool ticked);

    /// A click on heading `column`: records the column and direction, then sorts (column 0 by tick,
    /// unless all ticks are equal; columns 1..6 by text) and renumbers ids to the new positions.
    /// The outcome says where the given selection and focus are afterwards.
    SortOutcome SortByColumn(int column, std::span<const int> selectedRows, int focusedRow);
    const SortState& Sort() const { return sort_; }

  private:
    [[nodiscard]] bool IsPresent(const CameraEntry& entry) const;

    std::vector<CameraRecord> records_;
    SortState sort_{.sortColumn = -1, .ascending = true, .sortKey = 1};
    std::uint32_t nextKey_ = 1;
};

}  // namespace xqt

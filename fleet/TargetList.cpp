#include "fleet/TargetList.h"

#include <algorithm>

#include "fleet/Conversions.h"
#include "fleet/TextForms.h"
#include "platform/ResourceText.h"

namespace xqt {

namespace {
constexpr std::uint16_t RES_ERROR_CAPTION = 139;
}  // namespace

bool TargetList::IsPresent(const CameraEntry& entry) const {
    if (!entry.macText.empty()) {
        return std::any_of(records_.begin(), records_.end(),
                           [&](const CameraRecord& r) { return r.text[TargetSlot::MAC] == entry.macText; });
    }
    if (!entry.serial.empty()) {
        return std::any_of(records_.begin(), records_.end(),
                           [&](const CameraRecord& r) { return r.text[TargetSlot::SERIAL] == entry.serial; });
    }
    // Nothing to tell this camera from another: it counts as present once the list holds anything.
    return !records_.empty();
}

InsertResult TargetList::Insert(const CameraEntry& entry) {
    if (IsPresent(entry)) return InsertResult::Present;
    if (Size() >= MAX_CAMERAS) return InsertResult::Full;
    CameraRecord r;
    r.id = Size();
    r.origin = entry.origin;
    r.ticked = true;
    r.text[TargetSlot::MAC] = entry.macText;
    r.text[TargetSlot::ADDRESS] = entry.addressText;
    r.dhcp = entry.dhcp;
    r.text[TargetSlot::MODEL] = entry.model;
    r.text[TargetSlot::SERIAL] = entry.serial;
    r.text[TargetSlot::VERSION] = entry.version;
    r.address = entry.address;
    r.port = entry.port;
    r.key = nextKey_++;
    records_.push_back(std::move(r));
    return InsertResult::Inserted;
}

void TargetList::FillFromDiscovery(std::span<const DiscoveryEntry> entries) {
    const std::size_t end = std::min<std::size_t>(entries.size(), MAX_CAMERAS);
    for (std::size_t k = records_.size(); k < end; ++k) {
        if (auto entry = EntryFromDiscovery(entries[k])) Insert(*entry);
    }
}

void TargetList::DeleteAll() {
    records_.clear();
}

int TargetList::FindByKey(std::uint32_t key) const {
    for (int i = 0; i < Size(); ++i) {
        if (records_[i].key == key) return i;
    }
    return -1;
}

Credentials TargetList::GetCredentials(int position) const {
    const CameraRecord& r = records_.at(position);
    return {r.text[TargetSlot::NAME], r.text[TargetSlot::PASSWORD], r.address};
}

void TargetList::SetCredentials(int position, const std::string& name, const std::string& password) {
    CameraRecord& r = records_.at(position);
    r.text[TargetSlot::NAME] = name;
    r.text[TargetSlot::PASSWORD] = password;
}

UpgradeData TargetList::GetUpgradeData(int position) const {
    const CameraRecord& r = records_.at(position);
    UpgradeData d;
    d.name = r.text[TargetSlot::NAME];
    d.password = r.text[TargetSlot::PASSWORD];
    d.model = r.text[TargetSlot::MODEL];
    d.version = r.text[TargetSlot::VERSION];
    d.serial = r.text[TargetSlot::SERIAL];
    d.mac = r.text[TargetSlot::MAC];
    d.address = r.address;
    d.port = r.port;
    d.dhcp = r.dhcp;
    d.ticked = r.ticked;
    return d;
}

Octets TargetList::GetAddress(int position) const {
    return records_.at(position).address;
}

bool TargetList::IsReady() const {
    bool anyTicked = false;
    for (const CameraRecord& r : records_) {
        if (!r.ticked) continue;
        anyTicked = true;
        if (r.text[TargetSlot::NAME].empty() || r.text[TargetSlot::PASSWORD].empty()) return false;
    }
    return anyTicked;
}

std::string TargetList::DuplicateAddressReport() const {
    std::string report;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        for (std::size_t j = i + 1; j < records_.size(); ++j) {
            if (records_[i].address == records_[j].address) {
                report += "#" + AddressText(records_[i].address, 80) + "\r\n";
            }
        }
    }
    return report;
}

bool TargetList::FindDuplicateAddresses(platform::MessageBoxes& boxes) const {
    std::string report = DuplicateAddressReport();
    if (report.empty()) return true;
    boxes.Show("There is more than one camera with the same IP address as below.\r\n" + report +
                   "Please assign different addresses to avoid any conflict.",
               platform::TextOf(RES_ERROR_CAPTION), platform::MbButtons::Ok, platform::MbIcon::Stop);
    return false;
}

bool TargetList::RecordTestResult(std::uint32_t key, const std::optional<std::string>& mac) {
    int position = FindByKey(key);
    if (position < 0) return false;
    CameraRecord& r = records_[position];
    if (mac) {
        r.testState = TestState::Passed;
        if (r.text[TargetSlot::MAC].empty()) r.text[TargetSlot::MAC] = *mac;
    } else {
        r.testState = TestState::Failed;
    }
    return true;
}

void TargetList::ClickTick(int row, std::span<const int> selectedRows) {
    if (row < 0 || row >= Size()) return;
    const bool clickedSelected =
        std::find(selectedRows.begin(), selectedRows.end(), row) != selectedRows.end();
    const bool inverse = !records_[row].ticked;
    if (selectedRows.size() == 1 || !clickedSelected) {
        records_[row].ticked = inverse;
        return;
    }
    for (int s : selectedRows) {
        if (s >= 0 && s < Size()) records_[s].ticked = inverse;
    }
}

bool TargetList::PressSpace(int focusedRow, std::span<const int> selectedRows) {
    if (focusedRow < 0 || focusedRow >= Size()) return false;
    if (std::find(selectedRows.begin(), selectedRows.end(), focusedRow) == selectedRows.end()) return false;
    const bool value = !records_[focusedRow].ticked;
    for (int s : selectedRows) {
        if (s >= 0 && s < Size()) records_[s].ticked = value;
    }
    return true;
}

void TargetList::SetTicked(int position, bool ticked) {
    records_.at(position).ticked = ticked;
}

SortOutcome TargetList::SortByColumn(int column, std::span<const int> selectedRows, int focusedRow) {
    sort_.Click(column);
    if (column == 0) {
        const bool allSame = std::all_of(records_.begin(), records_.end(), [&](const CameraRecord& r) {
            return r.ticked == records_.front().ticked;
        });
        if (allSame) return {};
    } else if (column >= 1 && column <= 6) {
        sort_.sortKey = column;
    } else {
        return {};
    }
    const bool ascending = sort_.ascending;
    SortOutcome out = detail::SortKeepingSelection(
        records_,
        [&](const CameraRecord& a, const CameraRecord& b) { return CompareTargets(a, b, column, ascending); },
        selectedRows, focusedRow);
    for (int i = 0; i < Size(); ++i)
        records_[i].id = i;
    return out;
}

}  // namespace xqt

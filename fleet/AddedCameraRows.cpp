#include "fleet/AddedCameraRows.h"

#include <algorithm>

#include "fleet/Conversions.h"
#include "fleet/TextForms.h"

namespace xqt {

int AddedCameraRows::AppendBlank() {
    AddedCameraRecord r;
    r.id = Size() + 1;
    r.origin = r.id;
    r.text[AddedSlot::ID] = IdText(r.id);
    r.address = nextAddress_;
    r.port = nextPort_;
    r.key = nextKey_++;
    rows_.push_back(std::move(r));
    return Size() - 1;
}

bool AddedCameraRows::SetAddress(int index, const Octets& address, std::int32_t port) {
    AddedCameraRecord& r = rows_.at(index);
    r.address = address;
    r.port = port;
    const std::string text = AddressText(address, port);
    bool inquire = false;
    if (text != r.text[AddedSlot::ADDRESS] || !r.entered) {
        r.text[AddedSlot::ADDRESS] = text;
        r.entered = true;
        r.text[AddedSlot::MODEL] = QUEUED_TEXT;
        r.text[AddedSlot::SERIAL].clear();
        r.text[AddedSlot::VERSION].clear();
        // The verdict belonged to the old address; until the new one answers the row is not valid.
        r.verdict = Verdict::NotAsked;
        r.key = nextKey_++;
        inquire = true;
    }
    RecomputeConflicts();
    nextAddress_ = address;
    nextPort_ = port;
    return inquire;
}

int AddedCameraRows::DeleteRow(int index) {
    const int removedId = rows_.at(index).id;
    for (AddedCameraRecord& r : rows_) {
        if (r.id > removedId) {
            --r.id;
            r.origin = r.id;
            r.text[AddedSlot::ID] = IdText(r.id);
        }
    }
    rows_.erase(rows_.begin() + index);
    RecomputeConflicts();
    if (rows_.empty()) return -1;
    return std::min(index, Size() - 1);
}

int AddedCameraRows::RemoveBlankRows() {
    int removed = 0;
    for (int i = Size() - 1; i >= 0; --i) {
        if (!rows_[i].entered) {
            DeleteRow(i);
            ++removed;
        }
    }
    return removed;
}

int AddedCameraRows::FindById(int id) const {
    for (int i = 0; i < Size(); ++i) {
        if (rows_[i].id == id) return i;
    }
    return -1;
}

int AddedCameraRows::FindByKey(std::uint32_t key) const {
    for (int i = 0; i < Size(); ++i) {
        if (rows_[i].key == key) return i;
    }
    return -1;
}

bool AddedCameraRows::IsValid(int index) const {
    const AddedCameraRecord& r = rows_.at(index);
    return r.entered && r.conflict == Conflict::None && r.verdict == Verdict::Accepted;
}

bool AddedCameraRows::AnyInvalid() const {
    for (int i = 0; i < Size(); ++i) {
        if (!IsValid(i)) return true;
    }
    return false;
}

bool AddedCameraRows::MarkSearching(std::uint32_t key) {
    int i = FindByKey(key);
    if (i < 0) return false;
    rows_[i].text[AddedSlot::MODEL] = SEARCHING_TEXT;
    return true;
}

bool AddedCameraRows::ApplyInquiryResult(std::uint32_t key, const InquiryOutcome& outcome) {
    int i = FindByKey(key);
    if (i < 0) return false;
    AddedCameraRecord& r = rows_[i];
    if (!outcome.answered) {
        r.text[AddedSlot::MODEL] = NO_RESPONSE_TEXT;
    } else if (!outcome.isCamera) {
        r.text[AddedSlot::MODEL] = NOT_A_CAMERA_TEXT;
    } else {
        r.text[AddedSlot::MODEL] = outcome.model;
    }
    r.text[AddedSlot::SERIAL] = outcome.serial;
    r.text[AddedSlot::VERSION] = StripVer(outcome.version);
    r.verdict = outcome.accepted ? Verdict::Accepted : Verdict::Other;
    return true;
}

void AddedCameraRows::RecomputeConflicts() {
    for (AddedCameraRecord& r : rows_)
        r.conflict = Conflict::None;
    // A blank row only carries the address remembered for it, not one the user gave, so it
    // neither takes nor causes a mark.
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (!rows_[i].entered) continue;
        for (std::size_t j = 0; j < rows_.size(); ++j) {
            if (i != j && rows_[j].entered && rows_[j].address == rows_[i].address)
                rows_[j].conflict = Conflict::SameAddress;
        }
    }
    for (AddedCameraRecord& r : rows_) {
        if (!r.entered) continue;
        for (const CameraRecord& t : targets_->Records()) {
            if (t.address == r.address) {
                r.conflict = Conflict::AlreadyTarget;
                break;
            }
        }
    }
}

int AddedCameraRows::TakeOver(TargetList& targets) const {
    int ordinal = 0;
    int inserted = 0;
    for (int i = 0; i < Size(); ++i) {
        if (!IsValid(i)) continue;
        if (targets.Insert(EntryFromAdded(rows_[i], ordinal)) == InsertResult::Inserted) ++inserted;
        ++ordinal;
    }
    return inserted;
}

SortOutcome AddedCameraRows::SortByColumn(int column, std::span<const int> selectedRows, int focusedRow) {
    sort_.Click(column);
    if (column < 0 || column > 4) return {};
    sort_.sortKey = column;
    const bool ascending = sort_.ascending;
    return detail::SortKeepingSelection(
        rows_,
        [&](const AddedCameraRecord& a, const AddedCameraRecord& b) {
            return CompareAdded(a, b, column, ascending);
        },
        selectedRows, focusedRow);
}

}  // namespace xqt

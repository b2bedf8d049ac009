// AddedCameraList: every row given a new address is looked up (fleet/ListInquiries.h); the answer
// decides the row's model, serial, version and verdict.
#include "gui/controls/AddedCameraList.h"

namespace xqt {

void AddedCameraList::SetAddress(int index, const Octets& address, std::int32_t port) {
    const std::uint32_t oldKey = rows_.Row(index).key;
    if (rows_.SetAddress(index, address, port)) {
        inquiries_.Drop(oldKey);
        const AddedCameraRecord& row = rows_.Row(index);
        inquiries_.Add(row.key, row.address, row.port, row.id - 1);
        if (!inquiryTimer_.isActive()) inquiryTimer_.start();
    }
    AnnounceRowsChanged();
}

void AddedCameraList::SetSerialCheck(SerialCheck check) {
    if (check) serialCheck_ = std::move(check);
}

void AddedCameraList::OnInquiryTick() {
    const TickScope scope;
    if (!scope.entered) return;
    emit InquiriesIdle(inquiries_.Empty());
    if (inquiries_.Empty()) {
        // Nothing left to ask: OK has been told; the next address starts the timer again.
        inquiryTimer_.stop();
        return;
    }
    inquiries_.Tick(
        [this](std::uint32_t key) { rows_.MarkSearching(key); },
        [this](std::uint32_t key, const InquiryOutcome& outcome) { rows_.ApplyInquiryResult(key, outcome); },
        serialCheck_);
    AnnounceRowsChanged();
}

}  // namespace xqt

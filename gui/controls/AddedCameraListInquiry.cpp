// AddedCameraList: the inquiries. Every row given a new address is asked "inq=system" through an
// InquiryQueue (at most two in flight); the answer decides the row's model, serial, version and
// verdict.
#include <algorithm>
#include <chrono>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "gui/controls/AddedCameraList.h"

namespace xqt {

void AddedCameraList::SetAddress(int index, const Octets& address, std::int32_t port) {
    const std::uint32_t oldKey = rows_.Row(index).key;
    if (rows_.SetAddress(index, address, port)) {
        inquiries_.Drop(oldKey);
        const AddedCameraRecord& row = rows_.Row(index);
        SessionConfig config;
        config.hostPort = row.text[AddedSlot::ADDRESS];
        // No user is known yet: the credential of an empty name and password (":").
        config.credential = EncodeCredential("", "");
        config.modelList = Models();
        config.slot = std::clamp(row.id - 1, 0, MAX_CAMERAS - 1);
        config.timing = Timing();
        inquiries_.Add(row.key, std::make_unique<CameraSession>(std::move(config)));
        if (!inquiryTimer_.isActive()) inquiryTimer_.start();
    }
    AnnounceRowsChanged();
}

void AddedCameraList::SetSerialCheck(SerialCheck check) {
    if (check) serialCheck_ = std::move(check);
}

InquiryOutcome AddedCameraList::Evaluate(CameraSession& session) const {
    InquiryOutcome outcome;
    const std::string answer = session.AsyncAnswer();
    outcome.answered = !answer.empty();
    const SystemFields fields = session.ParseSystemAnswer(answer, false);
    outcome.isCamera = fields.accepted;
    outcome.model = fields.model;
    outcome.serial = fields.serial;
    outcome.version = fields.version;
    outcome.accepted = fields.accepted && serialCheck_(fields.serial);
    return outcome;
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
    inquiries_.Tick([this](std::uint32_t key) { rows_.MarkSearching(key); },
                    [this](std::uint32_t key, CameraSession& session) {
                        rows_.ApplyInquiryResult(key, Evaluate(session));
                    });
    AnnounceRowsChanged();
}

}  // namespace xqt

// AddedCameraList: the inquiry loop. Every row given a new address is asked "inq=system"; at most
// the first two queued inquiries are looked at per tick, so no more than two are in flight. The
// answer decides the row's model, serial, version and verdict.
#include <algorithm>
#include <chrono>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "controls/AddedCameraList.h"

namespace xqt {

namespace {
/// Inquiries looked at per tick.
constexpr std::size_t INQUIRIES_IN_FLIGHT = 2;
}  // namespace

void AddedCameraList::SetAddress(int index, const Octets& address, std::int32_t port) {
    const std::uint32_t oldKey = rows_.Row(index).key;
    if (rows_.SetAddress(index, address, port)) {
        DropInquiry(oldKey);
        const AddedCameraRecord& row = rows_.Row(index);
        SessionConfig config;
        config.hostPort = row.text[AddedSlot::ADDRESS];
        // No user is known yet: the credential of an empty name and password (":").
        config.credential = EncodeCredential("", "");
        config.modelList = Models();
        config.slot = std::clamp(row.id - 1, 0, MAX_CAMERAS - 1);
        config.timing = Timing();
        auto worker = std::make_unique<InquiryWorker>();
        worker->key = row.key;
        worker->session = std::make_unique<CameraSession>(std::move(config));
        inquiryQueue_.push_back(std::move(worker));
        if (!inquiryTimer_.isActive()) inquiryTimer_.start();
    }
    AnnounceRowsChanged();
}

void AddedCameraList::DropInquiry(std::uint32_t key) {
    std::erase_if(inquiryQueue_, [key](const std::unique_ptr<InquiryWorker>& w) { return w->key == key; });
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
    emit InquiriesIdle(inquiryQueue_.empty());
    if (inquiryQueue_.empty()) {
        // Nothing left to ask: OK has been told; the next address starts the timer again.
        inquiryTimer_.stop();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    std::vector<InquiryWorker*> looked;
    for (std::size_t i = 0; i < inquiryQueue_.size() && i < INQUIRIES_IN_FLIGHT; ++i)
        looked.push_back(inquiryQueue_[i].get());
    for (InquiryWorker* worker : looked) {
        CameraSession& session = *worker->session;
        if (!worker->sent) {
            worker->sent = true;
            session.InquireAsync(INQ_SYSTEM);
            rows_.MarkSearching(worker->key);
            continue;
        }
        const bool overdue = now - session.AsyncStartTime() > Timing().addedListInquiryLimit;
        if (!session.IsInquiryDone() && !overdue) continue;
        // An overdue inquiry is judged on what has come so far, which is nothing: "No response".
        rows_.ApplyInquiryResult(worker->key, Evaluate(session));
        std::erase_if(inquiryQueue_,
                      [worker](const std::unique_ptr<InquiryWorker>& w) { return w.get() == worker; });
    }
    AnnounceRowsChanged();
}

}  // namespace xqt

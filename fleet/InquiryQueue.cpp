#include "fleet/InquiryQueue.h"

#include <algorithm>

namespace xqt {

InquiryQueue::InquiryQueue(std::string_view body, std::chrono::milliseconds limit, std::size_t inFlight)
    : body_(body), limit_(limit), inFlight_(std::max<std::size_t>(1, inFlight)) {}

InquiryQueue::~InquiryQueue() = default;

void InquiryQueue::Add(std::uint32_t key, std::unique_ptr<CameraSession> session) {
    auto entry = std::make_unique<Entry>();
    entry->key = key;
    entry->session = std::move(session);
    queue_.push_back(std::move(entry));
}

void InquiryQueue::Drop(std::uint32_t key) {
    std::erase_if(queue_, [key](const std::unique_ptr<Entry>& entry) { return entry->key == key; });
}

void InquiryQueue::Clear() {
    queue_.clear();
}

bool InquiryQueue::Tick(const SentFn& sent, const DoneFn& done) {
    const auto now = std::chrono::steady_clock::now();
    // The entries looked at are fixed first: taking one does not bring the next into this tick.
    std::vector<Entry*> looked;
    for (std::size_t i = 0; i < queue_.size() && i < inFlight_; ++i)
        looked.push_back(queue_[i].get());
    bool taken = false;
    for (Entry* entry : looked) {
        CameraSession& session = *entry->session;
        if (!entry->sent) {
            entry->sent = true;
            session.InquireAsync(body_);
            if (sent) sent(entry->key);
            continue;
        }
        const bool overdue = now - session.AsyncStartTime() > limit_;
        if (!session.IsInquiryDone() && !overdue) continue;
        if (done) done(entry->key, session);
        taken = true;
        std::erase_if(queue_, [entry](const std::unique_ptr<Entry>& e) { return e.get() == entry; });
    }
    return taken;
}

}  // namespace xqt

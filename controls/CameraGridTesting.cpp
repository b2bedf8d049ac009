// CameraGrid: the connection test of the selected cameras. At most the first two queued tests are
// looked at per tick, so no more than two are in flight; each asks "inq=network" and passes when
// the answer carries a MAC address.
#include <algorithm>
#include <chrono>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "controls/CameraGrid.h"
#include "targets/TextForms.h"

namespace xqt {

namespace {
/// Tests looked at per tick.
constexpr std::size_t TESTS_IN_FLIGHT = 2;
}  // namespace

void CameraGrid::StartTest() {
    for (int row : SelectedRows()) {
        const CameraRecord& record = targets_.Record(row);
        SessionConfig config;
        config.hostPort = AddressText(record.address, record.port);
        config.credential =
            EncodeCredential(record.text[TargetSlot::NAME], record.text[TargetSlot::PASSWORD]);
        config.modelList = models_;
        config.slot = std::clamp(record.id, 0, MAX_CAMERAS - 1);
        config.timing = timing_;
        auto worker = std::make_unique<TestWorker>();
        worker->key = record.key;
        worker->session = std::make_unique<CameraSession>(std::move(config));
        testQueue_.push_back(std::move(worker));
    }
    if (!testQueue_.empty() && !testTimer_.isActive()) testTimer_.start();
}

void CameraGrid::OnTestTick() {
    {
        const TickScope scope;
        if (!scope.entered) return;
        PollTests();
    }
    // Told outside the tick, so whatever the owner does then cannot hold up the other lists.
    if (testQueue_.empty()) {
        testTimer_.stop();
        emit TestFinished();
    }
}

void CameraGrid::PollTests() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<TestWorker*> looked;
    for (std::size_t i = 0; i < testQueue_.size() && i < TESTS_IN_FLIGHT; ++i)
        looked.push_back(testQueue_[i].get());
    bool changed = false;
    for (TestWorker* worker : looked) {
        CameraSession& session = *worker->session;
        if (!worker->sent) {
            worker->sent = true;
            session.InquireAsync(INQ_NETWORK);
            continue;
        }
        const bool overdue = now - session.AsyncStartTime() > timing_.connectionTestLimit;
        if (!session.IsInquiryDone() && !overdue) continue;
        // An overdue test is judged on what has come so far, which is nothing: it fails.
        targets_.RecordTestResult(worker->key, CameraSession::ParseMacAddress(session.AsyncAnswer()));
        changed = true;
        std::erase_if(testQueue_,
                      [worker](const std::unique_ptr<TestWorker>& w) { return w.get() == worker; });
    }
    if (changed) AnnounceRowsChanged();
}

void CameraGrid::StopTests() {
    testTimer_.stop();
    testQueue_.clear();
}

}  // namespace xqt

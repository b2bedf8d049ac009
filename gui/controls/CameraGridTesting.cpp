// CameraGrid: the connection test of the selected cameras, through an InquiryQueue (at most two in
// flight); each asks "inq=network" and passes when the answer carries a MAC address.
#include <algorithm>
#include <chrono>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "fleet/TextForms.h"
#include "gui/controls/CameraGrid.h"

namespace xqt {

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
        tests_.Add(record.key, std::make_unique<CameraSession>(std::move(config)));
    }
    if (!tests_.Empty() && !testTimer_.isActive()) testTimer_.start();
}

void CameraGrid::OnTestTick() {
    {
        const TickScope scope;
        if (!scope.entered) return;
        const bool changed = tests_.Tick({}, [this](std::uint32_t key, CameraSession& session) {
            targets_.RecordTestResult(key, CameraSession::ParseMacAddress(session.AsyncAnswer()));
        });
        if (changed) AnnounceRowsChanged();
    }
    // Told outside the tick, so whatever the owner does then cannot hold up the other lists.
    if (tests_.Empty()) {
        testTimer_.stop();
        emit TestFinished();
    }
}

void CameraGrid::StopTests() {
    testTimer_.stop();
    tests_.Clear();
}

}  // namespace xqt

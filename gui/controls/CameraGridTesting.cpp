// CameraGrid: the connection test of the selected cameras (fleet/ListInquiries.h), shown in their rows.
#include "gui/controls/CameraGrid.h"

namespace xqt {

void CameraGrid::StartTest() {
    for (int row : SelectedRows())
        tests_.Add(targets_.Record(row));
    if (!tests_.Empty() && !testTimer_.isActive()) testTimer_.start();
}

void CameraGrid::OnTestTick() {
    {
        const TickScope scope;
        if (!scope.entered) return;
        const bool changed = tests_.Tick([this](std::uint32_t key, std::optional<std::string> mac) {
            targets_.RecordTestResult(key, std::move(mac));
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

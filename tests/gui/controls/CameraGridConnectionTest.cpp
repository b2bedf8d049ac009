// The grid's connection test against simulated cameras on loopback: two tests in flight at most,
// the passed and failed strips, the MAC address taken from the answer, and a silent camera failed
// at the grid's own limit.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "fleet/TextForms.h"
#include "gui/controls/CameraGrid.h"
#include "sim/SimFleet.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

constexpr QRgb FAILED_BODY = 0xFFA3A3;
constexpr QRgb PASSED_BODY = 0xCCC8FF;

class GridConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override { test::EnsureApp(); }

    void MakeGrid(platform::EngineTiming timing = test::FastTiming()) {
        grid = std::make_unique<CameraGrid>(test::Models(), nullptr, timing);
        grid->InsertColumn(0, "", 17);
        grid->InsertColumn(1, "MAC address", 123);
        grid->InsertColumn(2, "IP address", 100);
        grid->InsertColumn(3, "Model", 85);
        grid->resize(400, 200);
        grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    }

    /// Lists every camera of the fleet; with `withMac` false the MAC text is left empty, as for a
    /// camera added by hand.
    void ListFleet(sim::SimFleet& fleet, bool withMac) {
        for (std::size_t i = 0; i < fleet.Size(); ++i) {
            const sim::SimCamera camera = fleet.At(i).Camera();
            CameraEntry entry;
            entry.macText = withMac ? "MAC-" + std::to_string(i) : "";
            entry.serial = camera.serial;
            entry.address = test::OctetsOf(camera.ipText);
            entry.port = camera.webPort;
            entry.addressText = AddressText(entry.address, entry.port);
            entry.model = camera.model;
            ASSERT_EQ(grid->Insert(entry), InsertResult::Inserted);
        }
    }

    int RowTop(int row) const { return grid->visualRect(grid->model()->index(row, 0)).top(); }
    QRgb Body(const QImage& image, int row) const {
        return image.pixel(grid->header()->length() + 5, RowTop(row) + 6) & 0xFFFFFF;
    }

    std::unique_ptr<CameraGrid> grid;
};

TEST_F(GridConnectionTest, TestsAtMostTwoCamerasAtOnceInListOrder) {
    std::vector<sim::SimCamera> cameras;
    for (int i = 0; i < 3; ++i) {
        sim::SimCamera c = test::SimCameraAt("127.0.21." + std::to_string(i + 1));
        c.serial = "200000" + std::to_string(i);
        c.http.answerDelayMs = 150;
        cameras.push_back(c);
    }
    sim::SimFleet fleet(cameras);
    fleet.Start();
    MakeGrid();
    ListFleet(fleet, true);
    grid->SelectAll();
    QSignalSpy finished(grid.get(), &CameraGrid::TestFinished);

    grid->StartTest();
    EXPECT_EQ(grid->PendingTests(), 3);
    int mostOpen = 0;
    bool thirdAskedEarly = false;
    ASSERT_TRUE(test::WaitUntil([&] {
        int open = 0;
        for (std::size_t i = 0; i < fleet.Size(); ++i)
            open += fleet.At(i).OpenConnections();
        mostOpen = std::max(mostOpen, open);
        // The third camera is asked only after one of the first two has been evaluated.
        if (!fleet.At(2).Requests().empty() && grid->Targets().Record(0).testState == TestState::NotTested &&
            grid->Targets().Record(1).testState == TestState::NotTested)
            thirdAskedEarly = true;
        return finished.count() > 0;
    }));
    EXPECT_LE(mostOpen, 2);
    EXPECT_FALSE(thirdAskedEarly);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(grid->PendingTests(), 0);
    for (std::size_t i = 0; i < fleet.Size(); ++i) {
        ASSERT_EQ(fleet.At(i).Requests().size(), 1u) << i;
        EXPECT_EQ(fleet.At(i).Requests()[0].request.body, "inq=network");
        EXPECT_EQ(grid->Targets().Record(static_cast<int>(i)).testState, TestState::Passed) << i;
    }
}

TEST_F(GridConnectionTest, PassedAndFailedCamerasGetTheirStripsAndAHandAddedCameraItsMac) {
    sim::SimCamera good = test::SimCameraAt("127.0.22.1");
    good.mac = "08:00:46:12:34:56";
    sim::SimCamera noMac = test::SimCameraAt("127.0.22.2");
    noMac.serial = "1000002";
    noMac.http.answers["inq=network"] = "IpAddress=127.0.22.2&HttpPort=80";
    sim::SimFleet fleet({good, noMac});
    fleet.Start();
    MakeGrid();
    ListFleet(fleet, false);
    grid->SetCredentials(0, "admin", "admin");
    grid->SelectAll();
    QSignalSpy finished(grid.get(), &CameraGrid::TestFinished);
    grid->StartTest();
    ASSERT_TRUE(test::WaitUntil([&] { return finished.count() > 0; }));

    EXPECT_EQ(grid->Targets().Record(0).testState, TestState::Passed);
    EXPECT_EQ(grid->Targets().Record(0).text[TargetSlot::MAC], "08-00-46-12-34-56");
    EXPECT_EQ(grid->Targets().Record(1).testState, TestState::Failed);
    EXPECT_EQ(grid->Targets().Record(1).text[TargetSlot::MAC], "");
    // The test carried the row's credential.
    ASSERT_EQ(fleet.At(0).Requests().size(), 1u);
    EXPECT_EQ(fleet.At(0).Requests()[0].request.authorization, "Basic YWRtaW46YWRtaW4=");

    grid->SetSelection({}, -1);
    const QImage image = grid->viewport()->grab().toImage();
    EXPECT_EQ(Body(image, 0), PASSED_BODY);
    EXPECT_EQ(Body(image, 1), FAILED_BODY);
}

TEST_F(GridConnectionTest, ASilentCameraFailsAtTheGridsLimitWithoutWaitingForTheTransport) {
    sim::SimCamera silent = test::SimCameraAt("127.0.23.1");
    silent.http.neverAnswer = true;
    sim::SimFleet fleet({silent});
    fleet.Start();
    platform::EngineTiming timing = test::FastTiming();
    timing.connectionTestLimit = std::chrono::milliseconds(300);
    // The grid judges the camera within ten of its limits; the transport alone would wait ten
    // times as long again.
    const auto judged = test::Allow(timing.connectionTestLimit * 10);
    timing.inquiryLimit = judged * 10;
    MakeGrid(timing);
    ListFleet(fleet, true);
    grid->SelectAll();
    QSignalSpy finished(grid.get(), &CameraGrid::TestFinished);
    const auto start = std::chrono::steady_clock::now();
    grid->StartTest();
    ASSERT_TRUE(test::WaitUntil([&] { return finished.count() > 0; }, judged));
    EXPECT_GE(std::chrono::steady_clock::now() - start, timing.connectionTestLimit);
    EXPECT_EQ(grid->Targets().Record(0).testState, TestState::Failed);
    // The abandoned exchange was closed, not left hanging.
    EXPECT_TRUE(test::WaitUntil([&] { return fleet.At(0).OpenConnections() == 0; }));
}

TEST_F(GridConnectionTest, AResultFollowsItsCameraThroughASort) {
    sim::SimCamera slow = test::SimCameraAt("127.0.24.9");
    slow.serial = "1000009";
    slow.http.answerDelayMs = 200;
    sim::SimCamera absent = test::SimCameraAt("127.0.24.10");
    absent.serial = "1000010";
    absent.http.answers["inq=network"] = "Nothing=here";
    sim::SimFleet fleet({slow, absent});
    fleet.Start();
    MakeGrid();
    ListFleet(fleet, true);
    grid->SelectAll();
    QSignalSpy finished(grid.get(), &CameraGrid::TestFinished);
    grid->StartTest();
    // Reorder while the tests run: "127.0.24.10..." sorts before "127.0.24.9...".
    grid->SortByColumn(2);
    ASSERT_EQ(grid->Targets().Record(0).text[TargetSlot::SERIAL], "1000010");
    ASSERT_TRUE(test::WaitUntil([&] { return finished.count() > 0; }));
    EXPECT_EQ(grid->Targets().Record(0).testState, TestState::Failed);
    EXPECT_EQ(grid->Targets().Record(1).testState, TestState::Passed);
}

}  // namespace
}  // namespace xqt

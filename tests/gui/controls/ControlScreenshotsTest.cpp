// Screenshots of the three lists with mixed rows, for a human eye (saved when XQT_TEST_OUTPUT
// names a folder).
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "fleet/TextForms.h"
#include "gui/controls/AddedCameraList.h"
#include "gui/controls/ProgressList.h"
#include "sim/SimFleet.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

CameraEntry EntryOf(const sim::SimCamera& camera, const std::string& mac) {
    CameraEntry e;
    e.macText = mac;
    e.address = test::OctetsOf(camera.ipText);
    e.port = camera.webPort;
    e.addressText = AddressText(e.address, e.port);
    e.model = camera.model;
    e.serial = camera.serial;
    e.version = camera.softVersion;
    return e;
}

class Screenshots : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        if (!std::getenv("XQT_TEST_OUTPUT")) GTEST_SKIP() << "XQT_TEST_OUTPUT names no folder";
    }
};

TEST_F(Screenshots, CameraGridWithMixedRows) {
    sim::SimCamera passes = test::SimCameraAt("127.0.61.1");
    passes.mac = "08:00:46:61:00:01";
    sim::SimCamera fails = test::SimCameraAt("127.0.61.2");
    fails.serial = "1000002";
    fails.http.answers["inq=network"] = "IpAddress=127.0.61.2";
    sim::SimFleet fleet({passes, fails});
    fleet.Start();

    CameraGrid grid(test::Models(), nullptr, test::FastTiming());
    grid.InsertColumn(0, "", 17);
    grid.InsertColumn(1, "MAC address", 123);
    grid.InsertColumn(2, "IP address", 100);
    grid.InsertColumn(3, "Model", 85);
    grid.InsertColumn(4, "Serial No.", 50);
    grid.InsertColumn(5, "Version No.", 70);
    grid.InsertColumn(6, "Name", 50);
    grid.resize(520, 190);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    ASSERT_EQ(grid.Insert(EntryOf(fleet.At(0).Camera(), "")), InsertResult::Inserted);
    ASSERT_EQ(grid.Insert(EntryOf(fleet.At(1).Camera(), "08-00-46-61-00-02")), InsertResult::Inserted);
    sim::SimCamera dhcp = test::SimCameraAt("192.168.3.40");
    dhcp.serial = "1000003";
    CameraEntry dhcpEntry = EntryOf(dhcp, "08-00-46-61-00-03");
    dhcpEntry.addressText = DHCP_TEXT;
    dhcpEntry.dhcp = true;
    ASSERT_EQ(grid.Insert(dhcpEntry), InsertResult::Inserted);
    sim::SimCamera longModel = test::SimCameraAt("192.168.3.41");
    longModel.model = "XQT-TR60-EXTENDED-OUTDOOR";
    longModel.serial = "1000004";
    ASSERT_EQ(grid.Insert(EntryOf(longModel, "08-00-46-61-00-04")), InsertResult::Inserted);
    grid.SetCredentials(0, "admin", "admin");
    grid.SetCredentials(1, "admin", "admin");
    grid.SetCredentials(2, "operator", "");
    grid.SetTicked(3, false);

    const int tested[] = {0, 1};
    grid.SetSelection(tested, 0);
    QSignalSpy finished(&grid, &CameraGrid::TestFinished);
    grid.StartTest();
    ASSERT_TRUE(test::WaitUntil([&] { return finished.count() > 0; }));
    const int selected[] = {2};
    grid.SetSelection(selected, 2);
    grid.setFocus();
    EXPECT_FALSE(test::SaveScreenshot(&grid, "controls-camera-grid").empty());
    grid.setEnabled(false);
    EXPECT_FALSE(test::SaveScreenshot(&grid, "controls-camera-grid-disabled").empty());
}

TEST_F(Screenshots, AddedCameraListWithMixedRows) {
    sim::SimCamera good = test::SimCameraAt("127.0.62.1");
    good.serial = "6200001";
    sim::SimCamera stranger = test::SimCameraAt("127.0.62.2");
    stranger.model = "OTHER-CAM";
    sim::SimCamera refused = test::SimCameraAt("127.0.62.3");
    refused.serial = "6660003";
    refused.softVersion = "1.05";
    sim::SimFleet fleet({good, stranger, refused});
    fleet.Start();

    CameraGrid targets(test::Models());
    CameraEntry target;
    target.macText = "08-00-46-62-00-09";
    target.address = {127, 0, 62, 9};
    target.addressText = "127.0.62.9";
    ASSERT_EQ(targets.Insert(target), InsertResult::Inserted);

    AddedCameraList list(test::Models(), targets, nullptr, test::FastTiming());
    list.SetSerialCheck([](const std::string& serial) { return serial.rfind("666", 0) != 0; });
    list.InsertColumn(0, "ID", 30, Qt::AlignRight);
    list.InsertColumn(1, "IP address", 140);
    list.InsertColumn(2, "Model", 85);
    list.InsertColumn(3, "Serial No.", 60);
    list.InsertColumn(4, "Version No.", 90);
    list.resize(430, 190);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    for (std::size_t i = 0; i < fleet.Size(); ++i) {
        const sim::SimCamera camera = fleet.At(i).Camera();
        list.SetAddress(list.AppendBlank(), test::OctetsOf(camera.ipText), camera.webPort);
    }
    list.SetAddress(list.AppendBlank(), test::OctetsOf("127.0.62.4"), 80);  // nobody: "No response"
    list.SetAddress(list.AppendBlank(), test::OctetsOf("127.0.62.5"), 80);
    list.SetAddress(list.AppendBlank(), test::OctetsOf("127.0.62.5"), 8080);
    list.SetAddress(list.AppendBlank(), test::OctetsOf("127.0.62.9"), 80);
    ASSERT_TRUE(test::WaitUntil([&] { return list.PendingInquiries() == 0; }));
    const int selected[] = {0};
    list.SetSelection(selected, 0);
    EXPECT_FALSE(test::SaveScreenshot(&list, "controls-added-list").empty());
}

TEST_F(Screenshots, ProgressListWithMixedRows) {
    ProgressList list(test::Models());
    list.InsertColumn(0, "ID", 30, Qt::AlignRight);
    list.InsertColumn(1, "IP address", 100);
    list.InsertColumn(2, "Model", 82);
    list.InsertColumn(3, "Version No", 70);
    list.InsertColumn(4, "Progress", 120);
    list.InsertColumn(5, "Status", 90);
    list.resize(510, 150);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const struct {
        const char* address;
        int progress;
        const char* version;
        const char* status;
    } rows[] = {{"192.168.0.10", 10000, "1.23", "Completed"},
                {"192.168.0.11", 6200, "1.10", "Uploading"},
                {"192.168.0.12:8080", 1500, "1.10", "Saving config file"},
                {"192.168.0.13", 10000, "1.10", "Error3"},
                {"192.168.0.14", 0, "1.10", "Standby"}};
    int id = 0;
    for (const auto& r : rows) {
        ProgressRecord record;
        record.id = id;
        record.text[ProgressSlot::ID] = IdText(++id);
        record.text[ProgressSlot::ADDRESS] = r.address;
        record.text[ProgressSlot::MODEL] = "XQT-TR60";
        record.text[ProgressSlot::VERSION] = r.version;
        record.text[ProgressSlot::STATUS] = r.status;
        record.progress = r.progress;
        test::AddProgressRow(list, std::move(record));
    }
    EXPECT_FALSE(test::SaveScreenshot(&list, "controls-progress-list").empty());
}

}  // namespace
}  // namespace xqt

// Screenshots of the dialogs with realistic contents, for a human eye (saved when XQT_TEST_OUTPUT
// names a folder).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "DialogsTestSupport.h"
#include "camera/ResourceState.h"
#include "fleet/BatchRun.h"
#include "gui/automatic/AddCamerasDialog.h"
#include "gui/automatic/BatchLoginDialog.h"
#include "gui/automatic/EntryTerminalsDialog.h"
#include "gui/automatic/SingleLoginDialog.h"
#include "gui/automatic/UpgradeLogDialog.h"
#include "gui/controls/AddedCameraList.h"
#include "sim/SimFleet.h"

namespace xqt {
namespace {

class Screenshots : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        if (!std::getenv("XQT_TEST_OUTPUT")) GTEST_SKIP() << "XQT_TEST_OUTPUT names no folder";
    }
    static void Save(QWidget* widget, const std::string& name) {
        widget->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(widget));
        test::Pump(std::chrono::milliseconds(30));
        EXPECT_FALSE(test::SaveScreenshot(widget, name).empty()) << name;
    }
};

TEST_F(Screenshots, LoginDialogs) {
    auto grid = test::MakeTargetGrid();
    test::FillTargets(*grid, 3);
    grid->SetCredentials(0, "admin", "admin");
    grid->SetCredentials(1, "admin", "admin");
    const int second[] = {1};
    grid->SetSelection(second, 1);
    SingleLoginDialog single(*grid);
    Save(&single, "dialogs-single-login");

    const int both[] = {0, 1};
    grid->SetSelection(both, 0);
    BatchLoginDialog batch(*grid);
    Save(&batch, "dialogs-batch-login");
}

TEST_F(Screenshots, AddCamerasAndEntryDialogsWithAMixedList) {
    sim::SimCamera good = test::SimCameraAt("127.0.62.1");
    good.serial = "6200001";
    sim::SimCamera stranger = test::SimCameraAt("127.0.62.2");
    stranger.model = "OTHER-CAM";
    sim::SimCamera refused = test::SimCameraAt("127.0.62.3");
    refused.serial = "6660003";
    refused.softVersion = "1.05";
    sim::SimFleet fleet({good, stranger, refused});
    fleet.Start();

    auto targets = test::MakeTargetGrid();
    CameraEntry target;
    target.macText = "08-00-46-62-00-09";
    target.address = {127, 0, 62, 9};
    target.addressText = "127.0.62.9";
    ASSERT_EQ(targets->Insert(target), InsertResult::Inserted);

    platform::RecordingMessageBoxes boxes;
    platform::MemoryClipboard clipboard;
    std::string lines;
    for (std::size_t i = 0; i < fleet.Size(); ++i) {
        const sim::SimCamera c = fleet.At(i).Camera();
        lines += c.ipText + ":" + std::to_string(c.webPort) + "\r\n";
    }
    lines += "127.0.62.4\r\n127.0.62.5\r\n127.0.62.5:8080\r\n127.0.62.9\r\n";
    clipboard.text = lines;

    AddCamerasDialog dialog(*targets, test::Models(), test::FastTiming(), boxes, clipboard);
    dialog.List().SetSerialCheck([](const std::string& serial) { return serial.rfind("666", 0) != 0; });
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    test::Button(&dialog, "paste")->click();
    ASSERT_TRUE(test::WaitUntil([&] { return dialog.List().PendingInquiries() == 0; }));
    test::Pump(std::chrono::milliseconds(30));
    const int selected[] = {0};
    dialog.List().SetSelection(selected, 0);
    Save(&dialog, "dialogs-add-cameras");

    dialog.SetEntryRunner([&](EntryTerminalsDialog& entry) {
        Save(&entry, "dialogs-entry-terminals");
        test::Press(&entry, "close");
    });
    const int sixth[] = {5};
    dialog.List().SetSelection(sixth, 5);
    emit dialog.List().SelectionChanged(true);
    test::Button(&dialog, "edit")->click();
}

TEST_F(Screenshots, UpgradeLog) {
    ResourceState resources;
    BatchRun list(nullptr, resources);  // rows only: nothing starts
    const struct {
        const char* address;
        int result;
        bool dhcp;
    } rows[] = {{"192.168.0.10", 9, false},       {"192.168.0.11", 12, false}, {"192.168.0.12", 9, true},
                {"192.168.0.13:8080", 10, false}, {"192.168.0.14", 0, false},  {"192.168.0.15", 15, false}};
    for (const auto& r : rows) {
        ProgressRecord record;
        record.text[ProgressSlot::ADDRESS] = r.address;
        record.text[ProgressSlot::MODEL] = "XQT-TR60";
        record.progress = r.result ? 10000 : 0;
        record.result = StatusOf(r.result);
        record.dhcp = r.dhcp;
        list.AddRow(std::move(record), nullptr);
    }
    UpgradeLogDialog dialog(list);
    Save(&dialog, "dialogs-upgrade-log");
}

}  // namespace
}  // namespace xqt

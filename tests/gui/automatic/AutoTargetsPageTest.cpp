// The automatic targets page over a discovery table made from the simulator's own replies: the
// wait for discovery, filling and the counter, the duplicate-address block, readiness and the
// wizard's buttons, Select all, the dialog hooks, the expander and the connection test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

#include "fleet/TextForms.h"
#include "gui/automatic/AutoTargetsPage.h"
#include "gui/controls/CameraGrid.h"
#include "gui/controls/RowPainter.h"
#include "platform/MessageBoxes.h"
#include "sim/SimFleet.h"
#include "tests/gui/automatic/AutopagesTestSupport.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;

constexpr const char* DUPLICATE_TEXT =
    "There is more than one camera with the same IP address as below.\r\n#127.0.1.1\r\nPlease assign "
    "different addresses to avoid any conflict.";

class AutoTargetsPageTest : public ::testing::Test {
  protected:
    void Make(platform::EngineTiming timing = test::PageTiming()) {
        DiscoverySource source{[this] { return table; }, [this] { return running; }};
        page = std::make_unique<AutoTargetsPage>(
            test::Models(), timing, boxes, std::move(source),
            [this](ButtonMode mode) { modes.push_back(static_cast<int>(mode)); });
        page->openSingleLogin = [this](CameraGrid& grid) { Login("single", grid); };
        page->openBatchLogin = [this](CameraGrid& grid) { Login("batch", grid); };
        page->openAddCameras = [this](CameraGrid& grid) {
            hooks.push_back("add");
            for (const CameraEntry& entry : toAdd)
                grid.Insert(entry);
        };
        page->resize(500, 300);
    }

    /// The login hooks give every selected camera (the only one, when there is one) credentials.
    void Login(const std::string& which, CameraGrid& grid) {
        hooks.push_back(which);
        std::vector<int> rows = grid.SelectedRows();
        if (grid.Targets().Size() == 1) rows = {0};
        for (int row : rows)
            grid.SetCredentials(row, "admin", "admin");
    }

    void Show() {
        page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page.get()));
    }

    QPushButton* Button(const char* name) const { return page->findChild<QPushButton*>(name); }
    /// The Alt key of `button`'s caption, typed wherever the page has the focus.
    void PressMnemonic(QPushButton* button) const {
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::mnemonic(button->text()));
    }
    int LastMode() const { return modes.empty() ? -1 : modes.back(); }
    std::vector<std::string> Column(int slot) const {
        std::vector<std::string> texts;
        for (const auto& record : page->Grid().Targets().Records())
            texts.push_back(record.text[slot]);
        return texts;
    }

    std::vector<DiscoveryEntry> table;
    bool running = false;
    std::vector<int> modes;
    std::vector<std::string> hooks;
    std::vector<CameraEntry> toAdd;
    platform::RecordingMessageBoxes boxes;
    std::unique_ptr<AutoTargetsPage> page;
};

TEST_F(AutoTargetsPageTest, ShowsTheColumnsAtWidthsThatHoldTheirTexts) {
    Make();
    const CameraGrid& grid = page->Grid();
    ASSERT_EQ(grid.ColumnCount(), 7);
    const char* headings[] = {"", "MAC address", "IP address", "Model", "Serial No.", "Version No.", "Name"};
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(grid.model()->headerData(column, Qt::Horizontal).toString(), headings[column]);
        EXPECT_GE(grid.header()->sectionSize(column), AutoTargetsPage::BASE_WIDTHS[column]) << column;
    }
    EXPECT_EQ(grid.header()->sectionSize(0), 17);
    // Texts of fixed form are never cut in this font; free texts keep the product's width.
    const QFontMetrics metrics(grid.font());
    const auto fits = [&](int column, const QString& text) {
        return detail::FitCellText(metrics, text, grid.header()->sectionSize(column),
                                   detail::CELL_FIT_MARGIN) == text;
    };
    EXPECT_TRUE(fits(1, "DD:DD:DD:DD:DD:DD"));
    EXPECT_TRUE(fits(1, "08:00:46:1a:00:01"));
    EXPECT_TRUE(fits(2, "255.255.255.255"));
    for (const char* model : {"XQT-TR60", "XQT-TR60N", "XQT-TR60P"})
        EXPECT_TRUE(fits(3, model)) << model;
    EXPECT_TRUE(fits(4, "1000001"));
    EXPECT_TRUE(fits(4, "8888888"));
    EXPECT_EQ(grid.header()->sectionSize(5), 70);
    EXPECT_EQ(grid.header()->sectionSize(6), 50);

    // A small font keeps the product's widths; a long listed model name widens its column.
    QFont small = grid.font();
    small.setPixelSize(4);
    const QFontMetrics tiny(small);
    const ModelList models = test::Models();
    for (int column = 0; column < 7; ++column)
        EXPECT_EQ(AutoTargetsPage::ColumnWidth(column, tiny, models), AutoTargetsPage::BASE_WIDTHS[column]);
    const ModelList longName{"XQT-TR60", "XQT-TR60-OUTDOOR-DOME-EXTENDED"};
    EXPECT_EQ(AutoTargetsPage::ColumnWidth(3, metrics, longName),
              metrics.horizontalAdvance("XQT-TR60-OUTDOOR-DOME-EXTENDED") + detail::CELL_FIT_MARGIN);
}

TEST_F(AutoTargetsPageTest, FillsFromDiscoveryWithTheCounterAndDisablesNextWithoutCredentials) {
    table = test::Discovered(test::DemoFleet());
    ASSERT_EQ(table.size(), 7u);  // the unlisted model did not make it into the table
    Make();
    Show();
    EXPECT_FALSE(page->Searching());
    EXPECT_EQ(page->CounterText(), "7/256");
    EXPECT_EQ(page->findChild<QLabel*>("counter")->text(), "7/256");
    EXPECT_EQ(page->findChild<QLabel*>("counterLabel")->text(), "Detected camera(s):");
    EXPECT_EQ(Column(TargetSlot::ADDRESS),
              (std::vector<std::string>{"127.0.1.1", "127.0.1.2", "127.0.1.3", "127.0.1.4", "DHCP",
                                        "127.0.1.6", "127.0.1.8"}));
    EXPECT_EQ(Column(TargetSlot::MAC)[0], "08:00:46:1A:00:01");
    EXPECT_EQ(Column(TargetSlot::MODEL)[1], "XQT-TR60N");
    EXPECT_TRUE(page->Grid().Targets().Record(0).ticked);
    EXPECT_TRUE(boxes.Taken().empty());

    EXPECT_EQ(page->Grid().SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(page->Grid().FocusedRow(), 0);
    EXPECT_TRUE(Button("accessSetting")->isEnabled());
    EXPECT_TRUE(Button("selectAll")->isEnabled());
    EXPECT_EQ(LastMode(), 0);  // ticked cameras without credentials: Next stays disabled

    // Shown again, only entries beyond the rows already listed are added.
    page->hide();
    auto ninth = test::CameraAt("127.0.1.9", "1000009", "08:00:46:1A:00:09");
    ninth.webPort = 80;
    table.push_back(test::Discovered({ninth})[0]);
    page->show();
    EXPECT_EQ(page->CounterText(), "8/256");
    EXPECT_EQ(Column(TargetSlot::ADDRESS).back(), "127.0.1.9");
}

TEST_F(AutoTargetsPageTest, NoCameraFoundLeavesNothingToSetOrTest) {
    Make();
    Show();
    EXPECT_EQ(page->CounterText(), "0/256");
    EXPECT_FALSE(Button("accessSetting")->isEnabled());
    EXPECT_EQ(LastMode(), 0);
    QTest::mouseClick(Button("selectAll"), Qt::LeftButton);
    EXPECT_FALSE(Button("accessSetting")->isEnabled());
    Button("accessSetting")->setEnabled(true);
    QTest::mouseClick(Button("accessSetting"), Qt::LeftButton);
    EXPECT_TRUE(hooks.empty());  // no dialog for an empty list
}

TEST_F(AutoTargetsPageTest, WaitsWithAWaitCursorWhileDiscoveryRunsThenFillsAtOnce) {
    running = true;
    table = test::Discovered({test::DemoFleet()[0]});
    Make();
    Show();
    EXPECT_TRUE(page->Searching());
    EXPECT_EQ(page->cursor().shape(), Qt::WaitCursor);
    for (const char* name : {"selectAll", "accessSetting", "expander"})
        EXPECT_FALSE(Button(name)->isEnabled()) << name;
    EXPECT_FALSE(page->Grid().isEnabled());
    EXPECT_EQ(page->CounterText(), "1/256");

    table = test::Discovered(test::DemoFleet());  // more answers come in meanwhile
    test::Settle(test::PageTiming().targetsWaitPeriod);
    EXPECT_TRUE(page->Searching());
    EXPECT_EQ(page->CounterText(), "1/256");

    running = false;
    ASSERT_TRUE(test::WaitUntil([&] { return !page->Searching(); }));
    EXPECT_EQ(page->CounterText(), "7/256");
    EXPECT_NE(page->cursor().shape(), Qt::WaitCursor);
    EXPECT_TRUE(page->Grid().isEnabled());
    for (const char* name : {"selectAll", "accessSetting", "expander"})
        EXPECT_TRUE(Button(name)->isEnabled()) << name;
    EXPECT_EQ(page->Grid().SelectedRows(), std::vector<int>{0});
    EXPECT_TRUE(boxes.Taken().empty());
    EXPECT_EQ(LastMode(), 0);
}

TEST_F(AutoTargetsPageTest, DuplicateAddressesShowTheReportAndLeaveOnlyCancel) {
    auto cameras = test::DemoFleet();
    cameras[2].ipText = "127.0.1.1";
    table = test::Discovered(cameras);
    Make();
    Show();
    ASSERT_EQ(boxes.Count(), 1u);
    const auto shown = boxes.Taken()[0];
    EXPECT_EQ(shown.text, DUPLICATE_TEXT);
    EXPECT_EQ(shown.caption, "Error");
    EXPECT_EQ(shown.icon, platform::MbIcon::Stop);
    EXPECT_TRUE(page->Blocked());
    EXPECT_EQ(LastMode(), 5);
    for (const char* name : {"selectAll", "accessSetting", "expander"})
        EXPECT_FALSE(Button(name)->isEnabled()) << name;

    // Ticks and selections change nothing any more: the wizard can only be cancelled.
    page->Grid().setFocus();
    QTest::keyClick(&page->Grid(), Qt::Key_Space);
    QTest::keyClick(&page->Grid(), Qt::Key_Down);
    EXPECT_EQ(LastMode(), 5);
    EXPECT_FALSE(Button("accessSetting")->isEnabled());
}

TEST_F(AutoTargetsPageTest, TheHiddenModeSkipsTheDuplicateCheck) {
    auto cameras = test::DemoFleet();
    cameras[2].ipText = "127.0.1.1";
    table = test::Discovered(cameras);
    Make();
    page->SetVelmoranMode(true);
    Show();
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_FALSE(page->Blocked());
    EXPECT_EQ(LastMode(), 0);
}

TEST_F(AutoTargetsPageTest, DuplicatesFoundWhenTheWaitEndsBlockTheShownPage) {
    running = true;
    auto cameras = test::DemoFleet();
    cameras[4].ipText = "127.0.1.1";
    cameras[4].dhcp = false;
    Make();
    Show();
    table = test::Discovered(cameras);
    running = false;
    ASSERT_TRUE(test::WaitUntil([&] { return !page->Searching(); }));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, DUPLICATE_TEXT);
    EXPECT_TRUE(page->Blocked());
    EXPECT_EQ(LastMode(), 5);
}

TEST_F(AutoTargetsPageTest, AWaitThatEndsWhileThePageIsHiddenChecksOnTheNextShowing) {
    running = true;
    auto cameras = test::DemoFleet();
    cameras[2].ipText = "127.0.1.1";
    Make();
    Show();
    page->hide();  // the user went back to the mode page
    modes.clear();
    table = test::Discovered(cameras);
    running = false;
    ASSERT_TRUE(test::WaitUntil([&] { return !page->Searching(); }));
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_TRUE(modes.empty());  // the frame's buttons belong to the page now shown
    EXPECT_FALSE(page->Blocked());

    page->show();
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(page->Blocked());
    EXPECT_EQ(LastMode(), 5);
}

TEST_F(AutoTargetsPageTest, ReadinessFollowsTicksAndCredentials) {
    table = test::Discovered(test::DemoFleet());
    Make();
    Show();
    QTest::mouseClick(Button("selectAll"), Qt::LeftButton);
    ASSERT_EQ(page->Grid().SelectedRows().size(), 7u);
    QTest::mouseClick(Button("accessSetting"), Qt::LeftButton);
    EXPECT_EQ(hooks, std::vector<std::string>{"batch"});
    EXPECT_EQ(LastMode(), 1);  // every ticked camera has a name and a password

    // Space on the selected, ticked focus row unticks every selected row: nothing left to upgrade.
    page->Grid().setFocus();
    QTest::keyClick(&page->Grid(), Qt::Key_Space);
    EXPECT_FALSE(page->Grid().Targets().Record(3).ticked);
    EXPECT_EQ(LastMode(), 0);
    QTest::keyClick(&page->Grid(), Qt::Key_Space);
    EXPECT_EQ(LastMode(), 1);

    // A hand-added camera is ticked and has no credentials: Next goes off again.
    CameraEntry extra;
    extra.serial = "3000001";
    extra.address = {127, 0, 1, 20};
    extra.addressText = "127.0.1.20";
    extra.model = "XQT-TR60";
    toAdd = {extra};
    QTest::mouseClick(Button("expander"), Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return page->Expanded(); }));
    QTest::mouseClick(Button("addOther"), Qt::LeftButton);
    EXPECT_EQ(hooks.back(), "add");
    EXPECT_EQ(page->CounterText(), "8/256");
    EXPECT_EQ(LastMode(), 0);
}

TEST_F(AutoTargetsPageTest, AccessSettingChoosesTheDialogBySelectionAndRowCount) {
    table = test::Discovered(test::DemoFleet());
    Make();
    Show();
    page->Grid().SetSelection(std::vector<int>{2}, 2);
    QTest::mouseClick(Button("accessSetting"), Qt::LeftButton);
    page->Grid().SetSelection(std::vector<int>{1, 2}, 1);
    QTest::mouseClick(Button("accessSetting"), Qt::LeftButton);
    EXPECT_EQ(hooks, (std::vector<std::string>{"single", "batch"}));
    EXPECT_EQ(page->Grid().Targets().Record(2).text[TargetSlot::NAME], "admin");
    EXPECT_EQ(LastMode(), 0);  // others are still without credentials

    // With exactly one camera listed, the batch dialog even for a single selected row.
    page.reset();
    hooks.clear();
    table = test::Discovered({test::DemoFleet()[0]});
    Make();
    Show();
    ASSERT_EQ(page->Grid().SelectedRows(), std::vector<int>{0});
    QTest::mouseClick(Button("accessSetting"), Qt::LeftButton);
    EXPECT_EQ(hooks, std::vector<std::string>{"batch"});
    EXPECT_EQ(LastMode(), 1);
}

TEST_F(AutoTargetsPageTest, SelectAllSelectsEveryRowAndFocusesTheFirst) {
    table = test::Discovered(test::DemoFleet());
    Make();
    Show();
    page->Grid().SetSelection(std::vector<int>{}, -1);
    page->Grid().setFocus();
    QTest::keyClick(&page->Grid(), Qt::Key_Shift);  // a key release tells the page: nothing selected
    EXPECT_FALSE(Button("accessSetting")->isEnabled());
    QTest::mouseClick(Button("selectAll"), Qt::LeftButton);
    EXPECT_EQ(page->Grid().SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(page->Grid().FocusedRow(), 0);
    EXPECT_TRUE(Button("accessSetting")->isEnabled());
}

TEST_F(AutoTargetsPageTest, TheExpanderSlidesTheTwoHiddenButtonsOutAndBack) {
    table = test::Discovered(test::DemoFleet());
    Make();
    Show();
    QPushButton* add = Button("addOther");
    QPushButton* testing = Button("testing");
    QPushButton* expander = Button("expander");
    EXPECT_FALSE(add->isVisible());
    EXPECT_FALSE(testing->isVisible());
    EXPECT_EQ(expander->text(), "&<<");
    EXPECT_EQ(add->text(), "Add &other cameras...");
    EXPECT_EQ(testing->text(), "&Testing...");

    QTest::mouseClick(expander, Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return page->Expanded(); }));
    EXPECT_TRUE(add->isVisible());
    EXPECT_TRUE(testing->isVisible());
    EXPECT_EQ(expander->text(), "&>>");
    // In the button row, left of the expander, in that order.
    EXPECT_EQ(add->y(), expander->y());
    EXPECT_LT(add->geometry().right(), testing->x());
    EXPECT_LT(testing->geometry().right(), expander->x());
    const QRect addPlace = add->geometry();
    test::SaveScreenshot(page.get(), "autopages-targets-expanded");

    QTest::mouseClick(expander, Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return !page->Expanded(); }));
    EXPECT_FALSE(add->isVisible());
    EXPECT_FALSE(testing->isVisible());
    EXPECT_EQ(expander->text(), "&<<");
    EXPECT_EQ(add->geometry(), addPlace);
}

TEST_F(AutoTargetsPageTest, TheKeyboardWorksTheExpanderAndTheButtonsItShows) {
    // Each way the keyboard presses the expander: Space on it after Tab, or its mnemonic from
    // anywhere on the page. Out, the two buttons are in the tab chain; drawn in, the focus moves to
    // something still visible.
    struct Way {
        const char* name;
        std::function<void(QPushButton* expander)> press;
    };
    const Way ways[] = {
        {"Space", [](QPushButton* expander) { QTest::keyClick(expander, Qt::Key_Space); }},
        {"mnemonic", [this](QPushButton* expander) { PressMnemonic(expander); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        table = test::Discovered(test::DemoFleet());
        Make();
        Show();
        page->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
        QPushButton* expander = Button("expander");
        ASSERT_TRUE(page->Grid().hasFocus());
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(expander->hasFocus());

        way.press(expander);
        ASSERT_TRUE(test::WaitUntil([&] { return page->Expanded(); }));
        QTest::keyClick(expander, Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_TRUE(Button("testing")->hasFocus());
        QTest::keyClick(Button("testing"), Qt::Key_Tab, Qt::ShiftModifier);
        ASSERT_TRUE(Button("addOther")->hasFocus());
        QTest::keyClick(Button("addOther"), Qt::Key_Space);
        EXPECT_EQ(hooks, std::vector<std::string>{"add"});

        // Drawn in with the focus on a button that goes.
        Button("addOther")->setFocus();
        PressMnemonic(expander);
        ASSERT_TRUE(test::WaitUntil([&] { return !page->Expanded(); }));
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_TRUE(QApplication::focusWidget()->isVisible());
        hooks.clear();
    }
}

TEST_F(AutoTargetsPageTest, TestingMarksTheSelectedCamerasWithABusyCursorWhileItRuns) {
    std::vector<sim::SimCamera> cameras{test::CameraAt("127.0.31.1", "1000001", "08:00:46:1B:00:01"),
                                        test::CameraAt("127.0.31.2", "1000002", "08:00:46:1B:00:02")};
    cameras[0].http.answerDelayMs = 50;
    sim::SimFleet fleet(cameras);
    fleet.Start();
    std::vector<sim::SimCamera> listening;
    for (std::size_t i = 0; i < fleet.Size(); ++i)
        listening.push_back(fleet.At(i).Camera());
    listening.push_back(test::CameraAt("127.0.31.3", "1000003", "08:00:46:1B:00:03"));  // nobody there
    listening.back().webPort = listening[0].webPort;
    table = test::Discovered(listening);
    Make();
    Show();
    QTest::mouseClick(Button("expander"), Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return page->Expanded(); }));
    QTest::mouseClick(Button("selectAll"), Qt::LeftButton);
    QTest::mouseClick(Button("testing"), Qt::LeftButton);
    EXPECT_TRUE(page->Testing());
    EXPECT_EQ(page->cursor().shape(), Qt::BusyCursor);
    EXPECT_TRUE(page->Grid().isEnabled());  // the list stays usable

    ASSERT_TRUE(test::WaitUntil([&] { return !page->Testing(); }));
    EXPECT_NE(page->cursor().shape(), Qt::BusyCursor);
    const auto& records = page->Grid().Targets().Records();
    EXPECT_EQ(records[0].testState, TestState::Passed);
    EXPECT_EQ(records[1].testState, TestState::Passed);
    EXPECT_EQ(records[2].testState, TestState::Failed);

    // With nothing selected no test starts, and the page does not wait for one.
    page->Grid().SetSelection(std::vector<int>{}, -1);
    QTest::mouseClick(Button("testing"), Qt::LeftButton);
    EXPECT_FALSE(page->Testing());
}

class Screenshots : public AutoTargetsPageTest {};

TEST_F(Screenshots, TheFilledPage) {
    auto cameras = test::DemoFleet();
    table = test::Discovered(cameras);
    Make();
    Show();
    page->Grid().SetSelection(std::vector<int>{0, 1}, 1);
    page->openBatchLogin(page->Grid());
    page->Grid().SetCredentials(4, "admin", "");  // shown in red: no password yet
    test::Pump(20ms);
    const std::string path = test::SaveScreenshot(page.get(), "autopages-targets-filled");
    if (std::getenv("XQT_TEST_OUTPUT")) {
        EXPECT_FALSE(path.empty());
    }
}

}  // namespace
}  // namespace xqt

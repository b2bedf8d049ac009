// The camera grid as the user meets it: tick clicks and the space bar over a multi-selection,
// sorting by heading clicks with the selection kept, the DHCP tip, opening a camera's page, and
// what the rows look like (sampled from grabs of the list).
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include "fleet/TextForms.h"
#include "gui/controls/CameraGrid.h"
#include "platform/ShellOpen.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

using test::Click;
using test::DoubleClick;
using test::MoveMouse;
using test::PixelAt;

constexpr QRgb NORMAL_BODY = 0xFBFBFB;
constexpr QRgb SELECTED_BODY = 0x2A427F;
constexpr QRgb RED = 0xFF0000;

CameraEntry Entry(const std::string& mac, Octets address, int port = 80, std::string model = "XQT-TR60",
                  std::string serial = "1000001") {
    CameraEntry e;
    e.macText = mac;
    e.address = address;
    e.port = port;
    e.addressText = AddressText(address, port);
    e.model = std::move(model);
    e.serial = std::move(serial);
    e.version = "1.10";
    return e;
}

class CameraGridTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        grid = std::make_unique<CameraGrid>(test::Models(), nullptr, test::FastTiming());
        grid->InsertColumn(0, "", 17);
        grid->InsertColumn(1, "MAC address", 123);
        grid->InsertColumn(2, "IP address", 100);
        grid->InsertColumn(3, "Model", 85);
        grid->InsertColumn(4, "Serial No.", 50);
        grid->InsertColumn(5, "Version No.", 70);
        grid->InsertColumn(6, "Name", 50);
        grid->SetShellOpen(&shell);
        grid->resize(560, 240);
        grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    }

    void AddCameras(int n) {
        for (int i = 0; i < n; ++i) {
            char mac[32];
            std::snprintf(mac, sizeof mac, "08-00-46-00-00-%02d", i + 1);
            ASSERT_EQ(grid->Insert(Entry(mac, {10, 0, 0, static_cast<std::uint8_t>(i + 1)})),
                      InsertResult::Inserted);
        }
    }

    int RowTop(int row) const { return grid->visualRect(grid->model()->index(row, 0)).top(); }
    QPoint Cell(int row, int column) const { return grid->CellRect(RowTop(row), column).center(); }
    /// A point of the row's background: right of the last column, in the body band of the strip.
    QPoint Background(int row) const { return QPoint(grid->header()->length() + 5, RowTop(row) + 6); }
    void ClickHeading(int column) {
        QHeaderView* h = grid->header();
        Click(h->viewport(),
              QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
    }
    std::vector<int> Ticks() const {
        std::vector<int> out;
        for (const CameraRecord& r : grid->Targets().Records())
            out.push_back(r.ticked);
        return out;
    }
    std::vector<std::string> Column(int slot) const {
        std::vector<std::string> out;
        for (const CameraRecord& r : grid->Targets().Records())
            out.push_back(r.text[slot]);
        return out;
    }

    platform::RecordingShellOpen shell;
    std::unique_ptr<CameraGrid> grid;
};

// ---- Ticks ----------------------------------------------------------------------------------------

TEST_F(CameraGridTest, TickClicksFollowTheSelection) {
    AddCameras(4);
    QSignalSpy ticks(grid.get(), &CameraGrid::TicksChanged);
    const int selected[] = {0, 1, 2};
    grid->SetSelection(selected, 0);

    // Outside the selection only the clicked row flips.
    Click(grid->viewport(), Cell(3, 0));
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 1, 1, 0}));
    // Inside a selection of three: all three take the inverse of the clicked row.
    grid->SetTicked(1, false);
    Click(grid->viewport(), Cell(1, 0));
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 1, 1, 0}));
    Click(grid->viewport(), Cell(2, 0));
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(ticks.count(), 3);
    // The tick clicks left the selection as it was.
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(grid->FocusedRow(), 0);

    // With exactly one row selected, a click on its box flips it alone.
    const int one[] = {2};
    grid->SetSelection(one, 2);
    Click(grid->viewport(), Cell(2, 0));
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 1, 0}));
}

TEST_F(CameraGridTest, ClicksOutsideTheTickBoxSelectAndBelowTheRowsChangeNothing) {
    AddCameras(3);
    QSignalSpy selection(grid.get(), &CameraGrid::SelectionChanged);
    Click(grid->viewport(), Cell(1, 3));
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{1}));
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 1, 1}));
    ASSERT_GE(selection.count(), 1);
    EXPECT_TRUE(selection.last().at(0).toBool());

    // Right of the last column still belongs to the row.
    Click(grid->viewport(), QPoint(grid->header()->length() + 10, RowTop(2) + 5));
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{2}));

    // Below the last row: the selection stays.
    Click(grid->viewport(), QPoint(Cell(0, 3).x(), RowTop(2) + 3 * grid->RowHeight()));
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 1, 1}));
}

TEST_F(CameraGridTest, SpaceTicksTheSelectionOnlyWhenTheFocusedRowIsSelected) {
    AddCameras(4);
    QSignalSpy ticks(grid.get(), &CameraGrid::TicksChanged);
    grid->setFocus();
    const int selected[] = {0, 2};
    grid->SetSelection(selected, 2);
    QTest::keyClick(grid.get(), Qt::Key_Space);
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 1, 0, 1}));
    QTest::keyClick(grid.get(), Qt::Key_Space);
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(ticks.count(), 2);

    // Focus on a row outside the selection: neither ticks nor the selection change.
    grid->SetSelection(selected, 3);
    QTest::keyClick(grid.get(), Qt::Key_Space);
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{0, 2}));
    EXPECT_EQ(ticks.count(), 2);
}

TEST_F(CameraGridTest, DoubleClickInTheTickColumnTogglesInsteadOfOpening) {
    AddCameras(2);
    DoubleClick(grid->viewport(), Cell(1, 0));
    // Two clicks on the box: flipped twice, no page.
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 1}));
    EXPECT_TRUE(shell.Opened().empty());
    Click(grid->viewport(), Cell(1, 0));
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 0}));
}

// ---- Sorting --------------------------------------------------------------------------------------

TEST_F(CameraGridTest, HeadingClicksSortByCodeUnitsBothWaysKeepingSelectionAndFocus) {
    for (std::uint8_t last : {9, 10, 100, 2})
        ASSERT_EQ(grid->Insert(Entry("MAC-" + std::to_string(last), {10, 0, 0, last})),
                  InsertResult::Inserted);
    const int selected[] = {0, 3};  // 10.0.0.9 and 10.0.0.2
    grid->SetSelection(selected, 3);

    ClickHeading(2);
    EXPECT_EQ(Column(TargetSlot::ADDRESS),
              (std::vector<std::string>{"10.0.0.10", "10.0.0.100", "10.0.0.2", "10.0.0.9"}));
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{2, 3}));
    EXPECT_EQ(grid->FocusedRow(), 2);
    for (int i = 0; i < grid->Targets().Size(); ++i)
        EXPECT_EQ(grid->Targets().Record(i).id, i);  // ids follow the new order

    ClickHeading(2);
    EXPECT_EQ(Column(TargetSlot::ADDRESS),
              (std::vector<std::string>{"10.0.0.9", "10.0.0.2", "10.0.0.100", "10.0.0.10"}));
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{0, 1}));
    EXPECT_EQ(grid->FocusedRow(), 1);
    EXPECT_EQ(grid->Targets().Record(1).text[TargetSlot::ADDRESS], "10.0.0.2");
}

TEST_F(CameraGridTest, TickHeadingSortsOnlyWhenTicksDifferButAlwaysRecordsTheClick) {
    AddCameras(3);
    ClickHeading(0);
    EXPECT_EQ(grid->Targets().Sort().sortColumn, 0);
    EXPECT_TRUE(grid->Targets().Sort().ascending);
    ClickHeading(0);
    EXPECT_FALSE(grid->Targets().Sort().ascending);
    EXPECT_EQ(Column(TargetSlot::MAC)[0], "08-00-46-00-00-01");

    grid->SetTicked(0, false);
    ClickHeading(0);  // ascending again: unticked first
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 1, 1}));
    ClickHeading(0);
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(Column(TargetSlot::MAC)[2], "08-00-46-00-00-01");
}

TEST_F(CameraGridTest, AClickOnADividerIsNoHeadingClick) {
    AddCameras(2);
    QHeaderView* h = grid->header();
    const int divider = h->sectionViewportPosition(3);  // between "IP address" and "Model"
    for (int dx : {-3, 0, 3})
        Click(h->viewport(), QPoint(divider + dx, h->height() / 2));
    EXPECT_EQ(grid->Targets().Sort().sortColumn, -1);
    Click(h->viewport(), QPoint(divider + 4, h->height() / 2));
    EXPECT_EQ(grid->Targets().Sort().sortColumn, 3);
}

// ---- DHCP tip and the camera's page ----------------------------------------------------------------

TEST_F(CameraGridTest, TheDhcpTipShowsTheRealAddressOnlyOverTheAddressCell) {
    AddCameras(1);
    CameraEntry dhcp = Entry("08-00-46-00-00-99", {192, 168, 1, 7}, 8080);
    dhcp.addressText = DHCP_TEXT;
    dhcp.dhcp = true;
    ASSERT_EQ(grid->Insert(dhcp), InsertResult::Inserted);

    MoveMouse(grid->viewport(), Cell(1, 2));
    EXPECT_EQ(grid->TipText(), "192.168.1.7:8080");
    MoveMouse(grid->viewport(), Cell(1, 3));
    EXPECT_TRUE(grid->TipText().isEmpty());
    // Back to the same cell: the tip is there again.
    MoveMouse(grid->viewport(), Cell(1, 2));
    EXPECT_EQ(grid->TipText(), "192.168.1.7:8080");
    MoveMouse(grid->viewport(), Cell(0, 2));
    EXPECT_TRUE(grid->TipText().isEmpty());
    MoveMouse(grid->viewport(), QPoint(Cell(0, 2).x(), RowTop(1) + 4 * grid->RowHeight()));
    EXPECT_TRUE(grid->TipText().isEmpty());
}

TEST_F(CameraGridTest, DoubleClickOpensTheCameraPageWithThePortOnlyWhenNot80) {
    ASSERT_EQ(grid->Insert(Entry("A", {10, 0, 0, 1}, 80)), InsertResult::Inserted);
    ASSERT_EQ(grid->Insert(Entry("B", {10, 0, 0, 2}, 8080)), InsertResult::Inserted);
    DoubleClick(grid->viewport(), Cell(0, 3));
    DoubleClick(grid->viewport(), Cell(1, 6));
    DoubleClick(grid->viewport(), QPoint(Cell(0, 3).x(), RowTop(1) + 3 * grid->RowHeight()));
    EXPECT_EQ(shell.Opened(), (std::vector<std::string>{"http://10.0.0.1/", "http://10.0.0.2:8080/"}));
}

// ---- Looks ------------------------------------------------------------------------------------------

TEST_F(CameraGridTest, RowsShowNormalAndSelectedStripsAndTheTickImage) {
    AddCameras(3);
    grid->SetTicked(1, false);
    const int one[] = {2};
    grid->SetSelection(one, 2);
    const QImage image = grid->viewport()->grab().toImage();
    EXPECT_EQ(image.pixel(Background(0)) & 0xFFFFFF, NORMAL_BODY);
    EXPECT_EQ(image.pixel(Background(2)) & 0xFFFFFF, SELECTED_BODY);
    // The box is white inside; only a ticked one has black in it.
    const QRect box0(0, RowTop(0), 17, grid->RowHeight());
    const QRect box1(0, RowTop(1), 17, grid->RowHeight());
    EXPECT_TRUE(test::AnyPixel(image, box0, 0xFFFFFF));
    EXPECT_TRUE(test::AnyPixel(image, box1, 0xFFFFFF));
    EXPECT_TRUE(test::AnyPixel(image, box0, 0x000000));
    EXPECT_FALSE(test::AnyPixel(image, box1, 0x000000));
}

TEST_F(CameraGridTest, NameOfACameraWithoutPasswordIsRed) {
    AddCameras(2);
    grid->SetCredentials(0, "admin", "");
    grid->SetCredentials(1, "admin", "secret");
    const QImage image = grid->viewport()->grab().toImage();
    EXPECT_TRUE(test::AnyPixel(image, grid->CellRect(RowTop(0), 6), RED));
    EXPECT_FALSE(test::AnyPixel(image, grid->CellRect(RowTop(1), 6), RED));
}

TEST_F(CameraGridTest, LongTextsAreCutBeforeTheCellsInnerMargin) {
    ASSERT_EQ(grid->Insert(Entry("A", {10, 0, 0, 1}, 80, "XQT-TR60-WITH-A-VERY-LONG-MODEL-NAME")),
              InsertResult::Inserted);
    const QImage image = grid->viewport()->grab().toImage();
    const QRect cell = grid->CellRect(RowTop(0), 3);
    // Text was drawn in the cell, and nothing of it in the 6 rightmost pixels.
    EXPECT_TRUE(test::AnyPixel(image, cell.adjusted(6, 0, -6, 0), 0x000000));
    const QRect margin(cell.right() - 5, cell.top() + 2, 6, 10);
    for (int y = margin.top(); y <= margin.bottom(); ++y)
        for (int x = margin.left(); x <= margin.right(); ++x)
            ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, NORMAL_BODY) << x << "," << y;
}

TEST_F(CameraGridTest, ADisabledGridShowsGreyedTicksAndButtonFaceRows) {
    AddCameras(2);
    grid->SetTicked(1, false);
    grid->SetCredentials(0, "admin", "secret");
    grid->setEnabled(false);
    const QImage image = grid->viewport()->grab().toImage();
    const QRgb face = grid->palette().color(QPalette::Active, QPalette::Button).rgb() & 0xFFFFFF;
    EXPECT_EQ(image.pixel(Background(0)) & 0xFFFFFF, face);
    // Both boxes show the greyed tick: no white fill, whatever the tick.
    for (int row : {0, 1})
        EXPECT_FALSE(test::AnyPixel(image, QRect(0, RowTop(row), 17, grid->RowHeight()), 0xFFFFFF)) << row;
    // Texts are dimmed, not black.
    EXPECT_FALSE(test::AnyPixel(image, grid->CellRect(RowTop(0), 3), 0x000000));
}

TEST_F(CameraGridTest, SelectAllSelectsEveryRowAndFocusesTheFirst) {
    AddCameras(3);
    QSignalSpy selection(grid.get(), &CameraGrid::SelectionChanged);
    grid->SelectAll();
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(grid->FocusedRow(), 0);
    ASSERT_EQ(selection.count(), 1);
    EXPECT_TRUE(selection.at(0).at(0).toBool());
}

TEST_F(CameraGridTest, MoveFocusDownActsLikeTheArrowKey) {
    AddCameras(3);
    grid->setFocus();
    grid->SelectFirst();
    QSignalSpy selection(grid.get(), &CameraGrid::SelectionChanged);
    grid->MoveFocusDown();
    ASSERT_TRUE(test::WaitUntil([&] { return selection.count() > 0; }));
    EXPECT_EQ(grid->FocusedRow(), 1);
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{1}));
    grid->MoveFocusUp();
    ASSERT_TRUE(test::WaitUntil([&] { return selection.count() > 1; }));
    EXPECT_EQ(grid->FocusedRow(), 0);
}

TEST_F(CameraGridTest, DeleteAllEmptiesTheList) {
    AddCameras(3);
    grid->SelectAll();
    grid->DeleteAll();
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_TRUE(grid->Targets().Empty());
    EXPECT_FALSE(grid->AnySelected());
    // Clicks and moves on an empty list do nothing.
    Click(grid->viewport(), QPoint(50, 5));
    DoubleClick(grid->viewport(), QPoint(150, 5));
    MoveMouse(grid->viewport(), QPoint(150, 5));
    EXPECT_TRUE(shell.Opened().empty());
}

}  // namespace
}  // namespace xqt

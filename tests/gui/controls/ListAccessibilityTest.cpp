// What assistive technology reads from the three lists through Qt's accessible table: the
// counts, the texts of the cells, the tick of a row and the value of a progress bar. The rows are
// painted from the records, so these pass only when the model reports what the painting shows.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

#include "fleet/TextForms.h"
#include "gui/controls/AddedCameraList.h"
#include "gui/controls/ProgressList.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

struct AccessibleCell {
    int row = 0;
    int column = 0;
    QString name;
    std::optional<bool> checked;  ///< the tick shown, where the cell has one
};

/// One list as a screen reader meets it: the columns it was built with, the rows it holds and the
/// cells to read back.
struct ListCase {
    const char* what;
    /// Makes the list and fills it; `keep` holds whatever the list needs to outlive it.
    std::function<std::unique_ptr<CameraGrid>(std::vector<std::unique_ptr<QObject>>& keep)> make;
    int rows;
    int columns;
    std::vector<AccessibleCell> cells;
};

CameraEntry Entry(const std::string& mac, Octets address) {
    CameraEntry e;
    e.macText = mac;
    e.address = address;
    e.port = 80;
    e.addressText = AddressText(address, 80);
    e.model = "XQT-TR60";
    e.serial = "1000001";
    e.version = "1.10";
    return e;
}

std::unique_ptr<CameraGrid> TargetGrid(std::vector<std::unique_ptr<QObject>>&) {
    auto grid = std::make_unique<CameraGrid>(test::Models(), nullptr, test::FastTiming());
    const char* headings[] = {"", "MAC address", "IP address", "Model", "Serial No.", "Version No.", "Name"};
    for (int i = 0; i < 7; ++i)
        grid->InsertColumn(i, headings[i], 70);
    grid->Insert(Entry("08-00-46-71-00-01", {127, 0, 71, 1}));
    CameraEntry second = Entry("08-00-46-71-00-02", {127, 0, 71, 2});
    second.serial = "1000002";
    grid->Insert(second);
    grid->SetTicked(1, false);
    return grid;
}

std::unique_ptr<CameraGrid> AddedList(std::vector<std::unique_ptr<QObject>>& keep) {
    auto& targets = keep.emplace_back(std::make_unique<CameraGrid>(test::Models()));
    auto list = std::make_unique<AddedCameraList>(test::Models(), static_cast<CameraGrid&>(*targets), nullptr,
                                                  test::FastTiming());
    const char* headings[] = {"ID", "IP address", "Model", "Serial No.", "Version No."};
    for (int i = 0; i < 5; ++i)
        list->InsertColumn(i, headings[i], 80);
    list->SetAddress(list->AppendBlank(), {127, 0, 72, 1}, 80);
    list->SetAddress(list->AppendBlank(), {127, 0, 72, 2}, 8080);
    return list;
}

std::unique_ptr<CameraGrid> Progress(std::vector<std::unique_ptr<QObject>>&) {
    auto list = std::make_unique<ProgressList>(test::Models(), nullptr, test::FastTiming());
    const char* headings[] = {"ID", "IP address", "Model", "Version No", "Progress", "Status"};
    for (int i = 0; i < 6; ++i)
        list->InsertColumn(i, headings[i], 80);
    for (int i = 0; i < 3; ++i) {
        ProgressRecord r;
        r.id = i;
        r.text[ProgressSlot::ID] = IdText(i + 1);
        r.text[ProgressSlot::ADDRESS] = "127.0.73." + std::to_string(i + 1);
        r.text[ProgressSlot::STATUS] = i == 1 ? "Uploading" : "Standby";
        r.progress = i == 1 ? 4567 : 0;
        test::AddProgressRow(*list, std::move(r));
    }
    return list;
}

class ListAccessibility : public ::testing::TestWithParam<ListCase> {
  protected:
    void SetUp() override { test::EnsureApp(); }
};

TEST_P(ListAccessibility, TheAccessibleTableReportsWhatTheRowsShow) {
    const ListCase& c = GetParam();
    std::vector<std::unique_ptr<QObject>> keep;
    std::unique_ptr<CameraGrid> list = c.make(keep);
    list->resize(600, 200);
    list->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));

    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(list.get());
    ASSERT_NE(view, nullptr);
    QAccessibleTableInterface* table = view->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), c.rows);
    EXPECT_EQ(table->columnCount(), c.columns);
    for (const AccessibleCell& expected : c.cells) {
        SCOPED_TRACE(testing::Message() << "row " << expected.row << " column " << expected.column);
        QAccessibleInterface* cell = table->cellAt(expected.row, expected.column);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->text(QAccessible::Name), expected.name);
        QAccessibleTableCellInterface* place = cell->tableCellInterface();
        ASSERT_NE(place, nullptr);
        EXPECT_EQ(place->rowIndex(), expected.row);
        EXPECT_EQ(place->columnIndex(), expected.column);
        if (expected.checked) {
            EXPECT_TRUE(cell->state().checkable);
            EXPECT_EQ(static_cast<bool>(cell->state().checked), *expected.checked);
        } else {
            EXPECT_FALSE(cell->state().checkable);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListAccessibility,
    ::testing::Values(
        ListCase{"CameraGrid",
                 TargetGrid,
                 2,
                 7,
                 {{0, 0, "", true}, {1, 0, "", false}, {0, 2, "127.0.71.1", {}}, {1, 4, "1000002", {}}}},
        ListCase{
            "AddedCameraList", AddedList, 2, 5, {{0, 1, "127.0.72.1", {}}, {1, 1, "127.0.72.2:8080", {}}}},
        ListCase{"ProgressList",
                 Progress,
                 3,
                 6,
                 {{1, 1, "127.0.73.2", {}}, {1, 5, "Uploading", {}}, {1, 4, "45%", {}}, {2, 4, "0%", {}}}}),
    [](const testing::TestParamInfo<ListCase>& row) { return std::string(row.param.what); });

}  // namespace
}  // namespace xqt

// Ticking by click and space bar, and sorting by heading clicks in both camera lists, with the
// selection and focus carried to the same cameras.
#include <gtest/gtest.h>

#include <vector>

#include "fleet/AddedCameraRows.h"
#include "fleet/TargetList.h"

namespace xqt {
namespace {

TargetList FiveCameras() {
    TargetList list;
    const char* serials[] = {"S3", "S1", "S5", "S2", "S4"};
    for (int i = 0; i < 5; ++i) {
        CameraEntry e;
        e.macText = "m" + std::to_string(i);
        e.serial = serials[i];
        e.addressText = "10.0.0." + std::to_string(i == 4 ? 10 : 9 - i);
        e.address = {10, 0, 0, std::uint8_t(i)};
        list.Insert(e);
    }
    return list;
}

std::vector<int> Ticks(const TargetList& list) {
    std::vector<int> t;
    for (const CameraRecord& r : list.Records())
        t.push_back(r.ticked);
    return t;
}

TEST(TickClicks, ClickInsideASelectionSetsAllSelectedToTheInverseOfTheClickedRow) {
    TargetList list = FiveCameras();
    list.SetTicked(1, false);  // 1 0 1 1 1: the clicked row is unticked
    const int selected[] = {0, 1, 3};
    list.ClickTick(1, selected);
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 1, 1, 1, 1}));
    list.ClickTick(3, selected);
    EXPECT_EQ(Ticks(list), (std::vector<int>{0, 0, 1, 0, 1}));
}

TEST(TickClicks, ClickOutsideTheSelectionOrOnTheOnlySelectedRowFlipsJustThatRow) {
    TargetList list = FiveCameras();
    const int selected[] = {0, 1, 3};
    list.ClickTick(2, selected);
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 1, 0, 1, 1}));
    const int one[] = {2};
    list.ClickTick(2, one);
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 1, 1, 1, 1}));
    list.ClickTick(4, {});
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 1, 1, 1, 0}));
    list.ClickTick(7, selected);  // no row there
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 1, 1, 1, 0}));
}

TEST(SpaceBar, FocusedSelectedRowDecidesForEverySelectedRow) {
    TargetList list = FiveCameras();
    const int selected[] = {1, 2, 4};
    list.SetTicked(2, false);
    EXPECT_TRUE(list.PressSpace(1, selected));  // focused row ticked: untick all selected
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 0, 0, 1, 0}));
    EXPECT_TRUE(list.PressSpace(4, selected));  // focused row unticked: tick all selected
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 1, 1, 1, 1}));
    EXPECT_FALSE(list.PressSpace(0, selected)) << "focused row not selected: nothing changes";
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 1, 1, 1, 1}));
}

std::vector<std::string> Slot(const TargetList& list, int slot) {
    std::vector<std::string> s;
    for (const CameraRecord& r : list.Records())
        s.push_back(r.text[slot]);
    return s;
}

TEST(GridSort, TextColumnsSortAscendingThenDescendingByCodeUnits) {
    TargetList list = FiveCameras();
    list.SortByColumn(TargetSlot::ADDRESS, {}, -1);
    EXPECT_EQ(Slot(list, TargetSlot::ADDRESS),
              (std::vector<std::string>{"10.0.0.10", "10.0.0.6", "10.0.0.7", "10.0.0.8", "10.0.0.9"}));
    EXPECT_TRUE(list.Sort().ascending);
    list.SortByColumn(TargetSlot::ADDRESS, {}, -1);
    EXPECT_EQ(Slot(list, TargetSlot::ADDRESS),
              (std::vector<std::string>{"10.0.0.9", "10.0.0.8", "10.0.0.7", "10.0.0.6", "10.0.0.10"}));
    EXPECT_FALSE(list.Sort().ascending);
    // Another column starts ascending again.
    list.SortByColumn(TargetSlot::SERIAL, {}, -1);
    EXPECT_EQ(Slot(list, TargetSlot::SERIAL), (std::vector<std::string>{"S1", "S2", "S3", "S4", "S5"}));
    for (int i = 0; i < list.Size(); ++i)
        EXPECT_EQ(list.Record(i).id, i) << "ids are the new positions";
}

TEST(GridSort, SelectionAndFocusStayOnTheSameCameras) {
    TargetList list = FiveCameras();  // serials S3 S1 S5 S2 S4
    const int selected[] = {0, 2};
    SortOutcome out = list.SortByColumn(TargetSlot::SERIAL, selected, 3);
    ASSERT_TRUE(out.sorted);
    std::vector<std::string> picked;
    for (int row : out.selectedRows)
        picked.push_back(list.Record(row).text[TargetSlot::SERIAL]);
    EXPECT_EQ(picked, (std::vector<std::string>{"S3", "S5"}));
    ASSERT_GE(out.focusedRow, 0);
    EXPECT_EQ(list.Record(out.focusedRow).text[TargetSlot::SERIAL], "S2");
}

TEST(GridSort, TickColumnSortsOnlyMixedTicksButAlwaysFlipsTheDirection) {
    TargetList list = FiveCameras();
    std::vector<std::string> before = Slot(list, TargetSlot::SERIAL);
    EXPECT_FALSE(list.SortByColumn(0, {}, -1).sorted);
    EXPECT_EQ(list.Sort().sortColumn, 0);
    EXPECT_TRUE(list.Sort().ascending);
    EXPECT_FALSE(list.SortByColumn(0, {}, -1).sorted);
    EXPECT_FALSE(list.Sort().ascending);
    EXPECT_EQ(Slot(list, TargetSlot::SERIAL), before);

    list.SetTicked(1, false);
    list.SetTicked(3, false);
    EXPECT_TRUE(list.SortByColumn(0, {}, -1).sorted);  // third click: ascending, unticked first
    EXPECT_EQ(Ticks(list), (std::vector<int>{0, 0, 1, 1, 1}));
    list.SortByColumn(0, {}, -1);
    EXPECT_EQ(Ticks(list), (std::vector<int>{1, 1, 1, 0, 0}));
}

TEST(GridSort, ColumnsOutsideTheGridOnlyRecordTheClick) {
    TargetList list = FiveCameras();
    std::vector<std::string> before = Slot(list, TargetSlot::SERIAL);
    EXPECT_FALSE(list.SortByColumn(7, {}, -1).sorted);
    EXPECT_EQ(list.Sort().sortColumn, 7);
    EXPECT_EQ(Slot(list, TargetSlot::SERIAL), before);
}

TEST(AddedSort, IdColumnOrdersHighestFirstOnTheFirstClickAndKeepsIds) {
    TargetList targets;
    AddedCameraRows rows(targets);
    const char* models[] = {"XQT-TR60", "No response", "Not a camera"};
    for (int i = 0; i < 3; ++i) {
        int r = rows.AppendBlank();
        rows.SetAddress(r, {10, 0, 0, std::uint8_t(i + 1)}, 80);
        rows.ApplyInquiryResult(rows.Row(r).key, {true, true, models[i], "", "", true});
    }
    const int selected[] = {0};
    SortOutcome out = rows.SortByColumn(0, selected, 0);
    std::vector<int> ids;
    for (const AddedCameraRecord& r : rows.Rows())
        ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(out.selectedRows, (std::vector<int>{2}));
    EXPECT_EQ(out.focusedRow, 2);

    rows.SortByColumn(0, {}, -1);
    ids.clear();
    for (const AddedCameraRecord& r : rows.Rows())
        ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));

    rows.SortByColumn(AddedSlot::MODEL, {}, -1);
    std::vector<std::string> order;
    for (const AddedCameraRecord& r : rows.Rows())
        order.push_back(r.text[AddedSlot::ID] + " " + r.text[AddedSlot::MODEL]);
    EXPECT_EQ(order, (std::vector<std::string>{"002 No response", "003 Not a camera", "001 XQT-TR60"}));
    EXPECT_FALSE(rows.SortByColumn(5, {}, -1).sorted);
}

}  // namespace
}  // namespace xqt

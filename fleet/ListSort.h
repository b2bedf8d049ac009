#pragma once
// Sorting of the camera lists by a click on a column heading: the direction rule, the comparisons,
// and the re-sort that keeps the selected and focused rows on the same cameras. UI thread only.

#include <algorithm>
#include <span>
#include <vector>

#include "fleet/CameraRecord.h"

namespace xqt {

/// Heading-click state of one list.
struct SortState {
    int sortColumn = -1;    ///< column of the last heading click
    bool ascending = true;  ///< direction of the next sort
    int sortKey = 0;        ///< column compared by the last sort

    /// A click on `column`: the same column again flips the direction, another column starts
    /// ascending. Happens for every click, also when no sort follows.
    void Click(int column);
};

/// Camera grid order: column 0 by tick (unticked first when ascending), columns 1..6 by text slot
/// in UTF-16 code-unit order. Negated when not ascending. Other columns compare equal.
int CompareTargets(const CameraRecord& a, const CameraRecord& b, int column, bool ascending);

/// Added-camera list order: key 0 by id with the highest id first when ascending, keys 1..4 by text
/// slot in UTF-16 code-unit order. Negated when not ascending. Other keys compare equal.
int CompareAdded(const AddedCameraRecord& a, const AddedCameraRecord& b, int key, bool ascending);

/// Where the selection and focus are after a sort, by new row position.
struct SortOutcome {
    bool sorted = false;
    std::vector<int> selectedRows;
    int focusedRow = -1;
};

namespace detail {
/// Sorts `rows` by `compare` (rows with equal keys keep their order), carrying the selection and
/// the focus through the records' selectedSaved/focusedSaved fields.
template <class Record, class Compare>
SortOutcome SortKeepingSelection(std::vector<Record>& rows, Compare compare,
                                 std::span<const int> selectedRows, int focusedRow) {
    const int n = static_cast<int>(rows.size());
    for (int i = 0; i < n; ++i) {
        rows[i].selectedSaved = std::count(selectedRows.begin(), selectedRows.end(), i) > 0 ? 1 : 0;
        rows[i].focusedSaved = i == focusedRow ? 1 : 0;
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const Record& a, const Record& b) { return compare(a, b) < 0; });
    SortOutcome out;
    out.sorted = true;
    for (int i = 0; i < n; ++i) {
        if (rows[i].selectedSaved) out.selectedRows.push_back(i);
        if (rows[i].focusedSaved) out.focusedRow = i;
    }
    return out;
}
}  // namespace detail

}  // namespace xqt

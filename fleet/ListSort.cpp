#include "fleet/ListSort.h"

#include "fleet/TextForms.h"

namespace xqt {

void SortState::Click(int column) {
    if (column == sortColumn) {
        ascending = !ascending;
    } else {
        ascending = true;
        sortColumn = column;
    }
}

int CompareTargets(const CameraRecord& a, const CameraRecord& b, int column, bool ascending) {
    int c = 0;
    if (column == 0) {
        c = (a.ticked > b.ticked) - (a.ticked < b.ticked);
    } else if (column >= 1 && column <= 6) {
        c = CompareUtf16(a.text[column], b.text[column]);
    }
    return ascending ? c : -c;
}

int CompareAdded(const AddedCameraRecord& a, const AddedCameraRecord& b, int key, bool ascending) {
    int c = 0;
    if (key == 0) {
        c = (b.id > a.id) - (b.id < a.id);
    } else if (key >= 1 && key <= 4) {
        c = CompareUtf16(a.text[key], b.text[key]);
    }
    return ascending ? c : -c;
}

}  // namespace xqt

#include "gui/controls/RowGeometry.h"

#include <algorithm>

namespace xqt {

int ProgressBarWidth(std::int32_t progress, int cellWidth) {
    const int inner = cellWidth - 3;
    if (inner <= 0 || progress <= 0) return 0;
    // 64-bit product: a worker's value is not trusted to stay within the scale.
    const std::int64_t scaled = static_cast<std::int64_t>(progress) * inner / PROGRESS_FULL;
    return static_cast<int>(std::min<std::int64_t>(inner, scaled));
}

int HeadingAt(int x, std::span<const HeadingSection> sections) {
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const int left = sections[i].left + HEADING_DIVIDER_MARGIN;
        const int right = sections[i].left + sections[i].width - HEADING_DIVIDER_MARGIN;
        if (x >= left && x < right) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace xqt

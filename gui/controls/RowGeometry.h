#pragma once
// The arithmetic of the list controls' rows and headings, kept free of any toolkit so it can be
// checked without a window. Pure functions; any thread.

#include <cstdint>
#include <span>

#include "camera/ProgressBar.h"

namespace xqt {

/// Full scale of every progress value.
inline constexpr int PROGRESS_FULL = PROGRESS_MAX;

/// Width of the progress bar drawn in a cell `cellWidth` pixels wide: the inner width
/// w = cellWidth - 3 scaled by `progress` (0 to PROGRESS_FULL) in integer arithmetic and never
/// wider than w. Out-of-range values give 0 (below) or w (above); never negative.
[[nodiscard]] int ProgressBarWidth(std::int32_t progress, int cellWidth);

/// One column as the heading shows it: left edge and width in pixels.
struct HeadingSection {
    int left = 0;
    int width = 0;
};

/// Pixels of every heading item's left and right end that do not count as the item, so that a
/// click on a divider between two headings is no heading click.
inline constexpr int HEADING_DIVIDER_MARGIN = 4;

/// Index of the first section whose rectangle, narrowed by HEADING_DIVIDER_MARGIN on both sides,
/// contains x; -1 when none does.
[[nodiscard]] int HeadingAt(int x, std::span<const HeadingSection> sections);

}  // namespace xqt

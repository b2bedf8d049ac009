// The row arithmetic of the lists: the progress bar's width and the heading hit rule.
#include <gtest/gtest.h>

#include <vector>

#include "gui/controls/RowGeometry.h"

namespace xqt {
namespace {

TEST(ProgressBarWidth, ScalesTheInnerWidthOfTheCell) {
    // A 123-pixel cell has an inner width of 120.
    EXPECT_EQ(ProgressBarWidth(5000, 123), 60);
    EXPECT_EQ(ProgressBarWidth(10000, 123), 120);
    EXPECT_EQ(ProgressBarWidth(0, 123), 0);
    EXPECT_EQ(ProgressBarWidth(1, 123), 0);  // integer arithmetic rounds down
    EXPECT_EQ(ProgressBarWidth(9999, 123), 119);
    EXPECT_EQ(ProgressBarWidth(2500, 120), 29);  // 2500 * 117 / 10000
}

TEST(ProgressBarWidth, NeverLeavesTheFrameOrGoesNegative) {
    EXPECT_EQ(ProgressBarWidth(20000, 123), 120);
    EXPECT_EQ(ProgressBarWidth(INT32_MAX, 123), 120);  // no overflow in the product
    EXPECT_EQ(ProgressBarWidth(-5, 123), 0);
    EXPECT_EQ(ProgressBarWidth(INT32_MIN, 123), 0);
    EXPECT_EQ(ProgressBarWidth(5000, 3), 0);
    EXPECT_EQ(ProgressBarWidth(5000, 0), 0);
    EXPECT_EQ(ProgressBarWidth(5000, -10), 0);
}

TEST(HeadingAt, IgnoresFourPixelsAtEitherEndOfEachHeading) {
    const std::vector<HeadingSection> sections{{0, 17}, {17, 123}, {140, 100}};
    EXPECT_EQ(HeadingAt(4, sections), 0);
    EXPECT_EQ(HeadingAt(12, sections), 0);
    EXPECT_EQ(HeadingAt(3, sections), -1);
    EXPECT_EQ(HeadingAt(13, sections), -1);  // divider between 0 and 1
    EXPECT_EQ(HeadingAt(20, sections), -1);
    EXPECT_EQ(HeadingAt(21, sections), 1);
    EXPECT_EQ(HeadingAt(135, sections), 1);
    EXPECT_EQ(HeadingAt(136, sections), -1);
    EXPECT_EQ(HeadingAt(144, sections), 2);
    EXPECT_EQ(HeadingAt(235, sections), 2);
    EXPECT_EQ(HeadingAt(236, sections), -1);
    EXPECT_EQ(HeadingAt(500, sections), -1);  // right of the last heading
}

TEST(HeadingAt, ANarrowHeadingCannotBeHit) {
    const std::vector<HeadingSection> sections{{0, 8}, {8, 50}};
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(HeadingAt(x, sections), -1) << x;
    EXPECT_EQ(HeadingAt(12, sections), 1);
}

}  // namespace
}  // namespace xqt

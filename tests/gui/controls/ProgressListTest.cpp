// The progress list: the drawn bar and frame sampled from a grab, no selection drawn, heading
// clicks that beep and never sort, and the row and session storage the automatic page drives.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "fleet/TextForms.h"
#include "gui/controls/ProgressList.h"
#include "gui/controls/RowGeometry.h"
#include "platform/ShellOpen.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

using test::Click;

constexpr QRgb NORMAL_BODY = 0xFBFBFB;
constexpr QRgb NORMAL_EDGE = 0xF4F4F4;
constexpr QRgb BAR_BODY = 0xB5B2FF;  // the bar strip's band at its pixels 2-4
constexpr QRgb GREY = 0xC0C0C0;
constexpr QRgb BLACK = 0x000000;

ProgressRecord Row(int id, const std::string& address, std::int32_t progress, const std::string& status) {
    ProgressRecord r;
    r.id = id;
    r.text[ProgressSlot::ID] = IdText(id + 1);
    r.text[ProgressSlot::ADDRESS] = address;
    r.text[ProgressSlot::MODEL] = "XQT-TR60";
    r.text[ProgressSlot::VERSION] = "1.10";
    r.text[ProgressSlot::STATUS] = status;
    r.progress = progress;
    return r;
}

class ProgressListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        list = std::make_unique<ProgressList>(test::Models(), nullptr, test::FastTiming());
        list->InsertColumn(0, "ID", 30, Qt::AlignRight);
        list->InsertColumn(1, "IP address", 100);
        list->InsertColumn(2, "Model", 82);
        list->InsertColumn(3, "Version No", 70);
        list->InsertColumn(4, "Progress", 123);
        list->InsertColumn(5, "Status", 90);
        list->SetBeep([this] { ++beeps; });
        list->SetShellOpen(&shell);
        list->resize(540, 200);
        list->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    }

    int RowTop(int row) const { return list->visualRect(list->model()->index(row, 0)).top(); }
    QRect BarCell(int row) const { return list->CellRect(RowTop(row), 4); }

    /// Where the bar's right end lies in a row: the first x after the bar's left edge whose body
    /// pixel is not the bar colour.
    int BarEnd(const QImage& image, int row) const {
        const QRect cell = BarCell(row);
        const int y = cell.top() + 5;
        int x = cell.left() + 1;
        while (x < cell.left() + cell.width() && (image.pixel(x, y) & 0xFFFFFF) == BAR_BODY)
            ++x;
        return x - (cell.left() + 1);
    }

    int beeps = 0;
    platform::RecordingShellOpen shell;
    std::unique_ptr<ProgressList> list;
};

TEST_F(ProgressListTest, TheBarCoversItsShareOfTheInnerWidth) {
    test::AddProgressRow(*list, Row(0, "127.0.51.1", 5000, "Uploading"));
    test::AddProgressRow(*list, Row(1, "127.0.51.2", 10000, "Completed"));
    test::AddProgressRow(*list, Row(2, "127.0.51.3", 0, "Standby"));
    test::AddProgressRow(*list, Row(3, "127.0.51.4", 123456, "Error1"));
    const QImage image = list->viewport()->grab().toImage();
    EXPECT_EQ(BarEnd(image, 0), 60);
    EXPECT_EQ(BarEnd(image, 1), 120);
    EXPECT_EQ(BarEnd(image, 2), 0);
    EXPECT_EQ(BarEnd(image, 3), 120);  // an out-of-range value stays inside the frame
}

TEST_F(ProgressListTest, AtTwiceTheDensityTheBarIsDrawnAtFullResolutionWithASharpEnd) {
    test::AddProgressRow(*list, Row(0, "127.0.51.1", 5000, "Uploading"));
    QImage image(list->viewport()->size() * 2, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    list->viewport()->render(&image);
    const QRect cell = BarCell(0);
    const int y = 2 * (cell.top() + 5);
    const int start = 2 * (cell.left() + 1);
    int x = start;
    while (x < 2 * (cell.left() + cell.width()) && (image.pixel(x, y) & 0xFFFFFF) == BAR_BODY)
        ++x;
    // Twice the 60 pixels of scale 1, and the row's body right after the last bar pixel: no
    // blend of the two colours, as scaling up a picture drawn at scale 1 would leave.
    EXPECT_EQ(x - start, 120);
    EXPECT_EQ(image.pixel(x, y) & 0xFFFFFF, NORMAL_BODY);
    EXPECT_EQ(image.pixel(x, y + 1) & 0xFFFFFF, NORMAL_BODY);
}

TEST_F(ProgressListTest, TheFrameIsABlackRectangleWithAGreyOneOffsetByAPixel) {
    test::AddProgressRow(*list, Row(0, "127.0.52.1", 0, "Standby"));
    const QImage image = list->viewport()->grab().toImage();
    const QRect cell = BarCell(0);
    const int left = cell.left();
    const int right = cell.left() + cell.width();
    const int top = cell.top();
    const int bottom = cell.top() + cell.height();
    const int midX = left + cell.width() / 2;
    const int midY = top + cell.height() / 2;
    auto at = [&](int x, int y) { return image.pixel(x, y) & 0xFFFFFF; };
    EXPECT_EQ(at(midX, top + 2), BLACK);
    EXPECT_EQ(at(midX, top + 3), GREY);
    EXPECT_EQ(at(midX, bottom - 4), BLACK);
    EXPECT_EQ(at(midX, bottom - 3), GREY);
    EXPECT_EQ(at(left, midY), BLACK);
    EXPECT_EQ(at(right - 2, midY), BLACK);
    EXPECT_EQ(at(right - 1, midY), GREY);
    EXPECT_EQ(at(midX, top + 1), NORMAL_EDGE);
    EXPECT_EQ(at(midX, midY), NORMAL_BODY);  // progress 0: the frame alone
}

TEST_F(ProgressListTest, SelectionAndFocusAreNotDrawn) {
    test::AddProgressRow(*list, Row(0, "127.0.53.1", 2500, "Uploading"));
    test::AddProgressRow(*list, Row(1, "127.0.53.2", 0, "Standby"));
    list->setFocus();
    Click(list->viewport(), QPoint(60, RowTop(1) + 5));
    EXPECT_EQ(list->SelectedRows(), (std::vector<int>{1}));
    const QImage image = list->viewport()->grab().toImage();
    for (int row : {0, 1})
        EXPECT_EQ(image.pixel(list->header()->length() + 5, RowTop(row) + 6) & 0xFFFFFF, NORMAL_BODY) << row;
    EXPECT_TRUE(test::AnyPixel(image, list->CellRect(RowTop(1), 5), BLACK));  // status text in black
}

TEST_F(ProgressListTest, HeadingClicksBeepAndNeverSort) {
    test::AddProgressRow(*list, Row(0, "127.0.54.9", 0, "Standby"));
    test::AddProgressRow(*list, Row(1, "127.0.54.10", 0, "Standby"));
    QHeaderView* h = list->header();
    for (int column : {0, 1, 1, 4})
        Click(h->viewport(),
              QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
    Click(h->viewport(), QPoint(h->sectionViewportPosition(2), h->height() / 2));  // a divider
    EXPECT_EQ(beeps, 4);
    EXPECT_EQ(list->Row(0).text[ProgressSlot::ADDRESS], "127.0.54.9");
    // Double-clicks open nothing here.
    test::DoubleClick(list->viewport(), QPoint(60, RowTop(0) + 5));
    EXPECT_TRUE(shell.Opened().empty());
}

}  // namespace
}  // namespace xqt

// The bitmap buttons: loading by caption and state letter, the image shown in each state, a
// double-click that counts as two clicks, and the keyboard's Tab, Space and Enter.
#include <gtest/gtest.h>

#include <QDialog>
#include <QEvent>
#include <QKeySequence>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "gui/controls/BitmapButton.h"
#include "gui/controls/RowPainter.h"
#include "platform/BitmapIds.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

class BitmapButtonTest : public ::testing::Test {
  protected:
    void SetUp() override { test::EnsureApp(); }
};

TEST_F(BitmapButtonTest, AutoLoadTakesTheCaptionsFourBitmapsAndTheirSize) {
    for (const char* caption : {"PREV", "NEXT", "ADD", "DEL"}) {
        BitmapButton button(caption);
        ASSERT_TRUE(button.AutoLoad()) << caption;
        const QImage up = detail::LoadResourceBitmap(*platform::ButtonBitmapId(caption, 'U'));
        EXPECT_EQ(button.size(), up.size()) << caption;
        EXPECT_TRUE(button.IsLoaded());
    }
}

TEST_F(BitmapButtonTest, ACaptionWithoutBitmapsStaysUnloaded) {
    BitmapButton button("OK");
    EXPECT_FALSE(button.AutoLoad());
    EXPECT_FALSE(button.IsLoaded());
    BitmapButton noName("");
    EXPECT_FALSE(noName.AutoLoad());
}

TEST_F(BitmapButtonTest, LoadBitmapsReportsEveryMissingNameButKeepsWhatLoaded) {
    BitmapButton button("NEXT");
    EXPECT_TRUE(button.LoadBitmaps("NEXTU"));
    EXPECT_FALSE(button.LoadBitmaps("NEXTU", "NEXTQ"));
    EXPECT_TRUE(button.IsLoaded());
    EXPECT_FALSE(button.LoadBitmaps("NEXT", "NEXTD"));
    EXPECT_FALSE(button.IsLoaded());
    EXPECT_TRUE(button.LoadBitmaps("nextu", "nextd", "nextf", "nextx"));  // names match without case
}

TEST_F(BitmapButtonTest, EachStateShowsItsOwnImage) {
    QWidget window;
    BitmapButton button("ADD", &window);
    BitmapButton other("DEL", &window);
    other.move(100, 0);
    ASSERT_TRUE(button.AutoLoad());
    ASSERT_TRUE(other.AutoLoad());
    window.resize(200, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    other.setFocus();

    const QImage up = button.grab().toImage();
    button.setDown(true);
    const QImage down = button.grab().toImage();
    button.setDown(false);
    button.setFocus();
    const QImage focused = button.grab().toImage();
    other.setFocus();
    button.setEnabled(false);
    const QImage disabled = button.grab().toImage();
    button.setEnabled(true);
    EXPECT_EQ(button.grab().toImage(), up);
    EXPECT_NE(up, down);
    EXPECT_NE(up, focused);
    EXPECT_NE(up, disabled);
    EXPECT_NE(down, focused);
    EXPECT_NE(down, disabled);
    EXPECT_NE(focused, disabled);
}

TEST_F(BitmapButtonTest, GreyShadesFollowThePalette) {
    BitmapButton button("PREV");
    ASSERT_TRUE(button.AutoLoad());
    QPalette palette = button.palette();
    palette.setColor(QPalette::Button, QColor(10, 200, 30));
    button.setPalette(palette);  // the bitmaps are loaded again for the new colours
    const QImage image = button.grab().toImage();
    const QPoint face(image.width() / 2, 4);
    EXPECT_EQ(image.pixel(face) & 0xFFFFFF, QColor(10, 200, 30).rgb() & 0xFFFFFF);
}

TEST_F(BitmapButtonTest, ADoubleClickActsAsTwoClicks) {
    QWidget window;
    BitmapButton button("NEXT", &window);
    ASSERT_TRUE(button.AutoLoad());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    const QPoint centre = button.rect().center();
    test::DoubleClick(&button, centre);
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_FALSE(button.isDown());
    test::Click(&button, centre);
    EXPECT_EQ(clicked.count(), 3);
}

TEST_F(BitmapButtonTest, TabReachesItWithAVisibleFocusAndKeysPressItAsAPushButton) {
    // Space presses it anywhere; Enter and Return only in a dialog, and there the focused button
    // rather than the dialog's default one, as with a push button.
    struct Case {
        Qt::Key key;
        bool inDialog;
        bool presses;
    };
    for (const Case c : {Case{Qt::Key_Space, false, true}, Case{Qt::Key_Space, true, true},
                         Case{Qt::Key_Return, false, false}, Case{Qt::Key_Return, true, true},
                         Case{Qt::Key_Enter, true, true}}) {
        SCOPED_TRACE(QKeySequence(c.key).toString().toStdString() + (c.inDialog ? " in a dialog" : ""));
        std::unique_ptr<QWidget> window(c.inDialog ? new QDialog : new QWidget);
        auto* other = new QPushButton("OK", window.get());
        other->setDefault(true);
        auto* button = new BitmapButton("NEXT", window.get());
        ASSERT_TRUE(button->LoadBitmaps("NEXTU"));  // no focus bitmap: the focus is drawn over it
        button->setFixedSize(button->sizeHint());
        button->move(0, 40);
        window->resize(120, 100);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        other->setFocus();
        const QImage unfocused = button->grab().toImage();

        QTest::keyClick(other, Qt::Key_Tab);
        ASSERT_TRUE(button->hasFocus());
        EXPECT_TRUE(button->grab().toImage() != unfocused) << "the focus does not show";
        QSignalSpy pressed(button, &QAbstractButton::clicked);
        QSignalSpy defaultPressed(other, &QAbstractButton::clicked);
        QTest::keyClick(button, c.key);
        EXPECT_EQ(pressed.count(), c.presses ? 1 : 0);
        EXPECT_EQ(defaultPressed.count(), 0);
    }
}

}  // namespace
}  // namespace xqt

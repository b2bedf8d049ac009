// The desktop clipboard as the address-list import reads it: 8-bit text in the program's code
// page, nothing when the clipboard holds no text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "gui/platform/QtClipboard.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

class QtClipboardTest : public ::testing::Test {
  protected:
    void SetUp() override { test::EnsureApp(); }
    void TearDown() override { QApplication::clipboard()->clear(); }
    platform::QtClipboard clipboard;
};

TEST_F(QtClipboardTest, TextComesInTheEightBitCodePage) {
    QApplication::clipboard()->setText("10.0.0.1\r\n10.0.0.2,1024\r\n");
    EXPECT_EQ(clipboard.ReadText(), "10.0.0.1\r\n10.0.0.2,1024\r\n");
    // "é" is one byte in the code page; a character it cannot hold becomes "?".
    QApplication::clipboard()->setText(QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD"));
    EXPECT_EQ(clipboard.ReadText(), std::string("caf\xE9 \x80 ?"));
}

TEST_F(QtClipboardTest, EmptyTextIsTextButNoTextIsNothing) {
    QApplication::clipboard()->setText("");
    const auto empty = clipboard.ReadText();
    // An empty text may be dropped by the platform; either way no bytes come.
    EXPECT_TRUE(!empty || empty->empty());

    auto* image = new QMimeData;
    image->setData("application/octet-stream", QByteArray("\x01\x02", 2));
    QApplication::clipboard()->setMimeData(image);
    EXPECT_FALSE(clipboard.ReadText());
}

}  // namespace
}  // namespace xqt

// The two login dialogs over a target grid: the single dialog's walk with PREV and NEXT (the grid's
// selection following it, every step storing, the end of the list beeping, Close dropping the
// edits), the batch dialog's shared credentials, the 16-character limit of both, and the names a
// screen reader reads on these dialogs and on the add-cameras and entry dialogs.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

#include "DialogsTestSupport.h"
#include "gui/automatic/AddCamerasDialog.h"
#include "gui/automatic/BatchLoginDialog.h"
#include "gui/automatic/EntryTerminalsDialog.h"
#include "gui/automatic/SingleLoginDialog.h"
#include "gui/controls/AddedCameraList.h"
#include "gui/controls/Ipv4Edit.h"
#include "platform/Clipboard.h"

namespace xqt {
namespace {

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name) : QString();
}

/// Every control of `dialog` the keyboard reaches has a name for a screen reader, and the control a
/// label leads to is named after that label.
void ExpectNamedForScreenReaders(QWidget* dialog) {
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
        if (!(control->focusPolicy() & Qt::TabFocus)) continue;
        SCOPED_TRACE(testing::Message()
                     << control->metaObject()->className() << " " << control->objectName().toStdString());
        EXPECT_FALSE(AccessibleName(control).trimmed().isEmpty());
    }
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (!label->buddy()) continue;
        const QString caption = label->text().remove('&').remove(QRegularExpression(":$"));
        EXPECT_TRUE(AccessibleName(label->buddy()).startsWith(caption))
            << AccessibleName(label->buddy()).toStdString() << " beside " << caption.toStdString();
    }
}

class LoginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        grid = test::MakeTargetGrid();
    }
    void Select(std::initializer_list<int> rows) {
        const std::vector<int> v(rows);
        grid->SetSelection(v, v.empty() ? -1 : v.front());
    }
    static QLineEdit* Edit(QWidget* dialog, const char* name) { return dialog->findChild<QLineEdit*>(name); }
    static std::string Shown(QWidget* dialog, const char* name) {
        return Edit(dialog, name)->text().toStdString();
    }
    static std::string ShownAddress(QWidget* dialog) {
        const auto octets = dialog->findChild<Ipv4Edit*>("address")->Octets();
        std::string text;
        for (const auto& o : octets)
            text += (text.empty() ? "" : ".") + (o ? std::to_string(*o) : std::string("?"));
        return text;
    }
    static void Type(QWidget* dialog, const std::string& name, const std::string& password) {
        Edit(dialog, "name")->setText(QString::fromStdString(name));
        Edit(dialog, "password")->setText(QString::fromStdString(password));
    }
    std::string Name(int row) const { return grid->GetCredentials(row).name; }
    std::string Password(int row) const { return grid->GetCredentials(row).password; }

    std::unique_ptr<CameraGrid> grid;
};

// ---- Single login ---------------------------------------------------------------------------------

TEST_F(LoginTest, SingleWalksTheRowsStoringEachStep) {
    test::FillTargets(*grid, 3);
    grid->SetCredentials(1, "op", "secret");
    Select({0});
    SingleLoginDialog dialog(*grid);
    int beeps = 0;
    dialog.SetBeep([&] { ++beeps; });
    EXPECT_EQ(dialog.windowTitle(), "Single login");
    EXPECT_EQ(dialog.CurrentRow(), 0);
    EXPECT_EQ(ShownAddress(&dialog), "127.1.0.0");
    EXPECT_FALSE(test::Button(&dialog, "prev")->isEnabled());
    EXPECT_TRUE(test::Button(&dialog, "next")->isEnabled());
    EXPECT_EQ(Edit(&dialog, "password")->echoMode(), QLineEdit::Password);

    Type(&dialog, "admin", "pw0");
    test::Press(&dialog, "next");
    EXPECT_EQ(Name(0), "admin");
    EXPECT_EQ(Password(0), "pw0");
    EXPECT_EQ(dialog.CurrentRow(), 1);
    EXPECT_EQ(grid->SelectedRows(), std::vector<int>{1});
    EXPECT_EQ(grid->FocusedRow(), 1);
    EXPECT_TRUE(test::Button(&dialog, "prev")->isEnabled());
    EXPECT_EQ(ShownAddress(&dialog), "127.1.0.1");
    EXPECT_EQ(Shown(&dialog, "name"), "op");
    EXPECT_EQ(Shown(&dialog, "password"), "secret");

    test::Press(&dialog, "next");  // row 1 stored unchanged
    Type(&dialog, "last", "pw2");
    test::Press(&dialog, "next");  // the last row: stored, beep, NEXT off, no wrap
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(dialog.CurrentRow(), 2);
    EXPECT_EQ(Name(2), "last");
    EXPECT_FALSE(test::Button(&dialog, "next")->isEnabled());
    EXPECT_EQ(grid->SelectedRows(), std::vector<int>{2});

    test::Press(&dialog, "prev");
    EXPECT_EQ(dialog.CurrentRow(), 1);
    EXPECT_TRUE(test::Button(&dialog, "next")->isEnabled());
    test::Press(&dialog, "prev");
    EXPECT_EQ(dialog.CurrentRow(), 0);
    EXPECT_FALSE(test::Button(&dialog, "prev")->isEnabled());
    EXPECT_EQ(grid->SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(Shown(&dialog, "name"), "admin");
    EXPECT_EQ(Name(1), "op");
    EXPECT_EQ(Password(1), "secret");
}

TEST_F(LoginTest, SingleNamesEveryFocusableControlForScreenReaders) {
    test::FillTargets(*grid, 2);
    Select({0});
    SingleLoginDialog dialog(*grid);
    ExpectNamedForScreenReaders(&dialog);
    const auto* address = dialog.findChild<Ipv4Edit*>("address");
    EXPECT_EQ(AccessibleName(address->Field(2)), "IP address, part 3 of 4");
    EXPECT_EQ(AccessibleName(test::Button(&dialog, "prev")), "Previous");
}

TEST_F(LoginTest, BatchAddCamerasAndEntryDialogsNameEveryFocusableControl) {
    test::FillTargets(*grid, 2);
    Select({0, 1});
    platform::RecordingMessageBoxes boxes;
    platform::MemoryClipboard clipboard;
    BatchLoginDialog batch(*grid);
    AddCamerasDialog addCameras(*grid, test::Models(), test::FastTiming(), boxes, clipboard);
    EntryTerminalsDialog entry(addCameras.List(), 4, 0, boxes);
    for (QWidget* dialog :
         {static_cast<QWidget*>(&batch), static_cast<QWidget*>(&addCameras), static_cast<QWidget*>(&entry)}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        ExpectNamedForScreenReaders(dialog);
    }
}

TEST_F(LoginTest, SingleStartsOnTheSelectedRow) {
    test::FillTargets(*grid, 4);
    Select({2});
    SingleLoginDialog dialog(*grid);
    EXPECT_EQ(dialog.CurrentRow(), 2);
    EXPECT_EQ(ShownAddress(&dialog), "127.1.0.2");
    EXPECT_TRUE(test::Button(&dialog, "prev")->isEnabled());
}

TEST_F(LoginTest, SingleWithoutSelectionStartsOnTheFocusedRow) {
    test::FillTargets(*grid, 3);
    grid->SetSelection({}, 1);
    SingleLoginDialog dialog(*grid);
    EXPECT_EQ(dialog.CurrentRow(), 1);
    EXPECT_EQ(grid->SelectedRows(), std::vector<int>{1});
}

TEST_F(LoginTest, SingleCloseDropsTheEditsSinceTheLastStep) {
    test::FillTargets(*grid, 2);
    grid->SetCredentials(0, "admin", "old");
    Select({0});
    SingleLoginDialog dialog(*grid);
    Type(&dialog, "admin", "new");
    test::Press(&dialog, "close");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Password(0), "old");
}

TEST_F(LoginTest, SingleOkStoresTheRowShown) {
    test::FillTargets(*grid, 2);
    Select({1});
    SingleLoginDialog dialog(*grid);
    Type(&dialog, "root", "");  // empty passwords are accepted (the row is then not ready)
    test::Press(&dialog, "ok");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Name(1), "root");
    EXPECT_EQ(Password(1), "");
    EXPECT_EQ(Name(0), "");
}

TEST_F(LoginTest, SingleOverAnEmptyGridOffersOnlyClose) {
    SingleLoginDialog dialog(*grid);
    EXPECT_EQ(dialog.CurrentRow(), -1);
    for (const char* name : {"prev", "next", "ok"})
        EXPECT_FALSE(test::Button(&dialog, name)->isEnabled()) << name;
    EXPECT_TRUE(test::Button(&dialog, "close")->isEnabled());
}

// ---- Batch login ----------------------------------------------------------------------------------

TEST_F(LoginTest, BatchOpensWithCredentialsSharedByAllSelectedRows) {
    test::FillTargets(*grid, 4);
    for (int row : {0, 1, 3})
        grid->SetCredentials(row, "admin", "Secret");
    grid->SetCredentials(2, "admin", "secret");  // differs only in case
    Select({0, 1, 3});
    {
        BatchLoginDialog dialog(*grid);
        EXPECT_EQ(dialog.windowTitle(), "Batch login");
        EXPECT_EQ(Shown(&dialog, "name"), "admin");
        EXPECT_EQ(Shown(&dialog, "password"), "Secret");
    }
    Select({0, 2, 3});
    BatchLoginDialog dialog(*grid);
    EXPECT_EQ(Shown(&dialog, "name"), "");
    EXPECT_EQ(Shown(&dialog, "password"), "");
}

TEST_F(LoginTest, BatchOverOneRowOpensEmptyAndStoresIntoIt) {
    test::FillTargets(*grid, 1);
    grid->SetCredentials(0, "admin", "admin");
    Select({0});
    {
        BatchLoginDialog dialog(*grid);
        EXPECT_EQ(Shown(&dialog, "name"), "");
        EXPECT_EQ(Shown(&dialog, "password"), "");
    }
    // The page opens the batch dialog for a one-row list even with that row unselected.
    Select({});
    BatchLoginDialog dialog(*grid);
    EXPECT_EQ(dialog.Rows(), std::vector<int>{0});
    Type(&dialog, "op", "pw");
    test::Press(&dialog, "ok");
    EXPECT_EQ(Name(0), "op");
    EXPECT_EQ(Password(0), "pw");
}

TEST_F(LoginTest, BatchOkStoresIntoEverySelectedRowAndCancelIntoNone) {
    test::FillTargets(*grid, 4);
    Select({1, 3});
    {
        BatchLoginDialog dialog(*grid);
        Type(&dialog, "admin", "pw");
        test::Press(&dialog, "cancel");
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(Name(row), "") << row;

    BatchLoginDialog dialog(*grid);
    Type(&dialog, "admin", "pw");
    test::Press(&dialog, "ok");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Name(0), "");
    EXPECT_EQ(Name(1), "admin");
    EXPECT_EQ(Password(1), "pw");
    EXPECT_EQ(Name(2), "");
    EXPECT_EQ(Password(3), "pw");
    EXPECT_FALSE(grid->IsReady());  // rows 0 and 2 are ticked without credentials
}

// ---- Limits ---------------------------------------------------------------------------------------

TEST_F(LoginTest, NoSeventeenthCharacterCanBeTyped) {
    test::FillTargets(*grid, 2);
    Select({0});
    SingleLoginDialog single(*grid);
    Select({0, 1});
    BatchLoginDialog batch(*grid);
    for (QDialog* dialog : {static_cast<QDialog*>(&single), static_cast<QDialog*>(&batch)}) {
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        for (const char* name : {"name", "password"}) {
            QLineEdit* edit = Edit(dialog, name);
            edit->clear();
            QTest::keyClicks(edit, "abcdefghijklmnopqrst");
            EXPECT_EQ(edit->text(), "abcdefghijklmnop") << name;
        }
        dialog->hide();
    }
    single.show();
    test::Press(&single, "ok");
    EXPECT_EQ(Name(0), "abcdefghijklmnop");
}

}  // namespace
}  // namespace xqt

// The entry-terminals dialog on the rows of an added-camera list: stepping with PREV, NEXT, ADD and
// DEL and their enabling, the position, the refusals, the rows shown with their port, the end of
// the allowed rows, and Close dropping what was typed since the last store. Every address typed
// here is on loopback, where nobody answers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <array>
#include <optional>

#include "DialogsTestSupport.h"
#include "fleet/DialogTexts.h"
#include "gui/automatic/EntryTerminalsDialog.h"
#include "gui/controls/AddedCameraList.h"
#include "gui/controls/Ipv4Edit.h"

namespace xqt {
namespace {

using platform::MbButtons;
using platform::MbIcon;
using platform::MbResult;

class EntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        targets = test::MakeTargetGrid();
        list = std::make_unique<AddedCameraList>(test::Models(), *targets, nullptr, test::FastTiming());
        list->InsertColumn(0, "ID", 30, Qt::AlignRight);
        list->InsertColumn(1, "IP address", 140);
        list->InsertColumn(2, "Model", 85);
    }
    /// Rows already entered, as the Add-other-cameras list would hold them.
    void Enter(const std::string& ip, int port = 80) {
        list->SetAddress(list->AppendBlank(), test::OctetsOf(ip), port);
    }
    std::unique_ptr<EntryTerminalsDialog> Open(int max, int index) {
        auto dialog = std::make_unique<EntryTerminalsDialog>(*list, max, index, boxes);
        dialog->SetBeep([this] { ++beeps; });
        return dialog;
    }
    static bool On(EntryTerminalsDialog& d, const char* name) { return test::Button(&d, name)->isEnabled(); }
    static QString Position(EntryTerminalsDialog& d) { return d.findChild<QLabel*>("position")->text(); }
    std::string AddressOf(int row) const { return list->Rows().Row(row).text[AddedSlot::ADDRESS]; }

    platform::RecordingMessageBoxes boxes;
    int beeps = 0;
    std::unique_ptr<CameraGrid> targets;
    std::unique_ptr<AddedCameraList> list;
};

TEST_F(EntryTest, NextStoresAndAppendsABlankRowAfterTheLast) {
    list->AppendBlank();  // as Add does
    auto dialog = Open(10, 0);
    EXPECT_EQ(dialog->windowTitle(), "Entry terminals");
    EXPECT_EQ(Position(*dialog), "1/10");
    EXPECT_FALSE(On(*dialog, "prev"));
    EXPECT_FALSE(On(*dialog, "del"));  // the row is still blank
    EXPECT_TRUE(On(*dialog, "next"));
    EXPECT_TRUE(On(*dialog, "add"));

    test::TypeEntry(*dialog, "127.0.81.1");
    test::Press(dialog.get(), "next");
    ASSERT_EQ(list->Size(), 2);
    EXPECT_EQ(AddressOf(0), "127.0.81.1");
    EXPECT_TRUE(list->Entered(0));
    EXPECT_FALSE(list->Entered(1));
    EXPECT_EQ(dialog->Index(), 1);
    EXPECT_EQ(list->SelectedRow(), 1);
    EXPECT_EQ(Position(*dialog), "2/10");
    EXPECT_TRUE(On(*dialog, "prev"));
    EXPECT_FALSE(On(*dialog, "del"));
    // A blank row starts with the address and port set last.
    EXPECT_EQ(dialog->Fields().octets[3], 1);

    test::TypeEntry(*dialog, "127.0.81.2", 8080);
    test::Press(dialog.get(), "add");
    ASSERT_EQ(list->Size(), 3);
    EXPECT_EQ(AddressOf(1), "127.0.81.2:8080");
    EXPECT_EQ(dialog->Index(), 2);
    EXPECT_EQ(Position(*dialog), "3/10");
    EXPECT_TRUE(dialog->Fields().otherPort);

    // Back to the first row: it shows port 80 with the port field off and at 1024.
    test::TypeEntry(*dialog, "127.0.81.3");
    test::Press(dialog.get(), "prev");
    test::Press(dialog.get(), "prev");
    EXPECT_EQ(dialog->Index(), 0);
    EXPECT_EQ(list->SelectedRow(), 0);
    EXPECT_TRUE(dialog->findChild<QRadioButton*>("port80")->isChecked());
    EXPECT_FALSE(dialog->findChild<QLineEdit*>("port")->isEnabled());
    EXPECT_EQ(dialog->findChild<QLineEdit*>("port")->text(), "1024");
    EXPECT_TRUE(On(*dialog, "del"));
    test::Press(dialog.get(), "next");
    EXPECT_TRUE(dialog->findChild<QRadioButton*>("portOther")->isChecked());
    EXPECT_TRUE(dialog->findChild<QLineEdit*>("port")->isEnabled());
    EXPECT_EQ(dialog->findChild<QLineEdit*>("port")->text(), "8080");
    EXPECT_EQ(list->Size(), 3);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(EntryTest, NextOnTheLastAllowedRowStoresBeepsAndStays) {
    Enter("127.0.82.1");
    auto dialog = Open(2, 0);
    test::Press(dialog.get(), "next");
    ASSERT_EQ(list->Size(), 2);
    EXPECT_TRUE(On(*dialog, "next"));  // the second row is still blank
    EXPECT_FALSE(On(*dialog, "add"));  // two rows: the capacity is reached
    test::TypeEntry(*dialog, "127.0.82.2");
    test::Press(dialog.get(), "next");
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(list->Size(), 2);
    EXPECT_EQ(dialog->Index(), 1);
    EXPECT_EQ(AddressOf(1), "127.0.82.2");
    EXPECT_FALSE(On(*dialog, "next"));
    EXPECT_EQ(Position(*dialog), "2/2");
}

TEST_F(EntryTest, RefusedFieldsAreNotStoredAndTheStepIsNotTaken) {
    Enter("127.0.83.1");
    auto dialog = Open(10, 0);
    auto* address = dialog->findChild<Ipv4Edit*>("address");
    for (int i = 0; i < 4; ++i)
        address->Field(i)->clear();
    test::Press(dialog.get(), "next");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "Input the correct IP address of the target camera.");
    EXPECT_EQ(boxes.Taken()[0].caption, "Information");
    EXPECT_EQ(boxes.Taken()[0].icon, MbIcon::Exclamation);
    EXPECT_EQ(list->Size(), 1);
    EXPECT_EQ(dialog->Index(), 0);

    test::TypeEntry(*dialog, "127.0.83.2", 99);
    test::Press(dialog.get(), "ok");
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Taken()[1].text, TEXT_PORT_RANGE);
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(AddressOf(0), "127.0.83.1");

    test::TypeEntry(*dialog, "127.0.83.2", 65535);
    test::Press(dialog.get(), "ok");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(AddressOf(0), "127.0.83.2:65535");
}

TEST_F(EntryTest, CloseDropsTheEditsSinceTheLastStore) {
    Enter("127.0.84.1");
    Enter("127.0.84.2");
    ASSERT_TRUE(test::WaitUntil([&] { return list->PendingInquiries() == 0; }));
    const std::string model = list->Rows().Row(1).text[AddedSlot::MODEL];
    auto dialog = Open(10, 0);
    test::TypeEntry(*dialog, "127.0.84.7");
    test::Press(dialog.get(), "next");  // stored
    test::TypeEntry(*dialog, "127.0.84.9", 8080);
    test::Press(dialog.get(), "close");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(AddressOf(0), "127.0.84.7");
    EXPECT_EQ(AddressOf(1), "127.0.84.2");
    EXPECT_EQ(list->Rows().Row(1).text[AddedSlot::MODEL], model);  // not asked again
}

TEST_F(EntryTest, AnAddressTypedRightAfterAStepReplacesTheRowShown) {
    // Rows given an address are asked about at once: only loopback addresses, where nobody answers.
    Enter("127.0.86.5");
    Enter("127.0.86.7");
    Enter("127.0.86.8");
    auto dialog = Open(10, 0);
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    // Each step by mouse, as a user clicks it (the button takes the focus), then the keys typed
    // into whatever has the focus; DEL's question is answered OK.
    for (const char* step : {"next", "prev", "del", "add"}) {
        QTest::mouseClick(test::Button(dialog.get(), step), Qt::LeftButton);
        for (const char key : std::string("127.0.86.6")) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr) << step;
            QTest::keyClick(focus, key);
        }
        const std::array<std::optional<int>, 4> typed{127, 0, 86, 6};
        EXPECT_EQ(dialog->Fields().octets, typed) << step;
    }
}

TEST_F(EntryTest, DelAsksAndRemovesTheRowShown) {
    Enter("127.0.85.1");
    Enter("127.0.85.2");
    Enter("127.0.85.3");
    auto dialog = Open(10, 2);
    boxes.QueueAnswer(MbResult::Cancel);
    test::Press(dialog.get(), "del");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "Would you like to remove this camera?");
    EXPECT_EQ(boxes.Taken()[0].buttons, MbButtons::OkCancel);
    EXPECT_EQ(boxes.Taken()[0].icon, MbIcon::Question);
    EXPECT_EQ(list->Size(), 3);

    // The last row goes: the one before is shown.
    test::Press(dialog.get(), "del");
    ASSERT_EQ(list->Size(), 2);
    EXPECT_EQ(dialog->Index(), 1);
    EXPECT_EQ(list->SelectedRow(), 1);
    EXPECT_EQ(dialog->Fields().octets[3], 2);
    EXPECT_EQ(Position(*dialog), "2/10");

    // The first row goes: the former second is now 001 and shown.
    test::Press(dialog.get(), "prev");
    test::Press(dialog.get(), "del");
    ASSERT_EQ(list->Size(), 1);
    EXPECT_EQ(dialog->Index(), 0);
    EXPECT_EQ(list->Rows().Row(0).text[AddedSlot::ID], "001");
    EXPECT_EQ(AddressOf(0), "127.0.85.2");

    // The only row goes: a blank one takes its place.
    test::Press(dialog.get(), "del");
    ASSERT_EQ(list->Size(), 1);
    EXPECT_FALSE(list->Entered(0));
    EXPECT_FALSE(On(*dialog, "del"));
    EXPECT_EQ(Position(*dialog), "1/10");
}

}  // namespace
}  // namespace xqt

// The Add-other-cameras dialog against simulated cameras on loopback: capacity beside the targets,
// the buttons and their enabling, rows from the entry dialog, a file and the clipboard, OK waiting
// for the inquiries, the questions of OK, Delete and Cancel, and the take-over of the valid rows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "DialogsTestSupport.h"
#include "fleet/TextForms.h"
#include "gui/automatic/AddCamerasDialog.h"
#include "gui/automatic/EntryTerminalsDialog.h"
#include "gui/controls/AddedCameraList.h"
#include "sim/SimFleet.h"

namespace xqt {
namespace {

using platform::MbButtons;
using platform::MbIcon;
using platform::MbResult;

std::string ColonLine(const sim::SimCamera& camera) {
    return camera.ipText + ":" + std::to_string(camera.webPort) + "\r\n";
}

class AddCamerasTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        targets = test::MakeTargetGrid();
    }
    AddCamerasDialog& Open() {
        dialog = std::make_unique<AddCamerasDialog>(*targets, test::Models(), test::FastTiming(), boxes,
                                                    clipboard);
        dialog->SetBeep([this] { ++beeps; });
        dialog->List().SetSerialCheck([](const std::string& serial) { return serial.rfind("666", 0) != 0; });
        return *dialog;
    }
    AddedCameraList& List() { return dialog->List(); }
    bool On(const char* name) { return test::Button(dialog.get(), name)->isEnabled(); }
    void Press(const char* name) { test::Press(dialog.get(), name); }
    bool WaitIdle() {
        return test::WaitUntil([&] { return List().PendingInquiries() == 0 && On("ok"); });
    }
    std::string Slot(int row, int slot) { return List().Rows().Row(row).text[slot]; }
    /// Add... with the entry dialog typing `ip`:`port` and pressing OK.
    void AddByEntry(const std::string& ip, int port) {
        dialog->SetEntryRunner([&](EntryTerminalsDialog& entry) {
            test::TypeEntry(entry, ip, port);
            test::Press(&entry, "ok");
        });
        Press("add");
    }
    std::string WriteFile(const std::string& bytes) {
        const QString path = folder.filePath("cameras.txt");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path.toStdString();
    }

    QTemporaryDir folder;
    platform::RecordingMessageBoxes boxes;
    platform::MemoryClipboard clipboard;
    int beeps = 0;
    std::unique_ptr<CameraGrid> targets;
    std::unique_ptr<AddCamerasDialog> dialog;
};

// ---- Capacity and buttons -------------------------------------------------------------------------

TEST_F(AddCamerasTest, OpensWithOnlyTheAddingButtonsEnabled) {
    Open();
    EXPECT_EQ(dialog->windowTitle(), "Add other cameras");
    EXPECT_EQ(dialog->Capacity(), 256);
    for (const char* name : {"add", "load", "paste", "cancel"})
        EXPECT_TRUE(On(name)) << name;
    for (const char* name : {"edit", "delete", "ok"})
        EXPECT_FALSE(On(name)) << name;
}

TEST_F(AddCamerasTest, With250TargetsSixRowsFitAndNextBeepsOnTheSixth) {
    test::FillTargets(*targets, 250);
    Open();
    EXPECT_EQ(dialog->Capacity(), 6);
    QString position;
    bool nextOn = true;
    bool addOn = true;
    dialog->SetEntryRunner([&](EntryTerminalsDialog& entry) {
        for (int i = 1; i <= 6; ++i) {
            test::TypeEntry(entry, "127.0.91." + std::to_string(i));
            test::Press(&entry, "next");
        }
        position = entry.findChild<QLabel*>("position")->text();
        nextOn = test::Button(&entry, "next")->isEnabled();
        addOn = test::Button(&entry, "add")->isEnabled();
        test::Press(&entry, "ok");
    });
    Press("add");
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(position, "6/6");
    EXPECT_FALSE(nextOn);
    EXPECT_FALSE(addOn);
    ASSERT_EQ(List().Size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Slot(i, AddedSlot::ADDRESS), "127.0.91." + std::to_string(i + 1));
    for (const char* name : {"add", "load", "paste"})
        EXPECT_FALSE(On(name)) << name;
    EXPECT_TRUE(On("edit"));
    EXPECT_TRUE(On("delete"));

    // Deleting one makes room again.
    Press("delete");
    EXPECT_EQ(List().Size(), 5);
    EXPECT_TRUE(On("add"));
}

TEST_F(AddCamerasTest, AFullTargetListLeavesNoRoom) {
    test::FillTargets(*targets, 256);
    Open();
    EXPECT_EQ(dialog->Capacity(), 0);
    for (const char* name : {"add", "load", "paste"})
        EXPECT_FALSE(On(name)) << name;
}

TEST_F(AddCamerasTest, EntryDialogRowsLeftBlankAreRemoved) {
    Open();
    dialog->SetEntryRunner([](EntryTerminalsDialog& entry) { test::Press(&entry, "close"); });
    Press("add");
    EXPECT_EQ(List().Size(), 0);
    EXPECT_FALSE(On("edit"));

    AddByEntry("127.0.90.1", 80);
    ASSERT_EQ(List().Size(), 1);
    EXPECT_EQ(List().SelectedRow(), 0);
    EXPECT_TRUE(On("edit"));
    EXPECT_TRUE(On("delete"));

    // NEXT appends a blank row; closing leaves it behind, and it goes.
    dialog->SetEntryRunner([](EntryTerminalsDialog& entry) {
        test::Press(&entry, "next");
        test::Press(&entry, "close");
    });
    Press("edit");
    EXPECT_EQ(List().Size(), 1);
}

TEST_F(AddCamerasTest, TheEntryDialogRunsModallyByDefault) {
    Open();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    QString title;
    // Runs inside the entry dialog's own event loop.
    std::function<void()> answer = [&] {
        auto* entry = qobject_cast<EntryTerminalsDialog*>(QApplication::activeModalWidget());
        if (!entry) {
            QTimer::singleShot(5, answer);
            return;
        }
        title = entry->windowTitle();
        test::TypeEntry(*entry, "127.0.90.2");
        test::Press(entry, "ok");
    };
    QTimer::singleShot(0, answer);
    Press("add");
    EXPECT_EQ(title, "Entry terminals");
    ASSERT_EQ(List().Size(), 1);
    EXPECT_EQ(Slot(0, AddedSlot::ADDRESS), "127.0.90.2");
}

// ---- Import -------------------------------------------------------------------------------------

TEST_F(AddCamerasTest, TheFileDialogOffersTheListFilters) {
    QStringList filters;
    QString suffix;
    std::function<void()> answer = [&] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!files) {
            QTimer::singleShot(5, answer);
            return;
        }
        filters = files->nameFilters();
        suffix = files->defaultSuffix();
        files->reject();
    };
    QTimer::singleShot(0, answer);
    EXPECT_FALSE(AddCamerasDialog::ChooseFile(nullptr));
    EXPECT_EQ(filters, QStringList({"CSV Files (*.txt)", "CSV Files (*.csv)", "All Files (*)"}));
    EXPECT_EQ(suffix, "txt");
}

TEST_F(AddCamerasTest, FileAndClipboardAppendAfterTheRowsThere) {
    std::vector<sim::SimCamera> cameras;
    for (int i = 1; i <= 3; ++i) {
        sim::SimCamera c = test::SimCameraAt("127.0.92." + std::to_string(i));
        c.serial = std::to_string(9200000 + i);
        cameras.push_back(c);
    }
    sim::SimFleet fleet(cameras);
    fleet.Start();
    Open();
    AddByEntry(fleet.At(0).Camera().ipText, fleet.At(0).Camera().webPort);

    std::optional<std::string> chosen =
        WriteFile(ColonLine(fleet.At(1).Camera()) + "\r\n" + ColonLine(fleet.At(2).Camera()));
    dialog->SetFileChooser([&](QWidget*) { return chosen; });
    Press("load");
    clipboard.text = "127.0.92.40\r\n127.0.92.41\n";
    Press("paste");
    EXPECT_EQ(boxes.Count(), 0u);
    ASSERT_EQ(List().Size(), 5);
    const std::vector<std::string> addresses = {
        AddressText(test::OctetsOf("127.0.92.1"), fleet.At(0).Camera().webPort),
        AddressText(test::OctetsOf("127.0.92.2"), fleet.At(1).Camera().webPort),
        AddressText(test::OctetsOf("127.0.92.3"), fleet.At(2).Camera().webPort), "127.0.92.40",
        "127.0.92.41"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Slot(i, AddedSlot::ID), IdText(i + 1));
        EXPECT_EQ(Slot(i, AddedSlot::ADDRESS), addresses[i]);
    }
    ASSERT_TRUE(WaitIdle());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Slot(i, AddedSlot::MODEL), "XQT-TR60") << i;
        EXPECT_EQ(Slot(i, AddedSlot::SERIAL), std::to_string(9200001 + i)) << i;
        EXPECT_EQ(fleet.At(i).Requests().size(), 1u) << i;
    }
    EXPECT_EQ(Slot(3, AddedSlot::MODEL), "No response");
}

TEST_F(AddCamerasTest, RefusedOrMissingImportsAddNothing) {
    Open();
    dialog->SetFileChooser([](QWidget*) { return std::nullopt; });  // cancelled
    Press("load");
    dialog->SetFileChooser([&](QWidget*) { return folder.filePath("missing.txt").toStdString(); });
    Press("load");
    EXPECT_EQ(boxes.Count(), 0u);

    clipboard.text.reset();  // no text at all
    Press("paste");
    EXPECT_EQ(boxes.Count(), 0u);

    clipboard.text = "127.0.93.1\r\n127.0.93.2 \r\n";
    Press("paste");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "Invalid format.");

    dialog->SetFileChooser([&](QWidget*) { return WriteFile("127.0.93.1\r\n127.0.93.256\r\n"); });
    Press("load");
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Taken()[1].text, "Invalid address or port number.\r\nLine002:>127.0.93.256");

    // A file read is bounded: a longer one is refused as a whole with a box of its own, and a FIFO
    // nobody writes to is an empty text instead of a wait for a writer.
    dialog->SetFileChooser(
        [&](QWidget*) { return WriteFile(std::string(1024 * 1024, '\n') + "127.0.93.1"); });
    Press("load");
    ASSERT_EQ(boxes.Count(), 3u);
    EXPECT_EQ(boxes.Taken()[2].text, AddCamerasDialog::TEXT_LIST_TOO_LONG);
    const std::string fifo = folder.filePath("fifo").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    dialog->SetFileChooser([&](QWidget*) { return fifo; });
    Press("load");
    EXPECT_EQ(boxes.Count(), 3u);
    EXPECT_EQ(List().Size(), 0);
    EXPECT_FALSE(On("ok"));
}

TEST_F(AddCamerasTest, EntriesBeyondTheCapacityAreDropped) {
    test::FillTargets(*targets, 254);
    Open();
    clipboard.text = "127.0.93.11\r\n127.0.93.12\r\n127.0.93.13\r\n127.0.93.14\r\n";
    Press("paste");
    EXPECT_EQ(boxes.Count(), 0u);
    ASSERT_EQ(List().Size(), 2);
    EXPECT_EQ(Slot(1, AddedSlot::ADDRESS), "127.0.93.12");
    EXPECT_FALSE(On("paste"));
}

// ---- Inquiries and OK -------------------------------------------------------------------------------

TEST_F(AddCamerasTest, OkWaitsWhileRowsAreQueuedOrSearching) {
    std::vector<sim::SimCamera> cameras;
    for (int i = 1; i <= 3; ++i) {
        sim::SimCamera c = test::SimCameraAt("127.0.96." + std::to_string(i));
        c.http.answerDelayMs = 150;
        cameras.push_back(c);
    }
    sim::SimFleet fleet(cameras);
    fleet.Start();
    Open();
    std::string lines;
    for (std::size_t i = 0; i < fleet.Size(); ++i)
        lines += ColonLine(fleet.At(i).Camera());
    clipboard.text = lines;
    Press("paste");
    EXPECT_FALSE(On("ok"));
    bool sawSearching = false;
    bool okWhileAsking = false;
    ASSERT_TRUE(test::WaitUntil([&] {
        bool asking = false;
        for (int i = 0; i < List().Size(); ++i) {
            const std::string model = Slot(i, AddedSlot::MODEL);
            asking = asking || model == "Queued..." || model == "Searching...";
            sawSearching = sawSearching || model == "Searching...";
        }
        okWhileAsking = okWhileAsking || (asking && On("ok"));
        return !asking && On("ok");
    }));
    EXPECT_TRUE(sawSearching);
    EXPECT_FALSE(okWhileAsking);

    // A row given anew makes OK wait again at once, not from the next tick on.
    AddByEntry("127.0.96.9", 80);
    EXPECT_FALSE(On("ok"));
    ASSERT_TRUE(WaitIdle());
}

TEST_F(AddCamerasTest, TheSameAddressIsNotAskedAgain) {
    sim::SimFleet fleet({test::SimCameraAt("127.0.97.1")});
    fleet.Start();
    Open();
    const sim::SimCamera camera = fleet.At(0).Camera();
    AddByEntry(camera.ipText, camera.webPort);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(fleet.At(0).Requests().size(), 1u);

    dialog->SetEntryRunner([&](EntryTerminalsDialog& entry) {
        test::TypeEntry(entry, camera.ipText, camera.webPort);
        test::Press(&entry, "ok");
    });
    Press("edit");
    EXPECT_EQ(List().PendingInquiries(), 0);
    EXPECT_TRUE(On("ok"));
    test::Settle(test::FastTiming().addedListInquiryPeriod);  // an inquiry it queued would be sent
    EXPECT_EQ(fleet.At(0).Requests().size(), 1u);
    EXPECT_EQ(Slot(0, AddedSlot::MODEL), "XQT-TR60");
}

TEST_F(AddCamerasTest, OkWithInvalidRowsAsksAndTakesOverOnlyValidCameras) {
    sim::SimCamera good = test::SimCameraAt("127.0.94.1");
    good.serial = "9400001";
    good.softVersion = "ver1.10";
    sim::SimCamera silent = test::SimCameraAt("127.0.94.2");
    silent.http.neverAnswer = true;
    sim::SimCamera stranger = test::SimCameraAt("127.0.94.3");
    stranger.model = "OTHER-CAM";
    sim::SimCamera refused = test::SimCameraAt("127.0.94.4");
    refused.serial = "6660004";
    sim::SimCamera known = test::SimCameraAt("127.0.94.6");  // its serial is already a target
    known.serial = "9400006";
    sim::SimCamera second = test::SimCameraAt("127.0.94.7");
    second.serial = "9400007";
    second.model = "XQT-TR60N";
    sim::SimFleet fleet({good, silent, stranger, refused, known, second});
    fleet.Start();

    CameraEntry target;
    target.macText = "08-00-46-94-00-09";
    target.address = {127, 0, 94, 9};
    target.addressText = "127.0.94.9";
    target.serial = "9400006";
    ASSERT_EQ(targets->Insert(target), InsertResult::Inserted);

    Open();
    std::string lines;
    for (std::size_t i = 0; i < fleet.Size(); ++i)
        lines += ColonLine(fleet.At(i).Camera());
    lines += "127.0.94.9\r\n127.0.94.5:8080\r\n127.0.94.5:8081\r\n";  // a target's address; twice the same
    clipboard.text = lines;
    Press("paste");
    ASSERT_EQ(List().Size(), 9);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Slot(0, AddedSlot::MODEL), "XQT-TR60");
    EXPECT_EQ(Slot(0, AddedSlot::VERSION), "1.10");
    EXPECT_EQ(Slot(1, AddedSlot::MODEL), "No response");
    EXPECT_EQ(Slot(2, AddedSlot::MODEL), "Not a camera");
    EXPECT_EQ(Slot(3, AddedSlot::MODEL), "XQT-TR60");
    EXPECT_EQ(List().Rows().Row(3).verdict, Verdict::Other);  // refused serial: dimmed
    EXPECT_EQ(List().Rows().Row(6).conflict, Conflict::AlreadyTarget);
    EXPECT_EQ(List().Rows().Row(7).conflict, Conflict::SameAddress);
    EXPECT_EQ(List().Rows().Row(8).conflict, Conflict::SameAddress);
    for (int valid : {0, 4, 5})
        EXPECT_TRUE(List().IsValid(valid)) << valid;
    for (int invalid : {1, 2, 3, 6, 7, 8})
        EXPECT_FALSE(List().IsValid(invalid)) << invalid;

    boxes.QueueAnswer(MbResult::Cancel);
    Press("ok");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "Not all the listed cameras are valid!");
    EXPECT_EQ(boxes.Taken()[0].caption, "Information");
    EXPECT_EQ(boxes.Taken()[0].buttons, MbButtons::OkCancel);
    EXPECT_EQ(boxes.Taken()[0].icon, MbIcon::Question);
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(targets->Targets().Size(), 1);

    Press("ok");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    // The good camera and the second one; the known serial is not inserted twice.
    ASSERT_EQ(targets->Targets().Size(), 3);
    const CameraRecord& first = targets->Targets().Record(1);
    EXPECT_EQ(first.text[TargetSlot::MAC], "");
    EXPECT_EQ(first.text[TargetSlot::ADDRESS],
              AddressText(test::OctetsOf("127.0.94.1"), fleet.At(0).Camera().webPort));
    EXPECT_EQ(first.text[TargetSlot::MODEL], "XQT-TR60");
    EXPECT_EQ(first.text[TargetSlot::SERIAL], "9400001");
    EXPECT_EQ(first.text[TargetSlot::VERSION], "1.10");
    EXPECT_EQ(first.origin, 0);
    EXPECT_TRUE(first.ticked);
    const CameraRecord& next = targets->Targets().Record(2);
    EXPECT_EQ(next.text[TargetSlot::SERIAL], "9400007");
    EXPECT_EQ(next.text[TargetSlot::MODEL], "XQT-TR60N");
    EXPECT_EQ(next.origin, 2);  // the known camera counted as taken over before it
}

TEST_F(AddCamerasTest, ConflictsAreDrawnOnTheirStrips) {
    CameraEntry target;
    target.macText = "08-00-46-98-00-09";
    target.address = {127, 0, 98, 9};
    target.addressText = "127.0.98.9";
    ASSERT_EQ(targets->Insert(target), InsertResult::Inserted);
    Open();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    clipboard.text = "127.0.98.1\r\n127.0.98.9\r\n127.0.98.5\r\n127.0.98.5\r\n";
    Press("paste");
    ASSERT_TRUE(WaitIdle());
    const int selected[] = {0};
    List().SetSelection(selected, 0);
    const QImage image = List().viewport()->grab().toImage();
    auto body = [&](int row) {
        const int top = List().visualRect(List().model()->index(row, 0)).top();
        return image.pixel(List().CellRect(top, 4).center()) & 0xFFFFFFu;  // an empty version cell
    };
    EXPECT_EQ(body(0), 0x2A427Fu);  // selected
    EXPECT_EQ(body(1), 0xFFA3A3u);  // already a target
    EXPECT_EQ(body(2), 0xFFD95Bu);  // twice in the list
    EXPECT_EQ(body(3), 0xFFD95Bu);
}

// ---- Delete and Cancel ----------------------------------------------------------------------------

TEST_F(AddCamerasTest, DeleteAsksAndRenumbers) {
    Open();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    clipboard.text = "127.0.95.1\r\n127.0.95.2\r\n127.0.95.3\r\n";
    Press("paste");
    ASSERT_TRUE(WaitIdle());
    List().SetSelection({}, -1);
    clipboard.text.reset();
    Press("paste");  // adds nothing, updates the buttons
    EXPECT_FALSE(On("edit"));
    // A click on a row selects it, and the buttons follow.
    test::Click(List().viewport(), List().visualRect(List().model()->index(1, 1)).center());
    EXPECT_EQ(List().SelectedRow(), 1);
    EXPECT_TRUE(On("edit"));
    EXPECT_TRUE(On("delete"));
    boxes.QueueAnswer(MbResult::Cancel);
    Press("delete");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "Would you like to delete the No response(127.0.95.2)?");
    EXPECT_EQ(boxes.Taken()[0].icon, MbIcon::Question);
    EXPECT_EQ(List().Size(), 3);

    Press("delete");
    ASSERT_EQ(List().Size(), 2);
    EXPECT_EQ(Slot(1, AddedSlot::ID), "002");
    EXPECT_EQ(Slot(1, AddedSlot::ADDRESS), "127.0.95.3");
    EXPECT_EQ(List().SelectedRow(), 1);
}

TEST_F(AddCamerasTest, CancelAsksBeforeReleasingRows) {
    Open();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    clipboard.text = "127.0.99.1\r\n";
    Press("paste");
    boxes.QueueAnswer(MbResult::Cancel);
    Press("cancel");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "All of the data will be released.");
    EXPECT_EQ(boxes.Taken()[0].buttons, MbButtons::OkCancel);
    EXPECT_TRUE(dialog->isVisible());

    boxes.QueueAnswer(MbResult::Cancel);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_TRUE(dialog->isVisible());

    Press("cancel");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(targets->Targets().Size(), 0);
}

TEST_F(AddCamerasTest, CancelOnAnEmptyListClosesAtOnce) {
    Open();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    Press("cancel");
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_FALSE(dialog->isVisible());
}

}  // namespace
}  // namespace xqt

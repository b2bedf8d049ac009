// The added-camera list: its inquiry loop against simulated cameras (status words, verdicts, two
// in flight, no second inquiry for an unchanged address), the conflict and dimmed looks, deletion
// with renumbering, its own sort and the page opening.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "fleet/TextForms.h"
#include "gui/controls/AddedCameraList.h"
#include "platform/ShellOpen.h"
#include "sim/SimFleet.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

using test::Click;
using test::DoubleClick;

constexpr QRgb NORMAL_BODY = 0xFBFBFB;
constexpr QRgb SELECTED_BODY = 0x2A427F;
constexpr QRgb DUPLICATE_BODY = 0xFFD95B;
constexpr QRgb TARGET_BODY = 0xFFA3A3;

class AddedListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        targets = std::make_unique<CameraGrid>(test::Models(), nullptr, test::FastTiming());
        list = std::make_unique<AddedCameraList>(test::Models(), *targets, nullptr, test::FastTiming());
        list->InsertColumn(0, "ID", 30, Qt::AlignRight);
        list->InsertColumn(1, "IP address", 140);
        list->InsertColumn(2, "Model", 85);
        list->InsertColumn(3, "Serial No.", 60);
        list->InsertColumn(4, "Version No.", 90);
        list->SetShellOpen(&shell);
        list->resize(440, 220);
        list->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    }

    /// Appends a row and gives it `ip`:`port`; returns its index.
    int Add(const std::string& ip, int port = 80) {
        const int index = list->AppendBlank();
        list->SetAddress(index, test::OctetsOf(ip), port);
        return index;
    }
    int AddCamera(const sim::SimCamera& camera) { return Add(camera.ipText, camera.webPort); }
    bool WaitIdle() {
        return test::WaitUntil([&] { return list->PendingInquiries() == 0; });
    }
    std::string Model(int index) const { return list->Rows().Row(index).text[AddedSlot::MODEL]; }

    int RowTop(int row) const { return list->visualRect(list->model()->index(row, 0)).top(); }
    QRgb Body(const QImage& image, int row) const {
        return image.pixel(list->header()->length() + 5, RowTop(row) + 6) & 0xFFFFFF;
    }
    void ClickHeading(int column) {
        QHeaderView* h = list->header();
        Click(h->viewport(),
              QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
    }
    std::vector<std::string> Slot(int slot) const {
        std::vector<std::string> out;
        for (const AddedCameraRecord& r : list->Rows().Rows())
            out.push_back(r.text[slot]);
        return out;
    }

    platform::RecordingShellOpen shell;
    std::unique_ptr<CameraGrid> targets;
    std::unique_ptr<AddedCameraList> list;
};

// ---- Inquiry loop ---------------------------------------------------------------------------------

TEST_F(AddedListTest, InquiryFillsModelSerialAndVersionOfAnAcceptedCamera) {
    sim::SimCamera camera = test::SimCameraAt("127.0.31.1");
    camera.serial = "3100001";
    camera.softVersion = "1.10";
    camera.http.answerDelayMs = 100;
    sim::SimFleet fleet({camera});
    fleet.Start();
    QSignalSpy idle(list.get(), &AddedCameraList::InquiriesIdle);

    const int row = AddCamera(fleet.At(0).Camera());
    EXPECT_EQ(Model(row), "Queued...");
    EXPECT_EQ(list->Rows().Row(row).verdict, Verdict::NotAsked);
    ASSERT_TRUE(test::WaitUntil([&] { return Model(row) == "Searching..."; }));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Model(row), "XQT-TR60");
    EXPECT_EQ(list->Rows().Row(row).text[AddedSlot::SERIAL], "3100001");
    EXPECT_EQ(list->Rows().Row(row).text[AddedSlot::VERSION], "1.10");
    EXPECT_TRUE(list->IsValid(row));
    EXPECT_FALSE(list->AnyInvalid());

    // OK follows the ticks: not idle while the camera was asked, idle once it has answered.
    ASSERT_TRUE(test::WaitUntil([&] { return idle.count() > 0 && idle.last().at(0).toBool(); }));
    EXPECT_FALSE(idle.at(0).at(0).toBool());
    ASSERT_EQ(fleet.At(0).Requests().size(), 1u);
    EXPECT_EQ(fleet.At(0).Requests()[0].request.body, "inq=system");
}

TEST_F(AddedListTest, SilentStrangeAndRefusedCamerasAreInvalid) {
    sim::SimCamera silent = test::SimCameraAt("127.0.32.1");
    silent.http.neverAnswer = true;
    sim::SimCamera stranger = test::SimCameraAt("127.0.32.2");
    stranger.model = "OTHER-CAM";
    sim::SimCamera refused = test::SimCameraAt("127.0.32.3");
    refused.serial = "6660001";
    sim::SimFleet fleet({silent, stranger, refused});
    fleet.Start();
    list->SetSerialCheck([](const std::string& serial) { return serial.rfind("666", 0) != 0; });

    for (std::size_t i = 0; i < fleet.Size(); ++i)
        AddCamera(fleet.At(i).Camera());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Model(0), "No response");
    EXPECT_EQ(Model(1), "Not a camera");
    EXPECT_EQ(Model(2), "XQT-TR60");
    EXPECT_EQ(list->Rows().Row(2).text[AddedSlot::SERIAL], "6660001");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list->Rows().Row(i).verdict, Verdict::Other) << i;
        EXPECT_FALSE(list->IsValid(i)) << i;
    }
    EXPECT_TRUE(list->AnyInvalid());
}

TEST_F(AddedListTest, RefusedCamerasAreDrawnDimmed) {
    sim::SimCamera accepted = test::SimCameraAt("127.0.33.1");
    sim::SimCamera refused = test::SimCameraAt("127.0.33.2");
    refused.serial = "6660002";
    sim::SimFleet fleet({accepted, refused});
    fleet.Start();
    list->SetSerialCheck([](const std::string& serial) { return serial.rfind("666", 0) != 0; });
    AddCamera(fleet.At(0).Camera());
    AddCamera(fleet.At(1).Camera());
    ASSERT_TRUE(WaitIdle());
    list->SetSelection({}, -1);
    const QImage image = list->viewport()->grab().toImage();
    const QColor dim = list->palette().color(QPalette::Active, QPalette::Mid);
    for (int column : {0, 2, 3}) {
        EXPECT_TRUE(test::AnyPixel(image, list->CellRect(RowTop(0), column), 0x000000)) << column;
        EXPECT_FALSE(test::AnyPixel(image, list->CellRect(RowTop(1), column), 0x000000)) << column;
        EXPECT_TRUE(test::AnyPixel(image, list->CellRect(RowTop(1), column), dim.rgb())) << column;
    }
}

TEST_F(AddedListTest, AtMostTwoInquiriesAreInFlight) {
    std::vector<sim::SimCamera> cameras;
    for (int i = 0; i < 4; ++i) {
        sim::SimCamera c = test::SimCameraAt("127.0.34." + std::to_string(i + 1));
        c.http.answerDelayMs = 120;
        cameras.push_back(c);
    }
    sim::SimFleet fleet(cameras);
    fleet.Start();
    for (std::size_t i = 0; i < fleet.Size(); ++i)
        AddCamera(fleet.At(i).Camera());
    int mostOpen = 0;
    int mostSearching = 0;
    ASSERT_TRUE(test::WaitUntil([&] {
        int open = 0;
        for (std::size_t i = 0; i < fleet.Size(); ++i)
            open += fleet.At(i).OpenConnections();
        mostOpen = std::max(mostOpen, open);
        const auto models = Slot(AddedSlot::MODEL);
        mostSearching = std::max(mostSearching,
                                 static_cast<int>(std::count(models.begin(), models.end(), "Searching...")));
        return list->PendingInquiries() == 0;
    }));
    EXPECT_LE(mostOpen, 2);
    EXPECT_EQ(mostSearching, 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Model(i), "XQT-TR60") << i;
}

TEST_F(AddedListTest, TheSameAddressTextIsNotAskedAgain) {
    sim::SimCamera camera = test::SimCameraAt("127.0.35.1");
    sim::SimFleet fleet({camera});
    fleet.Start();
    const sim::SimCamera listening = fleet.At(0).Camera();
    const int row = AddCamera(listening);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(fleet.At(0).Requests().size(), 1u);

    list->SetAddress(row, test::OctetsOf(listening.ipText), listening.webPort);
    EXPECT_EQ(list->PendingInquiries(), 0);
    EXPECT_EQ(Model(row), "XQT-TR60");
    test::Settle(test::FastTiming().addedListInquiryPeriod);  // an inquiry it queued would be sent
    EXPECT_EQ(fleet.At(0).Requests().size(), 1u);

    // Another port is another address text: asked again (and nobody listens there).
    list->SetAddress(row, test::OctetsOf(listening.ipText), listening.webPort == 80 ? 81 : 80);
    EXPECT_EQ(Model(row), "Queued...");
    EXPECT_EQ(list->PendingInquiries(), 1);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Model(row), "No response");
}

TEST_F(AddedListTest, ReaddressingARowDropsItsEarlierInquiry) {
    sim::SimCamera slow = test::SimCameraAt("127.0.36.1");
    slow.http.answerDelayMs = 300;
    sim::SimCamera quick = test::SimCameraAt("127.0.36.2");
    quick.model = "XQT-TR60N";
    sim::SimFleet fleet({slow, quick});
    fleet.Start();
    const int row = AddCamera(fleet.At(0).Camera());
    ASSERT_TRUE(test::WaitUntil([&] { return Model(row) == "Searching..."; }));
    // The slow camera has the request and is holding its answer back when the row is readdressed.
    ASSERT_TRUE(test::WaitUntil([&] { return fleet.At(0).Requests().size() == 1; }));
    list->SetAddress(row, test::OctetsOf("127.0.36.2"), fleet.At(1).Camera().webPort);
    EXPECT_EQ(list->PendingInquiries(), 1);
    ASSERT_TRUE(WaitIdle());
    // Past the slow camera's answer: it has been sent, and the list had the time of its own
    // period to take it.
    ASSERT_TRUE(test::WaitUntil(
        [&] { return fleet.At(0).Requests().size() == 1 && fleet.At(0).OpenConnections() == 0; }));
    test::Settle(test::FastTiming().addedListInquiryPeriod);
    EXPECT_EQ(Model(row), "XQT-TR60N");
}

// ---- Conflicts and looks ----------------------------------------------------------------------------

TEST_F(AddedListTest, ConflictsShowYellowAndLightRedStripsUnderTheSelection) {
    CameraEntry target;
    target.macText = "08-00-46-00-00-01";
    target.address = {127, 0, 37, 9};
    target.addressText = "127.0.37.9";
    ASSERT_EQ(targets->Insert(target), InsertResult::Inserted);

    Add("127.0.37.1");      // row 0: alone
    Add("127.0.37.2");      // row 1: twice in the list
    Add("127.0.37.2", 81);  // row 2: same address, other port
    Add("127.0.37.9");      // row 3: already a target
    EXPECT_EQ(list->Rows().Row(0).conflict, Conflict::None);
    EXPECT_EQ(list->Rows().Row(1).conflict, Conflict::SameAddress);
    EXPECT_EQ(list->Rows().Row(2).conflict, Conflict::SameAddress);
    EXPECT_EQ(list->Rows().Row(3).conflict, Conflict::AlreadyTarget);

    const int selected[] = {2};
    list->SetSelection(selected, 2);
    const QImage image = list->viewport()->grab().toImage();
    EXPECT_EQ(Body(image, 0), NORMAL_BODY);
    EXPECT_EQ(Body(image, 1), DUPLICATE_BODY);
    EXPECT_EQ(Body(image, 2), SELECTED_BODY);
    EXPECT_EQ(Body(image, 3), TARGET_BODY);
    // No tick boxes: the left edge of a row is its strip.
    EXPECT_EQ(image.pixel(3, RowTop(0) + 6) & 0xFFFFFF, NORMAL_BODY);

    // Moving the second row away clears both marks.
    list->SetAddress(2, test::OctetsOf("127.0.37.3"), 81);
    EXPECT_EQ(list->Rows().Row(1).conflict, Conflict::None);
    EXPECT_EQ(list->Rows().Row(2).conflict, Conflict::None);
}

// ---- Deletion, blank rows, take-over ------------------------------------------------------------------

TEST_F(AddedListTest, DeletingARowRenumbersTheRowsAfterItAndDropsItsInquiry) {
    sim::SimCamera slow = test::SimCameraAt("127.0.38.2");
    slow.http.neverAnswer = true;
    sim::SimFleet fleet({slow});
    fleet.Start();
    Add("127.0.38.1");
    AddCamera(fleet.At(0).Camera());
    Add("127.0.38.3");
    ASSERT_TRUE(test::WaitUntil([&] { return Model(1) == "Searching..."; }));
    QSignalSpy selection(list.get(), &CameraGrid::SelectionChanged);

    list->DeleteRow(1);
    EXPECT_EQ(Slot(AddedSlot::ID), (std::vector<std::string>{"001", "002"}));
    EXPECT_EQ(Slot(AddedSlot::ADDRESS), (std::vector<std::string>{"127.0.38.1", "127.0.38.3"}));
    EXPECT_EQ(list->Rows().Row(1).id, 2);
    EXPECT_EQ(list->SelectedRow(), 1);
    EXPECT_EQ(selection.count(), 1);
    EXPECT_EQ(list->model()->rowCount(), 2);
    // The silent camera's inquiry went with its row.
    EXPECT_TRUE(test::WaitUntil([&] { return fleet.At(0).OpenConnections() == 0; }));

    list->DeleteRow(1);  // the last row: the one before is selected
    EXPECT_EQ(list->SelectedRow(), 0);
    ASSERT_TRUE(list->GetTexts(1));
    EXPECT_FALSE(list->GetTexts(2));
}

TEST_F(AddedListTest, BlankRowsStartAtTheLastAddressAndAreRemovedWithoutAsking) {
    const int first = list->AppendBlank();
    EXPECT_EQ(list->GetAddress(first), (Octets{192, 168, 0, 100}));
    EXPECT_FALSE(list->Entered(first));
    list->SetAddress(first, test::OctetsOf("127.0.39.1"), 8080);
    const int blank = list->AppendBlank();
    EXPECT_EQ(list->GetAddress(blank), test::OctetsOf("127.0.39.1"));
    EXPECT_EQ(list->Rows().Row(blank).port, 8080);
    EXPECT_EQ(list->SelectedRow(), blank);
    list->AppendBlank();
    list->RemoveBlankRows();
    EXPECT_EQ(list->Size(), 1);
    EXPECT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(list->PendingInquiries(), 1);
}

TEST_F(AddedListTest, OnlyValidRowsAreTakenOverIntoTheTargets) {
    sim::SimCamera good = test::SimCameraAt("127.0.40.1");
    good.serial = "4000001";
    sim::SimFleet fleet({good});
    fleet.Start();
    AddCamera(fleet.At(0).Camera());
    Add("127.0.40.2");  // nobody there
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(list->TakeOverInto(*targets), 1);
    ASSERT_EQ(targets->Targets().Size(), 1);
    EXPECT_EQ(targets->model()->rowCount(), 1);
    EXPECT_EQ(targets->Targets().Record(0).text[TargetSlot::SERIAL], "4000001");
    EXPECT_EQ(targets->Targets().Record(0).origin, 0);
}

// ---- Sorting and the page ------------------------------------------------------------------------------

TEST_F(AddedListTest, IdHeadingSortsHighestFirstThenLowestAndIdsStay) {
    Add("127.0.41.3");
    Add("127.0.41.1");
    Add("127.0.41.2");
    ClickHeading(0);
    EXPECT_EQ(Slot(AddedSlot::ID), (std::vector<std::string>{"003", "002", "001"}));
    ClickHeading(0);
    EXPECT_EQ(Slot(AddedSlot::ID), (std::vector<std::string>{"001", "002", "003"}));

    const int selected[] = {0};  // 127.0.41.3
    list->SetSelection(selected, 0);
    ClickHeading(1);
    EXPECT_EQ(Slot(AddedSlot::ADDRESS), (std::vector<std::string>{"127.0.41.1", "127.0.41.2", "127.0.41.3"}));
    EXPECT_EQ(Slot(AddedSlot::ID), (std::vector<std::string>{"002", "003", "001"}));
    EXPECT_EQ(list->SelectedRow(), 2);
    EXPECT_EQ(list->FocusedRow(), 2);
}

TEST_F(AddedListTest, DoubleClickAnywhereOnARowOpensItsPage) {
    Add("127.0.42.3");
    Add("127.0.42.4", 8081);
    const int top0 = RowTop(0);
    const int top1 = RowTop(1);
    DoubleClick(list->viewport(), QPoint(5, top0 + 5));  // the ID cell: no tick column here
    DoubleClick(list->viewport(), QPoint(list->header()->length() + 20, top1 + 5));
    DoubleClick(list->viewport(), QPoint(60, top1 + 4 * list->RowHeight()));
    EXPECT_EQ(shell.Opened(), (std::vector<std::string>{"http://127.0.42.3/", "http://127.0.42.4:8081/"}));
    // Clicks never tick anything here.
    Click(list->viewport(), QPoint(5, top0 + 5));
    EXPECT_EQ(list->SelectedRow(), 0);
}

TEST_F(AddedListTest, SelectionOperationsStepThroughTheRows) {
    Add("127.0.43.1");
    Add("127.0.43.2");
    Add("127.0.43.3");
    list->SelectLast();
    EXPECT_EQ(list->SelectedRow(), 2);
    list->SelectPrevious();
    list->SelectPrevious();
    EXPECT_EQ(list->SelectedRow(), 0);
    list->SelectPrevious();
    EXPECT_EQ(list->SelectedRow(), 0);
    list->SelectNext();
    EXPECT_EQ(list->SelectedRow(), 1);
    EXPECT_EQ(list->SelectedRows().size(), 1u);
}

}  // namespace
}  // namespace xqt

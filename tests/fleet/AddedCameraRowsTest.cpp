// Rows of the Add-other-cameras dialog: blank rows and addresses, conflict marks, validity,
// deletion with renumbering, and inquiry results that find their row by key.
#include <gtest/gtest.h>

#include "fleet/AddedCameraRows.h"

namespace xqt {
namespace {

class AddedRows : public ::testing::Test {
  protected:
    AddedRows() {
        CameraEntry e;
        e.macText = "m0";
        e.address = {10, 0, 0, 50};
        targets.Insert(e);
    }
    int Add(Octets a, int port = 80) {
        int i = rows.AppendBlank();
        rows.SetAddress(i, a, port);
        return i;
    }
    void Answer(int index, bool accepted = true) {
        rows.ApplyInquiryResult(rows.Row(index).key, {true, true, "XQT-TR60", "S", "1.0", accepted});
    }
    std::vector<Conflict> Marks() const {
        std::vector<Conflict> m;
        for (const AddedCameraRecord& r : rows.Rows())
            m.push_back(r.conflict);
        return m;
    }

    TargetList targets;
    AddedCameraRows rows{targets};
};

TEST_F(AddedRows, BlankRowsTakeTheLastAddressSetAndANumber) {
    int first = rows.AppendBlank();
    EXPECT_EQ(rows.Row(first).address, (Octets{192, 168, 0, 100}));
    EXPECT_EQ(rows.Row(first).port, 80);
    EXPECT_EQ(rows.Row(first).text[AddedSlot::ID], "001");
    EXPECT_EQ(rows.Row(first).id, 1);
    EXPECT_FALSE(rows.Entered(first));
    rows.SetAddress(first, {10, 1, 1, 1}, 8080);
    int second = rows.AppendBlank();
    EXPECT_EQ(rows.Row(second).address, (Octets{10, 1, 1, 1}));
    EXPECT_EQ(rows.Row(second).port, 8080);
    EXPECT_EQ(rows.Row(second).text[AddedSlot::ID], "002");
    EXPECT_TRUE(rows.Row(second).text[AddedSlot::ADDRESS].empty());
}

TEST_F(AddedRows, NewAddressQueuesAnInquirySameAddressDoesNot) {
    int i = rows.AppendBlank();
    EXPECT_TRUE(rows.SetAddress(i, {10, 0, 0, 1}, 80));
    EXPECT_EQ(rows.Row(i).text[AddedSlot::ADDRESS], "10.0.0.1");
    EXPECT_EQ(rows.Row(i).text[AddedSlot::MODEL], "Queued...");
    Answer(i);
    EXPECT_FALSE(rows.SetAddress(i, {10, 0, 0, 1}, 80)) << "same text: no new inquiry";
    EXPECT_EQ(rows.Row(i).text[AddedSlot::MODEL], "XQT-TR60");
    EXPECT_TRUE(rows.IsValid(i));

    std::uint32_t oldKey = rows.Row(i).key;
    EXPECT_TRUE(rows.SetAddress(i, {10, 0, 0, 1}, 1024));
    EXPECT_EQ(rows.Row(i).text[AddedSlot::MODEL], "Queued...");
    EXPECT_TRUE(rows.Row(i).text[AddedSlot::SERIAL].empty());
    EXPECT_TRUE(rows.Row(i).text[AddedSlot::VERSION].empty());
    EXPECT_FALSE(rows.IsValid(i)) << "the old camera's verdict does not vouch for the new address";
    EXPECT_FALSE(rows.ApplyInquiryResult(oldKey, {true, true, "XQT-TR60", "S", "1.0", true}))
        << "a result for the old address no longer finds the row";
    EXPECT_EQ(rows.Row(i).verdict, Verdict::NotAsked);
}

TEST_F(AddedRows, InquiryOutcomesFillTheModelColumnAndTheVerdict) {
    int a = Add({10, 0, 0, 1});
    int b = Add({10, 0, 0, 2});
    int c = Add({10, 0, 0, 3});
    int d = Add({10, 0, 0, 4});
    EXPECT_TRUE(rows.MarkSearching(rows.Row(a).key));
    EXPECT_EQ(rows.Row(a).text[AddedSlot::MODEL], "Searching...");
    rows.ApplyInquiryResult(rows.Row(a).key, {});
    rows.ApplyInquiryResult(rows.Row(b).key, {true, false, "", "", "", false});
    rows.ApplyInquiryResult(rows.Row(c).key, {true, true, "XQT-TR60", "1000001", "ver1.23", true});
    rows.ApplyInquiryResult(rows.Row(d).key, {true, true, "XQT-TR60", "9999999", "Ver1.23", false});
    EXPECT_EQ(rows.Row(a).text[AddedSlot::MODEL], "No response");
    EXPECT_EQ(rows.Row(b).text[AddedSlot::MODEL], "Not a camera");
    EXPECT_EQ(rows.Row(c).text[AddedSlot::MODEL], "XQT-TR60");
    EXPECT_EQ(rows.Row(c).text[AddedSlot::SERIAL], "1000001");
    EXPECT_EQ(rows.Row(c).text[AddedSlot::VERSION], "1.23");
    EXPECT_EQ(rows.Row(d).text[AddedSlot::VERSION], "Ver1.23");
    EXPECT_EQ(rows.Row(a).verdict, Verdict::Other);
    EXPECT_EQ(rows.Row(b).verdict, Verdict::Other);
    EXPECT_EQ(rows.Row(c).verdict, Verdict::Accepted);
    EXPECT_EQ(rows.Row(d).verdict, Verdict::Other);
    EXPECT_TRUE(rows.IsValid(c));
    EXPECT_FALSE(rows.IsValid(a));
    EXPECT_TRUE(rows.AnyInvalid());
}

TEST_F(AddedRows, SameAddressInTwoRowsMarksBothAndClearsWhenOneMoves) {
    int a = Add({10, 0, 0, 1});
    int b = Add({10, 0, 0, 2}, 8080);
    int c = Add({10, 0, 0, 1}, 1024);  // the port does not matter
    EXPECT_EQ(Marks(), (std::vector<Conflict>{Conflict::SameAddress, Conflict::None, Conflict::SameAddress}));
    Answer(a);
    Answer(b);
    Answer(c);
    EXPECT_FALSE(rows.IsValid(a));
    EXPECT_TRUE(rows.IsValid(b));
    rows.SetAddress(c, {10, 0, 0, 3}, 80);
    EXPECT_EQ(Marks(), (std::vector<Conflict>{Conflict::None, Conflict::None, Conflict::None}));
}

TEST_F(AddedRows, AddressAlreadyTargetedIsMarkTwoOverridingOne) {
    Add({10, 0, 0, 50});
    Add({10, 0, 0, 50}, 1024);
    Add({10, 0, 0, 7});
    EXPECT_EQ(Marks(),
              (std::vector<Conflict>{Conflict::AlreadyTarget, Conflict::AlreadyTarget, Conflict::None}));
    for (int i = 0; i < rows.Size(); ++i)
        Answer(i);
    EXPECT_FALSE(rows.IsValid(0));
    EXPECT_TRUE(rows.IsValid(2));
}

TEST_F(AddedRows, ABlankRowNeitherTakesNorCausesAMark) {
    int a = Add({10, 0, 0, 1});
    rows.AppendBlank();  // carries 10.0.0.1, remembered from row a
    rows.SetAddress(a, {10, 0, 0, 1}, 80);
    EXPECT_EQ(Marks(), (std::vector<Conflict>{Conflict::None, Conflict::None}));
    int blank = rows.AppendBlank();
    rows.SetAddress(a, {10, 0, 0, 50}, 80);  // now a target's address; the blank rows carry 10.0.0.1
    EXPECT_EQ(rows.Row(a).conflict, Conflict::AlreadyTarget);
    EXPECT_EQ(rows.Row(blank).conflict, Conflict::None);
}

TEST_F(AddedRows, DeletingRenumbersLaterRowsAndRecomputesMarks) {
    Add({10, 0, 0, 1});
    Add({10, 0, 0, 1});
    int third = Add({10, 0, 0, 3});
    std::uint32_t thirdKey = rows.Row(third).key;
    EXPECT_EQ(rows.DeleteRow(1), 1);
    ASSERT_EQ(rows.Size(), 2);
    EXPECT_EQ(rows.Row(1).id, 2);
    EXPECT_EQ(rows.Row(1).text[AddedSlot::ID], "002");
    EXPECT_EQ(rows.Row(1).text[AddedSlot::ADDRESS], "10.0.0.3");
    EXPECT_EQ(Marks(), (std::vector<Conflict>{Conflict::None, Conflict::None}));
    // The inquiry of the former 003 still lands on its camera.
    EXPECT_TRUE(rows.ApplyInquiryResult(thirdKey, {true, true, "XQT-TR60", "S3", "", true}));
    EXPECT_EQ(rows.Row(1).text[AddedSlot::SERIAL], "S3");
    EXPECT_EQ(rows.Row(0).text[AddedSlot::MODEL], "Queued...");

    EXPECT_EQ(rows.DeleteRow(1), 0) << "after deleting the last row the one before is selected";
    EXPECT_EQ(rows.DeleteRow(0), -1);
    EXPECT_EQ(rows.Size(), 0);
}

TEST_F(AddedRows, RemoveBlankRowsKeepsEnteredRowsNumberedFromOne) {
    rows.AppendBlank();
    Add({10, 0, 0, 2});
    rows.AppendBlank();
    Add({10, 0, 0, 4});
    EXPECT_EQ(rows.RemoveBlankRows(), 2);
    ASSERT_EQ(rows.Size(), 2);
    EXPECT_EQ(rows.Row(0).text[AddedSlot::ID], "001");
    EXPECT_EQ(rows.Row(1).text[AddedSlot::ID], "002");
    EXPECT_EQ(rows.Row(1).text[AddedSlot::ADDRESS], "10.0.0.4");
    EXPECT_EQ(rows.FindById(2), 1);
}

TEST_F(AddedRows, DeletingAfterASortRenumbersByIdNotByPosition) {
    Add({10, 0, 0, 1});
    Add({10, 0, 0, 2});
    Add({10, 0, 0, 3});
    rows.SortByColumn(0, {}, -1);  // ids 3 2 1
    rows.DeleteRow(1);             // id 2
    std::vector<std::string> shown;
    for (const AddedCameraRecord& r : rows.Rows())
        shown.push_back(r.text[AddedSlot::ID] + " " + r.text[AddedSlot::ADDRESS]);
    EXPECT_EQ(shown, (std::vector<std::string>{"002 10.0.0.3", "001 10.0.0.1"}));
    int next = rows.AppendBlank();
    EXPECT_EQ(rows.Row(next).id, 3);
}

}  // namespace
}  // namespace xqt

// The TargetList: who enters it (identity rule, limit), what the pages read back, readiness, the
// duplicate-address check and connection-test results.
#include <gtest/gtest.h>

#include "TestTexts.h"
#include "fleet/TargetList.h"
#include "platform/MessageBoxes.h"

namespace xqt {
namespace {

using platform::MbButtons;
using platform::MbIcon;
using platform::RecordingMessageBoxes;

CameraEntry Discovered(const std::string& mac, Octets address, const std::string& serial = "S1") {
    CameraEntry e;
    e.macText = mac;
    e.addressText = "x";
    e.model = "XQT-TR60";
    e.serial = serial;
    e.version = "1.10";
    e.address = address;
    return e;
}

CameraEntry ByHand(const std::string& serial, Octets address, int port = 80) {
    CameraEntry e;
    e.serial = serial;
    e.address = address;
    e.port = port;
    e.origin = 0;
    return e;
}

TEST(TargetListIdentity, SameMacIsPresentWhateverElseDiffers) {
    TargetList list;
    ASSERT_EQ(list.Insert(Discovered("08:00:46:00:00:01", {10, 0, 0, 1}, "A")), InsertResult::Inserted);
    EXPECT_EQ(list.Insert(Discovered("08:00:46:00:00:01", {10, 0, 0, 2}, "B")), InsertResult::Present);
    EXPECT_EQ(list.Size(), 1);
    EXPECT_EQ(list.Record(0).text[TargetSlot::SERIAL], "A");
    // MAC texts compare case-sensitively.
    EXPECT_EQ(list.Insert(Discovered("08:00:46:00:00:0A", {10, 0, 0, 3})), InsertResult::Inserted);
    EXPECT_EQ(list.Insert(Discovered("08:00:46:00:00:0a", {10, 0, 0, 4})), InsertResult::Inserted);
    EXPECT_EQ(list.Size(), 3);
}

TEST(TargetListIdentity, WithoutMacTheSerialDecidesEvenAtAnotherAddress) {
    TargetList list;
    list.Insert(Discovered("08:00:46:00:00:01", {10, 0, 0, 1}, "1000001"));
    EXPECT_EQ(list.Insert(ByHand("1000001", {172, 16, 0, 9}, 8080)), InsertResult::Present);
    EXPECT_EQ(list.Insert(ByHand("1000002", {10, 0, 0, 1})), InsertResult::Inserted);
    EXPECT_EQ(list.Size(), 2);
}

TEST(TargetListIdentity, NeitherMacNorSerialEntersOnlyAnEmptyList) {
    TargetList list;
    EXPECT_EQ(list.Insert(ByHand("", {10, 0, 0, 1})), InsertResult::Inserted);
    EXPECT_EQ(list.Insert(ByHand("", {10, 0, 0, 2})), InsertResult::Present);
    TargetList other;
    other.Insert(Discovered("m1", {10, 0, 0, 1}));
    EXPECT_EQ(other.Insert(ByHand("", {10, 0, 0, 9})), InsertResult::Present);
    EXPECT_EQ(other.Size(), 1);
}

TEST(TargetListInsert, NewRecordsAreTickedNumberedAndWithoutCredentials) {
    TargetList list;
    list.Insert(Discovered("m0", {10, 0, 0, 1}));
    list.Insert(ByHand("S2", {10, 0, 0, 2}, 1024));
    const CameraRecord& r = list.Record(1);
    EXPECT_EQ(r.id, 1);
    EXPECT_EQ(r.origin, 0);
    EXPECT_TRUE(r.ticked);
    EXPECT_EQ(r.testState, TestState::NotTested);
    EXPECT_EQ(r.port, 1024);
    EXPECT_TRUE(r.text[TargetSlot::NAME].empty());
    EXPECT_TRUE(r.text[TargetSlot::PASSWORD].empty());
    EXPECT_TRUE(r.text[0].empty());
    EXPECT_NE(list.Record(0).key, list.Record(1).key);
}

TEST(TargetListInsert, NeverMoreThan256Records) {
    TargetList list;
    for (int i = 0; i < MAX_CAMERAS; ++i) {
        ASSERT_EQ(list.Insert(Discovered("mac" + std::to_string(i), {10, 0, 1, std::uint8_t(i)})),
                  InsertResult::Inserted);
    }
    EXPECT_EQ(list.Insert(Discovered("one-more", {10, 0, 2, 1})), InsertResult::Full);
    EXPECT_EQ(list.Insert(Discovered("mac3", {10, 0, 2, 1})), InsertResult::Present);
    EXPECT_EQ(list.Size(), MAX_CAMERAS);
}

TEST(TargetListAccessors, CredentialsAndUpgradeDataReadBackWhatWasStored) {
    TargetList list;
    CameraEntry e = Discovered("m0", {192, 168, 1, 20}, "777");
    e.addressText = "DHCP";
    e.dhcp = true;
    e.port = 8080;
    list.Insert(e);
    list.Insert(Discovered("m1", {192, 168, 1, 21}));
    list.SetCredentials(0, "admin", "secret");

    Credentials c = list.GetCredentials(0);
    EXPECT_EQ(c.name, "admin");
    EXPECT_EQ(c.password, "secret");
    EXPECT_EQ(c.address, (Octets{192, 168, 1, 20}));

    UpgradeData d = list.GetUpgradeData(0);
    EXPECT_EQ(d.model, "XQT-TR60");
    EXPECT_EQ(d.version, "1.10");
    EXPECT_EQ(d.serial, "777");
    EXPECT_EQ(d.port, 8080);
    EXPECT_TRUE(d.dhcp);
    EXPECT_TRUE(d.ticked);
    EXPECT_FALSE(list.GetUpgradeData(1).dhcp);

    list.SetTicked(1, false);
    EXPECT_FALSE(list.GetUpgradeData(1).ticked);
    EXPECT_EQ(list.GetAddress(1), (Octets{192, 168, 1, 21}));
    EXPECT_THROW(list.GetUpgradeData(2), std::out_of_range);
}

TEST(TargetListReadiness, NeedsATickedRecordWithNameAndPasswordEverywhereTicked) {
    TargetList list;
    EXPECT_FALSE(list.IsReady());
    list.Insert(Discovered("m0", {10, 0, 0, 1}));
    list.Insert(Discovered("m1", {10, 0, 0, 2}));
    list.Insert(Discovered("m2", {10, 0, 0, 3}));
    list.SetTicked(0, false);
    list.SetTicked(1, false);
    list.SetTicked(2, false);
    list.SetCredentials(0, "admin", "pw");
    EXPECT_FALSE(list.IsReady()) << "nothing ticked";

    list.SetTicked(0, true);
    EXPECT_TRUE(list.IsReady()) << "unticked records without credentials do not matter";

    list.SetTicked(1, true);
    list.SetCredentials(1, "admin", "");
    EXPECT_FALSE(list.IsReady()) << "ticked record with a name but no password";
    list.SetCredentials(1, "", "pw");
    EXPECT_FALSE(list.IsReady()) << "ticked record with a password but no name";
    list.SetCredentials(1, "op", "pw");
    EXPECT_TRUE(list.IsReady());
}

class TargetListDuplicates : public testing::WithListTexts {
  protected:
    TargetList list;
    RecordingMessageBoxes boxes;
};

TEST_F(TargetListDuplicates, DistinctAddressesPassWithoutABox) {
    list.Insert(Discovered("m0", {10, 0, 0, 1}));
    list.Insert(Discovered("m1", {10, 0, 0, 2}));
    list.Insert(Discovered("m2", {10, 0, 1, 1}));
    EXPECT_EQ(list.DuplicateAddressReport(), "");
    EXPECT_TRUE(list.FindDuplicateAddresses(boxes));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(TargetListDuplicates, SameAddressOnAnotherPortFailsWithTheErrorBox) {
    list.Insert(Discovered("m0", {192, 168, 0, 10}));
    CameraEntry other = Discovered("m1", {192, 168, 0, 10});
    other.port = 1024;
    list.Insert(other);
    EXPECT_FALSE(list.FindDuplicateAddresses(boxes));
    auto shown = boxes.Taken();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              "There is more than one camera with the same IP address as below.\r\n"
              "#192.168.0.10\r\n"
              "Please assign different addresses to avoid any conflict.");
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].icon, MbIcon::Stop);
    EXPECT_EQ(shown[0].buttons, MbButtons::Ok);
}

TEST_F(TargetListDuplicates, OneLinePerPairSoATripleGivesThree) {
    list.Insert(Discovered("m0", {10, 0, 0, 7}));
    list.Insert(Discovered("m1", {10, 0, 0, 8}));
    list.Insert(Discovered("m2", {10, 0, 0, 7}));
    list.Insert(Discovered("m3", {10, 0, 0, 7}));
    list.Insert(Discovered("m4", {10, 0, 0, 8}));
    EXPECT_EQ(list.DuplicateAddressReport(), "#10.0.0.7\r\n#10.0.0.7\r\n#10.0.0.8\r\n#10.0.0.7\r\n");
}

TEST(TargetListTests, ResultsFollowTheCameraAcrossASort) {
    TargetList list;
    list.Insert(ByHand("S-b", {10, 0, 0, 2}));
    list.Insert(ByHand("S-a", {10, 0, 0, 1}));
    list.Insert(Discovered("08-00-46-00-00-03", {10, 0, 0, 3}, "S-c"));
    const std::uint32_t keyB = list.Record(0).key;
    const std::uint32_t keyC = list.Record(2).key;
    // The user sorts by serial while the tests are in flight: S-a moves to the top.
    list.SortByColumn(TargetSlot::SERIAL, {}, -1);
    ASSERT_EQ(list.Record(0).text[TargetSlot::SERIAL], "S-a");

    EXPECT_TRUE(list.RecordTestResult(keyB, std::string("08-00-46-00-00-02")));
    EXPECT_TRUE(list.RecordTestResult(keyC, std::nullopt));
    const CameraRecord& b = list.Record(list.FindByKey(keyB));
    EXPECT_EQ(b.text[TargetSlot::SERIAL], "S-b");
    EXPECT_EQ(b.testState, TestState::Passed);
    EXPECT_EQ(b.text[TargetSlot::MAC], "08-00-46-00-00-02");
    const CameraRecord& c = list.Record(list.FindByKey(keyC));
    EXPECT_EQ(c.testState, TestState::Failed);
    EXPECT_EQ(list.Record(0).testState, TestState::NotTested);
}

TEST(TargetListTests, PassedTestKeepsAMacTextAlreadyKnown) {
    TargetList list;
    list.Insert(Discovered("08-00-46-00-00-01", {10, 0, 0, 1}));
    std::uint32_t key = list.Record(0).key;
    EXPECT_TRUE(list.RecordTestResult(key, std::string("08-00-46-FF-FF-FF")));
    EXPECT_EQ(list.Record(0).text[TargetSlot::MAC], "08-00-46-00-00-01");
    list.DeleteAll();
    EXPECT_FALSE(list.RecordTestResult(key, std::nullopt)) << "a result for a removed camera is dropped";
}

}  // namespace
}  // namespace xqt

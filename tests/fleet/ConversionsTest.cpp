// How cameras pass between the lists: discovery into the TargetList, valid added rows into it, and
// ticked targets into progress rows.
#include <gtest/gtest.h>

#include <vector>

#include "fleet/AddedCameraRows.h"
#include "fleet/Conversions.h"
#include "fleet/TextForms.h"

namespace xqt {
namespace {

DiscoveryEntry Found(const std::string& mac, Octets ip, int port = 80, bool dhcp = false) {
    DiscoveryEntry e;
    e.model = "XQT-TR60";
    e.serial = "S-" + mac;
    e.version = "1.10";
    e.mac = mac;
    e.ipAddress = ip;
    e.webPort = port;
    e.dhcp = dhcp;
    return e;
}

TEST(FromDiscovery, AddressTextOrDhcpAndTheRealAddressKept) {
    auto plain = EntryFromDiscovery(Found("m1", {192, 168, 0, 10}, 1024));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->addressText, "192.168.0.10:1024");
    EXPECT_EQ(plain->origin, -1);
    EXPECT_EQ(plain->macText, "m1");

    auto dhcp = EntryFromDiscovery(Found("m2", {192, 168, 0, 11}, 80, true));
    ASSERT_TRUE(dhcp);
    EXPECT_EQ(dhcp->addressText, "DHCP");
    EXPECT_EQ(dhcp->address, (Octets{192, 168, 0, 11}));
    EXPECT_EQ(dhcp->port, 80);

    EXPECT_FALSE(EntryFromDiscovery(Found("", {192, 168, 0, 12})));
}

TEST(FromDiscovery, FillTakesOnlyEntriesBeyondTheRowsShownAndSkipsEmptyMacs) {
    std::vector<DiscoveryEntry> table = {Found("m0", {10, 0, 0, 1}), Found("m1", {10, 0, 0, 2}, 80, true)};
    TargetList list;
    list.FillFromDiscovery(table);
    ASSERT_EQ(list.Size(), 2);
    EXPECT_EQ(list.Record(1).text[TargetSlot::ADDRESS], "DHCP");
    EXPECT_TRUE(list.GetUpgradeData(1).dhcp);

    // Discovery goes on: the table grows by an unused slot and a camera.
    table.push_back(Found("", {10, 0, 0, 3}));
    table.push_back(Found("m3", {10, 0, 0, 4}, 8080));
    list.FillFromDiscovery(table);
    ASSERT_EQ(list.Size(), 3);
    EXPECT_EQ(list.Record(2).text[TargetSlot::MAC], "m3");
    EXPECT_EQ(list.Record(2).text[TargetSlot::ADDRESS], "10.0.0.4:8080");
    EXPECT_EQ(list.Record(2).text[TargetSlot::MODEL], "XQT-TR60");
    EXPECT_EQ(list.Record(2).text[TargetSlot::SERIAL], "S-m3");
    EXPECT_EQ(list.Record(2).text[TargetSlot::VERSION], "1.10");
}

TEST(FromDiscovery, EntriesFrom256OnAreNeverRead) {
    std::vector<DiscoveryEntry> table;
    for (int i = 0; i < 300; ++i)
        table.push_back(Found("m" + std::to_string(i), {10, 0, 1, std::uint8_t(i)}));
    TargetList list;
    list.FillFromDiscovery(table);
    EXPECT_EQ(list.Size(), MAX_CAMERAS);
    EXPECT_EQ(list.Record(255).text[TargetSlot::MAC], "m255");
}

TEST(FromAddedRows, ValidRowsEnterWithoutMacAndWithTheirOrdinal) {
    TargetList targets;
    targets.Insert(*EntryFromDiscovery(Found("m0", {10, 0, 0, 1})));
    AddedCameraRows rows(targets);
    auto add = [&](Octets a, int port, const std::string& serial, bool accepted) {
        int i = rows.AppendBlank();
        rows.SetAddress(i, a, port);
        rows.ApplyInquiryResult(rows.Row(i).key, {true, true, "XQT-TR60", serial, "ver2.00", accepted});
    };
    add({10, 0, 0, 5}, 80, "A", true);
    add({10, 0, 0, 6}, 80, "B", false);  // refused serial: not taken over
    add({10, 0, 0, 7}, 1024, "C", true);
    ASSERT_EQ(rows.TakeOver(targets), 2);
    ASSERT_EQ(targets.Size(), 3);
    const CameraRecord& a = targets.Record(1);
    EXPECT_TRUE(a.text[TargetSlot::MAC].empty());
    EXPECT_EQ(a.text[TargetSlot::ADDRESS], "10.0.0.5");
    EXPECT_EQ(a.text[TargetSlot::VERSION], "2.00");
    EXPECT_EQ(a.origin, 0);
    EXPECT_EQ(a.id, 1);
    const CameraRecord& c = targets.Record(2);
    EXPECT_EQ(c.text[TargetSlot::ADDRESS], "10.0.0.7:1024");
    EXPECT_EQ(c.port, 1024);
    EXPECT_EQ(c.origin, 1);
    EXPECT_TRUE(c.ticked);
}

TEST(FromAddedRows, ASerialAlreadyTargetedIsNotInsertedTwice) {
    TargetList targets;
    targets.Insert(*EntryFromDiscovery(Found("m0", {10, 0, 0, 1})));  // serial "S-m0"
    AddedCameraRows rows(targets);
    int i = rows.AppendBlank();
    rows.SetAddress(i, {10, 9, 9, 9}, 80);
    rows.ApplyInquiryResult(rows.Row(i).key, {true, true, "XQT-TR60", "S-m0", "1.10", true});
    ASSERT_TRUE(rows.IsValid(i));
    EXPECT_EQ(rows.TakeOver(targets), 0);
    EXPECT_EQ(targets.Size(), 1);
}

TEST(IntoProgressRows, TickedTargetsInOrderWithRunningIdsAndTheRealAddress) {
    TargetList targets;
    targets.Insert(*EntryFromDiscovery(Found("m0", {10, 0, 0, 1})));
    targets.Insert(*EntryFromDiscovery(Found("m1", {10, 0, 0, 2}, 8080, true)));
    targets.Insert(*EntryFromDiscovery(Found("m2", {10, 0, 0, 3})));
    targets.SetTicked(0, false);
    targets.SetCredentials(1, "admin", "pw1");
    targets.SetCredentials(2, "root", "pw2");

    std::vector<ProgressRecord> rows = MakeProgressRows(targets);
    ASSERT_EQ(rows.size(), 2u);
    const ProgressRecord& dhcp = rows[0];
    EXPECT_EQ(dhcp.id, 0);
    EXPECT_EQ(dhcp.text[ProgressSlot::ID], "001");
    EXPECT_EQ(dhcp.text[ProgressSlot::ADDRESS], "10.0.0.2:8080");
    EXPECT_EQ(dhcp.text[ProgressSlot::MODEL], "XQT-TR60");
    EXPECT_EQ(dhcp.text[ProgressSlot::VERSION], "1.10");
    EXPECT_EQ(dhcp.previousVersion, "1.10");
    EXPECT_EQ(dhcp.text[ProgressSlot::NAME], "admin");
    EXPECT_EQ(dhcp.text[ProgressSlot::PASSWORD], "pw1");
    EXPECT_TRUE(dhcp.text[4].empty());
    EXPECT_TRUE(dhcp.text[ProgressSlot::STATUS].empty());
    EXPECT_TRUE(dhcp.dhcp);
    EXPECT_EQ(dhcp.port, 8080);
    EXPECT_EQ(dhcp.progress, 0);
    EXPECT_EQ(dhcp.result, UpgradeStatus::Standby);
    EXPECT_EQ(dhcp.imageSlot, 0);

    EXPECT_EQ(rows[1].id, 1);
    EXPECT_EQ(rows[1].text[ProgressSlot::ID], "002");
    EXPECT_EQ(rows[1].text[ProgressSlot::ADDRESS], "10.0.0.3");
    EXPECT_FALSE(rows[1].dhcp);
}

TEST(IntoProgressRows, ProgressWordIsWrittenThroughItsAddressAndCopiedAsAValue) {
    ProgressRecord row;
    std::atomic<std::int32_t>* word = row.progress.Word();
    word->store(2500);
    EXPECT_EQ(row.progress, 2500);
    ProgressRecord copy = row;
    word->store(10000);
    EXPECT_EQ(copy.progress, 2500);
    EXPECT_EQ(row.progress, 10000);
}

TEST(RecordDefaults, FreshRecordsHoldTheDocumentedValues) {
    CameraRecord r;
    EXPECT_EQ(r.id, 0);
    EXPECT_EQ(r.origin, -1);
    EXPECT_FALSE(r.ticked);
    EXPECT_EQ(r.address, (Octets{192, 168, 0, 100}));
    EXPECT_EQ(r.port, 80);
    for (const std::string& t : r.text)
        EXPECT_TRUE(t.empty());
    ProgressRecord p;
    EXPECT_EQ(p.progress, 0);
    EXPECT_FALSE(p.dhcp);
    EXPECT_TRUE(p.previousVersion.empty());
    AddedCameraRecord a;
    EXPECT_EQ(a.entered, 0);
    EXPECT_EQ(a.verdict, Verdict::NotAsked);
    EXPECT_EQ(a.conflict, Conflict::None);
}

}  // namespace
}  // namespace xqt

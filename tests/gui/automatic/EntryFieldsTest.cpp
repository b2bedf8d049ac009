// The rules of the entry dialog's fields: which refusal comes first and where it sends the focus,
// and what is stored from the fields.
#include <gtest/gtest.h>

#include "fleet/DialogTexts.h"
#include "fleet/EntryFields.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
namespace {

EntryFields Typed(std::array<std::optional<int>, 4> octets, bool otherPort, std::string port) {
    EntryFields f;
    f.octets = octets;
    f.otherPort = otherPort;
    f.portText = std::move(port);
    return f;
}

class EntryFieldsTest : public ::testing::Test {
  protected:
    void SetUp() override { test::EnsureApp(); }  // the resource texts
};

TEST_F(EntryFieldsTest, PortIsCheckedOnlyWithTheOtherPortRadio) {
    // A leftover out-of-range port in the disabled field does not block port 80.
    EXPECT_FALSE(CheckEntryFields(Typed({10, 0, 0, 1}, false, "99")));
    EXPECT_EQ(StoredAddress(Typed({10, 0, 0, 1}, false, "99")).port, 80);

    for (const char* bad : {"", "0", "80", "1023", "65536", "99999999999"}) {
        const auto problem = CheckEntryFields(Typed({10, 0, 0, 1}, true, bad));
        ASSERT_TRUE(problem) << bad;
        EXPECT_EQ(problem->text, TEXT_PORT_RANGE) << bad;
        EXPECT_EQ(problem->focus, EntryFocus::Port) << bad;
    }
    for (const char* good : {"1024", "65535", "08080"}) {
        EXPECT_FALSE(CheckEntryFields(Typed({10, 0, 0, 1}, true, good))) << good;
    }
    EXPECT_EQ(StoredAddress(Typed({10, 0, 0, 1}, true, "08080")).port, 8080);
}

TEST_F(EntryFieldsTest, ABlankAddressIsRefusedAfterThePort) {
    const auto blank = CheckEntryFields(Typed({}, false, "1024"));
    ASSERT_TRUE(blank);
    EXPECT_EQ(blank->text, "Input the correct IP address of the target camera.");
    EXPECT_EQ(blank->focus, EntryFocus::Address);
    // With a bad port as well, the port is named first (the field exchange reads it first).
    EXPECT_EQ(CheckEntryFields(Typed({}, true, "1"))->focus, EntryFocus::Port);
}

TEST_F(EntryFieldsTest, APartlyFilledAddressCountsItsEmptyFieldsAsZero) {
    const EntryFields partly = Typed({192, std::nullopt, 3, std::nullopt}, false, "1024");
    EXPECT_FALSE(CheckEntryFields(partly));
    EXPECT_EQ(StoredAddress(partly).address, (Octets{192, 0, 3, 0}));
}

TEST_F(EntryFieldsTest, FieldsOfARowChooseTheRadioByPort) {
    const EntryFields port80 = FieldsOf({192, 168, 0, 100}, 80);
    EXPECT_FALSE(port80.otherPort);
    EXPECT_EQ(port80.portText, "1024");
    EXPECT_EQ(port80.octets[3], 100);
    const EntryFields other = FieldsOf({10, 1, 2, 3}, 8080);
    EXPECT_TRUE(other.otherPort);
    EXPECT_EQ(other.portText, "8080");
    // What is shown is what would be stored again.
    const EntryAddress again = StoredAddress(other);
    EXPECT_EQ(again.address, (Octets{10, 1, 2, 3}));
    EXPECT_EQ(again.port, 8080);
}

TEST_F(EntryFieldsTest, DeleteQuestionNamesModelAndAddress) {
    EXPECT_EQ(DeleteRowQuestion("XQT-TR60", "10.0.0.1:8080"),
              "Would you like to delete the XQT-TR60(10.0.0.1:8080)?");
    EXPECT_EQ(DeleteRowQuestion("No response", "10.0.0.2"),
              "Would you like to delete the No response(10.0.0.2)?");
}

}  // namespace
}  // namespace xqt

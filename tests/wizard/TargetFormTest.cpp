// The Qt-free rules behind the manual pages: validation order of the target entries, the address
// and credential texts, the duplicate-address count, and the texts formed for the progress and
// result pages.
#include <gtest/gtest.h>

#include "camera/Credential.h"
#include "platform/Windows1252.h"
#include "tests/wizard/WizardResources.h"
#include "wizard/TargetForm.h"
#include "wizard/WizardTexts.h"

namespace xqt::test {
namespace {

class TargetFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallWizardResources(res);
        platform::UseResources(res);
        form.octets = {10, 0, 0, 5};
        form.adminName = "admin";
        form.adminPassword = "secret";
    }
    void TearDown() override { platform::UseResources(empty); }

    std::optional<TargetField> Refusal() {
        auto problem = CheckTargetForm(form);
        return problem ? std::optional(problem->focus) : std::nullopt;
    }

    platform::MemoryResources res, empty;
    TargetForm form;
};

TEST_F(TargetFormTest, EmptyAddressIsReportedBeforeWrongPortAndLogin) {
    form.octets = {};
    form.portChoice = 1;
    form.portText = "80";
    form.adminName.clear();
    auto problem = CheckTargetForm(form);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->text, "Input the correct IP address of the target camera.");
    EXPECT_EQ(problem->focus, TargetField::Address);
}

TEST_F(TargetFormTest, PartlyEmptyAddressPassesAndCountsEmptyFieldsAsZero) {
    form.octets = {192, std::nullopt, 7, std::nullopt};
    EXPECT_FALSE(Refusal());
    EXPECT_EQ(AddressText(form), "192.0.7.0");
}

TEST_F(TargetFormTest, CustomPortMustLieBetween1024And65535) {
    form.portChoice = 1;
    for (const char* ok : {"1024", "65535", "8080"}) {
        form.portText = ok;
        EXPECT_FALSE(Refusal()) << ok;
    }
    for (const char* bad : {"1023", "65536", "0"}) {
        form.portText = bad;
        auto problem = CheckTargetForm(form);
        ASSERT_TRUE(problem) << bad;
        EXPECT_EQ(problem->text, "Input the correct port No. of the target camera.");
        EXPECT_EQ(problem->focus, TargetField::Port);
    }
}

TEST_F(TargetFormTest, ThePortFieldIsCheckedOnlyWhileTheCustomPortIsChosen) {
    for (const char* leftover : {"5", "", "99999999999", "12a"}) {
        form.portChoice = 0;
        form.portText = leftover;
        EXPECT_FALSE(Refusal()) << leftover;
        EXPECT_EQ(AddressText(form), "10.0.0.5");
        form.portChoice = 1;
        const auto problem = CheckTargetForm(form);
        ASSERT_TRUE(problem) << leftover;
        EXPECT_EQ(problem->text, std::string(leftover) == "5"
                                     ? "Input the correct port No. of the target camera."
                                     : MSG_PORT_NOT_NUMBER);
        EXPECT_EQ(problem->focus, TargetField::Port);
    }
}

TEST_F(TargetFormTest, MissingNameOrPasswordFocusesThatField) {
    form.adminPassword.clear();
    EXPECT_EQ(Refusal(), TargetField::Password);
    EXPECT_EQ(CheckTargetForm(form)->text, "Input the correct name and password.");
    form.adminName.clear();
    EXPECT_EQ(Refusal(), TargetField::Name);
}

TEST_F(TargetFormTest, AddressTextCarriesTheCustomPortOnly) {
    form.portChoice = 1;
    form.portText = "08080";
    EXPECT_EQ(AddressText(form), "10.0.0.5:8080");
    EXPECT_EQ(DottedAddress(form), "10.0.0.5");
    form.portChoice = 0;
    EXPECT_EQ(AddressText(form), "10.0.0.5");
}

TEST_F(TargetFormTest, DuplicateCountIgnoresPortsAndUnusedEntries) {
    DiscoveryEntry a;
    a.mac = "08-00-46-00-00-01";
    a.ipAddress = {10, 0, 0, 5};
    a.webPort = 80;
    DiscoveryEntry b = a;
    b.mac = "08-00-46-00-00-02";
    b.webPort = 8080;
    DiscoveryEntry unused = a;
    unused.mac.clear();
    DiscoveryEntry other = a;
    other.ipAddress = {10, 0, 0, 50};
    EXPECT_EQ(CountCamerasAt("10.0.0.5", {a, unused, other}), 1);
    EXPECT_EQ(CountCamerasAt("10.0.0.5", {a, b}), 2);
    EXPECT_EQ(CountCamerasAt("10.0.0.50", {a, b}), 0);
}

TEST(CredentialTest, Base64OfNameColonPasswordWithPadding) {
    EXPECT_EQ(EncodeCredential("admin", "admin"), "YWRtaW46YWRtaW4=");
    EXPECT_EQ(EncodeCredential("a", "b"), "YTpi");
    EXPECT_EQ(EncodeCredential("ab", "c"), "YWI6Yw==");
    EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(CredentialTest, NonAsciiCharactersGoOnTheWireAsWindows1252) {
    EXPECT_EQ(platform::Utf8ToWindows1252("caf\xC3\xA9"), "caf\xE9");              // e acute
    EXPECT_EQ(platform::Utf8ToWindows1252("\xE2\x82\xAC"), "\x80");                // euro sign
    EXPECT_EQ(platform::Utf8ToWindows1252("\xE6\x97\xA5\xF0\x9F\x98\x80"), "??");  // no byte: one "?" each
    EXPECT_EQ(EncodeCredential("\xC3\xA9", "x"), Base64Encode("\xE9:x"));
}

TEST_F(TargetFormTest, StatusWordsAndSetupTexts) {
    EXPECT_EQ(ManualStatusWord(UpgradeStatus::Standby), "");
    EXPECT_EQ(ManualStatusWord(UpgradeStatus::Uploading), "Uploading");
    EXPECT_EQ(ManualStatusWord(UpgradeStatus::Searching), "Missing target.(Network error) Searching now.");
    EXPECT_EQ(ManualStatusWord(UpgradeStatus::Completed), "Completed");
    EXPECT_FALSE(HasManualStatusWord(UpgradeStatus::Error1));
    EXPECT_TRUE(HasManualStatusWord(UpgradeStatus::Standby));
    EXPECT_EQ(SetupDataText(false, true), "Discard the current settings.");
    EXPECT_EQ(SetupDataText(true, false), "Retain the current settings.");
    EXPECT_EQ(SetupDataText(true, true), "Retain and backup the current settings.");
}

TEST_F(TargetFormTest, ResultTextEndsWithTheQuotedVersionNumber) {
    const std::string updated = "Firmware program was successfully updated to the camera.\r\n\r\n\r\n";
    EXPECT_EQ(ResultText("ver1.23", true), updated + "Target camera version is \"1.23\".");
    EXPECT_EQ(ResultText("ver1.23", false), updated + "Target camera version is \"1.23\" (not confirmed).");
    EXPECT_EQ(ResultText("v", true), ResultText("", true));  // a label shorter than "ver" gives no number
}

}  // namespace
}  // namespace xqt::test

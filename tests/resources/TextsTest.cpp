// The user-interface texts linked into the executable, read back through the text loader exactly
// as the pages and sessions read them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ResourceText.h"
#include "platform/Resources.h"

namespace xqt {
namespace {

struct QuotedText {
    std::uint16_t id;
    const char* text;
};

// Every text the program shows, by id. Trailing blanks, "&" accelerators, CR LF line ends and
// printf conversions are part of the text.
const QuotedText kQuotedTexts[] = {
    // Start-up, resources and the wizard frame.
    {138, "Cannot find the upgrade file."},
    {139, "Error"},
    {159, "&Next >"},
    {162, "< &Back"},
    {165, "Cancel"},
    {203, "Information"},
    {209, "Proceed to the firmware upgrade?"},
    {248, "Quit the firmware upgrade?"},
    {266, "&Upgrade"},
    {267, "&Abort"},
    {268, "&Finish"},
    // Manual target page.
    {120, "Input the correct IP address of the target camera."},
    {308, "Input the correct name and password."},
    {310, "Input the correct port No. of the target camera."},
    // Manual progress and result pages.
    {194, "&Finish"},
    {195, "&Re-try"},
    {200, "Version up is in progress. Do not turn off the power."},
    {218, "Target information"},
    {219, "IP address"},
    {222, "Firmware program was successfully updated to the camera.\r\n\r\n\r\n"},
    {234, "Target camera version is \""},
    {235, "\"."},
    {236, "Current version"},
    {237, "Version information"},
    {238, "New version"},
    // Introductory pages.
    {134,
     "Operating Precautions\r\n\r\n\r\n"
     "You are strongly recommended that the target camera should be in the same segment. "},
    {168,
     "Automatic mode detects any appropriate model in the same segment of the network that this PC is "
     "connected to and upgrade them automatically.\r\n\r\nManual mode is used to upgrade cameras one by "
     "one."},
    {170, "&Agree"},
    {171, "N&ot agree"},
    {178, "&Upgrade mode"},
    {179, "Automatic mode"},
    {180, "Manual mode"},
    // Camera inquiry and upgrade sequence messages.
    {206, "Version up error."},
    {212, "Cannot find the camera. (The camera may be turned off.)"},
    {225, "Network error occurred.\r\nPlease retry the upgrade without shutting down the power."},
    // Status words of the manual progress page.
    {361, "Prepare"},
    {360, "Saving config file"},
    {323, "Uploading"},
    {320, "Overwriting"},
    {319, "Missing target.(Network error) Searching now."},
    {322, "Rebooting"},
    {357, "Loading config file"},
    {359, "Reconfiguring"},
    {321, "Completed"},
    // Status words of the automatic progress list.
    {258, "Standby"},
    {376, "Prepare"},
    {363, "Saving config file"},
    {259, "Uploading"},
    {260, "Overwriting"},
    {261, "Searching"},
    {262, "Rebooting"},
    {364, "Loading config file"},
    {365, "Reconfiguring"},
    {263, "Completed"},
    {264, "Error1"},
    {265, "Error2"},
    {257, "Error3"},
    {354, "Error4"},
    {358, "Error5"},
    {367, "Error6"},
    {369, "Error7"},
    // Upgrade log lines.
    {315, "Completed successfully.\r\n"},
    {316, "Network error (missing target).\r\n"},
    {317, "Upgrade sequence error.\r\n"},
    {318, "Login error.\r\n"},
    {355, "Ftp error.\r\n"},
    {356, "Insufficient memory.\r\n"},
    {370, "Cannot save config.\r\n"},
    {371, "Cannot load config.\r\n"},
    // List import and the entry dialog.
    {305, "Invalid format."},
    {306, "Invalid format."},
    {307, "Invalid address or port number.\r\n%s"},
    {253, "Would you like to remove this camera?"},
};

constexpr std::uint16_t kAgreementIds[] = {140, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158};

bool StoredWithoutNul(std::uint16_t id) {
    return id == 134 || id == 171;
}

std::vector<std::uint16_t> AllIds() {
    std::vector<std::uint16_t> ids;
    for (const auto& q : kQuotedTexts)
        ids.push_back(q.id);
    ids.insert(ids.end(), std::begin(kAgreementIds), std::end(kAgreementIds));
    return ids;
}

// The stored UTF-16 code units after the byte-order mark, NUL units included.
std::u16string StoredUnits(std::uint16_t id) {
    auto raw = platform::Resources().Find(platform::ResourceType::Bin, id, platform::LANG_EN_US);
    if (!raw) return {};
    std::u16string units;
    for (std::size_t i = 2; i + 1 < raw->size(); i += 2)
        units.push_back(static_cast<char16_t>((*raw)[i] | ((*raw)[i + 1] << 8)));
    return units;
}

class TextsTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::UseResources(platform::EmbeddedResources()); }
};

TEST_F(TextsTest, EveryQuotedTextReadsBackExactlyWithoutAnyBox) {
    platform::RecordingMessageBoxes boxes;
    for (const auto& q : kQuotedTexts) {
        auto text = platform::ResourceText(q.id, &boxes);
        ASSERT_TRUE(text.has_value()) << "BIN " << q.id;
        EXPECT_EQ(*text, q.text) << "BIN " << q.id;
    }
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(TextsTest, StoredFormHasTheByteOrderMarkAndOneNulExceptForTheTwoUnterminatedTexts) {
    for (std::uint16_t id : AllIds()) {
        auto raw = platform::Resources().Find(platform::ResourceType::Bin, id, platform::LANG_EN_US);
        ASSERT_TRUE(raw) << "BIN " << id;
        ASSERT_GE(raw->size(), 4u) << "BIN " << id;
        EXPECT_EQ(raw->size() % 2, 0u) << "BIN " << id;
        EXPECT_EQ((*raw)[0], 0xFF) << "BIN " << id;
        EXPECT_EQ((*raw)[1], 0xFE) << "BIN " << id;
        std::u16string units = StoredUnits(id);
        auto nul = units.find(u'\0');
        if (StoredWithoutNul(id)) {
            EXPECT_EQ(nul, std::u16string::npos) << "BIN " << id;
        } else {
            EXPECT_EQ(nul, units.size() - 1) << "BIN " << id << ": one NUL unit, at the very end";
        }
    }
}

TEST_F(TextsTest, UnterminatedTextsRunToTheEndOfTheResourceAndKeepTheirLastCharacter) {
    // Nothing follows the text, so its last character is the last stored unit.
    EXPECT_TRUE(StoredUnits(134).ends_with(u"the same segment. "));
    EXPECT_EQ(StoredUnits(171), u"N&ot agree");
}

TEST_F(TextsTest, EveryLineEndIsCrLf) {
    for (std::uint16_t id : AllIds()) {
        std::string text = platform::TextOf(id);
        for (std::size_t i = 0; i < text.size(); ++i) {
            bool crBefore = i > 0 && text[i - 1] == '\r';
            bool lfAfter = i + 1 < text.size() && text[i + 1] == '\n';
            if (text[i] == '\n') {
                EXPECT_TRUE(crBefore) << "BIN " << id << " at " << i;
            } else if (text[i] == '\r') {
                EXPECT_TRUE(lfAfter) << "BIN " << id << " at " << i;
            }
        }
    }
}

TEST_F(TextsTest, OnlyTheImportMessageIsAFormatAndItTakesOneText) {
    // The import message is formatted with the bad line; a stray conversion anywhere else would
    // read an argument that is not there.
    for (std::uint16_t id : AllIds()) {
        std::string text = platform::TextOf(id);
        std::size_t percents = 0;
        for (char c : text)
            percents += c == '%';
        if (id == 307) {
            EXPECT_EQ(percents, 1u);
            EXPECT_NE(text.find("%s"), std::string::npos);
        } else {
            EXPECT_EQ(percents, 0u) << "BIN " << id;
        }
    }
}

TEST_F(TextsTest, ResultTextEndsWithTheQuotedVersionAndAFullStop) {
    std::string result = platform::TextOf(222) + platform::TextOf(234) + std::string("ver1.23").substr(3) +
                         platform::TextOf(235);
    EXPECT_EQ(result,
              "Firmware program was successfully updated to the camera.\r\n\r\n\r\n"
              "Target camera version is \"1.23\".");
}

TEST_F(TextsTest, AgreementIsAHeadingAndTenNumberedSectionsInOrder) {
    platform::RecordingMessageBoxes boxes;
    std::string joined;
    for (std::size_t i = 0; i < std::size(kAgreementIds); ++i) {
        std::uint16_t id = kAgreementIds[i];
        auto piece = platform::ResourceText(id, &boxes);
        ASSERT_TRUE(piece.has_value()) << "BIN " << id;
        ASSERT_FALSE(piece->empty()) << "BIN " << id;
        if (i == 0) {
            EXPECT_NE(piece->find("LICENCE AGREEMENT"), std::string::npos);
            EXPECT_NE(piece->find("Vexo"), std::string::npos);
        } else {
            EXPECT_EQ(piece->rfind(std::to_string(i) + ". ", 0), 0u)
                << "BIN " << id << " opens section " << i;
        }
        // Pieces are joined as they stand, so each but the last ends with an empty line.
        if (i + 1 < std::size(kAgreementIds)) {
            EXPECT_TRUE(piece->ends_with("\r\n\r\n")) << "BIN " << id;
            EXPECT_FALSE(piece->ends_with("\r\n\r\n\r\n")) << "BIN " << id;
        }
        joined += *piece;
    }
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(joined.find('\0'), std::string::npos);
}

}  // namespace
}  // namespace xqt

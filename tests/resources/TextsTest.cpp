// The user-interface texts linked into the executable, read back through the text loader exactly
// as the pages and sessions read them, against the source files they are built from.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/ResourceText.h"
#include "platform/Resources.h"

namespace xqt {
namespace {

namespace fs = std::filesystem;

// A few texts other code and tests look for by their words; every other text is checked against
// its source file below, through the same pipeline.
const std::pair<std::uint16_t, const char*> kTextsReliedOn[] = {
    {266, "&Upgrade"},
    {267, "&Abort"},
    {268, "&Finish"},
    {225, "Network error occurred.\r\nPlease retry the upgrade without shutting down the power."},
    {307, "Invalid address or port number.\r\n%s"},
};

constexpr std::uint16_t kAgreementIds[] = {140, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158};

bool StoredWithoutNul(std::uint16_t id) {
    return id == 134 || id == 171;
}

// Every text of the source folder, by id.
std::map<std::uint16_t, std::string> SourceTexts() {
    std::map<std::uint16_t, std::string> texts;
    for (const auto& entry : fs::directory_iterator(XQT_TEXTS_DIR)) {
        if (entry.path().extension() != ".txt") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        texts[static_cast<std::uint16_t>(std::stoi(entry.path().stem().string()))] =
            std::string(std::istreambuf_iterator<char>(in), {});
    }
    return texts;
}

std::vector<std::uint16_t> AllIds() {
    std::vector<std::uint16_t> ids;
    for (const auto& [id, text] : SourceTexts())
        ids.push_back(id);
    return ids;
}

// What the program reads for a source file: its final line end dropped, every line end CR LF.
std::string AsStored(std::string source) {
    if (source.ends_with('\n')) source.pop_back();
    std::string text;
    for (char c : source)
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return text;
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

TEST_F(TextsTest, EveryTextReadsBackAsItsSourceFileWithoutAnyBox) {
    platform::RecordingMessageBoxes boxes;
    const auto sources = SourceTexts();
    ASSERT_GE(sources.size(), std::size(kAgreementIds) + std::size(kTextsReliedOn));
    for (const auto& [id, source] : sources) {
        auto text = platform::ResourceText(id, &boxes);
        ASSERT_TRUE(text.has_value()) << "BIN " << id;
        EXPECT_EQ(*text, AsStored(source)) << "BIN " << id;
    }
    for (const auto& [id, words] : kTextsReliedOn)
        EXPECT_EQ(platform::TextOf(id), words) << "BIN " << id;
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

// Text forms of the lists: address, ID and version texts, page addresses, the UTF-16 sort order and
// the fitting of a cell text into its column.
#include <gtest/gtest.h>

#include "fleet/FitText.h"
#include "fleet/TextForms.h"

namespace xqt {
namespace {

TEST(AddressText, PortEightyIsNeverWritten) {
    EXPECT_EQ(AddressText({192, 168, 0, 10}, 80), "192.168.0.10");
    EXPECT_EQ(AddressText({192, 168, 0, 10}, 1024), "192.168.0.10:1024");
    EXPECT_EQ(AddressText({0, 0, 0, 0}, 65535), "0.0.0.0:65535");
    EXPECT_EQ(AddressText({255, 255, 255, 255}, 80), "255.255.255.255");
}

TEST(AddressText, PageAddressFollowsTheSamePortRule) {
    EXPECT_EQ(PageAddress({10, 0, 0, 1}, 80), "http://10.0.0.1/");
    EXPECT_EQ(PageAddress({10, 0, 0, 1}, 8080), "http://10.0.0.1:8080/");
}

TEST(IdText, ThreeDigitsFromOne) {
    EXPECT_EQ(IdText(1), "001");
    EXPECT_EQ(IdText(42), "042");
    EXPECT_EQ(IdText(256), "256");
}

TEST(StripVer, OnlyExactLowerCaseVerIsDropped) {
    EXPECT_EQ(StripVer("ver1.23"), "1.23");
    EXPECT_EQ(StripVer("Ver1.23"), "Ver1.23");
    EXPECT_EQ(StripVer("v1.23"), "v1.23");
    EXPECT_EQ(StripVer("ver"), "");
    EXPECT_EQ(StripVer("ve"), "ve");
    EXPECT_EQ(StripVer(""), "");
    EXPECT_EQ(StripVer("1.23ver"), "1.23ver");
}

TEST(CompareUtf16, CodeUnitOrderWithoutNumericOrdering) {
    EXPECT_LT(CompareUtf16("10.0.0.10", "10.0.0.9"), 0);
    EXPECT_LT(CompareUtf16("B", "a"), 0);  // case-sensitive: upper case first
    EXPECT_LT(CompareUtf16("", "a"), 0);
    EXPECT_LT(CompareUtf16("ab", "abc"), 0);
    EXPECT_EQ(CompareUtf16("same", "same"), 0);
    EXPECT_GT(CompareUtf16("z", "Z"), 0);
}

TEST(CompareUtf16, SupplementaryCharactersSortBeforeTheUpperBmp) {
    // U+1F600 is D83D DE00 in UTF-16, below U+FF21 (FULLWIDTH A); UTF-8 byte order says the
    // opposite, so a byte comparison would put it last.
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string fullwidthA = "\xEF\xBC\xA1";
    EXPECT_LT(CompareUtf16(emoji, fullwidthA), 0);
    EXPECT_GT(CompareUtf16(fullwidthA, emoji), 0);
    EXPECT_LT(CompareUtf16("A", fullwidthA), 0);
}

// Every character 10 pixels wide.
int Fixed(std::u16string_view s) {
    return static_cast<int>(s.size()) * 10;
}

TEST(FitText, TextThatFitsWithItsMarginIsKept) {
    EXPECT_EQ(FitText(std::u16string_view(u"ABCDE"), 62, 12, Fixed), u"ABCDE");
    EXPECT_EQ(FitText(std::u16string_view(u""), 0, 12, Fixed), u"");
}

TEST(FitText, LongTextIsCutToWhatFitsWithTheEllipsis) {
    // 85 pixels less 12 margin less 30 for "..." leaves 43: four characters.
    EXPECT_EQ(FitText(std::u16string_view(u"XQT-TR60-LONGNAME"), 85, 12, Fixed), u"XQT-...");
    // One pixel short of fitting whole: the ellipsis needs room too.
    EXPECT_EQ(FitText(std::u16string_view(u"ABCDE"), 61, 12, Fixed), u"A...");
    EXPECT_EQ(FitText(std::u16string_view(u"ABCDEFG"), 72, 12, Fixed), u"ABC...");
}

TEST(FitText, ShortestResultIsTheFirstCharacterEvenWhenItDoesNotFit) {
    EXPECT_EQ(FitText(std::u16string_view(u"ABCDEF"), 5, 12, Fixed), u"A...");
    EXPECT_EQ(FitText(std::u16string_view(u"A"), 5, 12, Fixed), u"A...");
}

TEST(FitText, NoLengthLimitAndNoSharedResult) {
    std::u16string longText(5000, u'x');
    std::u16string first = FitText(std::u16string_view(longText), 20000, 12, Fixed);
    std::u16string second = FitText(std::u16string_view(u"short text"), 62, 12, Fixed);
    EXPECT_EQ(first.size(), 1995u + 3u);  // (20000 - 12 - 30) / 10 characters, then "..."
    EXPECT_EQ(first.substr(first.size() - 3), u"...");
    EXPECT_EQ(second, u"sh...");
    std::u16string whole = FitText(std::u16string_view(longText), 50012, 12, Fixed);
    EXPECT_EQ(whole, longText);
}

TEST(FitText, CutsNeverSplitASurrogatePair) {
    // "a" then U+1F600 (two units) then "bcdef": cutting after two units would leave half a pair.
    std::u16string text = u"a\U0001F600bcdef";
    std::u16string fitted = FitText(std::u16string_view(text), 72, 12, Fixed);  // room for 3 units
    EXPECT_EQ(fitted, u"a\U0001F600...");
    fitted = FitText(std::u16string_view(text), 62, 12, Fixed);  // room for 2 units
    EXPECT_EQ(fitted, u"a...");
    std::u16string pairFirst = u"\U0001F600xyz";
    EXPECT_EQ(FitText(std::u16string_view(pairFirst), 1, 12, Fixed), u"\U0001F600...");
}

TEST(FitText, Utf8TextIsMeasuredInUtf16Units) {
    std::string model =
        "Kamera-\xC3\x9C"
        "berwachung";  // 18 characters
    EXPECT_EQ(FitText(std::string_view(model), 122, 12, Fixed), "Kamera-\xC3\x9C...");
    EXPECT_EQ(FitText(std::string_view(model), 500, 12, Fixed), model);
}

}  // namespace
}  // namespace xqt

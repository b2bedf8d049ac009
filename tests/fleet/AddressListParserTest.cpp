// Address-list import: what a text yields, what it is refused for and with which message, the
// 256-line limit, line ends, and the file and clipboard sources.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "TestTexts.h"
#include "fleet/AddressListParser.h"
#include "platform/Clipboard.h"

namespace xqt {
namespace {

using platform::MbIcon;

class AddressList : public testing::WithListTexts {
  protected:
    bool Load(std::string_view text) { return parser.LoadText(text); }
    AddressEntry At(int i) const { return parser.Get(i).value_or(AddressEntry{{9, 9, 9, 9}, -1}); }
    /// The one box shown, or a failure.
    platform::RecordingMessageBoxes::Shown OnlyBox() const {
        auto shown = boxes.Taken();
        EXPECT_EQ(shown.size(), 1u);
        return shown.empty() ? platform::RecordingMessageBoxes::Shown{} : shown[0];
    }
    std::string BadLineMessage(const std::string& numbered) const {
        return "Invalid address or port number.\r\n" + numbered;
    }

    platform::RecordingMessageBoxes boxes;
    platform::MemoryClipboard clipboard;
    AddressListParser parser{boxes, &clipboard};
};

TEST_F(AddressList, AddressesWithAndWithoutPortsInEachSeparatorKind) {
    ASSERT_TRUE(Load("192.168.0.10\r\n192.168.0.11,1024\r\n"));
    EXPECT_EQ(parser.EntryCount(), 2);
    EXPECT_EQ(At(0), (AddressEntry{{192, 168, 0, 10}, 80}));
    EXPECT_EQ(At(1), (AddressEntry{{192, 168, 0, 11}, 1024}));

    ASSERT_TRUE(Load("192.168.0.10:65535\n10.0.0.1\n"));
    EXPECT_EQ(At(0), (AddressEntry{{192, 168, 0, 10}, 65535}));
    EXPECT_EQ(At(1), (AddressEntry{{10, 0, 0, 1}, 80}));

    ASSERT_TRUE(Load("10.0.0.1\t8080\n10.0.0.2\t\t8081\n10.0.0.3\t"));
    EXPECT_EQ(At(0).port, 8080);
    EXPECT_EQ(At(1).port, 8081);
    EXPECT_EQ(At(2).port, 80);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(AddressList, EmptyTextSucceedsWithNoEntries) {
    EXPECT_TRUE(Load(""));
    EXPECT_EQ(parser.EntryCount(), 0);
    EXPECT_TRUE(Load("\r\n\n\r\n"));
    EXPECT_EQ(parser.EntryCount(), 0);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(AddressList, PortRules) {
    struct Case {
        const char* text;
        bool ok;
        int port;
    } cases[] = {
        {"10.0.0.1", true, 80},
        {"10.0.0.1,", true, 80},
        {"10.0.0.1,80", true, 80},
        {"10.0.0.1,0", false, 0},
        {"10.0.0.1,99", false, 0},
        {"10.0.0.1,1023", false, 0},
        {"10.0.0.1,1024", true, 1024},
        {"10.0.0.1,65535", true, 65535},
        {"10.0.0.1,65536", false, 0},
        {"10.0.0.1,00080", true, 80},
        {"10.0.0.1,01024", true, 1024},
        {"10.0.0.1,00000", false, 0},
        // Six digits are cut to five, and the five are judged like any port.
        {"10.0.0.1,102400", true, 10240},
        {"10.0.0.1,655359", true, 65535},
        {"10.0.0.1,655360", false, 0},
        {"10.0.0.1,999999", false, 0},
    };
    for (const Case& c : cases) {
        boxes.Clear();
        EXPECT_EQ(Load(c.text), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(At(0).port, c.port) << c.text;
        } else {
            EXPECT_EQ(OnlyBox().text, BadLineMessage(std::string("Line001:>") + c.text)) << c.text;
        }
    }
}

TEST_F(AddressList, AddressRules) {
    EXPECT_TRUE(Load("1.0.0.0\n223.255.255.255\n010.001.000.009\n127.0.0.1"));
    EXPECT_EQ(At(2).address, (Octets{10, 1, 0, 9}));
    // No camera answers at a "this network", multicast, broadcast or reserved address.
    for (const char* bad : {"10.0.0.256", "256.0.0.1", "10.0.0", "10..0.1", ".10.0.0.1",
                            "99999999999999999999.0.0.1", ",", "1024", "0.0.0.0", "0.1.2.3", "224.0.0.1",
                            "239.255.255.255:8080", "240.0.0.1", "255.255.255.255"}) {
        boxes.Clear();
        EXPECT_FALSE(Load(bad)) << bad;
        EXPECT_EQ(OnlyBox().text, BadLineMessage(std::string("Line001:>") + bad)) << bad;
    }
}

TEST_F(AddressList, BadLineIsNamedByItsNumberAmongNonEmptyLines) {
    EXPECT_FALSE(Load("10.0.0.1\r\n\r\n\n10.0.0.2\r\n\r\n10.0.0.256\r\n10.0.0.4\r\n"));
    auto box = OnlyBox();
    EXPECT_EQ(box.text, BadLineMessage("Line003:>10.0.0.256"));
    EXPECT_EQ(box.caption, "Information");
    EXPECT_EQ(box.icon, MbIcon::Question);
    EXPECT_EQ(box.buttons, platform::MbButtons::Ok);
    EXPECT_EQ(parser.ErrorLine(), "10.0.0.256");
    EXPECT_EQ(parser.EntryCount(), 0) << "nothing of a refused text is given out";
    EXPECT_FALSE(parser.Get(0));
}

TEST_F(AddressList, ForeignCharacterAnywhereIsRefusedWithTheFormatMessage) {
    res.AddText(306, "Invalid format. (character)");
    for (const char* bad : {"10.0.0.1 ", "10.0.0.1\n10.0.0.2;", "-10.0.0.1", "10.0.0.1\nx", "\xA0"}) {
        boxes.Clear();
        EXPECT_FALSE(Load(bad)) << bad;
        auto box = OnlyBox();
        EXPECT_EQ(box.text, "Invalid format. (character)");
        EXPECT_EQ(box.caption, "Information");
        EXPECT_EQ(box.icon, MbIcon::Information);
    }
}

TEST_F(AddressList, MixedSeparatorsAreRefusedEvenWhenEachLineIsValid) {
    res.AddText(305, "Invalid format. (separators)");
    for (const char* bad :
         {"10.0.0.1,1024\n10.0.0.2:1024", "10.0.0.1\t1024\n10.0.0.2,1024", "10.0.0.1,:1024"}) {
        boxes.Clear();
        EXPECT_FALSE(Load(bad)) << bad;
        auto box = OnlyBox();
        EXPECT_EQ(box.text, "Invalid format. (separators)");
        EXPECT_EQ(box.icon, MbIcon::Information);
    }
    // One kind, used wrongly, is a bad line rather than a format error.
    boxes.Clear();
    EXPECT_FALSE(Load("10.0.0.1,,1024"));
    EXPECT_EQ(OnlyBox().text, BadLineMessage("Line001:>10.0.0.1,,1024"));
}

std::string Lines(int from, int count, const std::string& suffix = "\r\n") {
    std::string text;
    for (int i = from; i < from + count; ++i)
        text += "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + suffix;
    return text;
}

TEST_F(AddressList, OnlyTheFirst256AddressesAreTakenAndTheRestIsNotLookedAt) {
    ASSERT_TRUE(Load(Lines(0, 256) + "not even an address\r\n" + Lines(300, 10)));
    EXPECT_EQ(parser.EntryCount(), 256);
    EXPECT_EQ(At(255).address, (Octets{10, 0, 0, 255}));
    EXPECT_FALSE(parser.Get(256));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(AddressList, BlankLinesDoNotLetUncheckedLinesThrough) {
    // 256 line ends before the first address: every address line is still checked.
    std::string blanks(256, '\n');
    EXPECT_FALSE(Load(blanks + "10.0.0.1 junk\n"));
    EXPECT_EQ(OnlyBox().text, "Invalid format.");
    boxes.Clear();
    res.AddText(305, "separators");
    EXPECT_FALSE(Load(blanks + "10.0.0.1,80:90\n"));
    EXPECT_EQ(OnlyBox().text, "separators");
    boxes.Clear();
    // Blank lines between 256 addresses do not cut the limit short either.
    ASSERT_TRUE(Load(Lines(0, 256, "\n\n")));
    EXPECT_EQ(parser.EntryCount(), 256);
}

TEST_F(AddressList, CrAloneTakesTheNextByteAsPartOfTheLineBreak) {
    EXPECT_TRUE(Load("10.0.0.1\r\n10.0.0.2\n10.0.0.3"));
    EXPECT_EQ(parser.EntryCount(), 3);
    // After a CR alone the next byte belongs to the line break: the second line loses its first
    // character.
    EXPECT_TRUE(Load("10.0.0.1\r110.0.0.2"));
    EXPECT_EQ(At(1).address, (Octets{10, 0, 0, 2}));
    EXPECT_FALSE(Load("10.0.0.1\r5.6.7.8"));
    EXPECT_EQ(OnlyBox().text, BadLineMessage("Line002:>.6.7.8"));
    boxes.Clear();
    // CR CR LF: the second CR is swallowed, the LF ends an empty line.
    EXPECT_TRUE(Load("10.0.0.1\r\r\n10.0.0.2"));
    EXPECT_EQ(parser.EntryCount(), 2);
}

TEST_F(AddressList, TextEndingInCrEndsThereAsAfterCrLf) {
    EXPECT_TRUE(Load("10.0.0.1\r"));
    EXPECT_EQ(parser.EntryCount(), 1);
    EXPECT_TRUE(Load("10.0.0.1\r\n10.0.0.2\r"));
    EXPECT_EQ(parser.EntryCount(), 2);
    // Nothing after the terminating zero is read, even right after a CR.
    EXPECT_TRUE(Load(std::string_view("10.0.0.1\r\0zzz 10.0.0.9", 22)));
    EXPECT_EQ(parser.EntryCount(), 1);
    EXPECT_TRUE(Load("\r"));
    EXPECT_EQ(parser.EntryCount(), 0);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(AddressList, LongBadLineIsShownWhole) {
    std::string line(300, '9');
    line += ".1.1.1";
    EXPECT_FALSE(Load("10.0.0.1\n" + line));
    EXPECT_EQ(OnlyBox().text, BadLineMessage("Line002:>" + line));
    EXPECT_EQ(parser.ErrorLine(), line);
}

TEST_F(AddressList, GetRefusesIndexesOutsideTheEntries) {
    ASSERT_TRUE(Load("10.0.0.1\n10.0.0.2"));
    EXPECT_TRUE(parser.Get(1));
    EXPECT_FALSE(parser.Get(2));
    EXPECT_FALSE(parser.Get(-1));
}

TEST_F(AddressList, ReusedParserStartsAfresh) {
    ASSERT_TRUE(Load("10.0.0.1,1024"));
    ASSERT_TRUE(Load("10.0.0.2:1025"));  // commas of the first text are not remembered
    EXPECT_EQ(parser.EntryCount(), 1);
    EXPECT_EQ(At(0), (AddressEntry{{10, 0, 0, 2}, 1025}));
    EXPECT_FALSE(Load("10.0.0.300"));
    ASSERT_TRUE(Load("10.0.0.3"));
    EXPECT_EQ(parser.ErrorLine(), "");
}

TEST_F(AddressList, ClipboardTextIsParsedAndNoTextFailsSilently) {
    EXPECT_FALSE(parser.LoadClipboard()) << "no text on the clipboard";
    EXPECT_EQ(boxes.Count(), 0u);
    clipboard.text = "";
    EXPECT_TRUE(parser.LoadClipboard());
    EXPECT_EQ(parser.EntryCount(), 0);
    clipboard.text = "10.0.0.1:8080\r\n10.0.0.2\r\n";
    EXPECT_TRUE(parser.LoadClipboard());
    EXPECT_EQ(At(0), (AddressEntry{{10, 0, 0, 1}, 8080}));
    EXPECT_EQ(parser.EntryCount(), 2);
    clipboard.text = "10.0.0.1 8080";
    EXPECT_FALSE(parser.LoadClipboard());
    EXPECT_EQ(boxes.Count(), 1u);

    AddressListParser withoutClipboard(boxes);
    EXPECT_FALSE(withoutClipboard.LoadClipboard());
}

class AddressFile : public AddressList {
  protected:
    void SetUp() override {
        AddressList::SetUp();
        dir = std::filesystem::temp_directory_path() / ("xqt-addresslist-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        AddressList::TearDown();
    }
    std::string Write(const std::string& name, std::string_view bytes) {
        std::filesystem::path p = dir / name;
        std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    std::filesystem::path dir;
};

TEST_F(AddressFile, FileIsReadAsRawBytesUpToItsFirstZero) {
    EXPECT_TRUE(parser.LoadFile(Write("list.csv", "10.0.0.1,1024\r\n10.0.0.2,8080\r\n")));
    EXPECT_EQ(parser.EntryCount(), 2);
    EXPECT_EQ(At(1), (AddressEntry{{10, 0, 0, 2}, 8080}));
    EXPECT_TRUE(parser.LoadFile(Write("nul.txt", std::string_view("10.0.0.3\n\0garbage here", 22))));
    EXPECT_EQ(parser.EntryCount(), 1);
    EXPECT_TRUE(parser.LoadFile(Write("bom.csv",
                                      "\xEF\xBB\xBF"
                                      "10.0.0.4\r\n")));
    EXPECT_EQ(At(0), (AddressEntry{{10, 0, 0, 4}, 80})) << "an editor's byte order mark is no character";
    EXPECT_TRUE(parser.LoadFile(Write("empty.txt", "")));
    EXPECT_EQ(parser.EntryCount(), 0);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(AddressFile, UnreadableFileFailsWithoutAMessage) {
    EXPECT_FALSE(parser.LoadFile((dir / "missing.txt").string()));
    EXPECT_FALSE(parser.LoadFile(dir.string()));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(AddressFile, RefusedFileShowsTheParserMessage) {
    EXPECT_FALSE(parser.LoadFile(Write("bad.txt", "10.0.0.1\n10.0.0.2,99\n")));
    EXPECT_EQ(OnlyBox().text, BadLineMessage("Line002:>10.0.0.2,99"));
}

}  // namespace
}  // namespace xqt

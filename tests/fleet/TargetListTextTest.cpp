// Command-line address lists: what a list as people write it yields, and that every refusal names
// its line and what is wrong, including the cut that a zero byte or the size limit would make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fleet/TargetListText.h"
#include "fleet/TextForms.h"

namespace xqt {
namespace {

/// The accepted list as "address[:port]@line" words, or the refusal.
std::string Outcome(std::string_view text, bool cutAtZero = false, int limit = MAX_LIST_TARGETS) {
    const TargetListText list = ReadTargetList(text, cutAtZero, limit);
    if (!list.Accepted()) {
        EXPECT_TRUE(list.targets.empty());
        EXPECT_EQ(list.error.rfind("line " + std::to_string(list.errorLine) + ": ", 0), 0u) << list.error;
        return list.error;
    }
    std::string out;
    for (const ListedTarget& t : list.targets)
        out += (out.empty() ? "" : " ") + AddressText(t.entry.address, t.entry.port) + "@" +
               std::to_string(t.line);
    return out;
}

const std::string kNoHosts =
    " is a host name or an IPv6 address; the list takes IPv4 addresses only (a.b.c.d, a range a.b.c.d-e or "
    "a block a.b.c.d/nn): host names and IPv6 are not supported";

TEST(TargetListText, ListsAsPeopleWriteThem) {
    struct Case {
        const char* what;
        std::string text;
        std::string outcome;
    } cases[] = {
        {"nothing", "", ""},
        {"comments, blanks and blank lines", "# lobby\n\n  10.0.0.1 \t\n10.0.0.2  # door\n",
         "10.0.0.1@3 10.0.0.2@4"},
        {"ports after colon, comma or blanks", "10.0.0.1:8080\n10.0.0.2,81\n10.0.0.3\t82\n10.0.0.4:80",
         "10.0.0.1:8080@1 10.0.0.2:81@2 10.0.0.3:82@3 10.0.0.4@4"},
        {"CR LF, CR alone and a byte order mark",
         "\xEF\xBB\xBF"
         "10.0.0.1\r\n10.0.0.2\r10.0.0.3",
         "10.0.0.1@1 10.0.0.2@2 10.0.0.3@3"},
        {"a header line", "# export\naddress,port\n10.0.0.1,8080\n", "10.0.0.1:8080@3"},
        {"a second word line", "ip\ncamera\n",
         "line 2: \"camera\" is not an address (a.b.c.d, a range a.b.c.d-e or a block a.b.c.d/nn)"},
        {"a header after an address", "10.0.0.1\nip\n",
         "line 2: \"ip\" is not an address (a.b.c.d, a range a.b.c.d-e or a block a.b.c.d/nn)"},
        {"a range of last octets", "10.1.2.10-12:8080", "10.1.2.10:8080@1 10.1.2.11:8080@1 10.1.2.12:8080@1"},
        {"a range of one", "10.1.2.9-9", "10.1.2.9@1"},
        {"a range ending before it starts", "10.1.2.9-3",
         "line 1: \"10.1.2.9-3\": the range ends before it starts"},
        {"a range past 255", "10.1.2.9-256",
         "line 1: \"10.1.2.9-256\": a range ends in a last octet 0-255 (a.b.c.d-e)"},
        {"a /30 without network and broadcast", "10.0.0.0/30", "10.0.0.1@1 10.0.0.2@1"},
        {"a /31 and a /32 whole", "10.0.0.0/31\n10.0.1.7/32", "10.0.0.0@1 10.0.0.1@1 10.0.1.7@2"},
        {"a block wider than /22", "10.0.0.0/21",
         "line 1: \"10.0.0.0/21\": a block of /21 is too large; the list takes /22 to /32"},
        {"a block beyond /32", "10.0.0.0/33",
         "line 1: \"10.0.0.0/33\": a block is a.b.c.d/nn with nn from 22 to 32"},
        {"a block not at its start", "\n10.0.0.5/24",
         "line 2: \"10.0.0.5/24\": a block starts at its network address, here 10.0.0.0/24"},
        {"an octet above 255", "10.0.0.1\n10.0.0.256\n",
         "line 2: \"10.0.0.256\" is not an address (a.b.c.d, a range a.b.c.d-e or a block a.b.c.d/nn)"},
        {"three octets", "10.0.0",
         "line 1: \"10.0.0\" is not an address (a.b.c.d, a range a.b.c.d-e or a block a.b.c.d/nn)"},
        {"port 0", "10.0.0.1:0", "line 1: \"10.0.0.1:0\": port 0 is outside 1-65535"},
        {"port 65536", "10.0.0.1:65536", "line 1: \"10.0.0.1:65536\": port 65536 is outside 1-65535"},
        {"a port of six digits", "10.0.0.1:123456",
         "line 1: \"10.0.0.1:123456\": \"123456\" is not a port number"},
        {"an empty port", "10.0.0.1:", "line 1: \"10.0.0.1:\": \"\" is not a port number"},
        {"a third column", "10.0.0.1,80,lobby",
         "line 1: \"10.0.0.1,80,lobby\": \"80,lobby\" is not a port number"},
        {"the same camera twice", "10.0.0.1\n\n10.0.0.1:80", "line 3: 10.0.0.1 is already listed on line 1"},
        {"a range over a listed camera", "10.0.0.5:81\n10.0.0.1-9:81",
         "line 2: 10.0.0.5:81 is already listed on line 1"},
        {"one address on two ports", "10.0.0.1\n10.0.0.1:81", "10.0.0.1@1 10.0.0.1:81@2"},
        // No camera answers at these; a request there reaches no one, or every host of a network.
        {"the limited broadcast", "10.0.0.1\n255.255.255.255",
         "line 2: 255.255.255.255, the broadcast address 255.255.255.255, not a camera's"},
        {"a multicast address", "224.0.0.1:8080",
         "line 1: 224.0.0.1, a multicast address (224.0.0.0/4), not a camera's"},
        {"a \"this network\" block", "0.0.0.0/22",
         "line 1: \"0.0.0.0/22\" holds 0.0.0.1, a \"this network\" address (0.0.0.0/8), not a camera's"},
        {"a range into the reserved block", "\n240.0.0.1-3",
         "line 2: \"240.0.0.1-3\" holds 240.0.0.1, a reserved address (240.0.0.0/4), not a camera's"},
        // A first line that names a camera is no header: it is refused, not dropped unseen.
        {"a host name first", "cam1.local\n10.0.0.1", "line 1: \"cam1.local\"" + kNoHosts},
        {"a short host name with a port first", "cam1:8080\n10.0.0.1", "line 1: \"cam1:8080\"" + kNoHosts},
        {"an IPv6 address first", "fe80::1\n10.0.0.1", "line 1: \"fe80::1\"" + kNoHosts},
        {"a host name after the header", "address,port\ncam1.local,80",
         "line 2: \"cam1.local,80\"" + kNoHosts},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Outcome(c.text), c.outcome) << c.what;
}

TEST(TargetListText, LongLineIsQuotedInPart) {
    const std::string line(200, '7');
    EXPECT_EQ(Outcome(line), "line 1: \"" + line.substr(0, 60) +
                                 "...\" is not an address (a.b.c.d, a range "
                                 "a.b.c.d-e or a block a.b.c.d/nn)");
}

// A zero byte ends what the reader takes in; the list must then be refused at that line rather than
// taken short.
TEST(TargetListText, AZeroByteRefusesTheListAtItsLine) {
    const std::string error = "a zero byte (NUL); an address list is plain text";
    EXPECT_EQ(Outcome("10.0.0.1\n10.0.0.2", true), "line 2: " + error);
    EXPECT_EQ(Outcome("10.0.0.1\n10.0.0.2\n", true), "line 3: " + error);
    EXPECT_EQ(Outcome("", true), "line 1: " + error);
}

// Every camera counts, those of ranges and blocks too; the list is refused at the line that passes
// the limit, never cut there.
TEST(TargetListText, TheLimitCountsEveryAddressAndNamesTheLine) {
    std::string blocks;
    for (int i = 0; i < 4; ++i)
        blocks += "10.0." + std::to_string(4 * i) + ".0/22\n";  // 4 x 1022 cameras
    EXPECT_EQ(ReadTargetList(blocks + "10.1.0.1-8\n").targets.size(), 4096u);
    EXPECT_EQ(Outcome(blocks + "10.1.0.1-8\n10.1.0.9"),
              "line 6: the list names more than 4096 cameras here (ranges and blocks count every address); "
              "split it");
    EXPECT_EQ(
        Outcome("10.0.0.1\n10.0.0.2\n10.0.0.3\n", false, 2),
        "line 3: the list names more than 2 cameras here (ranges and blocks count every address); split it");
}

}  // namespace
}  // namespace xqt

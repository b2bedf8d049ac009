// Tar files made to read one way to the bundle reader and another way to `tar xf`: each is refused
// with a reason, and the members of a plain tar are listed as tar names them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "camera/BundleTar.h"

namespace xqt::test {
namespace {

// One member: a header block (checksum set last, after `spoil` changed the block) and its data.
std::string Member(const std::string& name, const std::string& data, char type = '0',
                   void (*spoil)(char* header) = nullptr) {
    std::string h(512, '\0');
    std::memcpy(h.data(), name.data(), std::min<std::size_t>(name.size(), 100));
    std::snprintf(h.data() + 100, 8, "%07o", 0644);
    std::snprintf(h.data() + 124, 12, "%011o", static_cast<unsigned>(data.size()));
    std::snprintf(h.data() + 136, 12, "%011o", 0);
    h[156] = type;
    std::memcpy(h.data() + 257,
                "ustar\0"
                "00",
                8);
    if (spoil) spoil(h.data());
    std::memset(h.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (char c : h)
        sum += static_cast<unsigned char>(c);
    std::snprintf(h.data() + 148, 8, "%06o", sum);
    return h + data + std::string((512 - data.size() % 512) % 512, '\0');
}

// A pax record as "LENGTH KEY=VALUE\n", the length counting its own digits.
std::string Record(const std::string& key, const std::string& value) {
    const std::string body = " " + key + "=" + value + "\n";
    std::size_t length = body.size() + 1;
    while (std::to_string(length).size() + body.size() != length)
        ++length;
    return std::to_string(length) + body;
}

Result<TarIndex> Index(const std::string& members) {
    const std::string file = members + std::string(1024, '\0');
    std::istringstream in(file);
    return IndexTar(in, file.size());
}

const std::string kGood = Member("image.bin", "good");
const std::string kEvil = "evil";

struct TarCase {
    const char* name;
    std::string tar;
    const char* error;  // a part of the refusal
};

TEST(BundleTarTest, MembersThatTarWouldNameOtherwiseAreRefused) {
    const TarCase cases[] = {
        {"pax path renames the next member",
         kGood + Member("x", Record("path", "image.bin"), 'x') + Member("decoy", kEvil), "sets \"path\""},
        {"global pax path", Member("g", Record("path", "image.bin"), 'g') + Member("decoy", kEvil) + kGood,
         "sets \"path\""},
        {"pax linkpath",
         Member("x", Record("mtime", "1") + Record("linkpath", "/etc/passwd"), 'x') + Member("link", "", '2'),
         "sets \"linkpath\""},
        {"pax size", Member("x", Record("size", "4"), 'x') + kGood, "sets \"size\""},
        {"damaged pax record", Member("x", "99 path=image.bin\n", 'x') + kGood, "pax header"},
        {"GNU long name", kGood + Member("././@LongLink", "image.bin", 'L') + Member("decoy", kEvil),
         "GNU long name"},
        {"GNU long link name", Member("././@LongLink", "/etc/passwd", 'K') + Member("link", "", '2'),
         "GNU long name"},
        {"absolute name", kGood + Member("/etc/cron.d/x", kEvil), "absolute name"},
        {"name with ..", kGood + Member("../image.bin", kEvil), "\"..\" part"},
        {"name with .. inside", kGood + Member("a/../../image.bin", kEvil), "\"..\" part"},
        {"same name after an empty part", kGood + Member(".//image.bin", kEvil), "\"image.bin\" twice"},
        {"same name after a . part", Member("sub/image.bin", "good") + Member("sub/./image.bin", kEvil),
         "\"sub/image.bin\" twice"},
        // GNU headers keep times where POSIX ones keep a prefix: tar names this one "image.bin".
        {"GNU header with data in the prefix field",
         kGood + Member("image.bin", kEvil, '0',
                        [](char* h) {
                            std::memcpy(h + 257, "ustar  \0", 8);
                            std::memcpy(h + 345, "elsewhere", 9);
                        }),
         "\"image.bin\" twice"},
        // A size in base-256 that this reader would read as 0.
        {"size in base-256",
         Member("pad", "", '0',
                [](char* h) {
                    std::memset(h + 124, 0, 12);
                    h[124] = static_cast<char>(0x80);
                    h[135] = 1;
                }) +
             kGood,
         "not in octal"},
    };
    for (const TarCase& c : cases) {
        const auto index = Index(c.tar);
        ASSERT_FALSE(index) << c.name;
        EXPECT_NE(index.error().find(c.error), std::string::npos) << c.name << ": " << index.error();
    }
}

}  // namespace
}  // namespace xqt::test

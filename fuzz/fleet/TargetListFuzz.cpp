// Command-line address lists on arbitrary bytes: never crashes, and either takes at most the limit
// of distinct, usable (unicast) cameras, each named by a line of the text, or refuses the whole list naming a
// line of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "camera/HostPort.h"
#include "fleet/TargetListText.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // The first byte picks whether the reader stopped at a zero byte, and a small limit now and then.
    const bool cutAtZero = size > 0 && (data[0] & 1) != 0;
    const int limit = size > 0 && (data[0] & 2) != 0 ? 8 : xqt::MAX_LIST_TARGETS;
    const xqt::TargetListText list = xqt::ReadTargetList(bytes, cutAtZero, limit);
    int lines = 1;
    for (char c : bytes)
        lines += c == '\n' || c == '\r';
    if (list.Accepted()) {
        Check(!cutAtZero);
        Check(list.error.empty());
        Check(list.targets.size() <= static_cast<std::size_t>(limit));
        std::set<std::pair<std::uint32_t, int>> seen;
        for (const xqt::ListedTarget& t : list.targets) {
            Check(t.entry.port >= 1 && t.entry.port <= 65535);
            Check(t.line >= 1 && t.line <= lines);
            const auto& a = t.entry.address;
            const std::uint32_t value = std::uint32_t{a[0]} << 24 | a[1] << 16 | a[2] << 8 | a[3];
            Check(seen.insert({value, t.entry.port}).second);
            Check(!xqt::NonUnicastKind(a));
        }
    } else {
        Check(list.targets.empty());
        Check(list.errorLine >= 1 && list.errorLine <= lines + 1);
        Check(list.error.rfind("line " + std::to_string(list.errorLine) + ": ", 0) == 0);
    }
    return 0;
}

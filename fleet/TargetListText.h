#pragma once
// The address lists of the command line (`batch --targets`, `check-list`): one camera or range a
// line, as people write them. Unlike the wizard's import (AddressListParser, which keeps its own
// rules, texts and 256 entries), a line may carry a comment, blanks around it, a range
// "a.b.c.d-e" of last octets or a CIDR block /22 to /32, and the first line may be a header. A
// list is taken whole or refused with the line and what is wrong with it. Pure function; any
// thread.

#include <string>
#include <string_view>
#include <vector>

#include "fleet/AddressListParser.h"

namespace xqt {

/// Cameras a command-line list may name, each address of a range or block counted.
inline constexpr int MAX_LIST_TARGETS = 4096;

struct ListedTarget {
    AddressEntry entry;
    int line = 0;  ///< 1-based line of the file that named it
};

struct TargetListText {
    std::vector<ListedTarget> targets;  ///< in list order; empty when refused
    int errorLine = 0;                  ///< 0 when accepted, else the 1-based line refused
    std::string error;                  ///< "line N: what is wrong" when refused

    [[nodiscard]] bool Accepted() const { return errorLine == 0; }
};

/// Reads `text`, which holds a whole file unless `cutAtZero` says that the file went on after a
/// zero byte (a list is text; such a file is refused at the line of the zero byte). A UTF-8 byte
/// order mark at the start is skipped. Lines end at LF, CR LF or CR. On a line, "#" starts a
/// comment; blanks (space, TAB) around the entry are dropped; an empty line is skipped. The first
/// line with an entry may be a header of column names (it starts with a letter; a host name such as
/// "cam1.local" or an IPv6 address is no header, but an entry that is refused). An entry is
///   ADDRESS | ADDRESS-LAST | NETWORK/BITS   optionally followed by ":", "," or blanks and a port
/// (1-65535, default 80). A range takes the addresses from ADDRESS to its last octet LAST; a block
/// takes its usable host addresses (all of them for /31 and /32) and must start at its network
/// address. An address that is no camera's (see NonUnicastKind), also within a range or block, and a
/// repeated address:port are refused, the latter naming both lines. At most `limit` cameras.
[[nodiscard]] TargetListText ReadTargetList(std::string_view text, bool cutAtZero = false,
                                            int limit = MAX_LIST_TARGETS);

}  // namespace xqt

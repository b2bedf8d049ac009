#include "fleet/TargetListText.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "camera/HostPort.h"
#include "fleet/TextForms.h"
#include "platform/BoundedText.h"

namespace xqt {

namespace {

/// Characters of a refused line quoted in its message; a longer line is cut.
constexpr std::size_t QUOTE_MAX = 60;
constexpr int NARROWEST_BLOCK = 22;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

/// A text that names a camera in a form the list does not take: an IPv6 address (two colons or a
/// bracket) or a host name (letters with a dot or a digit: "cam1", "cam1.local"). Only the text up
/// to the first blank, TAB, comma or semicolon counts; a port or a second column may follow.
bool LooksLikeHost(std::string_view text) {
    text = text.substr(0, text.find_first_of(" \t,;"));
    bool letter = false, dotOrDigit = false;
    int colons = 0;
    for (char c : text) {
        letter = letter || IsLetter(c);
        dotOrDigit = dotOrDigit || c == '.' || IsDigit(c);
        colons += c == ':';
        if (c == '[') return true;
    }
    return colons >= 2 || (letter && dotOrDigit);
}

std::string Quote(std::string_view s) {
    std::string out = "\"" + std::string(s.substr(0, QUOTE_MAX));
    if (s.size() > QUOTE_MAX) out += "...";
    return out + "\"";
}

/// A decimal number of at most `digits` digits at the front of `s`, consumed; nullopt when none.
std::optional<std::uint32_t> TakeNumber(std::string_view& s, std::size_t digits) {
    std::size_t n = 0;
    std::uint32_t value = 0;
    while (n < s.size() && IsDigit(s[n])) {
        if (n == digits) return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(s[n] - '0');
        ++n;
    }
    if (n == 0) return std::nullopt;
    s.remove_prefix(n);
    return value;
}

/// "a.b.c.d" at the front of `s`, consumed, as a 32-bit number.
std::optional<std::uint32_t> TakeAddress(std::string_view& s) {
    std::uint32_t address = 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (s.empty() || s.front() != '.') return std::nullopt;
            s.remove_prefix(1);
        }
        const auto octet = TakeNumber(s, 3);
        if (!octet || *octet > 255) return std::nullopt;
        address = address << 8 | *octet;
    }
    return address;
}

Octets OctetsOf(std::uint32_t address) {
    return {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
            static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
}

/// What one entry names: the addresses first..last and the port; or why it names nothing.
struct Entry {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    int port = 80;
    std::string error;
};

Entry ReadEntry(std::string_view text) {
    Entry entry;
    std::string_view s = text;
    const auto address = TakeAddress(s);
    if (!address && LooksLikeHost(text)) {
        entry.error =
            Quote(text) +
            " is a host name or an IPv6 address; the list takes IPv4 addresses only (a.b.c.d, a range "
            "a.b.c.d-e or a block a.b.c.d/nn): host names and IPv6 are not supported";
        return entry;
    }
    if (!address) {
        entry.error = Quote(text) + " is not an address (a.b.c.d, a range a.b.c.d-e or a block a.b.c.d/nn)";
        return entry;
    }
    entry.first = entry.last = *address;
    if (!s.empty() && s.front() == '-') {
        s.remove_prefix(1);
        const auto end = TakeNumber(s, 3);
        if (!end || *end > 255) {
            entry.error = Quote(text) + ": a range ends in a last octet 0-255 (a.b.c.d-e)";
            return entry;
        }
        if (*end < (*address & 0xFF)) {
            entry.error = Quote(text) + ": the range ends before it starts";
            return entry;
        }
        entry.last = (*address & 0xFFFFFF00u) | *end;
    } else if (!s.empty() && s.front() == '/') {
        s.remove_prefix(1);
        const auto bits = TakeNumber(s, 2);
        if (!bits || *bits > 32) {
            entry.error = Quote(text) + ": a block is a.b.c.d/nn with nn from 22 to 32";
            return entry;
        }
        if (*bits < NARROWEST_BLOCK) {
            entry.error = Quote(text) + ": a block of /" + std::to_string(*bits) +
                          " is too large; the list takes /22 to /32";
            return entry;
        }
        const std::uint32_t hostMask = *bits == 32 ? 0 : (0xFFFFFFFFu >> *bits);
        if ((*address & hostMask) != 0) {
            entry.error = Quote(text) + ": a block starts at its network address, here " +
                          AddressText(OctetsOf(*address & ~hostMask), 80) + "/" + std::to_string(*bits);
            return entry;
        }
        entry.last = *address | hostMask;
        // The network and broadcast addresses are no cameras, except in /31 and /32.
        if (*bits < 31) {
            ++entry.first;
            --entry.last;
        }
    }
    const std::string_view rest = s;
    if (!s.empty() && (s.front() == ':' || s.front() == ',' || IsBlank(s.front()))) {
        s.remove_prefix(1);
        s = Trim(s);
        const auto port = TakeNumber(s, 5);
        if (!port || !s.empty()) {
            entry.error = Quote(text) + ": " + Quote(Trim(rest.substr(1))) + " is not a port number";
            return entry;
        }
        if (*port < 1 || *port > 65535) {
            entry.error = Quote(text) + ": port " + std::to_string(*port) + " is outside 1-65535";
            return entry;
        }
        entry.port = static_cast<int>(*port);
    } else if (!s.empty()) {
        entry.error = Quote(text) + " is not an address (a.b.c.d, a range a.b.c.d-e or a block a.b.c.d/nn)";
    }
    return entry;
}

}  // namespace

TargetListText ReadTargetList(std::string_view text, bool cutAtZero, int limit) {
    TargetListText list;
    auto refuse = [&list](int line, const std::string& what) {
        list.targets.clear();
        list.errorLine = line;
        list.error = "line " + std::to_string(line) + ": " + what;
        return list;
    };
    text = platform::WithoutByteOrderMark(text);

    std::unordered_map<std::uint64_t, int> lineOf;  // address << 16 | port -> the line naming it
    bool headerAllowed = true;
    int number = 0;
    std::size_t pos = 0;
    while (pos < text.size() || (pos == text.size() && cutAtZero)) {
        ++number;
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size())
            pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
        else if (cutAtZero)
            return refuse(number, "a zero byte (NUL); an address list is plain text");

        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        // The column names of a table export ("address,port") may head the list; a first line that
        // names a camera by host name or IPv6 address is read as an entry, and refused, so that no
        // camera is dropped from the run unseen.
        if (headerAllowed && IsLetter(line.front()) && !LooksLikeHost(line)) {
            headerAllowed = false;
            continue;
        }
        headerAllowed = false;
        const Entry entry = ReadEntry(line);
        if (!entry.error.empty()) return refuse(number, entry.error);
        const std::uint64_t count = std::uint64_t{entry.last} - entry.first + 1;
        if (list.targets.size() + count > static_cast<std::uint64_t>(limit))
            return refuse(number, "the list names more than " + std::to_string(limit) +
                                      " cameras here (ranges and blocks count every address); split it");
        for (std::uint64_t a = entry.first; a <= entry.last; ++a) {
            const auto key = a << 16 | static_cast<std::uint64_t>(entry.port);
            const Octets octets = OctetsOf(static_cast<std::uint32_t>(a));
            if (const char* kind = NonUnicastKind(octets))
                return refuse(number, (entry.first == entry.last ? "" : Quote(line) + " holds ") +
                                          AddressText(octets, 80) + ", " + kind + ", not a camera's");
            if (const auto [at, added] = lineOf.emplace(key, number); !added)
                return refuse(number, AddressText(octets, entry.port) + " is already listed on line " +
                                          std::to_string(at->second));
            list.targets.push_back({AddressEntry{octets, entry.port}, number});
        }
    }
    return list;
}

}  // namespace xqt

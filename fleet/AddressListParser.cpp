#include "fleet/AddressListParser.h"

#include <array>
#include <cstdio>
#include <fstream>

#include "camera/HostPort.h"
#include "platform/BoundedText.h"
#include "platform/ResourceText.h"

namespace xqt {

namespace {

constexpr std::uint16_t RES_INFORMATION_CAPTION = 203;
constexpr std::uint16_t RES_MIXED_SEPARATORS = 305;
constexpr std::uint16_t RES_BAD_CHARACTER = 306;
constexpr std::uint16_t RES_BAD_LINE = 307;
constexpr std::size_t MAX_PORT_CHARS = 5;

/// One line of the text: its content and where the next line starts. Both passes split the text
/// with this, so they see the same lines. A CR takes the byte after it as part of the line break
/// (normally the LF of CR LF), but never the terminating zero: a text ending in CR ends there as
/// after CR LF.
struct Line {
    std::string_view content;
    std::size_t next = 0;
    bool last = false;  ///< the text ends with this line (no line break after it)
};

Line NextLine(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (text[end] != '\0' && text[end] != '\r' && text[end] != '\n')
        ++end;
    Line line{text.substr(pos, end - pos), end, false};
    if (text[end] == '\0') {
        line.last = true;
    } else if (text[end] == '\n') {
        line.next = end + 1;
    } else {
        line.next = end + 1;
        if (text[line.next] != '\0') ++line.next;
    }
    return line;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

/// What scanning a line with "%d.%d.%d.%d", the separator and "%5s" gives, read the way the
/// C scanner reads it: numbers and the port string after skipped white space, a white-space
/// separator (TAB) matching any run of white space, and anything after the last match ignored.
struct Scan {
    int numbers = 0;  ///< address numbers read (all four are needed)
    std::array<long, 4> value{};
    std::string port;  ///< at most five characters, empty when absent
};

Scan ScanLine(std::string_view line, char separator) {
    Scan s;
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < line.size() && IsSpace(line[i]))
            ++i;
    };
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (i >= line.size() || line[i] != '.') return s;
            ++i;
        }
        skipSpace();
        if (i >= line.size() || !IsDigit(line[i])) return s;
        long v = 0;
        for (; i < line.size() && IsDigit(line[i]); ++i) {
            // Anything above 255 is refused; saturate rather than overflow on long digit runs.
            if (v <= 255) v = v * 10 + (line[i] - '0');
        }
        s.value[k] = v;
        s.numbers = k + 1;
    }
    if (IsSpace(separator)) {
        skipSpace();
    } else {
        if (i >= line.size() || line[i] != separator) return s;
        ++i;
    }
    skipSpace();
    while (i < line.size() && !IsSpace(line[i]) && s.port.size() < MAX_PORT_CHARS)
        s.port += line[i++];
    return s;
}

/// The decimal value of the leading digits of `text` (0 when it starts with none).
long LeadingValue(std::string_view text) {
    long v = 0;
    for (char c : text) {
        if (!IsDigit(c)) break;
        v = v * 10 + (c - '0');
    }
    return v;
}

/// `pattern` with its first "%s" replaced by `insert` and "%%" read as "%"; nothing else in the
/// resource text is taken as a format.
std::string InsertText(const std::string& pattern, const std::string& insert) {
    std::string out;
    bool inserted = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (pattern[i + 1] == 's' && !inserted) {
                out += insert;
                inserted = true;
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

}  // namespace

bool AddressListParser::LoadFile(const std::string& path) {
    // Bounded, so an endless source is refused instead of read forever; the text ends at its
    // first zero byte.
    const platform::BoundedText text = platform::ReadBoundedText(path);
    if (text.outcome != platform::TextReadOutcome::Read) return false;
    // A byte order mark before the first line is the editor's, not part of the list.
    return LoadText(platform::WithoutByteOrderMark(text.bytes));
}

bool AddressListParser::LoadClipboard() {
    if (!clipboard_) return false;
    std::optional<std::string> text = clipboard_->ReadText();
    if (!text) return false;
    return LoadText(*text);
}

bool AddressListParser::LoadText(std::string_view bytes) {
    text_.assign(bytes.substr(0, bytes.find('\0')));
    text_.push_back('\0');
    return Parse();
}

bool AddressListParser::Parse() {
    if (text_.empty()) text_.push_back('\0');
    entries_.clear();
    errorLine_.clear();
    return CheckCharacters() && ParseLines();
}

bool AddressListParser::CheckCharacters() {
    tabCount_ = colonCount_ = commaCount_ = 0;
    if (text_.empty()) text_.push_back('\0');
    // Looks at the lines the second pass can read: up to the end of the MAX_CAMERAS-th non-empty
    // line, so that no line is parsed that this pass has not checked.
    int lines = 0;
    std::size_t pos = 0;
    while (lines < MAX_CAMERAS) {
        Line line = NextLine(text_, pos);
        for (char c : line.content) {
            if (IsDigit(c) || c == '.') continue;
            if (c == '\t') {
                ++tabCount_;
            } else if (c == ':') {
                ++colonCount_;
            } else if (c == ',') {
                ++commaCount_;
            } else {
                return Refuse(RES_BAD_CHARACTER, "", platform::MbIcon::Information);
            }
        }
        if (line.last) break;
        if (!line.content.empty()) ++lines;
        pos = line.next;
    }
    const int s = tabCount_ + colonCount_ + commaCount_;
    if (s == tabCount_ || s == colonCount_ || s == commaCount_) return true;
    return Refuse(RES_MIXED_SEPARATORS, "", platform::MbIcon::Information);
}

bool AddressListParser::ParseLines() {
    const char separator = tabCount_ > 0 ? '\t' : (colonCount_ > 0 ? ':' : ',');
    entries_.clear();
    errorLine_.clear();
    if (text_.empty()) text_.push_back('\0');
    std::size_t pos = 0;
    while (text_[pos] != '\0') {
        Line line = NextLine(text_, pos);
        pos = line.next;
        if (line.content.empty()) continue;

        Scan scan = ScanLine(line.content, separator);
        bool valid = scan.numbers == 4;
        for (long v : scan.value)
            valid = valid && v <= 255;
        AddressEntry entry;
        if (valid) {
            for (int k = 0; k < 4; ++k)
                entry.address[k] = static_cast<std::uint8_t>(scan.value[k]);
            long port = LeadingValue(scan.port);
            if (port == 0) {
                if (scan.port.empty()) {
                    port = 80;
                } else {
                    valid = false;
                }
            }
            if (port != 80 && (port < 1024 || port > 65535)) valid = false;
            entry.port = static_cast<std::int32_t>(port);
            // A broadcast or multicast address would reach every host of a network, not a camera.
            if (NonUnicastKind(entry.address)) valid = false;
        }
        if (!valid) {
            errorLine_.assign(line.content);
            char number[32];
            std::snprintf(number, sizeof number, "Line%03d:>", EntryCount() + 1);
            entries_.clear();
            return Refuse(RES_BAD_LINE, number + errorLine_, platform::MbIcon::Question);
        }
        entries_.push_back(entry);
        if (EntryCount() >= MAX_CAMERAS) break;
    }
    return true;
}

std::optional<AddressEntry> AddressListParser::Get(int index) const {
    if (index < 0 || index >= EntryCount()) return std::nullopt;
    return entries_[index];
}

bool AddressListParser::Refuse(std::uint16_t textId, const std::string& insert, platform::MbIcon icon) {
    std::string text = platform::TextOf(textId);
    if (textId == RES_BAD_LINE) text = InsertText(text, insert);
    owner_->Show(text, platform::TextOf(RES_INFORMATION_CAPTION), platform::MbButtons::Ok, icon);
    return false;
}

}  // namespace xqt

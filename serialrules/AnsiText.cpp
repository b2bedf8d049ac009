// Conversion of serial numbers to the 8-bit ANSI code page (Windows-1252) that the rules compare.
#include <array>

#include "serialrules/SerialProtect.h"

namespace ns_serial_protect::detail {

namespace {

// Code points of the bytes 0x80..0x9F; the five bytes that Windows-1252 leaves unassigned map to
// the C1 control of the same value, as the system's own conversion does.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToAnsi(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

std::string Utf16ToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;  // a pair stands for a character beyond the code page
            out += '?';
        } else {
            out += ToAnsi(u);  // a lone surrogate has no byte either
        }
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = s[i];
        std::size_t len = 0;
        if (lead < 0x80) {
            len = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            len = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            len = 3;
        } else if ((lead & 0xF8) == 0xF0) {
            len = 4;
        }
        char32_t cp = 0;
        bool ok = len != 0 && i + len <= n;
        if (ok) {
            cp = len == 1 ? lead : lead & (0xFF >> (len + 1));
            for (std::size_t k = 1; k < len; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) ok = false;
                cp = (cp << 6) | (s[i + k] & 0x3F);
            }
            static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
        }
        if (!ok) {
            out += '?';  // one malformed byte at a time, so the next character is not swallowed
            ++i;
            continue;
        }
        out += ToAnsi(cp);
        i += len;
    }
    return out;
}

}  // namespace ns_serial_protect::detail

#include "app/Credential.h"

#include <array>
#include <cstdint>

#include "platform/TextCodec.h"

namespace xqt::detail {

namespace {

// Code points of bytes 0x80-0x9F in Windows-1252; 0 marks the five bytes without a character,
// which map from the C1 control of the same value.
constexpr std::array<char16_t, 32> HIGH_CONTROLS = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToAnsiByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < HIGH_CONTROLS.size(); ++i)
        if (HIGH_CONTROLS[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

std::string Utf8ToAnsi(const std::string& utf8) {
    const std::u16string units = platform::Utf8ToUtf16(utf8);
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF)
            ++i;  // a character outside the basic plane is one "?"
        out.push_back(c >= 0xD800 && c <= 0xDFFF ? '?' : ToAnsiByte(c));
    }
    return out;
}

std::string Base64(const std::string& bytes) {
    static constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t v =
            (std::uint8_t(bytes[i]) << 16) | (std::uint8_t(bytes[i + 1]) << 8) | std::uint8_t(bytes[i + 2]);
        out += {ALPHABET[v >> 18], ALPHABET[(v >> 12) & 63], ALPHABET[(v >> 6) & 63], ALPHABET[v & 63]};
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        std::uint32_t v = std::uint8_t(bytes[i]) << 16;
        out += {ALPHABET[v >> 18], ALPHABET[(v >> 12) & 63], '=', '='};
    } else if (rest == 2) {
        std::uint32_t v = (std::uint8_t(bytes[i]) << 16) | (std::uint8_t(bytes[i + 1]) << 8);
        out += {ALPHABET[v >> 18], ALPHABET[(v >> 12) & 63], ALPHABET[(v >> 6) & 63], '='};
    }
    return out;
}

std::string EncodeCredential(const std::string& name, const std::string& password) {
    return Base64(Utf8ToAnsi(name + ":" + password));
}

}  // namespace xqt::detail

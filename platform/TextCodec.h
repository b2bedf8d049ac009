#pragma once
// Text conversions. Inside the program texts are UTF-8; stored resources are UTF-16LE.

#include <cstddef>
#include <string>
#include <string_view>

namespace xqt::platform {

/// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
/// UTF-8 to UTF-16 code units; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

/// The code point of the UTF-8 sequence at `position`, which moves past it. A malformed, overlong
/// or cut sequence gives U+FFFD and moves one byte. `position` must lie inside `text`.
char32_t NextCodePoint(std::string_view text, std::size_t& position);
/// Appends `cp` (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

/// `text` with the ASCII letters A-Z in lower case; every other byte, UTF-8 sequences included,
/// unchanged, whatever the process's locale.
std::string AsciiLower(std::string_view text);

}  // namespace xqt::platform

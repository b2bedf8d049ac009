#pragma once
// Text conversions. Inside the program texts are UTF-8; stored resources are UTF-16LE.

#include <string>

namespace xqt::platform {

/// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
/// UTF-8 to UTF-16 code units; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace xqt::platform

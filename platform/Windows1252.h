#pragma once
// The 8-bit code page of everything said on the wire (request bodies, answers, credentials,
// multipart parts, discovery datagrams, address lists), standing in for the system ANSI code page.
// Inside the program texts are UTF-8. Pure functions; any thread.

#include <string>
#include <string_view>

namespace xqt::platform {

/// The Windows-1252 byte of `cp`, or '?' when the code page has none.
char CodePointToWindows1252(char32_t cp);

/// UTF-8 to Windows-1252 bytes. Characters the code page cannot hold, and malformed UTF-8, become "?".
std::string Utf8ToWindows1252(std::string_view utf8);

/// Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
/// 0x90, 0x9D) map to the control characters of the same value, so the round trip loses nothing.
std::string Windows1252ToUtf8(std::string_view bytes);

}  // namespace xqt::platform

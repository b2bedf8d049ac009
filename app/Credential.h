#pragma once
// The Base64 credential of every camera request, formed from the administrator's name and
// password. Kept here until the engine's own encoder is merged; the two must give the same text.

#include <string>

namespace xqt::detail {

/// UTF-8 text to 8-bit Windows-1252 bytes; characters without a byte there become "?".
std::string Utf8ToAnsi(const std::string& utf8);

/// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks) of arbitrary bytes.
std::string Base64(const std::string& bytes);

/// Base64 of the ANSI bytes of name + ":" + password.
std::string EncodeCredential(const std::string& name, const std::string& password);

}  // namespace xqt::detail

#pragma once
// The credential of every camera request: standard Base64 (RFC 4648 alphabet, "=" padding, no line
// breaks) of the 8-bit bytes of name, ":" and password. Pure functions; any thread.

#include <string>
#include <string_view>

namespace xqt {

/// Longest credential a session holds: name, colon and password of at most 57 bytes.
inline constexpr std::size_t CREDENTIAL_MAX = 79;

/// Base64 of `bytes`.
std::string Base64Encode(std::string_view bytes);

/// Base64 of name + ":" + password after conversion from UTF-8 to the wire code page
/// (characters it cannot hold become "?").
[[nodiscard]] std::string EncodeCredential(std::string_view name, std::string_view password);

/// The name of a credential EncodeCredential made (UTF-8), for messages; empty when `credential` is
/// no Base64 of a text with a ":". The password is never returned.
std::string CredentialUser(std::string_view credential);

}  // namespace xqt

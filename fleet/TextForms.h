#pragma once
// The text forms shared by the camera lists: address text, ID text, version text, page address,
// and the order in which the lists sort texts. Pure functions, callable from any thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "fleet/CameraRecord.h"

namespace xqt {

/// "a.b.c.d" when the port is 80, else "a.b.c.d:port". Port 80 is never written.
[[nodiscard]] std::string AddressText(const Octets& address, std::int32_t port);

/// "%03d" of a 1-based row number ("001", "002", ..., "256").
[[nodiscard]] std::string IdText(int rowNumber);

/// A version text from a camera without a leading "ver" (exactly those three lower-case letters).
[[nodiscard]] std::string StripVer(std::string_view version);

/// The camera's web page: "http://a.b.c.d/" when the port is 80, else "http://a.b.c.d:port/".
[[nodiscard]] std::string PageAddress(const Octets& address, std::int32_t port);

/// Orders two UTF-8 texts by their UTF-16 code units (case-sensitive, no numeric ordering):
/// negative, zero or positive like strcmp.
int CompareUtf16(std::string_view a, std::string_view b);

}  // namespace xqt

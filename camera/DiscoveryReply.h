#pragma once
// The discovery wire format: the enquiry datagram and the grammar of the cameras' replies.
// Pure functions over bytes; safe from any thread.
//
// A reply is 8-bit text made of fields, each a key with its colon followed by the value and ended
// by the byte 0xFF: "MODEL:", "SERIAL:", "MAC:", "IPADR:", "WEBPORT:", "SOFTVERSION:", "DHCP:",
// "DNSAUTO:". Values are kept as the camera sent them (Windows-1252 bytes); whoever shows them
// converts.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace xqt {

inline constexpr std::uint16_t DISCOVERY_PORT = 2380;
/// Largest datagram read; longer ones are cut to this size.
inline constexpr std::size_t DISCOVERY_DATAGRAM_MAX = 1072;
/// The enquiry every camera answers: 0x02 "ENQ:allinfo" 0xFF 0x03.
inline constexpr std::array<std::uint8_t, 14> DISCOVERY_ENQUIRY = {0x02, 'E', 'N', 'Q', ':', 'a',  'l',
                                                                   'l',  'i', 'n', 'f', 'o', 0xFF, 0x03};
inline constexpr char FIELD_END = '\xFF';

/// Rooms of the reply fields as the table reads them: a value keeps at most room - 1 bytes.
inline constexpr std::size_t ROOM_MODEL = 32;
inline constexpr std::size_t ROOM_SERIAL_CHECK = 32;  ///< the serial as the rules see it
inline constexpr std::size_t ROOM_SERIAL = 12;        ///< the serial as the table keeps it
inline constexpr std::size_t ROOM_VERSION = 16;
inline constexpr std::size_t ROOM_MAC = 18;
inline constexpr std::size_t ROOM_IPADR = 16;
inline constexpr std::size_t ROOM_WEBPORT = 16;

/// The value of the first occurrence of `key` anywhere in `text`: the bytes after the key up to
/// the next 0xFF (or the end of the text), cut to `room` - 1 bytes. Empty when the key is absent.
/// The result views `text`.
std::string_view ReadField(std::string_view text, std::string_view key, std::size_t room);

/// True when `key` is present and its whole value is exactly "ON".
[[nodiscard]] bool IsFieldOn(std::string_view text, std::string_view key);

/// The four numbers of a dotted address read as "%d.%d.%d.%d" would read them: reading stops at
/// the first number that cannot be read, whose place and those after it stay 0; each number keeps
/// its low byte.
std::array<std::uint8_t, 4> ParseIpAddress(std::string_view value);

/// The port of a WEBPORT value: 80 when the value is empty, else its leading decimal number
/// (0 when there is none), held within the 32-bit range.
[[nodiscard]] std::int32_t ParseWebPort(std::string_view value);

}  // namespace xqt

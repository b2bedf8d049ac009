#pragma once
// One camera that answered the discovery enquiry, as a plain value. The discovery table hands out
// copies of these; the lists convert them into their own records.

#include <array>
#include <cstdint>
#include <string>

namespace xqt {

struct DiscoveryEntry {
    std::string model;    ///< MODEL value, at most 31 characters
    std::string serial;   ///< SERIAL value, at most 11 characters
    std::string version;  ///< SOFTVERSION value, at most 15 characters
    std::string mac;      ///< MAC value, at most 17 characters; the entry is in use when not empty
    std::array<std::uint8_t, 4> ipAddress{};  ///< IPADR numbers in text order
    bool dhcp = false;                        ///< DHCP is "ON"
    bool dnsAuto = false;                     ///< DNSAUTO is "ON"
    std::int32_t webPort = 80;                ///< WEBPORT value, 80 when empty
};

}  // namespace xqt

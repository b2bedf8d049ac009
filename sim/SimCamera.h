#pragma once
// Description of one simulated camera: what it reports, how it behaves, and the faults it can be
// told to show. Fleet files (JSON) hold a list of these.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace xqt::sim {

struct SimUser {
    std::string name;
    std::string password;
    bool administrator = false;
};

/// Faults of the discovery responder. A camera with an unlisted model needs no knob: give it
/// that model.
struct DiscoveryKnobs {
    bool silent = false;                  ///< never answers the enquiry
    std::vector<std::string> omitFields;  ///< keys left out of the reply, e.g. "WEBPORT:"
    int repeat = 1;                       ///< datagrams sent per enquiry (duplicates)
    /// Values sent instead of the camera's own, byte for byte, by key (e.g. "MODEL:" → a 40-byte
    /// model); a value may hold 0xFF or NUL bytes.
    std::map<std::string, std::string> valueOverrides;
    std::string extraBytes;  ///< appended after the last field, e.g. an unterminated field or noise
    /// Answers as this many cameras (at most 65536): copy i reports the MAC, IPADR and the trailing
    /// number of the serial advanced by i.
    int burst = 1;
};

struct SimCamera {
    // Identity and what the camera reports.
    std::string model = "XQT-TR60";
    std::string serial = "1000001";
    std::string mac = "08:00:46:00:00:01";
    std::string softVersion = "1.10";
    std::string docType;
    bool panTilt = false;
    bool dhcp = false;
    bool dnsAuto = false;
    bool emergency = false;  ///< recovery state: reports the emergency version and takes the image silently
    std::vector<SimUser> users{{"admin", "admin", true}, {"user", "user", false}};

    // Where it listens (loopback only). ipText is also what discovery reports as IPADR.
    std::string ipText = "127.0.1.1";
    std::uint16_t webPort = 80;

    DiscoveryKnobs discovery;
};

}  // namespace xqt::sim

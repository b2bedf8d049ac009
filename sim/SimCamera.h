#pragma once
// Description of one simulated camera: what it reports, how it behaves, and the faults it can be
// told to show. Fleet files (JSON, sim/FleetFile.h) hold a list of these, with the same names as keys.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/UpgradeKnobs.h"

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

/// Faults of the HTTP interface. Delays are in milliseconds of simulated time (the fleet's time
/// scale applies).
struct HttpKnobs {
    std::vector<std::string> onlyFor;  ///< request bodies the faults apply to, e.g. "inq=user"; empty: all
    bool neverAnswer = false;          ///< reads the request and then stays silent until the client leaves
    int answerDelayMs = 0;             ///< pause before the answer goes out
    int pieceSize = 0;                 ///< > 0: the response goes out in writes of this many bytes
    int pieceDelayMs = 0;              ///< pause between those writes
    int padAnswerTo = 0;           ///< > 0: inquiry answers grow to at least this many bytes (a filler field)
    bool garbage = false;          ///< answers with bytes that are no HTTP response, then closes
    bool resetConnection = false;  ///< resets the connection instead of answering
    bool closeDelimited = false;   ///< HTTP/1.0 answer without Content-Length, ended by closing
    bool refuseLogin = false;      ///< refuses every credential (401 with WWW-Authenticate)
    bool authenticateAll = false;  ///< every inquiry needs a known user, not only inq=user
    std::string challengeBody = "<HTML><BODY>401 Unauthorized</BODY></HTML>";  ///< body of a 401
    std::map<std::string, std::string> answers;  ///< request body -> answer text replacing the built-in one
};

/// The saved-configuration routes: GET "/home/l4/<model in lower case>.cfg" and the restore POST.
/// Durations are in milliseconds of simulated time.
struct ConfigKnobs {
    std::string fileName;       ///< name served below "/home/l4/"; empty: the model in lower case + ".cfg"
    bool htmlPage = false;      ///< the configuration GET answers 200 with an HTML page instead
    int htmlAfter = 0;          ///< with htmlPage: that many bytes of the configuration come before the page
    int failRestores = 0;       ///< the first K restores with the right credential drop the connection
    int reconfigureMs = 30000;  ///< after a restore the camera answers nothing for this long
    /// The status of the answer to a restore: 2xx or 3xx (a redirect to the camera's page) take the
    /// configuration; 4xx and 5xx refuse it after reading it.
    int restoreStatus = 200;
};

/// What a camera of the family holds as its configuration until a restore replaces it.
inline const std::string DEFAULT_CONFIGURATION =
    "[System]\r\nCameraName=XQT Camera\r\nTimeZone=+0000\r\n[Network]\r\nDhcp=off\r\n"
    "[Users]\r\nAdministrator=admin\r\n[Image]\r\nResolution=1920x1080\r\nFrameRate=30\r\n";

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
    bool emergency = false;  ///< emergency state: reports the emergency version and takes the image silently
    std::vector<SimUser> users{{"admin", "admin", true}, {"user", "user", false}};

    // Where it listens (loopback only). ipText is also what discovery reports as IPADR.
    std::string ipText = "127.0.1.1";
    std::uint16_t webPort = 80;

    /// Versions of the images the camera knows, by their SHA-256 (from a firmware bundle): an image
    /// taken is reported at its version after the reboot. Other images report the version in the
    /// placeholder's header, or none.
    std::map<std::string, std::string> imageVersions;

    /// Bytes served as the saved configuration; a restore replaces them.
    std::string configuration = DEFAULT_CONFIGURATION;

    DiscoveryKnobs discovery;
    HttpKnobs http;
    UpgradeKnobs upgrade;
    ConfigKnobs config;
};

}  // namespace xqt::sim

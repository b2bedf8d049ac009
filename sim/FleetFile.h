#pragma once
// Fleet files: JSON describing simulated cameras, with the field names of SimCamera as keys.
//
//   { "timeScale": 1.0,
//     "cameras": [ { "ipText": "127.0.1.1", "webPort": 80, "model": "XQT-TR60", "serial": "1000001",
//                    "mac": "08:00:46:00:00:01", "softVersion": "1.10", "docType": "", "panTilt": false,
//                    "dhcp": false, "dnsAuto": false, "emergency": false,
//                    "users": [ { "name": "admin", "password": "admin", "administrator": true } ],
//                    "discovery": { "silent": false, "omitFields": [], "repeat": 1 },
//                    "http": { "answerDelayMs": 0, "pieceSize": 0, ... } } ] }
//
// A bare array of cameras is accepted too. Absent keys keep SimCamera's defaults; unknown keys and
// values of the wrong type are errors, so a misspelt knob is never silently ignored.

#include <stdexcept>
#include <string>
#include <vector>

#include "camera/BundleManifest.h"
#include "sim/SimCamera.h"

namespace xqt::sim {

struct Fleet {
    double timeScale = 1.0;
    /// A firmware bundle whose images every camera knows by SHA-256 ("firmware" in the file; a
    /// relative path is taken from the fleet file's folder). Empty: none.
    std::string firmware;
    std::vector<SimCamera> cameras;
};

/// A fleet file that cannot be used; the message names the file position (camera index and key).
class fleet_error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

Fleet ParseFleet(const std::string& json);
Fleet LoadFleetFile(const std::string& path);
/// Teaches every camera of `fleet` the version of each image of the bundle at `bundlePath`, and
/// returns the bundle's manifest (what was learnt). Throws fleet_error naming what is wrong when
/// the bundle cannot be used.
BundleManifest LearnFirmware(Fleet& fleet, const std::string& bundlePath);

/// The fleet as JSON text, in the form ParseFleet reads.
std::string FormatFleet(const Fleet& fleet);

}  // namespace xqt::sim

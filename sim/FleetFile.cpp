#include "sim/FleetFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "camera/FirmwareBundle.h"
#include "platform/EngineTiming.h"

namespace xqt::sim {

using nlohmann::json;

namespace {

class Reader {
  public:
    Reader(const json& object, std::string where) : object_(object), where_(std::move(where)) {
        if (!object_.is_object()) throw fleet_error(where_ + ": expected an object");
    }

    template <class T>
    void Get(const char* key, T& out) {
        seen_.push_back(key);
        auto it = object_.find(key);
        if (it == object_.end()) return;
        try {
            out = it->template get<T>();
        } catch (const json::exception&) {
            throw fleet_error(where_ + "." + key + ": wrong type");
        }
    }

    const json* Child(const char* key) {
        seen_.push_back(key);
        auto it = object_.find(key);
        return it == object_.end() ? nullptr : &*it;
    }

    void RejectUnknown() const {
        for (auto it = object_.begin(); it != object_.end(); ++it) {
            if (std::find(seen_.begin(), seen_.end(), it.key()) == seen_.end()) {
                throw fleet_error(where_ + ": unknown key \"" + it.key() + "\"");
            }
        }
    }

    const std::string& where() const { return where_; }

  private:
    const json& object_;
    std::string where_;
    std::vector<std::string> seen_;
};

SimUser ReadUser(const json& j, const std::string& where) {
    SimUser user;
    Reader r(j, where);
    r.Get("name", user.name);
    r.Get("password", user.password);
    r.Get("administrator", user.administrator);
    r.RejectUnknown();
    return user;
}

SimCamera ReadCamera(const json& j, const std::string& where) {
    SimCamera c;
    Reader r(j, where);
    r.Get("model", c.model);
    r.Get("serial", c.serial);
    r.Get("mac", c.mac);
    r.Get("softVersion", c.softVersion);
    r.Get("docType", c.docType);
    r.Get("panTilt", c.panTilt);
    r.Get("dhcp", c.dhcp);
    r.Get("dnsAuto", c.dnsAuto);
    r.Get("emergency", c.emergency);
    r.Get("ipText", c.ipText);
    r.Get("configuration", c.configuration);
    int port = c.webPort;
    r.Get("webPort", port);
    if (port < 0 || port > 65535) throw fleet_error(where + ".webPort: not a port");
    c.webPort = static_cast<std::uint16_t>(port);
    if (const json* users = r.Child("users")) {
        if (!users->is_array()) throw fleet_error(where + ".users: expected an array");
        c.users.clear();
        for (std::size_t i = 0; i < users->size(); ++i) {
            c.users.push_back(ReadUser((*users)[i], where + ".users[" + std::to_string(i) + "]"));
        }
    }
    if (const json* d = r.Child("discovery")) {
        Reader dr(*d, where + ".discovery");
        dr.Get("silent", c.discovery.silent);
        dr.Get("omitFields", c.discovery.omitFields);
        dr.Get("repeat", c.discovery.repeat);
        dr.RejectUnknown();
    }
    if (const json* h = r.Child("http")) {
        Reader hr(*h, where + ".http");
        HttpKnobs& k = c.http;
        hr.Get("onlyFor", k.onlyFor);
        hr.Get("neverAnswer", k.neverAnswer);
        hr.Get("answerDelayMs", k.answerDelayMs);
        hr.Get("pieceSize", k.pieceSize);
        hr.Get("pieceDelayMs", k.pieceDelayMs);
        hr.Get("padAnswerTo", k.padAnswerTo);
        hr.Get("garbage", k.garbage);
        hr.Get("resetConnection", k.resetConnection);
        hr.Get("closeDelimited", k.closeDelimited);
        hr.Get("refuseLogin", k.refuseLogin);
        hr.Get("authenticateAll", k.authenticateAll);
        hr.Get("challengeBody", k.challengeBody);
        hr.Get("answers", k.answers);
        hr.RejectUnknown();
    }
    if (const json* k = r.Child("config")) {
        Reader kr(*k, where + ".config");
        kr.Get("fileName", c.config.fileName);
        kr.Get("htmlPage", c.config.htmlPage);
        kr.Get("htmlAfter", c.config.htmlAfter);
        kr.Get("failRestores", c.config.failRestores);
        kr.Get("reconfigureMs", c.config.reconfigureMs);
        kr.Get("restoreStatus", c.config.restoreStatus);
        kr.RejectUnknown();
        if (c.config.fileName.find_first_of("/\\") != std::string::npos)
            throw fleet_error(where + ".config.fileName: must be a plain file name");
    }
    if (const json* u = r.Child("upgrade")) ReadUpgradeKnobs(*u, where + ".upgrade", c.upgrade);
    r.RejectUnknown();
    return c;
}

json WriteCamera(const SimCamera& c) {
    json users = json::array();
    for (const auto& u : c.users) {
        users.push_back({{"name", u.name}, {"password", u.password}, {"administrator", u.administrator}});
    }
    const HttpKnobs& k = c.http;
    return {
        {"model", c.model},
        {"serial", c.serial},
        {"mac", c.mac},
        {"softVersion", c.softVersion},
        {"docType", c.docType},
        {"panTilt", c.panTilt},
        {"dhcp", c.dhcp},
        {"dnsAuto", c.dnsAuto},
        {"emergency", c.emergency},
        {"users", users},
        {"ipText", c.ipText},
        {"webPort", c.webPort},
        {"configuration", c.configuration},
        {"config",
         {{"fileName", c.config.fileName},
          {"htmlPage", c.config.htmlPage},
          {"htmlAfter", c.config.htmlAfter},
          {"failRestores", c.config.failRestores},
          {"reconfigureMs", c.config.reconfigureMs},
          {"restoreStatus", c.config.restoreStatus}}},
        {"discovery",
         {{"silent", c.discovery.silent},
          {"omitFields", c.discovery.omitFields},
          {"repeat", c.discovery.repeat}}},
        {"http",
         {{"onlyFor", k.onlyFor},
          {"neverAnswer", k.neverAnswer},
          {"answerDelayMs", k.answerDelayMs},
          {"pieceSize", k.pieceSize},
          {"pieceDelayMs", k.pieceDelayMs},
          {"padAnswerTo", k.padAnswerTo},
          {"garbage", k.garbage},
          {"resetConnection", k.resetConnection},
          {"closeDelimited", k.closeDelimited},
          {"refuseLogin", k.refuseLogin},
          {"authenticateAll", k.authenticateAll},
          {"challengeBody", k.challengeBody},
          {"answers", k.answers}}},
        {"upgrade", WriteUpgradeKnobs(c.upgrade)},
    };
}

}  // namespace

Fleet ParseFleet(const std::string& text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        throw fleet_error(std::string("not valid JSON: ") + e.what());
    }
    Fleet fleet;
    const json* cameras = &root;
    std::optional<Reader> top;
    if (root.is_object()) {
        top.emplace(root, "fleet");
        top->Get("timeScale", fleet.timeScale);
        top->Get("firmware", fleet.firmware);
        cameras = top->Child("cameras");
        top->RejectUnknown();
        if (!cameras) throw fleet_error("fleet: no \"cameras\" array");
        // The same range as the tools' --time-scale: a huge or infinite scale would overflow the
        // scaled delays.
        if (!(fleet.timeScale >= platform::TIME_SCALE_MIN && fleet.timeScale <= platform::TIME_SCALE_MAX))
            throw fleet_error("fleet.timeScale: must be from 0.001 to 10");
    }
    if (!cameras->is_array()) throw fleet_error("fleet.cameras: expected an array");
    for (std::size_t i = 0; i < cameras->size(); ++i) {
        fleet.cameras.push_back(ReadCamera((*cameras)[i], "cameras[" + std::to_string(i) + "]"));
    }
    return fleet;
}

Fleet LoadFleetFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw fleet_error("cannot read fleet file " + path);
    std::ostringstream text;
    text << in.rdbuf();
    Fleet fleet;
    try {
        fleet = ParseFleet(text.str());
    } catch (const fleet_error& e) {
        throw fleet_error(path + ": " + e.what());
    }
    if (!fleet.firmware.empty() && std::filesystem::path(fleet.firmware).is_relative())
        fleet.firmware = (std::filesystem::path(path).parent_path() / fleet.firmware).string();
    return fleet;
}

BundleManifest LearnFirmware(Fleet& fleet, const std::string& bundlePath) {
    // The simulator plays the camera, which takes any image: signatures are the tool's business.
    TrustSettings noKeys;
    noKeys.keyDirectory.clear();
    const BundleLoad load = LoadFirmwareBundle(bundlePath, noKeys);
    if (!load.bundle) throw fleet_error("firmware bundle " + bundlePath + ": " + load.error);
    for (SimCamera& camera : fleet.cameras)
        for (const ManifestImage& image : load.bundle->manifest.images)
            camera.imageVersions[image.sha256] = load.bundle->manifest.version;
    return load.bundle->manifest;
}

std::string FormatFleet(const Fleet& fleet) {
    json cameras = json::array();
    for (const auto& c : fleet.cameras)
        cameras.push_back(WriteCamera(c));
    // Configurations are bytes: anything that is not UTF-8 is written as U+FFFD instead of failing.
    json root{{"timeScale", fleet.timeScale}, {"cameras", cameras}};
    if (!fleet.firmware.empty()) root["firmware"] = fleet.firmware;
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace xqt::sim

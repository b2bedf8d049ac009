// Reading an earlier report back, so that a run resumes without flashing the cameras it finished.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "fleet/Report.h"

namespace xqt {

namespace {

using json = nlohmann::ordered_json;

/// Largest previous report read back (a report of 256 cameras is far below).
constexpr std::size_t REPORT_READ_LIMIT = 16 * 1024 * 1024;

}  // namespace

bool SameMac(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty() || a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) {
            return c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

const DoneCamera* DoneCameras::Candidate(const std::string& mac, const std::string& address) const {
    if (!mac.empty()) {
        for (const DoneCamera& camera : cameras)
            if (SameMac(camera.mac, mac)) return &camera;
    }
    for (const DoneCamera& camera : cameras)
        if (camera.address == address) return &camera;
    return nullptr;
}

Result<DoneCameras> ReadDoneCameras(const std::string& path, const std::string& imageVersion) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Fail("cannot read " + path);
    }
    std::string content;
    content.resize(REPORT_READ_LIMIT + 1);
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > REPORT_READ_LIMIT) {
        return Fail(path + " is too large for a report");
    }
    const json doc = json::parse(content, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || !doc.contains("cameras") || !doc["cameras"].is_array()) {
        return Fail(path + " is not a report of this tool");
    }
    DoneCameras done;
    for (const json& camera : doc["cameras"]) {
        if (!camera.is_object()) continue;
        auto text = [&](const char* key) {
            const auto it = camera.find(key);
            return it != camera.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        const auto confirmed = camera.find("confirmed");
        const bool isConfirmed =
            confirmed != camera.end() && confirmed->is_boolean() && confirmed->get<bool>();
        // Only the stable word counts: a row "Completed" whose settings were not put back, or
        // that the camera never confirmed, is not done.
        const std::optional<Outcome> outcome = OutcomeFromWord(text("outcome"));
        const bool finished =
            outcome == Outcome::Upgraded || outcome == Outcome::Current || outcome == Outcome::Skipped;
        const bool unfinished = outcome == Outcome::SettingsNotRestored || outcome == Outcome::Unconfirmed ||
                                outcome == Outcome::Failed;
        const std::string kept = text("configFile");
        std::error_code error;
        if (unfinished && !kept.empty() && std::filesystem::is_regular_file(kept, error)) {
            done.cameras.push_back({text("address"), text("mac"), text("serial"), {}, kept});
            continue;
        }
        if (!isConfirmed || !finished || text("versionAfter") != imageVersion) continue;
        done.cameras.push_back({text("address"),
                                text("mac"),
                                text("serial"),
                                camera.dump(-1, ' ', false, json::error_handler_t::replace),
                                {}});
    }
    return done;
}

}  // namespace xqt

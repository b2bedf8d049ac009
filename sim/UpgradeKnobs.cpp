#include "sim/UpgradeKnobs.h"

#include <nlohmann/json.hpp>

#include "sim/FleetFile.h"

namespace xqt::sim {

using nlohmann::json;

void ReadUpgradeKnobs(const json& object, const std::string& where, UpgradeKnobs& knobs) {
    if (!object.is_object()) throw fleet_error(where + ": expected an object");
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string& key = it.key();
        const std::string at = where + "." + key;
        try {
            if (key == "progressSteps") {
                knobs.progressSteps = it->get<int>();
            } else if (key == "progressStepMs") {
                knobs.progressStepMs = it->get<int>();
            } else if (key == "rebootMs") {
                knobs.rebootMs = it->get<int>();
            } else if (key == "dropUploadAfterBytes") {
                knobs.dropUploadAfterBytes = it->get<std::int64_t>();
            } else if (key == "breakStreamAfterSteps") {
                knobs.breakStreamAfterSteps = it->get<int>();
            } else if (key == "streamEnd") {
                knobs.streamEnd = it->get<std::string>();
            } else if (key == "neverComeBack") {
                knobs.neverComeBack = it->get<bool>();
            } else if (key == "comeBackVersion") {
                knobs.comeBackVersion = it->get<std::string>();
            } else if (key == "comeBackSerial") {
                knobs.comeBackSerial = it->get<std::string>();
            } else if (key == "comeBackMac") {
                knobs.comeBackMac = it->get<std::string>();
            } else if (key == "refuseAfterRebootMs") {
                knobs.refuseAfterRebootMs = it->get<int>();
            } else if (key == "answerStatus") {
                knobs.answerStatus = it->get<int>();
            } else if (key == "slowReadBytes") {
                knobs.slowReadBytes = it->get<int>();
            } else if (key == "slowReadPauseMs") {
                knobs.slowReadPauseMs = it->get<int>();
            } else {
                throw fleet_error(where + ": unknown key \"" + key + "\"");
            }
        } catch (const json::exception&) {
            throw fleet_error(at + ": wrong type");
        }
    }
    if (knobs.progressSteps < 0 || knobs.progressSteps > 100000)
        throw fleet_error(where + ".progressSteps: must be 0-100000");
    if (knobs.progressStepMs < 0) throw fleet_error(where + ".progressStepMs: must not be negative");
    if (knobs.rebootMs < 0) throw fleet_error(where + ".rebootMs: must not be negative");
    if (knobs.refuseAfterRebootMs < 0)
        throw fleet_error(where + ".refuseAfterRebootMs: must not be negative");
    if (knobs.answerStatus < 100 || knobs.answerStatus > 599)
        throw fleet_error(where + ".answerStatus: must be 100-599");
    if (knobs.slowReadBytes < 0 || knobs.slowReadPauseMs < 0)
        throw fleet_error(where + ".slowReadBytes/slowReadPauseMs: must not be negative");
    if (knobs.streamEnd != "delimiter" && knobs.streamEnd != "close" && knobs.streamEnd != "stall")
        throw fleet_error(where + ".streamEnd: one of \"delimiter\", \"close\", \"stall\"");
}

json WriteUpgradeKnobs(const UpgradeKnobs& k) {
    return {
        {"progressSteps", k.progressSteps},
        {"progressStepMs", k.progressStepMs},
        {"rebootMs", k.rebootMs},
        {"dropUploadAfterBytes", k.dropUploadAfterBytes},
        {"breakStreamAfterSteps", k.breakStreamAfterSteps},
        {"streamEnd", k.streamEnd},
        {"neverComeBack", k.neverComeBack},
        {"comeBackVersion", k.comeBackVersion},
        {"comeBackSerial", k.comeBackSerial},
        {"comeBackMac", k.comeBackMac},
        {"refuseAfterRebootMs", k.refuseAfterRebootMs},
        {"answerStatus", k.answerStatus},
        {"slowReadBytes", k.slowReadBytes},
        {"slowReadPauseMs", k.slowReadPauseMs},
    };
}

}  // namespace xqt::sim

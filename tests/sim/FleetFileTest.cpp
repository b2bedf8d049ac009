// Fleet files: every key read, defaults kept, mistakes reported with their place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim/ConfigHandler.h"
#include "sim/FleetFile.h"

namespace xqt::sim {
namespace {

TEST(FleetFileTest, EveryKeyOfACameraIsRead) {
    Fleet fleet = ParseFleet(R"({"timeScale": 0.5, "cameras": [{
        "ipText": "127.0.1.7", "webPort": 8080, "model": "XQT-TR60P", "serial": "77", "mac": "08:00:46:00:00:07",
        "softVersion": "1.20", "docType": "B", "panTilt": true, "dhcp": true, "dnsAuto": true, "emergency": true,
        "users": [{"name": "root", "password": "pw", "administrator": true}, {"name": "guest", "password": "g"}],
        "discovery": {"silent": true, "omitFields": ["WEBPORT:"], "repeat": 2},
        "http": {"onlyFor": ["inq=user"], "neverAnswer": true, "answerDelayMs": 5, "pieceSize": 3,
                 "pieceDelayMs": 4, "padAnswerTo": 6000, "garbage": true, "resetConnection": true,
                 "closeDelimited": true, "refuseLogin": true, "authenticateAll": true, "challengeBody": "no",
                 "answers": {"inq=system": "ModelName=X&"}}}]})");
    EXPECT_DOUBLE_EQ(fleet.timeScale, 0.5);
    ASSERT_EQ(fleet.cameras.size(), 1u);
    const SimCamera& c = fleet.cameras[0];
    EXPECT_EQ(c.ipText, "127.0.1.7");
    EXPECT_EQ(c.webPort, 8080);
    EXPECT_EQ(c.model, "XQT-TR60P");
    EXPECT_EQ(c.serial, "77");
    EXPECT_EQ(c.softVersion, "1.20");
    EXPECT_EQ(c.docType, "B");
    EXPECT_TRUE(c.panTilt && c.dhcp && c.dnsAuto && c.emergency);
    ASSERT_EQ(c.users.size(), 2u);
    EXPECT_TRUE(c.users[0].administrator);
    EXPECT_FALSE(c.users[1].administrator);
    EXPECT_TRUE(c.discovery.silent);
    EXPECT_EQ(c.discovery.omitFields, std::vector<std::string>{"WEBPORT:"});
    EXPECT_EQ(c.discovery.repeat, 2);
    EXPECT_EQ(c.http.onlyFor, std::vector<std::string>{"inq=user"});
    EXPECT_TRUE(c.http.neverAnswer && c.http.garbage && c.http.resetConnection && c.http.closeDelimited);
    EXPECT_TRUE(c.http.refuseLogin && c.http.authenticateAll);
    EXPECT_EQ(c.http.answerDelayMs, 5);
    EXPECT_EQ(c.http.pieceSize, 3);
    EXPECT_EQ(c.http.pieceDelayMs, 4);
    EXPECT_EQ(c.http.padAnswerTo, 6000);
    EXPECT_EQ(c.http.challengeBody, "no");
    EXPECT_EQ(c.http.answers.at("inq=system"), "ModelName=X&");
}

TEST(FleetFileTest, AbsentKeysKeepTheDefaultsAndABareArrayIsAFleet) {
    Fleet fleet = ParseFleet(R"([{"ipText": "127.0.1.2"}, {}])");
    ASSERT_EQ(fleet.cameras.size(), 2u);
    const SimCamera defaults;
    EXPECT_EQ(fleet.cameras[0].ipText, "127.0.1.2");
    EXPECT_EQ(fleet.cameras[0].model, defaults.model);
    EXPECT_EQ(fleet.cameras[1].webPort, defaults.webPort);
    EXPECT_EQ(fleet.cameras[1].users.size(), defaults.users.size());
    EXPECT_DOUBLE_EQ(fleet.timeScale, 1.0);
}

TEST(FleetFileTest, MistakesNameTheirPlace) {
    auto messageOf = [](const std::string& text) {
        try {
            ParseFleet(text);
        } catch (const fleet_error& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(messageOf(R"([{"modle": "X"}])"), "cameras[0]: unknown key \"modle\"");
    EXPECT_EQ(messageOf(R"([{}, {"http": {"neverAnswer": "yes"}}])"),
              "cameras[1].http.neverAnswer: wrong type");
    EXPECT_EQ(messageOf(R"([{"users": [{"name": "a", "admin": true}]}])"),
              "cameras[0].users[0]: unknown key \"admin\"");
    EXPECT_EQ(messageOf(R"([{"webPort": 70000}])"), "cameras[0].webPort: not a port");
    EXPECT_EQ(messageOf(R"({"camera": []})"), "fleet: unknown key \"camera\"");
    for (const char* scale : {"0", "1e300", "-1", "0.0001"}) {
        EXPECT_EQ(messageOf(std::string(R"({"timeScale": )") + scale + R"(, "cameras": []})"),
                  "fleet.timeScale: must be from 0.001 to 10");
    }
    EXPECT_NE(messageOf("{ not json").find("not valid JSON"), std::string::npos);
    EXPECT_EQ(messageOf("[3]"), "cameras[0]: expected an object");
}

TEST(FleetFileTest, AFormattedFleetReadsBackTheSame) {
    Fleet fleet;
    fleet.timeScale = 0.25;
    SimCamera c;
    c.ipText = "127.0.1.9";
    c.panTilt = true;
    c.http.answers["inq=user"] = "Administrator=x&";
    c.http.onlyFor = {"inq=system"};
    c.discovery.omitFields = {"DHCP:"};
    fleet.cameras = {c, SimCamera{}};
    Fleet again = ParseFleet(FormatFleet(fleet));
    EXPECT_EQ(FormatFleet(again), FormatFleet(fleet));
    EXPECT_TRUE(again.cameras[0].panTilt);
}

TEST(FleetFileTest, TheDemoFleetHoldsTheVarietyTheDemoNeeds) {
    Fleet fleet = LoadFleetFile(XQT_SOURCE_DIR "/sim/fleets/demo.json");
    ASSERT_GE(fleet.cameras.size(), 8u);
    int panTilt = 0, emergency = 0, dhcp = 0, unlisted = 0, withoutAdminLogin = 0;
    for (const auto& c : fleet.cameras) {
        EXPECT_EQ(c.ipText.rfind("127.0.1.", 0), 0u) << c.ipText;
        panTilt += c.panTilt;
        emergency += c.emergency;
        dhcp += c.dhcp;
        unlisted += c.model.rfind("XQT-TR60", 0) != 0;
        for (const auto& u : c.users)
            withoutAdminLogin += u.name == "admin" && !u.administrator;
    }
    EXPECT_GE(panTilt, 1);
    EXPECT_GE(emergency, 1);
    EXPECT_GE(dhcp, 1);
    EXPECT_GE(unlisted, 1);
    EXPECT_GE(withoutAdminLogin, 1);
}

TEST(FleetFileTest, EveryListedDemoCameraServesItsConfigurationWhereTheProgramAsksForIt) {
    // The program asks every camera for the file named after the first model of its list (XQT-TR60),
    // whatever model the camera reports; a demo camera serving it elsewhere would end every
    // automatic run with "Retain" ticked (the default) in Error6.
    Fleet fleet = LoadFleetFile(XQT_SOURCE_DIR "/sim/fleets/demo.json");
    for (const auto& c : fleet.cameras) {
        if (c.model.rfind("XQT-TR60", 0) != 0) continue;
        EXPECT_EQ(ConfigDownloadPath(c), "/home/l4/xqt-tr60.cfg") << c.ipText << " " << c.model;
    }
}

TEST(FleetFileTest, AFirmwareBundleIsFoundBesideTheFleetFileAndABadOneIsNamed) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("xqt-fleetfile-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "fleet.json") << R"({"firmware": "fw.xqtfw", "cameras": [{}]})";
    Fleet fleet = LoadFleetFile((folder / "fleet.json").string());
    EXPECT_EQ(fleet.firmware, (folder / "fw.xqtfw").string());
    EXPECT_NE(FormatFleet(fleet).find("fw.xqtfw"), std::string::npos);
    try {
        LearnFirmware(fleet, fleet.firmware);
        ADD_FAILURE() << "a missing bundle was taken";
    } catch (const fleet_error& e) {
        EXPECT_NE(std::string(e.what()).find("fw.xqtfw"), std::string::npos) << e.what();
    }
    std::filesystem::remove_all(folder);
}

TEST(FleetFileTest, AMissingFileIsReported) {
    EXPECT_THROW(LoadFleetFile("/nonexistent/fleet.json"), fleet_error);
}

}  // namespace
}  // namespace xqt::sim

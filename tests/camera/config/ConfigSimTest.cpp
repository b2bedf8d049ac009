// The simulated camera's configuration routes and their fleet-file knobs.
#include <gtest/gtest.h>

#include "camera/ConfigRequest.h"
#include "camera/StreamedPost.h"
#include "camera/UploadBody.h"
#include "sim/ConfigHandler.h"
#include "sim/FleetFile.h"
#include "sim/InquiryHandler.h"
#include "tests/camera/SimHelpers.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;

std::string RestoreBody(const std::string& file, const std::string& delimiter = "B0123",
                        const std::string& field = "Restore") {
    return "\r\n" + delimiter + "\r\nContent-Disposition: form-data; name=\"" + field +
           "\"; filename=\"temp.cfg\"\r\nContent-Type: application/octet-stream\r\n\r\n" + file + "\r\n" +
           delimiter + "--\r\n\r\n";
}

sim::SimRequest Get(const std::string& target, const std::string& credential) {
    return sim::SimRequest{"GET", target, "Basic " + credential, ""};
}

std::string BodyOf(const sim::SimResponse& response) {
    const std::string sent = response.SentBytes();
    const auto end = sent.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : sent.substr(end + 4);
}

std::string StatusLineOf(const sim::SimResponse& response) {
    const std::string sent = response.SentBytes();
    return sent.substr(0, sent.find("\r\n"));
}

TEST(ConfigHandlerTest, TheConfigurationIsGivenToAnAdministratorOnly) {
    sim::SimCamera camera;
    camera.configuration = std::string("a\0b", 3);
    const std::string admin = sim::SimBase64("admin:admin");
    EXPECT_EQ(sim::ConfigDownloadPath(camera), "/home/l4/xqt-tr60.cfg");

    const auto given = sim::HandleConfigDownload(camera, Get("/home/l4/xqt-tr60.cfg", admin), 1.0);
    EXPECT_EQ(StatusLineOf(given), "HTTP/1.1 200 OK");
    EXPECT_EQ(BodyOf(given), camera.configuration);

    const auto user =
        sim::HandleConfigDownload(camera, Get("/home/l4/xqt-tr60.cfg", sim::SimBase64("user:user")), 1.0);
    EXPECT_EQ(StatusLineOf(user), "HTTP/1.1 401 Unauthorized");
    EXPECT_NE(user.SentBytes().find("WWW-Authenticate: Basic"), std::string::npos);

    sim::SimRequest post = Get("/home/l4/xqt-tr60.cfg", admin);
    post.method = "POST";
    EXPECT_EQ(StatusLineOf(sim::HandleConfigDownload(camera, post, 1.0)), "HTTP/1.1 405 Method Not Allowed");
}

TEST(ConfigHandlerTest, TheHtmlKnobSendsAPageAfterTheChosenBytes) {
    sim::SimCamera camera;
    camera.configuration = std::string(100, 'c');
    camera.config.htmlPage = true;
    camera.config.htmlAfter = 10;
    const auto page =
        sim::HandleConfigDownload(camera, Get("/home/l4/xqt-tr60.cfg", sim::SimBase64("admin:admin")), 1.0);
    EXPECT_EQ(BodyOf(page).find("<HTML>"), 10u);
    EXPECT_EQ(BodyOf(page).substr(0, 10), std::string(10, 'c'));
}

TEST(ConfigHandlerTest, RestoreBodiesAreReadAsTheToolLaysThemOut) {
    EXPECT_EQ(sim::ParseRestoreBody(RestoreBody("settings")), "settings");
    EXPECT_EQ(sim::ParseRestoreBody(RestoreBody(std::string("\r\nB0123\r\n\0", 10))),
              std::string("\r\nB0123\r\n\0", 10));  // the file may hold anything, even the delimiter
    EXPECT_EQ(sim::ParseRestoreBody(RestoreBody("")), "");

    // The tool's own builder gives the same layout.
    const auto post =
        MakeMultipartUpload(1700000000, RESTORE_FIELD, RESTORE_FILE_NAME, 4, FACTORY_CREDENTIAL);
    EXPECT_EQ(sim::ParseRestoreBody(post.head + "data" + post.tail), "data");
    EXPECT_EQ(post.contentLength, 154u + 4 + 47);

    EXPECT_FALSE(sim::ParseRestoreBody(RestoreBody("x", "B0123", "setting_file")));
    EXPECT_FALSE(sim::ParseRestoreBody(RestoreBody("x").substr(2)));  // no leading empty line
    const std::string whole = RestoreBody("x");
    EXPECT_FALSE(sim::ParseRestoreBody(whole.substr(0, whole.size() - 2)));  // tail cut short
    EXPECT_FALSE(sim::ParseRestoreBody("\r\n\r\n"));
    EXPECT_FALSE(sim::ParseRestoreBody(""));
}

TEST(ConfigHandlerTest, ARestoreWithAnyOtherCredentialIsRefused) {
    test::OneCamera camera{test::CameraAt("127.0.45.3")};
    for (const std::string& credential :
         {sim::SimBase64("admin:admin"), std::string(), std::string("garbage")}) {
        StreamedPost post(3s);
        const std::string body = RestoreBody("settings");
        ASSERT_EQ(post.Open(camera.hostPort(), RESTORE_PATH), PostStep::Done);
        ASSERT_TRUE(post.AddHeader("Authorization: Basic " + credential + "\r\n"));
        ASSERT_EQ(post.Send(body.size()), PostStep::Done);
        ASSERT_EQ(post.Write(body.data(), body.size()), PostStep::Done);
        ASSERT_EQ(post.Complete(), PostStep::Done);
        EXPECT_EQ(post.StatusCode(), 401);
    }
    EXPECT_TRUE(camera.server().Config().Restores().empty());
    EXPECT_EQ(camera.server().Config().RestoreAttempts(), 0);
    EXPECT_EQ(camera.server().Camera().configuration, sim::DEFAULT_CONFIGURATION);
}

TEST(ConfigHandlerTest, TheServedFileNameCanBeChosen) {
    sim::SimCamera camera = test::CameraAt("127.0.45.4");
    camera.model = "XQT-TR60N";
    camera.config.fileName = "xqt-tr60.cfg";
    test::OneCamera one{camera};
    EXPECT_EQ(sim::ConfigDownloadPath(one.server().Camera()), "/home/l4/xqt-tr60.cfg");
    camera.config.fileName.clear();
    EXPECT_EQ(sim::ConfigDownloadPath(camera), "/home/l4/xqt-tr60n.cfg");
}

TEST(ConfigFleetFileTest, TheConfigurationKnobsRoundTrip) {
    const sim::Fleet fleet = sim::ParseFleet(R"({"cameras": [{
        "configuration": "[System]\r\nName=x\r\n",
        "config": {"fileName": "xqt-tr60.cfg", "htmlPage": true, "htmlAfter": 509,
                   "failRestores": 4, "reconfigureMs": 1500}}]})");
    ASSERT_EQ(fleet.cameras.size(), 1u);
    const sim::SimCamera& c = fleet.cameras[0];
    EXPECT_EQ(c.configuration, "[System]\r\nName=x\r\n");
    EXPECT_EQ(c.config.fileName, "xqt-tr60.cfg");
    EXPECT_TRUE(c.config.htmlPage);
    EXPECT_EQ(c.config.htmlAfter, 509);
    EXPECT_EQ(c.config.failRestores, 4);
    EXPECT_EQ(c.config.reconfigureMs, 1500);

    const sim::Fleet again = sim::ParseFleet(sim::FormatFleet(fleet));
    EXPECT_EQ(again.cameras[0].config.failRestores, 4);
    EXPECT_EQ(again.cameras[0].configuration, c.configuration);

    const sim::SimCamera defaults = sim::ParseFleet(R"([{}])").cameras[0];
    EXPECT_EQ(defaults.configuration, sim::DEFAULT_CONFIGURATION);
    EXPECT_FALSE(defaults.config.htmlPage);
    EXPECT_EQ(defaults.config.failRestores, 0);
}

TEST(ConfigFleetFileTest, MisspeltOrUnsafeKnobsAreErrors) {
    EXPECT_THROW(sim::ParseFleet(R"([{"config": {"failRestore": 1}}])"), sim::fleet_error);
    EXPECT_THROW(sim::ParseFleet(R"([{"config": {"failRestores": "1"}}])"), sim::fleet_error);
    EXPECT_THROW(sim::ParseFleet(R"([{"config": {"fileName": "../x.cfg"}}])"), sim::fleet_error);
    EXPECT_THROW(sim::ParseFleet(R"([{"config": 3}])"), sim::fleet_error);
    // Bytes that are not UTF-8 (a restored binary configuration) still format.
    sim::Fleet fleet;
    fleet.cameras.emplace_back();
    fleet.cameras[0].configuration = "\xff\xfe";
    EXPECT_NO_THROW(sim::FormatFleet(fleet));
}

}  // namespace
}  // namespace xqt

// The simulated camera's side of an upgrade: the digest it records, the body it accepts, its
// progress stream, its reboot timeline and the fleet-file knobs.
#include <gtest/gtest.h>

#include "camera/UploadBody.h"
#include "platform/PlaceholderImage.h"
#include "sim/FleetFile.h"
#include "sim/InquiryHandler.h"
#include "sim/Sha256.h"
#include "sim/UpgradeHandler.h"

namespace xqt::sim {
namespace {

using namespace std::chrono_literals;

TEST(SimSha256Test, KnownDigests) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    Sha256 million;
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        million.Update(chunk.substr(0, 7 * (i % 3) + 1) + chunk.substr(0, 999 - 7 * (i % 3)));
    EXPECT_EQ(million.FinishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

struct Upload {
    std::string contentType;
    std::string contentLength;
    std::string body;
};

Upload MakeUpload(const std::string& image) {
    const MultipartUpload u =
        MakeMultipartUpload(1796565900, FIRMWARE_FIELD, FIRMWARE_FILE, image.size(), "x");
    Upload out;
    out.contentType = u.headers[0].substr(14, u.headers[0].size() - 16);
    out.contentLength = std::to_string(u.contentLength);
    out.body = u.head + image + u.tail;
    return out;
}

TEST(SimFirmwareBodyTest, TheToolsLayoutIsAcceptedAndAnythingElseRefused) {
    const Upload good = MakeUpload("IMAGE\r\n--bytes");
    const FirmwareBody ok = CheckFirmwareBody(good.contentType, good.contentLength, good.body);
    ASSERT_TRUE(ok.ok) << ok.problem;
    EXPECT_EQ(ok.image, "IMAGE\r\n--bytes");

    EXPECT_FALSE(CheckFirmwareBody("text/plain", good.contentLength, good.body).ok);
    EXPECT_FALSE(CheckFirmwareBody(good.contentType, "12", good.body).ok);
    std::string dashed = good.body;
    dashed.insert(2, "--");  // the usual multipart delimiter is not what the cameras take
    EXPECT_FALSE(CheckFirmwareBody(good.contentType, std::to_string(dashed.size()), dashed).ok);
    std::string field = good.body;
    field.replace(field.find("setting_file"), 12, "Restore_file");
    EXPECT_FALSE(CheckFirmwareBody(good.contentType, good.contentLength, field).ok);
    const std::string cut = good.body.substr(0, good.body.size() - 2);
    EXPECT_FALSE(CheckFirmwareBody(good.contentType, std::to_string(cut.size()), cut).ok);
}

SimRequest FirmwareRequest(const std::string& image, const std::string& credential) {
    const Upload u = MakeUpload(image);
    SimRequest request{"POST", "/command/versionup.cgi", "Basic " + credential, u.body, {}};
    request.headers = {{"content-type", u.contentType}, {"Content-Length", u.contentLength}};
    return request;
}

TEST(SimFirmwareTest, TheProgressStreamAnnouncesTheStepsAndCloses) {
    SimCamera camera;
    camera.upgrade.progressSteps = 3;
    UpgradeState state;
    const auto image = platform::MakePlaceholderImage(1000, "4.56");
    const SimResponse response = HandleFirmware(
        camera, FirmwareRequest(std::string(image.begin(), image.end()), SimBase64("admin:admin")), 0.01,
        state);
    const std::string sent = response.SentBytes();
    EXPECT_EQ(sent.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    const std::size_t body = sent.find("\r\n\r\n") + 4;
    EXPECT_EQ(sent.substr(body), ProgressPart("(0) Steps: 3") + ProgressPart("(1) Writing flash memory") +
                                     ProgressPart("(2) Writing flash memory") +
                                     ProgressPart("(3) Writing flash memory") + "--vexoboundary--\r\n");
    const auto records = state.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].accepted);
    EXPECT_EQ(records[0].version, "4.56");
    EXPECT_EQ(records[0].imageSize, 1000u);
}

TEST(SimFirmwareTest, TheKnobsShapeTheStreamsEnd) {
    SimCamera camera;
    camera.upgrade.progressSteps = 4;
    UpgradeState state;
    const SimRequest request = FirmwareRequest("img", SimBase64("admin:admin"));
    auto lastStep = [&] { return HandleFirmware(camera, request, 1, state).steps().back().kind; };
    camera.upgrade.breakStreamAfterSteps = 2;
    EXPECT_EQ(lastStep(), SimResponse::Step::Kind::Reset);
    camera.upgrade.breakStreamAfterSteps = -1;
    camera.upgrade.streamEnd = "stall";
    EXPECT_EQ(lastStep(), SimResponse::Step::Kind::Stall);
    camera.upgrade.streamEnd = "close";
    EXPECT_EQ(HandleFirmware(camera, request, 1, state).SentBytes().find("--vexoboundary--"),
              std::string::npos);
    camera.emergency = true;
    const SimResponse silent = HandleFirmware(camera, request, 1, state);
    EXPECT_EQ(silent.SentBytes(), "");
    EXPECT_EQ(silent.steps().back().kind, SimResponse::Step::Kind::Stall);
}

TEST(SimFirmwareTest, OnlyTheAdministratorMayUpgrade) {
    SimCamera camera;
    UpgradeState state;
    const SimResponse response =
        HandleFirmware(camera, FirmwareRequest("img", SimBase64("user:user")), 1, state);
    EXPECT_EQ(response.SentBytes().substr(0, 12), "HTTP/1.1 401");
    EXPECT_FALSE(state.Records().at(0).accepted);
    SimCamera reported;
    EXPECT_FALSE(state.Refresh(reported)) << "a refused upload changes nothing";
}

TEST(SimUpgradeStateTest, TheCameraIsSilentWhileItRebootsAndComesBackWithTheNewVersion) {
    UpgradeState state;
    const auto t0 = UpgradeState::Clock::now();
    FirmwareRecord accepted;
    accepted.accepted = true;
    state.Take(accepted, t0 + 100ms, 200ms, "2.00");
    SimCamera camera;
    camera.emergency = true;
    EXPECT_FALSE(state.Refresh(camera, t0 + 50ms)) << "still overwriting: it answers";
    EXPECT_EQ(camera.softVersion, "1.10");
    EXPECT_TRUE(state.Refresh(camera, t0 + 150ms));
    EXPECT_FALSE(state.Refresh(camera, t0 + 301ms));
    EXPECT_EQ(camera.softVersion, "2.00");
    EXPECT_FALSE(camera.emergency);

    UpgradeState gone;
    gone.Take(accepted, t0, std::nullopt, "");
    EXPECT_TRUE(gone.Refresh(camera, t0 + 1000h));
}

TEST(SimFleetFileTest, UpgradeKnobsRoundTripAndMisspeltOnesAreRefused) {
    Fleet fleet;
    SimCamera camera;
    camera.upgrade.progressSteps = 7;
    camera.upgrade.dropUploadAfterBytes = 12345;
    camera.upgrade.streamEnd = "stall";
    camera.upgrade.comeBackVersion = "0.99";
    camera.upgrade.neverComeBack = true;
    fleet.cameras.push_back(camera);
    const Fleet back = ParseFleet(FormatFleet(fleet));
    const UpgradeKnobs& k = back.cameras.at(0).upgrade;
    EXPECT_EQ(k.progressSteps, 7);
    EXPECT_EQ(k.dropUploadAfterBytes, 12345);
    EXPECT_EQ(k.streamEnd, "stall");
    EXPECT_EQ(k.comeBackVersion, "0.99");
    EXPECT_TRUE(k.neverComeBack);

    EXPECT_THROW(ParseFleet(R"([{"upgrade": {"rebootMS": 5}}])"), fleet_error);
    EXPECT_THROW(ParseFleet(R"([{"upgrade": {"streamEnd": "sometimes"}}])"), fleet_error);
    EXPECT_THROW(ParseFleet(R"([{"upgrade": {"progressSteps": "many"}}])"), fleet_error);
    EXPECT_THROW(ParseFleet(R"([{"upgrade": {"progressSteps": -1}}])"), fleet_error);
    EXPECT_EQ(
        ParseFleet(R"([{"upgrade": {"breakStreamAfterSteps": 3}}])").cameras[0].upgrade.breakStreamAfterSteps,
        3);
}

}  // namespace
}  // namespace xqt::sim

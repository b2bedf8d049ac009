// Firmware bundles through xqt-cli, end to end on simulated cameras: a bundle made with
// `firmware pack` upgrades a camera through upgrade and batch, the camera receives exactly the
// bundle's bytes and reports its version; a bad bundle and the placeholder toward a real address
// are refused before any camera is touched.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "camera/BundleSignature.h"
#include "sim/FleetFile.h"
#include "sim/SimFleet.h"
#include "tests/camera/SimHelpers.h"
#include "tests/cli/CliRunSupport.h"

namespace xqt::test {
namespace {

namespace fs = std::filesystem;
using CliRun = CliRunOf<nlohmann::json>;

class FirmwareCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // An image that is not the placeholder, in a signed tar bundle.
        image_.resize(300 * 1024);
        for (std::size_t i = 0; i < image_.size(); ++i)
            image_[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 9));
        std::ofstream(folder_ + "/real.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image_.data()), static_cast<std::streamsize>(image_.size()));
        ASSERT_EQ(Cli("firmware keygen -o vendor").exitCode, 0);
        const CliRun pack =
            Cli("firmware pack --version 1.24 --model XQT-TR60 --model XQT-TR70 --image =real.bin "
                "--sign vendor.key -o fw.tar");
        ASSERT_EQ(pack.exitCode, 0) << pack.text;
    }

    CliRun Cli(const std::string& arguments, const std::string& environment = "") {
        return RunShell("cd '" + folder_ + "' && ProgramFiles='" + folder_ + "' XQT_PASSWORD=admin " +
                        "XQT_TRUSTED_KEYS_DIR='" + folder_ + "/no-keys' " + environment + " " + XQT_CLI +
                        " " + arguments + " </dev/null 2>&1");
    }

    /// Cameras that know the bundle's images, as `xqt-camsim --firmware` makes them.
    void Start(std::vector<sim::SimCamera> cameras) {
        sim::Fleet fleet{0.01, folder_ + "/fw.tar", std::move(cameras)};
        sim::LearnFirmware(fleet, fleet.firmware);
        fleet_ = std::make_unique<sim::SimFleet>(std::move(fleet.cameras), fleet.timeScale);
        fleet_->Start();
    }

    ScratchFolder scratch_{"xqt-firmware"};
    const std::string& folder_ = scratch_.Path();
    std::vector<std::uint8_t> image_;
    std::unique_ptr<sim::SimFleet> fleet_;
};

TEST_F(FirmwareCommandTest, ABundleUpgradesCamerasThroughUpgradeAndBatch) {
    Start({NumberedCamera(14, 1, 9100000), NumberedCamera(14, 2, 9100000)});
    const std::string sha = Sha256Hex(image_);

    const CliRun inquiry =
        Cli("inquire " + fleet_->At(0).HostPort() + " --user admin --json --firmware fw.tar");
    ASSERT_EQ(inquiry.exitCode, 0) << inquiry.text;
    EXPECT_EQ(inquiry.lines.back()["firmwareVersion"], "1.24");
    EXPECT_EQ(inquiry.lines.back()["currentVersion"], "1.10");

    const CliRun upgrade =
        Cli("upgrade " + fleet_->At(0).HostPort() +
            " --user admin --time-scale 0.05 --json --firmware fw.tar --trusted-key vendor.pub");
    ASSERT_EQ(upgrade.exitCode, 0) << upgrade.text;
    EXPECT_EQ(upgrade.lines.back()["reportedVersion"], "1.24");
    const auto records = fleet_->At(0).Upgrade().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].sha256, sha) << "exactly the bundle's bytes";
    EXPECT_EQ(records[0].imageSize, image_.size());

    std::ofstream(folder_ + "/targets.txt") << fleet_->At(1).HostPort() << "\n";
    const CliRun batch =
        Cli("batch --targets targets.txt --user admin --time-scale 0.05 --report report.json "
            "--firmware fw.tar");
    ASSERT_EQ(batch.exitCode, 0) << batch.text;
    EXPECT_NE(batch.text.find("signed, but no key is trusted"), std::string::npos) << batch.text;
    std::ifstream in(folder_ + "/report.json");
    const auto report = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report["imageVersion"], "1.24");
    const auto& row = report["cameras"][0];
    EXPECT_EQ(row["versionAfter"], "1.24");
    EXPECT_EQ(row["imageVersion"], "1.24");
    EXPECT_EQ(row["imageSha256"], sha);
    EXPECT_EQ(fleet_->At(1).Upgrade().Records().at(0).sha256, sha);
}

TEST_F(FirmwareCommandTest, NothingIsSentWithABadBundleOrThePlaceholderTowardARealAddress) {
    Start({NumberedCamera(14, 3, 9100000)});
    const std::string camera = fleet_->At(0).HostPort();
    fs::create_directory(folder_ + "/keys");
    ASSERT_EQ(Cli("firmware keygen -o keys/other").exitCode, 0);
    fs::remove(folder_ + "/keys/other.key");
    const struct {
        std::string arguments, environment, message;
    } refusals[] = {
        {"upgrade " + camera + " --user admin --firmware missing.tar", "",
         "no firmware bundle at missing.tar"},
        {"upgrade " + camera + " --user admin --firmware fw.tar --trusted-key keys/other.pub", "",
         "not good for any trusted key"},
        {"upgrade " + camera + " --user admin --firmware fw.tar", "XQT_TRUSTED_KEYS_DIR=keys",
         "not good for any trusted key"},
        {"inquire " + camera + " --user admin --firmware real.bin", "", "not a tar file"},
        {"upgrade " + camera + " --user admin --trusted-key vendor.pub", "", "give one with --firmware"},
        {"upgrade 10.1.2.3 --user admin", "", "placeholder image for simulated cameras"},
        {"upgrade 10.1.2.3:8080 --user admin --retain", "", "placeholder image for simulated cameras"},
        {"batch --targets real-targets.txt --user admin", "", "placeholder image for simulated cameras"},
    };
    std::ofstream(folder_ + "/real-targets.txt") << "127.0.0.1:8080\n192.168.0.100\n";
    for (const auto& r : refusals) {
        const CliRun run = Cli(r.arguments, r.environment);
        EXPECT_EQ(run.exitCode, 2) << r.arguments << "\n" << run.text;
        EXPECT_NE(run.text.find(r.message), std::string::npos) << r.arguments << "\n" << run.text;
    }
    EXPECT_TRUE(fleet_->At(0).Upgrade().Records().empty());
    EXPECT_TRUE(fleet_->At(0).Config().Restores().empty());
}

TEST_F(FirmwareCommandTest, ShowListsTheBundleAndVerifyChecksIt) {
    const CliRun show = Cli("firmware show fw.tar --json --trusted-key vendor.pub");
    ASSERT_EQ(show.exitCode, 0) << show.text;
    const auto& out = show.lines.back();
    EXPECT_EQ(out["version"], "1.24");
    EXPECT_EQ(out["models"], nlohmann::json({"XQT-TR60", "XQT-TR70"}));
    EXPECT_EQ(out["images"][0]["sha256"], Sha256Hex(image_));
    EXPECT_EQ(out["images"][0]["size"], image_.size());
    EXPECT_EQ(out["signature"], "good signature (vendor.pub)");
    EXPECT_EQ(Cli("firmware verify fw.tar --trusted-key vendor.pub").exitCode, 0);
    // A folder bundle packs the same manifest; unsigned, it is refused once a key is trusted.
    ASSERT_EQ(Cli("firmware pack --version 1.24 --model XQT-TR60 --image =real.bin -o folder").exitCode, 0);
    EXPECT_EQ(Cli("firmware verify folder").exitCode, 0);
    const CliRun refused = Cli("firmware verify folder --trusted-key vendor.pub");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.text.find("unsigned"), std::string::npos) << refused.text;
    EXPECT_EQ(Cli("firmware pack --version x1 --model XQT-TR60 --image =real.bin -o bad.tar").exitCode, 2);
    EXPECT_FALSE(fs::exists(folder_ + "/bad.tar"));
    // The signed bundle is not replaced by an unsigned one unless asked.
    const std::string over = "firmware pack --version 1.25 --model XQT-TR60 --image =real.bin -o fw.tar";
    const CliRun kept = Cli(over);
    EXPECT_EQ(kept.exitCode, 2) << kept.text;
    EXPECT_NE(kept.text.find("not overwritten"), std::string::npos) << kept.text;
    EXPECT_EQ(Cli("firmware verify fw.tar --trusted-key vendor.pub").exitCode, 0);
    EXPECT_EQ(Cli(over + " --force").exitCode, 0);
    EXPECT_EQ(Cli("firmware show fw.tar --json").lines.back()["version"], "1.25");
}

}  // namespace
}  // namespace xqt::test

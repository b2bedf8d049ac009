// The upgrade sequence end to end against a simulated camera, in scaled time (x0.01): the status
// chain, the messages posted to the owner, the boxes, the progress and what the camera received.
#include <gmock/gmock.h>

#include "SequenceSupport.h"
#include "camera/ProgressStream.h"
#include "camera/UploadBody.h"
#include "sim/Sha256.h"

namespace xqt::test {
namespace {

using ::testing::ElementsAre;
using S = UpgradeStatus;

constexpr std::size_t kImageSize = 1 << 20;

TEST_F(SequenceTest, TheRequestOnTheWireIsTheDocumentedOne) {
    StartFleet(Camera("127.0.6.1"));
    CameraSession& session = MakeSession(Mode::Automatic);
    const ImageBytes image = Image(3000);
    session.SetImage(image, 3000, "ver1.23");
    ASSERT_EQ(session.UploadFirmware(), PostOutcome::Taken);
    EXPECT_EQ(session.status.load(), static_cast<std::int32_t>(S::Overwriting));
    EXPECT_EQ(value.load(), 3) << "one unit per chunk: 1460 + 1460 + 80";

    ASSERT_TRUE(server().Upgrade().WaitForRecords(1, 5s));
    const auto requests = server().Requests();
    const std::string raw = requests.back().raw;
    const std::size_t at = raw.find("boundary=") + 9;
    const std::string boundary = raw.substr(at, raw.find("\r\n", at) - at);
    ASSERT_EQ(boundary.size(), 39u);
    ASSERT_EQ(boundary.substr(0, 29), std::string(BOUNDARY_PREFIX));
    const std::string body =
        "\r\n" + boundary +
        "\r\nContent-Disposition: form-data; name=\"setting_file\"; filename=\"upgrade.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        std::string(image->begin(), image->end()) + "\r\n" + boundary + "--\r\n\r\n";
    EXPECT_EQ(raw,
              "POST /command/versionup.cgi HTTP/1.1\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
              "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n"
              "Content-Type: multipart/form-data; boundary=" +
                  boundary +
                  "\r\n"
                  "Accept-Encoding: gzip, deflate\r\n"
                  "Connection: Keep-Alive\r\n"
                  "Proxy-Connection: Keep-Alive\r\n"
                  "Cache-Control: no-cache\r\n"
                  "Content-Length: " +
                  std::to_string(162 + 47 + 3000) +
                  "\r\n"
                  "Authorization: Basic " +
                  kCredential +
                  "\r\n"
                  "User-Agent: XQT Upgrade Tool\r\n"
                  "Host: " +
                  server().HostPort() + "\r\n\r\n" + body);
    const auto record = server().Upgrade().Records().at(0);
    EXPECT_TRUE(record.accepted) << record.problem;
    EXPECT_EQ(record.version, "1.23");
}

TEST_F(SequenceTest, NormalRunInAutomaticMode) {
    StartFleet(Camera("127.0.6.2"));
    CameraSession& session = MakeSession(Mode::Automatic, Timing(), 7);
    const ImageBytes image = Image(kImageSize);
    session.SetImage(image, kImageSize, "ver1.23");
    StatusChain chain(session);
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(
        WaitUntil([&] { return session.status.load() == static_cast<std::int32_t>(S::Rebooting); }, 5s));
    const std::int32_t afterStream = value.load();
    EXPECT_GE(afterStream, OVERWRITE_CEILING - 20) << "20 steps scaled to end at the ceiling";
    EXPECT_LE(afterStream, OVERWRITE_CEILING + 50);
    ASSERT_TRUE(WaitForEnd());

    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Rebooting, S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 6}));
    EXPECT_EQ(value.load(), PROGRESS_MAX);
    EXPECT_EQ(session.reportedVersion.Get(), "ver1.23");
    EXPECT_TRUE(session.verified.load());
    EXPECT_TRUE(session.finished.load());
    EXPECT_EQ(session.failure.load(), 0);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_GT(owner.TickCount(TIMER_TICK_BASE + 7), 0) << "the tick timer carries the slot";
    EXPECT_EQ(owner.TickCount(TIMER_TICK_BASE), 0);
    EXPECT_FALSE(owner.IsTimerRunning(TIMER_TICK_BASE + 7));

    const auto records = server().Upgrade().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].accepted) << records[0].problem;
    EXPECT_EQ(records[0].imageSize, kImageSize);
    EXPECT_EQ(records[0].sha256,
              sim::Sha256Hex(std::string_view(reinterpret_cast<const char*>(image->data()), image->size())));
    EXPECT_EQ(server().Camera().softVersion, "1.23");
}

TEST_F(SequenceTest, NormalRunInManualModeMovesTheBarAndPostsSix) {
    StartFleet(Camera("127.0.6.3"));
    CameraSession& session = MakeSession(Mode::Manual);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    StatusChain chain(session);
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Rebooting, S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 6}));
    EXPECT_EQ(bar.Position(), PROGRESS_MAX);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(SequenceTest, AnUploadThatCannotBeSentIsANetworkError) {
    StartFleet(Camera("127.0.6.4"));
    {
        CameraSession& session = MakeSession(Mode::Automatic, Timing(), 0, "127.0.6.4:1");
        session.SetImage(Image(5000), 5000, "ver1.23");
        ASSERT_TRUE(session.StartUpgrade());
        ASSERT_TRUE(WaitForEnd());
        EXPECT_EQ(session.status.load(), static_cast<std::int32_t>(S::Error1));
        EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::UploadNotSent));
        EXPECT_TRUE(Messages().empty());
        EndSession();
    }
    CameraSession& session = MakeSession(Mode::Manual, Timing(), 0, "127.0.6.4:1");
    session.SetImage(Image(5000), 5000, "ver1.23");
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 3}));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text.substr(0, 23), "Network error occurred.");
    EXPECT_EQ(boxes.Taken()[0].caption, "Information");
    EXPECT_EQ(boxes.Taken()[0].icon, platform::MbIcon::Stop);
}

TEST_F(SequenceTest, InManualModeASlowOrRefusedUploadShowsTheNetworkErrorAtOnce) {
    // A camera that reads the image a few bytes at a time (each read within the step limit) is
    // held to the transfer's bound; one that answers the request with 500 flashed nothing.
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "slow");
        sim::SimCamera camera = Camera(refused ? "127.0.6.21" : "127.0.6.20");
        camera.softVersion = "1.23";  // already the image's version: never a success by accident
        if (refused) {
            camera.upgrade.answerStatus = 500;
        } else {
            camera.upgrade.slowReadBytes = 64;
            camera.upgrade.slowReadPauseMs = 10000;
        }
        StartFleet(camera);
        const std::size_t messagesBefore = Messages().size();
        const std::size_t boxesBefore = boxes.Count();
        CameraSession& session = MakeSession(Mode::Manual);
        constexpr std::size_t size = 8u << 20;
        session.SetImage(Image(size), size, "ver1.23");
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(session.StartUpgrade());
        ASSERT_TRUE(WaitForEnd());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "bound: 600 ms + 640 ms per MiB sent";
        EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::UploadNotSent));
        const auto messages = Messages();
        ASSERT_EQ(messages.size(), messagesBefore + 1);
        EXPECT_EQ(messages.back(), (UpgradeMessage{1, 3}));
        ASSERT_EQ(boxes.Count(), boxesBefore + 1);
        EXPECT_EQ(boxes.Taken().back().text.substr(0, 23), "Network error occurred.");
        EXPECT_FALSE(session.verified.load());
        EndSession();
    }
}

TEST_F(SequenceTest, ALostConnectionIsWaitedOutAndVerified) {
    sim::SimCamera camera = Camera("127.0.6.5");
    camera.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40;  // after the whole body
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Automatic, Timing(), 3);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    StatusChain chain(session);
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Searching, S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{0, 1}));
    EXPECT_EQ(value.load(), PROGRESS_MAX);
    EXPECT_GE(owner.TickCount(TIMER_LOSTLINK_BASE + 3), 241);
    EXPECT_EQ(session.reportedVersion.Get(), "ver1.23");
    const auto records = server().Upgrade().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].dropped);
    EXPECT_TRUE(records[0].accepted);
}

TEST_F(SequenceTest, ACameraThatNeverComesBackAfterALostConnectionIsError1) {
    sim::SimCamera camera = Camera("127.0.6.6");
    camera.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40;
    camera.upgrade.neverComeBack = true;
    StartFleet(camera);
    auto timing = Timing();
    timing.rebootInquiryLimit = 20ms;  // 20 unanswered attempts
    {
        CameraSession& session = MakeSession(Mode::Automatic, timing);
        session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
        StatusChain chain(session);
        ASSERT_TRUE(session.StartUpgrade());
        ASSERT_TRUE(WaitForEnd());
        EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Searching, S::Error1));
        EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::NotBack));
        EXPECT_TRUE(Messages().empty());
        EndSession();
    }
}

TEST_F(SequenceTest, ManualModeReportsACameraThatNeverCameBackWithTheVersionUpError) {
    sim::SimCamera camera = Camera("127.0.6.7");
    camera.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40;
    camera.upgrade.neverComeBack = true;
    StartFleet(camera);
    auto timing = Timing();
    timing.rebootInquiryLimit = 20ms;
    CameraSession& session = MakeSession(Mode::Manual, timing);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 3}));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "Version up error.");
}

TEST_F(SequenceTest, AnEmergencyCameraTakesTheImageSilentlyAndCountsAsDone) {
    sim::SimCamera camera = Camera("127.0.6.8");
    camera.emergency = true;
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Automatic);
    ASSERT_TRUE(session.emergency.load());
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    const std::size_t before = server().Requests().size();
    StatusChain chain(session);
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitUntil([&] { return session.overwriteDone.load(); }, 5s));
    EXPECT_EQ(session.stepSize.load(), (EMERGENCY_CEILING - 719) / 180) << "719 chunks written";
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Rebooting, S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 6}));
    EXPECT_EQ(value.load(), PROGRESS_MAX);
    EXPECT_EQ(SystemInquiriesSince(before), 0) << "nothing is asked of a camera in recovery state";
    EXPECT_FALSE(session.verified.load());
    EXPECT_EQ(session.reportedVersion.Get(), "ver1.23");
    ASSERT_EQ(server().Upgrade().Records().size(), 1u);
    EXPECT_TRUE(server().Upgrade().Records()[0].accepted);
}

TEST_F(SequenceTest, AnotherVersionAfterTheRebootFailsAtOnce) {
    sim::SimCamera camera = Camera("127.0.6.9");
    camera.upgrade.comeBackVersion = "9.99";
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Automatic);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    const std::size_t before = server().Requests().size();
    StatusChain chain(session);
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Rebooting, S::Error2));
    EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::NotVerified));
    EXPECT_EQ(SystemInquiriesSince(before), 1) << "no further attempts once the version differs";
    EXPECT_EQ(session.reportedVersion.Get(), "ver9.99");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SequenceTest, WithoutAVersionTheFirstAcceptedAnswerDefinesIt) {
    StartFleet(Camera("127.0.6.10"));
    CameraSession& session = MakeSession(Mode::Automatic);
    session.SetImage(Image(kImageSize, "2.00"), kImageSize, "");
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(session.status.load(), static_cast<std::int32_t>(S::Completed));
    EXPECT_EQ(session.newVersion.Get(), "ver2.00");
    EXPECT_TRUE(session.verified.load());
}

TEST_F(SequenceTest, ABrokenStreamIsError2WithoutWaitingForTheWatchdog) {
    sim::SimCamera camera = Camera("127.0.6.11");
    camera.upgrade.breakStreamAfterSteps = 5;
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Automatic);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    const std::size_t before = server().Requests().size();
    StatusChain chain(session);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    const auto watchdog = Timing().tickPeriod * Timing().watchdogTicks;
    EXPECT_LT(std::chrono::steady_clock::now() - start, watchdog) << "ended by the watchdog, not the break";
    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Rebooting, S::Error2));
    EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::StreamBroken));
    EXPECT_FALSE(session.streamOk.load());
    EXPECT_EQ(SystemInquiriesSince(before), 0);
}

TEST_F(SequenceTest, AStreamThatFallsSilentEndsAtTheReceiveTimeOut) {
    sim::SimCamera camera = Camera("127.0.6.20");
    camera.upgrade.streamEnd = "stall";  // after the last step nothing more, connection kept
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Automatic);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    StatusChain chain(session);
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Rebooting, S::Error2));
    EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::StreamBroken));
    EXPECT_LT(owner.TickCount(TIMER_TICK_BASE), 181)
        << "ended by the 60 s receive time-out, not the watchdog";
}

TEST_F(SequenceTest, ManualModeShowsTheVersionUpErrorForABrokenStream) {
    sim::SimCamera camera = Camera("127.0.6.12");
    camera.upgrade.breakStreamAfterSteps = 0;
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Manual);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 3}));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, "Version up error.");
}

TEST_F(SequenceTest, InManualModeTheWatchdogEndsAStreamThatNeverClosesAndTheWorkerStops) {
    sim::SimCamera camera = Camera("127.0.6.13");
    camera.upgrade.streamEnd = "close";  // ends without the closing delimiter
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Manual);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    const std::size_t before = server().Requests().size();
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(owner.WaitForMessages(1, 5s));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 3}));
    EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::OverwriteTimedOut));
    ASSERT_TRUE(WaitForEnd(2s)) << "the abandoned worker returns";
    std::this_thread::sleep_for(700ms);  // longer than the first wait after an overwrite
    EXPECT_EQ(session.status.load(), static_cast<std::int32_t>(S::Overwriting)) << "no further step";
    EXPECT_EQ(SystemInquiriesSince(before), 0);
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_GE(owner.TickCount(TIMER_TICK_BASE), 181);
}

TEST_F(SequenceTest, InAutomaticModeTheWatchdogCutsTheWaitShortAndTheSequenceGoesOn) {
    sim::SimCamera camera = Camera("127.0.6.14");
    camera.upgrade.streamEnd = "close";
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Automatic);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    StatusChain chain(session);
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Rebooting, S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 6}));
    EXPECT_TRUE(session.verified.load());
    EXPECT_GE(owner.TickCount(TIMER_TICK_BASE), 181);
}

TEST_F(SequenceTest, AVerificationStillUndecidedAfter180TicksCountsAsCompleted) {
    sim::SimCamera camera = Camera("127.0.6.15");
    camera.upgrade.neverComeBack = true;  // the first inquiry after the reboot hangs
    StartFleet(camera);
    auto timing = Timing();
    timing.rebootInquiryLimit = 20s;
    CameraSession& session = MakeSession(Mode::Manual, timing);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd(8s)) << "the abandoned worker's inquiry ends at once";
    EXPECT_EQ(session.status.load(), static_cast<std::int32_t>(S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 6}));
    EXPECT_FALSE(session.verified.load());
    EXPECT_EQ(session.reportedVersion.Get(), "ver1.23");
    EXPECT_EQ(bar.Position(), PROGRESS_MAX);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(SequenceTest, DeletingARunningSessionEndsItsWorkerAtOnceAndNothingFollows) {
    sim::SimCamera camera = Camera("127.0.6.16");
    camera.upgrade.progressStepMs = 100000;  // a step every second of scaled time
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Manual);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    const std::size_t inquiries = server().Requests().size();  // the check before the upgrade
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(
        WaitUntil([&] { return session.status.load() == static_cast<std::int32_t>(S::Overwriting); }, 5s));
    // Our side reaches Overwriting once the image is written; the camera records the upload only after
    // parsing all of it, which a slow (sanitized) build may do later.
    ASSERT_TRUE(server().WaitForRequests(inquiries + 1, 5s));
    std::this_thread::sleep_for(50ms);
    const auto start = std::chrono::steady_clock::now();
    EndSession();
    // Sooner than the camera's next step, which a worker that waited for its reply would see.
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(camera.upgrade.progressStepMs) * kScale);
    const std::size_t requests = server().Requests().size();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(server().Requests().size(), requests);
}

TEST_F(SequenceTest, CancelDuringTheFirstWaitStopsTheWorkerBeforeItAsksTheCamera) {
    StartFleet(Camera("127.0.6.17"));
    auto timing = Timing();
    timing.firstVerifyWait = 20s;
    CameraSession& session = MakeSession(Mode::Automatic, timing);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitUntil([&] { return session.overwriteDone.load(); }, 5s));
    const std::size_t before = server().Requests().size();
    session.Cancel();
    ASSERT_TRUE(WaitForEnd(1s));
    EXPECT_EQ(session.status.load(), static_cast<std::int32_t>(S::Rebooting));
    EXPECT_EQ(SystemInquiriesSince(before), 0);
    EXPECT_FALSE(session.finished.load());
}

TEST_F(SequenceTest, AnUpgradeStartsOnceAndOnlyWithAnOwner) {
    StartFleet(Camera("127.0.6.18"));
    SessionConfig config;
    config.hostPort = server().HostPort();
    CameraSession orphan(config);
    orphan.SetImage(Image(100), 100, "ver1.23");
    EXPECT_FALSE(orphan.StartUpgrade());
    EXPECT_EQ(orphan.status.load(), static_cast<std::int32_t>(S::Standby));

    CameraSession& session = MakeSession(Mode::Automatic);
    session.SetImage(Image(100), 100, "ver1.23");
    EXPECT_TRUE(session.StartUpgrade());
    EXPECT_FALSE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(server().Upgrade().Records().size(), 1u);
}

TEST_F(SequenceTest, ASizeBeyondTheImageIsCutToTheImage) {
    StartFleet(Camera("127.0.6.19"));
    CameraSession& session = MakeSession(Mode::Automatic);
    session.SetImage(Image(4000), 1u << 30, "ver1.23");
    EXPECT_EQ(session.imageSize, 4000u);
}

}  // namespace
}  // namespace xqt::test

// The upgrade sequence end to end against a simulated camera, in scaled time (x0.01): the status
// chain, the messages posted to the owner, the boxes, the progress and what the camera received.
#include <gmock/gmock.h>

#include <optional>
#include <string_view>
#include <vector>

#include "SequenceSupport.h"
#include "camera/ProgressStream.h"
#include "camera/UploadBody.h"
#include "sim/Sha256.h"
#include "tests/support/Slowdown.h"

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

    ASSERT_TRUE(server().Upgrade().WaitForRecords(1, Allow(RunLimit())));
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
    ASSERT_TRUE(WaitUntil([&] { return session.status.load() == static_cast<std::int32_t>(S::Rebooting); },
                          RunLimit()));
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
    ASSERT_TRUE(WaitUntil([&] { return session.overwriteDone.load(); }, RunLimit()));
    EXPECT_EQ(session.stepSize.load(), (EMERGENCY_CEILING - 719) / 180) << "719 chunks written";
    ASSERT_TRUE(WaitForEnd());
    EXPECT_THAT(chain.Stop(), ElementsAre(S::Uploading, S::Overwriting, S::Rebooting, S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 6}));
    EXPECT_EQ(value.load(), PROGRESS_MAX);
    EXPECT_EQ(SystemInquiriesSince(before), 0) << "nothing is asked of a camera in emergency state";
    EXPECT_FALSE(session.verified.load());
    EXPECT_EQ(session.reportedVersion.Get(), "ver1.23");
    ASSERT_EQ(server().Upgrade().Records().size(), 1u);
    EXPECT_TRUE(server().Upgrade().Records()[0].accepted);
}

TEST_F(SequenceTest, InManualModeTheWatchdogEndsAStreamThatNeverClosesAndTheWorkerStops) {
    sim::SimCamera camera = Camera("127.0.6.13");
    camera.upgrade.streamEnd = "close";  // ends without the closing delimiter
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Manual);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    const std::size_t before = server().Requests().size();
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(owner.WaitForMessages(1, Allow(RunLimit())));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 3}));
    EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::OverwriteTimedOut));
    ASSERT_TRUE(WaitForEnd(RunLimit())) << "the abandoned worker returns";
    // Longer than the first wait after an overwrite, when a worker that went on would ask the camera.
    std::this_thread::sleep_for(Allow(Timing().firstVerifyWait + 10 * Timing().tickPeriod));
    EXPECT_EQ(session.status.load(), static_cast<std::int32_t>(S::Overwriting)) << "no further step";
    EXPECT_EQ(SystemInquiriesSince(before), 0);
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_GE(owner.TickCount(TIMER_TICK_BASE), 181);
}

TEST_F(SequenceTest, DeletingARunningSessionEndsItsWorkerAtOnceAndNothingFollows) {
    sim::SimCamera camera = Camera("127.0.6.16");
    // A step every second of scaled time, stretched for the tree: ending the session must not wait
    // for the next one.
    camera.upgrade.progressStepMs = static_cast<int>(100000 * Slowdown());
    StartFleet(camera);
    CameraSession& session = MakeSession(Mode::Manual);
    session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
    const std::size_t inquiries = server().Requests().size();  // the check before the upgrade
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitUntil([&] { return session.status.load() == static_cast<std::int32_t>(S::Overwriting); },
                          RunLimit()));
    // Our side reaches Overwriting once the image is written; the camera records the upload only after
    // parsing all of it, which a slow (sanitized) build may do later.
    ASSERT_TRUE(server().WaitForRequests(inquiries + 1, Allow(RunLimit())));
    std::this_thread::sleep_for(Allow(5 * Timing().tickPeriod));  // the worker reads the stream
    const auto start = std::chrono::steady_clock::now();
    EndSession();
    // Sooner than the camera's next step, which a worker that waited for its reply would see.
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(camera.upgrade.progressStepMs) * kScale);
    const std::size_t requests = server().Requests().size();
    std::this_thread::sleep_for(
        Allow(30 * Timing().tickPeriod));  // a worker left running would go on meanwhile
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
    ASSERT_TRUE(WaitUntil([&] { return session.overwriteDone.load(); }, RunLimit()));
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

// ---- Whole runs, one row each ------------------------------------------------------------------

// One run to its end and what it must end in; a field left out takes the most common value.
struct SequenceRun {
    const char* name;
    void (*knob)(sim::SimCamera&) = [](sim::SimCamera&) {};
    SequenceTest::Mode mode = SequenceTest::Mode::Automatic;
    bool unreachable = false;                         // the session names a port nobody listens on
    std::chrono::milliseconds rebootInquiryLimit{0};  // 0: the scaled default
    std::size_t imageSize = kImageSize;
    const char* imageVersion = "1.23";  // carried in the image
    const char* version = "ver1.23";    // given to SetImage
    std::vector<S> chain{};             // automatic mode: every status in order
    S final = S::Completed;             // automatic mode
    std::vector<UpgradeMessage> messages{};
    const char* box = nullptr;  // the start of the one box shown; none: no box
    std::optional<platform::MbIcon> boxIcon{};
    UpgradeFailure failure = UpgradeFailure::None;
    bool verified = false;
    int flashed = 1;                        // uploads the camera took
    int systemInquiries = -1;               // after the start; -1: not counted
    const char* reportedVersion = nullptr;  // none: not compared
    const char* newVersion = "ver1.23";     // the image's version once the run has ended
    std::chrono::milliseconds within{};     // the run ends sooner than this; 0: not measured
    int ticksBelow = 0;                     // the tick timer fired fewer times than this; 0: not counted
    int ticksAtLeast = 0;
    int lostLinkTicksAtLeast = 0;
};

std::ostream& operator<<(std::ostream& out, const SequenceRun& run) {
    return out << run.name;
}

using M = SequenceTest::Mode;
using F = UpgradeFailure;

// Scaled x0.01: step limit 600 ms, transfer bound 600 ms + 640 ms per MiB, a tick 10 ms, the
// overwrite watchdog 180 ticks.
const SequenceRun kRuns[] = {
    {.name = "NormalRunInManualModeMovesTheBarAndPostsSix",
     .mode = M::Manual,
     .messages = {{1, 6}},
     .verified = true},
    {.name = "UnsentUploadIsError1",
     .unreachable = true,
     .imageSize = 5000,
     .chain = {S::Uploading, S::Error1},
     .final = S::Error1,
     .failure = F::UploadNotSent,
     .flashed = 0},
    {.name = "UnsentUploadInManualModeShowsTheNetworkError",
     .mode = M::Manual,
     .unreachable = true,
     .imageSize = 5000,
     .messages = {{1, 3}},
     .box = "Network error occurred.",
     .boxIcon = platform::MbIcon::Stop,
     .failure = F::UploadNotSent,
     .flashed = 0},
    // A camera that reads the image a few bytes at a time (each read within the step limit) is held
    // to the transfer's bound; one that answers the request with 500 flashed nothing. Already the
    // image's version: never a success by accident.
    {.name = "InManualModeASlowUploadShowsTheNetworkErrorAtOnce",
     .knob =
         [](sim::SimCamera& c) {
             c.softVersion = "1.23";
             c.upgrade.slowReadBytes = 64;
             c.upgrade.slowReadPauseMs = 10000;
         },
     .mode = M::Manual,
     .imageSize = 8u << 20,
     .messages = {{1, 3}},
     .box = "Network error occurred.",
     .failure = F::UploadNotSent,
     .flashed = 0,
     .within = 3s},  // 600 ms + 640 ms per MiB sent
    {.name = "InManualModeARefusedUploadShowsTheNetworkErrorAtOnce",
     .knob =
         [](sim::SimCamera& c) {
             c.softVersion = "1.23";
             c.upgrade.answerStatus = 500;
         },
     .mode = M::Manual,
     .imageSize = 8u << 20,
     .messages = {{1, 3}},
     .box = "Network error occurred.",
     .failure = F::UploadNotSent,
     .flashed = 0,
     .within = 3s},
    {.name = "ALostConnectionIsWaitedOutAndVerified",
     .knob = [](sim::SimCamera& c) { c.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40; },
     .chain = {S::Uploading, S::Overwriting, S::Searching, S::Completed},
     .messages = {{0, 1}},
     .verified = true,
     .reportedVersion = "ver1.23",
     .lostLinkTicksAtLeast = 241},
    {.name = "ACameraThatNeverComesBackAfterALostConnectionIsError1",
     .knob =
         [](sim::SimCamera& c) {
             c.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40;
             c.upgrade.neverComeBack = true;
         },
     .rebootInquiryLimit = 20ms,  // 20 unanswered attempts
     .chain = {S::Uploading, S::Overwriting, S::Searching, S::Error1},
     .final = S::Error1,
     .failure = F::NotBack},
    {.name = "ManualModeReportsACameraThatNeverCameBackWithTheVersionUpError",
     .knob =
         [](sim::SimCamera& c) {
             c.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40;
             c.upgrade.neverComeBack = true;
         },
     .mode = M::Manual,
     .rebootInquiryLimit = 20ms,
     .messages = {{1, 3}},
     .box = "Version up error.",
     .failure = F::NotBack},
    {.name = "AnotherVersionAfterTheRebootFailsAtOnce",
     .knob = [](sim::SimCamera& c) { c.upgrade.comeBackVersion = "9.99"; },
     .chain = {S::Uploading, S::Overwriting, S::Rebooting, S::Error2},
     .final = S::Error2,
     .failure = F::NotVerified,
     .systemInquiries = 1,  // no further attempts once the version differs
     .reportedVersion = "ver9.99"},
    {.name = "WithoutAVersionTheFirstAcceptedAnswerDefinesIt",
     .imageVersion = "2.00",
     .version = "",
     .messages = {{1, 6}},
     .verified = true,
     .reportedVersion = "ver2.00",
     .newVersion = "ver2.00"},
    {.name = "ABrokenStreamIsError2WithoutWaitingForTheWatchdog",
     .knob = [](sim::SimCamera& c) { c.upgrade.breakStreamAfterSteps = 5; },
     .chain = {S::Uploading, S::Overwriting, S::Rebooting, S::Error2},
     .final = S::Error2,
     .failure = F::StreamBroken,
     .systemInquiries = 0,
     .within = 1800ms},
    {.name = "AStreamThatFallsSilentEndsAtTheReceiveTimeOut",
     .knob = [](sim::SimCamera& c) { c.upgrade.streamEnd = "stall"; },  // connection kept
     .chain = {S::Uploading, S::Overwriting, S::Rebooting, S::Error2},
     .final = S::Error2,
     .failure = F::StreamBroken,
     .ticksBelow = 181},  // the 60 s receive time-out, not the watchdog
    {.name = "ManualModeShowsTheVersionUpErrorForABrokenStream",
     .knob = [](sim::SimCamera& c) { c.upgrade.breakStreamAfterSteps = 0; },
     .mode = M::Manual,
     .messages = {{1, 3}},
     .box = "Version up error.",
     .failure = F::StreamBroken},
    {.name = "InAutomaticModeTheWatchdogCutsTheWaitShortAndTheSequenceGoesOn",
     .knob = [](sim::SimCamera& c) { c.upgrade.streamEnd = "close"; },  // no closing delimiter
     .chain = {S::Uploading, S::Overwriting, S::Rebooting, S::Completed},
     .messages = {{1, 6}},
     .verified = true,
     .ticksAtLeast = 181},
    // The first inquiry after the reboot hangs; the abandoned worker's inquiry ends at once.
    {.name = "AVerificationStillUndecidedAfter180TicksCountsAsCompleted",
     .knob = [](sim::SimCamera& c) { c.upgrade.neverComeBack = true; },
     .mode = M::Manual,
     .rebootInquiryLimit = 20s,
     .messages = {{1, 6}},
     .reportedVersion = "ver1.23",
     .within = 8s},
};

class SequenceTableTest : public SequenceTest, public ::testing::WithParamInterface<SequenceRun> {};

TEST_P(SequenceTableTest, EndsAsListed) {
    const SequenceRun& run = GetParam();
    sim::SimCamera camera = Camera("127.0.6.30");
    run.knob(camera);
    StartFleet(camera);
    auto timing = Timing();
    if (run.rebootInquiryLimit.count() > 0) timing.rebootInquiryLimit = run.rebootInquiryLimit;
    CameraSession& session = MakeSession(run.mode, timing, 0, run.unreachable ? camera.ipText + ":1" : "");
    session.SetImage(Image(run.imageSize, run.imageVersion), static_cast<std::uint32_t>(run.imageSize),
                     run.version);
    const std::size_t before = server().Requests().size();
    StatusChain chain(session);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.StartUpgrade());
    ASSERT_TRUE(WaitForEnd());
    const auto took = std::chrono::steady_clock::now() - start;

    if (run.mode == M::Automatic) {
        const std::vector<S> usual{S::Uploading, S::Overwriting, S::Rebooting, run.final};
        EXPECT_THAT(chain.Stop(), ::testing::ElementsAreArray(run.chain.empty() ? usual : run.chain));
        EXPECT_EQ(session.status.load(), static_cast<std::int32_t>(run.final));
    }
    EXPECT_EQ(Messages(), run.messages);
    if (run.box) {
        ASSERT_EQ(boxes.Count(), 1u);
        const auto box = boxes.Taken()[0];
        EXPECT_EQ(box.text.substr(0, std::string_view(run.box).size()), run.box);
        EXPECT_EQ(box.caption, "Information");
        if (run.boxIcon) {
            EXPECT_EQ(box.icon, *run.boxIcon);
        }
    } else {
        EXPECT_EQ(boxes.Count(), 0u);
    }
    EXPECT_EQ(session.failure.load(), FailureCode(run.failure));
    EXPECT_EQ(session.verified.load(), run.verified);
    EXPECT_EQ(session.newVersion.Get(), run.newVersion);
    if (run.failure == F::StreamBroken) {
        EXPECT_FALSE(session.streamOk.load());
    }
    // Manual mode leaves the status where the failure met it; its outcome is the failure.
    if (run.mode == M::Automatic ? run.final == S::Completed : run.failure == F::None) {
        EXPECT_EQ(run.mode == M::Automatic ? value.load() : bar.Position(), PROGRESS_MAX);
    }
    int flashed = 0;
    for (const auto& record : server().Upgrade().Records())
        flashed += record.accepted;
    EXPECT_EQ(flashed, run.flashed);
    if (run.systemInquiries >= 0) {
        EXPECT_EQ(SystemInquiriesSince(before), run.systemInquiries);
    }
    if (run.reportedVersion) {
        EXPECT_EQ(session.reportedVersion.Get(), run.reportedVersion);
    }
    if (run.within.count() > 0) {
        EXPECT_LT(took, run.within);
    }
    if (run.ticksBelow > 0) {
        EXPECT_LT(owner.TickCount(TIMER_TICK_BASE), run.ticksBelow);
    }
    EXPECT_GE(owner.TickCount(TIMER_TICK_BASE), run.ticksAtLeast);
    EXPECT_GE(owner.TickCount(TIMER_LOSTLINK_BASE), run.lostLinkTicksAtLeast);
}

INSTANTIATE_TEST_SUITE_P(Runs, SequenceTableTest, ::testing::ValuesIn(kRuns),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace xqt::test

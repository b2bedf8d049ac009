// Whole automatic runs over simulated cameras in scaled time, driven by an EventLoopOwner as the
// command line drives them: the start rule checked on the exact record of every status change,
// failures that end one camera only, the image chosen by DocType, Abort, the setup-data options,
// emergency state, and what each row keeps for a report.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "fleet/BatchRun.h"
#include "fleet/Conversions.h"
#include "fleet/UpgradeLog.h"
#include "platform/EventLoopOwner.h"
#include "platform/PlaceholderImage.h"
#include "platform/Resources.h"
#include "sim/Sha256.h"
#include "sim/SimFleet.h"
#include "tests/camera/SimHelpers.h"
#include "tests/camera/config/ConfigTestSupport.h"
#include "tests/support/Slowdown.h"

namespace xqt::test {
namespace {

using namespace std::chrono_literals;

constexpr double kScale = 0.01;
const std::string kSecondSlotKey = "XQT-DOC-B";

ImageBytes Image(std::size_t size) {
    return std::make_shared<const std::vector<std::uint8_t>>(platform::MakePlaceholderImage(size, "1.23"));
}

platform::EngineTiming SuiteTiming() {
    auto timing = platform::EngineTiming{}.Scaled(kScale);
    timing.inquiryLimit = 2s;  // room for a loaded machine
    return timing;
}

/// The longest one camera's run may take under the suite's timing; every wait here is a few of these.
std::chrono::milliseconds CameraLimit() {
    return UpgradeLimit(SuiteTiming());
}

bool WaitUntilTrue(const std::function<bool()>& done, std::chrono::milliseconds limit = CameraLimit()) {
    return WaitFor(done, limit);
}

std::string Sha(const ImageBytes& bytes) {
    return sim::Sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

sim::SimCamera Camera(int n) {
    return NumberedCamera(9, n, 5000000);
}

bool IsTransfer(UpgradeStatus s) {
    return s == UpgradeStatus::SavingConfig || s == UpgradeStatus::Uploading;
}

/// Every status change of every row, in the order other threads could see them, and the end.
class Recorder : public BatchObserver {
  public:
    struct Change {
        int row;
        UpgradeStatus status;
    };
    void StatusChanged(int row, UpgradeStatus status) override {
        std::lock_guard lock(mutex_);
        changes_.push_back({row, status});
    }
    void RunEnded() override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        wake_.notify_all();
    }
    bool WaitForEnd(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, limit, [&] { return ended_; });
    }
    std::vector<Change> Changes() const {
        std::lock_guard lock(mutex_);
        return changes_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Change> changes_;
    bool ended_ = false;
};

class BatchRunTest : public ::testing::Test {
  protected:
    BatchRunTest()
        : configHome("XDG_DATA_HOME", folder.str().c_str()), programFiles("ProgramFiles", nullptr) {
        platform::UseResources(platform::EmbeddedResources());
        resources.modelNames = ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
        resources.slotKeys = {"XQT-DOC-A", kSecondSlotKey, "", "", ""};
        resources.slotData[0] = Image(300 * 1024);
        resources.slotSize[0] = 300 * 1024;
        resources.slotData[1] = Image(260 * 1024);
        resources.slotSize[1] = 260 * 1024;
        resources.versionLabel = "ver1.23";
        timing = SuiteTiming();
    }
    ~BatchRunTest() override {
        owner.Call([&] { run.reset(); });
    }

    /// Starts the fleet and fills a run with its cameras (the administrator's login), rows named in
    /// `dhcpRows` listed as DHCP cameras.
    void Open(std::vector<sim::SimCamera> cameras, BatchLimits limits = {}, std::vector<int> dhcpRows = {}) {
        fleet = std::make_unique<sim::SimFleet>(std::move(cameras), kScale);
        fleet->Start();
        owner.Call([&] {
            run = std::make_unique<BatchRun>(&owner, resources, timing, limits);
            recorder = std::make_unique<Recorder>();
            run->SetObserver(recorder.get());
            for (std::size_t i = 0; i < fleet->Size(); ++i) {
                const sim::SimCamera camera = fleet->At(i).Camera();
                UpgradeData data;
                data.ticked = true;
                unsigned a = 0, b = 0, c = 0, d = 0;
                std::sscanf(camera.ipText.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
                data.address = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d)};
                data.port = camera.webPort;
                data.dhcp = std::count(dhcpRows.begin(), dhcpRows.end(), static_cast<int>(i)) ? 1 : 0;
                data.model = camera.model;
                data.serial = camera.serial;
                data.version = camera.softVersion;
                data.name = "admin";
                data.password = "admin";
                run->AddCamera(MakeProgressRecord(data, static_cast<int>(i)), data.name, data.password,
                               data.serial);
            }
        });
        owner.SetTimerHandler([this](int id) { run->OnTimer(id); });
    }
    void Retain(bool retain, bool backup = false) {
        owner.Call([&] {
            run->Options().retain.store(retain ? 1 : 0);
            run->Options().noBackup.store(backup ? 0 : 1);
        });
    }
    bool RunToEnd(std::chrono::milliseconds limit = 3 * CameraLimit()) {
        owner.Call([&] { EXPECT_TRUE(run->Start()); });
        return recorder->WaitForEnd(Allow(limit));
    }
    std::vector<ProgressRecord> Rows() {
        std::vector<ProgressRecord> rows;
        owner.Call([&] {
            for (int i = 0; i < run->Size(); ++i)
                rows.push_back(run->Row(i));
        });
        return rows;
    }
    std::string Log() {
        std::string log;
        for (const ProgressRecord& row : Rows())
            log += LogLine(row);
        return log;
    }
    std::string Line(const std::string& inner, const std::string& result) {
        return "XQT-TR60(" + inner + ") " + result + "\r\n";
    }
    std::string Address(int i) const { return fleet->At(i).HostPort(); }

    /// Replays the recorded changes and checks the start rule at every step: cameras start in row
    /// order, never more than maxActive are in progress, never more than maxTransfers save or upload.
    void ExpectStartRule(const BatchLimits& limits) {
        std::map<int, UpgradeStatus> state;
        int nextStart = 0;
        for (const Recorder::Change& change : recorder->Changes()) {
            const bool starting = IsTransfer(change.status) && !state.count(change.row);
            if (starting) {
                EXPECT_EQ(change.row, nextStart) << "cameras start in row order";
                nextStart = change.row + 1;
            }
            state[change.row] = change.status;
            int active = 0;
            int transfers = 0;
            for (const auto& [row, status] : state) {
                active += !IsFinal(status);
                transfers += IsTransfer(status);
            }
            EXPECT_LE(active, limits.maxActive);
            EXPECT_LE(transfers, limits.maxTransfers);
        }
    }

    TempFolder folder;
    EnvOverride configHome;
    EnvOverride programFiles;
    ResourceState resources;
    platform::EngineTiming timing;
    platform::RecordingMessageBoxes boxes;
    platform::EventLoopOwner owner{boxes};
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<sim::SimFleet> fleet;
    std::unique_ptr<BatchRun> run;
};

TEST_F(BatchRunTest, TheStartRuleHoldsForEveryWindowAndTransferLimit) {
    struct Case {
        BatchLimits limits;
        int cameras;
    };
    for (const Case& c : {Case{{2, 1}, 3}, Case{{4, 2}, 6}, Case{{3, 3}, 5}}) {
        SCOPED_TRACE(testing::Message() << c.limits.maxActive << "/" << c.limits.maxTransfers);
        std::vector<sim::SimCamera> cameras;
        for (int n = 1; n <= c.cameras; ++n) {
            cameras.push_back(Camera(n));
            // Configurations that take 0.1 s to save: long enough for a wrong start to overlap.
            cameras.back().http.onlyFor = {"/home/l4/xqt-tr60.cfg"};
            cameras.back().http.answerDelayMs = 10000;
        }
        Open(cameras, c.limits);
        Retain(true);
        ASSERT_TRUE(RunToEnd());
        ExpectStartRule(c.limits);
        for (const ProgressRecord& row : Rows()) {
            EXPECT_EQ(row.text[ProgressSlot::STATUS], "Completed");
            EXPECT_EQ(row.text[ProgressSlot::VERSION], "1.23");
            EXPECT_EQ(row.previousVersion, "1.10");
            EXPECT_TRUE(row.confirmed);
            EXPECT_EQ(row.progress.Load(), PROGRESS_MAX);
            EXPECT_LE(row.startedAt, row.endedAt);
            EXPECT_NE(row.startedAt, std::chrono::system_clock::time_point{});
        }
        for (int i = 0; i < c.cameras; ++i) {
            const auto images = fleet->At(i).Upgrade().Records();
            ASSERT_EQ(images.size(), 1u);
            EXPECT_EQ(images[0].sha256, Sha(resources.slotData[0]));
        }
        owner.Call([&] { run.reset(); });
    }
}

TEST_F(BatchRunTest, ARefusedOrMissingCameraEndsAloneAfterOneInquiry) {
    std::vector<sim::SimCamera> cameras{Camera(11), Camera(12), Camera(13)};
    cameras[1].http.refuseLogin = true;
    cameras[2].http.answerDelayMs = 300000;  // 3 s in scaled time, past the 2 s inquiry limit
    Open(cameras);
    Retain(false);
    ASSERT_TRUE(RunToEnd());

    const auto rows = Rows();
    EXPECT_EQ(rows[0].text[ProgressSlot::STATUS], "Completed");
    EXPECT_EQ(rows[1].text[ProgressSlot::STATUS], "Error3");
    EXPECT_EQ(rows[1].text[ProgressSlot::VERSION], "1.10");
    EXPECT_EQ(rows[1].progress.Load(), PROGRESS_MAX);
    EXPECT_EQ(rows[2].text[ProgressSlot::STATUS], "Error1");
    EXPECT_TRUE(fleet->At(1).Upgrade().Records().empty());
    const auto asked = fleet->At(2).Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].request.body, "inq=system");
    EXPECT_EQ(Log(), Line(Address(0), "Completed successfully.") + Line(Address(1), "Login error.") +
                         Line(Address(2), "Network error (missing target)."));
}

TEST_F(BatchRunTest, DocTypeChoosesTheImageAndADhcpCameraIsLoggedAsSuch) {
    std::vector<sim::SimCamera> cameras{Camera(21), Camera(22), Camera(23)};
    cameras[0].docType = kSecondSlotKey;
    cameras[1].docType = "XQT-DOC-Z";           // no slot has this key
    cameras[2].docType = kSecondSlotKey + " ";  // keys are compared exactly
    Open(cameras, {}, {2});
    Retain(false);
    ASSERT_TRUE(RunToEnd());

    const std::string expected[] = {Sha(resources.slotData[1]), Sha(resources.slotData[0]),
                                    Sha(resources.slotData[0])};
    const auto rows = Rows();
    for (int i = 0; i < 3; ++i) {
        const auto images = fleet->At(i).Upgrade().Records();
        ASSERT_EQ(images.size(), 1u) << i;
        EXPECT_EQ(images[0].sha256, expected[i]) << i;
        EXPECT_EQ(rows[i].imageSlot, i == 0 ? 1 : 0) << i;
    }
    EXPECT_EQ(Log(), Line(Address(0), "Completed successfully.") +
                         Line(Address(1), "Completed successfully.") +
                         Line("DHCP:" + Address(2), "Completed successfully."));
}

TEST_F(BatchRunTest, AbortLetsRunningCamerasEndAndDropsTheWaitingOnes) {
    std::vector<sim::SimCamera> cameras;
    for (int n = 31; n <= 36; ++n) {
        cameras.push_back(Camera(n));
        cameras.back().upgrade.progressStepMs = 8000;  // a longer overwrite: room to abort
    }
    Open(cameras);
    Retain(false);
    owner.Call([&] { EXPECT_TRUE(run->Start()); });
    ASSERT_TRUE(WaitUntilTrue([&] {
        const auto rows = Rows();
        return rows[1].text[ProgressSlot::STATUS] != "Standby" && rows[1].text[ProgressSlot::STATUS] != "";
    }));
    owner.Call([&] { run->Abort(); });
    ASSERT_TRUE(recorder->WaitForEnd(Allow(3 * CameraLimit())));

    const auto rows = Rows();
    EXPECT_EQ(rows[0].text[ProgressSlot::STATUS], "Completed");
    EXPECT_EQ(rows[1].text[ProgressSlot::STATUS], "Completed");
    for (int i = 2; i < 6; ++i) {
        EXPECT_EQ(rows[i].text[ProgressSlot::STATUS], "Standby") << i;
        EXPECT_EQ(rows[i].result, UpgradeStatus::Standby) << i;
        EXPECT_EQ(rows[i].progress.Load(), 0) << i;
        EXPECT_TRUE(fleet->At(i).Requests().empty()) << i;  // never asked anything
    }
    owner.Call([&] { EXPECT_FALSE(run->Running()); });
}

TEST_F(BatchRunTest, ACameraListedTwiceIsDrivenByOneSessionOnly) {
    Open({Camera(41)});
    Retain(false);
    owner.Call([&] {
        ProgressRecord twin = run->Row(0);
        run->AddCamera(std::move(twin), "admin", "admin", "");
        EXPECT_EQ(run->QueueLength(), 1);
    });
    ASSERT_TRUE(RunToEnd());
    const auto rows = Rows();
    EXPECT_EQ(rows[0].text[ProgressSlot::STATUS], "Completed");
    EXPECT_EQ(rows[1].end, RowEnd::NotStarted);
    EXPECT_NE(rows[1].detail.find("listed twice"), std::string::npos);
    EXPECT_EQ(fleet->At(0).Upgrade().Records().size(), 1u);
}

TEST_F(BatchRunTest, AbortWhileAStartIsAskedDropsThatCameraToo) {
    std::vector<sim::SimCamera> cameras{Camera(41), Camera(42)};
    cameras[0].http.onlyFor = {"inq=system"};
    cameras[0].http.answerDelayMs = 50000;  // 0.5 s in scaled time
    Open(cameras);
    Retain(false);
    owner.Call([&] { EXPECT_TRUE(run->Start()); });
    ASSERT_TRUE(WaitUntilTrue([&] { return !fleet->At(0).Requests().empty(); }));
    // The window runs while the camera is asked, and nothing starts behind it.
    EXPECT_TRUE(fleet->At(1).Requests().empty());
    owner.Call([&] { run->Abort(); });
    ASSERT_TRUE(recorder->WaitForEnd(Allow(CameraLimit())));

    const auto rows = Rows();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(rows[i].result, UpgradeStatus::Standby) << i;
        EXPECT_TRUE(fleet->At(i).Upgrade().Records().empty()) << i;
    }
    EXPECT_TRUE(fleet->At(1).Requests().empty());
    EXPECT_TRUE(recorder->Changes().empty());
}

TEST_F(BatchRunTest, RetainedSettingsArePutBackAndTheSavedFileIsKeptOnlyWithBackup) {
    for (const bool backup : {false, true}) {
        SCOPED_TRACE(backup);
        Open({Camera(backup ? 52 : 51)});
        Retain(true, backup);
        ASSERT_TRUE(RunToEnd(6 * CameraLimit()));
        const auto rows = Rows();
        EXPECT_EQ(rows[0].text[ProgressSlot::STATUS], "Completed");
        EXPECT_FALSE(fleet->At(0).Config().Restores().empty());
        EXPECT_EQ(rows[0].savedFile.empty(), !backup);
        if (backup) {
            EXPECT_TRUE(std::filesystem::is_regular_file(rows[0].savedFile));
        }
        owner.Call([&] { run.reset(); });
    }
}

TEST_F(BatchRunTest, ACameraInEmergencyStateIsUpgradedWithoutLoginAndNotConfirmed) {
    std::vector<sim::SimCamera> cameras{Camera(91)};
    cameras[0].emergency = true;
    Open(cameras);
    Retain(false);
    ASSERT_TRUE(RunToEnd(6 * CameraLimit()));

    const auto rows = Rows();
    EXPECT_EQ(rows[0].text[ProgressSlot::STATUS], "Completed");
    EXPECT_EQ(rows[0].text[ProgressSlot::VERSION], "1.23");
    EXPECT_FALSE(rows[0].confirmed);
    for (const auto& change : recorder->Changes())
        EXPECT_NE(change.status, UpgradeStatus::Searching);
    for (const auto& request : fleet->At(0).Requests())
        EXPECT_NE(request.request.body, "inq=user");
    EXPECT_EQ(Log(), Line(Address(0), "Completed successfully. Version 1.23 (not confirmed)."));
}

}  // namespace
}  // namespace xqt::test

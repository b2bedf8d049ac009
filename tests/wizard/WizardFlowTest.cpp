// The wizard's manual path without widgets: WizardFlow driven through a recording view and the
// fake engine. Helper-thread jobs wait in the view until the test runs them, so what the flow does
// while it is busy can be seen; timers fire when the test says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <thread>

#include "camera/ResourceState.h"
#include "platform/MessageBoxes.h"
#include "platform/ResourceText.h"
#include "tests/wizard/FakeWizardEngine.h"
#include "tests/wizard/WizardResources.h"
#include "wizard/RealWizardEngine.h"
#include "wizard/WizardFlow.h"
#include "wizard/WizardTexts.h"

namespace xqt::test {
namespace {

using platform::MbButtons;
using platform::MbIcon;
using platform::MbResult;

/// The window as the flow sees it: the last value of every button, page field and timer.
class RecordingWizardView : public WizardView,
                            AgreementAccess,
                            ModeAccess,
                            ManualTargetAccess,
                            ManualProgressAccess,
                            ManualResultAccess,
                            AutoPagesAccess {
  public:
    struct Job {
        std::function<void(std::stop_token)> work;
        std::function<void()> done;
    };

    void ShowOnlyPage(WizardPage p) override { page = p; }
    void SetButtonText(WizardButton b, const std::string& text) override { texts[b] = text; }
    void EnableButton(WizardButton b, bool on) override { enabled[b] = on; }
    bool IsButtonEnabled(WizardButton b) const override { return enabled.count(b) && enabled.at(b); }
    void FocusButton(WizardButton) override {}
    void EnableClose(bool on) override { closeEnabled = on; }
    void ShowEmergencyIndicator(bool shown) override { emergency = shown; }
    void SetWaitCursor(bool shown) override { waitCursor = shown; }
    void EndDialog(bool ok) override { ended = ok; }
    void StartTimer(int id, int) override { timers.insert(id); }
    void StopTimer(int id) override { timers.erase(id); }
    void RunOffUiThread(std::function<void(std::stop_token)> work, std::function<void()> done) override {
        jobs.push_back({std::move(work), std::move(done)});
    }

    AgreementAccess& Agreement() override { return *this; }
    ModeAccess& Mode() override { return *this; }
    ManualTargetAccess& ManualTarget() override { return *this; }
    ManualProgressAccess& ManualProgress() override { return *this; }
    ManualResultAccess& ManualResult() override { return *this; }
    AutoPagesAccess& AutoPages() override { return *this; }

    bool IsAgreed() override { return true; }
    void Refresh() override {}
    bool IsManual() override { return true; }

    bool Validate() override { return true; }
    bool CheckUniqueAddress(const std::vector<DiscoveryEntry>&) override { return true; }
    std::string GetAddressText() override { return "10.0.0.5"; }
    std::string GetCredentialText() override { return "admin:admin"; }
    std::string AdminName() override { return "admin"; }
    std::string AdminPassword() override { return "admin"; }
    SetupData ReadSetupData() override { return setup; }
    void FocusAddress() override {}

    void SetAddressText(const std::string& text) override { address = text; }
    void SetCurrentVersion(const std::string& text) override { currentVersion = text; }
    void SetNewVersion(const std::string& text) override { newVersion = text; }
    void SetStatusLine(const std::string& text) override { statusLine = text; }
    void SetSetupData(SetupData) override {}
    void ShowStatusWord(UpgradeStatus status) override { words.push_back(status); }
    void SetResultText(const std::string& label, bool confirmed) override { result = {label, confirmed}; }

    void EnterTargets(bool) override {}
    void ResetProgressList() override {}
    void StartAutomaticUpgrade() override {}
    void AbortAutomaticUpgrade() override {}

    /// Runs the waiting helper-thread jobs, and those their completions start, in order.
    void RunJobs() {
        while (!jobs.empty()) {
            Job job = std::move(jobs.front());
            jobs.pop_front();
            job.work(std::stop_token{});
            job.done();
        }
    }

    std::optional<WizardPage> page;
    std::map<WizardButton, std::string> texts;
    std::map<WizardButton, bool> enabled;
    bool closeEnabled = true;
    bool emergency = false;
    bool waitCursor = false;
    std::optional<bool> ended;
    std::set<int> timers;
    std::deque<Job> jobs;
    SetupData setup{false, false};
    std::string address, currentVersion, newVersion, statusLine;
    std::vector<UpgradeStatus> words;  ///< every status shown, in order
    std::optional<std::pair<std::string, bool>> result;
};

/// The wizard's texts and resources, installed for the life of a test.
struct LoadedResources {
    LoadedResources() {
        InstallWizardResources(res);
        platform::UseResources(res);
        platform::RecordingMessageBoxes loadBoxes;
        resources.LoadAll(&loadBoxes);
    }
    ~LoadedResources() { platform::UseResources(empty); }

    platform::MemoryResources res;
    platform::MemoryResources empty;
    ResourceState resources;
};

/// One wizard over the fake engine, started on its first page.
struct ManualRun {
    explicit ManualRun(ResourceState& resources) : flow{view, engine, boxes, resources, FastTiming()} {
        flow.Start();
    }

    /// From the first page to the progress page with the given setup choice.
    void Prepare(bool retain, bool backup) {
        view.setup = {retain, backup};
        for (int i = 0; i < 3; ++i)
            flow.Next();
        ASSERT_EQ(flow.State(), STATE_MANUAL_TARGET);
        flow.Next();
        EXPECT_TRUE(flow.Busy());
        view.RunJobs();
        ASSERT_EQ(flow.State(), STATE_MANUAL_READY);
    }

    /// Upgrade, confirmed and checked again; the session is then the test's to play.
    void Upgrade() {
        boxes.QueueAnswer(MbResult::Ok);
        flow.Next();
        view.RunJobs();
        ASSERT_EQ(flow.State(), STATE_MANUAL_RUNNING);
    }

    /// Fires the restart watch until it stops, as the window's timer would; bounded, never hangs.
    void WatchRestart() {
        for (int i = 0; i < 2000 && view.timers.count(TIMER_RESTART_WATCH); ++i) {
            flow.OnTimer(TIMER_RESTART_WATCH);
            view.RunJobs();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_FALSE(view.timers.count(TIMER_RESTART_WATCH));
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& shown : boxes.Taken())
            texts.push_back(shown.text);
        return texts;
    }

    platform::RecordingMessageBoxes boxes;
    FakeWizardEngine engine;
    RecordingWizardView view;
    WizardFlow flow;
};

class WizardFlowTest : public ::testing::Test, protected LoadedResources, protected ManualRun {
  protected:
    WizardFlowTest() : ManualRun(resources) {}
};

TEST_F(WizardFlowTest, ProgressPageShowsTheCheckedCamera) {
    Prepare(false, false);
    EXPECT_EQ(view.page, WizardPage::ManualProgress);
    EXPECT_EQ(view.address, "10.0.0.5");
    EXPECT_EQ(view.currentVersion, "ver2.31");
    EXPECT_EQ(view.newVersion, "ver1.23");
    EXPECT_EQ(view.texts[WizardButton::Next], "&Upgrade");
    EXPECT_EQ(flow.CameraSerial(), "1000001");
    EXPECT_FALSE(view.waitCursor);
    EXPECT_EQ(engine.checked.at(0), (std::pair<std::string, std::string>{"10.0.0.5", "YWRtaW46YWRtaW4="}));
}

TEST_F(WizardFlowTest, UnsuitableCameraStaysOnTheTargetPage) {
    struct Case {
        const char* name;
        std::function<void(FakeWizardEngine&)> arrange;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"refused by the check",
         [](FakeWizardEngine& e) {
             e.check = [](const std::string&) {
                 CameraCheck check;
                 check.message = EngineMessage{"Cannot find the camera. (The camera may be turned off.)",
                                               "Information", MbIcon::Exclamation};
                 return check;
             };
         },
         {"Cannot find the camera. (The camera may be turned off.)", MSG_NOT_SUITABLE}},
        // The real check of a port nobody listens on: the camera said nothing, so it named no model.
        {"no answer at all",
         [this](FakeWizardEngine& e) {
             e.check = [this](const std::string&) {
                 RealWizardEngine real(resources.modelNames, FastTiming(), nullptr, {});
                 return real.CheckCamera("127.0.0.1:1", "YWRtaW46YWRtaW4=");
             };
         },
         {"The camera did not answer (connection refused).", MSG_NOT_SUITABLE}},
        {"serial outside the rules",
         [](FakeWizardEngine& e) { e.rejectedSerials.insert("1000001"); },
         {MSG_NOT_SUITABLE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualRun r(resources);
        c.arrange(r.engine);
        for (int i = 0; i < 4; ++i)
            r.flow.Next();
        r.view.RunJobs();
        EXPECT_EQ(r.flow.State(), STATE_MANUAL_TARGET);
        EXPECT_EQ(r.BoxTexts(), c.boxes);
        EXPECT_EQ(r.boxes.Taken().back().caption, "Information");
        EXPECT_EQ(r.boxes.Taken().back().icon, MbIcon::Question);
        EXPECT_FALSE(r.view.waitCursor);
    }
}

TEST_F(WizardFlowTest, NothingStartsWhileTheCheckRuns) {
    view.setup = {false, false};
    for (int i = 0; i < 4; ++i)
        flow.Next();
    ASSERT_TRUE(flow.Busy());
    EXPECT_TRUE(view.waitCursor);
    flow.Next();
    flow.Back();
    flow.Cancel();
    flow.HiddenModeCommand();
    EXPECT_EQ(view.jobs.size(), 1u);
    EXPECT_FALSE(view.ended);
    EXPECT_EQ(boxes.Count(), 0u);
    view.RunJobs();
    EXPECT_FALSE(flow.Busy());
    EXPECT_EQ(flow.State(), STATE_MANUAL_READY);
}

TEST_F(WizardFlowTest, ConfirmationRefusedOrCheckFailedChangesNothing) {
    Prepare(false, false);
    boxes.QueueAnswer(MbResult::Cancel);
    flow.Next();
    EXPECT_TRUE(view.jobs.empty());
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].buttons, MbButtons::OkCancel);

    engine.check = [](const std::string&) { return CameraCheck{}; };
    boxes.QueueAnswer(MbResult::Ok);
    flow.Next();
    view.RunJobs();
    EXPECT_EQ(flow.State(), STATE_MANUAL_READY);
    EXPECT_FALSE(engine.started);
    EXPECT_TRUE(view.IsButtonEnabled(WizardButton::Next));
}

TEST_F(WizardFlowTest, UpgradeWithoutRetainingFollowsTheSessionToTheResult) {
    Prepare(false, false);
    Upgrade();
    EXPECT_EQ(engine.Count("SaveConfiguration"), 0);
    ASSERT_TRUE(engine.started);
    EXPECT_EQ(engine.started->hostPort, "10.0.0.5");
    EXPECT_EQ(engine.started->credential, "YWRtaW46YWRtaW4=");
    EXPECT_EQ(engine.started->newVersion, "ver1.23");
    EXPECT_EQ(engine.started->imageSize, 10u);
    EXPECT_EQ(engine.started->image.get(), resources.slotData[0].get());  // shared, not copied
    EXPECT_EQ(engine.started->progressBar, &flow.Progress());
    for (WizardButton b : {WizardButton::Back, WizardButton::Next, WizardButton::Cancel})
        EXPECT_FALSE(view.IsButtonEnabled(b));
    EXPECT_FALSE(view.closeEnabled);
    EXPECT_TRUE(view.timers.count(TIMER_DISPLAY_REFRESH));

    engine.Tick(UpgradeStatus::Overwriting);
    engine.Tick(UpgradeStatus::Rebooting);
    flow.OnTimer(TIMER_DISPLAY_REFRESH);  // the same word again is not shown twice
    EXPECT_EQ(view.words, (std::vector<UpgradeStatus>{UpgradeStatus::Standby, UpgradeStatus::Uploading,
                                                      UpgradeStatus::Overwriting, UpgradeStatus::Rebooting}));
    engine.Post(1, STATE_MANUAL_RESULT);
    EXPECT_EQ(flow.State(), STATE_MANUAL_RESULT);
    EXPECT_EQ(view.page, WizardPage::ManualResult);
    EXPECT_FALSE(view.timers.count(TIMER_DISPLAY_REFRESH));
    EXPECT_EQ(view.result, (std::pair<std::string, bool>{"ver1.23", true}));
    EXPECT_EQ(view.texts[WizardButton::Back], "&Re-try");
    EXPECT_EQ(view.texts[WizardButton::Cancel], "&Finish");
    EXPECT_TRUE(view.closeEnabled);
    EXPECT_EQ(boxes.Count(), 1u);  // the confirmation only

    engine.Post(1, STATE_MANUAL_RESULT);  // a late duplicate changes nothing
    EXPECT_EQ(engine.Count("StopSessionTimers"), 1);
    flow.Cancel();  // Finish quits without a question
    EXPECT_EQ(view.ended, false);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(WizardFlowTest, CompletedTickWithoutSavedConfigurationShowsTheResult) {
    Prepare(false, false);
    Upgrade();
    engine.Tick(UpgradeStatus::Completed);
    EXPECT_EQ(flow.State(), STATE_MANUAL_RESULT);
    engine.Post(1, STATE_MANUAL_RESULT);  // the message that follows is spent
    EXPECT_EQ(engine.Count("StopSessionTimers"), 0);
}

TEST_F(WizardFlowTest, SavedConfigurationIsRestoredBeforeTheResult) {
    struct Case {
        const char* name;
        bool backup;
        int restoreFailures;
        bool readBack;
        int restores;
        bool fault;
    };
    const Case cases[] = {
        {.name = "backup kept",
         .backup = true,
         .restoreFailures = 0,
         .readBack = true,
         .restores = 1,
         .fault = false},
        {.name = "file goes",
         .backup = false,
         .restoreFailures = 0,
         .readBack = true,
         .restores = 1,
         .fault = false},
        {.name = "third attempt",
         .backup = false,
         .restoreFailures = 2,
         .readBack = true,
         .restores = 3,
         .fault = false},
        {.name = "four failures",
         .backup = false,
         .restoreFailures = 4,
         .readBack = true,
         .restores = 4,
         .fault = true},
        {.name = "unreadable file",
         .backup = true,
         .restoreFailures = 0,
         .readBack = false,
         .restores = 0,
         .fault = true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualRun r(resources);
        r.engine.restoreFailures = c.restoreFailures;
        r.engine.readBackSucceeds = c.readBack;
        r.Prepare(true, c.backup);
        r.Upgrade();
        ASSERT_TRUE(r.engine.saved);
        EXPECT_EQ(r.engine.saved->remotePath, "/home/l4/xqt-tr60.cfg");
        EXPECT_EQ(r.engine.saved->model, "XQT-TR60");
        EXPECT_EQ(r.engine.saved->serial, "1000001");
        EXPECT_EQ(r.engine.saved->deleteAfterRestore, !c.backup);
        EXPECT_EQ(r.view.words.at(1), UpgradeStatus::SavingConfig);

        r.engine.Tick(UpgradeStatus::Completed);  // the result waits for the message, which restores first
        EXPECT_EQ(r.flow.State(), STATE_MANUAL_RUNNING);
        r.engine.Post(0, 1);  // back after a lost connection: 5 + 1
        EXPECT_TRUE(r.flow.Busy());
        r.view.RunJobs();
        EXPECT_EQ(r.engine.Count("RestoreConfiguration"), c.restores);
        EXPECT_EQ(std::vector<UpgradeStatus>(r.view.words.end() - 2, r.view.words.end()),
                  (std::vector<UpgradeStatus>{UpgradeStatus::LoadingConfig, UpgradeStatus::Reconfiguring}));
        r.WatchRestart();
        EXPECT_EQ(r.flow.State(), STATE_MANUAL_RESULT);
        EXPECT_EQ(r.BoxTexts().back() == MSG_RESTORE_FAULT, c.fault);
        EXPECT_EQ(r.engine.Count("ReleaseConfiguration"), 1);  // at the result, whatever the restore did
    }
}

TEST_F(WizardFlowTest, RestartWatchAdvancesTheBarUntilTheCameraAnswersOrTheLimit) {
    engine.probeAnswersAt = 3;
    Prepare(true, true);
    Upgrade();
    flow.Progress().SetPosition(9000);
    engine.Post(1, STATE_MANUAL_RESULT);
    view.RunJobs();
    flow.OnTimer(TIMER_RESTART_WATCH);
    flow.OnTimer(TIMER_RESTART_WATCH);  // while the inquiry runs: merged, not a second one
    EXPECT_EQ(view.jobs.size(), 1u);
    WatchRestart();
    EXPECT_EQ(engine.Count("ProbeCamera"), 3);
    EXPECT_EQ(flow.Progress().Position(), 9000 + 2 * RESTART_WATCH_STEP);
    EXPECT_EQ(flow.State(), STATE_MANUAL_RESULT);

    // A camera that never answers: the result comes once the watch's limit has passed.
    ManualRun silent(resources);
    silent.engine.probeAnswersAt = 0;
    silent.Prepare(true, true);
    silent.Upgrade();
    silent.engine.Post(1, STATE_MANUAL_RESULT);
    silent.view.RunJobs();
    const auto began = std::chrono::steady_clock::now();
    silent.WatchRestart();
    EXPECT_EQ(silent.flow.State(), STATE_MANUAL_RESULT);
    EXPECT_GE(std::chrono::steady_clock::now() - began, FastTiming().restartWatchLimit);
    EXPECT_GE(silent.engine.Count("ProbeCamera"), 2);
}

TEST_F(WizardFlowTest, FailedSaveReturnsToTheTargetPageAndLeavesNothingToRestore) {
    engine.saveSucceeds = false;
    Prepare(true, false);
    boxes.QueueAnswer(MbResult::Ok);
    flow.Next();
    view.RunJobs();
    EXPECT_EQ(flow.State(), STATE_MANUAL_TARGET);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Proceed to the firmware upgrade?", MSG_CANNOT_SAVE}));
    EXPECT_EQ(boxes.Taken()[1].icon, MbIcon::Stop);
    EXPECT_FALSE(engine.started);
    ASSERT_EQ(engine.recorded.size(), 1u);
    EXPECT_EQ(engine.recorded[0].outcome, Outcome::Failed);
    for (WizardButton b : {WizardButton::Back, WizardButton::Next, WizardButton::Cancel})
        EXPECT_TRUE(view.IsButtonEnabled(b));
    EXPECT_TRUE(view.closeEnabled);

    // The next run without retaining must not put a partial file back.
    view.setup = {false, false};
    flow.Next();
    view.RunJobs();
    Upgrade();
    engine.Post(1, STATE_MANUAL_RESULT);
    EXPECT_EQ(flow.State(), STATE_MANUAL_RESULT);
    EXPECT_EQ(engine.Count("RestoreConfiguration"), 0);
    EXPECT_EQ(engine.Count("ReleaseConfiguration"), 0);  // nothing was ever held
}

TEST_F(WizardFlowTest, FailedUpgradeReturnsToTheTargetPageAndRunsAgain) {
    Prepare(true, true);
    Upgrade();
    engine.Tick(UpgradeStatus::Overwriting);
    engine.Post(1, STATE_MANUAL_TARGET);
    EXPECT_EQ(flow.State(), STATE_MANUAL_TARGET);
    EXPECT_EQ(view.page, WizardPage::ManualTarget);
    EXPECT_EQ(view.texts[WizardButton::Next], "&Next >");
    for (WizardButton b : {WizardButton::Back, WizardButton::Next, WizardButton::Cancel})
        EXPECT_TRUE(view.IsButtonEnabled(b));
    EXPECT_TRUE(view.closeEnabled);
    EXPECT_EQ(engine.Count("ReadBackConfiguration"), 0);
    EXPECT_EQ(engine.Count("ReleaseConfiguration"), 1);
    ASSERT_EQ(engine.recorded.size(), 1u) << "a failed run is recorded once";
    EXPECT_EQ(engine.recorded[0].outcome, Outcome::Failed);
    EXPECT_EQ(engine.recorded[0].versionBefore, "2.31");
    EXPECT_EQ(engine.recorded[0].versionAfter, "");
    EXPECT_EQ(engine.recorded[0].serial, "1000001");
    const std::vector<std::string> calls = engine.Calls();
    EXPECT_LT(std::find(calls.begin(), calls.end(), "RecordUpgrade") - calls.begin(),
              std::find(calls.begin(), calls.end(), "ReleaseConfiguration") - calls.begin())
        << "recorded while the engine still holds the saved file";

    engine.Post(1, STATE_MANUAL_TARGET);  // a late duplicate records nothing more
    flow.Next();
    view.RunJobs();
    Upgrade();
    EXPECT_EQ(engine.Count("StartUpgrade"), 2);
    engine.Post(1, STATE_MANUAL_RESULT);
    view.RunJobs();
    WatchRestart();
    ASSERT_EQ(engine.recorded.size(), 2u);
    EXPECT_EQ(engine.recorded[1].outcome, Outcome::Upgraded);
}

TEST_F(WizardFlowTest, RetryGoesBackToTheTargetPageWithTheQuestionArmedAndAFreshRun) {
    Prepare(false, false);
    Upgrade();
    engine.Tick(UpgradeStatus::Uploading, true);
    EXPECT_TRUE(view.emergency);
    engine.Post(1, STATE_MANUAL_RESULT);
    EXPECT_FALSE(flow.ConfirmQuit());
    flow.Back();  // Re-try
    EXPECT_EQ(flow.State(), STATE_MANUAL_TARGET);
    EXPECT_TRUE(flow.ConfirmQuit());
    EXPECT_EQ(view.texts[WizardButton::Back], "< &Back");
    EXPECT_EQ(view.texts[WizardButton::Cancel], "Cancel");
    flow.Next();
    view.RunJobs();
    EXPECT_EQ(flow.Progress().Position(), 0);
    EXPECT_EQ(view.statusLine, "");
    EXPECT_TRUE(view.emergency);  // until the new run's session says otherwise
    Upgrade();
    EXPECT_FALSE(view.emergency);
}

TEST_F(WizardFlowTest, QuittingDuringTheRunIsRefused) {
    Prepare(false, false);
    Upgrade();
    flow.Cancel();
    flow.Enter(WizardButton::Cancel);
    EXPECT_FALSE(view.ended);
    EXPECT_EQ(boxes.Count(), 1u);
}

}  // namespace
}  // namespace xqt::test

// The wizard's session owner: timers asked for from any thread tick on the UI thread and stop at
// once there; upgrade messages and boxes arrive on the UI thread in the order asked for, never
// inside the caller, and nothing behind an open box goes ahead of it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <memory>
#include <thread>

#include "gui/platform/QtSessionOwner.h"
#include "tests/gui/automatic/AutopagesTestSupport.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;

/// A wait for a few ticks of a 2 ms timer: a thousand of its periods, stretched for the tree.
std::chrono::milliseconds FewTicks() {
    return test::Allow(1000 * 2ms);
}

/// Records every box in the log, keeping it open (a nested event loop, as a real box runs) for a
/// while; `whileOpen` runs just before it closes.
class OpenBoxes : public platform::MessageBoxes {
  public:
    explicit OpenBoxes(std::vector<std::string>& log) : log_(log) {}
    platform::MbResult Show(const std::string& text, const std::string&, platform::MbButtons,
                            platform::MbIcon) override {
        log_.push_back("box " + text +
                       (QThread::currentThread() == QCoreApplication::instance()->thread() ? "" : " off-ui"));
        test::Pump(40ms);
        if (whileOpen) whileOpen();
        log_.push_back("closed " + text);
        return platform::MbResult::Ok;
    }
    std::function<void()> whileOpen;

  private:
    std::vector<std::string>& log_;
};

class QtSessionOwnerTest : public ::testing::Test {
  protected:
    QtSessionOwnerTest() {
        owner.SetTimerHandler([this](int id) {
            ++ticks[id];
            if (QThread::currentThread() != QCoreApplication::instance()->thread()) offUiThread = true;
        });
        owner.SetMessageHandler([this](std::int32_t w, std::int32_t l) {
            log.push_back(
                "message " + std::to_string(w) + "," + std::to_string(l) +
                (QThread::currentThread() == QCoreApplication::instance()->thread() ? "" : " off-ui"));
        });
    }

    std::vector<std::string> log;
    OpenBoxes boxes{log};
    platform::QtSessionOwner owner{boxes};
    std::map<int, int> ticks;
    bool offUiThread = false;
};

TEST_F(QtSessionOwnerTest, TimersStartedFromAWorkerTickOnTheUiThreadAndStopAtOnceThere) {
    std::thread worker([&] { owner.StartTimer(0x8100, 2ms); });
    worker.join();
    ASSERT_TRUE(test::WaitUntil([&] { return ticks[0x8100] >= 3; }, FewTicks()));
    EXPECT_FALSE(offUiThread);
    EXPECT_TRUE(owner.IsTimerRunning(0x8100));

    owner.StopTimer(0x8100);  // on the owner's thread: no tick after this
    const int seen = ticks[0x8100];
    test::Settle(2ms);
    EXPECT_EQ(ticks[0x8100], seen);
    EXPECT_FALSE(owner.IsTimerRunning(0x8100));
    owner.StopTimer(0x1234);  // unknown: ignored
}

TEST_F(QtSessionOwnerTest, AStartQueuedBeforeAStopOnTheUiThreadStaysStopped) {
    // A worker's start is still queued when the UI thread stops the timer (a session deleted).
    std::thread worker([&] { owner.StartTimer(0x8100, 2ms); });
    worker.join();
    owner.StopTimer(0x8100);
    test::Settle(2ms);  // the queued start has been served, and a tick of its period would have come
    EXPECT_FALSE(owner.IsTimerRunning(0x8100));
    EXPECT_EQ(ticks[0x8100], 0);

    // Asked for after the stop, a start from a worker takes effect again.
    std::thread later([&] { owner.StartTimer(0x8100, 2ms); });
    later.join();
    EXPECT_TRUE(test::WaitUntil([&] { return ticks[0x8100] >= 1; }, FewTicks()));
    owner.StopTimer(0x8100);
}

TEST_F(QtSessionOwnerTest, StartingARunningTimerAgainTakesTheNewPeriod) {
    owner.StartTimer(0x8200, 10 * FewTicks());  // would not tick within the waits below
    owner.StartTimer(0x8200, 2ms);
    ASSERT_TRUE(test::WaitUntil([&] { return ticks[0x8200] >= 2; }, FewTicks()));
    owner.StartTimer(0x8300, 2ms);
    ASSERT_TRUE(test::WaitUntil([&] { return ticks[0x8300] >= 2; }, FewTicks()));
    owner.StopTimer(0x8200);
    owner.StopTimer(0x8300);
}

TEST_F(QtSessionOwnerTest, MessagesAndBoxesArriveInOrderAndWaitBehindAnOpenBox) {
    std::thread worker([&] {
        owner.PostUpgradeMessage(0, 1);
        owner.ShowMessage("Version up error.", "Information", platform::MbIcon::Exclamation);
        owner.PostUpgradeMessage(1, 3);
        owner.ShowMessage("second", "Information", platform::MbIcon::Exclamation);
    });
    worker.join();
    EXPECT_TRUE(log.empty());  // nothing runs on the worker
    ASSERT_TRUE(test::WaitUntil([&] { return log.size() == 6; }, FewTicks()));
    EXPECT_EQ(log,
              (std::vector<std::string>{"message 0,1", "box Version up error.", "closed Version up error.",
                                        "message 1,3", "box second", "closed second"}));
}

TEST_F(QtSessionOwnerTest, APostFromTheUiThreadIsDeliveredAfterTheCallerReturns) {
    owner.PostUpgradeMessage(1, 6);
    EXPECT_TRUE(log.empty());
    ASSERT_TRUE(test::WaitUntil([&] { return !log.empty(); }, FewTicks()));
    EXPECT_EQ(log, std::vector<std::string>{"message 1,6"});
}

TEST_F(QtSessionOwnerTest, TicksGoOnWhileABoxIsOpen) {
    int ticksWhileOpen = 0;
    boxes.whileOpen = [&] { ticksWhileOpen = ticks[0x8100]; };
    owner.ShowMessage("open", "Information", platform::MbIcon::Stop);
    owner.StartTimer(0x8100, 2ms);  // started after the box was asked for, ticking before it closes
    ASSERT_TRUE(test::WaitUntil([&] { return log.size() == 2; }, FewTicks()));
    EXPECT_GT(ticksWhileOpen, 0);  // the box was open for 40 ms
    owner.StopTimer(0x8100);
}

TEST(QtSessionOwnerLifetimeTest, CallsStillQueuedWhenTheOwnerGoesAreDropped) {
    std::vector<std::string> log;
    OpenBoxes boxes(log);
    bool delivered = false;
    auto owner = std::make_unique<platform::QtSessionOwner>(boxes);
    owner->SetMessageHandler([&](std::int32_t, std::int32_t) { delivered = true; });
    owner->SetTimerHandler([&](int) { delivered = true; });
    std::thread worker([&] {
        owner->StartTimer(0x8100, 1ms);
        owner->PostUpgradeMessage(1, 3);
        owner->ShowMessage("late", "Information", platform::MbIcon::Stop);
    });
    worker.join();
    owner.reset();
    test::Settle(1ms);
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace xqt

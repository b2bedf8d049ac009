// The event-loop owner: timers by id, posted messages and boxes, all on its own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/EventLoopOwner.h"
#include "tests/support/Slowdown.h"

namespace xqt::platform {
namespace {

using namespace std::chrono_literals;

class EventLoopOwnerTest : public ::testing::Test {
  protected:
    RecordingMessageBoxes boxes;
    EventLoopOwner owner{boxes};
};

TEST_F(EventLoopOwnerTest, TicksArriveOnTheLoopThreadWithTheirId) {
    std::mutex mutex;
    std::vector<int> ids;
    std::atomic<bool> onLoop{true};
    owner.SetTimerHandler([&](int id) {
        if (!owner.IsLoopThread()) onLoop = false;
        std::lock_guard lock(mutex);
        ids.push_back(id);
    });
    owner.StartTimer(0x8105, 5ms);
    while (owner.TickCount(0x8105) < 3)
        std::this_thread::sleep_for(1ms);
    owner.StopTimer(0x8105);
    owner.Call([] {});
    std::lock_guard lock(mutex);
    ASSERT_GE(ids.size(), 3u);
    for (int id : ids)
        EXPECT_EQ(id, 0x8105);
    EXPECT_TRUE(onLoop);
}

TEST_F(EventLoopOwnerTest, AStoppedTimerTicksNoMore) {
    std::atomic<int> ticks{0};
    owner.SetTimerHandler([&](int id) { ticks += id == 1; });
    owner.StartTimer(1, 2ms);
    while (ticks < 2)
        std::this_thread::sleep_for(1ms);
    owner.StopTimer(1);
    const int atStop = ticks;
    // A second timer of the same period ticking five times shows the loop went on meanwhile.
    owner.StartTimer(2, 2ms);
    while (owner.TickCount(2) < 5)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(ticks, atStop);
    EXPECT_FALSE(owner.IsTimerRunning(1));
}

TEST_F(EventLoopOwnerTest, TimersAreIndependentAndRestartingKeepsOneTimer) {
    owner.StartTimer(0x8100, 1h);
    owner.StartTimer(0x8200, 3ms);
    owner.StartTimer(0x8200, 1h);   // restarted with a new period: one timer, not two
    owner.StartTimer(0x8300, 3ms);  // five of its ticks: the old period would have ticked as often
    while (owner.TickCount(0x8300) < 5)
        std::this_thread::sleep_for(1ms);
    owner.StopTimer(0x8300);
    EXPECT_EQ(owner.TickCount(0x8200), 0);
    EXPECT_TRUE(owner.IsTimerRunning(0x8100));
    owner.StopTimer(0x8100);
    EXPECT_TRUE(owner.IsTimerRunning(0x8200));
    EXPECT_FALSE(owner.IsTimerRunning(0x8100));
    owner.StopTimer(0x8400);  // unknown: ignored
}

TEST_F(EventLoopOwnerTest, BoxesAndMessagesKeepTheOrderTheyWerePostedIn) {
    std::vector<std::string> seen;
    owner.SetMessageHandler([&](UpgradeMessage m) {
        seen.push_back("message " + std::to_string(m.wParam) + "," + std::to_string(m.lParam) + " after " +
                       std::to_string(boxes.Count()) + " box");
    });
    owner.ShowMessage("Version up error.", "Information", MbIcon::Stop);
    owner.PostUpgradeMessage(1, 3);
    ASSERT_TRUE(owner.WaitForMessages(1, test::Allow(5s)));
    owner.Call([] {});
    EXPECT_EQ(owner.Messages(), (std::vector<UpgradeMessage>{{1, 3}}));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "message 1,3 after 1 box");
    auto shown = boxes.Taken();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Version up error.");
    EXPECT_EQ(shown[0].icon, MbIcon::Stop);
    EXPECT_EQ(shown[0].buttons, MbButtons::Ok);
}

TEST_F(EventLoopOwnerTest, CallRunsOnTheLoopThreadAndWaits) {
    bool ran = false;
    bool onLoop = false;
    owner.Call([&] {
        ran = true;
        onLoop = owner.IsLoopThread();
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(onLoop);
    EXPECT_FALSE(owner.IsLoopThread());
}

TEST(EventLoopOwnerLifetimeTest, NothingRunsAfterTheOwnerIsDestroyed) {
    RecordingMessageBoxes boxes;
    auto ticks = std::make_shared<std::atomic<int>>(0);
    auto owner = std::make_unique<EventLoopOwner>(boxes);
    owner->SetTimerHandler([ticks](int) { ++*ticks; });
    owner->StartTimer(7, 1ms);
    while (*ticks < 2)
        std::this_thread::sleep_for(1ms);
    owner->ShowMessage("late", "Information", MbIcon::Stop);
    owner.reset();
    const int atEnd = *ticks;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(*ticks, atEnd);
    EXPECT_LE(boxes.Count(), 1u);
}

}  // namespace
}  // namespace xqt::platform

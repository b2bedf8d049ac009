// Engine durations: the documented numbers, and the scaled copy the tests run with.
#include <gtest/gtest.h>

#include "platform/EngineTiming.h"

namespace xqt::platform {
namespace {

using std::chrono::milliseconds;

TEST(EngineTimingTest, DefaultsAreTheDocumentedNumbers) {
    const EngineTiming t;
    EXPECT_EQ(t.inquiryLimit, milliseconds(20000));
    EXPECT_EQ(t.rebootInquiryLimit, milliseconds(60000));
    EXPECT_EQ(t.streamReceiveTimeout, milliseconds(60000));
    EXPECT_EQ(t.tickPeriod, milliseconds(1000));
    EXPECT_EQ(t.emergencyOverwrite, milliseconds(180000));
    EXPECT_EQ(t.watchdogTicks, 180);
    EXPECT_EQ(t.lostLinkTicks, 240);
    EXPECT_EQ(t.lostLinkPeriod, milliseconds(1000));
    EXPECT_EQ(t.reconfigPeriod, milliseconds(10000));
    EXPECT_EQ(t.firstVerifyWait, milliseconds(60000));
    EXPECT_EQ(t.lostLinkVerifyWait, milliseconds(5000));
    EXPECT_EQ(t.readerWait, milliseconds(180000));
    EXPECT_EQ(t.verifyAttempts, 20);
    EXPECT_EQ(t.unacceptedModelPause, milliseconds(500));
    EXPECT_EQ(t.emergencyVerifyTicks, 180);
    EXPECT_EQ(t.restorePause, milliseconds(10000));
    EXPECT_EQ(t.restoreAttempts, 4);
    EXPECT_EQ(t.restoreRetryPause, milliseconds(5000));
    EXPECT_EQ(t.afterRestorePause, milliseconds(120000));
    EXPECT_EQ(t.reconfigInquiryLimit, milliseconds(20000));
    EXPECT_EQ(t.reconfigLimit, milliseconds(299000));
    EXPECT_EQ(t.manualRestorePause, milliseconds(10000));
    EXPECT_EQ(t.manualRestoreRetryPause, milliseconds(5000));
    EXPECT_EQ(t.manualAfterRestorePause, milliseconds(5000));
    EXPECT_EQ(t.restartWatchPeriod, milliseconds(1000));
    EXPECT_EQ(t.restartWatchLimit, milliseconds(150000));
    EXPECT_EQ(t.discoveryReceiveWait, milliseconds(5));
    EXPECT_EQ(t.discoveryEnquiryInterval, milliseconds(5000));
    EXPECT_EQ(t.discoveryDuration, milliseconds(10000));
    EXPECT_EQ(t.gridTestPeriod, milliseconds(500));
    EXPECT_EQ(t.connectionTestLimit, milliseconds(21000));
    EXPECT_EQ(t.schedulerPeriod, milliseconds(33));
    EXPECT_EQ(t.counterPeriod, milliseconds(500));
    EXPECT_EQ(t.confirmationDelay, milliseconds(100));
    EXPECT_EQ(t.addedListInquiryPeriod, milliseconds(500));
    EXPECT_EQ(t.addedListInquiryLimit, milliseconds(21000));
}

TEST(EngineTimingTest, ScalingMultipliesDurationsAndLeavesCountsAlone) {
    const EngineTiming t = EngineTiming{}.Scaled(0.01);
    EXPECT_EQ(t.inquiryLimit, milliseconds(200));
    EXPECT_EQ(t.reconfigLimit, milliseconds(2990));
    EXPECT_EQ(t.addedListInquiryLimit, milliseconds(210));
    EXPECT_EQ(t.watchdogTicks, 180);
    EXPECT_EQ(t.verifyAttempts, 20);
    EXPECT_EQ(t.restoreAttempts, 4);
    EXPECT_EQ(EngineTiming{}.Scaled(2).restartWatchLimit, milliseconds(300000));
}

TEST(EngineTimingTest, ShortDurationsNeverScaleToZero) {
    const EngineTiming t = EngineTiming{}.Scaled(0.001);
    EXPECT_EQ(t.streamRetryPause, milliseconds(1));
    EXPECT_EQ(t.discoveryReceiveWait, milliseconds(1));
    EXPECT_EQ(t.schedulerPeriod, milliseconds(1));
}

TEST(EngineTimingTest, ANonPositiveFactorLeavesTheTimingUnchanged) {
    EXPECT_EQ(EngineTiming{}.Scaled(0).inquiryLimit, milliseconds(20000));
    EXPECT_EQ(EngineTiming{}.Scaled(-3).tickPeriod, milliseconds(1000));
}

}  // namespace
}  // namespace xqt::platform

// Engine durations: the scaled copy the tests run with, and the relations between durations that
// other parts rely on. The numbers themselves are stated once, in the header.
#include <gtest/gtest.h>

#include "platform/EngineTiming.h"

namespace xqt::platform {
namespace {

using std::chrono::milliseconds;

TEST(EngineTimingTest, DiscoveryStopsAtTheSecondEnquiryPeriod) {
    // The wizard stops discovery on its timer's second tick; the engine's own duration must agree.
    for (double factor : {1.0, 0.01, 0.001}) {
        const EngineTiming t = EngineTiming{}.Scaled(factor);
        EXPECT_EQ(t.discoveryDuration, 2 * t.discoveryEnquiryInterval) << factor;
    }
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

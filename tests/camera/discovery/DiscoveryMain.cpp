// discovery_tests sends the real broadcast, so it first makes sure it runs where nothing leaves
// the machine.
#include <gtest/gtest.h>

#include "tests/camera/discovery/NetworkGuard.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests) && !xqt::test::GuardBroadcast("discovery_tests")) return 1;
    return RUN_ALL_TESTS();
}

// autopages_tests drives the wizard's real engine, whose discovery sends the broadcast, so it
// first makes sure it runs where nothing leaves the machine.
#include "tests/camera/discovery/NetworkGuard.h"
#include "tests/gui/support/QtTests.h"

int main(int argc, char** argv) {
    return xqt::test::RunQtTests(argc, argv, [] { return xqt::test::GuardBroadcast("autopages_tests"); });
}

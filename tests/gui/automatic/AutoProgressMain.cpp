// autoprogress_tests: the automatic progress page over simulated cameras; nothing here sends the
// discovery broadcast.
#include "tests/gui/support/QtTests.h"

int main(int argc, char** argv) {
    return xqt::test::RunQtTests(argc, argv);
}

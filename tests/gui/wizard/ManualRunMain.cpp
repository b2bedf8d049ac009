// manualrun_tests: the wizard's manual upgrade over its real engine; nothing here sends the
// discovery broadcast.
#include "tests/gui/support/QtTests.h"

int main(int argc, char** argv) {
    return xqt::test::RunQtTests(argc, argv);
}

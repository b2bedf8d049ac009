// The wizard's command line: a bundle by option or as the only argument (a file manager opening
// it), trusted keys, and every line it cannot take.
#include <gtest/gtest.h>

#include "wizard/WizardArguments.h"

namespace xqt::test {
namespace {

TEST(WizardArgumentsTest, ABundleByOptionOrAloneAndEveryMisuseNamed) {
    const struct {
        std::vector<std::string> line;
        std::string bundle;
        std::size_t keys;
        std::string error;  // a part of it; empty: taken
    } cases[] = {
        {{}, "", 0, ""},
        {{"/media/fw-1.24.tar"}, "/media/fw-1.24.tar", 0, ""},
        {{"--firmware", "fw.tar"}, "fw.tar", 0, ""},
        {{"--firmware=fw.tar", "--trusted-key", "a.pub", "--trusted-key=b.pub"}, "fw.tar", 2, ""},
        {{"--trusted-key", "a.pub", "fw"}, "fw", 1, ""},
        {{"--firmware"}, "", 0, "--firmware needs a value"},
        {{"a.tar", "b.tar"}, "", 0, "give one firmware bundle"},
        {{"--firmware", "a.tar", "b.tar"}, "", 0, "give one firmware bundle"},
        {{"--firmware", "a", "--firmware", "b"}, "", 0, "given twice"},
        {{"--trusted-key", "a.pub"}, "", 0, "give one"},
        {{"--fast"}, "", 0, "unknown option --fast"},
    };
    for (const auto& c : cases) {
        const WizardArguments parsed = ParseWizardArguments(c.line);
        const std::string line = c.line.empty() ? "(none)" : c.line[0];
        if (c.error.empty()) {
            EXPECT_EQ(parsed.error, "") << line;
            EXPECT_EQ(parsed.bundle, c.bundle) << line;
            EXPECT_EQ(parsed.trustedKeys.size(), c.keys) << line;
        } else {
            EXPECT_NE(parsed.error.find(c.error), std::string::npos) << line << ": " << parsed.error;
        }
    }
}

}  // namespace
}  // namespace xqt::test

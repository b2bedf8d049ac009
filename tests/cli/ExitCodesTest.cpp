// The exit codes each command's --help lists, and those the Ansible module explains, are the values
// of cli/ExitCodes.h: a code added, renumbered or dropped there without the texts fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "cli/ExitCodes.h"
#include "tests/cli/CliRunSupport.h"

namespace xqt::test {
namespace {

using namespace xqt::cli;

struct CommandCodes {
    const char* command;
    std::set<int> codes;
};

const CommandCodes kCommands[] = {
    {"inquire", {EXIT_OK, EXIT_INTERNAL, EXIT_USAGE, EXIT_UNREACHABLE, EXIT_LOGIN, EXIT_UNSUITABLE}},
    {"upgrade",
     {EXIT_VERIFIED, EXIT_INTERNAL, EXIT_USAGE, EXIT_UNREACHABLE, EXIT_LOGIN, EXIT_UNSUITABLE,
      EXIT_CONFIG_NOT_SAVED, EXIT_NOT_SENT, EXIT_UPGRADE_ERROR, EXIT_NOT_BACK, EXIT_NOT_VERIFIED,
      EXIT_CONFIG_NOT_RESTORED, EXIT_CAMERA_BUSY}},
    {"config",
     {EXIT_OK, EXIT_INTERNAL, EXIT_USAGE, EXIT_UNREACHABLE, EXIT_LOGIN, EXIT_UNSUITABLE, EXIT_NOT_SAVED,
      EXIT_NOT_RESTORED, EXIT_OTHER_CAMERA, EXIT_CAMERA_BUSY}},
    {"batch",
     {EXIT_ALL_DONE, EXIT_INTERNAL, EXIT_USAGE, EXIT_SOME_FAILED, EXIT_STOPPED, EXIT_NO_TARGETS,
      EXIT_REPORT_FAILED}},
    {"firmware", {EXIT_OK, EXIT_INTERNAL, EXIT_USAGE}},
    {"history", {EXIT_OK, EXIT_HISTORY_UNREADABLE, EXIT_USAGE}},
};

/// The codes an "Exit codes:" paragraph lists, in either form: one per line ("  12  some ...") or
/// a sentence of entries apart by semicolons ("0 done; 1 internal error; ...").
std::set<int> ListedCodes(const std::string& help) {
    const auto at = help.find("Exit codes:");
    if (at == std::string::npos) return {};
    const std::string paragraph = help.substr(at);
    static const std::regex entry(R"((?:Exit codes:|;|\n)[ \t\n]*([0-9]{1,3})[ \t]+[-a-z(])");
    std::set<int> codes;
    for (std::sregex_iterator it(paragraph.begin(), paragraph.end(), entry), end; it != end; ++it)
        codes.insert(std::stoi((*it)[1]));
    return codes;
}

TEST(ExitCodesTest, EveryCommandsHelpListsTheCodesOfItsSection) {
    for (const CommandCodes& c : kCommands) {
        const auto run = RunShell(std::string(XQT_CLI) + " " + c.command + " --help 2>&1");
        EXPECT_EQ(run.exitCode, 0) << c.command;
        EXPECT_EQ(ListedCodes(run.text), c.codes) << c.command << " --help:\n" << run.text;
    }
}

TEST(ExitCodesTest, TheAnsibleModuleExplainsEveryCodeOfABatchThatDidNotSucceed) {
    std::ifstream in(XQT_BATCH_MODULE);
    ASSERT_TRUE(in) << XQT_BATCH_MODULE;
    const std::string module{std::istreambuf_iterator<char>(in), {}};
    const auto table = module.find("FAILURE_TEXTS = {");
    ASSERT_NE(table, std::string::npos);
    const std::string body = module.substr(table, module.find('}', table) - table);
    static const std::regex key(R"(\n\s*([0-9]+):)");
    std::set<int> explained;
    for (std::sregex_iterator it(body.begin(), body.end(), key), end; it != end; ++it)
        explained.insert(std::stoi((*it)[1]));
    std::set<int> failing = kCommands[3].codes;
    failing.erase(EXIT_ALL_DONE);
    EXPECT_EQ(explained, failing);
    EXPECT_NE(module.find("EXIT_NO_TARGETS = " + std::to_string(EXIT_NO_TARGETS) + "\n"), std::string::npos);
}

}  // namespace
}  // namespace xqt::test

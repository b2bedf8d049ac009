// xqt-cli check-list end to end: the executable reads a file or standard input and prints what
// batch --targets (or, with --dialog, the wizard's import) would take, or refuses with exit status 1.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

/// Runs `<feed> xqt-cli check-list <args> <redirections>` through the shell.
CliRun Shell(const std::string& feed, const std::string& args, const std::string& redirections) {
    const std::string cmd = feed + " '" + XQT_CLI_PATH + "' check-list " + args + " " + redirections;
    CliRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    int rc = ::pclose(p);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return r;
}

/// Runs `xqt-cli check-list <args>`, optionally feeding `stdinFile` on stdin; stderr is dropped.
CliRun CheckList(const std::string& args, const std::string& stdinFile = "") {
    return Shell("", args, "2>/dev/null" + (stdinFile.empty() ? "" : " < '" + stdinFile + "'"));
}

class CheckListCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("xqt-checklist-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::filesystem::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    std::filesystem::path dir;
};

TEST_F(CheckListCommand, PrintsOneAddressTextPerEntryWithoutPortEighty) {
    std::string file = Write("ok.txt", "192.168.0.10\r\n\r\n192.168.0.11,1024\r\n192.168.0.12,80\r\n");
    CliRun r = CheckList("'" + file + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "192.168.0.10\n192.168.0.11:1024\n192.168.0.12\n");
}

TEST_F(CheckListCommand, JsonListsAddressAndPort) {
    std::string file = Write("ok.txt", "10.0.0.1:8080\n10.0.0.2\n");
    CliRun r = CheckList("--json '" + file + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[{\"ip\":\"10.0.0.1\",\"port\":8080},{\"ip\":\"10.0.0.2\",\"port\":80}]\n");
    CliRun empty = CheckList("--json '" + Write("empty.txt", "") + "'");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "[]\n");
}

TEST_F(CheckListCommand, ReadsStandardInputForADash) {
    CliRun r = CheckList("-", Write("in.txt", "10.0.0.1\t8080\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "10.0.0.1:8080\n");
}

TEST_F(CheckListCommand, RefusedListExitsOneAndPrintsNothing) {
    CliRun r = CheckList("'" + Write("bad.txt", "10.0.0.1\n10.0.0.256\n") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string mixed = Write("mixed.txt", "10.0.0.1,1024\n10.0.0.2:1024\n");
    EXPECT_EQ(CheckList("--dialog -", mixed).status, 1) << "the import takes one kind of separator";
    EXPECT_EQ(CheckList("-", mixed).status, 0);
}

TEST_F(CheckListCommand, RefusalNamesTheLineOnStandardError) {
    const std::string list = Write("list.txt",
                                   "\xEF\xBB\xBF"
                                   "address\n# lobby\n10.0.0.1 \n10.0.0.300\n");
    const CliRun r = Shell("", "'" + list + "'", "2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "check-list: " + list + ", line 4: \"10.0.0.300\" is not an address (a.b.c.d, a range " +
                         "a.b.c.d-e or a block a.b.c.d/nn)\n");
}

// The wizard's import stops at 256 entries and at a zero byte without a word; check-list prints
// what it took and says where it stopped, so the list is never taken as whole.
TEST_F(CheckListCommand, DialogImportSaysWhereItStopped) {
    std::string many;
    for (int i = 1; i <= 257; ++i)
        many += "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + "\n";
    const CliRun cut = Shell("", "--dialog '" + Write("many.txt", many) + "'", "2>&1 >/dev/null");
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.out,
              "check-list: the import stopped after 256 addresses; any lines after them were not read\n");
    const std::string zero = Write("zero.txt", std::string("10.0.0.1\r\n10.0.0.2\r\n\0", 21) + "10.0.0.3\n");
    const CliRun stopped = Shell("", "--dialog '" + zero + "'", "2>&1");
    EXPECT_EQ(stopped.status, 0);
    EXPECT_EQ(stopped.out,
              "10.0.0.1\n10.0.0.2\ncheck-list: the import stopped at a zero byte on line 3; the rest "
              "of the file was not read\n");
}

TEST_F(CheckListCommand, UnreadableInputIsNotARefusal) {
    EXPECT_EQ(CheckList("'" + (dir / "missing.txt").string() + "'").status, 2);
    EXPECT_EQ(CheckList("'" + dir.string() + "'").status, 2) << "a folder is not an empty list";
}

// A list is read up to 1 MiB of text and its first zero byte: a longer input, even an endless one,
// is refused as a whole, never taken half read; a zero byte refuses it (the import stops there).
TEST_F(CheckListCommand, InputIsReadUpToABound) {
    constexpr std::size_t kLimit = 1024 * 1024;
    std::string full = "10.0.0.1\n";
    full += std::string(kLimit - full.size(), '\n');
    const std::string fits = Write("fits.txt", full);
    const std::string over = Write("over.txt", full + "\n");
    const std::string zeros = Write("zeros.txt", "10.0.0.2\n" + std::string(2 * kLimit, '\0'));
    struct Case {
        const char* what;
        std::string feed, args;
        int status;
        std::string out;
    } cases[] = {
        {"exactly the bound", "", "'" + fits + "'", 0, "10.0.0.1\n"},
        {"one byte more", "", "'" + over + "'", 1, ""},
        {"one byte more on standard input", "", "- < '" + over + "'", 1, ""},
        {"an endless pipe", "yes 10.0.0.1 |", "-", 1, ""},
        {"zeros after the text", "", "- < '" + zeros + "'", 1, ""},
        {"zeros after the text, by the import", "", "--dialog - < '" + zeros + "'", 0, "10.0.0.2\n"},
        {"an endless device of zeros", "", "- < /dev/zero", 1, ""},
        {"an endless device of zeros, by the import", "", "--dialog - < /dev/zero", 0, ""},
    };
    for (const Case& c : cases) {
        const CliRun r = Shell(c.feed, c.args, "2>/dev/null");
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
    }
    const CliRun message = Shell("", "'" + over + "'", "2>&1 >/dev/null");
    EXPECT_NE(message.out.find("longer than 1048576 bytes"), std::string::npos) << message.out;
}

}  // namespace

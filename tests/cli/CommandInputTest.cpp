// The secrets the command line reads in process: once a password or a credentials file has been
// read, the process is no longer dumpable, so a crash leaves no core file holding them.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "cli/BatchCredentials.h"
#include "cli/CommandInput.h"
#include "tests/cli/CliRunSupport.h"

namespace xqt::test {
namespace {

// Runs `read` in a child process (the mark cannot be taken back in this one) and gives what
// PR_GET_DUMPABLE says afterwards there, or -1 when the read failed or the child did not end.
int DumpableAfter(const std::function<bool()>& read) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 1) ::_exit(2);  // a marked start proves nothing
        const bool ok = read();
        ::_exit(ok ? ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) : 3);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) <= 1 ? WEXITSTATUS(status) : -1;
}

TEST(CommandInputTest, ReadingAPasswordOrCredentialsKeepsTheProcessOutOfCoreDumps) {
    ScratchFolder scratch("xqt-secrets");
    const std::string password = scratch.Path() + "/pw", credentials = scratch.Path() + "/logins";
    std::ofstream(password) << "secret\n";
    std::ofstream(credentials) << "127.0.0.1,admin,secret\n";
    ::chmod(password.c_str(), 0600);
    ::chmod(credentials.c_str(), 0600);
    const std::pair<const char*, std::function<bool()>> cases[] = {
        {"--password-file", [&] { return cli::ReadPassword(password, true).has_value(); }},
        {"XQT_PASSWORD",
         [] {
             ::setenv("XQT_PASSWORD", "secret", 1);
             return cli::ReadPassword("", true).has_value();
         }},
        {"--credentials", [&] { return cli::batch::ReadCredentials(credentials).has_value(); }},
    };
    for (const auto& [what, read] : cases)
        EXPECT_EQ(DumpableAfter(read), 0) << what;
}

}  // namespace
}  // namespace xqt::test

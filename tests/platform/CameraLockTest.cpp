// The advisory locks that keep two runs off one camera: who holds what, what a dead holder leaves,
// and which names count as one camera.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/CameraLock.h"

namespace xqt::platform {
namespace {

namespace fs = std::filesystem;

class CameraLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "xqt-locks-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ::setenv("XQT_RUNTIME_DIR", (folder_ + "/run").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XQT_RUNTIME_DIR");
        fs::remove_all(folder_);
    }
    std::string folder_;
};

TEST_F(CameraLockTest, OneHolderAtATimeAndADeadOneIsTakenOver) {
    CameraLock first = CameraLock::Take(MacLockKey("08:00:46:aa:00:01"));
    ASSERT_TRUE(first.Held()) << first.Error();
    EXPECT_EQ(fs::status(RuntimeFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
    // The same camera by another spelling of its MAC, from this process or another.
    const CameraLock second = CameraLock::Take(MacLockKey("08-00-46-AA-00-01"));
    EXPECT_EQ(second.GetState(), CameraLock::State::Busy);
    EXPECT_EQ(second.RefusalText(), "being upgraded by process " + std::to_string(::getpid()));
    const pid_t child = ::fork();
    if (child == 0) ::_exit(CameraLock::Take(MacLockKey("080046AA0001")).Held() ? 1 : 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another process must not take it";

    // A holder that died: its lock file and its id stay, its lock does not.
    const pid_t dead = ::fork();
    if (dead == 0) {
        CameraLock held = CameraLock::Take(AddressLockKey("127.0.0.9"));
        ::_exit(held.Held() ? 0 : 1);  // no destructor: as a killed process ends
    }
    ::waitpid(dead, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(CameraLock::Take(AddressLockKey("127.0.0.9:80")).Held());

    first.Release();
    EXPECT_TRUE(CameraLock::Take(MacLockKey("08:00:46:AA:00:01")).Held());
}

TEST_F(CameraLockTest, DistinctNamesNeverShareALockAndAForeignFolderIsRefused) {
    const CameraLock a = CameraLock::Take(SerialLockKey("1/2"));
    const CameraLock b = CameraLock::Take(SerialLockKey("1%2F2"));
    const CameraLock longer = CameraLock::Take(FileLockKey(folder_ + "/" + std::string(300, 'r')));
    EXPECT_TRUE(a.Held() && b.Held() && longer.Held());
    EXPECT_EQ(FileLockKey(folder_ + "/x/../report.json"), FileLockKey(folder_ + "/report.json"));

    // A path that is not a folder of ours is never used.
    const std::string file = folder_ + "/not-a-folder";
    std::ofstream(file) << "x";
    ::setenv("XQT_RUNTIME_DIR", file.c_str(), 1);
    const CameraLock refused = CameraLock::Take(MacLockKey("08:00:46:aa:00:02"));
    EXPECT_EQ(refused.GetState(), CameraLock::State::Failed);
    EXPECT_NE(refused.RefusalText().find("not a folder"), std::string::npos);
}

}  // namespace
}  // namespace xqt::platform

// The one atomic writer under writes that a signal interrupts, that the kernel takes in part, or
// that a full disk refuses: the file is replaced whole or not at all, and nothing is left beside it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/AtomicFile.h"

namespace xqt::platform {
namespace {

namespace fs = std::filesystem;

int g_calls = 0;
int g_failWith = 0;  // errno every write ends with; 0: writes succeed in small pieces

// Every other call is interrupted; the others take at most 7 bytes, or fail with g_failWith.
ssize_t AwkwardWrite(int fd, const void* data, std::size_t size) {
    if (g_calls++ % 2 == 0) {
        errno = EINTR;
        return -1;
    }
    if (g_failWith != 0) {
        errno = g_failWith;
        return -1;
    }
    return ::write(fd, data, std::min<std::size_t>(size, 7));
}

class AtomicFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/xqt-atomic-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        path_ = folder_ / "report.json";
        std::ofstream(path_) << "earlier";
        g_calls = 0;
        detail::writeCall = AwkwardWrite;
    }
    void TearDown() override {
        detail::writeCall = ::write;
        fs::remove_all(folder_);
    }
    std::string Contents() const {
        std::ifstream in(path_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::size_t FilesInFolder() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }

    fs::path folder_;
    fs::path path_;
};

TEST_F(AtomicFileTest, ReplacesWholeOrNotAtAll) {
    const std::string text(10000, 'x');
    struct Case {
        int failWith;
        int expected;
        const char* contents;
    };
    for (const Case& c : {Case{0, 0, nullptr}, Case{ENOSPC, ENOSPC, "earlier"}}) {
        g_failWith = c.failWith;
        ReplaceStage stage{};
        EXPECT_EQ(ReplaceFile(path_.string(), text, 0644, &stage), c.expected) << c.failWith;
        EXPECT_EQ(Contents(), c.contents ? std::string(c.contents) : text) << c.failWith;
        if (c.expected != 0) {
            EXPECT_EQ(stage, ReplaceStage::Write);
        }
        EXPECT_EQ(FilesInFolder(), 1u) << "a temporary file was left behind";
        std::ofstream(path_) << "earlier";
    }
}

}  // namespace
}  // namespace xqt::platform

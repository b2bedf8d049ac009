// The upgrade history: appends from several writers at once stay whole lines, the file keeps its
// bound by dropping the oldest lines, and lines that are not entries are skipped on reading.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "fleet/UpgradeHistory.h"

namespace xqt {
namespace {

namespace fs = std::filesystem;

class UpgradeHistory : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("xqt-history-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        path = (folder / "sub" / "history.jsonl").string();
    }
    void TearDown() override { fs::remove_all(folder); }

    static HistoryEntry Entry(const std::string& address, const std::string& serial) {
        HistoryEntry e;
        e.tool = "test";
        e.address = address;
        e.serial = serial;
        e.outcome = Outcome::Upgraded;
        return e;
    }
    std::vector<HistoryEntry> Read() {
        auto entries = ReadHistory(path);
        EXPECT_TRUE(entries) << entries.error();
        return entries.value_or(std::vector<HistoryEntry>{});
    }

    fs::path folder;
    std::string path;
};

TEST_F(UpgradeHistory, ConcurrentAppendsStayWholeLinesInAPrivateFile) {
    constexpr int kWriters = 8, kEach = 40;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([this, w] {
            for (int i = 0; i < kEach; ++i) {
                const Result<void> appended =
                    AppendHistory(Entry("127.0.0." + std::to_string(w), std::string(200, 'a' + w)), path);
                EXPECT_TRUE(appended) << appended.error();
            }
        });
    }
    for (auto& t : writers)
        t.join();
    const auto entries = Read();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kWriters * kEach));
    for (const HistoryEntry& e : entries)
        EXPECT_EQ(e.serial, std::string(200, e.address.back() - '0' + 'a'));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(UpgradeHistory, TheFileKeepsItsBoundByDroppingTheOldestLines) {
    const std::string serial(20000, 's');
    const int count = static_cast<int>(2 * HISTORY_MAX_BYTES / serial.size());
    for (int i = 0; i < count; ++i) {
        const Result<void> appended =
            AppendHistory(Entry("10.0.0.1:" + std::to_string(1024 + i), serial), path);
        ASSERT_TRUE(appended) << appended.error();
        ASSERT_LE(fs::file_size(path), HISTORY_MAX_BYTES) << i;
    }
    const auto entries = Read();
    ASSERT_FALSE(entries.empty());
    EXPECT_LT(entries.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(entries.back().address, "10.0.0.1:" + std::to_string(1024 + count - 1)) << "the newest is kept";
}

TEST_F(UpgradeHistory, LinesThatAreNoEntriesAreSkippedAndNoFileIsNoHistory) {
    EXPECT_TRUE(Read().empty());
    ASSERT_TRUE(AppendHistory(Entry("10.0.0.1", "1"), path));
    std::ofstream(path, std::ios::app) << "not json\n{\"address\": 5}\n[1,2]\n{\"tool\":\"x\"}\n";
    ASSERT_TRUE(AppendHistory(Entry("10.0.0.2", "2"), path));
    const auto entries = Read();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].address, "10.0.0.2");
    EXPECT_FALSE(entries[0].time.empty());
}

}  // namespace
}  // namespace xqt

// Fetching a camera's configuration into the dated folder, reading it back and removing it: what
// is saved, what is refused, and that a failure never leaves a partial file or loses an earlier one.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "ConfigTestSupport.h"
#include "camera/ConfigStore.h"
#include "sim/SimHttp.h"
#include "tests/camera/SimHelpers.h"
#include "tests/support/FullDisk.h"
#include "tests/support/Slowdown.h"

namespace xqt {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FilesBelow;
using test::ReadFile;

const char* const kAdmin = "YWRtaW46YWRtaW4=";  // admin:admin, the simulated camera's administrator
const char* const kUser = "dXNlcjp1c2Vy";       // user:user, not an administrator

std::string AllByteValues(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

class ConfigDownloadTest : public test::ConfigFolderTest {
  protected:
    std::unique_ptr<ConfigStore> Store(const std::string& credential = kAdmin, std::int32_t deleteFlag = 0,
                                       const std::string& serial = "1000001",
                                       std::chrono::milliseconds stepTimeout = 3s) {
        return std::make_unique<ConfigStore>(camera.hostPort(), "/home/l4/xqt-tr60.cfg", credential,
                                             test::SampleStamp(), "XQT-TR60", serial, deleteFlag,
                                             stepTimeout);
    }
    fs::path Dated() const { return temp.path() / "VEXO/XQT FirmwareUpgrade/Configurations/2612061405"; }
    void SetCamera(const std::function<void(sim::SimCamera&)>& change) { camera.server().Update(change); }

    test::OneCamera camera{test::CameraAt("127.0.45.1")};
};

TEST_F(ConfigDownloadTest, SavesTheCamerasBytesPrivately) {
    const std::string configuration = AllByteValues(100 * 1024);
    SetCamera([&](sim::SimCamera& c) {
        c.configuration = configuration;
        c.http.pieceSize = 7000;  // the answer arrives in many pieces
    });
    auto store = Store();
    ASSERT_TRUE(store->Download()) << store->errorText;
    EXPECT_TRUE(store->errorText.empty());
    EXPECT_EQ(store->byteCount, configuration.size());
    EXPECT_EQ(ReadFile(store->localPath), configuration);
    EXPECT_EQ(test::PermissionsOf(store->localPath), 0600u);
    EXPECT_EQ(test::PermissionsOf(Dated()), 0700u);
    EXPECT_EQ(test::PermissionsOf(temp.path() / "VEXO"), 0700u);
    EXPECT_EQ(FilesBelow(temp.path()), std::vector<fs::path>{store->localPath});  // no temporary left

    const auto requests = camera.server().Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].request.method, "GET");
    EXPECT_EQ(requests[0].request.target, "/home/l4/xqt-tr60.cfg");
    EXPECT_EQ(requests[0].request.authorization, std::string("Basic ") + kAdmin);
    EXPECT_NE(requests[0].raw.find("\r\nUser-Agent: XQT Upgrade Tool\r\n"), std::string::npos);
}

TEST_F(ConfigDownloadTest, BackupsOfTheSameNameInOneMinuteAreAllKept) {
    // A second backup of one camera, or another camera that reports the same serial: the first
    // file stays, the next ones get the first free suffix.
    std::vector<std::unique_ptr<ConfigStore>> stores;
    for (const std::string text : {"first", "second", "third"}) {
        SetCamera([&](sim::SimCamera& c) { c.configuration = text; });
        stores.push_back(Store());
        ASSERT_TRUE(stores.back()->Download()) << stores.back()->errorText;
    }
    const fs::path plain = Dated() / "xqt-tr60.1000001.cfg";
    EXPECT_EQ(stores[0]->localPath, plain.string());
    EXPECT_EQ(stores[1]->localPath, (Dated() / "xqt-tr60.1000001-2.cfg").string());
    EXPECT_EQ(stores[2]->localPath, (Dated() / "xqt-tr60.1000001-3.cfg").string());
    EXPECT_EQ(ReadFile(stores[0]->localPath), "first");
    EXPECT_EQ(ReadFile(stores[1]->localPath), "second");
    EXPECT_EQ(ReadFile(stores[2]->localPath), "third");
    EXPECT_EQ(FilesBelow(temp.path()).size(), 3u);
}

TEST_F(ConfigDownloadTest, AHostileSerialStillSavesInsideTheDatedFolder) {
    auto store = Store(kAdmin, 0, "../../../../escaped");
    ASSERT_TRUE(store->Download()) << store->errorText;
    const auto files = FilesBelow(temp.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].parent_path(), Dated());
    EXPECT_FALSE(fs::exists(temp.path() / "escaped"));
    EXPECT_FALSE(fs::exists(temp.path() / "VEXO/escaped"));
}

TEST_F(ConfigDownloadTest, ALinkPlantedAtTheFileIsNeitherWrittenThroughNorReplaced) {
    auto store = Store();
    const std::string plain = store->localPath;
    ASSERT_TRUE(ConfigStore::MakeFolders(plain));
    const fs::path outside = temp.path() / "outside.txt";
    std::ofstream(outside) << "keep me";
    fs::create_symlink(outside, plain);
    ASSERT_TRUE(store->Download()) << store->errorText;
    EXPECT_EQ(ReadFile(outside), "keep me");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(plain)));
    EXPECT_NE(store->localPath, plain);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(store->localPath)));

    fs::remove(store->localPath);  // read-back does not follow a link either
    fs::create_symlink(outside, store->localPath);
    std::vector<std::uint8_t> buffer(store->byteCount);
    EXPECT_FALSE(store->ReadBack(buffer));
}

TEST_F(ConfigDownloadTest, AnOversizedConfigurationIsRefused) {
    SetCamera([](sim::SimCamera& c) { c.configuration = std::string(CONFIG_SIZE_LIMIT + 1, 'z'); });
    auto store = Store();
    EXPECT_FALSE(store->Download());
    EXPECT_NE(store->errorText.find("larger than"), std::string::npos) << store->errorText;
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
}

// ---- Refusals -------------------------------------------------------------------------------

TEST_F(ConfigDownloadTest, AnHtmlPageIsNoConfiguration) {
    SetCamera([](sim::SimCamera& c) { c.config.htmlPage = true; });
    auto store = Store();
    EXPECT_FALSE(store->Download());
    EXPECT_FALSE(store->errorText.empty());
    EXPECT_EQ(store->byteCount, 0u);
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
    EXPECT_FALSE(fs::exists(temp.path() / "VEXO")) << "no empty dated folder is left behind";
}

TEST_F(ConfigDownloadTest, AnHtmlPageSplitAcrossReadsIsStillSeen) {
    // The page starts three bytes before a 1024-byte boundary of the answer, which goes out in
    // 512-byte pieces, so "<HT" and "ML>" arrive apart.
    const std::string page =
        "<HTML><HEAD><TITLE>XQT</TITLE></HEAD><BODY>The configuration cannot be read now.</BODY></HTML>";
    std::size_t headLength = 0;
    for (int round = 0; round < 3; ++round) {
        const std::size_t before = 1024 - headLength - 3;
        const std::string answer = sim::HttpResponse(200, "OK", "text/html", std::string(before, 'c') + page);
        headLength = answer.find("\r\n\r\n") + 4;
    }
    const int before = static_cast<int>(1024 - headLength - 3);
    SetCamera([&](sim::SimCamera& c) {
        c.configuration = std::string(2000, 'c');
        c.config.htmlPage = true;
        c.config.htmlAfter = before;
        c.http.pieceSize = 512;
        c.http.pieceDelayMs = 20;
    });
    auto store = Store();
    EXPECT_FALSE(store->Download());
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
}

TEST_F(ConfigDownloadTest, AFailedDownloadKeepsTheEarlierFile) {
    auto first = Store();
    ASSERT_TRUE(first->Download());
    const std::string saved = ReadFile(first->localPath);
    SetCamera([](sim::SimCamera& c) {
        c.configuration = std::string(5000, 'n');
        c.config.htmlPage = true;
        c.config.htmlAfter = 4000;
    });
    auto second = Store();
    EXPECT_FALSE(second->Download());
    EXPECT_EQ(ReadFile(first->localPath), saved);
    EXPECT_EQ(FilesBelow(temp.path()).size(), 1u);
}

TEST_F(ConfigDownloadTest, ARefusedLoginIsAFailureWhateverThePageSays) {
    {
        auto store = Store(kUser);  // a user, not the administrator
        EXPECT_FALSE(store->Download());
        EXPECT_NE(store->errorText.find("401"), std::string::npos) << store->errorText;
    }
    {
        // A 401 whose body has no "<HTML>" must not be saved as the configuration either.
        SetCamera([](sim::SimCamera& c) { c.http.challengeBody = "access denied"; });
        auto store = Store(kUser);
        EXPECT_FALSE(store->Download());
    }
    {
        SetCamera([](sim::SimCamera& c) { c.http.refuseLogin = true; });
        auto store = Store(kAdmin);
        EXPECT_FALSE(store->Download());
    }
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
}

TEST_F(ConfigDownloadTest, AnEmptyConfigurationIsRefused) {
    SetCamera([](sim::SimCamera& c) { c.configuration.clear(); });
    auto store = Store();
    EXPECT_FALSE(store->Download());
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
}

TEST_F(ConfigDownloadTest, ACameraThatDoesNotAnswerFailsAtTheStepDeadline) {
    SetCamera([](sim::SimCamera& c) { c.http.neverAnswer = true; });
    auto store = Store(kAdmin, 0, "1000001", 300ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(store->Download());
    EXPECT_GE(test::ElapsedSince(start), 300ms);
    EXPECT_NE(store->errorText.find("did not answer"), std::string::npos) << store->errorText;
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
}

TEST_F(ConfigDownloadTest, AResetOrAnAbsentCameraFails) {
    SetCamera([](sim::SimCamera& c) { c.http.resetConnection = true; });
    EXPECT_FALSE(Store()->Download());
    const std::string host = camera.hostPort();
    camera.fleet.Stop();
    ConfigStore store(host, "/home/l4/xqt-tr60.cfg", kAdmin, test::SampleStamp(), "XQT-TR60", "1", 0, 1s);
    EXPECT_FALSE(store.Download());
    EXPECT_NE(store.errorText.find("cannot connect"), std::string::npos) << store.errorText;
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
}

TEST_F(ConfigDownloadTest, CancelEndsADownloadAtOnce) {
    SetCamera([](sim::SimCamera& c) { c.http.neverAnswer = true; });
    const auto limit = 30s;
    auto store = Store(kAdmin, 0, "1000001", limit);
    std::thread canceller([&] {
        camera.server().WaitForRequests(1, limit / 2);  // the download waits for its answer
        store->Cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(store->Download());
    canceller.join();
    EXPECT_LT(test::ElapsedSince(start),
              limit / 2 + test::Allow(limit / 10));  // by the cancel, not its limit
    EXPECT_FALSE(store->Download());                 // cancelled for good
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
}

// ---- The disk ---------------------------------------------------------------------------------

TEST_F(ConfigDownloadTest, AnUnusableFolderIsAClearFailure) {
    std::ofstream(temp.path() / "not-a-folder") << "x";
    test::EnvOverride unusableHome("XDG_DATA_HOME", (temp.path() / "not-a-folder").c_str());
    auto store = Store();
    EXPECT_FALSE(store->Download());
    EXPECT_NE(store->errorText.find("cannot create the folder"), std::string::npos) << store->errorText;
    EXPECT_TRUE(camera.server().Requests().empty());  // nothing asked of the camera
}

TEST_F(ConfigDownloadTest, AFullDiskLeavesNothingBehind) {
    SetCamera([](sim::SimCamera& c) { c.configuration = AllByteValues(64 * 1024); });
    auto store = Store();
    ASSERT_TRUE(ConfigStore::MakeFolders(store->localPath));
    const bool saved = [&] {
        const test::FullDisk full(10000);
        return store->Download();
    }();
    EXPECT_FALSE(saved);
    EXPECT_NE(store->errorText.find("cannot write"), std::string::npos) << store->errorText;
    EXPECT_TRUE(FilesBelow(temp.path()).empty());
}

// ---- Read-back and removal ----------------------------------------------------------------

TEST_F(ConfigDownloadTest, ReadBackGivesTheSavedBytesOnlyWhileTheFileIsUnchanged) {
    const std::string configuration = AllByteValues(3000);
    SetCamera([&](sim::SimCamera& c) { c.configuration = configuration; });
    auto store = Store();
    ASSERT_TRUE(store->Download());

    std::vector<std::uint8_t> buffer(store->byteCount);
    ASSERT_TRUE(store->ReadBack(buffer)) << store->errorText;
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), configuration);

    std::vector<std::uint8_t> small(store->byteCount - 1);
    EXPECT_FALSE(store->ReadBack(small));

    fs::resize_file(store->localPath, 2999);
    EXPECT_FALSE(store->ReadBack(buffer));
    std::ofstream(store->localPath, std::ios::binary) << configuration << "more";
    EXPECT_FALSE(store->ReadBack(buffer));
    fs::remove(store->localPath);
    EXPECT_FALSE(store->ReadBack(buffer));
    EXPECT_FALSE(store->errorText.empty());
}

TEST_F(ConfigDownloadTest, OnlyARestoredConfigurationIsDeletedAndOnlyWhenAsked) {
    {
        auto keep = Store(kAdmin, 0);
        ASSERT_TRUE(keep->Download());
        keep->restored = true;
        EXPECT_FALSE(keep->RemoveFile());
        EXPECT_TRUE(fs::exists(keep->localPath));
    }
    {
        auto notRestored = Store(kAdmin, 1);
        ASSERT_TRUE(notRestored->Download());
        EXPECT_FALSE(notRestored->RemoveFile());
        EXPECT_TRUE(fs::exists(notRestored->localPath));
    }
    auto done = Store(kAdmin, 1);
    ASSERT_TRUE(done->Download());
    done->restored = true;
    EXPECT_TRUE(done->RemoveFile());
    EXPECT_FALSE(fs::exists(done->localPath));
    EXPECT_FALSE(done->RemoveFile());  // already gone: nothing to do

    // Another file that has come to stand at the path is never ours to delete.
    auto replaced = Store(kAdmin, 1);
    ASSERT_TRUE(replaced->Download());
    replaced->restored = true;
    const fs::path other = temp.path() / "other.cfg";
    std::ofstream(other) << "another camera's settings";
    fs::rename(other, replaced->localPath);
    EXPECT_FALSE(replaced->RemoveFile());
    EXPECT_EQ(ReadFile(replaced->localPath), "another camera's settings");
    std::vector<std::uint8_t> buffer(replaced->byteCount);
    EXPECT_FALSE(replaced->ReadBack(buffer)) << "nor read back and posted to the camera";
}

// ---- The marker across reads ---------------------------------------------------------------

TEST(MarkerScannerTest, FindsTheMarkerAtEverySplit) {
    const std::string marker(HTML_MARKER);
    for (std::size_t at = 0; at + marker.size() <= 1024; ++at) {
        std::string stream(1024, 'x');
        stream.replace(at, marker.size(), marker);
        detail::MarkerScanner blocks;
        bool found = false;
        for (std::size_t i = 0; i < stream.size() && !found; i += CONFIG_READ_SIZE)
            found = blocks.Feed(std::string_view(stream).substr(i, CONFIG_READ_SIZE));
        EXPECT_TRUE(found) << "marker at " << at;

        detail::MarkerScanner bytes;
        found = false;
        for (char c : stream)
            found = bytes.Feed(std::string_view(&c, 1)) || found;
        EXPECT_TRUE(found) << "marker at " << at << ", one byte at a time";
    }
}

TEST(MarkerScannerTest, NearMissesAreNotTheMarker) {
    detail::MarkerScanner scanner;
    EXPECT_FALSE(scanner.Feed("config <HTM"));
    EXPECT_FALSE(scanner.Feed("l> <html> <HTM L>"));  // case matters, as does every byte
    EXPECT_FALSE(scanner.Feed("<HTML"));
    EXPECT_FALSE(scanner.Found());
    EXPECT_TRUE(scanner.Feed(">"));
    EXPECT_TRUE(scanner.Feed("anything after"));
}

}  // namespace
}  // namespace xqt

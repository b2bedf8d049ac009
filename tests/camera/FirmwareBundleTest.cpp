// Firmware bundles as users make and break them: one table of manifests, files and signatures,
// in a folder and in a tar file; the placeholder guard's address classifier; and a session that
// must refuse the placeholder toward a camera outside loopback without connecting anywhere.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>

#include "camera/BundleSignature.h"
#include "camera/BundleWriter.h"
#include "camera/ConnectWatch.h"
#include "camera/FirmwareBundle.h"
#include "camera/PlaceholderGuard.h"
#include "platform/PlaceholderImage.h"
#include "tests/camera/SimHelpers.h"
#include "tests/cli/CliRunSupport.h"
#include "tests/support/FullDisk.h"

namespace xqt::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

void Put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

const KeyPairText& Signer() {
    static const KeyPairText key = *GenerateSigningKey();
    return key;
}
const KeyPairText& Stranger() {
    static const KeyPairText key = *GenerateSigningKey();
    return key;
}

// A good bundle in the making: a manifest as JSON, its images, who signs it. Cases spoil it.
struct Draft {
    json manifest;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> images;
    std::string manifestText;  // when set, written instead of the manifest
    const KeyPairText* signer = nullptr;
    bool trustSigner = false;  // --trusted-key with the signer's public key
    bool trustFolder = false;  // the signer's public key in the trusted-keys folder
    // Files (name, text) of a trusted-keys folder that exists; without any and without
    // trustFolder, no folder is there.
    std::vector<std::pair<std::string, std::string>> keysFolder;
    bool emptyKeysFolder = false;     // the folder exists and holds nothing
    bool changeAfterSigning = false;  // a byte of the manifest changes after it was signed
    std::function<void(const fs::path& bundleFolder, const fs::path& outside)> extra;

    Draft() {
        const auto image = Bytes(1000, 3);
        images.emplace_back("image.bin", image);
        manifest = {
            {"format", 1},
            {"version", "1.24"},
            {"released", "2026-11-30"},
            {"models", {"XQT-TR60", "XQT-TR60N"}},
            {"images", {{{"key", ""}, {"file", "image.bin"}, {"size", 1000}, {"sha256", Sha256Hex(image)}}}}};
    }
    void AddImage(const std::string& key, const std::string& file, std::uint8_t seed) {
        const auto image = Bytes(500, seed);
        images.emplace_back(file, image);
        manifest["images"].push_back(
            {{"key", key}, {"file", file}, {"size", 500}, {"sha256", Sha256Hex(image)}});
    }
};

struct BundleCase {
    const char* name;
    std::function<void(Draft&)> spoil;
    const char* error;  // a part of the refusal; empty: the bundle is taken
    SignatureState signature = SignatureState::Unsigned;
};

const BundleCase kCases[] = {
    {"good and unsigned", [](Draft&) {}, ""},
    {"five images with keys",
     [](Draft& d) {
         for (int i = 1; i < 5; ++i)
             d.AddImage("K" + std::to_string(i), "i" + std::to_string(i), 9);
     },
     ""},
    {"bad JSON", [](Draft& d) { d.manifestText = "{\"format\": 1,"; }, "not valid JSON"},
    {"not an object", [](Draft& d) { d.manifestText = "[1]"; }, "not a JSON object"},
    {"format 2", [](Draft& d) { d.manifest["format"] = 2; }, "\"format\" is not 1"},
    {"unknown field", [](Draft& d) { d.manifest["relased"] = "x"; }, "unknown field \"relased\""},
    {"missing file", [](Draft& d) { d.images.clear(); }, "image 1's file image.bin is missing"},
    {"size mismatch", [](Draft& d) { d.manifest["images"][0]["size"] = 1001; },
     "has 1000 bytes, the manifest says 1001"},
    {"hash mismatch", [](Draft& d) { d.manifest["images"][0]["sha256"] = std::string(64, '0'); },
     "does not match its SHA-256"},
    {"hash not hex", [](Draft& d) { d.manifest["images"][0]["sha256"] = std::string(64, 'G'); },
     "64 lower-case hexadecimal"},
    {"image over 64 MiB", [](Draft& d) { d.manifest["images"][0]["size"] = 64 * 1024 * 1024 + 1; },
     "from 1 byte to 64 MiB"},
    {"repeated key",
     [](Draft& d) {
         d.AddImage("A", "a.bin", 1);
         d.AddImage("A", "b.bin", 2);
     },
     "key \"A\" is given twice"},
    {"empty key after slot 0", [](Draft& d) { d.AddImage("", "a.bin", 1); }, "image 2's \"key\" is empty"},
    {"version not a number", [](Draft& d) { d.manifest["version"] = "v1.24"; },
     "does not start with a digit"},
    {"version with a blank", [](Draft& d) { d.manifest["version"] = "1.2 4"; }, "may hold only"},
    {"version too long for the label", [](Draft& d) { d.manifest["version"] = "1" + std::string(60, '0'); },
     "longer than 60"},
    {"version missing", [](Draft& d) { d.manifest.erase("version"); }, "\"version\" is missing"},
    {"eleven models",
     [](Draft& d) {
         for (int i = 0; i < 9; ++i)
             d.manifest["models"].push_back("M" + std::to_string(i));
     },
     "more than 10 models"},
    {"no model", [](Draft& d) { d.manifest["models"] = json::array(); }, "at least one name"},
    {"model with a line break", [](Draft& d) { d.manifest["models"][0] = "XQT\r\nTR60"; }, "printable ASCII"},
    {"six images",
     [](Draft& d) {
         for (int i = 1; i < 6; ++i)
             d.AddImage("K" + std::to_string(i), "i" + std::to_string(i), 9);
     },
     "more than 5 images"},
    {"oversized manifest", [](Draft& d) { d.manifestText = d.manifest.dump() + std::string(65 * 1024, ' '); },
     "larger than 65536 bytes"},
    {"path with ..", [](Draft& d) { d.manifest["images"][0]["file"] = "../image.bin"; }, "leaves the bundle"},
    {"absolute path", [](Draft& d) { d.manifest["images"][0]["file"] = "/etc/passwd"; }, "absolute path"},
    {"link out of the bundle",
     [](Draft& d) {
         d.images.clear();
         d.extra = [](const fs::path& folder, const fs::path& outside) {
             std::ofstream(outside / "image.bin", std::ios::binary)
                 .write(reinterpret_cast<const char*>(Bytes(1000, 3).data()), 1000);
             fs::create_symlink(outside / "image.bin", folder / "image.bin");
         };
     },
     "link that leads out of the bundle"},
    {"signed, no trusted key", [](Draft& d) { d.signer = &Signer(); }, "", SignatureState::Unchecked},
    {"good signature, --trusted-key",
     [](Draft& d) {
         d.signer = &Signer();
         d.trustSigner = true;
     },
     "", SignatureState::Good},
    {"good signature, trusted folder",
     [](Draft& d) {
         d.signer = &Signer();
         d.trustFolder = true;
     },
     "", SignatureState::Good},
    {"signed by another key",
     [](Draft& d) {
         d.signer = &Stranger();
         d.trustSigner = true;
     },
     "not good for any trusted key", SignatureState::Bad},
    {"manifest changed after signing",
     [](Draft& d) {
         d.signer = &Signer();
         d.trustSigner = true;
         d.changeAfterSigning = true;
     },
     "not good for any trusted key", SignatureState::Bad},
    {"unsigned, a key trusted", [](Draft& d) { d.trustFolder = true; }, "the bundle is unsigned"},
    // A keys folder that yields no key fails closed, whoever signed the bundle.
    {"empty trusted-keys folder",
     [](Draft& d) {
         d.signer = &Stranger();
         d.emptyKeysFolder = true;
     },
     "holds no key"},
    {"trusted-keys folder with a key named *.PUB",
     [](Draft& d) {
         d.signer = &Stranger();
         d.keysFolder = {{"signer.PUB", Signer().publicPem}};
     },
     "not used: \"signer.PUB\""},
    {"trusted-keys folder with *.crt and *.pub.txt",
     [](Draft& d) {
         d.signer = &Stranger();
         d.keysFolder = {{"signer.pub.txt", Signer().publicPem}, {"signer.crt", Signer().publicPem}};
     },
     "not used: \"signer.crt\", \"signer.pub.txt\""},
    // One JSON reader keeps the first of two equal keys, another the last.
    {"a top-level field twice",
     [](Draft& d) {
         d.manifestText = d.manifest.dump();
         d.manifestText.insert(1, "\"version\":\"9.99\",");
     },
     "gives the field \"version\" twice"},
    {"an image's field twice",
     [](Draft& d) {
         d.manifestText = d.manifest.dump();
         d.manifestText.insert(d.manifestText.find("\"file\""), "\"file\":\"other.bin\",");
     },
     "gives the field \"file\" twice"},
};

// How a bundle is handed over: as a folder, or as a tar file the system's tar writes in its own
// format or in the pax format (which adds times in pax headers to every member).
enum class Packing { Folder, GnuTar, PaxTar };

class FirmwareBundleTest : public ::testing::TestWithParam<Packing> {
  protected:
    // Writes `draft` as a bundle (a tar file when the parameter says so) and loads it.
    BundleLoad Make(const Draft& draft) {
        const fs::path root = fs::path(scratch_.Path()) / std::to_string(++count_);
        const fs::path outside = root / "outside", keys = root / "keys";
        fs::create_directories(outside);
        if (draft.trustFolder || draft.emptyKeysFolder || !draft.keysFolder.empty())
            fs::create_directories(keys);
        for (const auto& [name, text] : draft.keysFolder)
            Put(keys / name, text);
        std::string text = draft.manifestText.empty() ? draft.manifest.dump(2) : draft.manifestText;
        BundleFiles files;
        files.emplace_back("manifest.json", std::vector<std::uint8_t>(text.begin(), text.end()));
        if (draft.signer) {
            auto signature = SignMessage(draft.signer->privatePem, text);
            if (draft.changeAfterSigning) {
                const std::size_t at = text.find("1.24");
                files[0].second[at + 3] = '5';
            }
            files.emplace_back("manifest.json.sig", *signature);
        }
        for (const auto& image : draft.images)
            files.push_back(image);
        TrustSettings trust;
        trust.keyDirectory = keys;
        if (draft.trustSigner) {
            Put(root / "signer.pub", Signer().publicPem);
            trust.keyFiles.push_back(root / "signer.pub");
        }
        if (draft.trustFolder) Put(keys / "signer.pub", Signer().publicPem);
        const bool tar = GetParam() != Packing::Folder;
        const fs::path folder = root / "bundle";
        const Result<void> written = WriteBundle(folder, files);
        EXPECT_TRUE(written) << written.error();
        if (draft.extra) draft.extra(folder, outside);
        if (!tar) return LoadFirmwareBundle(folder, trust);
        // The tar is made by the system's tar, as users make theirs, links kept as links.
        const fs::path file = root / "bundle.tar";
        const std::string format = GetParam() == Packing::PaxTar ? "--format=pax " : "";
        const std::string command =
            "tar " + format + "-C '" + folder.string() + "' -cf '" + file.string() + "' .";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return LoadFirmwareBundle(file, trust);
    }

    ScratchFolder scratch_{"xqt-bundle"};
    int count_ = 0;
};

TEST_P(FirmwareBundleTest, EachFaultIsNamedAndEveryGoodBundleIsTaken) {
    for (const BundleCase& c : kCases) {
        Draft draft;
        c.spoil(draft);
        const BundleLoad load = Make(draft);
        std::string expected = c.error;
        // In a tar file, a link is refused as a link, wherever it points.
        if (GetParam() != Packing::Folder && expected == "link that leads out of the bundle")
            expected = "is a link in the tar file";
        if (expected.empty()) {
            ASSERT_TRUE(load.Usable()) << c.name << ": " << load.error;
            EXPECT_EQ(load.bundle->signature, c.signature) << c.name;
            const auto& images = draft.manifest["images"];
            ASSERT_EQ(load.bundle->images.size(), images.size()) << c.name;
            for (std::size_t i = 0; i < images.size(); ++i)
                EXPECT_EQ(Sha256Hex(*load.bundle->images[i]), images[i]["sha256"]) << c.name;
        } else {
            EXPECT_FALSE(load.Usable()) << c.name;
            EXPECT_NE(load.error.find(expected), std::string::npos) << c.name << ": " << load.error;
            if (load.bundle) {
                EXPECT_EQ(load.bundle->signature, c.signature) << c.name;
            }
        }
    }
}

std::string PackingName(const ::testing::TestParamInfo<Packing>& info) {
    switch (info.param) {
        case Packing::Folder:
            return "Folder";
        case Packing::GnuTar:
            return "GnuTar";
        case Packing::PaxTar:
            return "PaxTar";
    }
    return "";
}

INSTANTIATE_TEST_SUITE_P(FolderAndTar, FirmwareBundleTest,
                         ::testing::Values(Packing::Folder, Packing::GnuTar, Packing::PaxTar), PackingName);

TEST(BundleWriterTest, AFullDiskLeavesTheEarlierBundleWholeAndNothingBesideIt) {
    ScratchFolder scratch("xqt-pack");
    const fs::path target = fs::path(scratch.Path()) / "site.xqtfw";
    const BundleFiles small{{"manifest.json", std::vector<std::uint8_t>(100, '{')}};
    ASSERT_TRUE(WriteBundle(target, small));
    const auto before = fs::file_size(target);
    const Result<void> written = [&] {
        const FullDisk full(20000);
        return WriteBundle(target, {{"image.bin", std::vector<std::uint8_t>(50000, 7)}});
    }();
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().find("cannot write"), std::string::npos) << written.error();
    EXPECT_EQ(fs::file_size(target), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.Path()), fs::directory_iterator()), 1);
}

TEST(FirmwareBundleResourcesTest, ABundleReplacesVersionModelsKeysAndImages) {
    ResourceState resources;
    resources.slotKeys = {"", "OLD", "", "", ""};
    FirmwareBundle bundle;
    bundle.path = "/tmp/b";
    bundle.manifest.version = "2.0";
    bundle.manifest.models = {"XQT-NEW"};
    bundle.manifest.images = {{"", "a", 3, "aa"}, {"D2", "b", 2, "bb"}};
    bundle.images = {std::make_shared<const std::vector<std::uint8_t>>(3, 1),
                     std::make_shared<const std::vector<std::uint8_t>>(2, 2)};
    resources.ApplyBundle(bundle);
    EXPECT_EQ(resources.versionLabel, "ver2.0");
    EXPECT_EQ(resources.Banner(), "XQT-NEW ver2.0 Firmware Upgrade");
    EXPECT_EQ(resources.modelNames[0], "XQT-NEW");
    EXPECT_FALSE(resources.modelNames[1]);
    EXPECT_EQ(resources.SelectSlot("D2"), 1);
    EXPECT_EQ(resources.SelectSlot("OLD"), 0) << "the embedded keys are gone";
    EXPECT_EQ(resources.slotSize[1], 2u);
    EXPECT_EQ(resources.slotSha256[1], "bb");
    EXPECT_FALSE(resources.slotData[2]);
    EXPECT_FALSE(resources.CarriesPlaceholder());
}

// ---- The placeholder guard ----------------------------------------------------------------------

TEST(PlaceholderGuardTest, OnlyLoopbackAddressesAreLoopback) {
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},
        {"127.0.1.5:8080", true},
        {"127.255.255.255:65535", true},
        {"127.0.0.1:0", false},
        {"127.0.0.1:65536", false},
        {"127.0.0.1:", false},
        {"127.0.0", false},
        {"127.0.0.256", false},
        {"127.0.0.1.2", false},
        {"128.0.0.1", false},
        {"10.0.0.1", false},
        {"192.168.0.100", false},
        {"1127.0.0.1", false},
        {"127.0.0.1x", false},
        {"localhost", false},
        {"", false},
        {"127.0.0.0001", false},
        {"127.0.0.1:80:80", false},
    };
    for (const auto& [text, loopback] : cases)
        EXPECT_EQ(IsLoopbackHost(text), loopback) << text;
}

TEST(PlaceholderGuardTest, OnlyThePlaceholderIsKeptOnLoopback) {
    const auto placeholder = platform::MakePlaceholderImage(4096, "1.23");
    const auto real = Bytes(4096, 5);
    EXPECT_EQ(PlaceholderRefusal(placeholder, "10.1.2.3"), std::string(PLACEHOLDER_REFUSAL));
    EXPECT_FALSE(PlaceholderRefusal(placeholder, "127.0.1.1:8080"));
    EXPECT_FALSE(PlaceholderRefusal(real, "10.1.2.3"));
}

std::mutex g_connectsMutex;
std::vector<std::string> g_connects;

void RecordConnect(const std::string& endpoint) {
    std::lock_guard lock(g_connectsMutex);
    g_connects.push_back(endpoint);
}

TEST(PlaceholderGuardTest, TheSessionRefusesThePlaceholderOutsideLoopbackBeforeConnecting) {
    const auto previous = detail::SetConnectWatch(RecordConnect);
    const auto image =
        std::make_shared<const std::vector<std::uint8_t>>(platform::MakePlaceholderImage(4096, "1.23"));
    RecordingOwner owner;
    {
        CameraSession session(ConfigFor("10.1.2.3", &owner));
        session.SetImage(image, static_cast<std::uint32_t>(image->size()), "ver1.23");
        EXPECT_FALSE(session.StartUpgrade());
        EXPECT_EQ(session.status.load(), StatusCode(UpgradeStatus::Error1));
        EXPECT_EQ(session.failure.load(), FailureCode(UpgradeFailure::PlaceholderRefused));
        EXPECT_FALSE(session.IsWorkerRunning());
    }
    {
        std::lock_guard lock(g_connectsMutex);
        EXPECT_TRUE(g_connects.empty()) << "connected to " << g_connects.front();
    }
    // The same session toward loopback starts, and its connection passes the watch.
    {
        CameraSession session(ConfigFor("127.0.9.77:1", &owner));
        session.SetImage(image, static_cast<std::uint32_t>(image->size()), "ver1.23");
        EXPECT_TRUE(session.StartUpgrade());
        for (int i = 0; i < 500; ++i) {
            if (std::lock_guard lock(g_connectsMutex); !g_connects.empty()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        session.Cancel();
    }
    detail::SetConnectWatch(previous);
    std::lock_guard lock(g_connectsMutex);
    ASSERT_FALSE(g_connects.empty());
    EXPECT_EQ(g_connects.front(), "127.0.9.77:1");
}

}  // namespace
}  // namespace xqt::test

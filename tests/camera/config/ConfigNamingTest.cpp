// Where saved configurations go: the folder the environment names, the dated folder, and a file
// name that stays inside it whatever serial the camera reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "ConfigTestSupport.h"
#include "camera/ConfigStore.h"

namespace xqt {
namespace {

namespace fs = std::filesystem;
using test::ConfigFolderTest;
using test::EnvOverride;
using test::SampleStamp;
using test::TempFolder;

const char* const kCredential = "YWRtaW46YWRtaW4=";

ConfigStore StoreFor(const std::string& serial, const std::string& model = "XQT-TR60") {
    return ConfigStore("127.0.0.1:8080", "/home/l4/xqt-tr60.cfg", kCredential, SampleStamp(), model, serial,
                       0);
}

class ConfigNamingTest : public ConfigFolderTest {};

TEST_F(ConfigNamingTest, AnOrdinaryCameraGetsTheDocumentedFolderAndName) {
    ConfigStore store = StoreFor("1000001");
    EXPECT_EQ(store.localPath,
              temp.str() + "/VEXO/XQT FirmwareUpgrade/Configurations/2612061405/xqt-tr60.1000001.cfg");
    EXPECT_EQ(store.url, "HTTP://127.0.0.1:8080/home/l4/xqt-tr60.cfg");
    EXPECT_EQ(store.authHeader, "Authorization: Basic YWRtaW46YWRtaW4=");
    EXPECT_FALSE(store.restored.load());
    EXPECT_EQ(store.byteCount, 0u);
}

TEST_F(ConfigNamingTest, OrdinarySerialsKeepTheirForm) {
    for (const std::string serial : {"1000001", "AB-12_3.4", "x", ""}) {
        EXPECT_EQ(SafeConfigFileName("XQT-TR60", serial), "xqt-tr60." + serial + ".cfg") << serial;
    }
    EXPECT_EQ(SafeConfigFileName("XQT-TR60", std::string(64, '7')),
              "xqt-tr60." + std::string(64, '7') + ".cfg");
}

TEST_F(ConfigNamingTest, TheBaseFolderFollowsTheEnvironment) {
    TempFolder programFolder;
    {
        EnvOverride pf("ProgramFiles", programFolder.str().c_str());
        EXPECT_EQ(ConfigBaseFolder(), programFolder.str());
    }
    {
        EnvOverride pf("ProgramFiles", "relative/folder");  // never a folder below the working directory
        EXPECT_EQ(ConfigBaseFolder(), temp.str());
    }
    {
        EnvOverride pf("ProgramFiles", "");
        EXPECT_EQ(ConfigBaseFolder(), temp.str());
    }
    {
        EnvOverride xdg("XDG_DATA_HOME", (temp.str() + "///").c_str());
        EXPECT_EQ(ConfigBaseFolder(), temp.str());
    }
    {
        EnvOverride xdg("XDG_DATA_HOME", nullptr);
        EnvOverride home("HOME", "/home/someone");
        EXPECT_EQ(ConfigBaseFolder(), "/home/someone/.local/share");
        EXPECT_EQ(StoreFor("1").localPath.rfind("/home/someone/.local/share/VEXO/XQT FirmwareUpgrade/", 0),
                  0u);
    }
    {
        EnvOverride xdg("XDG_DATA_HOME", "not/absolute");
        EnvOverride home("HOME", "/home/someone");
        EXPECT_EQ(ConfigBaseFolder(), "/home/someone/.local/share");
    }
    {
        EnvOverride xdg("XDG_DATA_HOME", nullptr);
        EnvOverride home("HOME", nullptr);  // the account's home directory instead
        const std::string base = ConfigBaseFolder();
        ASSERT_FALSE(base.empty());
        EXPECT_EQ(base.front(), '/');
        EXPECT_TRUE(base.ends_with("/.local/share"));
    }
}

TEST_F(ConfigNamingTest, HostileSerialsStayOneNameInsideTheDatedFolder) {
    const fs::path dated = temp.path() / "VEXO/XQT FirmwareUpgrade/Configurations/2612061405";
    const std::vector<std::string> serials = {
        "../../../../etc/passwd",
        "/etc/shadow",
        "..",
        "../",
        "a\\..\\..\\b",
        std::string("12\0/x", 5),
        "\x01\x1b[2J\x7f",
        "a b",
        "\xc3\x84"
        "12",
        std::string(300, 'A'),
        std::string(5000, '/'),
        "C:\\Windows\\win.ini",
        "~",
        "a:b*c?\"<>|",
    };
    std::set<std::string> names;
    for (const auto& serial : serials) {
        const std::string name = SafeConfigFileName("XQT-TR60", serial);
        SCOPED_TRACE(name);
        EXPECT_TRUE(name.starts_with("xqt-tr60."));
        EXPECT_TRUE(name.ends_with(".cfg"));
        EXPECT_LE(name.size(), 255u);
        for (unsigned char c : name) {
            EXPECT_TRUE(std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == '~') << int(c);
        }
        const ConfigStore store = StoreFor(serial);
        EXPECT_EQ(fs::path(store.localPath).lexically_normal().parent_path(), dated);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), serials.size()) << "two serials share a file name";
}

TEST_F(ConfigNamingTest, SerialsThatCleanToTheSameTextKeepApart) {
    const std::string plain = SafeConfigFileName("XQT-TR60", "a_b");
    EXPECT_EQ(plain, "xqt-tr60.a_b.cfg");
    EXPECT_NE(SafeConfigFileName("XQT-TR60", "a/b"), plain);
    EXPECT_NE(SafeConfigFileName("XQT-TR60", "a/b"), SafeConfigFileName("XQT-TR60", "a\\b"));
    EXPECT_NE(SafeConfigFileName("XQT-TR60", std::string(65, '1')),
              SafeConfigFileName("XQT-TR60", std::string(66, '1')));
    // The same serial always gives the same name: two backups in one minute share the file.
    EXPECT_EQ(SafeConfigFileName("XQT-TR60", "a/b"), SafeConfigFileName("XQT-TR60", "a/b"));
}

TEST_F(ConfigNamingTest, MakeFoldersCreatesPrivateFoldersAndLeavesExistingOnes) {
    fs::create_directories(temp.path() / "existing");
    fs::permissions(temp.path() / "existing", fs::perms(0755));
    const std::string file = (temp.path() / "existing/one/two/three/file.cfg").string();
    ASSERT_TRUE(ConfigStore::MakeFolders(file));
    EXPECT_TRUE(fs::is_directory(temp.path() / "existing/one/two/three"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(test::PermissionsOf(temp.path() / "existing/one"), 0700u);
    EXPECT_EQ(test::PermissionsOf(temp.path() / "existing/one/two/three"), 0700u);
    EXPECT_EQ(test::PermissionsOf(temp.path() / "existing"), 0755u);
    EXPECT_TRUE(ConfigStore::MakeFolders(file));  // all there already
}

TEST_F(ConfigNamingTest, MakeFoldersFailsWhenAFileIsInTheWay) {
    std::ofstream(temp.path() / "blocker") << "x";
    EXPECT_FALSE(ConfigStore::MakeFolders((temp.path() / "blocker/sub/file.cfg").string()));
    EXPECT_FALSE(ConfigStore::MakeFolders((temp.path() / "blocker/file.cfg").string()));
    EXPECT_FALSE(fs::exists(temp.path() / "blocker/sub"));
}

}  // namespace
}  // namespace xqt

#include "AutoProgressSupport.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "fleet/TextForms.h"
#include "gui/automatic/UpgradeLogDialog.h"
#include "gui/wizard/WizardDialog.h"
#include "platform/PlaceholderImage.h"
#include "sim/Sha256.h"
#include "tests/camera/SimHelpers.h"

namespace xqt::test {

namespace {

constexpr std::size_t kFirstImageSize = 300 * 1024;
constexpr std::size_t kSecondImageSize = 260 * 1024;

ImageBytes Image(std::size_t size) {
    return std::make_shared<const std::vector<std::uint8_t>>(platform::MakePlaceholderImage(size, "1.23"));
}

Octets ParseOctets(const std::string& ip) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf(ip.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    return {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(c),
            static_cast<std::uint8_t>(d)};
}

}  // namespace

ModelList Models() {
    return ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
}

platform::EngineTiming Timing() {
    platform::EngineTiming timing = platform::EngineTiming{}.Scaled(kScale);
    // Room for a machine under load: the simulated cameras answer at once unless told otherwise.
    timing.inquiryLimit = Allow(timing.inquiryLimit * 10);
    // The bounds of a transfer judge the simulator's real throughput, which instrumented code cuts
    // (the wizard's cases carry the full 10 MB image): they are stretched for the tree.
    timing.transferGrace = Allow(timing.transferGrace);
    timing.transferPerMiB = Allow(timing.transferPerMiB);
    timing.streamReceiveTimeout = Allow(timing.streamReceiveTimeout);
    return timing;
}

std::chrono::milliseconds OneUpgrade() {
    return Allow(UpgradeLimit(Timing()));
}

sim::SimCamera Camera(int n) {
    return NumberedCamera(7, n, 3000000);
}

Shown Classify(const std::string& word) {
    if (word.empty() || word == "Standby") return Shown::Waiting;
    if (word == "Saving config file" || word == "Uploading") return Shown::Loading;
    if (word == "Completed" || word.rfind("Error", 0) == 0) return Shown::Ended;
    return Shown::Active;
}

ProgramFilesFolder::ProgramFilesFolder() {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "xqt-autoprogress-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (const char* old = std::getenv("ProgramFiles")) {
        old_ = old;
        hadOld_ = true;
    }
    setenv("ProgramFiles", path_.c_str(), 1);
}

ProgramFilesFolder::~ProgramFilesFolder() {
    if (hadOld_) {
        setenv("ProgramFiles", old_.c_str(), 1);
    } else {
        unsetenv("ProgramFiles");
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

AutoProgressTest::AutoProgressTest() {
    resources.modelNames = Models();
    resources.slotKeys = {"XQT-DOC-A", kSecondSlotKey, "", "", ""};
    resources.slotData[0] = Image(kFirstImageSize);
    resources.slotSize[0] = static_cast<std::uint32_t>(kFirstImageSize);
    resources.slotData[1] = Image(kSecondImageSize);
    resources.slotSize[1] = static_cast<std::uint32_t>(kSecondImageSize);
    resources.versionLabel = "ver1.23";
}

AutoProgressTest::~AutoProgressTest() {
    page.reset();
    grid.reset();
    fleet.reset();
}

void AutoProgressTest::Open(std::vector<sim::SimCamera> cameras, std::vector<int> dhcpRows, bool captureLog) {
    fleet = std::make_unique<sim::SimFleet>(std::move(cameras), kScale);
    fleet->Start();
    grid = std::make_unique<CameraGrid>(Models());
    for (std::size_t i = 0; i < fleet->Size(); ++i) {
        const sim::SimCamera camera = fleet->At(i).Camera();
        CameraEntry entry;
        entry.macText = camera.mac;
        entry.address = ParseOctets(camera.ipText);
        entry.port = camera.webPort;
        const bool dhcp = std::find(dhcpRows.begin(), dhcpRows.end(), static_cast<int>(i)) != dhcpRows.end();
        entry.dhcp = dhcp;
        entry.addressText = dhcp ? std::string(DHCP_TEXT) : AddressText(entry.address, entry.port);
        entry.model = camera.model;
        entry.serial = camera.serial;
        entry.version = camera.softVersion;
        ASSERT_EQ(grid->Insert(entry), InsertResult::Inserted);
        grid->SetCredentials(static_cast<int>(i), "admin", "admin");
    }
    page = std::make_unique<AutoProgressPage>(
        resources, *grid, boxes, [this](ButtonMode mode) { modes.push_back(static_cast<int>(mode)); },
        Timing());
    if (captureLog)
        page->openLog = [this](const BatchRun& run) {
            ++logsShown;
            UpgradeLogDialog dialog(run);
            logText = dialog.LogText();
        };
    page->resize(FRAME_WIDTH, 300);  // as wide as in the wizard
    page->show();
    ASSERT_TRUE(WaitUntil([&] { return page->List().Size() == static_cast<int>(fleet->Size()); }));
}

void AutoProgressTest::NoRetain() {
    QCheckBox* retain = Box("retain");
    if (retain->isChecked()) retain->click();
}

bool AutoProgressTest::StartRun() {
    page->Start();
    return WaitUntil([&] { return page->Running(); });
}

void AutoProgressTest::Sample() {
    std::vector<std::string> words;
    for (int i = 0; i < page->List().Size(); ++i)
        words.push_back(Status(i));
    if (samples.empty() || samples.back() != words) samples.push_back(std::move(words));
}

bool AutoProgressTest::WaitForFinish(std::chrono::milliseconds limit) {
    if (limit == std::chrono::milliseconds::zero()) limit = OneUpgrade() * static_cast<int>(fleet->Size());
    return WaitUntil(
        [&] {
            Sample();
            return std::find(modes.begin(), modes.end(), 4) != modes.end();
        },
        limit);
}

std::string AutoProgressTest::Status(int row) const {
    return page->List().Row(row).text[ProgressSlot::STATUS];
}

std::string AutoProgressTest::AddressOf(std::size_t camera) const {
    return fleet->At(camera).HostPort();
}

QCheckBox* AutoProgressTest::Box(const char* name) const {
    return page->findChild<QCheckBox*>(name);
}

std::string AutoProgressTest::SlotSha(int slot) const {
    const auto& bytes = *resources.slotData.at(slot);
    return sim::Sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace xqt::test

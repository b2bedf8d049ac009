#include "camera/ResourceState.h"

#include <cstdio>

#include "camera/BundleSignature.h"
#include "camera/FirmwareBundle.h"
#include "camera/PlaceholderGuard.h"
#include "platform/ResourceText.h"
#include "platform/Resources.h"

namespace xqt {

using platform::MbButtons;
using platform::MbIcon;
using platform::ResourceType;

namespace {

constexpr std::uint16_t TEXT_CANNOT_FIND = 138;
constexpr std::uint16_t TEXT_ERROR = 139;
constexpr std::size_t VERSION_LABEL_MAX = 63;

void ReportMissing(platform::MessageBoxes* owner) {
    if (owner)
        owner->Show(platform::TextOf(TEXT_CANNOT_FIND), platform::TextOf(TEXT_ERROR), MbButtons::Ok,
                    MbIcon::Stop);
}

// Splits NUL-terminated ANSI text into at most `maxRows` rows at CR (the LF after it is skipped)
// and stops at the first NUL. With `searchFromSecond`, a row's end is looked for from its second
// byte on, so a row never ends before it has begun.
std::vector<std::string> SplitRows(const std::vector<char>& buffer, int maxRows, bool searchFromSecond) {
    std::vector<std::string> rows;
    std::size_t pos = 0;
    const std::size_t n = buffer.size();  // buffer ends with an added NUL
    while (static_cast<int>(rows.size()) < maxRows && pos < n) {
        std::size_t end = pos + ((searchFromSecond && buffer[pos] != '\0') ? 1 : 0);
        while (end < n && buffer[end] != '\r' && buffer[end] != '\0')
            ++end;
        rows.emplace_back(buffer.begin() + static_cast<std::ptrdiff_t>(pos),
                          buffer.begin() + static_cast<std::ptrdiff_t>(end));
        if (end >= n || buffer[end] == '\0') break;
        pos = end + 2;
    }
    return rows;
}

std::vector<char> CopyWithNul(platform::ResourceBytes bytes) {
    std::vector<char> buffer(bytes.begin(), bytes.end());
    buffer.push_back('\0');
    return buffer;
}

}  // namespace

void ResourceState::BuildVersionLabel(platform::MessageBoxes* /*owner*/) {
    const auto& source = platform::Resources();
    auto translation = platform::QueryVersionTranslation(source);
    std::string prefix;
    if (translation) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "\\StringFileInfo\\%04X%04X\\", translation->language,
                      translation->codePage);
        prefix = buf;
    }
    versionLabel = "ver" + platform::LoadString(122);
    if (translation) {
        auto special = platform::QueryVersionString(source, prefix + "SpecialBuild");
        if (special && !special->empty()) versionLabel += *special;
        if (auto description = platform::QueryVersionString(source, prefix + "FileDescription"))
            provisionalTitle = *description;
    }
    if (versionLabel.size() > VERSION_LABEL_MAX) versionLabel.resize(VERSION_LABEL_MAX);
}

void ResourceState::LoadModelList(platform::MessageBoxes* owner) {
    modelNames.fill(std::nullopt);
    auto bytes = platform::Resources().Find(ResourceType::Bin, RES_MODEL_LIST, platform::LANG_NEUTRAL);
    if (!bytes) return ReportMissing(owner);
    auto rows = SplitRows(CopyWithNul(*bytes), MAX_MODEL_NAMES, true);
    for (std::size_t i = 0; i < rows.size(); ++i)
        modelNames[i] = rows[i];
}

void ResourceState::LoadSlotKeys(platform::MessageBoxes* owner) {
    slotKeys.fill(std::string());
    auto bytes = platform::Resources().Find(ResourceType::Bin, RES_SLOT_KEYS, platform::LANG_NEUTRAL);
    if (!bytes) return ReportMissing(owner);
    auto rows = SplitRows(CopyWithNul(*bytes), IMAGE_SLOTS, false);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string key = rows[i];
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        slotKeys[i] = key;
    }
}

void ResourceState::LoadFirmwareSlots(platform::MessageBoxes* owner) {
    for (int i = 0; i < IMAGE_SLOTS; ++i) {
        if (i > 0 && slotKeys[i].empty()) continue;
        auto bytes = platform::Resources().Find(
            ResourceType::Bin, static_cast<std::uint16_t>(RES_FIRST_IMAGE + i), platform::LANG_NEUTRAL);
        if (!bytes) return ReportMissing(owner);
        slotData[i] = std::make_shared<const std::vector<std::uint8_t>>(bytes->begin(), bytes->end());
        slotSize[i] = static_cast<std::uint32_t>(bytes->size());
        slotSha256[i] = Sha256Hex(*slotData[i]);
    }
}

void ResourceState::ApplyBundle(const FirmwareBundle& bundle) {
    const BundleManifest& manifest = bundle.manifest;
    versionLabel = "ver" + manifest.version;
    modelNames.fill(std::nullopt);
    for (std::size_t i = 0; i < manifest.models.size() && i < modelNames.size(); ++i)
        modelNames[i] = manifest.models[i];
    slotKeys.fill(std::string());
    slotData.fill(nullptr);
    slotSize.fill(0);
    slotSha256.fill(std::string());
    for (std::size_t i = 0; i < manifest.images.size() && i < bundle.images.size() && i < slotData.size();
         ++i) {
        slotKeys[i] = manifest.images[i].key;
        slotData[i] = bundle.images[i];
        slotSize[i] = static_cast<std::uint32_t>(bundle.images[i]->size());
        slotSha256[i] = manifest.images[i].sha256;
    }
    slotIndex = 0;
    bundlePath = bundle.path.string();
}

bool ResourceState::CarriesPlaceholder() const {
    for (const auto& image : slotData)
        if (image && IsPlaceholderImage(*image)) return true;
    return false;
}

void ResourceState::LoadAll(platform::MessageBoxes* owner) {
    BuildVersionLabel(owner);
    LoadModelList(owner);
    LoadSlotKeys(owner);
    LoadFirmwareSlots(owner);
}

int ResourceState::SelectSlot(const std::string& docType) {
    slotIndex = 0;
    for (int i = 0; i < IMAGE_SLOTS; ++i) {
        // A blank key marks an unused slot, loaded with no image: a camera that reports no DocType
        // must not be sent an empty image from it.
        if (i > 0 && slotKeys[i].empty()) continue;
        if (slotKeys[i] == docType) {
            slotIndex = i;
            break;
        }
    }
    return slotIndex;
}

ImageInfo ResourceState::GetImageInfo() const {
    return {versionLabel, slotData, slotSize};
}

std::string ResourceState::Banner() const {
    return modelNames[0].value_or(std::string()) + " " + versionLabel + " Firmware Upgrade";
}

std::string ResourceState::WindowTitle() const {
    return "Vexo " + Banner();
}

}  // namespace xqt

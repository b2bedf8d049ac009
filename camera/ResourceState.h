#pragma once
// The embedded resources the wizard holds for the life of the process: model list, image slots and
// their keys, and the version label. Loaded once on the UI thread during start-up, in the order
// BuildVersionLabel, LoadModelList, LoadSlotKeys, LoadFirmwareSlots; read-only afterwards, so
// sessions and discovery may read it from their threads.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/ModelList.h"
#include "platform/MessageBoxes.h"

namespace xqt {

struct FirmwareBundle;

inline constexpr int IMAGE_SLOTS = 5;
inline constexpr std::uint16_t RES_FIRST_IMAGE = 143;
inline constexpr std::uint16_t RES_MODEL_LIST = 146;
inline constexpr std::uint16_t RES_SLOT_KEYS = 353;

/// An image as sessions see it: shared, never copied per camera.
using ImageBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

/// What the automatic progress list needs to start upgrades itself.
struct ImageInfo {
    std::string versionLabel;
    std::array<ImageBytes, IMAGE_SLOTS> slotData;
    std::array<std::uint32_t, IMAGE_SLOTS> slotSize{};
};

class ResourceState {
  public:
    /// Reads the version information: sets the version label and the provisional window title.
    void BuildVersionLabel(platform::MessageBoxes* owner);
    void LoadModelList(platform::MessageBoxes* owner);
    void LoadSlotKeys(platform::MessageBoxes* owner);
    void LoadFirmwareSlots(platform::MessageBoxes* owner);
    /// All four loaders in their fixed order.
    void LoadAll(platform::MessageBoxes* owner);

    /// Replaces the version label, the model list, the slot keys and the images with a checked
    /// bundle's (LoadFirmwareBundle), for the rest of the run. Everything else stays embedded.
    void ApplyBundle(const FirmwareBundle& bundle);
    /// True when any loaded slot holds the build's placeholder image, which only loopback
    /// cameras may receive (PlaceholderGuard.h).
    [[nodiscard]] bool CarriesPlaceholder() const;

    /// Slot whose key equals the camera's DocType text exactly; 0 when none does.
    int SelectSlot(const std::string& docType);

    ImageInfo GetImageInfo() const;
    /// "XQT-TR60 ver1.23 Firmware Upgrade" for the delivered resources.
    [[nodiscard]] std::string Banner() const;
    /// "Vexo " + banner.
    [[nodiscard]] std::string WindowTitle() const;

    ModelList modelNames;
    std::array<std::string, IMAGE_SLOTS> slotKeys;
    std::array<ImageBytes, IMAGE_SLOTS> slotData;
    std::array<std::uint32_t, IMAGE_SLOTS> slotSize{};
    int slotIndex = 0;
    /// SHA-256 of each loaded slot's image (64 hexadecimal digits), for reports.
    std::array<std::string, IMAGE_SLOTS> slotSha256;
    std::string versionLabel;  ///< at most 63 characters
    /// The bundle the images came from; empty for the embedded images.
    std::string bundlePath;
    std::string provisionalTitle;
};

}  // namespace xqt

#pragma once
// Lookup of the program's embedded resources by type, id and language, standing in for the
// system's find/load/lock/size calls. The executables install their linked-in table once at start
// (UseResources(EmbeddedResources())); tests install a MemoryResources of their own. Lookups are
// read-only and may come from any thread once start-up is over.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace xqt::platform {

enum class ResourceType : std::uint16_t { Bin, String, Version, Icon, Bitmap };

inline constexpr std::uint16_t LANG_NEUTRAL = 0;
inline constexpr std::uint16_t LANG_EN_US = 1033;

using ResourceBytes = std::span<const std::uint8_t>;

class ResourceSource {
  public:
    virtual ~ResourceSource() = default;
    /// Bytes of one resource: the exact language when present, else any language of that id.
    [[nodiscard]] virtual std::optional<ResourceBytes> Find(ResourceType type, std::uint16_t id,
                                                            std::uint16_t lang = LANG_NEUTRAL) const = 0;
};

/// A resource table held in memory; used by tests to stand in for the linked-in resources.
class MemoryResources : public ResourceSource {
  public:
    void Add(ResourceType type, std::uint16_t id, std::uint16_t lang, std::vector<std::uint8_t> bytes);
    void AddText(std::uint16_t id, const std::string& utf8, bool withNul = true);  ///< BIN text, stored form
    void AddString(std::uint16_t id, const std::string& utf8);                     ///< string-table entry
    void Remove(ResourceType type, std::uint16_t id);
    [[nodiscard]] std::optional<ResourceBytes> Find(ResourceType type, std::uint16_t id,
                                                    std::uint16_t lang) const override;

  private:
    std::map<std::tuple<ResourceType, std::uint16_t, std::uint16_t>, std::vector<std::uint8_t>> entries_;
};

/// The table linked into the executable (library xqt_resources).
const ResourceSource& EmbeddedResources();

/// The source every loader reads. Set once at start, before other threads run.
void UseResources(const ResourceSource& source);
const ResourceSource& Resources();

/// Entry of the string table as UTF-8, or empty when absent.
[[nodiscard]] std::string LoadString(std::uint16_t id);

/// What `--version` prints for `program`: its own version (version information) and the version of
/// the firmware image it carries (string 122), one per line, from the resources in use.
[[nodiscard]] std::string VersionText(const std::string& program);

/// The stored form of a BIN text: byte-order mark FF FE, UTF-16LE text, optionally one NUL unit.
std::vector<std::uint8_t> EncodeBinText(const std::string& utf8, bool withNul);

/// Version information: the first translation pair and string values by their full query path
/// ("\StringFileInfo\040904B0\FileDescription"). The stored form is "key=value" lines, the
/// translation as "Translation=0409 04B0".
struct VersionTranslation {
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
};
[[nodiscard]] std::optional<VersionTranslation> QueryVersionTranslation(const ResourceSource& source);
[[nodiscard]] std::optional<std::string> QueryVersionString(const ResourceSource& source,
                                                            const std::string& path);

}  // namespace xqt::platform

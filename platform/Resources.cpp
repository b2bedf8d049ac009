#include "platform/Resources.h"

#include <atomic>

#include "platform/TextCodec.h"

namespace xqt::platform {

namespace {
const MemoryResources& EmptyResources() {
    static const MemoryResources empty;
    return empty;
}
std::atomic<const ResourceSource*> g_source{nullptr};
}  // namespace

void MemoryResources::Add(ResourceType type, std::uint16_t id, std::uint16_t lang,
                          std::vector<std::uint8_t> bytes) {
    entries_[{type, id, lang}] = std::move(bytes);
}

void MemoryResources::AddText(std::uint16_t id, const std::string& utf8, bool withNul) {
    Add(ResourceType::Bin, id, LANG_EN_US, EncodeBinText(utf8, withNul));
}

void MemoryResources::AddString(std::uint16_t id, const std::string& utf8) {
    Add(ResourceType::String, id, LANG_EN_US, std::vector<std::uint8_t>(utf8.begin(), utf8.end()));
}

void MemoryResources::Remove(ResourceType type, std::uint16_t id) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (std::get<0>(it->first) == type && std::get<1>(it->first) == id)
            it = entries_.erase(it);
        else
            ++it;
    }
}

std::optional<ResourceBytes> MemoryResources::Find(ResourceType type, std::uint16_t id,
                                                   std::uint16_t lang) const {
    if (auto it = entries_.find({type, id, lang}); it != entries_.end()) return ResourceBytes(it->second);
    for (const auto& [key, bytes] : entries_)
        if (std::get<0>(key) == type && std::get<1>(key) == id) return ResourceBytes(bytes);
    return std::nullopt;
}

void UseResources(const ResourceSource& source) {
    g_source.store(&source);
}

const ResourceSource& Resources() {
    const ResourceSource* s = g_source.load();
    return s ? *s : EmptyResources();
}

std::string LoadString(std::uint16_t id) {
    auto bytes = Resources().Find(ResourceType::String, id, LANG_EN_US);
    if (!bytes) return {};
    return std::string(bytes->begin(), bytes->end());
}

std::vector<std::uint8_t> EncodeBinText(const std::string& utf8, bool withNul) {
    std::u16string units = Utf8ToUtf16(utf8);
    if (withNul) units.push_back(u'\0');
    std::vector<std::uint8_t> out{0xFF, 0xFE};
    out.reserve(2 + units.size() * 2);
    for (char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

namespace {
std::optional<std::string> VersionValue(const ResourceSource& source, const std::string& key) {
    auto bytes = source.Find(ResourceType::Version, 1, LANG_EN_US);
    if (!bytes) return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t eq = line.find('=');
        if (eq != std::string::npos && line.compare(0, eq, key) == 0 && eq == key.size())
            return line.substr(eq + 1);
        pos = end + 1;
    }
    return std::nullopt;
}
}  // namespace

std::optional<VersionTranslation> QueryVersionTranslation(const ResourceSource& source) {
    auto value = VersionValue(source, "Translation");
    if (!value || value->size() != 9 || (*value)[4] != ' ') return std::nullopt;
    try {
        VersionTranslation t;
        t.language = static_cast<std::uint16_t>(std::stoul(value->substr(0, 4), nullptr, 16));
        t.codePage = static_cast<std::uint16_t>(std::stoul(value->substr(5, 4), nullptr, 16));
        return t;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string VersionText(const std::string& program) {
    const auto own = QueryVersionString(Resources(), "\\StringFileInfo\\040904B0\\FileVersion");
    return program + " " + own.value_or("unknown") + "\nfirmware image " + LoadString(122);
}

std::optional<std::string> QueryVersionString(const ResourceSource& source, const std::string& path) {
    // "\StringFileInfo\040904B0\Name" is stored under "040904B0.Name".
    static const std::string prefix = "\\StringFileInfo\\";
    if (path.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::string rest = path.substr(prefix.size());
    std::size_t sep = rest.find('\\');
    if (sep == std::string::npos) return std::nullopt;
    return VersionValue(source, rest.substr(0, sep) + "." + rest.substr(sep + 1));
}

}  // namespace xqt::platform

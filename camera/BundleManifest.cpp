#include "camera/BundleManifest.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <vector>

#include "camera/ModelList.h"
#include "camera/ResourceState.h"

namespace xqt {

namespace {

using nlohmann::json;

struct Fault {
    std::string text;
};

[[noreturn]] void Refuse(std::string text) {
    throw Fault{std::move(text)};
}

// Printable ASCII only: these texts go to the camera's and the report's 8-bit world unchanged.
bool IsPrintable(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// A text from the manifest as a message may show it: at most 40 bytes, each outside printable ASCII
// as '?', so that it cannot steer the terminal.
std::string Shown(std::string text) {
    if (text.size() > 40) text = text.substr(0, 40) + "...";
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return text;
}

const json& Member(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end()) Refuse(std::string("\"") + name + "\" is missing");
    return *it;
}

std::string Text(const json& value, const std::string& what) {
    if (!value.is_string()) Refuse(what + " is not a text");
    return value.get<std::string>();
}

void CheckVersion(const std::string& version) {
    if (version.empty()) Refuse("\"version\" is empty");
    if (version.size() > BUNDLE_VERSION_MAX)
        Refuse("\"version\" is longer than " + std::to_string(BUNDLE_VERSION_MAX) + " characters");
    if (version.front() < '0' || version.front() > '9') Refuse("\"version\" does not start with a digit");
    for (char c : version) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        c == '.' || c == '-' || c == '_';
        if (!ok) Refuse("\"version\" may hold only letters, digits, '.', '-' and '_'");
    }
}

void CheckName(const std::string& text, const std::string& what, bool mayBeEmpty) {
    if (text.empty() && !mayBeEmpty) Refuse(what + " is empty");
    if (text.size() > BUNDLE_TEXT_MAX)
        Refuse(what + " is longer than " + std::to_string(BUNDLE_TEXT_MAX) + " characters");
    if (!IsPrintable(text)) Refuse(what + " holds characters other than printable ASCII");
    if (!text.empty() && (text.front() == ' ' || text.back() == ' '))
        Refuse(what + " starts or ends with a blank");
}

// A relative path whose every part is a plain name: it cannot leave the bundle by its text.
void CheckFilePath(const std::string& file, const std::string& what) {
    if (file.empty()) Refuse(what + " is empty");
    if (file.size() > 255) Refuse(what + " is longer than 255 characters");
    if (!IsPrintable(file) || file.find('\\') != std::string::npos)
        Refuse(what + " holds characters other than printable ASCII or a backslash");
    if (file.front() == '/') Refuse(what + " is an absolute path");
    std::size_t start = 0;
    while (start <= file.size()) {
        const std::size_t end = std::min(file.find('/', start), file.size());
        const std::string_view part(file.data() + start, end - start);
        if (part == "..") Refuse(what + " leaves the bundle (\"..\")");
        if (part.empty() || part == ".") Refuse(what + " has an empty or \".\" part");
        start = end + 1;
    }
    if (file == "manifest.json" || file == "manifest.json.sig") Refuse(what + " names the manifest");
}

bool IsLowerHex(std::string_view text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

void OnlyKnown(const json& object, std::initializer_list<const char*> names, const std::string& where) {
    for (const auto& [name, value] : object.items()) {
        bool known = false;
        for (const char* n : names)
            known = known || name == n;
        if (!known) Refuse(where + " has an unknown field \"" + Shown(name) + "\"");
    }
}

ManifestImage ReadImage(const json& entry, std::size_t index) {
    const std::string where = "image " + std::to_string(index + 1);
    if (!entry.is_object()) Refuse(where + " is not an object");
    OnlyKnown(entry, {"key", "file", "size", "sha256"}, where);
    ManifestImage image;
    image.key = Text(Member(entry, "key"), where + "'s \"key\"");
    CheckName(image.key, where + "'s \"key\"", index == 0);
    image.file = Text(Member(entry, "file"), where + "'s \"file\"");
    CheckFilePath(image.file, where + "'s \"file\"");
    const json& size = Member(entry, "size");
    if (!size.is_number_unsigned()) Refuse(where + "'s \"size\" is not a whole number");
    image.size = size.get<std::uint64_t>();
    if (image.size == 0 || image.size > BUNDLE_IMAGE_MAX_BYTES)
        Refuse(where + "'s \"size\" is not from 1 byte to 64 MiB");
    image.sha256 = Text(Member(entry, "sha256"), where + "'s \"sha256\"");
    if (image.sha256.size() != 64 || !IsLowerHex(image.sha256))
        Refuse(where + "'s \"sha256\" is not 64 lower-case hexadecimal digits");
    return image;
}

BundleManifest Read(std::string_view text) {
    if (text.size() > MANIFEST_MAX_BYTES)
        Refuse("manifest.json is larger than " + std::to_string(MANIFEST_MAX_BYTES / 1024) + " KiB");
    // A JSON reader keeps one of two equal keys, and which one differs between readers: a manifest
    // that gives a key twice could read one way here and another way to whoever checked it.
    std::vector<std::set<std::string>> objects;
    std::optional<std::string> repeated;
    const json::parser_callback_t onEvent = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) objects.emplace_back();
        if (event == json::parse_event_t::object_end && !objects.empty()) objects.pop_back();
        if (event == json::parse_event_t::key && !objects.empty() && parsed.is_string() &&
            !objects.back().insert(parsed.get<std::string>()).second && !repeated)
            repeated = parsed.get<std::string>();
        return true;
    };
    json root = json::parse(text, onEvent, false);
    if (root.is_discarded()) Refuse("manifest.json is not valid JSON");
    if (repeated) Refuse("manifest.json gives the field \"" + Shown(*repeated) + "\" twice in one object");
    if (!root.is_object()) Refuse("manifest.json is not a JSON object");
    OnlyKnown(root, {"format", "version", "released", "notes", "models", "images"}, "manifest.json");
    BundleManifest manifest;
    const json& format = Member(root, "format");
    if (!format.is_number_integer() || format.get<std::int64_t>() != 1)
        Refuse("\"format\" is not 1 (this tool reads format 1)");
    manifest.version = Text(Member(root, "version"), "\"version\"");
    CheckVersion(manifest.version);
    if (root.contains("released")) {
        manifest.released = Text(root["released"], "\"released\"");
        CheckName(manifest.released, "\"released\"", true);
    }
    if (root.contains("notes")) {
        manifest.notes = Text(root["notes"], "\"notes\"");
        if (manifest.notes.size() > BUNDLE_NOTES_MAX) Refuse("\"notes\" is longer than 4096 bytes");
    }
    const json& models = Member(root, "models");
    if (!models.is_array() || models.empty()) Refuse("\"models\" is not a list of at least one name");
    if (models.size() > MAX_MODEL_NAMES)
        Refuse("\"models\" names more than " + std::to_string(MAX_MODEL_NAMES) + " models");
    std::set<std::string> seenModels;
    for (std::size_t i = 0; i < models.size(); ++i) {
        const std::string what = "model " + std::to_string(i + 1);
        std::string name = Text(models[i], what);
        CheckName(name, what, false);
        if (!seenModels.insert(name).second) Refuse("model \"" + name + "\" is named twice");
        manifest.models.push_back(std::move(name));
    }
    const json& images = Member(root, "images");
    if (!images.is_array() || images.empty()) Refuse("\"images\" is not a list of at least one image");
    if (images.size() > IMAGE_SLOTS)
        Refuse("\"images\" lists more than " + std::to_string(IMAGE_SLOTS) + " images");
    std::set<std::string> seenKeys;
    for (std::size_t i = 0; i < images.size(); ++i) {
        ManifestImage image = ReadImage(images[i], i);
        if (!seenKeys.insert(image.key).second) Refuse("the key \"" + image.key + "\" is given twice");
        manifest.images.push_back(std::move(image));
    }
    return manifest;
}

}  // namespace

ManifestRead ParseManifest(std::string_view text) {
    try {
        return {Read(text), {}};
    } catch (const Fault& fault) {
        return {std::nullopt, fault.text};
    } catch (const json::exception& e) {
        return {std::nullopt, std::string("manifest.json: ") + e.what()};
    }
}

std::string WriteManifest(const BundleManifest& manifest) {
    json root = json::object();
    root["format"] = manifest.format;
    root["version"] = manifest.version;
    if (!manifest.released.empty()) root["released"] = manifest.released;
    if (!manifest.notes.empty()) root["notes"] = manifest.notes;
    root["models"] = manifest.models;
    json images = json::array();
    for (const auto& image : manifest.images)
        images.push_back(
            {{"key", image.key}, {"file", image.file}, {"size", image.size}, {"sha256", image.sha256}});
    root["images"] = std::move(images);
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace xqt

// Where saved configurations go: the base folder the environment names, the dated folder, and a
// file name that is safe whatever the camera reports.
#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "camera/ConfigStore.h"

namespace xqt {

namespace {

constexpr std::size_t NAME_PART_MAX = 64;

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return {};
    std::string text(value);
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

std::string HomeFolder() {
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty()) return home;
    std::vector<char> scratch(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, scratch.data(), scratch.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

// Letters, digits, "-", "_" and "." pass; every other character (one UTF-8 sequence counts as one)
// becomes "_". Returns whether anything was replaced or cut.
bool CleanNamePart(std::string_view text, std::string& out) {
    bool changed = false;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (kept == NAME_PART_MAX) return true;
        if (std::isalnum(c) && c < 0x80) {
            out += static_cast<char>(c);
        } else if (c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '_';
            changed = true;
            if (c >= 0xC0) {
                while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80)
                    ++i;
            }
        }
        ++kept;
    }
    return changed;
}

std::uint32_t Fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace

std::string ConfigBaseFolder() {
    if (std::string base = AbsoluteEnv("ProgramFiles"); !base.empty()) return base;
    if (std::string base = AbsoluteEnv("XDG_DATA_HOME"); !base.empty()) return base;
    std::string home = HomeFolder();
    if (home.empty()) return {};
    if (home.back() != '/') home += '/';
    return home + ".local/share";
}

std::string ConfigFolderFor(std::chrono::system_clock::time_point timeStamp) {
    std::string base = ConfigBaseFolder();
    if (base.empty()) return {};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(timeStamp);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[16];
    std::strftime(stamp, sizeof(stamp), "%y%m%d%H%M", &local);
    if (base.back() != '/') base += '/';
    return base + std::string(CONFIGURATIONS_TAIL) + "/" + stamp;
}

std::string SafeConfigFileName(std::string_view model, std::string_view serial) {
    std::string lower;
    for (char c : model)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string name;
    CleanNamePart(lower, name);
    name += '.';
    std::string cleanSerial;
    if (CleanNamePart(serial, cleanSerial)) {
        char hash[16];
        std::snprintf(hash, sizeof(hash), "~%08x", static_cast<unsigned>(Fnv1a(serial)));
        cleanSerial += hash;
    }
    return name + cleanSerial + ".cfg";
}

}  // namespace xqt

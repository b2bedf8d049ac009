#include "camera/BundleWriter.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/AtomicFile.h"

namespace xqt {

namespace fs = std::filesystem;

namespace {

// One ustar header block: regular file, mode 0644, owner 0, time 0, so a bundle packs the same twice.
std::array<char, 512> TarHeader(const std::string& name, std::uint64_t size) {
    std::array<char, 512> h{};
    std::memcpy(h.data(), name.data(), std::min<std::size_t>(name.size(), 100));
    std::snprintf(h.data() + 100, 8, "%07o", 0644);
    std::snprintf(h.data() + 108, 8, "%07o", 0);
    std::snprintf(h.data() + 116, 8, "%07o", 0);
    std::snprintf(h.data() + 124, 12, "%011llo", static_cast<unsigned long long>(size));
    std::snprintf(h.data() + 136, 12, "%011o", 0);
    h[156] = '0';
    std::memcpy(h.data() + 257, "ustar", 6);
    std::memcpy(h.data() + 263, "00", 2);
    std::memset(h.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (char c : h)
        sum += static_cast<unsigned char>(c);
    std::snprintf(h.data() + 148, 8, "%06o", sum);
    h[155] = ' ';
    return h;
}

std::string_view View(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The archive appears whole or not at all: a full disk or a signal leaves no part of it behind.
Result<void> WriteTar(const fs::path& target, const BundleFiles& files) {
    platform::AtomicFile out;
    int error = out.Create(target.string(), 0644);
    for (auto it = files.begin(); error == 0 && it != files.end(); ++it) {
        const auto& [name, bytes] = *it;
        const auto header = TarHeader(name, bytes.size());
        error = out.Write({header.data(), header.size()});
        if (error == 0) error = out.Write(View(bytes));
        if (error == 0) error = out.Write(std::string((512 - bytes.size() % 512) % 512, '\0'));
    }
    if (error == 0) error = out.Write(std::string(1024, '\0'));
    if (error == 0) error = out.Close();
    if (error == 0) error = out.Replace();
    if (error != 0) return Fail("cannot write " + target.string() + ": " + std::strerror(error));
    return Done();
}

Result<void> WriteFolder(const fs::path& target, const BundleFiles& files) {
    std::error_code ec;
    if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec))) {
        return Fail(target.string() + " exists and is not an empty folder");
    }
    fs::create_directories(target, ec);
    if (ec) {
        return Fail("cannot make " + target.string() + ": " + ec.message());
    }
    for (const auto& [name, bytes] : files) {
        const std::string path = (target / name).string();
        if (const int error = platform::ReplaceFile(path, View(bytes), 0644); error != 0) {
            return Fail("cannot write " + path + ": " + std::strerror(error));
        }
    }
    return Done();
}

}  // namespace

Result<void> WriteBundle(const fs::path& target, const BundleFiles& files) {
    for (const auto& file : files) {
        if (file.first.empty() || file.first.size() > 100) {
            return Fail("a file name in a bundle has 1 to 100 bytes: " + file.first);
        }
    }
    const bool tar = target.extension() == ".tar" || target.extension() == ".xqtfw";
    return tar ? WriteTar(target, files) : WriteFolder(target, files);
}

}  // namespace xqt

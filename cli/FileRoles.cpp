#include "cli/FileRoles.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "cli/BatchOptions.h"
#include "cli/UpgradeRun.h"
#include "fleet/UpgradeHistory.h"

namespace xqt::cli {

namespace {

namespace fs = std::filesystem;

struct Identity {
    fs::path resolved;                                   ///< absolute, links of what exists resolved
    std::optional<std::pair<dev_t, ino_t>> deviceInode;  ///< when the file exists
};

Identity IdentityOf(const std::string& path) {
    Identity identity;
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    identity.resolved = fs::weakly_canonical(absolute, ec);
    if (ec) identity.resolved = absolute.lexically_normal();
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) identity.deviceInode = std::make_pair(info.st_dev, info.st_ino);
    return identity;
}

bool Same(const Identity& a, const Identity& b) {
    return a.resolved == b.resolved || (a.deviceInode && a.deviceInode == b.deviceInode);
}

bool Allowed(const std::vector<std::pair<std::string, std::string>>& allowed, const std::string& a,
             const std::string& b) {
    return std::any_of(allowed.begin(), allowed.end(), [&](const auto& pair) {
        return (pair.first == a && pair.second == b) || (pair.first == b && pair.second == a);
    });
}

void AddKeys(std::vector<FileRole>& files, const FirmwareOptions& firmware) {
    files.push_back({"--firmware", firmware.bundle});
    for (const std::string& key : firmware.trustedKeys)
        files.push_back({"--trusted-key", key});
}

}  // namespace

Result<void> RefuseSharedFiles(const std::vector<FileRole>& files,
                               const std::vector<std::pair<std::string, std::string>>& allowed) {
    std::vector<std::pair<const FileRole*, Identity>> seen;
    for (const FileRole& file : files) {
        if (file.path.empty() || file.path == "-") continue;
        Identity identity = IdentityOf(file.path);
        for (const auto& [earlier, earlierIdentity] : seen) {
            if (!Same(earlierIdentity, identity) || Allowed(allowed, earlier->option, file.option)) continue;
            const std::string where =
                earlier->path == file.path ? file.path : earlier->path + " is " + file.path;
            return Fail(earlier->option + " and " + file.option + " name the same file (" + where +
                        "); give each its own");
        }
        seen.emplace_back(&file, std::move(identity));
    }
    return Done();
}

Result<void> RefuseSharedFiles(const batch::BatchOptions& options) {
    std::vector<FileRole> files{
        {"--targets", options.targets},         {"--password-file", options.passwordFile},
        {"--credentials", options.credentials}, {"--resume", options.resume},
        {"--report", options.report},           {"--csv", options.csv}};
    AddKeys(files, options.firmware);
    // A resumed run rewrites the report it resumes from, which keeps every row it read.
    return RefuseSharedFiles(files, {{"--resume", "--report"}, {"--trusted-key", "--trusted-key"}});
}

Result<void> RefuseSharedFiles(const upgrade::UpgradeOptions& options) {
    std::vector<FileRole> files{{"--password-file", options.passwordFile}};
    AddKeys(files, options.firmware);
    files.push_back({"the upgrade history", HistoryPath()});
    return RefuseSharedFiles(files, {{"--trusted-key", "--trusted-key"}});
}

}  // namespace xqt::cli

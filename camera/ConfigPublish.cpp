#include "camera/ConfigPublish.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "camera/ConfigStore.h"

namespace xqt::detail {

std::string ErrnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

std::string SuffixedPath(const std::string& plain, int n) {
    if (n <= 1) return plain;
    const std::string suffix = "-" + std::to_string(n);
    constexpr std::string_view CFG = ".cfg";
    if (plain.size() >= CFG.size() && plain.compare(plain.size() - CFG.size(), CFG.size(), CFG) == 0)
        return plain.substr(0, plain.size() - CFG.size()) + suffix + std::string(CFG);
    return plain + suffix;
}

Result<void> TempFile::Create(const std::string& finalPath) {
    if (const int failure = file_.Create(finalPath, S_IRUSR | S_IWUSR))
        return Fail(
            ErrnoText("cannot create a file in " + finalPath.substr(0, finalPath.rfind('/')), failure));
    return Done();
}

Result<void> TempFile::Write(const char* data, std::size_t size) {
    if (const int failure = file_.Write(std::string_view(data, size)))
        return Fail(ErrnoText("cannot write the configuration file", failure));
    return Done();
}

Result<PublishedFile> TempFile::Commit(const std::string& plainPath) {
    PublishedFile published;
    if (const int failure = file_.Close(&published.info))
        return Fail(ErrnoText("cannot write the configuration file", failure));
    for (int n = 1; n <= SAVED_NAME_SUFFIX_MAX; ++n) {
        std::string candidate = SuffixedPath(plainPath, n);
        const int result = file_.PublishAs(candidate);
        if (result == EEXIST) continue;
        if (result != 0) return Fail(ErrnoText("cannot save " + candidate, result));
        published.path = std::move(candidate);
        return published;
    }
    return Fail("cannot save " + plainPath + ": every name up to -" + std::to_string(SAVED_NAME_SUFFIX_MAX) +
                " is taken");
}

Result<void> CreateFolders(const std::string& path, std::vector<std::string>* created) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (prefix.back() == '/') continue;  // "//" in the path
        struct stat info {};
        if (::stat(prefix.c_str(), &info) != 0) {
            if (::mkdir(prefix.c_str(), S_IRWXU) == 0) {
                if (created) created->push_back(prefix);
            } else if (errno != EEXIST) {
                return Fail(ErrnoText("cannot create the folder " + prefix, errno));
            }
            if (::stat(prefix.c_str(), &info) != 0) {
                return Fail(ErrnoText("cannot create the folder " + prefix, errno));
            }
        }
        if (!S_ISDIR(info.st_mode)) {
            return Fail("cannot create the folder " + prefix + ": a file of that name is in the way");
        }
    }
    return Done();
}

}  // namespace xqt::detail

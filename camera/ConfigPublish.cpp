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

bool TempFile::Create(const std::string& finalPath, std::string& error) {
    if (const int failure = file_.Create(finalPath, S_IRUSR | S_IWUSR)) {
        error = ErrnoText("cannot create a file in " + finalPath.substr(0, finalPath.rfind('/')), failure);
        return false;
    }
    return true;
}

bool TempFile::Write(const char* data, std::size_t size, std::string& error) {
    if (const int failure = file_.Write(std::string_view(data, size))) {
        error = ErrnoText("cannot write the configuration file", failure);
        return false;
    }
    return true;
}

bool TempFile::Commit(const std::string& plainPath, std::string& published, struct stat& info,
                      std::string& error) {
    if (const int failure = file_.Close(&info)) {
        error = ErrnoText("cannot write the configuration file", failure);
        return false;
    }
    for (int n = 1; n <= SAVED_NAME_SUFFIX_MAX; ++n) {
        const std::string candidate = SuffixedPath(plainPath, n);
        const int result = file_.PublishAs(candidate);
        if (result == EEXIST) continue;
        if (result != 0) {
            error = ErrnoText("cannot save " + candidate, result);
            return false;
        }
        published = candidate;
        return true;
    }
    error = "cannot save " + plainPath + ": every name up to -" + std::to_string(SAVED_NAME_SUFFIX_MAX) +
            " is taken";
    return false;
}

bool CreateFolders(const std::string& path, std::string& error, std::vector<std::string>* created) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (prefix.back() == '/') continue;  // "//" in the path
        struct stat info {};
        if (::stat(prefix.c_str(), &info) != 0) {
            if (::mkdir(prefix.c_str(), S_IRWXU) == 0) {
                if (created) created->push_back(prefix);
            } else if (errno != EEXIST) {
                error = ErrnoText("cannot create the folder " + prefix, errno);
                return false;
            }
            if (::stat(prefix.c_str(), &info) != 0) {
                error = ErrnoText("cannot create the folder " + prefix, errno);
                return false;
            }
        }
        if (!S_ISDIR(info.st_mode)) {
            error = "cannot create the folder " + prefix + ": a file of that name is in the way";
            return false;
        }
    }
    return true;
}

}  // namespace xqt::detail

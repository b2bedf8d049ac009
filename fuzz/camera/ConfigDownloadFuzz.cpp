// Any bytes a camera may answer the configuration download with: a saved configuration is never
// empty, never holds the page marker, is exactly what the body carried and can be read back and
// removed; a refused one leaves nothing in the dated folder.
#include <dirent.h>
#include <stdlib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "camera/ConfigStore.h"
#include "fuzz/support/CannedPeer.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// Entries of `folder` other than "." and ".."; 0 when it does not exist.
int EntriesIn(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        count += name != "." && name != "..";
    }
    ::closedir(dir);
    return count;
}

const std::string& Base() {
    static const std::string base = [] {
        std::string pattern = "/tmp/xqt-fuzz-config-XXXXXX";
        Require(::mkdtemp(pattern.data()) != nullptr);
        ::setenv("ProgramFiles", pattern.c_str(), 1);
        return pattern;
    }();
    return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static xqt::fuzz::CannedPeer peer;
    Base();
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    peer.SetAnswer(answer);

    const auto stamp = std::chrono::system_clock::from_time_t(1796565900);
    xqt::ConfigStore store(peer.HostPort(), "/home/l4/xqt-tr60.cfg", "YWRtaW46YWRtaW4=", stamp, "XQT-TR60",
                           "1000001", 1, std::chrono::milliseconds(2000));
    const std::string folder = store.localPath.substr(0, store.localPath.rfind('/'));
    if (!store.Download()) {
        Require(!store.errorText.empty());
        Require(EntriesIn(folder) == 0);  // no partial file, no temporary
        return 0;
    }
    Require(store.byteCount > 0 && store.byteCount <= xqt::CONFIG_SIZE_LIMIT);
    Require(store.byteCount <= size);
    std::vector<std::uint8_t> saved(store.byteCount);
    Require(store.ReadBack(saved));
    const std::string_view text(reinterpret_cast<const char*>(saved.data()), saved.size());
    Require(text.find(xqt::HTML_MARKER) == std::string_view::npos);
    store.restored = true;
    Require(store.RemoveFile());
    Require(EntriesIn(folder) == 0);
    return 0;
}

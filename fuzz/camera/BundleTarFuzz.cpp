// Any bytes as a firmware bundle's tar file. The lister must never crash or hang, and what it takes
// must keep the promises the bundle reader relies on: every member lies inside the file, and every
// name is relative, without "..", "." or empty parts, so it names what tar would unpack.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "camera/BundleTar.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const auto index = xqt::IndexTar(in, size);
    if (!index) {
        Require(!index.error().empty());
        return 0;
    }
    Require(index->size() <= xqt::TAR_MAX_MEMBERS);
    for (const auto& [name, member] : *index) {
        Require(member.offset % 512 == 0 && member.offset <= size && member.size <= size - member.offset);
        Require(!name.empty() || member.type == '5');
        std::size_t start = 0;
        while (!name.empty() && start <= name.size()) {
            const std::size_t end = std::min(name.find('/', start), name.size());
            const std::string_view part(name.data() + start, end - start);
            Require(!part.empty() && part != "." && part != "..");
            start = end + 1;
        }
    }
    return 0;
}

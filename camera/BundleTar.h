#pragma once
// The members of a bundle's uncompressed tar file (POSIX ustar, or GNU tar's own format), listed so
// that every member name means to this reader exactly what it means to `tar xf`. Whatever could make
// the two disagree is refused rather than interpreted: pax headers that rename a member or change its
// size ('x' or 'g' records path, linkpath, size, GNU.sparse.*), GNU long names ('L', 'K'), numbers
// not in octal, a name that is absolute or has a ".." part, and a name given twice (after "." and
// empty parts are dropped, as tar drops them). Other pax records (times, owners) are skipped. Reads
// only the header blocks; any thread; no state.

#include <cstdint>
#include <istream>
#include <map>
#include <string>

#include "platform/Result.h"

namespace xqt {

/// Members a bundle's tar file may hold at most.
inline constexpr std::size_t TAR_MAX_MEMBERS = 4096;

struct TarMember {
    char type = '0';           ///< the header's type flag: '0' or '\0' a regular file, '5' a folder, …
    std::uint64_t offset = 0;  ///< where the member's data starts in the file
    std::uint64_t size = 0;
};

/// Members by their name without "./", "." or empty parts and without a trailing '/'.
using TarIndex = std::map<std::string, TarMember>;

/// Lists the members of the tar file of `total` bytes open in `in`; the reason when it is not a tar
/// file this reader takes.
[[nodiscard]] Result<TarIndex> IndexTar(std::istream& in, std::uint64_t total);

}  // namespace xqt

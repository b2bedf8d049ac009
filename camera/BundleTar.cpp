#include "camera/BundleTar.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace xqt {

namespace {

constexpr std::size_t BLOCK = 512;
// Far more than the times and owners GNU tar writes into a pax header.
constexpr std::uint64_t PAX_HEADER_MAX = 64 * 1024;

using Header = std::array<unsigned char, BLOCK>;

bool ReadAt(std::istream& in, std::uint64_t offset, std::size_t size, void* into) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(static_cast<char*>(into), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

// A number field: blanks, octal digits, then only NUL or blanks. GNU tar's base-256 form and any
// other text are refused: this reader would take them for another number than tar does.
Result<std::uint64_t> Octal(const unsigned char* field, std::size_t width) {
    std::size_t i = 0;
    while (i < width && field[i] == ' ')
        ++i;
    const std::size_t first = i;
    std::uint64_t value = 0;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (value >> 60) return Fail("a number in the bundle's tar file is too large");
        value = value * 8 + (field[i] - '0');
    }
    const bool ends =
        std::all_of(field + i, field + width, [](unsigned char c) { return c == 0 || c == ' '; });
    if (i == first || !ends) return Fail("a number in the bundle's tar file is not in octal");
    return value;
}

bool ChecksumMatches(const Header& header, std::uint64_t stored) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < BLOCK; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : header[i];
    return stored == sum;
}

std::string Field(const unsigned char* field, std::size_t width) {
    std::size_t n = 0;
    while (n < width && field[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

// The name as tar extracts it: "." and empty parts dropped; refused when it could land outside the
// folder it is unpacked into.
Result<std::string> Normal(const std::string& raw) {
    if (raw.starts_with('/')) return Fail("the bundle's tar file holds a member with an absolute name");
    std::string name;
    std::size_t start = 0;
    while (start <= raw.size()) {
        const std::size_t end = std::min(raw.find('/', start), raw.size());
        const std::string_view part(raw.data() + start, end - start);
        if (part == "..") return Fail("the bundle's tar file holds a member whose name has a \"..\" part");
        if (!part.empty() && part != ".") {
            if (!name.empty()) name += '/';
            name += part;
        }
        start = end + 1;
    }
    return name;
}

// The name field, with the prefix in front in a POSIX header ("ustar\0"); GNU headers ("ustar  ")
// keep other data there, which tar does not read as a name.
std::string RawName(const Header& header) {
    std::string name = Field(header.data(), 100);
    if (std::memcmp(header.data() + 257, "ustar\0", 6) == 0) {
        const std::string prefix = Field(header.data() + 345, 155);
        if (!prefix.empty()) name = prefix + "/" + name;
    }
    return name;
}

// Records ("LENGTH KEY=VALUE\n") of a pax header: each is refused when it would give a member
// another name, link or size than its header block does; the rest only describe the member.
Result<void> CheckPaxRecords(std::string_view records) {
    while (!records.empty()) {
        std::size_t digits = 0, length = 0;
        while (digits < records.size() && digits < 9 && records[digits] >= '0' && records[digits] <= '9')
            length = length * 10 + static_cast<std::size_t>(records[digits++] - '0');
        if (digits == 0 || length > records.size() || length <= digits + 1 || records[digits] != ' ' ||
            records[length - 1] != '\n')
            return Fail("a pax header of the bundle's tar file is damaged");
        const std::string_view record = records.substr(digits + 1, length - digits - 2);
        const std::size_t equals = record.find('=');
        if (equals == std::string_view::npos) return Fail("a pax header of the bundle's tar file is damaged");
        const std::string_view key = record.substr(0, equals);
        if (key == "path" || key == "linkpath" || key == "size" || key.starts_with("GNU.sparse."))
            return Fail("the bundle's tar file holds a pax header that sets \"" + std::string(key) +
                        "\" (renamed or resized members are not taken; pack with plain ustar names)");
        records.remove_prefix(length);
    }
    return Done();
}

Result<void> CheckType(char type) {
    switch (type) {
        case 'L':
        case 'K':
        case 'N':
            return Fail("the bundle's tar file holds a GNU long name (names over 100 bytes are not taken)");
        case 'S':
        case 'M':
            return Fail("the bundle's tar file holds a sparse or multi-volume member");
        default:
            return Done();
    }
}

}  // namespace

Result<TarIndex> IndexTar(std::istream& in, std::uint64_t total) {
    TarIndex index;
    std::uint64_t offset = 0;
    Header header{};
    while (offset + BLOCK <= total) {
        if (!ReadAt(in, offset, BLOCK, header.data())) return Fail("the bundle's tar file cannot be read");
        if (std::all_of(header.begin(), header.end(), [](unsigned char c) { return c == 0; })) break;
        const auto checksum = Octal(header.data() + 148, 8);
        if (!checksum || !ChecksumMatches(header, *checksum))
            return Fail("the bundle is not a tar file (or an entry's header is damaged)");
        const auto size = Octal(header.data() + 124, 12);
        if (!size) return Fail(size.error());
        const char type = static_cast<char>(header[156]);
        const std::uint64_t data = offset + BLOCK;
        if (*size > total - data) return Fail("the bundle's tar file is cut short");
        if (Result<void> known = CheckType(type); !known) return Fail(known.error());
        if (type == 'x' || type == 'g') {
            if (*size > PAX_HEADER_MAX) return Fail("a pax header of the bundle's tar file is too large");
            std::string records(static_cast<std::size_t>(*size), '\0');
            if (!ReadAt(in, data, records.size(), records.data()))
                return Fail("the bundle's tar file cannot be read");
            if (Result<void> checked = CheckPaxRecords(records); !checked) return Fail(checked.error());
        } else {
            if (index.size() >= TAR_MAX_MEMBERS) return Fail("the bundle's tar file holds too many entries");
            auto name = Normal(RawName(header));
            if (!name) return Fail(name.error());
            if (name->empty() && type != '5')
                return Fail("the bundle's tar file holds a member without a name");
            const auto [at, added] = index.emplace(*name, TarMember{type, data, *size});
            if (!added && !(type == '5' && at->second.type == '5'))
                return Fail("the bundle holds \"" + *name + "\" twice");
        }
        offset = data + (*size + BLOCK - 1) / BLOCK * BLOCK;
    }
    return index;
}

}  // namespace xqt

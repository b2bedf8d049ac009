#include "fleet/TextForms.h"

#include <cstdio>

#include "platform/TextCodec.h"

namespace xqt {

namespace {
std::string Dotted(const Octets& a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}
}  // namespace

std::string AddressText(const Octets& address, std::int32_t port) {
    if (port == 80) return Dotted(address);
    return Dotted(address) + ":" + std::to_string(port);
}

std::string IdText(int rowNumber) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", rowNumber);
    return buf;
}

std::string StripVer(std::string_view version) {
    if (version.substr(0, 3) == "ver") version.remove_prefix(3);
    return std::string(version);
}

std::string PageAddress(const Octets& address, std::int32_t port) {
    return "http://" + AddressText(address, port) + "/";
}

int CompareUtf16(std::string_view a, std::string_view b) {
    // Plain ASCII (the usual case: addresses, serials, versions) orders the same in both forms.
    bool ascii = true;
    for (unsigned char c : a)
        ascii = ascii && c < 0x80;
    for (unsigned char c : b)
        ascii = ascii && c < 0x80;
    if (ascii) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    std::u16string ua = platform::Utf8ToUtf16(std::string(a));
    std::u16string ub = platform::Utf8ToUtf16(std::string(b));
    int c = ua.compare(ub);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace xqt

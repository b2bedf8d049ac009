// Any model and serial texts a camera may report: the saved configuration's name is one path
// component of at most 255 bytes, never "." or "..", and two different serials never share one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "camera/ConfigStore.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void RequireOneComponent(const std::string& name) {
    Require(!name.empty() && name.size() <= 255);
    Require(name != "." && name != "..");
    Require(name.find('/') == std::string::npos && name.find('\0') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::size_t modelEnd = std::min<std::size_t>(data[0], bytes.size());
    const std::string_view model = bytes.substr(0, modelEnd);
    const std::string_view serials = bytes.substr(modelEnd);
    const std::size_t split = std::min<std::size_t>(data[1], serials.size());
    const std::string_view first = serials.substr(0, split);
    const std::string_view second = serials.substr(split);

    const std::string a = xqt::SafeConfigFileName(model, first);
    const std::string b = xqt::SafeConfigFileName(model, second);
    RequireOneComponent(a);
    RequireOneComponent(b);
    if (first != second) Require(a != b);
    return 0;
}

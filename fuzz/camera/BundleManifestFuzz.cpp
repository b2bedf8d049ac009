// Any bytes as a firmware bundle's manifest.json. The reader must never crash or hang, and what it
// takes must keep every promise the tool relies on: the limits of the version label, the model
// list and the image slots, unique keys, and file paths that cannot leave the bundle.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "camera/BundleManifest.h"
#include "camera/ModelList.h"
#include "camera/ResourceState.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const xqt::ManifestRead read = xqt::ParseManifest(text);
    Require(read.manifest.has_value() == read.error.empty());
    if (!read.manifest) return 0;
    const xqt::BundleManifest& m = *read.manifest;
    Require(size <= xqt::MANIFEST_MAX_BYTES);
    Require(!m.version.empty() && 3 + m.version.size() <= 63);
    Require(!m.models.empty() && m.models.size() <= static_cast<std::size_t>(xqt::MAX_MODEL_NAMES));
    Require(!m.images.empty() && m.images.size() <= static_cast<std::size_t>(xqt::IMAGE_SLOTS));
    std::set<std::string> keys;
    for (std::size_t i = 0; i < m.images.size(); ++i) {
        const xqt::ManifestImage& image = m.images[i];
        Require(keys.insert(image.key).second);
        Require(i == 0 || !image.key.empty());
        Require(image.size > 0 && image.size <= xqt::BUNDLE_IMAGE_MAX_BYTES);
        Require(image.sha256.size() == 64);
        Require(!image.file.empty() && image.file.front() != '/');
        for (std::size_t start = 0; start <= image.file.size();) {
            const std::size_t end = std::min(image.file.find('/', start), image.file.size());
            const std::string_view part(image.file.data() + start, end - start);
            Require(!part.empty() && part != "." && part != "..");
            start = end + 1;
        }
    }
    // What pack writes from a manifest reads back as the same manifest.
    const xqt::ManifestRead again = xqt::ParseManifest(xqt::WriteManifest(m));
    Require(again.manifest && again.manifest->version == m.version && again.manifest->models == m.models &&
            again.manifest->images.size() == m.images.size());
    return 0;
}

#include "platform/EmbeddedTable.h"
#include "platform/Resources.h"

namespace xqt::platform {

namespace {
class LinkedResources : public ResourceSource {
  public:
    std::optional<ResourceBytes> Find(ResourceType type, std::uint16_t id,
                                      std::uint16_t lang) const override {
        const detail::EmbeddedEntry* any = nullptr;
        for (std::size_t i = 0; i < detail::kEmbeddedCount; ++i) {
            const auto& e = detail::kEmbeddedTable[i];
            if (e.type != type || e.id != id) continue;
            if (e.lang == lang) return Bytes(e);
            if (!any) any = &e;
        }
        if (any) return Bytes(*any);
        return std::nullopt;
    }

  private:
    static ResourceBytes Bytes(const detail::EmbeddedEntry& e) {
        return ResourceBytes(e.begin, static_cast<std::size_t>(e.end - e.begin));
    }
};
}  // namespace

const ResourceSource& EmbeddedResources() {
    static const LinkedResources linked;
    return linked;
}

}  // namespace xqt::platform

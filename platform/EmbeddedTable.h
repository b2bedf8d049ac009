#pragma once
// The table of linked-in resources written at build time by the resource compiler.

#include <cstddef>
#include <cstdint>

#include "platform/Resources.h"

namespace xqt::platform::detail {

struct EmbeddedEntry {
    ResourceType type;
    std::uint16_t id;
    std::uint16_t lang;
    const unsigned char* begin;
    const unsigned char* end;
};

extern const EmbeddedEntry kEmbeddedTable[];
extern const std::size_t kEmbeddedCount;

}  // namespace xqt::platform::detail

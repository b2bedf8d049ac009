#include "platform/Clipboard.h"

namespace xqt::platform {

std::optional<std::string> MemoryClipboard::ReadText() {
    ++reads;
    return text;
}

}  // namespace xqt::platform

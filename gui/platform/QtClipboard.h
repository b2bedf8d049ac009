#pragma once
// The desktop's clipboard through Qt: its plain text, converted to the program's 8-bit code page.
// UI thread only (Qt's clipboard lives there).

#include "platform/Clipboard.h"

namespace xqt::platform {

class QtClipboard : public Clipboard {
  public:
    std::optional<std::string> ReadText() override;
};

}  // namespace xqt::platform

#pragma once
// The clipboard, standing in for the system clipboard's 8-bit text format. Read on the UI thread
// only (the toolkit's clipboard lives there); tests install a MemoryClipboard.

#include <optional>
#include <string>

namespace xqt::platform {

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    /// The clipboard's text as 8-bit bytes in the program's code page (Windows-1252 where the
    /// toolkit holds Unicode; unmappable characters become "?"), without a terminating zero. Nothing
    /// when the clipboard cannot be opened or holds no text; an empty text is a text.
    [[nodiscard]] virtual std::optional<std::string> ReadText() = 0;
};

/// A clipboard held in memory: `text` is what ReadText gives.
class MemoryClipboard : public Clipboard {
  public:
    MemoryClipboard() = default;
    explicit MemoryClipboard(std::optional<std::string> initial) : text(std::move(initial)) {}
    [[nodiscard]] std::optional<std::string> ReadText() override;

    std::optional<std::string> text;
    int reads = 0;  ///< number of ReadText calls, for tests
};

}  // namespace xqt::platform

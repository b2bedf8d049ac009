#pragma once
// Import of camera addresses from an 8-bit text (a file or the clipboard): one camera a line, an
// IPv4 address optionally followed by one kind of separator (comma, colon or tab) and a port. The
// parser accepts the whole text or nothing and reports a refusal itself, in a box on the owner's
// message boxes. At most MAX_CAMERAS entries are taken; the rest of a longer text is ignored.
// One parser serves one import on the UI thread; its results are values owned by it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/CameraRecord.h"
#include "platform/Clipboard.h"
#include "platform/MessageBoxes.h"

namespace xqt {

struct AddressEntry {
    Octets address{0, 0, 0, 0};
    std::int32_t port = 80;
    bool operator==(const AddressEntry&) const = default;
};

class AddressListParser {
  public:
    /// `owner` shows the refusals; `clipboard` is read by LoadClipboard. Both must outlive the
    /// parser; the clipboard may be null when LoadClipboard is not used.
    explicit AddressListParser(platform::MessageBoxes& owner, platform::Clipboard* clipboard = nullptr)
        : owner_(&owner), clipboard_(clipboard) {}

    /// Reads the file as raw bytes (up to its first zero byte, without a UTF-8 byte order mark at
    /// its start) and parses it. False without a message when it cannot be opened or read.
    [[nodiscard]] bool LoadFile(const std::string& path);
    /// Parses the clipboard's text. False without a message when there is no clipboard or it holds
    /// no text; an empty text succeeds with no entries.
    [[nodiscard]] bool LoadClipboard();
    /// Parses `bytes` as they would come from a file.
    [[nodiscard]] bool LoadText(std::string_view bytes);

    /// CheckCharacters and then ParseLines on the loaded text.
    [[nodiscard]] bool Parse();
    /// First pass: only digits, ".", ",", ":", TAB, CR and LF, and one kind of separator at most.
    [[nodiscard]] bool CheckCharacters();
    /// Second pass: every non-empty line a unicast address (see NonUnicastKind) with an optional port.
    [[nodiscard]] bool ParseLines();

    /// Entry `index` when 0 <= index < EntryCount().
    [[nodiscard]] std::optional<AddressEntry> Get(int index) const;
    int EntryCount() const { return static_cast<int>(entries_.size()); }
    const std::vector<AddressEntry>& Entries() const { return entries_; }
    /// Text of the first bad line of the last ParseLines, empty when none.
    const std::string& ErrorLine() const { return errorLine_; }

    int TabCount() const { return tabCount_; }
    int ColonCount() const { return colonCount_; }
    int CommaCount() const { return commaCount_; }

  private:
    bool Refuse(std::uint16_t textId, const std::string& insert, platform::MbIcon icon);

    platform::MessageBoxes* owner_;
    platform::Clipboard* clipboard_;
    std::string text_;  ///< the input up to its first zero byte, then one zero byte
    std::string errorLine_;
    std::vector<AddressEntry> entries_;
    int tabCount_ = 0;
    int colonCount_ = 0;
    int commaCount_ = 0;
};

}  // namespace xqt

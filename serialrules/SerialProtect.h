#pragma once
// The serial-number rule set: an allow side and a deny side, each the keyword "all", the keyword
// "none" or a ';'-separated list of patterns, combined under the order "allow,deny" (a serial must
// be allowed and not denied) or "deny,allow" (a serial is refused only when denied and not allowed).
//
// The program keeps one rule set, g_serialProtect, for the life of the process. IsSerialAllowed is
// called from the discovery receive thread and the user-interface thread at once; it builds the
// rule set on first use, and afterwards only reads it, so no lock is taken on the check itself.

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "serialrules/Pattern.h"

namespace ns_serial_protect {

/// One side of a rule set: patterns tried in order. Never copied.
class PatternList {
  public:
    /// One pattern per ';'-separated item. A bad_pattern_def of any item passes out unchanged.
    explicit PatternList(const std::string& definition);
    PatternList(const PatternList&) = delete;
    PatternList& operator=(const PatternList&) = delete;

    /// True as soon as one pattern matches; false for an empty list.
    [[nodiscard]] bool Match(const std::string& serial) const;
    std::size_t Size() const { return patterns.size(); }

  private:
    std::vector<Pattern> patterns;
};

/// An allow/deny rule set. Immutable once built; Check may run on any number of threads at once.
class SerialProtect {
  public:
    /// Raised by the constructor; carries only its message text. Nothing of the rule set survives.
    class bad_serial_protect_def : public std::invalid_argument {
      public:
        using std::invalid_argument::invalid_argument;
    };

    /// `order` is exactly "allow,deny" or "deny,allow"; `allow` and `deny` are each "all", "none"
    /// or a pattern list. Comparisons are exact and case-sensitive, nothing is trimmed.
    SerialProtect(const std::string& order, const std::string& allow, const std::string& deny);
    SerialProtect(const SerialProtect&) = delete;
    SerialProtect& operator=(const SerialProtect&) = delete;
    ~SerialProtect();

    /// True when the 8-bit serial is accepted. Never fails.
    [[nodiscard]] bool Check(const std::string& serial) const;

  private:
    void BuildSide(const std::string& text, const char* sideName, bool& all, bool& none,
                   std::unique_ptr<PatternList>& list);

    bool allowFirst = true;
    bool allowAll = false;
    bool allowNone = false;
    bool denyAll = false;
    bool denyNone = false;
    std::unique_ptr<PatternList> allowList;
    std::unique_ptr<PatternList> denyList;
};

/// The program's rule set: null until InitSerialRules (or the first IsSerialAllowed) has built
/// it, then fixed for the life of the process. It is deliberately never destroyed, so a thread
/// that checks a serial while the process exits never meets a destroyed rule set.
extern std::atomic<const SerialProtect*> g_serialProtect;

/// Builds g_serialProtect from the program's own definitions. Idempotent and safe to call from
/// several threads at once; every caller returns after the rule set is complete.
void InitSerialRules();

/// 1 when the program's rule set accepts the serial, 0 when it refuses it. The serial is given in
/// UTF-16 (as the camera answer was decoded) and checked in its 8-bit ANSI form (Windows-1252,
/// characters without a byte there become '?'). Builds the rule set on first use; never fails.
int IsSerialAllowed(std::u16string_view serial);
/// The same for a serial in UTF-8, the core's text form (malformed bytes become '?').
int IsSerialAllowed(std::string_view serialUtf8);
/// The same for the 8-bit bytes a camera sent (discovery replies), checked as they are.
int IsSerialAllowedAnsi(std::string_view serialAnsi);

/// The rule set's verdict on a serial, by name: callers decide on it, never on IsSerialAllowed's int.
enum class SerialVerdict { Refused, Allowed };
/// IsSerialAllowed for a serial in UTF-8, as a verdict.
[[nodiscard]] SerialVerdict JudgeSerial(std::string_view serialUtf8);
/// IsSerialAllowedAnsi for the 8-bit bytes a camera sent, as a verdict.
[[nodiscard]] SerialVerdict JudgeSerialAnsi(std::string_view serialAnsi);

namespace detail {
/// UTF-16 to Windows-1252; unpaired surrogates and characters without a byte become '?'.
std::string Utf16ToAnsi(std::u16string_view text);
/// UTF-8 to Windows-1252; malformed sequences and characters without a byte become '?'.
std::string Utf8ToAnsi(std::string_view text);
}  // namespace detail

}  // namespace ns_serial_protect

#pragma once
// The serial-number pattern language: a pattern describes serial numbers of one fixed length,
// one element per character position.
//
//   digit       that digit                      ?        any one character
//   [items]     one character an item matches   ^digit   any character but that digit
//   ^[items]    any character no item matches
//
// Set items are separated by ',' (empty items are skipped): a digit, or three characters
// "low-high" (the middle one is not examined) naming an inclusive range. Characters compare as
// signed 8-bit values, so bytes 0x80..0xFF sort below '0'.
//
// Threads: a Pattern is built on one thread; afterwards Match only reads and may run on any
// number of threads at once. Every element is owned by exactly one holder (a Pattern, a PENot or
// a PEOptional), and a failed build leaves nothing behind.

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ns_serial_protect {

/// Appends to `out` (emptied first) every maximal run of `text` without `separator`; separators
/// at either end or in a row make no empty items, and nothing is trimmed. Returns the item count.
std::size_t SplitList(const std::string& text, char separator, std::vector<std::string>& out);

/// One character position of a pattern.
class PatternElement {
  public:
    /// Raised by the tokenizer, the factory and every Build; carries only its message text.
    class bad_definition : public std::invalid_argument {
      public:
        using std::invalid_argument::invalid_argument;
    };

    virtual ~PatternElement() = default;
    /// True when this element accepts the character `c`.
    [[nodiscard]] virtual bool Match(char c) const = 0;
    /// Builds the element from exactly the text of its own token, [first, last). On failure
    /// raises bad_definition and leaves the element as it was.
    virtual void Build(const char* first, const char* last) = 0;

  protected:
    PatternElement() = default;
    PatternElement(const PatternElement&) = delete;
    PatternElement& operator=(const PatternElement&) = delete;
};

/// One digit '0'..'9'.
class PEExact : public PatternElement {
  public:
    [[nodiscard]] bool Match(char c) const override;
    void Build(const char* first, const char* last) override;

  private:
    char ch = '0';
};

/// Any one character.
class PEAny : public PatternElement {
  public:
    [[nodiscard]] bool Match(char c) const override;
    void Build(const char* first, const char* last) override;
};

/// Any character that its inner element (a PEExact or a PEOptional) refuses; refuses everything
/// while it has no inner element.
class PENot : public PatternElement {
  public:
    [[nodiscard]] bool Match(char c) const override;
    void Build(const char* first, const char* last) override;

  private:
    std::unique_ptr<PatternElement> inner;
};

/// A set: any character that one of its members (PEExact or PERange) accepts; refuses everything
/// while it has no members.
class PEOptional : public PatternElement {
  public:
    [[nodiscard]] bool Match(char c) const override;
    void Build(const char* first, const char* last) override;

  private:
    std::vector<std::unique_ptr<PatternElement>> elements;
};

/// An inclusive range of characters, low <= c <= high in signed 8-bit order; made only inside a set.
class PERange : public PatternElement {
  public:
    [[nodiscard]] bool Match(char c) const override;
    void Build(const char* first, const char* last) override;

  private:
    signed char low = 0;
    signed char high = 0;
};

/// Token kinds between the tokenizer and the factory. The tokenizer never yields Range.
enum class ElementKind { Exact = 0, Not = 1, Any = 2, Optional = 3, Range = 4 };

/// Classifies the token that starts at `cursor` and moves `cursor` past it. Raises bad_definition
/// with an empty text at the end of the text, and with the text from the '[' to `end` when a set
/// has no closing ']'.
ElementKind ClassifyNext(const char*& cursor, const char* end);

/// Reads, builds and returns one element (one token, or '^' and the token after it) from `cursor`
/// and moves `cursor` past it. The caller owns the result; on failure nothing is left allocated.
std::unique_ptr<PatternElement> CreateElement(const char*& cursor, const char* end);

/// A parsed pattern definition. Never copied; destroying it destroys its elements.
class Pattern {
  public:
    /// Raised by the constructor with the text of the bad_definition that stopped the parse.
    class bad_pattern_def : public std::invalid_argument {
      public:
        using std::invalid_argument::invalid_argument;
    };

    /// Parses the whole definition; an empty definition gives a pattern that matches only "".
    explicit Pattern(const std::string& definition);
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;
    Pattern(Pattern&&) noexcept = default;
    Pattern& operator=(Pattern&&) noexcept = default;
    ~Pattern();

    /// True when `serial` has exactly one character per element and every element accepts its
    /// character. No backtracking, no variable width.
    [[nodiscard]] bool Match(const std::string& serial) const;
    /// The number of characters of the serials this pattern can match.
    std::size_t Length() const { return elements.size(); }

  private:
    std::vector<std::unique_ptr<PatternElement>> elements;
};

}  // namespace ns_serial_protect

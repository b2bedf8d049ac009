#pragma once
// The response a camera sends while it overwrites its flash memory: parts separated by
// "--vexoboundary", each with header lines, an empty line and a body. The part whose body starts
// with "(0)" announces the number of steps after its first ": "; the part for step N starts with
// "(N)"; the delimiter followed by "--" ends the stream. The parser turns the parts into progress:
// the steps are scaled so that the last one lands near OVERWRITE_CEILING, every other part adds
// UNRECOGNISED_PART_STEP.
//
// Pure: the caller owns the accumulation buffer, the step fields and the progress outputs, and
// feeds the bytes as they arrive (in PROGRESS_READ_SIZE reads). Any bytes are safe; the buffer
// never grows beyond PROGRESS_BUFFER_LIMIT.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace xqt {

inline constexpr std::string_view PROGRESS_DELIMITER = "--vexoboundary";
inline constexpr std::size_t PROGRESS_READ_SIZE = 24;
/// Bytes kept when no delimiter was found, so one split across two reads is still found.
inline constexpr std::size_t PROGRESS_CARRY = 16;
/// The accumulation buffer's size; the oldest bytes make room beyond it.
inline constexpr std::size_t PROGRESS_BUFFER_LIMIT = 1024;
inline constexpr std::int32_t OVERWRITE_CEILING = 9400;
inline constexpr std::int32_t EMERGENCY_CEILING = 9800;
inline constexpr std::int32_t UNRECOGNISED_PART_STEP = 30;

/// The session's stepBase, stepSize and stepTotal.
struct StepFields {
    std::int32_t base = 0;
    std::int32_t size = 0;
    std::int32_t total = 0;  ///< 0: no total announced yet
};

/// The progress the parser moves: the manual page's bar and/or the automatic list's value.
class ProgressOutputs {
  public:
    virtual ~ProgressOutputs() = default;
    [[nodiscard]] virtual bool HasBar() const = 0;
    [[nodiscard]] virtual std::int32_t BarPosition() const = 0;
    virtual void SetBar(std::int32_t position) = 0;
    [[nodiscard]] virtual bool HasValue() const = 0;
    [[nodiscard]] virtual std::int32_t Value() const = 0;
    virtual void SetValue(std::int32_t value) = 0;
    /// Adds `delta` to the bar and to the value, whichever exist.
    virtual void Add(std::int32_t delta) = 0;
};

enum class StreamVerdict { Continue, Stop };

/// Handles what the buffer holds of the first part: consumes it when complete, keeps the last
/// PROGRESS_CARRY bytes when there is no delimiter, and waits (consuming nothing) when the part is
/// not complete yet. Stop when the closing delimiter was seen.
StreamVerdict ParseProgressPart(std::string& buffer, StepFields& steps, ProgressOutputs& out);

/// Appends `bytes` (dropping the oldest bytes beyond PROGRESS_BUFFER_LIMIT) and parses every
/// complete part now in the buffer.
StreamVerdict FeedProgressStream(std::string& buffer, std::string_view bytes, StepFields& steps,
                                 ProgressOutputs& out);

}  // namespace xqt

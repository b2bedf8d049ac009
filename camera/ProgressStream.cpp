#include "camera/ProgressStream.h"

#include <algorithm>
#include <optional>

#include "camera/ProgressBar.h"

namespace xqt {

namespace {

constexpr std::string_view HEADER_END = "\r\n\r\n";
// Counts beyond this are treated as this: far past any real step count, and no product with a
// step size can overflow 64 bits.
constexpr std::int64_t NUMBER_CAP = 1'000'000'000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Number {
    std::int64_t value = 0;
    std::size_t end = 0;  ///< index of the first byte after it
};

// The decimal number at `at` (an optional sign, then digits; no digits reads as 0, as the
// cameras' C runtime would). Nothing while the buffer ends inside it: a number split across two
// reads must not be read short.
std::optional<Number> ReadNumber(std::string_view text, std::size_t at, bool allowSign) {
    bool negative = false;
    if (allowSign && at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    std::int64_t value = 0;
    while (at < text.size() && IsDigit(text[at])) {
        value = std::min(NUMBER_CAP, value * 10 + (text[at] - '0'));
        ++at;
    }
    if (at >= text.size()) return std::nullopt;
    return Number{negative ? -value : value, at};
}

std::int32_t ClampProgress(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, PROGRESS_MAX));
}

std::int32_t StepSizeFrom(std::int32_t position, std::int32_t total) {
    return static_cast<std::int32_t>((OVERWRITE_CEILING - static_cast<std::int64_t>(position)) / total);
}

}  // namespace

StreamVerdict ParseProgressPart(std::string& buffer, StepFields& steps, ProgressOutputs& out) {
    const std::size_t i = buffer.find(PROGRESS_DELIMITER);
    if (i == std::string::npos) {
        if (buffer.size() > PROGRESS_CARRY) buffer.erase(0, buffer.size() - PROGRESS_CARRY);
        return StreamVerdict::Continue;
    }
    const std::size_t afterDelimiter = i + PROGRESS_DELIMITER.size();
    if (buffer.compare(afterDelimiter, 2, "--") == 0) return StreamVerdict::Stop;

    const std::size_t j = buffer.find(HEADER_END, i);
    if (j == std::string::npos || buffer.size() < j + 5) return StreamVerdict::Continue;
    const std::size_t bodyStart = j + HEADER_END.size();

    if (buffer[bodyStart] == '(') {
        const auto n = ReadNumber(buffer, bodyStart + 1, true);
        if (!n) return StreamVerdict::Continue;
        if (n->value == 0) {
            // The announcement. Its ": " is looked for in this part only: a part without one
            // must not swallow the next part's headers.
            const std::size_t next = buffer.find(PROGRESS_DELIMITER, bodyStart);
            const std::size_t colon = buffer.find(": ", j);
            if (colon == std::string::npos || (next != std::string::npos && colon > next)) {
                if (next == std::string::npos) return StreamVerdict::Continue;
                buffer.erase(0, j);  // no total in this part
                return StreamVerdict::Continue;
            }
            const auto total = ReadNumber(buffer, colon + 2, false);
            if (!total) return StreamVerdict::Continue;
            if (total->value > 0) {
                steps.total = static_cast<std::int32_t>(total->value);
                if (out.HasBar()) {
                    steps.base = out.BarPosition();
                    steps.size = StepSizeFrom(steps.base, steps.total);
                }
                if (out.HasValue()) {
                    steps.base = out.Value();
                    steps.size = StepSizeFrom(steps.base, steps.total);
                }
            }
            buffer.erase(0, total->end);
            return StreamVerdict::Continue;
        }
        if (n->value != -1) {
            // A step. Before any total there is nothing to scale it by: the progress stays.
            if (steps.total > 0) {
                if (out.HasBar()) out.SetBar(ClampProgress(steps.base + n->value * steps.size));
                if (out.HasValue()) {
                    if (steps.base == 0 && steps.size == 0) {
                        steps.base = out.Value();
                        steps.size = StepSizeFrom(steps.base, steps.total);
                    }
                    out.SetValue(ClampProgress(steps.base + n->value * steps.size));
                }
            }
            buffer.erase(0, j);
            return StreamVerdict::Continue;
        }
    }
    out.Add(UNRECOGNISED_PART_STEP);
    buffer.erase(0, j);
    return StreamVerdict::Continue;
}

StreamVerdict FeedProgressStream(std::string& buffer, std::string_view bytes, StepFields& steps,
                                 ProgressOutputs& out) {
    buffer.append(bytes);
    if (buffer.size() > PROGRESS_BUFFER_LIMIT) buffer.erase(0, buffer.size() - PROGRESS_BUFFER_LIMIT);
    for (;;) {
        const std::size_t before = buffer.size();
        if (ParseProgressPart(buffer, steps, out) == StreamVerdict::Stop) return StreamVerdict::Stop;
        if (buffer.size() == before) return StreamVerdict::Continue;
    }
}

}  // namespace xqt

// Any bytes a camera may send as its progress stream, in reads of any size: the parser must keep
// its buffer bounded, keep the progress on its scale, and stop only at a closing delimiter.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "camera/ProgressBar.h"
#include "camera/ProgressStream.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// A bar and a value, clamped like the session's.
class Outputs : public xqt::ProgressOutputs {
  public:
    bool HasBar() const override { return true; }
    std::int32_t BarPosition() const override { return bar_.Position(); }
    void SetBar(std::int32_t position) override { bar_.SetPosition(position); }
    bool HasValue() const override { return withValue; }
    std::int32_t Value() const override { return value_; }
    void SetValue(std::int32_t v) override {
        Require(v >= 0 && v <= xqt::PROGRESS_MAX);
        value_ = v;
    }
    void Add(std::int32_t delta) override {
        bar_.Advance(delta);
        value_ = std::clamp(value_ + delta, 0, xqt::PROGRESS_MAX);
    }
    bool withValue = true;

  private:
    xqt::AtomicProgressBar bar_;
    std::int32_t value_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t readSize = 1 + data[0] % 48;
    Outputs out;
    out.withValue = (data[1] & 1) != 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    std::string buffer;
    xqt::StepFields steps;
    for (std::size_t at = 0; at < bytes.size(); at += readSize) {
        const std::string_view piece = bytes.substr(at, readSize);
        const xqt::StreamVerdict verdict = xqt::FeedProgressStream(buffer, piece, steps, out);
        Require(buffer.size() <= xqt::PROGRESS_BUFFER_LIMIT);
        Require(out.BarPosition() >= 0 && out.BarPosition() <= xqt::PROGRESS_MAX);
        Require(out.Value() >= 0 && out.Value() <= xqt::PROGRESS_MAX);
        Require(steps.total >= 0);
        if (verdict == xqt::StreamVerdict::Stop) {
            const std::string_view seen = bytes.substr(0, at + piece.size());
            Require(seen.find("--vexoboundary--") != std::string_view::npos);
            break;
        }
    }
    return 0;
}

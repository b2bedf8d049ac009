// The progress stream a camera sends while it overwrites its flash memory, fed as it arrives.
#include <gtest/gtest.h>

#include "camera/ProgressStream.h"

namespace xqt {
namespace {

// A bar and/or a value as plain numbers.
class Outputs : public ProgressOutputs {
  public:
    Outputs(std::optional<std::int32_t> barAt, std::optional<std::int32_t> valueAt)
        : bar(barAt), value(valueAt) {}
    bool HasBar() const override { return bar.has_value(); }
    std::int32_t BarPosition() const override { return *bar; }
    void SetBar(std::int32_t position) override { bar = position; }
    bool HasValue() const override { return value.has_value(); }
    std::int32_t Value() const override { return *value; }
    void SetValue(std::int32_t v) override { value = v; }
    void Add(std::int32_t delta) override {
        if (bar) *bar += delta;
        if (value) *value += delta;
    }
    std::optional<std::int32_t> bar;
    std::optional<std::int32_t> value;
};

std::string Part(const std::string& body) {
    return "--vexoboundary\r\nContent-Type: text/plain\r\n\r\n" + body + "\r\n";
}

struct Feeder {
    Outputs out{std::nullopt, 0};
    StepFields steps;
    std::string buffer;
    /// Feeds `bytes` in reads of `readSize`; the verdict of the last read.
    StreamVerdict Feed(const std::string& bytes, std::size_t readSize = PROGRESS_READ_SIZE) {
        StreamVerdict verdict = StreamVerdict::Continue;
        for (std::size_t at = 0; at < bytes.size(); at += readSize) {
            verdict = FeedProgressStream(buffer, std::string_view(bytes).substr(at, readSize), steps, out);
            if (verdict == StreamVerdict::Stop) return verdict;
            EXPECT_LE(buffer.size(), PROGRESS_BUFFER_LIMIT);
        }
        return verdict;
    }
};

TEST(ProgressStreamTest, AnnouncedStepsMoveAManualBarTowardsTheCeiling) {
    Feeder f;
    f.out = Outputs(6874, std::nullopt);
    f.Feed(Part("(0) Steps: 20"));
    EXPECT_EQ(f.steps.total, 20);
    EXPECT_EQ(f.steps.base, 6874);
    EXPECT_EQ(f.steps.size, (9400 - 6874) / 20);
    for (int n = 1; n <= 20; ++n) {
        f.Feed(Part("(" + std::to_string(n) + ") Writing"));
        EXPECT_EQ(*f.out.bar, 6874 + n * 126) << "after step " << n;
    }
    EXPECT_EQ(f.Feed("--vexoboundary--\r\n"), StreamVerdict::Stop);
}

TEST(ProgressStreamTest, TheValueOfAnAutomaticRowTakesTheSameSteps) {
    Feeder f;
    f.out = Outputs(std::nullopt, 7000);
    f.Feed(Part("(0) Steps: 7") + Part("(3) x"));
    EXPECT_EQ(*f.out.value, 7000 + 3 * ((9400 - 7000) / 7));
}

TEST(ProgressStreamTest, DivisionsTruncateTowardZero) {
    Feeder f;
    f.out = Outputs(std::nullopt, 9500);  // beyond the ceiling: a negative step size
    f.Feed(Part("(0) Steps: 3") + Part("(1) x"));
    EXPECT_EQ(f.steps.size, -33);  // -100 / 3
    EXPECT_EQ(*f.out.value, 9467);
}

TEST(ProgressStreamTest, PartsThatAreNoStepAddThirty) {
    Feeder f;
    f.out = Outputs(100, 200);
    f.Feed(Part("Erasing flash memory") + Part("(-1) not a step") + Part(""));
    EXPECT_EQ(*f.out.bar, 190);
    EXPECT_EQ(*f.out.value, 290);
}

TEST(ProgressStreamTest, AStepBeforeAnyTotalLeavesTheProgressAlone) {
    Feeder f;
    f.out = Outputs(5000, 5000);
    f.Feed(Part("(4) early"));
    EXPECT_EQ(*f.out.bar, 5000);
    EXPECT_EQ(*f.out.value, 5000);
    EXPECT_EQ(f.steps.total, 0);
}

TEST(ProgressStreamTest, ATotalOfZeroIsIgnored) {
    Feeder f;
    f.out = Outputs(std::nullopt, 5000);
    f.Feed(Part("(0) Steps: 0") + Part("(1) x"));
    EXPECT_EQ(f.steps.total, 0);
    EXPECT_EQ(*f.out.value, 5000);
}

TEST(ProgressStreamTest, AnAnnouncementWithoutColonDoesNotSwallowTheNextPart) {
    Feeder f;
    f.out = Outputs(std::nullopt, 1000);
    f.Feed(Part("(0)") + Part("(0) Steps: 4") + Part("(2) x"));
    EXPECT_EQ(f.steps.total, 4);
    EXPECT_EQ(*f.out.value, 1000 + 2 * 2100);
}

TEST(ProgressStreamTest, ADelimiterSplitAcrossReadsIsStillFound) {
    // Every read boundary inside the delimiter, and reads of every size from 1 to 40.
    const std::string stream = "junk before the first part " + Part("(0) Steps: 10") + Part("(5) x") +
                               "--vexoboundary--\r\ntrailing bytes";
    for (std::size_t readSize = 1; readSize <= 40; ++readSize) {
        Feeder f;
        f.out = Outputs(std::nullopt, 400);
        EXPECT_EQ(f.Feed(stream, readSize), StreamVerdict::Stop) << "reads of " << readSize;
        EXPECT_EQ(f.steps.total, 10) << "reads of " << readSize;
        EXPECT_EQ(*f.out.value, 400 + 5 * 900) << "reads of " << readSize;
    }
}

TEST(ProgressStreamTest, ANumberSplitAcrossReadsIsNotReadShort) {
    // "(0) Steps: 2" | "0" and "(1" | "2)" arrive in separate reads.
    Feeder f;
    f.out = Outputs(std::nullopt, 400);
    const std::string announcement = Part("(0) Steps: 20");
    const std::size_t cut = announcement.find("20") + 1;
    f.Feed(announcement.substr(0, cut), 1000);
    f.Feed(announcement.substr(cut), 1000);
    EXPECT_EQ(f.steps.total, 20);
    const std::string step = Part("(12) x");
    const std::size_t cut2 = step.find("(12") + 2;
    f.Feed(step.substr(0, cut2), 1000);
    EXPECT_EQ(*f.out.value, 400);
    f.Feed(step.substr(cut2), 1000);
    EXPECT_EQ(*f.out.value, 400 + 12 * 450);
}

TEST(ProgressStreamTest, TheClosingDelimiterEndsReadingEvenWithMoreBytesBehindIt) {
    Feeder f;
    EXPECT_EQ(f.Feed(Part("(0) Steps: 2") + "--vexoboundary--" + Part("(1) after the end"), 1000),
              StreamVerdict::Stop);
    EXPECT_EQ(*f.out.value, 0);
}

TEST(ProgressStreamTest, WithoutADelimiterOnlyTheLastSixteenBytesAreKept) {
    std::string buffer;
    StepFields steps;
    Outputs out(std::nullopt, 0);
    FeedProgressStream(buffer, std::string(100, 'x') + "--vexobou", steps, out);
    EXPECT_EQ(buffer, "xxxxxxx--vexobou");
    FeedProgressStream(buffer, "ndary\r\nA: b\r\n\r\nplain", steps, out);
    EXPECT_EQ(*out.value, 30);
}

TEST(ProgressStreamTest, HostileNumbersStayOnTheScale) {
    Feeder f;
    f.out = Outputs(3000, 3000);
    f.Feed(Part("(0) Steps: 99999999999999999999") + Part("(99999999999999999999) x") +
           Part("(-99999999999) x"));
    EXPECT_GE(*f.out.bar, 0);
    EXPECT_LE(*f.out.bar, 10000);
    EXPECT_GE(*f.out.value, 0);
    EXPECT_LE(*f.out.value, 10000);
}

TEST(ProgressStreamTest, PartHeadersLongerThanTheBufferAreDroppedAndTheStreamGoesOn) {
    Feeder f;
    const std::string huge = "--vexoboundary\r\nX-Pad: " + std::string(3000, 'p') + "\r\n\r\n(7) lost\r\n";
    f.Feed(huge + Part("(0) Steps: 4") + Part("(1) x") + "--vexoboundary--");
    EXPECT_EQ(f.steps.total, 4);
    EXPECT_EQ(*f.out.value, 9400 / 4);
}

}  // namespace
}  // namespace xqt

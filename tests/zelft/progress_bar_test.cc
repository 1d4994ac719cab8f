// The text of the progress bar: sizes, durations and the line that fits the
// terminal.
#include <gtest/gtest.h>

#include "zelft/progress_bar.h"

namespace zelft {
namespace {

TEST(ProgressText, BytesInBinaryUnits) {
    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1024), "1.0 KiB");
    EXPECT_EQ(FormatBytes(1536), "1.5 KiB");
    EXPECT_EQ(FormatBytes(12897485), "12.3 MiB");
    EXPECT_EQ(FormatBytes(4ULL << 30), "4.0 GiB");
    EXPECT_EQ(FormatBytes(UINT64_MAX), "16.0 EiB");
}

TEST(ProgressText, DurationsRoundUpToWholeSeconds) {
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(0.2), "0:01");
    EXPECT_EQ(FormatDuration(59), "0:59");
    EXPECT_EQ(FormatDuration(61), "1:01");
    EXPECT_EQ(FormatDuration(3600), "1:00:00");
    EXPECT_EQ(FormatDuration(3725), "1:02:05");
}

TEST(ProgressText, KnownSizeShowsBarPercentRateAndTimeLeft) {
    ProgressSample sample;
    sample.bytes = 5 * 1024 * 1024;
    sample.total = 10 * 1024 * 1024;
    sample.seconds = 2.5;  // 2 MiB/s, 2.5 s left
    const std::string line = FormatProgressLine("big.bin", sample, 80);
    EXPECT_EQ(line.rfind("big.bin  [", 0), 0u) << line;
    EXPECT_NE(line.find("]   50%  5.0 MiB  2.0 MiB/s  0:03 left"), std::string::npos) << line;
    EXPECT_EQ(line.size(), 80u);
    // Half of the bar's inside is filled.
    const size_t open = line.find('['), close = line.find(']');
    const std::string inside = line.substr(open + 1, close - open - 1);
    EXPECT_EQ(inside.find('>'), inside.size() / 2) << inside;
}

TEST(ProgressText, UnknownSizeShowsBytesAndRateOnly) {
    ProgressSample sample;
    sample.bytes = 3000;
    sample.seconds = 2;
    const std::string line = FormatProgressLine("a.txt", sample, 80);
    EXPECT_EQ(line, "a.txt  2.9 KiB  1.5 KiB/s");
}

TEST(ProgressText, TheFinishedLineShowsTheTimeTaken) {
    ProgressSample sample;
    sample.bytes = sample.total = 2048;
    sample.seconds = 4;
    sample.finished = true;
    const std::string line = FormatProgressLine("a", sample, 60);
    EXPECT_EQ(line.size(), 60u);
    EXPECT_NE(line.find("]  100%  2.0 KiB  512 B/s  in 0:04"), std::string::npos) << line;
    const size_t open = line.find('['), close = line.find(']');
    EXPECT_EQ(line.substr(open + 1, close - open - 1), std::string(close - open - 1, '=')) << line;
}

TEST(ProgressText, NoRateBeforeTimeHasPassed) {
    ProgressSample sample;
    sample.bytes = 10;
    sample.total = 100;
    EXPECT_EQ(FormatProgressLine("f", sample, 30), "f   10%  10 B  --/s");
}

TEST(ProgressText, ALongLabelIsShortenedFromTheLeftAndTheLineFits) {
    ProgressSample sample;
    sample.bytes = 1;
    sample.total = 2;
    sample.seconds = 1;
    const std::string label = "a-very-long-directory-name/and-an-even-longer-file-name.bin";
    const std::string line = FormatProgressLine(label, sample, 50);
    EXPECT_LE(line.size(), 50u);
    EXPECT_EQ(line.rfind("...", 0), 0u) << line;
    EXPECT_NE(line.find("ame.bin"), std::string::npos) << line;
    EXPECT_NE(line.find(" 50%"), std::string::npos) << line;
    EXPECT_EQ(line.find('['), std::string::npos) << line;  // no room for a bar
}

TEST(ProgressText, AnEmptyFileIsComplete) {
    ProgressSample sample;
    sample.total = 0;
    sample.seconds = 1;
    EXPECT_NE(FormatProgressLine("empty", sample, 60).find("100%"), std::string::npos);
}

}  // namespace
}  // namespace zelft

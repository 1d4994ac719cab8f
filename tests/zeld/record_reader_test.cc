// The cutting of files into records: lines with and without their line
// ends, lines longer than a record, and pieces.
#include "zeld/record_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/test_paths.h"

namespace zeld {
namespace {

// The records of `content`, cut with Next (copied out), and for buffered
// presentations also with Peek and Advance (where they lie), which must
// give the same records.
std::vector<std::string> Cut(const std::string& content, const Presentation& presentation, size_t capacity) {
    zeltest::ScratchDir scratch;
    zeltest::WriteFile(scratch / "f", content);
    const int fd = ::open((scratch / "f").c_str(), O_RDONLY);
    RecordReader reader;
    reader.Start(fd, presentation);
    std::vector<std::string> records;
    std::vector<uint8_t> buffer(capacity);
    size_t length = 0;
    int error = 0;
    while (reader.Next(buffer.data(), capacity, &length, &error) == RecordReader::Result::kRecord) {
        records.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
    }
    EXPECT_TRUE(reader.exhausted());
    EXPECT_EQ(reader.consumed(), content.size());
    if (reader.buffered()) {
        ::lseek(fd, 0, SEEK_SET);
        reader.Start(fd, presentation);
        std::vector<std::string> peeked;
        const uint8_t* record = nullptr;
        while (reader.Peek(capacity, &record, &length, &error) == RecordReader::Result::kRecord) {
            peeked.emplace_back(record, record + length);
            reader.Advance();
        }
        EXPECT_EQ(peeked, records);
        EXPECT_EQ(reader.consumed(), content.size());
    }
    ::close(fd);
    return records;
}

using Records = std::vector<std::string>;

Presentation Lines(bool keepNewline) {
    Presentation presentation;
    presentation.lines = true;
    presentation.keepNewline = keepNewline;
    return presentation;
}

TEST(RecordCutting, RecordsLinesDropLineEndsOfEitherKind) {
    EXPECT_EQ(Cut("a\r\nb\n\nc", Lines(false), 100), (Records{"a", "b", "", "c"}));
    EXPECT_EQ(Cut("a\rb\n", Lines(false), 100), (Records{"a\rb"}));  // a lone CR is data
    EXPECT_EQ(Cut("", Lines(false), 100), Records{});
}

TEST(RecordCutting, LongLinesGoOnInTheNextRecordAndAFullRecordTakesItsLineEnd) {
    EXPECT_EQ(Cut("abcdefg\n", Lines(false), 3), (Records{"abc", "def", "g"}));
    EXPECT_EQ(Cut("abc\ndef\r\n", Lines(false), 3), (Records{"abc", "def"}));
}

TEST(RecordCutting, StreamLinesKeepTheirNewline) {
    EXPECT_EQ(Cut("ab\ncd", Lines(true), 100), (Records{"ab\n", "cd"}));
    EXPECT_EQ(Cut("abcd\n", Lines(true), 3), (Records{"abc", "d\n"}));
}

TEST(RecordCutting, PiecesAreFullButTheLast) {
    Presentation pieces;
    pieces.pieceSize = 4;
    EXPECT_EQ(Cut("abcdefghij", pieces, 100), (Records{"abcd", "efgh", "ij"}));
    pieces.pieceSize = 0;  // as large as the record may be
    EXPECT_EQ(Cut("abcdefghij", pieces, 6), (Records{"abcdef", "ghij"}));
}

TEST(RecordCutting, LinesLongerThanTheBufferAreCutCorrectly) {
    const std::string line(100000, 'x');
    const auto records = Cut(line + "\n" + "y\n", Lines(false), 32000);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[3].size(), 100000u - 3 * 32000u);
    EXPECT_EQ(records[4], "y");
}

TEST(RecordCutting, LinesAcrossManyBufferFillsComeOutWhole) {
    // Lines of 0 to 999 characters, CR LF or LF ended, over several fills
    // of the reader's buffer.
    std::string content;
    Records expected;
    for (int i = 0; content.size() < 400000; ++i) {
        const std::string line(static_cast<size_t>((i * 7919) % 1000), static_cast<char>('a' + i % 26));
        content += line + (i % 3 == 0 ? "\r\n" : "\n");
        expected.push_back(line);
    }
    EXPECT_EQ(Cut(content, Lines(false), 32251), expected);
    Presentation pieces;
    pieces.pieceSize = 512;
    const Records cut = Cut(content, pieces, 32251);
    ASSERT_EQ(cut.size(), (content.size() + 511) / 512);
    std::string joined;
    for (const std::string& piece : cut) joined += piece;
    EXPECT_TRUE(joined == content);
}

}  // namespace
}  // namespace zeld

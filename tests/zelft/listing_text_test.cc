// Listing texts as the library writes them, read back into names.
#include <gtest/gtest.h>

#include "zelft/listing_text.h"

namespace zelft {
namespace {

using Kind = ListedEntry::Kind;

TEST(ListingText, BriefListingOfAStreamServer) {
    const std::string text =
        "Directory HOST::ZELD:/\r\n\r\n"
        "'a.txt'  -F1 \r\n"
        "'sub'  -D0 \r\n";
    const std::vector<ListedEntry> entries = ParseListing(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "a.txt");
    EXPECT_EQ(entries[0].kind, Kind::kFile);
    EXPECT_EQ(entries[1].name, "sub");
    EXPECT_EQ(entries[1].kind, Kind::kDirectory);
}

TEST(ListingText, ANameHoldingALineEndIsOneEntry) {
    const std::vector<ListedEntry> entries =
        ParseListing("Directory HOST::ZELD:/\r\n\r\n'two\nlines'  -F1 \r\n'after'  -F2 \r\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "two\nlines");
    EXPECT_EQ(entries[0].kind, Kind::kFile);
    EXPECT_EQ(entries[1].name, "after");
}

TEST(ListingText, DoubledApostrophesAreOneApostropheOfTheName) {
    const std::vector<ListedEntry> entries = ParseListing("'O''NEIL.TXT;1'  -F3 \r\n'''quoted'''  -F0 \r\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "O'NEIL.TXT;1");
    EXPECT_EQ(entries[1].name, "'quoted'");
}

TEST(ListingText, FullListingEntriesAreFollowedByABlankLine) {
    const std::string text =
        "Directory HOST::ZELD:[000000]\r\n\r\n"
        "'A.TXT;1'  -F3  04-NOV-24 03:57:26\r\n\r\n"
        "'SUB.DIR;1'  -D1  04-NOV-24 03:57:26\r\n\r\n";
    const std::vector<ListedEntry> entries = ParseListing(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].kind, Kind::kFile);
    EXPECT_EQ(entries[1].name, "SUB.DIR;1");
    EXPECT_EQ(entries[1].kind, Kind::kDirectory);
}

TEST(ListingText, AnEntryTheServerCouldNotDescribeIsMarkedFailed) {
    const std::string text =
        "'secret.txt'     -ERRORINZEL privilege violation\r\n"
        "'open.txt'  -F1 \r\n";
    const std::vector<ListedEntry> entries = ParseListing(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].failed);
    EXPECT_FALSE(entries[1].failed);
    EXPECT_EQ(entries[1].kind, Kind::kFile);
}

TEST(ListingText, AnErrorLineOfItsOwnMarksTheEntryBeforeIt) {
    const std::vector<ListedEntry> entries = ParseListing("'a'  -F1 \r\n    -ERRORINZEL file locked by another user\r\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].failed);
}

TEST(ListingText, NamesWithoutSizesAreOfUnknownKind) {
    const std::vector<ListedEntry> entries = ParseListing("'A.TXT;1' \r\n'unclosed\r\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "A.TXT;1");
    EXPECT_EQ(entries[0].kind, Kind::kUnknown);
}

TEST(ListingText, LineEndsBecomeUnixLineEnds) {
    EXPECT_EQ(WithUnixLineEnds("a\r\n\r\nb\rc\r\n"), "a\n\nb\rc\n");
}

}  // namespace
}  // namespace zelft

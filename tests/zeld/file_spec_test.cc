// File specs taken apart, in both forms, and the wildcards of
// listings and deletions.
#include "zeld/file_spec.h"

#include <gtest/gtest.h>


namespace zeld {
namespace {

FileSpec Parse(const std::string& text, Personality personality = Personality::kStream) {
    FileSpec spec;
    EXPECT_EQ(ParseFileSpec(text, personality, &spec), SpecError::kNone) << text;
    return spec;
}

SpecError ErrorOf(const std::string& text, Personality personality = Personality::kStream) {
    FileSpec spec;
    return ParseFileSpec(text, personality, &spec);
}

using Names = std::vector<std::string>;

TEST(FileSpecParse, UnixFormGivesDirectoriesAndName) {
    FileSpec spec = Parse("dir/sub/file.txt");
    EXPECT_EQ(spec.directories, (Names{"dir", "sub"}));
    EXPECT_EQ(spec.name, "file.txt");
    EXPECT_FALSE(spec.namesDirectory);
    spec = Parse("dir/sub/");
    EXPECT_EQ(spec.directories, (Names{"dir", "sub"}));
    EXPECT_TRUE(spec.namesDirectory);
    spec = Parse("");
    EXPECT_TRUE(spec.directories.empty());
    EXPECT_TRUE(spec.namesDirectory);
    // A ";" is part of a stream name, a version in records.
    EXPECT_EQ(Parse("a;1").name, "a;1");
    EXPECT_EQ(Parse("a.txt;1", Personality::kRecords).name, "a.txt");
}

TEST(FileSpecParse, BracketedFormDropsDeviceVersionAndTheRootDirectory) {
    FileSpec spec = Parse("DUA0:[DIR.SUB]FILE.TXT;12");
    EXPECT_EQ(spec.directories, (Names{"DIR", "SUB"}));
    EXPECT_EQ(spec.name, "FILE.TXT");
    EXPECT_EQ(Parse("[000000]A.B").directories, Names{});
    EXPECT_EQ(Parse("[000000.X]A").directories, (Names{"X"}));
    EXPECT_EQ(Parse("[.X]A").directories, (Names{"X"}));
    EXPECT_EQ(Parse("<X.Y>A").directories, (Names{"X", "Y"}));
    spec = Parse("[A.B]");
    EXPECT_EQ(spec.directories, (Names{"A", "B"}));
    EXPECT_TRUE(spec.namesDirectory);
}

TEST(FileSpecParse, ABracketInsideANameIsPartOfIt) {
    // Only at the start, or behind a device, does a bracket open directories.
    FileSpec spec = Parse("tmp/old[1]");
    EXPECT_EQ(spec.directories, (Names{"tmp"}));
    EXPECT_EQ(spec.name, "old[1]");
    spec = Parse("build[old]*");
    EXPECT_TRUE(spec.directories.empty());
    EXPECT_EQ(spec.name, "build[old]*");
    EXPECT_TRUE(spec.wildcard);
    EXPECT_EQ(Parse("reports/Q1<draft>.txt").name, "Q1<draft>.txt");
    EXPECT_EQ(Parse("NODE::DEV:[A]B").directories, (Names{"A"}));
    EXPECT_EQ(Parse("x/DEV:[A]B").directories, (Names{"x"}));
    EXPECT_EQ(Parse("x/DEV:[A]B").name, "DEV:[A]B");
}

TEST(FileSpecParse, EscapesSyntaxErrorsAndWildcardDirectoriesAreRefused) {
    for (const char* text : {"..", "../x", "a/../b", "/etc/passwd", "[-]X", "[A.-]X", "[A]..", "[A]."}) {
        EXPECT_EQ(ErrorOf(text), SpecError::kEscape) << text;
    }
    for (const char* text : {"[A", "[A..B]X", "[A.]X", "[A]B]", "[A/B]X", "[A]B/C"}) {
        EXPECT_EQ(ErrorOf(text), SpecError::kSyntax) << text;
    }
    EXPECT_EQ(ErrorOf(std::string("a\0b", 3)), SpecError::kSyntax);
    EXPECT_EQ(ErrorOf("[A...]X"), SpecError::kWildcardDirectory);
    EXPECT_EQ(ErrorOf("[*]X"), SpecError::kWildcardDirectory);
    EXPECT_EQ(ErrorOf("d*/x"), SpecError::kWildcardDirectory);
    EXPECT_TRUE(Parse("dir/*.t%t").wildcard);
}

TEST(FileSpecParse, PrintableSpecEscapesControlBytes) {
    EXPECT_EQ(PrintableSpec("a\nb\\c"), "a\\x0ab\\x5cc");
    // A quote cannot end the file field, nor a space the user field, and
    // bytes above 0x7E (8-bit terminal controls among them) go escaped.
    EXPECT_EQ(PrintableSpec("a\" b"), "a\\x22 b");
    EXPECT_EQ(PrintableSpec("x op=y", true), "x\\x20op=y");
    EXPECT_EQ(PrintableSpec("\x9b\xc3\xa9"), "\\x9b\\xc3\\xa9");
}

}  // namespace
}  // namespace zeld

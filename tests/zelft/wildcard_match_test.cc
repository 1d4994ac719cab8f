// The names a wildcard get copies: which listed names fit a pattern as Unix
// and NAME.TYPE;VERSION servers read it.
#include <gtest/gtest.h>

#include "zelft/wildcard_match.h"

namespace zelft {
namespace {

using namespace std::string_view_literals;

TEST(ListedNameFits, NamesOutsideThePatternDoNotFit) {
    EXPECT_FALSE(ListedNameFits("*.txt", ".bashrc"));
    EXPECT_FALSE(ListedNameFits("*.txt", ".profile"));
    EXPECT_FALSE(ListedNameFits("*.txt", "notes.txt.sh"));
    EXPECT_FALSE(ListedNameFits("%.log", "ab.log"));
    EXPECT_FALSE(ListedNameFits("readme", "READMEX.TXT"));
    // ".bashrc;1" comes here as ".bashrc": the "1" of "*1" cannot be its version.
    EXPECT_FALSE(ListedNameFits("*1", ".bashrc"));
}

TEST(ListedNameFits, EmptyDotAndDotDotNeverFit) {
    for (const char* pattern : {"*", "*.*", "*;*", "%", "%%", "..", "."}) {
        EXPECT_FALSE(ListedNameFits(pattern, "")) << pattern;
        EXPECT_FALSE(ListedNameFits(pattern, ".")) << pattern;
        EXPECT_FALSE(ListedNameFits(pattern, "..")) << pattern;
    }
}

TEST(ListedNameFits, NamesWithADirectoryNeverFit) {
    // "*" and "%" match a "/" too: a listed "[]../../evil.txt" comes here
    // as "../../evil.txt", which "*.txt" matches as a string.
    for (const char* pattern : {"*", "*.txt", "*.*", "*;*", "../*", "*/*", "%%/%.txt"}) {
        for (const char* name : {"../../evil.txt", "../.bashrc", "sub/z.txt", "/etc/x.txt", "a/b.txt"}) {
            EXPECT_FALSE(ListedNameFits(pattern, name)) << pattern << " " << name;
        }
        EXPECT_FALSE(ListedNameFits(pattern, "a.txt\0b.txt"sv)) << pattern;
    }
}

TEST(ListedNameFits, NamesAsAUnixServerListsThem) {
    EXPECT_TRUE(ListedNameFits("*.txt", "notes.txt"));
    EXPECT_TRUE(ListedNameFits("*", ".bashrc"));
    EXPECT_TRUE(ListedNameFits("%.log", "a.log"));
    EXPECT_TRUE(ListedNameFits("*.txt", "data;bak.txt"));
    EXPECT_TRUE(ListedNameFits("*.txt", "line\nbreak.txt"));
    // "rep;1" and "notes;1" are listed whole and copied without the version.
    EXPECT_TRUE(ListedNameFits("rep*", "rep"));
    EXPECT_TRUE(ListedNameFits("*;1", "notes"));
    EXPECT_TRUE(ListedNameFits("a;*;1", "a;b"));
    // A bracketed name drops its version before matching: "[SUB]a%b;1".
    EXPECT_TRUE(ListedNameFits("a%b;1", "a.b"));
}

TEST(ListedNameFits, NamesAsANameTypeVersionServerListsThem) {
    // Listed "A.TXT;1", "README.;1", "README.TXT;1", "FOOD.DAT;1": case and
    // the pattern's version do not count, a pattern without a type has any.
    EXPECT_TRUE(ListedNameFits("*.txt", "A.TXT"));
    EXPECT_TRUE(ListedNameFits("*.TXT;*", "A.TXT"));
    EXPECT_TRUE(ListedNameFits("*.txt;2", "A.TXT"));
    EXPECT_TRUE(ListedNameFits("readme*", "README."));
    EXPECT_TRUE(ListedNameFits("read%e", "README.TXT"));
    EXPECT_TRUE(ListedNameFits("foo%", "FOOD.DAT"));
    EXPECT_TRUE(ListedNameFits("*", "A.TXT"));
    EXPECT_FALSE(ListedNameFits("*.TXT", ".BASHRC"));
    EXPECT_FALSE(ListedNameFits("*.TXT", "A.DAT"));
}

}  // namespace
}  // namespace zelft

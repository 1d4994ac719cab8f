// The wildcard matcher of file names: "*" any run, "%" one character, and
// a "*" that gives back what a later part of the pattern needs.
#include <gtest/gtest.h>

#include "wire/wildcard.h"

namespace wire {
namespace {

TEST(WildcardMatch, StarIsAnyRunAndPercentExactlyOneCharacter) {
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_TRUE(WildcardMatch("*.TXT", "A.TXT"));
    EXPECT_FALSE(WildcardMatch("*.TXT", "A.TXT2"));
    EXPECT_TRUE(WildcardMatch("A%C", "ABC"));
    EXPECT_FALSE(WildcardMatch("A%C", "AC"));
    EXPECT_TRUE(WildcardMatch("*A*B*", "xxAyyAzzB"));
    EXPECT_FALSE(WildcardMatch("*A*B*", "xxByyA"));
    EXPECT_TRUE(WildcardMatch("%*%", "ab"));
    EXPECT_FALSE(WildcardMatch("%*%", "a"));
    EXPECT_FALSE(WildcardMatch("abc", "ab"));
    EXPECT_TRUE(WildcardMatch("*.txt", ".txt"));
    EXPECT_FALSE(WildcardMatch("%.log", ".log"));
    EXPECT_TRUE(WildcardMatch("a**b", "ab"));
    EXPECT_FALSE(WildcardMatch("", "x"));
    EXPECT_TRUE(WildcardMatch("", ""));
}

TEST(WildcardMatch, AStarGivesBackWhatALaterPartNeeds) {
    EXPECT_TRUE(WildcardMatch("a*b*c", "axxbxxbc"));
    EXPECT_TRUE(WildcardMatch("*ab", "aab"));
    EXPECT_TRUE(WildcardMatch("*%%", "abc"));
    EXPECT_FALSE(WildcardMatch("a*b*c", "axxbxxb"));
    EXPECT_FALSE(WildcardMatch("*%%%%", "abc"));
}

TEST(WildcardMatch, ComparesBytesAsTheyAre) {
    EXPECT_FALSE(WildcardMatch("*.txt", "A.TXT"));
    EXPECT_TRUE(WildcardMatch("line*", "line\nbreak"));
    EXPECT_TRUE(WildcardMatch("o'%eil", "o'neil"));
}

}  // namespace
}  // namespace wire

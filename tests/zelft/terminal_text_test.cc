// Text from a server shown to a person: no control character reaches the
// terminal, whatever byte the server put in a name.
#include "zelft/terminal_text.h"

#include <gtest/gtest.h>

namespace zelft {
namespace {

TEST(TerminalText, ControlCharactersAndDeleteShowAsQuestionMarks) {
    EXPECT_EQ(Printable("plain name.txt"), "plain name.txt");
    EXPECT_EQ(Printable("e\x1b]0;PWNED\a\x1b[31mred"), "e?]0;PWNED??[31mred");
    EXPECT_EQ(Printable(std::string("nul\0x\x7f", 6)), "nul?x?");
    EXPECT_EQ(Printable("two\nlines\ttab\r"), "two?lines?tab?");
    // UTF-8 characters are left to the terminal's character set, and so are
    // bytes above 0x9F; the 8-bit controls are not, encoded or bare.
    EXPECT_EQ(Printable("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"), "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(Printable("a\xc2\x9b" "2Jb"), "a?2Jb");
    EXPECT_EQ(Printable("a\x9b" "2Jb\xe9"), "a?2Jb\xe9");
    EXPECT_EQ(Printable("cut \xe2\x82"), "cut \xe2?");  // a sequence cut short: its bytes one by one
}

TEST(TerminalText, AListingKeepsItsOwnLinesButNotTheLineFeedsAndTabsOfNames) {
    EXPECT_EQ(PrintableLines("'a'  -F1 \r\n'b\x1b[2J\nc'\t-F2 \r\n"), "'a'  -F1 \n'b?[2J?c'?-F2 \n");
    EXPECT_EQ(PrintableLines("no line end"), "no line end");
}

TEST(TerminalText, ACrLfInsideAQuotedNameShowsAsQuestionMarks) {
    // As a lone CR or LF does: one '?' each.
    EXPECT_EQ(PrintableLines("'a'  -F1 \r\n'b\r\nc'  -F2 \r\n'after'  -F3 \r\n"),
              "'a'  -F1 \n'b??c'  -F2 \n'after'  -F3 \n");
    // A doubled apostrophe does not end the name; the one after it does.
    EXPECT_EQ(PrintableLines("'o''\r\nneil'''  -F1 \r\n'x'  -F2 \r\n"), "'o''??neil'''  -F1 \n'x'  -F2 \n");
    // The name of a full listing's entry, its dates and blank line after it.
    EXPECT_EQ(PrintableLines("'two\r\nlines'  -F1  01-JAN-24 00:00:00\r\n\r\n"),
              "'two??lines'  -F1  01-JAN-24 00:00:00\n\n");
    // Only a quote that opens a line and closes is a name's.
    EXPECT_EQ(PrintableLines("'unclosed\r\nnext\r\n"), "'unclosed\nnext\n");
    EXPECT_EQ(PrintableLines("Directory N::'a\r\nb'  -F1 \r\n"), "Directory N::'a\nb'  -F1 \n");
}

}  // namespace
}  // namespace zelft

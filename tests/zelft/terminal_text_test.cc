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
    // Bytes above DEL are left to the terminal's character set (UTF-8 names).
    EXPECT_EQ(Printable("caf\xc3\xa9"), "caf\xc3\xa9");
}

TEST(TerminalText, AListingKeepsItsOwnLinesAndTabs) {
    EXPECT_EQ(Printable("'a'  -F1 \n'b\x1b[2J'\t-F2 \n", true), "'a'  -F1 \n'b?[2J'\t-F2 \n");
}

}  // namespace
}  // namespace zelft

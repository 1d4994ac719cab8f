// Protection texts both ways: granted letters in the text, denying bits in
// the library's record.
#include <gtest/gtest.h>

#include "zelft/protection_text.h"

namespace zelft {
namespace {

RfaProtectionRecord Parsed(const std::string& text) {
    RfaProtectionRecord record{};
    std::string error;
    EXPECT_TRUE(ParseProtection(text, &record, &error)) << text << ": " << error;
    return record;
}

TEST(ProtectionText, EachClassDeniesWhatItsLettersLeaveOut) {
    const RfaProtectionRecord record = Parsed("S:RWED,O:RWED,G:RE,W:");
    EXPECT_EQ(record.present, RFA_PROT_SYSTEM | RFA_PROT_OWNER_ACCESS | RFA_PROT_GROUP | RFA_PROT_WORLD);
    EXPECT_EQ(record.system, 0x00u);
    EXPECT_EQ(record.ownerAccess, 0x00u);
    EXPECT_EQ(record.group, 0x02u | 0x08u);  // no write, no delete
    EXPECT_EQ(record.world, 0x0Fu);
}

TEST(ProtectionText, FormatsTheRecordTheSameWayBack) {
    for (const std::string text : {"S:RWED,O:RWED,G:RE,W:", "S:R,O:W,G:E,W:D", "O:RW", "S:,W:RWED"}) {
        EXPECT_EQ(FormatProtection(Parsed(text)), text);
    }
}

TEST(ProtectionText, OrderAndCaseOfTheInputDoNotMatter) {
    EXPECT_EQ(FormatProtection(Parsed("w:r,g:dr,o:ewr,s:d")), "S:D,O:RWE,G:RD,W:R");
}

TEST(ProtectionText, OnlyPresentClassesAreShown) {
    RfaProtectionRecord record{};
    record.present = RFA_PROT_OWNER | RFA_PROT_GROUP;
    record.group = 0x05;
    record.world = 0x0F;  // not present: not shown
    EXPECT_EQ(FormatProtection(record), "G:WD");
}

TEST(ProtectionText, MalformedTextsAreRefused) {
    for (const std::string text : {"", "S", "S:RWX", "X:R", "S:RR", "S:R,S:W", "S:R,", ",S:R", "SR", "S:R;O:W"}) {
        RfaProtectionRecord record{};
        std::string error;
        EXPECT_FALSE(ParseProtection(text, &record, &error)) << "'" << text << "'";
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace zelft

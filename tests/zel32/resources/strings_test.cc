#include "zel32/resources/strings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StringTable, MessageTypeNames) {
    EXPECT_STREQ(ZelMessageTypeName(0), "Unknown");
    EXPECT_STREQ(ZelMessageTypeName(5), "Continue Transfer");
    EXPECT_STREQ(ZelMessageTypeName(18), "CDA Semantics");
    EXPECT_STREQ(ZelMessageTypeName(19), "");
}

TEST(StringTable, OperationNames) {
    EXPECT_STREQ(ZelOperationName(0), "Unknown");
    EXPECT_STREQ(ZelOperationName(7), "Read Remote File");
    EXPECT_STREQ(ZelOperationName(19), "Ioctl");
    EXPECT_STREQ(ZelOperationName(20), "Unknown");
}

TEST(StringTable, FieldNamesByMessageAndField) {
    EXPECT_STREQ(ZelString(100), "MISC - Unspecified ZEL message error");
    EXPECT_STREQ(ZelString(206), "CNF - Buffer size field (BUFSIZ)");
    EXPECT_STREQ(ZelString(307), "ATT - ATTMENU");
    EXPECT_STREQ(ZelString(400), "ACC - Unknown Field");
    EXPECT_STREQ(ZelString(1120), "DTM - ADTB");
    EXPECT_STREQ(ZelString(1409), "CDA - SEMACCESSED");
    // Message and field numbers as a Status carries them: type << 6 | field.
    EXPECT_STREQ(ZelFieldName(3 << 6 | 16), "ACC - ACCFUNC");
    EXPECT_STREQ(ZelFieldName(1 << 6 | 16), "CNF - Buffer size field (BUFSIZ)");
    EXPECT_STREQ(ZelFieldName(1 << 6 | 12), "CNF - BITCNT field (BITCNT)");
    EXPECT_STREQ(ZelFieldName(1 << 6 | 13), "");  // no SYSSPEC in a Configuration
    EXPECT_STREQ(ZelFieldName(2 << 6 | 13), "ATT - SYSSPEC");
    EXPECT_STREQ(ZelFieldName(0 << 6 | 9), "MISC - ZEL message checksum (MSGCHK) error");
    EXPECT_STREQ(ZelFieldName(2 << 6 | 39), "");  // past the last Attributes field
    EXPECT_STREQ(ZelFieldName(6 << 6 | 13), "ACK - SYSSPEC");
    EXPECT_STREQ(ZelFieldName(6 << 6 | 16), "");
    EXPECT_STREQ(ZelFieldName(10 << 6 | 0), "");  // a type without names
    EXPECT_STREQ(ZelFieldName(2 << 6 | 3), "");   // fields 1 to 7 have no names
}

TEST(StringTable, OperationalStatusTexts) {
    EXPECT_STREQ(ZelOperationalText(0x00), "Unspecified error");
    EXPECT_STREQ(ZelOperationalText(0x27), "end-of-file");
    EXPECT_STREQ(ZelOperationalText(0x32), "file not found");
    EXPECT_STREQ(ZelOperationalText(0x55), "");
    EXPECT_STREQ(ZelOperationalText(0xE4), "invalid wildcard operation");
    EXPECT_STREQ(ZelOperationalText(0x99), "");
}

TEST(StringTable, TraceFormats) {
    EXPECT_EQ(std::string(ZelString(kTraceSentFormat)).rfind("\r\n\r\n-> TRANSMITTED %s message", 0), 0u);
    EXPECT_EQ(std::string(ZelString(kTraceStatisticsFormat)), ZEL_TRACE_STATISTICS_FORMAT);
    EXPECT_STREQ(ZelString(6203), "");
}

}  // namespace

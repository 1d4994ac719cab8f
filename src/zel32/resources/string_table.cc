// The string table: field names of message errors (100 to 1409), the texts
// of operational status codes (5000 to 5020), message type names (6000 to
// 6018), operation names (6100 to 6119) and the trace formats (6200 to 6202).
#include "zel32/resources/strings.h"

#include <algorithm>
#include <iterator>

namespace {

struct StringRow {
    int id;
    const char* text;
};

constexpr StringRow kStrings[] = {
    {100, "MISC - Unspecified ZEL message error"},
    {101, "MISC - ZEL message type field (TYPE) error"},
    {102, "MISC - ZEL message checksum (MSGCHK) error"},
    {200, "CNF - Unknown field"},
    {201, "CNF - ZEL message flags field (FLAGS)"},
    {202, "CNF - Data stream id field (STREAMID)"},
    {203, "CNF - Length field (LENGTH)"},
    {204, "CNF - Length extension field (LEN256)"},
    {205, "CNF - BITCNT field (BITCNT)"},
    {206, "CNF - Buffer size field (BUFSIZ)"},
    {207, "CNF - Operating system type field (OSTYPE)"},
    {208, "CNF - File system type field (FILESYS)"},
    {209, "CNF - ZEL version number field (VERNUM)"},
    {210, "CNF - ECO version number field (ECONUM)"},
    {211, "CNF - User protocol version number field (USRNUM)"},
    {212, "CNF - VOR software release number field (VORVER)"},
    {213, "CNF - User software release number field (USRVER)"},
    {214, "CNF - System capabilities field (SYSCAP)"},
    {300, "ATT - Unknown field"},
    {301, "ATT - FLAGS"},
    {302, "ATT - STREAMID"},
    {303, "ATT - LENGTH"},
    {304, "ATT - LEN256"},
    {305, "ATT - BITCNT"},
    {306, "ATT - SYSSPEC"},
    {307, "ATT - ATTMENU"},
    {308, "ATT - DATATYPE"},
    {309, "ATT - ORG"},
    {310, "ATT - RFM"},
    {311, "ATT - RAT"},
    {312, "ATT - BLS"},
    {313, "ATT - MRS"},
    {314, "ATT - ALQ"},
    {315, "ATT - BKS"},
    {316, "ATT - FSZ"},
    {317, "ATT - MRN"},
    {318, "ATT - RUNSYS"},
    {319, "ATT - DEQ"},
    {320, "ATT - FOP"},
    {321, "ATT - BSZ"},
    {322, "ATT - DEV"},
    {323, "ATT - SDC"},
    {324, "ATT - LRL"},
    {325, "ATT - HBK"},
    {326, "ATT - EBK"},
    {327, "ATT - FFB"},
    {328, "ATT - SBN"},
    {329, "ATT - JNL"},
    {400, "ACC - Unknown Field"},
    {401, "ACC - FLAGS"},
    {402, "ACC - STREAMID"},
    {403, "ACC - LENGTH"},
    {404, "ACC - LEN256"},
    {405, "ACC - BITCNT"},
    {406, "ACC - SYSSPEC"},
    {407, "ACC - ACCFUNC"},
    {408, "ACC - ACCOPT"},
    {409, "ACC - FILESPEC"},
    {410, "ACC - FAC"},
    {411, "ACC - SHR"},
    {412, "ACC - DISPLAY"},
    {413, "ACC - PASSWORD"},
    {500, "CTL - Unknown field"},
    {501, "CTL - FLAGS"},
    {502, "CTL - STREAMID"},
    {503, "CTL - LENGTH"},
    {504, "CTL - LEN256"},
    {505, "CTL - BITCNT"},
    {506, "CTL - SYSSPEC"},
    {507, "CTL - CTLFUNC"},
    {508, "CTL - CTLMENU"},
    {509, "CTL - RAC"},
    {510, "CTL - KEY"},
    {511, "CTL - KRF"},
    {512, "CTL - ROP"},
    {513, "CTL - HSH"},
    {514, "CTL - DISPLAY"},
    {515, "CTL - BLKCNT"},
    {516, "CTL - USZ"},
    {600, "CTR - Unknown field"},
    {601, "CTR - FLAGS"},
    {602, "CTR - STREAMID"},
    {603, "CTR - LENGTH"},
    {604, "CTR - LEN256"},
    {605, "CTR - BITCNT"},
    {606, "CTR - SYSSPEC"},
    {607, "CTR - CONFUNC"},
    {700, "ACK - Unknown field"},
    {701, "ACK - FLAGS"},
    {702, "ACK - STREAMID"},
    {703, "ACK - LENGTH"},
    {704, "ACK - LEN256"},
    {705, "ACK - BITCNT"},
    {706, "ACK - SYSSPEC"},
    {800, "CMP - Unknown field"},
    {801, "CMP - FLAGS"},
    {802, "CMP - STREAMID"},
    {803, "CMP - LENGTH"},
    {804, "CMP - LEN256"},
    {805, "CMP - BITCNT"},
    {806, "CMP - SYSSPEC"},
    {807, "CMP - CMPFUNC"},
    {808, "CMP - FOP"},
    {809, "CMP - CHECK"},
    {900, "DAT - Unknown field"},
    {901, "DAT - FLAGS"},
    {902, "DAT - STREAMID"},
    {903, "DAT - LENGTH"},
    {904, "DAT - LEN256"},
    {905, "DAT - BITCNT"},
    {906, "DAT - SYSSPEC"},
    {907, "DAT - RECNUM"},
    {908, "DAT - FILEDATA"},
    {1000, "STA - Unknown field"},
    {1001, "STA - FLAGS"},
    {1002, "STA - STREAMID"},
    {1003, "STA - LENGTH"},
    {1004, "STA - LEN256"},
    {1005, "STA - BITCNT"},
    {1006, "STA - SYSSPEC"},
    {1007, "STA - MACCODE"},
    {1008, "STA - MICCODE"},
    {1009, "STA - RFA"},
    {1010, "STA - RECNUM"},
    {1011, "STA - STV"},
    {1012, "STA - STX"},
    {1100, "DTM - Unknown field"},
    {1101, "DTM - FLAGS"},
    {1102, "DTM - STREAMID"},
    {1103, "DTM - LENGTH"},
    {1104, "DTM - LEN256"},
    {1105, "DTM - BITCNT"},
    {1106, "DTM - SYSSPEC"},
    {1107, "DTM - DATMENU"},
    {1108, "DTM - CDT"},
    {1109, "DTM - RDT"},
    {1110, "DTM - EDT"},
    {1111, "DTM - RVN"},
    {1112, "DTM - BDT"},
    {1113, "DTM - PDT"},
    {1114, "DTM - ADT"},
    {1115, "DTM - CDTB"},
    {1116, "DTM - RDTB"},
    {1117, "DTM - EDTB"},
    {1118, "DTM - BDTB"},
    {1119, "DTM - PDTB"},
    {1120, "DTM - ADTB"},
    {1200, "PRO - Unknown field"},
    {1201, "PRO - FLAGS"},
    {1202, "PRO - STREAMID"},
    {1203, "PRO - LENGTH"},
    {1204, "PRO - LEN256"},
    {1205, "PRO - BITCNT"},
    {1206, "PRO - SYSSPEC"},
    {1207, "PRO - PROTMENU"},
    {1208, "PRO - OWNER"},
    {1209, "PRO - PROTSYS"},
    {1210, "PRO - PROTOWN"},
    {1211, "PRO - PROTGRP"},
    {1212, "PRO - PROTWLD"},
    {1300, "NAM - Unknown field"},
    {1301, "NAM - FLAGS"},
    {1302, "NAM - STREAMID"},
    {1303, "NAM - LENGTH"},
    {1304, "NAM - LEN256"},
    {1305, "NAM - BITCNT"},
    {1306, "NAM - SYSSPEC"},
    {1307, "NAM - NAMETYPE"},
    {1308, "NAM - NAMESPEC"},
    {1400, "CDA - Unknown field"},
    {1401, "CDA - FLAGS"},
    {1402, "CDA - STREAMID"},
    {1403, "CDA - LENGTH"},
    {1404, "CDA - LEN256"},
    {1405, "CDA - BITCNT"},
    {1406, "CDA - SYSSPEC"},
    {1407, "CDA - SEMMENU"},
    {1408, "CDA - SEMSTORED"},
    {1409, "CDA - SEMACCESSED"},
    {5000, "Unspecified error"},
    {5001, "Operation aborted"},
    {5002, "bad device, no such device or inappropriate device type"},
    {5003, "error in directory name"},
    {5004, "directory not found"},
    {5005, "end-of-file"},
    {5006, "illegal FAC for REC-OP, 0, or FB$PUT not set for CREATE"},
    {5007, "file already exists"},
    {5008, "file is locked by other user"},
    {5009, "file not found"},
    {5010, "DEVICE/FILE full"},
    {5011, "MRS value=0 for fixed length records.  Also 0 for relative files"},
    {5013, "file read error"},
    {5014, "file write error (STV=sys err code)"},
    {5015, "default directory invalid"},
    {5016, "spool or submit command file failure"},
    {5017, "ZEL file transfer Checksum error"},
    {5018, "Disk Quota exceeded"},
    {5019, "Zel Protocol error detected (STV=ZEL code)"},
    {5020, "invalid wildcard operation"},
    {6000, "Unknown"},
    {6001, "Configuration"},
    {6002, "Attributes"},
    {6003, "Access"},
    {6004, "Control"},
    {6005, "Continue Transfer"},
    {6006, "Acknowledge"},
    {6007, "Access Complete"},
    {6008, "Data"},
    {6009, "Status"},
    {6010, "Key"},
    {6011, "Allocation"},
    {6012, "Summary Attributes"},
    {6013, "Date and Time"},
    {6014, "Protection"},
    {6015, "Name"},
    {6016, "Access Control List"},
    {6017, "Collating Sequence"},
    {6018, "CDA Semantics"},
    {6100, "Unknown"},
    {6101, "Open Link"},
    {6102, "Close Link"},
    {6103, "Listen"},
    {6104, "Abort"},
    {6105, "Copy File"},
    {6106, "Open Remote File"},
    {6107, "Read Remote File"},
    {6108, "Write Remote File"},
    {6109, "Close Remote File"},
    {6110, "Cwd"},
    {6111, "Delete File"},
    {6112, "Dir"},
    {6113, "Md"},
    {6114, "Rd"},
    {6115, "Print File"},
    {6116, "Protection"},
    {6117, "Rename File"},
    {6118, "Submit File"},
    {6119, "Ioctl"},
    {kTraceSentFormat, ZEL_TRACE_SENT_FORMAT},
    {kTraceReceivedFormat, ZEL_TRACE_RECEIVED_FORMAT},
    {kTraceStatisticsFormat, ZEL_TRACE_STATISTICS_FORMAT},
};

// (MICCODE, string id) of the operational status texts, searched from the top.
struct OperationalRow {
    uint16_t miccode;
    int id;
};

constexpr OperationalRow kOperationalTexts[] = {
    {0x00, 5000},
    {0x01, 5001},
    {0x1D, 5002},
    {0x1E, 5003},
    {0x20, 5004},
    {0x27, 5005},
    {0x2C, 5006},
    {0x2D, 5007},
    {0x30, 5008},
    {0x32, 5009},
    {0x35, 5010},
    {0x4A, 5011},
    {0x55, 5012},
    {0x5A, 5013},
    {0x73, 5014},
    {0x77, 5015},
    {0xC6, 5016},
    {0xC8, 5017},
    {0xC9, 5018},
    {0xD2, 5019},
    {0xE4, 5020},
};

}  // namespace

const char* ZelString(int id) {
    const auto* end = std::end(kStrings);
    const auto* row = std::lower_bound(std::begin(kStrings), end, id,
                                       [](const StringRow& r, int wanted) { return r.id < wanted; });
    return row != end && row->id == id ? row->text : "";
}

const char* ZelMessageTypeName(unsigned type) { return type <= 18 ? ZelString(6000 + static_cast<int>(type)) : ""; }

const char* ZelOperationName(unsigned operation) {
    return ZelString(6100 + static_cast<int>(operation <= 19 ? operation : 0));
}

const char* ZelOperationalText(uint16_t miccode) {
    for (const OperationalRow& row : kOperationalTexts) {
        if (row.miccode == miccode) return ZelString(row.id);
    }
    return "";
}

int ZelFieldNameId(unsigned type, unsigned field) {
    // Highest named field of each message's block; 0 where a type has none.
    constexpr unsigned kHighestField[19] = {9, 24, 38, 22, 25, 16, 13, 18, 17, 21, 0, 0, 0, 29, 21, 17, 0, 0, 18};
    int base;
    if (type <= 9) {
        base = 100 * static_cast<int>(type + 1);
    } else if (type >= 13 && type <= 15) {
        base = 1100 + 100 * static_cast<int>(type - 13);
    } else if (type == 18) {
        base = 1400;
    } else {
        return 0;
    }
    if (field > kHighestField[type]) return 0;
    if (type == 0) return field == 0 ? 100 : field == 8 ? 101 : field == 9 ? 102 : 0;
    if (field == 0) return base;
    if (field >= 8 && field <= 13) {
        // The Configuration message has no SYSSPEC field.
        if (type == 1 && field == 13) return 0;
        return base + static_cast<int>(field - 7);
    }
    if (field >= 16) return base + (type == 1 ? 6 : 7) + static_cast<int>(field - 16);
    return 0;
}

const char* ZelFieldName(uint16_t miccode) {
    const int id = ZelFieldNameId((miccode >> 6) & 0x3F, miccode & 0x3F);
    return id == 0 ? "" : ZelString(id);
}

#include "zelft/status_texts.h"

#include <cstdio>
#include <iterator>

namespace zelft {
namespace {

// MACCODE classes; 3 and 11 to 15 have no name.
constexpr const char* kMaccodeNames[16] = {
    "Pending", "Successful", "Unsupported", "", "File Open", "Transfer Error", "Transfer Warning",
    "Access Termination", "Format", "Invalid", "Sync Error", "", "", "", "", "",
};

// MACCODE classes whose MICCODE is a message type and field number rather
// than an operational error number.
bool NamesMessageField(unsigned maccode) { return maccode == 2 || maccode == 8 || maccode == 9; }

struct MiccodeText {
    unsigned miccode;
    const char* text;
};

// Operational error numbers.
constexpr MiccodeText kOperationalTexts[] = {
    {0x00, "unspecified error"},
    {0x01, "operation aborted"},
    {0x1D, "bad device, no such device or inappropriate device type"},
    {0x1E, "error in directory name"},
    {0x20, "directory not found"},
    {0x25, "file protected"},
    {0x27, "end of file"},
    {0x2C, "illegal access for this operation"},
    {0x2D, "file already exists"},
    {0x30, "file is locked by another user"},
    {0x32, "file not found"},
    {0x35, "device or file full"},
    {0x4A, "record size 0 for fixed length records"},
    {0x55, "privilege violation"},
    {0x5A, "file read error"},
    {0x73, "file write error"},
    {0x77, "default directory invalid"},
    {0x97, "device full"},
    {0xC6, "spool or submit command file failure"},
    {0xC8, "file transfer checksum error"},
    {0xC9, "disk quota exceeded"},
    {0xD2, "protocol error detected"},
    {0xE4, "invalid wildcard operation"},
};

// Message types, for the MICCODE of a message error.
constexpr const char* kMessageNames[] = {
    "no particular message", "Configuration", "Attributes", "Access", "Control", "Continue Transfer",
    "Acknowledge", "Access Complete", "Data", "Status", "Key", "Allocation", "Summary Attributes",
    "Date and Time", "Protection", "Name", "Access Control List", "Collating Sequence", "CDA Semantics",
};

const char* OperationalText(unsigned miccode) {
    for (const MiccodeText& row : kOperationalTexts) {
        if (row.miccode == miccode) return row.text;
    }
    return "";
}

struct TransportError {
    int32_t number;
    const char* words;
};

// The BSD error numbers the transport reports.
constexpr TransportError kTransportErrors[] = {
    {2, "no such object on the node"},
    {13, "refused by the server"},
    {22, "invalid argument"},
    {38, "not a connection"},
    {40, "message too long"},
    {49, "host name not resolved"},
    {51, "network unreachable"},
    {54, "connection reset"},
    {55, "the server is busy or out of resources"},
    {60, "timed out"},
    {61, "connection refused"},
    {64, "host down"},
};

}  // namespace

bool DescribeRemoteStatus(int32_t errorValue, std::string* text) {
    if (errorValue <= 0) return false;
    const auto value = static_cast<uint32_t>(errorValue);
    unsigned maccode;
    unsigned miccode;
    if (value > 0xFFFF) {
        maccode = value >> 16;
        miccode = value & 0xFFFF;
    } else {
        maccode = value >> 12;
        miccode = value & 0xFFF;
    }
    if (maccode > 15 || miccode > 0xFFF) return false;

    char buffer[160];
    const char* name = kMaccodeNames[maccode];
    int used = *name != '\0' ? std::snprintf(buffer, sizeof buffer, "MACCODE %u (%s), MICCODE 0x%X", maccode, name, miccode)
                             : std::snprintf(buffer, sizeof buffer, "MACCODE %u, MICCODE 0x%X", maccode, miccode);
    if (NamesMessageField(maccode)) {
        const unsigned type = miccode >> 6;
        const unsigned field = miccode & 0x3F;
        const char* message = type < std::size(kMessageNames) ? kMessageNames[type] : "unknown message";
        std::snprintf(buffer + used, sizeof buffer - static_cast<size_t>(used), ": %s message, field %u", message,
                      field);
    } else if (*OperationalText(miccode) != '\0') {
        std::snprintf(buffer + used, sizeof buffer - static_cast<size_t>(used), ": %s", OperationalText(miccode));
    }
    *text = buffer;
    return true;
}

const char* TransportErrorWords(int32_t errorDetail) {
    for (const TransportError& row : kTransportErrors) {
        if (row.number == errorDetail) return row.words;
    }
    return "";
}

}  // namespace zelft

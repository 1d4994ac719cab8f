// The string tables: names of message types, operations and message fields,
// texts of operational status codes and the trace's formats, by id.
#pragma once

#include <cstdint>

// The text of a string id, or "" when the table has none.
const char* ZelString(int id);
// Message type 0 to 18 (6000 + type); "" for 19 and above.
const char* ZelMessageTypeName(unsigned type);
// Operation 0 to 19 (6100 + operation); others give "Unknown".
const char* ZelOperationName(unsigned operation);
// The text of an operational MICCODE, "" when it has none.
const char* ZelOperationalText(uint16_t miccode);
// The string id naming field `field` of message `type`, or 0 when unnamed.
int ZelFieldNameId(unsigned type, unsigned field);
// The field name of a message-and-field MICCODE (type in bits 6 to 11).
const char* ZelFieldName(uint16_t miccode);

// The trace formats, as literals so that their use is checked at compile time.
constexpr int kTraceSentFormat = 6200;
constexpr int kTraceReceivedFormat = 6201;
constexpr int kTraceStatisticsFormat = 6202;
#define ZEL_TRACE_SENT_FORMAT \
    "\r\n\r\n-> TRANSMITTED %s message (%s) to node %s (Session %d)\r\n    length = %d on %s (Operation = %s)\r\n"
#define ZEL_TRACE_RECEIVED_FORMAT \
    "\r\n\r\n-> RECEIVED %s message (%s) from node %s (Session %d)\r\n    length = %d on %s (Operation = %s)\r\n"
#define ZEL_TRACE_STATISTICS_FORMAT "\r\n\r\nStatistics of Session %d:\r\n\r\n Number Messages Sent/Received:\r\n"

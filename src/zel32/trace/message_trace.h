// The message trace: a readable record of every message a traced link sends
// and receives, with a hex dump, the send block lines and the Status lines,
// written to the link's trace file; and the message statistics at close.
#pragma once

#include <cstddef>
#include <cstdint>

struct ZelContext;

// One write to the trace file. A failure records error 1 with the count of
// bytes written (`before` of them by earlier writes of the same text), and
// returns -1.
int ZelTraceWrite(ZelContext* context, const char* text, size_t length, size_t before = 0);

// The block of one message: its type, "Blocked" or "Unblocked", the node,
// the length, the time and the operation, then `dumpLength` bytes in hex,
// twenty to a line.
int ZelTraceMessage(ZelContext* context, bool sent, unsigned type, uint8_t flags, int length,
                    const uint8_t* bytes, size_t dumpLength);

// "MSG(S) SENT OVER LINK (1)" before a message that did not fit, "(2)" after
// a message that ends its block.
int ZelTraceBlockLine(ZelContext* context, int which, int blockLength);

// The MACCODE and MICCODE lines of a Status message.
int ZelTraceStatus(ZelContext* context, unsigned maccode, unsigned miccode);

// The statistics of messages sent and received, by type.
int ZelTraceStatistics(ZelContext* context);

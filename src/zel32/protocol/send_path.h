// Send path: build messages in place in the send block, blocked by their
// length fields, and transmit the block after each message that ends one,
// or before a message that would not fit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/message_types.h"

struct ZelContext;

// While set, blocks go out as expedited data (around one Continue Transfer
// of a wind-down). Per thread, since each thread drives its own links.
extern thread_local uint32_t expeditedSend;

// Builds one message of `type` and transmits when due. 1, or -1.
int ZelSendMessage(ZelContext* context, uint8_t type);
// Writes the header and body of one message at the write cursor. 1, or -1.
int ZelEncodeMessage(ZelContext* context, uint8_t type);
// Whether the message of `type`, built now, would fit the peer's buffer;
// nothing is added to the block. False, with error 27, when it would not.
bool ZelMessageFits(ZelContext* context, uint8_t type);
// The FLAGS byte a message of `type` is built with: 0x00, 0x02 or 0x06.
uint8_t ZelHeaderFlags(const ZelContext* context, uint8_t type);
// The FLAGS byte once the body's length is known: `flags`, unless the body
// is too long for a one-byte LENGTH.
uint8_t ZelFlagsForBody(const ZelContext* context, uint8_t flags, size_t bodyLength);

// Where the send block stood before a request's messages were added to it,
// so that a request failing part way can take back those of its messages
// still in the block (they would otherwise go out in front of the next
// request's). What the block held before the request stays.
struct ZelBlockMark {
    uint32_t transfers;  // blocks transmitted by then
    size_t start;        // where the request's first message goes
    uint8_t lastSentType;
    uint8_t sentCount[wire::kTypeSlots];
};
ZelBlockMark ZelMarkBlock(const ZelContext* context);
// Takes the messages added since `mark` back out of the block, unless a
// block sent since took them with it.
void ZelRewindBlock(ZelContext* context, const ZelBlockMark& mark);

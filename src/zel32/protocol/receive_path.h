// Receive path: fetch a transmission block when the last one is used up,
// cut it into messages by their headers, decode each body into the context
// and admit the reply only if the running operation accepts it now.
#pragma once

struct ZelContext;
struct ZelRecordView;

// Receives, parses and decodes the next message: -1, 1 or 2.
int ZelReceiveMessage(ZelContext* context);
// Parses the next header of the block: the body length, or -1.
int ZelParseHeader(ZelContext* context);
// Decodes the body of the message whose header was just parsed: -1, 1 or 2.
int ZelDecodeMessage(ZelContext* context, int length);
// Receives one message and checks it may come after `sentType`: -1, 1 (an
// Access Complete, or a message whose decoder says done) or 2 (more).
int ZelAwaitReply(ZelContext* context, unsigned sentType);
// After an operation (or an attempt of the open's Configuration exchange)
// that failed: when a message of the block being read was refused or
// malformed (error 20), the rest of that block is given up, so that no
// later exchange takes the failed one's replies for its own.
// Not while the operation runs: an Abort passes over refused replies to the
// Access Complete behind them, and a Sync Error is no refused message.
void ZelDropRefusedBlock(ZelContext* context);
// After the library's Access Complete: takes what the peer still sends of
// the access until its own Access Complete, which alone ends it: 1, else
// -1. Each wait is bounded by the transport, the whole by a
// ZelDrainDeadline, so that a peer sending leftovers for ever cannot hold
// the caller.
int ZelAwaitAccessComplete(ZelContext* context);

// Takes the next message of the block being read when it is a Data message
// the ordinary path would decode without remark, and leaves its record
// where it lies (valid until the next block is received): counted and
// stepped past as ZelReceiveMessage does, without decoding it into the
// context (ZelKeepRecord does that for the last one taken). False, with
// nothing taken, for anything else, and whenever the trace is on (it shows
// each message as the ordinary path parses it).
bool ZelTakeDataInPlace(ZelContext* context, ZelRecordView* record);

// As ZelTakeDataInPlace, but first receives the next block when the one
// being read is used up: 1 when a Data message was taken, 0 when the next
// message is anything else (or the trace is on): it is left for
// ZelReceiveMessage, in the block just received. -1 when the link failed,
// or the block received was empty (refused as ZelReceiveMessage refuses it).
int ZelReceiveDataInPlace(ZelContext* context, ZelRecordView* record);

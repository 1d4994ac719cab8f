// The dialogue messages of a file access: Access names the file and what is
// to be done with it, Control starts the record stream, Continue Transfer
// tells the peer how to go on, Access Complete ends the access. The bodies
// are built from the running operation and the link's arguments.
#pragma once

#include "wire/fields.h"

struct ZelContext;

int ZelEncodeAccess(ZelContext* context, wire::Writer& body);
int ZelEncodeControl(ZelContext* context, wire::Writer& body);
int ZelEncodeContinueTransfer(ZelContext* context, wire::Writer& body);
int ZelEncodeAccessComplete(ZelContext* context, wire::Writer& body);

int ZelDecodeAccess(ZelContext* context, wire::Reader& body);
int ZelDecodeControl(ZelContext* context, wire::Reader& body);
int ZelDecodeContinueTransfer(ZelContext* context, wire::Reader& body);
int ZelDecodeAccessComplete(ZelContext* context, wire::Reader& body);

// RAC of the data phase's Control that asks for block transfer.
constexpr uint8_t kRacBlockTransfer = 5;
// The record access value a copy's transfer mode 0 to 3 asks for.
uint8_t ZelRecordAccessFor(uint16_t transferMode);
// The record access a copy's data-phase Control sends: its transfer mode's,
// or the block transfer toward a peer that takes nothing else.
uint8_t ZelCopyRecordAccess(const ZelContext* context);

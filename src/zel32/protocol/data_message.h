// The Data message: one record of file data, in either direction. The
// record to send is the context's work buffer, or the slice of the block
// read that workSlice names; a received record lands in recordData with a
// NUL behind it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/fields.h"

struct ZelContext;

// Writes a whole Data message of the outgoing record at `start`, where
// `capacity` bytes are free, and moves the write cursor past it. 1, or -1
// (error 1) when it does not fit. The send path builds Data with it rather
// than with an encoder: its length is known before it is built, so it is
// written once, the record copied straight in.
int ZelEncodeRecord(ZelContext* context, uint8_t* start, size_t capacity);
// What a Data message adds to its record at most: a header with a two-byte
// length, and RECNUM. A record of up to bufferSize less this goes in one
// block.
constexpr size_t kDataMessageOverhead = 5;
// The record the next Data message carries: workSlice when set, else
// workBuffer (workLength bytes either way).
const uint8_t* ZelOutgoingRecord(const ZelContext* context);
int ZelDecodeData(ZelContext* context, wire::Reader& body);

// The checksum of records sent. Each record sent replaces the checksum of
// the one before, so only the last one's is ever used: the send path notes
// where that record lies in the send block, and its checksum is taken only
// when it is needed or before those bytes can be overwritten (the block
// sent, another message built, a record received). A copy thus takes one
// checksum per block rather than one per record.
void ZelNoteRecordSent(ZelContext* context, size_t offset, size_t length);
void ZelSettleChecksum(ZelContext* context);
// dataChecksum, with the last record sent counted.
uint16_t ZelDataChecksum(ZelContext* context);

// A received record where it lies: in the receive buffer, or in recordData.
struct ZelRecordView {
    const uint8_t* data;
    size_t length;
    uint8_t recnum;
    uint8_t printPrefix;
    uint8_t printPostfix;
};

// Cuts a Data message's body of `length` bytes (at least one) into RECNUM,
// the print controls a print-format file's records carry, and the record.
// False when RECNUM is out of range or the print controls are missing.
bool ZelSplitDataBody(const ZelContext* context, const uint8_t* body, size_t length, ZelRecordView* out);
// Makes `record` the record last received, as decoding its message does:
// recordData and its NUL, recordLength, recnum, the print controls, and the
// data checksum when the peer checks one.
void ZelKeepRecord(ZelContext* context, const ZelRecordView& record);
// What a download keeps of the last record it took in place and has
// written to its local file: recnum, the print controls and the data
// checksum as ZelKeepRecord, but not the bytes (recordData is left empty):
// copying a block's worth of record only for nothing to read it again
// would cost as much as the write.
void ZelNoteRecordWritten(ZelContext* context, const ZelRecordView& record);
// The record last received, as a view on recordData.
ZelRecordView ZelLastRecord(const ZelContext* context);

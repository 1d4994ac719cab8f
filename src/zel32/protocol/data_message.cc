#include "zel32/protocol/data_message.h"

#include <cstring>

#include "wire/checksum.h"
#include "wire/header.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/field_check.h"
#include "zel32/protocol/send_path.h"

namespace {

constexpr uint8_t kHighestRecordNumber = 8;
constexpr uint8_t kPrintFormat = 0x04;

}  // namespace

const uint8_t* ZelOutgoingRecord(const ZelContext* context) {
    return context->workSlice != nullptr ? context->workSlice : context->workBuffer;
}

void ZelNoteRecordSent(ZelContext* context, size_t offset, size_t length) {
    context->sentRecordPending = true;
    context->sentRecordOffset = static_cast<uint32_t>(offset);
    context->sentRecordLength = static_cast<uint32_t>(length);
}

void ZelSettleChecksum(ZelContext* context) {
    if (!context->sentRecordPending) return;
    context->sentRecordPending = false;
    context->dataChecksum = wire::Checksum(0, context->sendBuffer + context->sentRecordOffset, context->sentRecordLength);
}

uint16_t ZelDataChecksum(ZelContext* context) {
    ZelSettleChecksum(context);
    return context->dataChecksum;
}

int ZelEncodeRecord(ZelContext* context, uint8_t* start, size_t capacity) {
    const auto recordLength = static_cast<size_t>(context->workLength);
    const size_t bodyLength = 1 + recordLength;  // RECNUM, empty, and the record
    const uint8_t flags = ZelFlagsForBody(context, ZelHeaderFlags(context, wire::kData), bodyLength);
    if (wire::HeaderLengthFor(flags) + bodyLength > capacity) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    const size_t headerLength = wire::BuildHeader(start, wire::kData, flags);
    start[headerLength] = 0x00;
    if (recordLength != 0) std::memcpy(start + headerLength + 1, ZelOutgoingRecord(context), recordLength);
    context->writeCursor += headerLength + bodyLength;
    return 1;
}

bool ZelSplitDataBody(const ZelContext* context, const uint8_t* body, size_t length, ZelRecordView* out) {
    // RECNUM, checked as an image field's count (FieldCheck kind 2).
    if (length == 0 || body[0] > kHighestRecordNumber) return false;
    const size_t controls = (context->attributes.rat[0] & kPrintFormat) != 0 ? 2 : 0;
    if (length < 1 + controls) return false;
    out->recnum = body[0];
    out->printPrefix = controls != 0 ? body[1] : 0;
    out->printPostfix = controls != 0 ? body[2] : 0;
    out->data = body + 1 + controls;
    out->length = length - 1 - controls;
    return true;
}

namespace {

// What every received record leaves behind besides its bytes.
void NoteRecord(ZelContext* context, const ZelRecordView& record) {
    ZelSettleChecksum(context);
    context->recnum = record.recnum;
    context->printPrefix = record.printPrefix;
    context->printPostfix = record.printPostfix;
    if (record.length != 0 && context->peerChecksum) context->dataChecksum = wire::Checksum(0, record.data, record.length);
}

}  // namespace

void ZelKeepRecord(ZelContext* context, const ZelRecordView& record) {
    if (record.length != 0) std::memmove(context->recordData, record.data, record.length);
    context->recordData[record.length] = '\0';
    context->recordLength = static_cast<uint16_t>(record.length);
    NoteRecord(context, record);
}

void ZelNoteRecordWritten(ZelContext* context, const ZelRecordView& record) {
    NoteRecord(context, record);
    context->recordData[0] = '\0';
    context->recordLength = 0;
}

ZelRecordView ZelLastRecord(const ZelContext* context) {
    return ZelRecordView{context->recordData, context->recordLength, context->recnum, context->printPrefix,
                         context->printPostfix};
}

int ZelDecodeData(ZelContext* context, wire::Reader& body) {
    context->printPrefix = 0;
    context->printPostfix = 0;
    context->recordData[0] = '\0';
    context->recordLength = 0;
    if (body.empty()) {
        // An empty body is an empty record, unless the file's records carry
        // their two print controls: then the controls are missing.
        return (context->attributes.rat[0] & kPrintFormat) != 0 ? ZelUnexpectedMessage(context) : 1;
    }
    ZelRecordView record{};
    if (!ZelSplitDataBody(context, body.position(), body.remaining(), &record)) return ZelUnexpectedMessage(context);
    ZelKeepRecord(context, record);
    body.Skip(body.remaining());
    return 1;
}

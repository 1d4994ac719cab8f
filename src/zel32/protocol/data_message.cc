#include "zel32/protocol/data_message.h"

#include <cstring>

#include "wire/checksum.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/field_check.h"

namespace {

constexpr uint8_t kHighestRecordNumber = 8;
constexpr uint8_t kPrintFormat = 0x04;

}  // namespace

int ZelEncodeData(ZelContext* context, wire::Writer& body) {
    body.PutByte(0x00);  // RECNUM
    body.PutBytes(context->workBuffer, static_cast<size_t>(context->workLength));
    return 1;
}

int ZelDecodeData(ZelContext* context, wire::Reader& body) {
    context->printPrefix = 0;
    context->printPostfix = 0;
    context->recordData[0] = '\0';
    context->recordLength = 0;
    if (body.empty()) return 1;
    // RECNUM, checked as an image field's count (FieldCheck kind 2).
    if (*body.position() > kHighestRecordNumber) return ZelUnexpectedMessage(context);
    body.TakeByte(&context->recnum);
    if ((context->attributes.rat[0] & kPrintFormat) != 0) {
        if (!body.TakeByte(&context->printPrefix) || !body.TakeByte(&context->printPostfix)) {
            context->printPrefix = context->printPostfix = 0;
            return ZelUnexpectedMessage(context);
        }
    }
    const size_t length = body.remaining();
    body.TakeBytes(context->recordData, length);
    context->recordData[length] = '\0';
    context->recordLength = static_cast<uint16_t>(length);
    if (length != 0 && context->peerChecksum) context->dataChecksum = wire::Checksum(0, context->recordData, length);
    return 1;
}

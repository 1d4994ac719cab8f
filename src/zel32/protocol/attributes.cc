#include "zel32/protocol/attributes.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "zel32/protocol/access_control.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/data_message.h"
#include "zel32/protocol/field_check.h"
#include "zel32/protocol/templates.h"

namespace {

// ---- Sending ---------------------------------------------------------------

// Menu bits of the fields the library sends.
constexpr uint8_t kMenuMore = 0x80;
constexpr uint8_t kSentMenuWithAlq = 0x6F;     // DATATYPE, ORG, RFM, RAT, MRS, ALQ
constexpr uint8_t kSentMenuWithoutAlq = 0x2F;  // the same without ALQ
constexpr uint8_t kMenuFsz = 0x02;             // menu byte 1
constexpr uint8_t kMenuFop = 0x20;             // menu byte 1
constexpr uint8_t kMenuBsz = 0x40;             // menu byte 1

constexpr uint8_t kDataTypeAscii = 0x01;
constexpr uint8_t kDataTypeImage = 0x02;
constexpr uint8_t kRfmWithoutDescription = 4;
constexpr uint8_t kSentBsz = 8;
constexpr uint8_t kPrintFop[3] = {0x80, 0x80, 0x40};
constexpr uint16_t kImageMrsStream = 512;  // image data, a description with an odd transfer mode
constexpr uint16_t kImageMrsDefault = 128;

// Limits of a caller's copy description.
constexpr uint16_t kHighestTransferMode = 3;
constexpr uint16_t kHighestRecordFormat = 6;
constexpr uint16_t kHighestRecordAttributes = 128;

// RFM by the description's recordFormat 0 to 6.
constexpr uint8_t kRfmByRecordFormat[kHighestRecordFormat + 1] = {4, 5, 6, 1, 2, 3, 0};

// The attribute-value table: the RAT byte sent, by the lowest set bit (0 to 7)
// of the description's recordAttributes. No bit set sends RAT 0.
constexpr uint8_t kRatByLowestBit[8] = {
    /* 0x01 */ 0x00,
    /* 0x02 */ 0x01,
    /* 0x04 */ 0x04,
    /* 0x08 */ 0x02,
    /* 0x10 */ 0x01,
    /* 0x20 */ 0x08,
    /* 0x40 */ 0x40,
    /* 0x80 */ 0x00,
};
// Picking this RAT byte (print-file carriage control) also sends records
// with a fixed control area: RFM 3, and FSZ 2 for the area's size.
constexpr uint8_t kRatPrintControl = 0x04;
constexpr uint8_t kRfmWithControlArea = 3;
constexpr uint8_t kFszControlArea = 2;

uint8_t RatFor(uint16_t recordAttributes) {
    if (recordAttributes == 0) return 0;
    return kRatByLowestBit[std::countr_zero(recordAttributes) & 7];
}

// BSZ (8) goes to every peer except those whose file system is 2, 7 or 8:
// for them the BSZ menu bit is cleared and the field is not sent, so the
// menu and the fields always agree.
bool PeerTakesBsz(uint8_t filesys) { return filesys != 2 && filesys != 7 && filesys != 8; }

bool DescriptionInRange(const RfaCopyAttributes& description) {
    return description.transferMode <= kHighestTransferMode && description.recordFormat <= kHighestRecordFormat &&
           description.recordAttributes <= kHighestRecordAttributes;
}

void WriteAttributes(const ZelAttributes& sent, bool print, wire::Writer& body) {
    body.PutByte(sent.attMenu[0]);
    if (sent.attMenu[1] != 0) body.PutByte(sent.attMenu[1]);
    body.PutByte(sent.dataType);
    body.PutByte(sent.org);
    body.PutByte(sent.rfm);
    body.PutByte(sent.rat[0]);
    body.PutU16(sent.mrs);
    if (sent.alqCount != 0) {
        body.PutByte(sent.alqCount);
        for (int shift = 0; shift < 32; shift += 8) body.PutByte(static_cast<uint8_t>(sent.alq >> shift));
    }
    if (sent.fsz != 0) body.PutByte(sent.fsz);
    if (print) body.PutBytes(kPrintFop, sizeof kPrintFop);
    if ((sent.attMenu[1] & kMenuBsz) != 0) body.PutByte(sent.bsz);
}

// ---- Receiving -------------------------------------------------------------

// The menu is an extensible field of at most 6 bytes (7 with the last one
// ending it). The record keeps three menu bytes; the decoder also looks at
// the fourth, whose bit 0 announces JNL.
constexpr size_t kMenuLimit = 6;
constexpr size_t kMenuBytesRead = 4;

enum class FieldForm : uint8_t {
    kOneByte,
    kTwoBytes,     // 16 bits, least significant byte first
    kExtensible,   // the first `keep` bytes kept, the rest consumed and dropped
    kImageNumber,  // the first four data bytes kept as a number, the rest consumed and dropped
    kImageBytes,   // the data bytes kept in a buffer of `limit` bytes
};

struct AttributeField {
    uint8_t menuByte;
    uint8_t bit;
    FieldForm form;
    uint8_t limit;  // the field check's maximum (extensible and image fields)
    uint8_t keep;   // bytes of an extensible field the record keeps
    size_t at;      // the field in ZelAttributes
    size_t countAt; // its count (image fields)
};

constexpr AttributeField OneByte(uint8_t menuByte, uint8_t bit, size_t at) {
    return {menuByte, bit, FieldForm::kOneByte, 0, 1, at, 0};
}
constexpr AttributeField TwoBytes(uint8_t menuByte, uint8_t bit, size_t at) {
    return {menuByte, bit, FieldForm::kTwoBytes, 0, 2, at, 0};
}
constexpr AttributeField Extensible(uint8_t menuByte, uint8_t bit, uint8_t limit, uint8_t keep, size_t at) {
    return {menuByte, bit, FieldForm::kExtensible, limit, keep, at, 0};
}
constexpr AttributeField ImageNumber(uint8_t menuByte, uint8_t bit, uint8_t limit, size_t at, size_t countAt) {
    return {menuByte, bit, FieldForm::kImageNumber, limit, 4, at, countAt};
}
constexpr AttributeField ImageBytes(uint8_t menuByte, uint8_t bit, uint8_t limit, size_t at, size_t countAt) {
    return {menuByte, bit, FieldForm::kImageBytes, limit, limit, at, countAt};
}

#define AT(field) offsetof(ZelAttributes, field)

// The fields in the order they travel, with the menu byte and bit that
// announce each. A field that carries more bytes than the record keeps (a
// second DATATYPE byte, a third RAT byte, FOP or DEV bytes past the fourth,
// SDC or JNL bytes past the first, a fifth image data byte) is consumed
// whole and the extra bytes dropped: they never reach a neighbouring field
// and never shift the fields behind them.
constexpr AttributeField kAttributeFields[] = {
    Extensible(0, 0x01, 2, 1, AT(dataType)),
    OneByte(0, 0x02, AT(org)),
    OneByte(0, 0x04, AT(rfm)),
    Extensible(0, 0x08, 3, 2, AT(rat)),
    TwoBytes(0, 0x10, AT(bls)),
    TwoBytes(0, 0x20, AT(mrs)),
    ImageNumber(0, 0x40, 5, AT(alq), AT(alqCount)),
    OneByte(1, 0x01, AT(bks)),
    OneByte(1, 0x02, AT(fsz)),
    ImageBytes(1, 0x04, 5, AT(mrn), AT(mrnCount)),
    ImageBytes(1, 0x08, 40, AT(runsys), AT(runsysCount)),
    TwoBytes(1, 0x10, AT(deq)),
    Extensible(1, 0x20, 6, 4, AT(fop)),
    OneByte(1, 0x40, AT(bsz)),
    Extensible(2, 0x01, 6, 4, AT(dev)),
    Extensible(2, 0x02, 6, 1, AT(sdc)),
    TwoBytes(2, 0x04, AT(lrl)),
    ImageNumber(2, 0x08, 5, AT(hbk), AT(hbkCount)),
    ImageNumber(2, 0x10, 5, AT(ebk), AT(ebkCount)),
    TwoBytes(2, 0x20, AT(ffb)),
    ImageNumber(2, 0x40, 5, AT(sbn), AT(sbnCount)),
    // JNL: announced by bit 0 of a fourth menu byte, read after SBN while
    // bytes are left (an extensible field of at most 4 bytes, first byte kept).
    Extensible(3, 0x01, 4, 1, AT(jnl)),
};

constexpr size_t kFfbAt = AT(ffb);

#undef AT

static_assert(sizeof(ZelAttributes::rat) == 2 && sizeof(ZelAttributes::fop) == 4 && sizeof(ZelAttributes::dev) == 4);
static_assert(sizeof(ZelAttributes::mrn) == 5 && sizeof(ZelAttributes::runsys) == 40);

enum class FieldRead { kRead, kBodyEnded, kRefused };

FieldRead ReadField(ZelContext* context, const AttributeField& field, wire::Reader& body) {
    uint8_t* record = reinterpret_cast<uint8_t*>(&context->attributes);
    uint8_t* value = record + field.at;
    switch (field.form) {
    case FieldForm::kOneByte:
        return body.TakeByte(value) ? FieldRead::kRead : FieldRead::kBodyEnded;
    case FieldForm::kTwoBytes: {
        // With a single byte left the field is not there: stop before it.
        uint16_t number = 0;
        if (!body.TakeU16(&number)) return FieldRead::kBodyEnded;
        std::memcpy(value, &number, sizeof number);
        return FieldRead::kRead;
    }
    case FieldForm::kExtensible:
        if (body.empty()) return FieldRead::kBodyEnded;
        return ZelTakeExtensible(context, body, field.limit, value, field.keep) ? FieldRead::kRead
                                                                                : FieldRead::kRefused;
    case FieldForm::kImageNumber: {
        if (body.empty()) return FieldRead::kBodyEnded;
        uint8_t bytes[4] = {};
        if (!ZelTakeImage(context, body, field.limit, bytes, sizeof bytes, record + field.countAt))
            return FieldRead::kRefused;
        const uint32_t number = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
        std::memcpy(value, &number, sizeof number);
        return FieldRead::kRead;
    }
    case FieldForm::kImageBytes:
        if (body.empty()) return FieldRead::kBodyEnded;
        return ZelTakeImage(context, body, field.limit, value, field.limit, record + field.countAt)
                   ? FieldRead::kRead
                   : FieldRead::kRefused;
    }
    return FieldRead::kRefused;
}

// Every field and count goes to 0, except the numbers of the image fields
// and the MRN and RUNSYS buffers, which stay as they are until their field
// arrives (a count of 0 marks them absent). All four FOP bytes are cleared,
// so no byte of an earlier message survives.
void ResetAttributes(ZelAttributes& attributes) {
    const ZelAttributes before = attributes;
    attributes = ZelAttributes{};
    attributes.alq = before.alq;
    attributes.hbk = before.hbk;
    attributes.ebk = before.ebk;
    attributes.sbn = before.sbn;
    std::memcpy(attributes.mrn, before.mrn, sizeof attributes.mrn);
    std::memcpy(attributes.runsys, before.runsys, sizeof attributes.runsys);
}

// EBK counts the block that holds the end of file; with FFB 0 that block is
// empty and the end falls at the end of the block before it. Only an EBK of
// this message is adjusted.
void AdjustEndOfFileBlock(ZelAttributes& attributes) {
    if (attributes.ffb == 0 && attributes.ebkCount != 0 && attributes.ebk != 0) attributes.ebk -= 1;
}

}  // namespace

int ZelEncodeAttributes(ZelContext* context, wire::Writer& body) {
    const RfaLink& link = *context->link;
    const RfaCopyAttributes* description = context->operation == kOpCopy ? link.copyOption : nullptr;
    ZelAttributes& sent = context->sentAttributes;
    sent = ZelAttributes{};
    if (description != nullptr && !DescriptionInRange(*description)) {
        RfaSetError(context, RFA_ERR_BAD_ARGUMENT, 0);
        return -1;
    }

    // Built apart and kept only when the message is, so that a refused
    // description leaves the record cleared.
    ZelAttributes attributes{};
    uint8_t menu0 = kSentMenuWithAlq;
    uint8_t menu1 = 0;
    if (PeerTakesBsz(context->peerFilesys)) {
        menu1 |= kMenuBsz;
        attributes.bsz = kSentBsz;
    }
    const bool print = context->operation == kOpPrint;
    if (print) {
        std::memcpy(attributes.fop, kPrintFop, sizeof kPrintFop);
        menu1 |= kMenuFop;
    }

    attributes.dataType = link.status.copyMode == RFA_MODE_IMAGE ? kDataTypeImage : kDataTypeAscii;
    attributes.org = 0;
    if (description == nullptr) {
        attributes.rfm = kRfmWithoutDescription;
    } else {
        attributes.rfm = kRfmByRecordFormat[description->recordFormat];
        attributes.rat[0] = RatFor(description->recordAttributes);
        if (attributes.rat[0] == kRatPrintControl) {
            attributes.rfm = kRfmWithControlArea;
            attributes.fsz = kFszControlArea;
            menu1 |= kMenuFsz;
        }
    }

    attributes.mrs = description != nullptr ? description->maxRecordSize : 0;
    if (attributes.mrs > context->bufferSize) {
        RfaSetError(context, RFA_ERR_RECORD_SIZE, 0);
        return -1;
    }
    if ((attributes.dataType & kDataTypeImage) != 0 && attributes.mrs == 0)
        attributes.mrs = description != nullptr && (description->transferMode & 1) != 0 ? kImageMrsStream
                                                                                        : kImageMrsDefault;
    // An image upload pads every record to MRS, unless it goes by block
    // transfer or to a stream peer: a padded record that one Data message
    // cannot carry in one block is refused as an MRS over the buffer size
    // is, before anything is sent.
    const bool padsRecords = context->operation == kOpCopy && link.status.copyDirection == 1 &&
                             (attributes.dataType & kDataTypeImage) != 0 && !ZelStreamPeer(context) &&
                             ZelCopyRecordAccess(context) != kRacBlockTransfer;
    if (padsRecords && attributes.mrs + kDataMessageOverhead > context->bufferSize) {
        RfaSetError(context, RFA_ERR_RECORD_SIZE, 0);
        return -1;
    }

    attributes.alq = description != nullptr ? description->allocation : 0;
    if (attributes.alq != 0) {
        attributes.alqCount = 4;
    } else {
        menu0 = kSentMenuWithoutAlq;
    }

    // Menu byte 0 carries bit 7 only when byte 1 follows.
    attributes.attMenu[0] = menu1 != 0 ? static_cast<uint8_t>(menu0 | kMenuMore) : menu0;
    attributes.attMenu[1] = menu1;
    WriteAttributes(attributes, print, body);
    sent = attributes;
    return 1;
}

int ZelDecodeAttributes(ZelContext* context, wire::Reader& body) {
    ZelAttributes& attributes = context->attributes;
    ResetAttributes(attributes);
    if (body.empty()) return 1;

    uint8_t menu[kMenuBytesRead] = {};
    if (!ZelTakeExtensible(context, body, kMenuLimit, menu, kMenuBytesRead)) return -1;
    std::memcpy(attributes.attMenu, menu, sizeof attributes.attMenu);

    // A menu byte is only present when the one before it has bit 7, so the
    // fields of a later menu byte are only read in that case.
    for (const AttributeField& field : kAttributeFields) {
        if ((menu[field.menuByte] & field.bit) == 0) continue;
        const FieldRead read = ReadField(context, field, body);
        if (read == FieldRead::kRefused) return -1;
        // A body that ends before an announced field: what came is kept.
        if (read == FieldRead::kBodyEnded) return 1;
        if (field.at == kFfbAt) AdjustEndOfFileBlock(attributes);
    }
    return 1;
}

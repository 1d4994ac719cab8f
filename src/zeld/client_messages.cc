#include "zeld/client_messages.h"

#include <cstring>

#include "wire/message_types.h"

namespace zeld {
namespace {

StatusValue FormatError(uint8_t type, uint8_t number) { return MessageError(kMacFormat, type, number); }

// An extensible field of at most max + 1 bytes (as every ZEL decoder
// accepts them), `keep` of them stored.
bool TakeExtensible(wire::Reader* body, size_t max, uint8_t* out, size_t keep) {
    return body->TakeExtensible(max, out, keep);
}

// An image field whose data is not kept.
bool SkipImage(wire::Reader* body, size_t max) {
    uint8_t scratch[255];
    uint8_t count;
    return body->TakeImage(max, scratch, sizeof scratch, &count);
}

bool TakeText(wire::Reader* body, size_t max, std::string* text) {
    uint8_t bytes[255];
    uint8_t count;
    if (!body->TakeImage(max, bytes, sizeof bytes, &count)) return false;
    text->assign(reinterpret_cast<const char*>(bytes), count);
    return true;
}

// The fields an Attributes menu announces, in wire order: a table row per
// field, its menu byte and bit, its number, and how it is encoded.
enum class Encoding : uint8_t { kByte, kWord, kExtensible, kImage };
struct AttributeField {
    uint8_t menuByte;
    uint8_t bit;
    uint8_t number;
    Encoding encoding;
    uint8_t max;  // extensible: bytes with bit 7; image: the count
};
constexpr AttributeField kAttributeFields[] = {
    {0, 0x01, 17, Encoding::kExtensible, 2},  // DATATYPE
    {0, 0x02, 18, Encoding::kByte, 0},        // ORG
    {0, 0x04, 19, Encoding::kByte, 0},        // RFM
    {0, 0x08, 20, Encoding::kExtensible, 3},  // RAT
    {0, 0x10, 21, Encoding::kWord, 0},        // BLS
    {0, 0x20, 22, Encoding::kWord, 0},        // MRS
    {0, 0x40, 23, Encoding::kImage, 5},       // ALQ
    {1, 0x01, 24, Encoding::kByte, 0},        // BKS
    {1, 0x02, 25, Encoding::kByte, 0},        // FSZ
    {1, 0x04, 26, Encoding::kImage, 5},       // MRN
    {1, 0x08, 27, Encoding::kImage, 40},      // RUNSYS
    {1, 0x10, 28, Encoding::kWord, 0},        // DEQ
    {1, 0x20, 29, Encoding::kExtensible, 6},  // FOP
    {1, 0x40, 30, Encoding::kByte, 0},        // BSZ
    {2, 0x01, 31, Encoding::kExtensible, 6},  // DEV
    {2, 0x02, 32, Encoding::kExtensible, 6},  // SDC
    {2, 0x04, 33, Encoding::kWord, 0},        // LRL
    {2, 0x08, 34, Encoding::kImage, 5},       // HBK
    {2, 0x10, 35, Encoding::kImage, 5},       // EBK
    {2, 0x20, 36, Encoding::kWord, 0},        // FFB
    {2, 0x40, 37, Encoding::kImage, 5},       // SBN
};

enum AttributeNumber : uint8_t { kDataTypeField = 17, kRfmField = 19, kRatField = 20, kMrsField = 22,
                                 kFszField = 25, kFopField = 29 };

// Stores the fields the server uses.
void KeepAttribute(uint8_t number, const uint8_t* value, AttributesMessage* message) {
    switch (number) {
        case kDataTypeField: message->dataType = value[0]; break;
        case kRfmField: message->rfm = value[0]; break;
        case kRatField: message->rat = value[0]; break;
        case kMrsField: message->mrs = wire::GetU16(value); break;
        case kFszField: message->fsz = value[0]; break;
        case kFopField: std::memcpy(message->fop, value, sizeof message->fop); break;
        default: break;
    }
}

}  // namespace

bool ConfigurationMessage::Has(unsigned capability) const {
    const unsigned byte = capability / 7;
    return byte < sizeof syscap && (syscap[byte] & (1u << (capability % 7))) != 0;
}

bool AccessMessage::Displays(unsigned bit) const {
    const unsigned byte = bit / 7;
    return byte < sizeof display && (display[byte] & (1u << (bit % 7))) != 0;
}

StatusValue DecodeConfiguration(wire::Reader body, ConfigurationMessage* message) {
    *message = ConfigurationMessage{};
    constexpr size_t kFixedPart = 9;
    if (body.remaining() <= kFixedPart) {
        // The field the body ends in: BUFSIZ takes two bytes, then one each.
        const size_t have = body.remaining();
        const uint8_t number = have < 2 ? field::kBufsiz : static_cast<uint8_t>(field::kBufsiz + have - 1);
        return FormatError(wire::kConfiguration, number);
    }
    uint8_t ignored;
    body.TakeU16(&message->bufsiz);
    body.TakeByte(&message->ostype);
    body.TakeByte(&message->filesys);
    body.TakeByte(&message->vernum);
    body.TakeByte(&message->econum);
    for (int i = 0; i < 3; ++i) body.TakeByte(&ignored);  // USRNUM, VORVER, USRVER
    if (message->bufsiz != 0 && message->bufsiz < 256) {
        return MessageError(kMacInvalid, wire::kConfiguration, field::kBufsiz);
    }
    // A longer SYSCAP than the server knows is taken whole, its first bytes kept.
    if (!TakeExtensible(&body, 255, message->syscap, sizeof message->syscap)) {
        return FormatError(wire::kConfiguration, field::kSyscap);
    }
    return kOk;
}

StatusValue DecodeAttributes(wire::Reader body, AttributesMessage* message) {
    *message = AttributesMessage{};
    if (body.empty()) return kOk;
    uint8_t menu[6];
    if (!TakeExtensible(&body, 6, menu, sizeof menu)) return FormatError(wire::kAttributes, field::kAttMenu);
    for (const AttributeField& row : kAttributeFields) {
        // A menu byte counts only when the byte before it says it follows.
        if (row.menuByte > 0 && (menu[row.menuByte - 1] & 0x80) == 0) break;
        if ((menu[row.menuByte] & row.bit) == 0) continue;
        if (body.empty()) break;  // the body ends early: the rest is absent
        uint8_t value[8] = {};
        bool taken = false;
        switch (row.encoding) {
            case Encoding::kByte: taken = body.TakeByte(value); break;
            case Encoding::kWord: taken = body.TakeBytes(value, 2); break;
            case Encoding::kExtensible: taken = TakeExtensible(&body, row.max, value, sizeof value); break;
            case Encoding::kImage: {
                uint8_t count;
                taken = body.TakeImage(row.max, value, sizeof value, &count);
                break;
            }
        }
        if (!taken) {
            if (row.encoding == Encoding::kByte || row.encoding == Encoding::kWord) break;
            return FormatError(wire::kAttributes, row.number);
        }
        KeepAttribute(row.number, value, message);
    }
    return kOk;
}

StatusValue DecodeAccess(wire::Reader body, AccessMessage* message) {
    *message = AccessMessage{};
    if (!body.TakeByte(&message->accfunc)) return FormatError(wire::kAccess, field::kAccFunc);
    if (body.empty() || !TakeExtensible(&body, 5, &message->accopt, 1)) {
        return FormatError(wire::kAccess, field::kAccOpt);
    }
    if (!TakeText(&body, 255, &message->fileSpec)) return FormatError(wire::kAccess, field::kFileSpec);
    // FAC, SHR, DISPLAY and PASSWORD may be left out (a rename ends after SHR).
    if (body.empty()) return kOk;
    if (!TakeExtensible(&body, 3, &message->fac, 1)) return FormatError(wire::kAccess, field::kFac);
    uint8_t share;
    if (body.empty()) return kOk;
    if (!TakeExtensible(&body, 3, &share, 1)) return FormatError(wire::kAccess, field::kShr);
    if (body.empty()) return kOk;
    if (!TakeExtensible(&body, 4, message->display, sizeof message->display)) {
        return FormatError(wire::kAccess, field::kAccDisplay);
    }
    message->hasDisplay = true;
    if (body.empty()) return kOk;
    if (!SkipImage(&body, 40)) return FormatError(wire::kAccess, field::kPassword);
    return kOk;
}

StatusValue DecodeControl(wire::Reader body, ControlMessage* message) {
    *message = ControlMessage{};
    if (!body.TakeByte(&message->ctlfunc)) return FormatError(wire::kControl, field::kCtlFunc);
    if (body.empty()) return kOk;
    if (!TakeExtensible(&body, 4, message->menu, sizeof message->menu)) {
        return FormatError(wire::kControl, field::kCtlMenu);
    }
    const uint8_t menu = message->menu[0];
    uint8_t scratch[8];
    if ((menu & 0x01) != 0 && !body.TakeByte(&message->rac)) return kOk;                    // RAC
    if ((menu & 0x02) != 0 && !body.empty() && !SkipImage(&body, 255)) return FormatError(wire::kControl, field::kKey);
    if ((menu & 0x04) != 0 && !body.TakeByte(scratch)) return kOk;                           // KRF
    if ((menu & 0x08) != 0 && !body.empty()) {                                               // ROP
        if (!TakeExtensible(&body, 6, scratch, 3)) return FormatError(wire::kControl, field::kRop);
        message->hasRop = true;
    }
    if ((menu & 0x10) != 0 && !body.empty() && !SkipImage(&body, 5)) return FormatError(wire::kControl, field::kHsh);
    if ((menu & 0x20) != 0 && !body.empty() && !TakeExtensible(&body, 4, scratch, 2)) {
        return FormatError(wire::kControl, field::kCtlDisplay);
    }
    if ((menu & 0x40) != 0 && !body.TakeByte(scratch)) return kOk;                           // BLKCNT
    if ((menu & 0x80) != 0 && (message->menu[1] & 0x01) != 0) {
        if (!body.TakeU16(&message->usz)) return FormatError(wire::kControl, field::kUsz);
        message->hasUsz = true;
    }
    return kOk;
}

StatusValue DecodeContinueTransfer(wire::Reader body, uint8_t* confunc) {
    return body.TakeByte(confunc) ? kOk : FormatError(wire::kContinueTransfer, field::kConFunc);
}

StatusValue DecodeAccessComplete(wire::Reader body, AccessCompleteMessage* message) {
    *message = AccessCompleteMessage{};
    if (!body.TakeByte(&message->cmpfunc)) return FormatError(wire::kAccessComplete, field::kCmpFunc);
    if (body.empty()) return kOk;
    if (!TakeExtensible(&body, 6, message->fop, sizeof message->fop)) {
        return FormatError(wire::kAccessComplete, field::kCmpFop);
    }
    return kOk;  // a CHECK behind the options is not looked at
}

StatusValue DecodeData(wire::Reader body, DataMessage* message) {
    *message = DataMessage{};
    uint8_t recordNumber = 0;
    if (body.TakeByte(&recordNumber)) {
        // RECNUM is an image field of at most 8 bytes; the client sends it empty.
        if (recordNumber > 8 || !body.Skip(recordNumber)) return FormatError(wire::kData, field::kRecNum);
    }
    message->record = body.position();
    message->length = body.remaining();
    return kOk;
}

StatusValue DecodeDateAndTime(wire::Reader body, DateAndTimeMessage* message) {
    *message = DateAndTimeMessage{};
    if (body.empty()) return kOk;
    uint8_t menu[2];
    if (!TakeExtensible(&body, 6, menu, sizeof menu)) return FormatError(wire::kDateAndTime, field::kDatMenu);
    char* kept[] = {message->cdt, message->rdt};
    constexpr size_t kDateLength = 18;
    for (unsigned bit = 0; bit < 7; ++bit) {
        if ((menu[0] & (1u << bit)) == 0) continue;
        const size_t size = bit == 3 ? 2 : kDateLength;  // RVN is a number
        char date[kDateLength];
        if (!body.TakeBytes(date, size)) break;  // the body ends early
        if (bit < 2) std::memcpy(kept[bit], date, kDateLength);
    }
    return kOk;
}

StatusValue DecodeProtection(wire::Reader body, ProtectionMessage* message) {
    *message = ProtectionMessage{};
    if (body.empty()) return kOk;
    if (!TakeExtensible(&body, 6, &message->menu, 1)) return FormatError(wire::kProtection, field::kProtMenu);
    if ((message->menu & 0x01) != 0 && !body.empty() && !TakeText(&body, 40, &message->owner)) {
        return FormatError(wire::kProtection, field::kOwner);
    }
    uint8_t* codes[] = {&message->system, &message->owner_access, &message->group, &message->world};
    for (unsigned i = 0; i < 4; ++i) {
        if ((message->menu & (0x02u << i)) == 0 || body.empty()) continue;
        if (!TakeExtensible(&body, 3, codes[i], 1)) {
            return FormatError(wire::kProtection, static_cast<uint8_t>(field::kProtSys + i));
        }
    }
    return kOk;
}

StatusValue DecodeName(wire::Reader body, NameMessage* message) {
    *message = NameMessage{};
    if (body.empty() || !TakeExtensible(&body, 3, &message->nameType, 1)) {
        return FormatError(wire::kName, field::kNameType);
    }
    if (!TakeText(&body, 255, &message->name)) return FormatError(wire::kName, field::kNameSpec);
    return kOk;
}

}  // namespace zeld

#include "zel32/protocol/description_messages.h"

#include <cstdio>
#include <cstring>

#include "zel32/protocol/context.h"
#include "zel32/protocol/field_check.h"
#include "zel32/protocol/templates.h"

namespace {

// ---- Date and Time ---------------------------------------------------------

constexpr size_t kDateMenuLimit = 6;
constexpr size_t kDateTextLength = kDateTextSize - 1;  // 18 characters on the wire
constexpr uint8_t kSentDateMenu = 0x03;                // CDT and RDT

struct DateField {
    uint8_t bit;
    char (ZelDates::*text)[kDateTextSize];  // null: the field is RVN
};

// The fields of menu byte 0, in the order they travel.
constexpr DateField kDateFields[] = {
    {0x01, &ZelDates::cdt},
    {0x02, &ZelDates::rdt},
    {0x04, &ZelDates::edt},
    {0x08, nullptr},  // RVN, 2 bytes
    {0x10, &ZelDates::bdt},
    {0x20, &ZelDates::pdt},
    {0x40, &ZelDates::adt},
};

constexpr const char* kMonthNames[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

int PositiveRemainder(int value, int divisor) { return ((value % divisor) + divisor) % divisor; }

void FormatDate(char (&text)[kDateTextSize], const std::tm& utc) {
    const int year = PositiveRemainder(utc.tm_year + 1900, 100);
    const char* month = kMonthNames[PositiveRemainder(utc.tm_mon, 12)];
    std::snprintf(text, sizeof text, "%02d-%3s-%02d %02d:%02d:%02d", utc.tm_mday, month, year, utc.tm_hour,
                  utc.tm_min, utc.tm_sec);
}

// ---- Protection ------------------------------------------------------------

constexpr size_t kProtectionMenuLimit = 6;
constexpr size_t kOwnerLimit = 40;  // OWNER is an image field of at most 40 bytes
// An access code is at most three bytes (a fourth only to end it); the
// record keeps the first two, a third is consumed and dropped.
constexpr size_t kAccessCodeLimit = 3;
constexpr uint8_t kSentProtectionBits = 0x1F;
constexpr uint8_t kAccessBits = 0x0F;

constexpr uint8_t kProtectionOwner = 0x01;

static_assert(sizeof(ZelProtection::owner) == kOwnerLimit + 1, "room for 40 characters and a NUL");

// ---- Name ------------------------------------------------------------------

constexpr size_t kNameTypeLimit = 3;
constexpr size_t kNameLimit = 255;
constexpr uint8_t kNameTypeFile = 0x02;

static_assert(sizeof(ZelName::name) == kNameLimit + 1, "a 255-character name keeps its NUL");

// ---- CDA Semantics ---------------------------------------------------------

constexpr size_t kSemanticsMenuLimit = 2;
constexpr size_t kSemanticsTextLimit = 255;
constexpr uint8_t kSemanticsStored = 0x01;
constexpr uint8_t kSemanticsAccessed = 0x02;

// The length of a NUL-terminated text in a fixed field of `size` bytes;
// `size` when the field holds no NUL.
size_t TextLength(const char* text, size_t size) {
    const void* end = std::memchr(text, '\0', size);
    return end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text) : size;
}

}  // namespace

// ---- Date and Time ---------------------------------------------------------

void ZelStampUploadTime(const std::tm& utc) {
    ZelDates& dates = ZelSentDates();
    dates.datMenu[0] = kSentDateMenu;
    FormatDate(dates.cdt, utc);
    FormatDate(dates.rdt, utc);
}

int ZelEncodeDates(ZelContext*, wire::Writer& body) {
    const ZelDates& dates = ZelSentDates();
    body.PutByte(kSentDateMenu);
    body.PutBytes(dates.cdt, kDateTextLength);
    body.PutBytes(dates.rdt, kDateTextLength);
    return 1;
}

int ZelDecodeDates(ZelContext* context, wire::Reader& body) {
    ZelDates& dates = context->dates;
    std::memset(dates.datMenu, 0, sizeof dates.datMenu);
    for (const DateField& field : kDateFields) {
        if (field.text != nullptr) (dates.*field.text)[0] = '\0';
    }
    dates.rvn = 0;
    if (body.empty()) return 1;

    if (!ZelTakeExtensible(context, body, kDateMenuLimit, dates.datMenu, sizeof dates.datMenu)) return -1;
    for (const DateField& field : kDateFields) {
        if ((dates.datMenu[0] & field.bit) == 0) continue;
        // A body that ends before an announced field, or inside it: stop there.
        if (field.text == nullptr) {
            if (!body.TakeU16(&dates.rvn)) return 1;
            continue;
        }
        char(&text)[kDateTextSize] = dates.*field.text;
        if (!body.TakeBytes(text, kDateTextLength)) return 1;
        text[kDateTextLength] = '\0';
    }
    return 1;
}

// ---- Protection ------------------------------------------------------------

int ZelEncodeProtection(ZelContext* context, wire::Writer& body) {
    const RfaProtectionRecord* record = context->link->protection;
    if (record == nullptr) {
        RfaSetError(context, RFA_ERR_BAD_ARGUMENT, 0);
        return -1;
    }
    uint8_t menu = static_cast<uint8_t>(record->present & kSentProtectionBits);
    const size_t ownerLength = TextLength(record->owner, sizeof record->owner);
    if ((menu & kProtectionOwner) != 0) {
        // An empty owner text sends no OWNER field, and its menu bit goes
        // with it, so the menu and the fields agree.
        if (ownerLength == 0) menu &= static_cast<uint8_t>(~kProtectionOwner);
        // OWNER holds at most 40 characters: a longer owner is not cut but
        // refused, and no message is built.
        if (ownerLength > kOwnerLimit) {
            RfaSetError(context, RFA_ERR_BAD_ARGUMENT, 0);
            return -1;
        }
    }
    body.PutByte(menu);
    if ((menu & kProtectionOwner) != 0) body.PutImage(record->owner, ownerLength, kOwnerLimit);
    for (const ZelProtectionAccessField& field : kProtectionAccessFields) {
        if ((menu & field.bit) != 0) body.PutByte(static_cast<uint8_t>(record->*field.record & kAccessBits));
    }
    return 1;
}

int ZelDecodeProtection(ZelContext* context, wire::Reader& body) {
    ZelProtection& protection = context->protection;
    protection.protMenu = 0;
    protection.ownerCount = 0;
    for (const ZelProtectionAccessField& field : kProtectionAccessFields) std::memset(protection.*field.received, 0, 2);
    if (body.empty()) return 1;

    if (!ZelTakeExtensible(context, body, kProtectionMenuLimit, &protection.protMenu, 1)) return -1;
    if ((protection.protMenu & kProtectionOwner) != 0) {
        if (body.empty()) return 1;
        if (!ZelTakeImage(context, body, kOwnerLimit, protection.owner, kOwnerLimit, &protection.ownerCount))
            return -1;
        // The count says how long the owner is; a NUL behind it makes it a text too.
        protection.owner[protection.ownerCount] = '\0';
    }
    for (const ZelProtectionAccessField& field : kProtectionAccessFields) {
        if ((protection.protMenu & field.bit) == 0) continue;
        if (body.empty()) return 1;
        if (!ZelTakeExtensible(context, body, kAccessCodeLimit, protection.*field.received, 2)) return -1;
    }
    return 1;
}

// ---- Name ------------------------------------------------------------------

int ZelEncodeName(ZelContext* context, wire::Writer& body) {
    if (context->operation != kOpRename) {
        // Error 1: the library sends a Name only as the new name of a rename.
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    const char* newName = context->link->status.name2;
    body.PutByte(kNameTypeFile);
    body.PutImage(newName, TextLength(newName, sizeof context->link->status.name2), kNameLimit);
    return 1;
}

int ZelDecodeName(ZelContext* context, wire::Reader& body) {
    ZelName& name = context->name;
    name.nameType = 0;
    name.nameCount = 0;
    // Cleared before every decode: with 256 bytes for at most 255 characters
    // the name always ends in a NUL.
    std::memset(name.name, 0, sizeof name.name);
    if (body.empty()) return 1;

    if (!ZelTakeExtensible(context, body, kNameTypeLimit, &name.nameType, 1)) return -1;
    if (body.empty()) return 1;
    if (!ZelTakeImage(context, body, kNameLimit, name.name, kNameLimit, &name.nameCount)) return -1;
    return 1;
}

// ---- CDA Semantics ---------------------------------------------------------

int ZelDecodeSemantics(ZelContext* context, wire::Reader& body) {
    ZelSemantics& semantics = context->semantics;
    semantics.semMenu = 0;
    semantics.storedCount = 0;
    semantics.accessedCount = 0;
    if (body.empty()) return 1;

    if (!ZelTakeExtensible(context, body, kSemanticsMenuLimit, &semantics.semMenu, 1)) return -1;
    if ((semantics.semMenu & kSemanticsStored) != 0) {
        if (body.empty()) return 1;
        if (!ZelTakeImage(context, body, kSemanticsTextLimit, semantics.stored, sizeof semantics.stored,
                          &semantics.storedCount))
            return -1;
    }
    if ((semantics.semMenu & kSemanticsAccessed) != 0) {
        if (body.empty()) return 1;
        if (!ZelTakeImage(context, body, kSemanticsTextLimit, semantics.accessed, sizeof semantics.accessed,
                          &semantics.accessedCount))
            return -1;
    }
    return 1;
}

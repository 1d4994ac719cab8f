#include "zel32/protocol/access_control.h"

#include <cstring>

#include "zel32/protocol/configuration.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/field_check.h"
#include "zel32/protocol/templates.h"

namespace {

// The DISPLAY forms of an Access: the descriptive messages asked for.
enum class Display : uint8_t { kNone, kZero, kBrief, kMain, kFull };

struct AccessRow {
    uint8_t accFunc;
    uint8_t fac;
    Display display;
};

AccessRow AccessRowFor(const ZelContext* context) {
    const RfaLink* link = context->link;
    switch (context->operation) {
    case kOpCopy: return link->status.copyDirection == 0 ? AccessRow{1, 0x02, Display::kFull} : AccessRow{2, 0x01, Display::kFull};
    case kOpOpenFile: return {1, 0x03, Display::kMain};
    case kOpDelete: return {4, 0x02, Display::kMain};
    case kOpDir: return {6, 0x02, link->dirFlag == 0 ? Display::kBrief : Display::kMain};
    case kOpMd: return {2, 0x02, Display::kMain};
    case kOpRd: return {4, 0x02, Display::kMain};
    case kOpPrint: return {1, 0x02, Display::kFull};
    case kOpProtection: return {1, static_cast<uint8_t>(link->protectionFlag == 0 ? 0x02 : 0x03), Display::kMain};
    case kOpRename: return {3, 0x02, Display::kNone};
    case kOpSubmit: return {8, 0x02, Display::kMain};
    default: return {0, 0x00, Display::kZero};
    }
}

constexpr unsigned kCapDisplayExtended = 64;
constexpr unsigned kCapFileAccessOptions = 57;

void PutDisplay(const ZelContext* context, Display display, wire::Writer& body) {
    const bool extended = ZelHasCapability(context->peerSyscap, kCapDisplayExtended);
    switch (display) {
    case Display::kNone: return;
    case Display::kZero: body.PutByte(0x00); return;
    case Display::kBrief: body.PutByte(0x01); return;  // a brief listing: main attributes only
    case Display::kMain:
        body.PutByte(extended ? 0xB1 : 0x31);
        if (extended) body.PutByte(0x10);
        return;
    case Display::kFull:
        body.PutByte(0x91);
        body.PutByte(extended ? 0x12 : 0x02);
        return;
    }
}

// The caller's copy description counts only while a copy runs.
const RfaCopyAttributes* CopyDescription(const ZelContext* context) {
    return context->operation == kOpCopy ? context->link->copyOption : nullptr;
}

}  // namespace

uint8_t ZelRecordAccessFor(uint16_t transferMode) {
    static constexpr uint8_t kRecordAccess[4] = {6, 5, 3, 3};
    return transferMode < 4 ? kRecordAccess[transferMode] : 3;
}

uint8_t ZelCopyRecordAccess(const ZelContext* context) {
    if (ZelBlockModePeer(context)) return kRacBlockTransfer;
    const RfaCopyAttributes* description = CopyDescription(context);
    return description != nullptr ? ZelRecordAccessFor(description->transferMode) : 3;
}

int ZelEncodeAccess(ZelContext* context, wire::Writer& body) {
    const RfaLink* link = context->link;
    const AccessRow row = AccessRowFor(context);
    uint8_t fac = row.fac;
    if (ZelHasCapability(context->peerSyscap, kCapFileAccessOptions)) {
        fac |= 0x40;
    } else {
        const RfaCopyAttributes* description = CopyDescription(context);
        if (description != nullptr && ZelRecordAccessFor(description->transferMode) == kRacBlockTransfer) fac |= 0x20;
        if (ZelBlockModePeer(context)) fac |= 0x20;
    }
    const bool upload = context->operation == kOpCopy && link->status.copyDirection == 1;
    const char* fileSpec = upload ? link->status.name2 : link->status.name1;

    body.PutByte(row.accFunc);
    body.PutByte(context->peerChecksum ? 0x08 : 0x00);
    body.PutImage(fileSpec, strnlen(fileSpec, kNameSize - 1));
    body.PutByte(fac);
    body.PutByte(0x00);  // SHR
    if (row.display == Display::kNone) return 1;  // a rename's Access ends here
    PutDisplay(context, row.display, body);
    body.PutByte(0x00);  // PASSWORD, always empty
    return 1;
}

int ZelEncodeControl(ZelContext* context, wire::Writer& body) {
    const RfaLink* link = context->link;
    ZelControlTemplate& control = context->sentControl;
    control = ZelControlTemplate{};
    if (context->operation == kOpCopy) {
        if (context->controlConnect != 0) {
            control.ctlFunc = 2;
        } else {
            control.ctlFunc = link->status.copyDirection == 1 ? 4 : 1;
            control.ctlMenu[0] = 0x09;
            control.rac = ZelCopyRecordAccess(context);
        }
    } else {
        control.ctlFunc = context->controlConnect != 0 ? 2 : context->operation == kOpReadFile ? 1 : 4;
        if (link->ioLength != 0 && context->peerVernum >= 7 && context->peerEconum >= 2) {
            control.ctlMenu[0] = 0x81;
            control.ctlMenu[1] = 0x01;
            control.rac = 6;
            control.usz = link->ioLength;
        } else {
            control.ctlMenu[0] = 0x01;
            control.rac = 3;
        }
    }
    body.PutByte(control.ctlFunc);
    body.PutByte(control.ctlMenu[0]);
    if ((control.ctlMenu[0] & 0x80) != 0) body.PutByte(control.ctlMenu[1]);
    if ((control.ctlMenu[0] & 0x01) != 0) body.PutByte(control.rac);
    if ((control.ctlMenu[0] & 0x08) != 0) body.PutByte(control.rop);
    if ((control.ctlMenu[1] & 0x01) != 0) body.PutU16(control.usz);
    return 1;
}

int ZelEncodeContinueTransfer(ZelContext* context, wire::Writer& body) {
    uint8_t conFunc;
    switch (context->operation) {
    case kOpDir: conFunc = 2; break;
    case kOpRename: conFunc = 6; break;
    case kOpAbort:
    case kOpCopy: conFunc = 3; break;
    default: conFunc = 5; break;
    }
    body.PutByte(conFunc);
    return 1;
}

int ZelEncodeAccessComplete(ZelContext* context, wire::Writer& body) {
    if (context->dataChecksum == 0) context->dataChecksum = 0xFFFF;
    const uint16_t operation = context->operation;
    // An abort closes with CMPFUNC 1 whatever the operation; so do the
    // operations without a function of their own (the last branch).
    if (context->aborting != 0) {  // NOLINT(bugprone-branch-clone)
        body.PutByte(1);
    } else if (operation == kOpProtection && context->link->protectionFlag == 1) {
        body.PutByte(context->lastSentType == wire::kControl      ? 6
                     : context->lastSentType == wire::kProtection ? 7
                                                                  : 0);
    } else if (operation == kOpReadFile || operation == kOpWriteFile) {
        body.PutByte(4);
    } else if (operation == kOpCopy) {
        const uint8_t bytes[] = {1, 0x80, 0x80, 0x00};
        body.PutBytes(bytes, sizeof bytes);
    } else if (operation == kOpPrint) {
        const uint8_t bytes[] = {1, 0x80, 0x80, 0x40};
        body.PutBytes(bytes, sizeof bytes);
    } else {
        body.PutByte(1);
    }
    return 1;
}

int ZelDecodeAccess(ZelContext* context, wire::Reader& body) {
    ZelReceivedAccess& access = context->access;
    access = ZelReceivedAccess{};
    if (!body.TakeByte(&access.accFunc)) return 1;
    if (body.empty()) return 1;
    if (!ZelTakeExtensible(context, body, 5, &access.accOpt, 1)) return -1;
    if (body.empty()) return 1;
    if (!ZelTakeImage(context, body, 255, access.fileSpec, sizeof access.fileSpec - 1, &access.fileSpecCount)) return -1;
    if (body.empty()) return 1;
    if (!ZelTakeExtensible(context, body, 3, &access.fac, 1)) return -1;
    if (body.empty()) return 1;
    if (!ZelTakeExtensible(context, body, 3, &access.shr, 1)) return -1;
    if (body.empty()) return 1;
    if (!ZelTakeExtensible(context, body, 4, access.display, 2)) return -1;
    if (body.empty()) return 1;
    if (!ZelTakeImage(context, body, 40, access.password, sizeof access.password - 1, &access.passwordCount)) return -1;
    return 1;
}

int ZelDecodeControl(ZelContext* context, wire::Reader& body) {
    ZelReceivedControl& control = context->control;
    control = ZelReceivedControl{};
    if (!body.TakeByte(&control.ctlFunc) || body.empty()) return 1;
    if (!ZelTakeExtensible(context, body, 4, control.ctlMenu, 2)) return -1;
    const uint8_t menu = control.ctlMenu[0];
    if ((menu & 0x01) != 0 && !body.TakeByte(&control.rac)) return 1;
    if ((menu & 0x02) != 0) {
        if (body.empty()) return 1;
        if (!ZelTakeImage(context, body, 255, control.key, sizeof control.key, &control.keyCount)) return -1;
    }
    if ((menu & 0x04) != 0 && !body.TakeByte(&control.krf)) return 1;
    if ((menu & 0x08) != 0) {
        if (body.empty()) return 1;
        if (!ZelTakeExtensible(context, body, 6, control.rop, 3)) return -1;
    }
    if ((menu & 0x10) != 0) {
        if (body.empty()) return 1;
        if (!ZelTakeImage(context, body, 5, control.hsh, sizeof control.hsh, &control.hshCount)) return -1;
    }
    if ((menu & 0x20) != 0) {
        if (body.empty()) return 1;
        if (!ZelTakeExtensible(context, body, 4, control.display, 2)) return -1;
    }
    if ((menu & 0x40) != 0 && !body.TakeByte(&control.blkcnt)) return 1;
    if ((control.ctlMenu[1] & 0x01) != 0) body.TakeU16(&control.usz);
    return 1;
}

int ZelDecodeContinueTransfer(ZelContext* context, wire::Reader& body) {
    context->complete.conFunc = 0;
    body.TakeByte(&context->complete.conFunc);
    return 1;
}

int ZelDecodeAccessComplete(ZelContext* context, wire::Reader& body) {
    ZelReceivedComplete& complete = context->complete;
    complete.cmpFunc = 0;
    std::memset(complete.fop, 0, sizeof complete.fop);
    complete.check = 0;
    if (!body.TakeByte(&complete.cmpFunc) || body.empty()) return 1;
    if (FieldCheck(context, body.position(), body.remaining(), 6, kFieldExtensible) < 0) return -1;
    const uint8_t function = complete.cmpFunc;
    const bool hasOptions = !(function == 2 || function == 3 || function == 4 || function == 5 || function == 6 || function == 8);
    if (hasOptions && !ZelTakeExtensible(context, body, 6, complete.fop, 4)) return -1;
    // A checksum follows a completion whose options came back empty: one
    // more option byte and the peer's 16-bit CHECK. It is taken, not compared.
    if ((function & 0x01) != 0 && context->peerChecksum && complete.fop[0] == 0 && body.remaining() >= 3) {
        body.TakeByte(&complete.fop[0]);
        body.TakeU16(&complete.check);
    }
    return 1;
}

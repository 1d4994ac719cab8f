// The exported functions: each checks its arguments, stores them in the link
// record and hands its operation to the driver.
#include <cstring>

#include "zel32.h"
#include "zel32/api/argument_checks.h"
#include "zel32/api/driver.h"
#include "zel32/api/link.h"
#include "zel32/api/link_establishment.h"
#include "zel32/api/link_table.h"
#include "zel32/api/list_buffer.h"
#include "zel32/api/session_list.h"
#include "zel32/protocol/context.h"

namespace {

constexpr int32_t kRejected = RFA_ERR_BAD_ARGUMENT;
constexpr int32_t kNotRun = -1;

// A call on a link from inside its own copy's progress procedure would pull
// the link from under the copy (Close Link frees it, an Abort ends its
// access, any operation takes over its fields): it is refused, changing
// nothing. Other links, and RfaLook on this one, may be used there.
bool InsideProgress(RfaHandle handle) {
    const RfaLink* link = RfaLinkAt(handle);
    return link != nullptr && link->reportingProgress;
}

// The common shape of the commands that take one name into name1.
int32_t DriveWithName(RfaHandle handle, const char* name, RfaOperation operation) {
    if (InsideProgress(handle)) return kNotRun;
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr || !RfaCheckName(link->status.name1, name)) return kRejected;
    return RfaDriveOperation(handle, operation);
}

int32_t StoreIoArguments(RfaLink* link, uint16_t length, const char* buffer, uint16_t* result) {
    if (!RfaCheckCount(&link->ioLength, length) || buffer == nullptr) return kRejected;
    RfaSetIoBuffer(link, buffer);
    if (result == nullptr) return kRejected;
    link->ioResult = result;
    return 0;
}

}  // namespace

extern "C" {

ZEL32_API int32_t ZelInit(char* buffer, uint32_t size) {
    RfaRegisterListBuffer(buffer, size);
    return 1;
}

ZEL32_API int32_t RfaOpenLink(RfaOpenLinkParams* params) { return RfaOpenLinkWork(params); }

ZEL32_API int32_t RfaCloseLink(RfaHandle handle) {
    if (InsideProgress(handle)) return kNotRun;
    if (!RfaValidHandle(handle)) return kRejected;
    const int32_t result = RfaDriveOperation(handle, kOpCloseLink);
    RfaFreeSlot(handle);
    return result;
}

ZEL32_API int32_t RfaListen(void) { return -1; }

ZEL32_API int32_t RfaAbort(RfaHandle handle) {
    if (InsideProgress(handle)) return kNotRun;
    return RfaDriveOperation(handle, kOpAbort);
}

ZEL32_API int32_t RfaCopy(RfaHandle handle, const char* source, const char* target, uint32_t direction,
                          uint16_t mode, const RfaCopyAttributes* attributes) {
    if (InsideProgress(handle)) return kNotRun;
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr || !RfaCheckName(link->status.name1, source) || !RfaCheckName(link->status.name2, target) ||
        !RfaCheckFlag(&link->status.copyDirection, direction))
        return kRejected;
    link->copyOption = attributes;
    if (mode > 1) return kRejected;
    link->status.copyMode = mode;
    return RfaDriveOperation(handle, kOpCopy);
}

ZEL32_API int32_t RfaOpenFile(RfaHandle handle, const char* name) { return DriveWithName(handle, name, kOpOpenFile); }

ZEL32_API int32_t RfaReadFile(RfaHandle handle, uint16_t length, char* buffer, uint16_t* result) {
    if (InsideProgress(handle)) return kNotRun;
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr || StoreIoArguments(link, length, buffer, result) != 0) return kRejected;
    return RfaDriveOperation(handle, kOpReadFile);
}

ZEL32_API int32_t RfaWriteFile(RfaHandle handle, uint16_t length, const char* buffer, uint16_t* result) {
    if (InsideProgress(handle)) return kNotRun;
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr || StoreIoArguments(link, length, buffer, result) != 0) return kRejected;
    return RfaDriveOperation(handle, kOpWriteFile);
}

ZEL32_API int32_t RfaCloseFile(RfaHandle handle) {
    if (InsideProgress(handle)) return kNotRun;
    if (!RfaValidHandle(handle)) return kRejected;
    return RfaDriveOperation(handle, kOpCloseFile);
}

ZEL32_API int32_t RfaDelete(RfaHandle handle, const char* name) { return DriveWithName(handle, name, kOpDelete); }

ZEL32_API int32_t RfaDir(RfaHandle handle, uint32_t full, const char* spec) {
    if (InsideProgress(handle)) return kNotRun;
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr || !RfaCheckFlag(&link->dirFlag, full) || !RfaCheckSpecification(link->status.name1, spec))
        return kRejected;
    // A listing needs the caller's list buffer: before ZelInit there is none,
    // and nothing is sent.
    if (RfaListBuffer().buffer == nullptr) return kRejected;
    return RfaDriveOperation(handle, kOpDir);
}

ZEL32_API int32_t RfaMd(RfaHandle handle, const char* name) { return DriveWithName(handle, name, kOpMd); }

ZEL32_API int32_t RfaRd(RfaHandle handle, const char* name) { return DriveWithName(handle, name, kOpRd); }

ZEL32_API int32_t RfaPrint(RfaHandle handle, const char* name) { return DriveWithName(handle, name, kOpPrint); }

ZEL32_API int32_t RfaProtection(RfaHandle handle, const char* name, RfaProtectionRecord* record, uint32_t flag) {
    if (InsideProgress(handle)) return kNotRun;
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr || !RfaCheckName(link->status.name1, name) || record == nullptr) return kRejected;
    link->protection = record;
    if (!RfaCheckFlag(&link->protectionFlag, flag)) return kRejected;
    // An owner to be set holds at most 40 characters on the wire. It is
    // refused here, before the exchange starts, and not halfway through it,
    // when the first Access Complete of the change has gone out.
    if (flag == 1 && (record->present & RFA_PROT_OWNER) != 0 && strnlen(record->owner, sizeof record->owner) > 40)
        return kRejected;
    return RfaDriveOperation(handle, kOpProtection);
}

ZEL32_API int32_t RfaRename(RfaHandle handle, const char* oldName, const char* newName) {
    if (InsideProgress(handle)) return kNotRun;
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr || !RfaCheckName(link->status.name1, oldName) || !RfaCheckName(link->status.name2, newName))
        return kRejected;
    return RfaDriveOperation(handle, kOpRename);
}

ZEL32_API int32_t RfaSubmit(RfaHandle handle, const char* name) { return DriveWithName(handle, name, kOpSubmit); }

ZEL32_API int32_t RfaIoctl(RfaHandle handle, uint16_t code, uintptr_t* argumentBlock) {
    if (InsideProgress(handle)) return kNotRun;
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr) return kRejected;
    link->ioctlCode = code;
    link->ioctlArgument = argumentBlock;
    ZelContext* context = RfaFindContext(handle);
    if (context == nullptr) return -1;
    context->ioctlCode = code;
    context->ioctlArgument = argumentBlock;
    return RfaDriveOperation(handle, kOpIoctl);
}

ZEL32_API int32_t RfaLook(RfaHandle handle, void* buffer, uint16_t size) {
    RfaLink* link = RfaLinkAt(handle);
    if (link == nullptr || buffer == nullptr || size < sizeof(RfaLinkStatus)) return kRejected;
    std::memcpy(buffer, &link->status, sizeof(RfaLinkStatus));
    return link->status.errorCode;
}

}  // extern "C"

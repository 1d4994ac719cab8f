// The link record: the caller-facing state of one open link, designated by an
// RfaHandle. It holds the caller's node, user and notification procedure, the
// arguments of the current operation and the status block RfaLook copies out.
#pragma once

#include <cstdint>

#include "zel32.h"

constexpr int kMaxLinks = 64;
constexpr int kNameSize = 256;       // names: 255 characters and a NUL
constexpr int kUserFieldSize = 40;   // user name and password: 39 and a NUL

struct RfaLink {
    uint32_t handle;
    char nodeName[kNameSize];
    char userName[kUserFieldSize];
    char password[kUserFieldSize];
    uint32_t renameLocal;  // set from openOption's RFA_OPEN_RENAME_TARGET bit
    uint32_t openOption;
    RfaNotifyProc notify;
    RfaLinkStatus status;
    RfaProtectionRecord* protection;
    uint32_t protectionFlag;
    const RfaCopyAttributes* copyOption;
    uintptr_t* ioctlArgument;
    uint16_t ioctlCode;
    uint16_t ioLength;
    uint16_t* ioResult;
    uint32_t dirFlag;
    void* memoryHandle;
    // Set while the link's copy is inside the caller's progress procedure:
    // the copy owns the link until the procedure returns.
    bool reportingProgress;
};

// The caller's data buffer of RfaReadFile and RfaWriteFile travels in the
// first pointer-sized bytes of name1.
char* RfaIoBuffer(const RfaLink* link);
void RfaSetIoBuffer(RfaLink* link, const char* buffer);

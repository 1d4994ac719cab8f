/*
 * zel32.h: the C interface of libzel32, the ZEL remote file access client.
 *
 * A host program registers a text buffer with ZelInit, opens a link to a
 * remote node with RfaOpenLink and then, one call each, copies files, reads
 * a remote file record by record, lists directories and runs single-request
 * commands. Every call runs to completion on the caller's thread; at the end
 * of an operation the library calls the link's RfaNotifyProc and returns the
 * link's error code (0 for success). RfaLook reads the link's status block.
 *
 * The library is meant to be called from one thread at a time.
 */
#ifndef ZEL32_H
#define ZEL32_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define ZEL32_API __attribute__((visibility("default")))
#else
#define ZEL32_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A link handle: 1 to 64, the index of the link's slot. 0 is never a handle. */
typedef uint32_t RfaHandle;

/* Called at the end of every operation except RfaOpenLink, RfaAbort and
 * RfaCloseLink. status is 2 when the operation ended with error code 0, else 0.
 * spoolFile is non-zero when a directory listing was written to a spool file;
 * text is then the spool file's name. The result is ignored. */
typedef int32_t (*RfaNotifyProc)(uint32_t handle, uint32_t status,
                                 intptr_t spoolFile, const char *text);

/* The parameter block of RfaOpenLink. */
typedef struct RfaOpenLinkParams {
    uint32_t handle;        /* out: the link's handle, written before connecting */
    char nodeName[256];     /* host, IPv4 address or [IPv6 address], optional :port */
    char userName[40];      /* may be empty */
    char password[40];      /* may be empty; not sent without a user name */
    uint32_t reserved;
    uint32_t openOption;    /* RFA_OPEN_* bits */
    RfaNotifyProc notify;   /* must not be null */
} RfaOpenLinkParams;

/* openOption bit: a copy never overwrites an existing target. A download
 * writes to NAME.1, NAME.2, ... (the file name cut after its first ".") when
 * the local target exists; an upload tries the remote names the same way.
 * Without it, existing targets are overwritten. */
#define RFA_OPEN_RENAME_TARGET 0x00000001u

/* The status block that RfaLook copies out: 552 bytes on every build. */
typedef struct RfaLinkStatus {
    uint16_t errorCode;           /* 0: no error; RFA_ERR_* */
    uint16_t reserved1;
    int32_t errorValue;           /* value going with the code, e.g. MACCODE << 16 | MICCODE */
    int32_t errorDetail;          /* transport error number of a failed connect or transfer */
    char name1[256];              /* first name argument; RfaReadFile and RfaWriteFile
                                     keep the caller's buffer address in its first bytes */
    char name2[256];              /* second name argument (copy target, new name) */
    uint32_t copyDirection;       /* 0 download, 1 upload */
    uint16_t copyMode;            /* 0 text, 1 image */
    uint16_t reserved2;
    uint32_t bytesTransferred;    /* bytes moved by the current copy (modulo 2^32) */
    uint32_t localFileSize;       /* size of the local file of the copy (modulo 2^32) */
    uint32_t localFileSizeKnown;  /* 1 once localFileSize is set */
    uint32_t transferCount;       /* transport sends and receives of the operation */
    uint32_t lastTransferLength;  /* length given to the last send or receive */
} RfaLinkStatus;

/* Optional description of the file of a copy (last argument of RfaCopy). */
typedef struct RfaCopyAttributes {
    uint16_t transferMode;      /* 0 to 3 */
    uint16_t recordFormat;      /* 0 to 6 */
    uint16_t recordAttributes;  /* flag bits, at most 128 */
    uint16_t maxRecordSize;     /* at most the link's negotiated buffer size */
    uint32_t allocation;        /* 0: none */
} RfaCopyAttributes;

/* A file's protection, read or set by RfaProtection. */
typedef struct RfaProtectionRecord {
    uint32_t present;      /* RFA_PROT_* bits: which fields are meant */
    char owner[256];       /* NUL-terminated */
    uint32_t system;       /* access bits 0 to 3: 0x01 no read, 0x02 no write,   */
    uint32_t ownerAccess;  /* 0x04 no execute, 0x08 no delete (a set bit denies) */
    uint32_t group;
    uint32_t world;
} RfaProtectionRecord;

#define RFA_PROT_OWNER 0x01u
#define RFA_PROT_SYSTEM 0x02u
#define RFA_PROT_OWNER_ACCESS 0x04u
#define RFA_PROT_GROUP 0x08u
#define RFA_PROT_WORLD 0x10u

/* RfaCopy directions and modes. */
#define RFA_COPY_DOWNLOAD 0u
#define RFA_COPY_UPLOAD 1u
#define RFA_MODE_TEXT 0
#define RFA_MODE_IMAGE 1

/* RfaIoctl function codes; the argument block is an array of uintptr_t.
 * RFA_IOCTL_TRACE: word 0 non-zero starts a trace, 0 stops it; word 1 is the
 *   address of the trace file's name; word 2 non-zero appends to an existing
 *   file. Starting a trace while one is on closes the old file first.
 * RFA_IOCTL_DATE_CHOICE: word 0 non-zero lists creation dates, 0 revision dates.
 * Other codes do nothing and succeed. */
#define RFA_IOCTL_TRACE 0
#define RFA_IOCTL_DATE_CHOICE 1

/* Error codes (RfaLinkStatus.errorCode and the results of the entry points). */
#define RFA_OK 0
#define RFA_ERR_LOCAL_IO 1          /* local file read/write/close failed; link not open */
#define RFA_ERR_NET_RESET 2         /* connection reset or closed by the peer */
#define RFA_ERR_ACCESS_DENIED 3     /* user name or password refused */
#define RFA_ERR_BAD_ARGUMENT 4      /* returned, not stored: argument or handle rejected */
#define RFA_ERR_DIR_NOT_FOUND 5
#define RFA_ERR_FILE_PROTECTED 6
#define RFA_ERR_FILE_NOT_FOUND 7    /* remote, or a local file could not be opened */
#define RFA_ERR_FILE_LOCKED 8       /* remote file locked, or a bad local handle */
#define RFA_ERR_NET_PROTOCOL 10
#define RFA_ERR_NO_RESOURCES 11     /* memory, or no free link (RfaOpenLink) */
#define RFA_ERR_NET_NOT_CONNECTED 13
#define RFA_ERR_NODE_UNKNOWN 14     /* node name not resolved, or no such object */
#define RFA_ERR_UNSUPPORTED 16      /* the peer or the library lacks the function */
#define RFA_ERR_DEVICE_FULL 17
#define RFA_ERR_PRIVILEGE 18
#define RFA_ERR_PROTOCOL 20         /* unexpected message, or an unmapped remote status */
#define RFA_ERR_CONNECT_FAILED 22   /* refused, timed out, or out of resources */
#define RFA_ERR_UNREACHABLE 24
#define RFA_ERR_RECORD_SIZE 27      /* maxRecordSize above the negotiated buffer size */

/* Every wait on the peer is bounded: a transport receive that gets nothing for
 * this many seconds fails with error 22 (errorDetail 60), as does a connect or
 * its handshake that takes longer than RFA_CONNECT_TIMEOUT_SECONDS. */
#define RFA_RECEIVE_TIMEOUT_SECONDS 120
#define RFA_CONNECT_TIMEOUT_SECONDS 15

/* The TCP port used when a node name carries none. */
#define RFA_DEFAULT_PORT 7017

ZEL32_API int32_t ZelInit(char *buffer, uint32_t size);
ZEL32_API int32_t RfaOpenLink(RfaOpenLinkParams *params);
ZEL32_API int32_t RfaCloseLink(RfaHandle handle);
ZEL32_API int32_t RfaListen(void);
ZEL32_API int32_t RfaAbort(RfaHandle handle);
ZEL32_API int32_t RfaCopy(RfaHandle handle, const char *source, const char *target,
                          uint32_t direction, uint16_t mode,
                          const RfaCopyAttributes *attributes);
ZEL32_API int32_t RfaOpenFile(RfaHandle handle, const char *name);
ZEL32_API int32_t RfaReadFile(RfaHandle handle, uint16_t length, char *buffer,
                              uint16_t *result);
ZEL32_API int32_t RfaWriteFile(RfaHandle handle, uint16_t length, const char *buffer,
                               uint16_t *result);
ZEL32_API int32_t RfaCloseFile(RfaHandle handle);
ZEL32_API int32_t RfaDelete(RfaHandle handle, const char *name);
ZEL32_API int32_t RfaDir(RfaHandle handle, uint32_t full, const char *spec);
ZEL32_API int32_t RfaMd(RfaHandle handle, const char *name);
ZEL32_API int32_t RfaRd(RfaHandle handle, const char *name);
ZEL32_API int32_t RfaPrint(RfaHandle handle, const char *name);
ZEL32_API int32_t RfaProtection(RfaHandle handle, const char *name,
                                RfaProtectionRecord *record, uint32_t flag);
ZEL32_API int32_t RfaRename(RfaHandle handle, const char *oldName, const char *newName);
ZEL32_API int32_t RfaSubmit(RfaHandle handle, const char *name);
ZEL32_API int32_t RfaIoctl(RfaHandle handle, uint16_t code, uintptr_t *argumentBlock);
ZEL32_API int32_t RfaLook(RfaHandle handle, void *buffer, uint16_t size);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Layout checks: the status block is exact on every build; the other records
 * have the documented 32-bit offsets where pointers are 4 bytes. */
#if defined(__cplusplus)
#define ZEL32_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define ZEL32_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
ZEL32_STATIC_ASSERT(sizeof(RfaLinkStatus) == 552, "RfaLinkStatus is 552 bytes");
ZEL32_STATIC_ASSERT(offsetof(RfaLinkStatus, name1) == 12, "name1 at 12");
ZEL32_STATIC_ASSERT(offsetof(RfaLinkStatus, name2) == 268, "name2 at 268");
ZEL32_STATIC_ASSERT(offsetof(RfaLinkStatus, copyDirection) == 524, "copyDirection at 524");
ZEL32_STATIC_ASSERT(offsetof(RfaLinkStatus, bytesTransferred) == 532, "bytesTransferred at 532");
ZEL32_STATIC_ASSERT(offsetof(RfaLinkStatus, lastTransferLength) == 548, "lastTransferLength at 548");
ZEL32_STATIC_ASSERT(sizeof(RfaCopyAttributes) == 12, "RfaCopyAttributes is 12 bytes");
ZEL32_STATIC_ASSERT(sizeof(RfaProtectionRecord) == 276, "RfaProtectionRecord is 276 bytes");
ZEL32_STATIC_ASSERT(offsetof(RfaOpenLinkParams, userName) == 260, "userName at 260");
ZEL32_STATIC_ASSERT(offsetof(RfaOpenLinkParams, password) == 300, "password at 300");
ZEL32_STATIC_ASSERT(offsetof(RfaOpenLinkParams, openOption) == 344, "openOption at 344");
#if UINTPTR_MAX == 0xFFFFFFFFu
ZEL32_STATIC_ASSERT(offsetof(RfaOpenLinkParams, notify) == 348, "notify at 348");
ZEL32_STATIC_ASSERT(sizeof(RfaOpenLinkParams) == 352, "RfaOpenLinkParams is 352 bytes");
#else
ZEL32_STATIC_ASSERT(offsetof(RfaOpenLinkParams, notify) == 352, "notify at 352");
ZEL32_STATIC_ASSERT(sizeof(RfaOpenLinkParams) == 360, "RfaOpenLinkParams is 360 bytes");
#endif
#undef ZEL32_STATIC_ASSERT

#endif /* ZEL32_H */

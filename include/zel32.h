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
 * Several threads may use the library at once, each with links of its own:
 * a link is used by one thread at a time. Listings share the list buffer of
 * ZelInit, so only one runs at a time in the process (see RfaDir), and a
 * failed operation on any link blanks the buffer's first bytes: read a
 * listing before an operation on another thread can fail.
 *
 * The library never ends its host with SIGPIPE: a send to a peer that has
 * gone, or a write to a local pipe or FIFO without a reader, fails with the
 * call's error code instead. It writes nothing to stdout or stderr.
 *
 * A local file (a copy's source or target, a trace file) is opened shared
 * for reading only: readers share it, a writer has it alone, and an open
 * that finds it held otherwise fails with error 7. The lock is advisory
 * (flock, regular files only): programs that take none are not held back.
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
 * text is then the spool file's name (see RfaDir), and spoolFile only a token
 * for it: the file is already closed. Otherwise text is two blanks after a
 * success and empty after a failure, when the list buffer also begins with
 * two blanks (if it has room for them). The result is ignored. */
typedef int32_t (*RfaNotifyProc)(uint32_t handle, uint32_t status,
                                 intptr_t spoolFile, const char *text);

/* The parameter block of RfaOpenLink. nodeName, userName and password,
 * joined with a "/" between each (nodeName alone without a user name), must
 * be under 52 characters, else RfaOpenLink returns 4. */
typedef struct RfaOpenLinkParams {
    uint32_t handle;        /* out: the link's handle, written before connecting */
    char nodeName[256];     /* host, IPv4 address or [IPv6 address], optional :port */
    char userName[40];      /* may be empty; a "/" here or in nodeName is refused with 4 */
    char password[40];      /* may be empty; not sent without a user name */
    uint32_t reserved;
    uint32_t openOption;    /* RFA_OPEN_* bits */
    RfaNotifyProc notify;   /* must not be null */
} RfaOpenLinkParams;

/* openOption bit: a copy never overwrites an existing target.
 * A download whose local target exists writes to the first of NAME.1 to
 * NAME.998 that does not, NAME being the target cut after the first "." of
 * its file name (the part behind the last "/"; a file name without one gets
 * a "."): dir/OUT.TXT becomes dir/OUT.1, A.B/OUT becomes A.B/OUT.1.
 * An upload first opens the remote target to learn whether it exists and,
 * while the name tried exists, tries the remote names the same way, the file
 * name being the part behind the last "]" or ">" (or, without either, the
 * last "/"): [DIR]FILE.TXT;2 is tried as [DIR]FILE.1, [DIR]FILE.2, ...,
 * <A.B>F.TXT as <A.B>F.1, ...
 * RfaLook's name2 then holds the name used. A remote name counts as free
 * only when the server answers its open with "file not found" (MACCODE 4,
 * MICCODE 0x32): any other refusal (a file locked, or one the user may not
 * read) fails the upload with that open's error, name2 holding the name
 * refused, and nothing is written to it. When NAME.1 to NAME.998 all
 * exist, the copy fails with error 7 (value 0); a download still reads the
 * remote file to its end. Without the bit, existing targets are overwritten
 * (an upload still opens the remote target first, whatever its answer). */
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
    uint16_t maxRecordSize;     /* at most the link's negotiated buffer size, else
                                   error 27; at most that less 5 for an image
                                   upload that pads its records to it (transfer
                                   mode 0, 2 or 3, to a peer neither of stream nor
                                   of block-mode file system). 0 gives an image
                                   copy the default size, 512 with an odd transfer
                                   mode, else 128, and that default counts toward
                                   the limit of a padding upload as a size given
                                   would: with transfer mode 3 it fails with 27
                                   toward a peer whose buffer is below 517 bytes */
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
 *   file (error 7 when there is none; a pipe, FIFO or terminal is written
 *   to as it stands), 0 creates the file anew. Starting a trace while one
 *   is on closes the old file first; a trace that cannot be started (or
 *   whose banner cannot be written) leaves the link untraced.
 *   Stopping when no trace is on gives error 1. A trace file is the link's
 *   alone while it traces: another link's trace on it fails with error 7.
 *   The trace file holds every message sent and received while it is on,
 *   with a hex dump (a trace starts on an open link: the opening
 *   Configuration exchange is counted in the statistics, not traced), and
 *   the message statistics written when the link closes. A trace write
 *   that fails fails the operation with error 1; a message whose trace
 *   could not be written is not sent, so the call may be made again:
 *   records written before it still go out once, with the next Write or
 *   the Close.
 * RFA_IOCTL_DATE_CHOICE: word 0 non-zero lists creation dates, 0 revision
 *   dates. Only remote file systems 1, 2, 3 and 10 offer the choice; on the
 *   others asking for revision dates gives error 16.
 * Both fail with error 4 (stored and notified) without an argument block, or
 * a trace without a file name. Other codes do nothing and succeed. */
#define RFA_IOCTL_TRACE 0
#define RFA_IOCTL_DATE_CHOICE 1
/* RFA_IOCTL_PROGRESS: word 0 is an RfaProgressProc (0, or no argument block,
 * removes it), word 1 a pointer handed back to it. During a copy the
 * procedure is called with the bytes moved so far and the local file's size
 * (RFA_SIZE_UNKNOWN until known), at most about five times a second and once
 * more when the copy ends. Inside it, other links and RfaLook may be used;
 * any other call on the copying link returns -1 and does nothing. Every
 * other code does nothing and succeeds; this one lies far from the small
 * ones, so that a caller trying those never has its words taken for a
 * procedure. */
#define RFA_IOCTL_PROGRESS 0x5A50
#define RFA_SIZE_UNKNOWN UINT64_MAX
typedef void (*RfaProgressProc)(void *context, uint64_t bytesTransferred, uint64_t localFileSize);

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
#define RFA_ERR_RECORD_SIZE 27      /* maxRecordSize, or a request, above the peer's buffer size */

/* Every wait on the peer is bounded: a transport receive that gets nothing for
 * this many seconds fails with error 22 (errorDetail 60), and so does one
 * whose block, once begun, has not come whole within as long, and the end of
 * an access (an Abort, a Close, the wind-down after an error) when the peer
 * keeps sending what is left of it for longer, counted from the first of it,
 * instead of completing it; the connection is then broken, and later calls
 * fail with error 2 (errorDetail 54). The same holds for the replies that
 * describe one request (Attributes, Date and Time, Protection, Name and the
 * like before its Acknowledge or Access Complete), and for what comes
 * between the records of RfaReadFile or of a download: after the first of
 * them, the rest must come within the limit (records are never timed as a
 * whole). A connect fails the same way when the TCP connect to an address of
 * the node, or a step of the handshake after it, takes longer than
 * RFA_CONNECT_TIMEOUT_SECONDS; each address tried and each step gets the
 * whole limit, and resolving the node's name is bounded by the system
 * resolver's own limits. */
#define RFA_RECEIVE_TIMEOUT_SECONDS 120
#define RFA_CONNECT_TIMEOUT_SECONDS 15

/* The TCP port used when a node name carries none. */
#define RFA_DEFAULT_PORT 7017

/* Registers the list buffer (process-wide) that directory listings are
 * written into, and returns 1. RfaDir before ZelInit (or after ZelInit with a
 * null buffer) returns 4 before anything is sent. A buffer of any size is
 * safe: a listing of size or more characters goes to a spool file instead
 * (see RfaDir), and a failed operation blanks the buffer only when it holds
 * at least three bytes. The buffer must stay valid until it is replaced;
 * once ZelInit has returned, the library no longer touches the old one (a
 * listing running on another thread then fails with 1). */
ZEL32_API int32_t ZelInit(char *buffer, uint32_t size);
ZEL32_API int32_t RfaOpenLink(RfaOpenLinkParams *params);
ZEL32_API int32_t RfaCloseLink(RfaHandle handle);
ZEL32_API int32_t RfaListen(void);
/* Ends the remote access in progress: sends an Access Complete and reads
 * until the peer's Access Complete, dropping the Data of an interrupted
 * transfer and passing over replies that may not come now (0 once the peer's
 * Access Complete came). The file opened with RfaOpenFile is then over:
 * RfaReadFile and RfaWriteFile fail with 20, sending nothing, and
 * RfaCloseFile sends nothing and returns 0 (the rest of a record being read
 * in pieces is dropped). A connection that has failed ends the wait: error 2
 * when the peer closed it, 22 when no answer came within
 * RFA_RECEIVE_TIMEOUT_SECONDS. Never notifies. */
ZEL32_API int32_t RfaAbort(RfaHandle handle);
/* RfaCopy copies one whole file: direction RFA_COPY_DOWNLOAD from the remote
 * file `source` to the local path `target`, RFA_COPY_UPLOAD from the local
 * path `source` to the remote file `target`. In text mode line ends are
 * converted between the local byte stream and the remote records; in image
 * mode bytes travel as they are (an image upload pads its last record with
 * zeros up to the record size, MRS, unless the transfer mode asks for block
 * transfer). An upload carries the local file's last-write time (UTC) as the
 * remote file's creation and revision dates. A peer that answers the access
 * with an Access Complete ends the copy at once, in success, with nothing
 * transferred.
 * In RfaLinkStatus: bytesTransferred counts the bytes read from the local
 * file (upload) or written to it, added line ends and carriage-control
 * characters included (download); localFileSize is the local file's size
 * (the source before sending, the target after the transfer) and
 * localFileSizeKnown 1 once it is set; both are modulo 2^32.
 * Errors: 7 when the local source cannot be opened or the local target
 * cannot be created, or another opener holds it (a download still reads
 * the remote file to its end, then fails); 1 when a local read, write or
 * close fails (a download drops the records after a failed write; an
 * upload still ends the remote access);
 * a remote error status stops the copy with its mapped code, and a download
 * keeps what it had written. The local file is closed on every path. */
ZEL32_API int32_t RfaCopy(RfaHandle handle, const char *source, const char *target,
                          uint32_t direction, uint16_t mode,
                          const RfaCopyAttributes *attributes);
/* Record-at-a-time access to one remote file.
 * RfaOpenFile opens it for reading and writing; a new open forgets whatever
 * was left of the previous file's records. After an open that failed there
 * is no file: RfaReadFile and RfaWriteFile fail with 20, sending nothing,
 * and RfaCloseFile sends nothing and returns 0. The file is opened in the mode of
 * the link's last RfaCopy (text until a copy chose image): after an image
 * copy, a record-oriented peer hands out its records as fixed pieces rather
 * than lines.
 * RfaReadFile returns the next record as text in `buffer`, which holds
 * `length` bytes: the record (up to a NUL byte in it), with the line feeds
 * and the character of a print-format record and, in text mode, the CR LF of
 * an implied line end; *result is the text's length. Nothing is ever written
 * past `length` bytes, the NUL included: a record whose text does not fit
 * is returned in pieces of at most length - 1 characters, the rest coming
 * with the following calls before the next record is read (with a length of
 * 1 there is no room for text: the record is skipped); any other operation
 * on the link but RfaIoctl drops that rest. At the end of the file
 * RfaReadFile succeeds with *result 0 and RfaLook's errorValue 0x5027 (an
 * empty record also gives *result 0, with errorValue 0); so do later calls,
 * without waiting for the peer. After a read that failed on a remote error
 * status, once the peer has completed the access, later reads and writes
 * fail again with that error, sending nothing, until the file is closed; so
 * they do with error 20 after a peer that ended the access with an Access
 * Complete in place of a record, and after a Sync Error on the link: the
 * Configuration with which the library repairs it, before running the
 * operation once more, ends the peer's access (a read that met the Sync
 * Error asks for its records again, and fails with 20 and the status when
 * a second one answers).
 * RfaWriteFile sends `length` bytes of `buffer` as one record and stores
 * `length` in *result; the peer appends the records to the file behind the
 * records already in it. The records stream without replies (they may wait
 * in the send buffer until it fills or the file is closed): an error the
 * peer reports about them is returned by RfaCloseFile. A record longer than
 * one transmission block (the link's buffer size less 5 bytes) is refused
 * with error 27 and nothing is sent. A record cannot be empty: RfaReadFile
 * and RfaWriteFile return 4 for a length of 0, as for a null buffer or result.
 * RfaCloseFile ends the access. It waits for the end of the file only when
 * records are still coming to a reader (a record then fails it with error
 * 20); after the end of the file, after writes, or with nothing read it
 * completes the access at once; after a read that failed on a remote error
 * status, which has ended the access already, after a Sync Error, or after
 * RfaAbort, it sends nothing and returns 0, except where records written
 * into the file were lost with the access a Sync Error's repair ended: it
 * then fails with 20. */
ZEL32_API int32_t RfaOpenFile(RfaHandle handle, const char *name);
ZEL32_API int32_t RfaReadFile(RfaHandle handle, uint16_t length, char *buffer,
                              uint16_t *result);
ZEL32_API int32_t RfaWriteFile(RfaHandle handle, uint16_t length, const char *buffer,
                               uint16_t *result);
ZEL32_API int32_t RfaCloseFile(RfaHandle handle);
ZEL32_API int32_t RfaDelete(RfaHandle handle, const char *name);
/* Lists a remote directory (full: 0 names and sizes, but no sizes from a
 * peer of file system 3; 1 also dates) into the list buffer of ZelInit as
 * one NUL-terminated text. Items that do not fit the library's text areas
 * are cut (a header line at 255 characters, any other item at 511), never
 * written past. A listing of the buffer's size or more characters is moved
 * whole to a new spool file in the temporary
 * directory ($TMPDIR when it names a directory, else /tmp), named QRX*.TMP,
 * readable by its owner only; the buffer then keeps the text it had. The
 * notification names the file and passes a non-zero spoolFile (also after a
 * failure): the caller reads the listing from the named file and removes it.
 * A call that returns -1, which notifies nothing, leaves no spool file.
 * The spool file holds whatever the peer lists, without a limit of its own:
 * a full disk fails the listing with error 1. No temporary directory or
 * file name to be had is error 7. Only one listing at a time in the
 * process. */
ZEL32_API int32_t RfaDir(RfaHandle handle, uint32_t full, const char *spec);
ZEL32_API int32_t RfaMd(RfaHandle handle, const char *name);
ZEL32_API int32_t RfaRd(RfaHandle handle, const char *name);
/* RfaPrint, RfaRename and RfaSubmit fail with 16, sending nothing, toward
 * a peer without the capability to print, rename or submit. */
ZEL32_API int32_t RfaPrint(RfaHandle handle, const char *name);
/* flag 0 reads the file's protection into *record: fields and access bits
 * are only added to what the record holds, and a received owner of one or
 * more characters replaces the owner text (NUL-terminated). A peer that
 * answers the request with an Access Complete has ended the access: the read
 * then ends there. flag 1 sets the file's protection from *record. Error 16
 * when the peer cannot. */
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

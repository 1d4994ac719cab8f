// The protocol context of one link: message buffers and cursors, the link
// state, the peer's configuration, the decoded fields of the messages last
// received and the per-operation state of the handlers. Every encoder,
// decoder and handler takes it; its first field leads to the link record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/message_types.h"
#include "zel32/api/link.h"

enum ZelLinkState : uint8_t {
    kStateCreated = 1,
    kStateClosing = 2,
    kStateConnected = 4,
    kStateOpen = 8,
};

enum RfaOperation : uint16_t {
    kOpUnknown = 0,
    kOpOpenLink = 1,
    kOpCloseLink = 2,
    kOpListen = 3,
    kOpAbort = 4,
    kOpCopy = 5,
    kOpOpenFile = 6,
    kOpReadFile = 7,
    kOpWriteFile = 8,
    kOpCloseFile = 9,
    kOpCwd = 10,
    kOpDelete = 11,
    kOpDir = 12,
    kOpMd = 13,
    kOpRd = 14,
    kOpPrint = 15,
    kOpProtection = 16,
    kOpRename = 17,
    kOpSubmit = 18,
    kOpIoctl = 19,
};
constexpr int kOperationSlots = 20;

constexpr size_t kBufferSize = wire::kMaxBlock;  // 32256
// Spare room behind the send block: a message is encoded before the block
// is known to have room for its variable fields, and then moved if not.
constexpr size_t kSendSpare = 1024;
constexpr size_t kTextSize = 256;  // context copies of names and texts: 255 and a NUL

// Attributes of a file: the last Attributes message received, and the
// per-thread record the encoder builds every sent Attributes message from.
struct ZelAttributes {
    uint8_t attMenu[3];
    uint8_t dataType;
    uint8_t org;
    uint8_t rfm;
    uint8_t rat[2];
    uint16_t bls;
    uint16_t mrs;
    uint8_t alqCount;
    uint32_t alq;
    uint8_t bks;
    uint8_t fsz;
    uint8_t mrnCount;
    uint8_t mrn[5];
    uint8_t runsysCount;
    uint8_t runsys[40];
    uint16_t deq;
    uint8_t fop[4];
    uint8_t bsz;
    uint8_t dev[4];
    uint8_t sdc;
    uint16_t lrl;
    uint8_t hbkCount;
    uint32_t hbk;
    uint8_t ebkCount;
    uint32_t ebk;
    uint16_t ffb;
    uint8_t sbnCount;
    uint32_t sbn;
    uint8_t jnl;
};

constexpr size_t kDateTextSize = 19;  // 18 characters and a NUL

struct ZelDates {
    uint8_t datMenu[2];
    char cdt[kDateTextSize];
    char rdt[kDateTextSize];
    char edt[kDateTextSize];
    uint16_t rvn;
    char bdt[kDateTextSize];
    char pdt[kDateTextSize];
    char adt[kDateTextSize];
};

struct ZelProtection {
    uint8_t protMenu;
    uint8_t ownerCount;
    char owner[41];
    uint8_t protSys[2];
    uint8_t protOwn[2];
    uint8_t protGrp[2];
    uint8_t protWld[2];
};

struct ZelName {
    uint8_t nameType;
    uint8_t nameCount;
    char name[256];  // a 255-character name keeps room for its NUL
};

struct ZelSemantics {
    uint8_t semMenu;
    uint8_t storedCount;
    uint8_t stored[255];
    uint8_t accessedCount;
    uint8_t accessed[255];
};

// The fields of Access, Control, Continue Transfer and Access Complete
// messages received from the peer (it sends the first two only in error).
struct ZelReceivedAccess {
    uint8_t accFunc;
    uint8_t accOpt;
    uint8_t fileSpecCount;
    char fileSpec[256];
    uint8_t fac;
    uint8_t shr;
    uint8_t display[2];
    uint8_t passwordCount;
    char password[41];
};

struct ZelReceivedControl {
    uint8_t ctlFunc;
    uint8_t ctlMenu[2];
    uint8_t rac;
    uint8_t keyCount;
    uint8_t key[256];
    uint8_t krf;
    uint8_t rop[3];
    uint8_t hshCount;
    uint8_t hsh[5];
    uint8_t display[2];
    uint8_t blkcnt;
    uint16_t usz;
};

struct ZelReceivedComplete {
    uint8_t conFunc;  // of the last Continue Transfer
    uint8_t cmpFunc;
    uint8_t fop[4];
    uint16_t check;
};

struct ZelStatusFields {
    uint8_t rfaCount;
    uint8_t rfa[8];
    uint8_t recnumCount;
    uint8_t recnum[8];
    uint8_t stvCount;
    uint8_t stv[8];
    uint8_t stxCount;
    char stx[256];
};

// Where the access of a file opened with RfaOpenFile stands, for Read and
// Close: open; at its end (the end-of-file Status came and the peer waits
// for the Access Complete); or already completed, by the wind-down of an
// error Status (Continue Transfer and Access Complete both ways) or by an
// Abort (Access Complete both ways).
enum ZelFileAccess : uint8_t {
    kFileAccessOpen = 0,
    kFileAccessAtEnd = 1,
    kFileAccessEnded = 2,
};

// The text of the record a Read returns, kept while it comes in pieces: the
// line feeds of the print prefix, the record data (still in recordData) and
// up to three closing characters (print postfix, carriage return, line
// feed). `returned` counts the characters already handed to the caller;
// `length` is 0 when no text is pending.
struct ZelRecordText {
    uint32_t lineFeeds;
    uint32_t dataLength;
    uint8_t closing[3];
    uint32_t closingLength;
    uint32_t length;
    uint32_t returned;
};

// Why the last transport call or reply check failed, for an operation that
// fails without having recorded an error code.
struct ZelFailureCause {
    uint16_t code;
    int32_t value;
    int32_t detail;
};

// The Control record of the last Control message sent: the RAC of the data
// phase that the operations read back.
struct ZelControlTemplate {
    uint8_t ctlFunc;
    uint8_t ctlMenu[2];
    uint8_t rac;
    uint8_t rop;
    uint16_t usz;
};

struct ZelContext {
    RfaLink* link;
    uint16_t operation;
    uint16_t lastOperation;
    uint8_t state;
    uint16_t bufferSize;  // limit of a send block; the peer's BUFSIZ may lower it

    // Send path.
    uint8_t* sendBuffer;  // kBufferSize + kSendSpare bytes
    size_t messageStart;  // offsets into sendBuffer
    size_t writeCursor;
    int32_t blockLength;
    uint8_t* workBuffer;  // the record the next Data message carries
    int32_t workLength;
    // When set, the workLength bytes the next Data message carries in place
    // of workBuffer's (a slice of an upload's local buffer, sent uncopied).
    const uint8_t* workSlice;
    uint8_t lastSentType;
    uint8_t sentCount[wire::kTypeSlots];

    // Receive path.
    uint8_t* receiveBuffer;
    size_t readCursor;  // offsets into receiveBuffer
    int32_t blockRemaining;
    bool refusedInBlock;  // a message of the block being read was refused or malformed
    size_t messageBody;
    size_t bodyLength;
    uint8_t lastReceivedType;
    uint8_t receivedCount[wire::kTypeSlots];

    // Transport.
    uint16_t connectionId;  // 0xFFFF while connecting, 0 after close
    ZelFailureCause failure;
    bool failureRecorded;

    // Peer configuration.
    uint16_t peerBufsiz;
    uint8_t peerOstype;
    uint8_t peerFilesys;
    uint8_t peerVernum;
    uint8_t peerEconum;
    uint8_t peerUsrnum;
    uint8_t peerVorver;
    uint8_t peerUsrver;
    uint8_t peerSyscap[10];
    bool peerBlocking;
    bool peerLen256;
    bool peerChecksum;
    bool peerCanProtection;
    bool peerCanPrint;
    bool peerCanSubmit;
    bool peerCanRename;
    bool peerCanSetProtection;

    // The last Attributes and Control messages sent on this link. A Read
    // reads them back after the Open that sent them, perhaps on another
    // thread, so they belong to the link.
    ZelAttributes sentAttributes;
    ZelControlTemplate sentControl;

    // Decoded fields of the messages last received.
    ZelAttributes attributes;
    ZelDates dates;
    ZelProtection protection;
    ZelName name;
    ZelSemantics semantics;
    ZelReceivedAccess access;
    ZelReceivedControl control;
    ZelReceivedComplete complete;
    ZelStatusFields statusFields;
    uint16_t statusCode;  // MACCODE in bits 12 to 15, MICCODE in bits 0 to 11
    uint8_t* recordData;  // the record last received and a NUL: kBufferSize + 1 bytes
    uint16_t recordLength;
    uint8_t recnum;
    uint8_t printPrefix;
    uint8_t printPostfix;
    uint16_t dataChecksum;
    // The last record sent while its checksum is not yet in dataChecksum:
    // where it lies in sendBuffer (see ZelSettleChecksum).
    bool sentRecordPending;
    uint32_t sentRecordOffset;
    uint32_t sentRecordLength;

    // Operation state.
    uint32_t aborting;
    uint32_t controlConnect;
    uint32_t readStarted;
    uint32_t writeStarted;    // 1 once a Write sent its Control for the open file
    uint8_t fileAccess;       // ZelFileAccess of the open file
    uint16_t fileErrorCode;   // what a Read of an ended access fails with, and its value
    int32_t fileErrorValue;
    bool fileRecordsWritten;  // records written into the open file that no Close has confirmed
    uint32_t windDownsCompleted;  // wind-downs whose Access Complete came back, for the life of the context
    ZelRecordText recordText; // the rest of a record a Read returns in pieces
    intptr_t localFile;   // download target, 0 when none
    // The download created its target under name2 (a free name already
    // chosen): a second run after a repair writes that file again rather
    // than take the next free name and leave the first run's part behind.
    bool localTargetCreated;
    intptr_t sourceFile;  // upload source, 0 when none
    uint8_t* recordBuffer;  // a copy's local-file buffer (kBufferSize), kept until the link closes
    uint32_t localBuffered; // download: bytes of recordBuffer not yet written to localFile

    // Copy progress, for the caller's RfaProgressProc.
    RfaProgressProc progress;
    void* progressContext;
    uint64_t copiedBytes;       // bytesTransferred without its 32-bit wrap
    uint64_t localSize;         // the local file's size, RFA_SIZE_UNKNOWN until known
    int64_t progressReportedAt; // steady-clock milliseconds of the last report

    // Trace and Ioctl.
    uint32_t traceOn;
    intptr_t traceFile;
    uint32_t useCreationDate;
    uint16_t ioctlCode;
    uintptr_t* ioctlArgument;

    // Directory listing and notification.
    intptr_t spoolFile;
    uint32_t spooling;
    uint32_t listOverflow;
    uint32_t listLength;
    char notifyText[kTextSize];
    char name1Copy[kTextSize];
    char name2Copy[kTextSize];
};

// The one way to record an error: code, value, and a cleared detail.
inline void RfaSetError(ZelContext* context, uint16_t code, int32_t value) {
    context->link->status.errorCode = code;
    context->link->status.errorValue = value;
    context->link->status.errorDetail = 0;
}

inline void RfaClearError(ZelContext* context) { RfaSetError(context, 0, 0); }

// Record conversion of local files: a copy moves a remote file as records,
// one per Data message, while the local file is a plain byte stream. The
// download side turns each received record into bytes of the local file
// (line ends, Fortran and print carriage control); the upload side cuts the
// local file's bytes into records (stream, text or image mode). The copy
// runs both in its data phase.
#pragma once

struct ZelContext;
struct ZelRecordView;

// Makes ready the copy's local-file buffer (recordBuffer, kBufferSize
// bytes, kept until the link closes) and empties it. 1, or -1 (error 11).
int ZelPrepareLocalBuffer(ZelContext* context);

// Converts the record last received (recordData, recordLength, printPrefix,
// printPostfix) by the remote file's RFM and RAT, and then the Data
// messages right behind it in the block being read, which it receives (see
// ZelTakeDataInPlace); it puts each with its controls, in one piece, behind
// the records waiting in recordBuffer; they go to localFile in one write
// when the buffer (1 MiB) is full. False when a write failed (error 1
// recorded, with the bytes that did get written as its value): the file is
// no longer usable, and the rest of the block is left to be received.
bool ZelDownloadRecords(ZelContext* context);
// The same, from a record taken in place (ZelReceiveDataInPlace) rather
// than the record last decoded.
bool ZelDownloadRecordsInPlace(ZelContext* context, const ZelRecordView& first);
// Writes the records waiting in recordBuffer to localFile. Every byte
// written is added to the link's bytesTransferred. False as above.
bool ZelFlushDownload(ZelContext* context);

// Reads the context's sourceFile to its end in blocks of bufferSize bytes
// into recordBuffer, which ZelPrepareLocalBuffer has made ready, adding
// each block to bytesTransferred, and sends its bytes as Data messages. 1,
// or -1 when a local read (error 1) or a send failed.
int ZelUploadFile(ZelContext* context);

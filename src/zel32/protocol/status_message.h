// The Status message: the peer's report that an access or transfer did not
// go as asked. Decoding it records the status, traces it, decides whether it
// is expected here, maps it to the library's error code and, in the middle
// of a transfer, winds the remote access down.
#pragma once

#include <cstdint>

#include "wire/fields.h"

struct ZelContext;

// 1 when the status is expected at this point, else -1 (the error recorded,
// or a Sync Error left for the driver to repair).
int ZelDecodeStatus(ZelContext* context, wire::Reader& body);

// Ends the access in the middle of a transfer: a Continue Transfer as
// expedited data, an Access Complete, and the peer's Access Complete. The
// peer keeps nothing of an upload so ended. -1 when a send failed.
int ZelWindDownAccess(ZelContext* context);

// The library's error code for an error status (20 when none is mapped).
uint16_t ZelErrorCodeForStatus(unsigned maccode, unsigned miccode);

// Whether a status says that no file of the name asked for exists (a File
// Open "file not found"). Of the other statuses that map to error 7 too,
// one says that the name is malformed and one that the file's attributes
// could not be read: neither says the file is absent.
bool ZelStatusSaysFileNotFound(uint16_t status);

constexpr unsigned kMacSyncError = 10;
inline unsigned ZelMaccode(uint16_t status) { return status >> 12; }
inline unsigned ZelMiccode(uint16_t status) { return status & 0x0FFF; }

// The directory listing (Dir): asks the peer for the files of a
// file name pattern and turns the Name, Attributes, Date and Time and Status
// messages that come back into a listing text in the caller's list buffer,
// moving it to a spool file in the temporary directory when it outgrows the
// buffer. One listing at a time (per thread).
#pragma once

#include <cstddef>

struct ZelContext;

// The Dir handler: 1 when the listing ended with the peer's Access
// Complete, -1 on failure (the text so far stays in the buffer or file).
int ZelDirHandler(ZelContext* context);

// The steps of the handler, for it and for the tests that feed a listing
// its replies without a peer: ZelStartListing before the Access goes out,
// ZelListReply for each Name, Attributes, Date and Time or Status reply
// the listing goes on after (1, or -1 to end it), ZelEndListing at the end
// (closes the spool file; 1 after success, else -1, as after an exchange
// that ended well but whose text could not all be kept).
void ZelStartListing(ZelContext* context);
int ZelListReply(ZelContext* context);
int ZelEndListing(ZelContext* context, bool succeeded);

// Closes and removes the listing's spool file, if it has one: a file the
// caller is not to be handed.
void ZelDiscardSpool(ZelContext* context);

// The emit step: appends `length` characters to the listing, in the list
// buffer while they fit (it always holds a NUL-terminated text of fewer
// characters than its size), else in the spool file, which then receives
// the whole listing. When that fails (error 7: no spool file to be had; 1:
// a write to it failed) the error is put aside and the listing's text from
// then on dropped, while its replies are still taken to the peer's Access
// Complete; ZelEndListing then fails with that error.
void ZelListEmit(ZelContext* context, const char* text, size_t length);

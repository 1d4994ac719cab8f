// Creating a link's protocol context with its buffers, and releasing them.
#pragma once

struct RfaLink;
struct ZelContext;

// Allocates the context and its buffers and sets the initial values.
// Null on failure; error 11 on the link when a buffer could not be had.
ZelContext* RfaCreateContext(RfaLink* link);
// Releases the buffers (and the upload's record buffer): 1, or -1.
int RfaReleaseContextBuffers(ZelContext* context);
// Releases the context's own block: 1, or -1.
int RfaReleaseContext(ZelContext* context);

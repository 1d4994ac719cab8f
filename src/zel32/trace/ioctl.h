// The Ioctl operation: starts and stops a link's trace file, and chooses
// which remote date a full directory listing shows. Other function codes do
// nothing and succeed.
#pragma once

struct ZelContext;

// Reads the function code and argument block RfaIoctl stored in the context.
int ZelIoctlHandler(ZelContext* context);

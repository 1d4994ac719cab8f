// The operation driver: every operation of an entry point runs through it.
// It finds the link's context, prepares it, runs the operation's handler,
// repeats it once after a Sync Error, notifies the caller and returns the
// link's error code.
#pragma once

#include <cstdint>

struct ZelContext;

int32_t RfaDriveOperation(uint32_t handle, uint16_t operation);

// Copies the link's name arguments into the context, as each operation starts.
void ZelCopyNames(ZelContext* context);

// Calls the link's notification procedure with the outcome (not for Abort).
void RfaNotifyCaller(ZelContext* context);

// After a handler ended on a Sync Error status (and no abort), exchanges
// Configuration again and runs the handler a second time, storing its
// result; a connection that failed during the exchange fails the operation
// (result -1) with no second run. Returns -1 only when that Configuration
// could not be sent.
int ZelResynchronise(ZelContext* context, int* result);

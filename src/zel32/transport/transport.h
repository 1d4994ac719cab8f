// The transport wrapper: connect, send, receive and close on the link's
// connection through ztsock. A failed connect records the mapped error code;
// a failed send or receive records nothing on the link but notes its cause,
// for an operation that ends without a code of its own.
#pragma once

#include <cstdint>

struct ZelContext;

constexpr uint16_t kConnectionConnecting = 0xFFFF;

// The error code a transport error number maps to (2, 3, 10, 13, 14, 22, 24).
uint16_t RfaMapTransportError(int errorNumber);

// Returns the connection identifier, or -1 with errorCode and errorDetail set.
int32_t TransportConnect(ZelContext* context, const char* connectString);
// Returns -1 on failure, anything else when the whole block has gone.
int32_t TransportSend(ZelContext* context, const uint8_t* buffer, uint16_t length, bool expedited);
// Receives one block; its length goes to blockRemaining. Returns -1 on
// failure or when the connection has gone, 0 for nothing, else the length.
int32_t TransportReceive(ZelContext* context, uint8_t* buffer, uint16_t maximum);
// Returns 1 when the connection was closed; connectionId becomes 0 either way.
int TransportClose(ZelContext* context);

// Notes why an exchange failed (the latest cause replaces an earlier one,
// except a failed connection: what fails after it, such as the sends of a
// wind-down on the broken connection, is its consequence); the driver
// records it when the operation fails with no code of its own.
void ZelNoteFailure(ZelContext* context, uint16_t code, int32_t value, int32_t detail);
// Whether the noted cause is a failed connection (a send or receive that
// failed, which notes the code its error number maps to, never 20), rather
// than a refused reply or a Sync Error (both 20).
bool ZelConnectionFailed(const ZelContext* context);
// Records the noted cause (or error 20 when none) if the link has no code yet.
void ZelRecordFailure(ZelContext* context);
void ZelClearFailure(ZelContext* context);

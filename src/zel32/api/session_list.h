// The session list: the contexts of the open links, in the order the links
// were opened, found by handle. Registering a link creates its context.
#pragma once

#include <cstdint>

struct RfaLink;
struct ZelContext;

// Creates the link's context and appends it; null when memory ran out
// (error 11 on the link when the context itself was made).
ZelContext* RfaRegisterContext(RfaLink* link);
// Removes the context's node: 1, or -1 when no node carries the handle.
int RfaUnregisterContext(ZelContext* context, uint32_t handle);
// The context of the first node with this handle, or null (also for 0).
ZelContext* RfaFindContext(uint32_t handle);
// Number of registered contexts.
int RfaSessionCount();

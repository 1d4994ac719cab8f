// The link table: 64 slots indexed by RfaHandle 1 to 64, each empty or
// holding one RfaLink. Slots are taken lowest first.
#pragma once

#include <cstdint>

struct RfaLink;

// Takes the lowest free slot and gives it a zero-filled link record.
// Returns the handle, or 0 when every slot is taken or memory ran out.
uint32_t RfaAllocateSlot();
// Empties the slot and releases its record: 1, or 0 if it was empty.
int RfaFreeSlot(uint32_t handle);
// Whether handle is 1 to 64 and its slot holds a link.
bool RfaValidHandle(uint32_t handle);
// The link in the slot, or null.
RfaLink* RfaLinkAt(uint32_t handle);

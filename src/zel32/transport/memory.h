// The memory service: zero-filled blocks from which every record and buffer
// of the library comes, each tracked in a process-wide list until released.
#pragma once

#include <cstddef>

struct ZelContext;

// Returns a zero-filled block, or null; with a context, a failure records
// error 11 (value 0) on its link.
void* RfaAllocBlock(ZelContext* context, size_t size);

// Releases a block handed out by RfaAllocBlock. An address that is no such
// block (already released, or null) is a success that does nothing. Every
// release really frees. Returns 1.
int RfaFreeBlock(ZelContext* context, void* block);

// Blocks handed out and not yet released.
size_t RfaLiveBlockCount();

// Test hook: the allocation after `count` more successful ones fails (and
// every one after it, until reset with -1).
void RfaFailAllocationsAfter(int count);
